// The framework's one state in the process: the registry of extension modules,
// the instances that have passed the pre-attach hook, the per-library records
// built in the framework's storage, and the test faults.
#include "MavrelFramework.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

// The 64-byte per-library record, bound to one extension module.
struct MavrelFrameworkLibraryRecord {
    std::uint32_t magic;
    std::uint32_t systemLibrary;
    MavrelFrameworkModuleRecord* module;
    MavrelFrameworkLibraryRecord* next;
    // The rest of the 64 bytes, on 32-bit and 64-bit targets alike.
    unsigned char reserved[MAVREL_FRAMEWORK_LIBRARY_RECORD_BYTES - 2 * sizeof(std::uint32_t) -
                           2 * sizeof(void*)];
};
static_assert(sizeof(MavrelFrameworkLibraryRecord) == MAVREL_FRAMEWORK_LIBRARY_RECORD_BYTES);

namespace {

constexpr std::uint32_t kLibraryRecordMagic = 0x4D46524CU; // "LRFM"

struct FrameworkState {
    std::mutex lock;
    std::vector<MavrelFrameworkModuleRecord*> modules; // registered, oldest first
    std::vector<void*> attaching; // instances between the hook's attach and its detach
    std::atomic<std::uint32_t> faults{0};
};

// It lives until the framework itself is unloaded, after every module that uses
// it.
FrameworkState*& statePointer() {
    static FrameworkState* state = new FrameworkState();
    return state;
}

FrameworkState& frameworkState() {
    return *statePointer();
}

bool faultSet(std::uint32_t fault) {
    return (frameworkState().faults.load(std::memory_order_relaxed) & fault) != 0;
}

// The caller holds the lock.
void freeLibraryRecords(MavrelFrameworkModuleRecord& module) {
    MavrelFrameworkLibraryRecord* record = module.libraries;
    while (record != nullptr) {
        MavrelFrameworkLibraryRecord* const next = record->next;
        record->~MavrelFrameworkLibraryRecord();
        std::free(record);
        record = next;
    }
    module.libraries = nullptr;
}

void deregister(FrameworkState& state, MavrelFrameworkModuleRecord& module) {
    std::erase(state.modules, &module);
    freeLibraryRecords(module);
    module.registered = 0;
    module.instance = nullptr;
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

extern "C" MAVREL_FRAMEWORK_API void MavrelFrameworkSetTestFaults(std::uint32_t faults) {
    frameworkState().faults.store(faults, std::memory_order_relaxed);
}

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

extern "C" MAVREL_FRAMEWORK_API void* MavrelFrameworkAllocate(std::size_t bytes) {
    if (faultSet(MAVREL_FRAMEWORK_FAULT_ALLOCATION)) {
        return nullptr;
    }
    return std::malloc(bytes != 0 ? bytes : 1);
}

extern "C" MAVREL_FRAMEWORK_API void
MavrelFrameworkConstructLibraryRecord(void* storage, MavrelFrameworkModuleRecord* module,
                                      int systemLibrary) {
    if (storage == nullptr || module == nullptr) {
        return;
    }
    FrameworkState& state = frameworkState();
    const std::lock_guard<std::mutex> guard(state.lock);
    auto* record = new (storage) MavrelFrameworkLibraryRecord{};
    record->magic = kLibraryRecordMagic;
    record->systemLibrary = systemLibrary != 0 ? 1U : 0U;
    record->module = module;
    record->next = module->libraries;
    module->libraries = record;
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
