// The registry of extension modules: the pre-attach hook, initialisation,
// termination and the listing.
#include "FrameworkState.h"

#include <algorithm>

using namespace mavrel_framework;

namespace {

void deregister(FrameworkState& state, MavrelFrameworkModuleRecord& module) {
    std::erase(state.modules, &module);
    freeLibraryRecords(module);
    module.registered = 0;
    module.instance = nullptr;
}

} // namespace

extern "C" MAVREL_FRAMEWORK_API int
MavrelFrameworkPreAttachHook(void* instance, std::uint32_t reason, void* /*reserved*/) {
    FrameworkState& state = frameworkState();
    if (reason == MAVREL_FRAMEWORK_PROCESS_ATTACH) {
        if (faultSet(MAVREL_FRAMEWORK_FAULT_PRE_ATTACH)) {
            return 0;
        }
        const std::lock_guard<std::mutex> guard(state.lock);
        state.attaching.push_back(instance);
    } else if (reason == MAVREL_FRAMEWORK_PROCESS_DETACH) {
        const std::lock_guard<std::mutex> guard(state.lock);
        const auto found = std::find(state.attaching.begin(), state.attaching.end(), instance);
        if (found != state.attaching.end()) {
            state.attaching.erase(found);
        }
    }
    return 1;
}

extern "C" MAVREL_FRAMEWORK_API int
MavrelFrameworkInitExtensionModule(MavrelFrameworkModuleRecord* module, void* instance) {
    if (module == nullptr || faultSet(MAVREL_FRAMEWORK_FAULT_REFUSE_INIT)) {
        return 0;
    }
    FrameworkState& state = frameworkState();
    const std::lock_guard<std::mutex> guard(state.lock);
    if (module->registered != 0) {
        return 1;
    }
    // A module whose start-up code skipped the hook is refused, as the framework
    // has not prepared the load.
    if (std::find(state.attaching.begin(), state.attaching.end(), instance) ==
        state.attaching.end()) {
        return 0;
    }
    module->instance = instance;
    module->registered = 1;
    state.modules.push_back(module);
    return 1;
}

extern "C" MAVREL_FRAMEWORK_API void
MavrelFrameworkTermExtensionModule(MavrelFrameworkModuleRecord* module, int all) {
    FrameworkState& state = frameworkState();
    const std::lock_guard<std::mutex> guard(state.lock);
    if (module != nullptr && module->registered != 0) {
        deregister(state, *module);
    }
    if (all != 0) {
        while (!state.modules.empty()) {
            deregister(state, *state.modules.back());
        }
    }
}

extern "C" MAVREL_FRAMEWORK_API std::size_t
MavrelFrameworkListModules(MavrelFrameworkModuleInfo* out, std::size_t capacity) {
    FrameworkState& state = frameworkState();
    const std::lock_guard<std::mutex> guard(state.lock);
    const std::size_t count = state.modules.size();
    for (std::size_t k = 0; k < count && k < capacity; ++k) {
        const MavrelFrameworkModuleRecord& module = *state.modules[k];
        std::uint32_t records = 0;
        for (const MavrelFrameworkLibraryRecord* r = module.libraries; r != nullptr; r = r->next) {
            ++records;
        }
        out[k] = MavrelFrameworkModuleInfo{module.instance, records};
    }
    return count;
}
