// Linux and other ELF systems: the library's load address, through dladdr.
#include "ModuleInstance.h"
#include "ModuleRecord.h"

#include <dlfcn.h>

namespace mavrel {

void* ownInstance() {
    Dl_info info{};
    // Any address inside the library names it; the record's is at hand.
    if (::dladdr(&moduleRecord, &info) == 0) {
        return nullptr;
    }
    return info.dli_fbase;
}

} // namespace mavrel
