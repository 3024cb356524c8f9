#include "FrameworkState.h"

namespace mavrel_framework {

FrameworkState& frameworkState() {
    static FrameworkState* const state = new FrameworkState();
    return *state;
}

bool faultSet(std::uint32_t fault) {
    return (frameworkState().faults.load(std::memory_order_relaxed) & fault) != 0;
}

} // namespace mavrel_framework

extern "C" MAVREL_FRAMEWORK_API void MavrelFrameworkSetTestFaults(std::uint32_t faults) {
    mavrel_framework::frameworkState().faults.store(faults, std::memory_order_relaxed);
}
