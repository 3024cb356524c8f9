// Linux: the loader runs the attach and detach handler through the library's
// constructor and destructor. The instance handle is the library's load
// address, as a module handle is on Windows.
#include "ModuleEvents.h"
#include "ModuleRecord.h"

#include <dlfcn.h>

namespace mavrel {

MavrelFrameworkModuleRecord moduleRecord;

namespace {

void* ownInstance() {
    Dl_info info{};
    // Any address inside the library names it; the record's is at hand.
    if (::dladdr(&moduleRecord, &info) == 0) {
        return nullptr;
    }
    return info.dli_fbase;
}

// The framework's hook comes first, as the platform's start-up code would call
// it; a refusal leaves the module unregistered (a constructor cannot fail the
// load).
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
