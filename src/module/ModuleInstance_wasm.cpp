// WebAssembly has no dynamic loader to ask: the instance handle is the module's
// DSO handle, the address that marks its data in its linear memory.
#include "ModuleInstance.h"

extern "C" void* __dso_handle; // NOLINT(bugprone-reserved-identifier): the C++ ABI's own name

namespace mavrel {

void* ownInstance() {
    return static_cast<void*>(&__dso_handle);
}

} // namespace mavrel
