// What the library does when the loader attaches it to a process or detaches it:
// it registers with the framework and deregisters again.
#pragma once

#include "MavrelFramework.h"

#include <cstddef>
#include <cstdint>

namespace mavrel {

// The framework operations that attach and detach call, as a table so that
// tests can put a recording framework in its place.
struct FrameworkCalls {
    int (*initExtensionModule)(MavrelFrameworkModuleRecord* module, void* instance);
    void* (*allocate)(std::size_t bytes);
    void (*constructLibraryRecord)(void* storage, MavrelFrameworkModuleRecord* module,
                                   int systemLibrary);
    void (*termExtensionModule)(MavrelFrameworkModuleRecord* module, int all);
};

// The framework library's own operations. Inline, so that a test that drives
// the handler with a recording framework does not link the framework library.
inline FrameworkCalls frameworkCalls() {
    return FrameworkCalls{&MavrelFrameworkInitExtensionModule, &MavrelFrameworkAllocate,
                          &MavrelFrameworkConstructLibraryRecord,
                          &MavrelFrameworkTermExtensionModule};
}

// The entry point's handler. Attach: the framework's initialisation with the
// module record and the instance handle (0 fails the attach), then a per-library
// record in MAVREL_FRAMEWORK_LIBRARY_RECORD_BYTES of the framework's storage, skipped when the
// allocation fails. Detach: the framework's termination. Returns 1, or 0 for a refused attach.
// Every other reason is accepted and ignored. moduleRecord is only passed on, never read or written
// here.
int handleModuleEvent(const FrameworkCalls& framework, MavrelFrameworkModuleRecord* moduleRecord,
                      void* instance, std::uint32_t reason);

} // namespace mavrel
