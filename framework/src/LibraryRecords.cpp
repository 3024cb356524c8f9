// The framework's allocator and the per-library records built in its storage.
#include "FrameworkState.h"

#include <cstdlib>
#include <new>

namespace mavrel_framework {

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

} // namespace mavrel_framework

using namespace mavrel_framework;

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
