// WebAssembly: the module is loaded when a page or a worker instantiates it.
// There is no dynamic loader: the runtime runs the constructors below as it
// instantiates the module, before any call can reach WAVChorus, with the
// framework stand-in linked into the same module. The instance handle is the
// module's DSO handle, the address that marks its data in its linear memory.
//
// A WebAssembly instance is not unloaded: it ends with its worker or page, and
// the framework's registry, kept in the same linear memory, ends with it. The
// destructor therefore runs only in a host whose runtime exits (a build with
// EXIT_RUNTIME), which then detaches exactly as a Linux process does.
#include "ModuleEvents.h"
#include "ModuleRecord.h"

extern "C" void* __dso_handle; // NOLINT(bugprone-reserved-identifier): the C++ ABI's own name

namespace mavrel {

MavrelFrameworkModuleRecord moduleRecord;

namespace {

void* ownInstance() {
    return static_cast<void*>(&__dso_handle);
}

// The framework's hook comes first, as the platform's start-up code would call
// it; a refusal leaves the module unregistered.
__attribute__((constructor)) void attachModule() {
    void* const instance = ownInstance();
    if (MavrelFrameworkPreAttachHook(instance, kProcessAttach, nullptr) == 0) {
        return;
    }
    (void)handleModuleEvent(frameworkCalls(), &moduleRecord, instance, kProcessAttach);
}

__attribute__((destructor)) void detachModule() {
    void* const instance = ownInstance();
    (void)handleModuleEvent(frameworkCalls(), &moduleRecord, instance, kProcessDetach);
    (void)MavrelFrameworkPreAttachHook(instance, kProcessDetach, nullptr);
}

} // namespace
} // namespace mavrel
