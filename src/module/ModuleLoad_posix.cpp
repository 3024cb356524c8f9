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

#if defined(__EMSCRIPTEN__)
extern "C" void* __dso_handle; // NOLINT(bugprone-reserved-identifier): the C++ ABI's own name
#else
#include "VersionInfo.h"

#include <dlfcn.h>
#endif

namespace mavrel {
namespace {

// Zero-filled when the library is loaded. Only the framework reads or writes it;
// the module hands its address over at attach and at detach.
MavrelFrameworkModuleRecord moduleRecord;

// The instance handle that the module gives the framework: the address that
// names the loaded module, as a module handle does on Windows; null when the
// system cannot say. On ELF systems the library's load address, through dladdr.
// WebAssembly has no dynamic loader to ask: there it is the module's DSO handle,
// the address that marks its data in its linear memory.
void* ownInstance() {
#if defined(__EMSCRIPTEN__)
    return static_cast<void*>(&__dso_handle);
#else
    Dl_info info{};
    // Any address inside the library names it; the record's is at hand.
    if (::dladdr(&moduleRecord, &info) == 0) {
        return nullptr;
    }
    return info.dli_fbase;
#endif
}

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

#if !defined(__EMSCRIPTEN__)
// The version strings in a section of their own, readable with
// `readelf -p .mavrel_version` and `strings`.
[[gnu::used, gnu::section(".mavrel_version")]] const char kVersionStrings[] =
    "CompanyName=" MAVREL_COMPANY_NAME "\0"
    "FileDescription=" MAVREL_FILE_DESCRIPTION "\0"
    "FileVersion=" MAVREL_VERSION_TEXT "\0"
    "InternalName=" MAVREL_INTERNAL_NAME "\0"
    "LegalTrademarks=" MAVREL_LEGAL_TRADEMARKS "\0"
    "OriginalFilename=" MAVREL_ORIGINAL_FILENAME "\0"
    "ProductName=" MAVREL_PRODUCT_NAME "\0"
    "ProductVersion=" MAVREL_VERSION_TEXT;
#endif

} // namespace
} // namespace mavrel
