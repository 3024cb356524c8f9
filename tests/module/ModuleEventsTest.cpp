// The attach and detach handler, driven with a recording framework: the order of
// the calls, their arguments, and each failure path.
#include "ModuleEvents.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Call {
    std::string op;
    const void* module = nullptr; // the module record passed
    const void* other = nullptr;  // instance handle or storage
    std::size_t bytes = 0;
    int flag = -1;

    bool operator==(const Call&) const = default;
};

// What the recording framework saw and how it answers. Plain function pointers
// cannot carry state, so the test keeps it here.
struct Recorder {
    std::vector<Call> calls;
    int initResult = 1;
    bool allocationFails = false;
    alignas(std::max_align_t) unsigned char storage[MAVREL_FRAMEWORK_LIBRARY_RECORD_BYTES] = {};
};
Recorder recorder;

int recordInit(MavrelFrameworkModuleRecord* module, void* instance) {
    recorder.calls.push_back({"init", module, instance, 0, -1});
    return recorder.initResult;
}

void* recordAllocate(std::size_t bytes) {
    recorder.calls.push_back({"allocate", nullptr, nullptr, bytes, -1});
    return recorder.allocationFails ? nullptr : recorder.storage;
}

void recordConstruct(void* storage, MavrelFrameworkModuleRecord* module, int flag) {
    recorder.calls.push_back({"construct", module, storage, 0, flag});
}

void recordTerm(MavrelFrameworkModuleRecord* module, int flag) {
    recorder.calls.push_back({"term", module, nullptr, 0, flag});
}

constexpr mavrel::FrameworkCalls kRecording{&recordInit, &recordAllocate, &recordConstruct,
                                            &recordTerm};

class ModuleEvents : public ::testing::Test {
  protected:
    void SetUp() override { recorder = Recorder{}; }

    int event(std::uint32_t reason) {
        return mavrel::handleModuleEvent(kRecording, &record, instance, reason);
    }

    MavrelFrameworkModuleRecord record{};
    void* instance = reinterpret_cast<void*>(std::uintptr_t{0x10000000});
};

TEST_F(ModuleEvents, AttachInitialisesThenBuildsTheLibraryRecord) {
    EXPECT_EQ(event(MAVREL_FRAMEWORK_PROCESS_ATTACH), 1);
    const std::vector<Call> expected{
        {"init", &record, instance, 0, -1},
        {"allocate", nullptr, nullptr, 64, -1},
        {"construct", &record, recorder.storage, 0, 0},
    };
    EXPECT_EQ(recorder.calls, expected);
}

TEST_F(ModuleEvents, RefusedInitialisationFailsTheAttachAndStopsThere) {
    recorder.initResult = 0;
    EXPECT_EQ(event(MAVREL_FRAMEWORK_PROCESS_ATTACH), 0);
    const std::vector<Call> expected{{"init", &record, instance, 0, -1}};
    EXPECT_EQ(recorder.calls, expected);
}

TEST_F(ModuleEvents, AnyNonzeroInitialisationLetsTheAttachGoOn) {
    for (const int result : {1, 2, -1, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(result);
        recorder = Recorder{};
        recorder.initResult = result;
        EXPECT_EQ(event(MAVREL_FRAMEWORK_PROCESS_ATTACH), 1);
        ASSERT_EQ(recorder.calls.size(), 3U);
        EXPECT_EQ(recorder.calls[2].op, "construct");
    }
}

TEST_F(ModuleEvents, FailedAllocationSkipsTheRecordAndTheAttachSucceeds) {
    recorder.allocationFails = true;
    EXPECT_EQ(event(MAVREL_FRAMEWORK_PROCESS_ATTACH), 1);
    const std::vector<Call> expected{
        {"init", &record, instance, 0, -1},
        {"allocate", nullptr, nullptr, 64, -1},
    };
    EXPECT_EQ(recorder.calls, expected);
}

TEST_F(ModuleEvents, DetachTerminatesWithFlagZero) {
    EXPECT_EQ(event(MAVREL_FRAMEWORK_PROCESS_DETACH), 1);
    const std::vector<Call> expected{{"term", &record, nullptr, 0, 0}};
    EXPECT_EQ(recorder.calls, expected);
}

TEST_F(ModuleEvents, EveryOtherReasonIsAcceptedAndIgnored) {
    // Thread attach and detach (2, 3), process verifier (4), and codes no
    // loader sends.
    for (const std::uint32_t reason : {2U, 3U, 4U, 5U, 0x7FFFFFFFU, 0x80000000U, 0xFFFFFFFFU}) {
        SCOPED_TRACE(reason);
        EXPECT_EQ(event(reason), 1);
    }
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(ModuleEvents, TheModuleRecordIsOnlyPassedOn) {
    std::memset(&record, 0xA5, sizeof record);
    unsigned char before[sizeof record];
    std::memcpy(before, &record, sizeof record);
    event(MAVREL_FRAMEWORK_PROCESS_ATTACH);
    event(2);
    event(MAVREL_FRAMEWORK_PROCESS_DETACH);
    recorder.allocationFails = true;
    event(MAVREL_FRAMEWORK_PROCESS_ATTACH);
    EXPECT_EQ(std::memcmp(before, &record, sizeof record), 0);
    for (const Call& call : recorder.calls) {
        if (call.op != "allocate") {
            EXPECT_EQ(call.module, &record) << call.op;
        }
    }
}

} // namespace
