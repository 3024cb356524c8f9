// Windows: the DLL's entry point and DllMain.
#include "ModuleEvents.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// Zero-filled when the library is loaded. Only the framework reads or writes it;
// the module hands its address over at attach and at detach.
MavrelFrameworkModuleRecord moduleRecord;

} // namespace

// The run-time's own entry point: static initialisers, then DllMain at attach;
// DllMain, then exit handlers at detach.
extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    return mavrel::handleModuleEvent(mavrel::frameworkCalls(), &moduleRecord, instance, reason);
}

// The DLL's entry point (linked with --entry): the framework's hook runs before
// the run-time's start-up at attach, and after its shutdown at detach.
extern "C" BOOL WINAPI MavrelWAVChorusEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        if (MavrelFrameworkPreAttachHook(instance, DLL_PROCESS_ATTACH, reserved) == 0) {
            return FALSE;
        }
        const BOOL attached = DllMainCRTStartup(instance, reason, reserved);
        if (!attached) {
            // The run-time has run the detach side already; the loader will not
            // call again, so the hook hears of the detach now.
            (void)MavrelFrameworkPreAttachHook(instance, DLL_PROCESS_DETACH, reserved);
        }
        return attached;
    }
    const BOOL result = DllMainCRTStartup(instance, reason, reserved);
    if (reason == DLL_PROCESS_DETACH) {
        (void)MavrelFrameworkPreAttachHook(instance, DLL_PROCESS_DETACH, reserved);
    }
    return result;
}
