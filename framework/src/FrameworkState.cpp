#include "FrameworkState.h"

namespace mavrel_framework {
namespace {

FrameworkState*& statePointer() {
    static FrameworkState* state = new FrameworkState();
    return state;
}

#if !defined(_WIN32)
// The framework is finalised after every module that links it, so nothing can
// reach its state any more: the registry and the records left in it go with it.
// A module unloaded late at process exit has detached by then. (On Windows the
// order in which DLLs detach at exit is not guaranteed, so the state stays.)
__attribute__((destructor)) void releaseFrameworkState() {
    FrameworkState*& state = statePointer();
    for (MavrelFrameworkModuleRecord* module : state->modules) {
        freeLibraryRecords(*module);
    }
    delete state;
    state = nullptr;
}
#endif

} // namespace

FrameworkState& frameworkState() { return *statePointer(); }

bool faultSet(std::uint32_t fault) {
    return (frameworkState().faults.load(std::memory_order_relaxed) & fault) != 0;
}

} // namespace mavrel_framework

extern "C" MAVREL_FRAMEWORK_API void MavrelFrameworkSetTestFaults(std::uint32_t faults) {
    mavrel_framework::frameworkState().faults.store(faults, std::memory_order_relaxed);
}
