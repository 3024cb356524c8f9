// The process-wide state of the framework: the registry of extension modules,
// the instances that have passed the pre-attach hook, and the test faults.
#pragma once

#include "MavrelFramework.h"

#include <atomic>
#include <cstdint>
#include <mutex>
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

namespace mavrel_framework {

inline constexpr std::uint32_t kLibraryRecordMagic = 0x4D46524CU; // "LRFM"

struct FrameworkState {
    std::mutex lock;
    std::vector<MavrelFrameworkModuleRecord*> modules; // registered, oldest first
    std::vector<void*> attaching; // instances between the hook's attach and its detach
    std::atomic<std::uint32_t> faults{0};
};

// The one state of the process. It lives until the framework itself is unloaded,
// after every module that uses it.
FrameworkState& frameworkState();

bool faultSet(std::uint32_t fault);

// Frees the per-library records of a module. The caller holds the lock.
void freeLibraryRecords(MavrelFrameworkModuleRecord& module);

} // namespace mavrel_framework
