// Linux and other ELF systems: the library's load address, through dladdr.
// WebAssembly has no dynamic loader to ask: the instance handle is the module's
// DSO handle, the address that marks its data in its linear memory.
#include "ModuleInstance.h"
#include "ModuleRecord.h"

#if defined(__EMSCRIPTEN__)
extern "C" void* __dso_handle; // NOLINT(bugprone-reserved-identifier): the C++ ABI's own name
#else
#include <dlfcn.h>
#endif

namespace mavrel {

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

} // namespace mavrel
