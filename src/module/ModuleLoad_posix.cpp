// Linux and WebAssembly: the attach and detach handler runs through the
// library's constructor and destructor.
//
// On Linux the loader runs them as it loads and unloads the library. Under
// WebAssembly the runtime runs the constructor as a page or a worker
// instantiates the module, before any call can reach WAVChorus, with the
// framework stand-in linked into the same module. A WebAssembly instance is not
// unloaded: it ends with its worker or page, and the framework's registry, kept
// in the same linear memory, ends with it. The destructor runs there only in a
// host whose runtime exits (a build with EXIT_RUNTIME), which then detaches
// exactly as a Linux process does.
#include "ModuleEvents.h"
#include "ModuleInstance.h"
#include "ModuleRecord.h"

namespace mavrel {

MavrelFrameworkModuleRecord moduleRecord;

namespace {

// The framework's hook comes first, as the platform's start-up code would call
// it; a refusal leaves the module unregistered (a constructor cannot fail the
// load).
__attribute__((constructor)) void attachModule() {
    void* const instance = ownInstance();
    if (MavrelFrameworkPreAttachHook(instance, MAVREL_FRAMEWORK_PROCESS_ATTACH, nullptr) == 0) {
        return;
    }
    (void)handleModuleEvent(frameworkCalls(), &moduleRecord, instance,
                            MAVREL_FRAMEWORK_PROCESS_ATTACH);
}

__attribute__((destructor)) void detachModule() {
    void* const instance = ownInstance();
    (void)handleModuleEvent(frameworkCalls(), &moduleRecord, instance,
                            MAVREL_FRAMEWORK_PROCESS_DETACH);
    (void)MavrelFrameworkPreAttachHook(instance, MAVREL_FRAMEWORK_PROCESS_DETACH, nullptr);
}

} // namespace
} // namespace mavrel
