// The framework stand-in itself: its registry, its per-library records and the
// faults that tests can set.
#include "MavrelFramework.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<MavrelFrameworkModuleInfo> listModules() {
    std::vector<MavrelFrameworkModuleInfo> modules(MavrelFrameworkListModules(nullptr, 0));
    modules.resize(MavrelFrameworkListModules(modules.data(), modules.size()));
    return modules;
}

void* fakeInstance(std::uintptr_t n) {
    return reinterpret_cast<void*>(n << 16U);
}

class Framework : public ::testing::Test {
  protected:
    void TearDown() override {
        MavrelFrameworkSetTestFaults(0);
        MavrelFrameworkTermExtensionModule(nullptr, 1);
        for (void* instance : hooked) {
            MavrelFrameworkPreAttachHook(instance, MAVREL_FRAMEWORK_PROCESS_DETACH, nullptr);
        }
    }

    // A module loaded as the platform's start-up code does it.
    int load(MavrelFrameworkModuleRecord& module, void* instance) {
        if (MavrelFrameworkPreAttachHook(instance, MAVREL_FRAMEWORK_PROCESS_ATTACH, nullptr) == 0) {
            return 0;
        }
        hooked.push_back(instance);
        return MavrelFrameworkInitExtensionModule(&module, instance);
    }

    std::vector<void*> hooked;
    // The records outlive each test's body: the registry holds them until
    // TearDown.
    MavrelFrameworkModuleRecord module{};
    MavrelFrameworkModuleRecord other{};
    MavrelFrameworkModuleRecord modules[3] = {};
};

TEST_F(Framework, RegistersAModuleAndItsLibraryRecords) {
    ASSERT_NE(load(module, fakeInstance(1)), 0);
    for (int k = 0; k < 2; ++k) {
        void* storage = MavrelFrameworkAllocate(MAVREL_FRAMEWORK_LIBRARY_RECORD_BYTES);
        ASSERT_NE(storage, nullptr);
        MavrelFrameworkConstructLibraryRecord(storage, &module, 0);
    }
    const auto modules = listModules();
    ASSERT_EQ(modules.size(), 1U);
    EXPECT_EQ(modules[0].instance, fakeInstance(1));
    EXPECT_EQ(modules[0].libraryRecords, 2U);

    MavrelFrameworkTermExtensionModule(&module, 0);
    EXPECT_TRUE(listModules().empty());
    EXPECT_EQ(module.registered, 0U);
    EXPECT_EQ(module.libraries, nullptr);
}

TEST_F(Framework, RefusesAModuleWhoseStartUpSkippedTheHook) {
    EXPECT_EQ(MavrelFrameworkInitExtensionModule(&module, fakeInstance(2)), 0);
    EXPECT_TRUE(listModules().empty());
}

TEST_F(Framework, ASecondInitialisationRegistersOnce) {
    ASSERT_NE(load(module, fakeInstance(3)), 0);
    EXPECT_NE(MavrelFrameworkInitExtensionModule(&module, fakeInstance(3)), 0);
    EXPECT_EQ(listModules().size(), 1U);
}

TEST_F(Framework, TerminatingOneModuleLeavesTheOthers) {
    MavrelFrameworkModuleRecord& first = module;
    MavrelFrameworkModuleRecord& second = other;
    MavrelFrameworkModuleRecord neverLoaded{};
    ASSERT_NE(load(first, fakeInstance(4)), 0);
    ASSERT_NE(load(second, fakeInstance(5)), 0);

    MavrelFrameworkTermExtensionModule(&neverLoaded, 0);
    EXPECT_EQ(listModules().size(), 2U);

    MavrelFrameworkTermExtensionModule(&first, 0);
    const auto modules = listModules();
    ASSERT_EQ(modules.size(), 1U);
    EXPECT_EQ(modules[0].instance, fakeInstance(5));

    MavrelFrameworkTermExtensionModule(&first, 0); // a second termination changes nothing
    EXPECT_EQ(listModules().size(), 1U);
}

TEST_F(Framework, TerminationWithTheAllFlagEndsEveryModule) {
    ASSERT_NE(load(module, fakeInstance(6)), 0);
    ASSERT_NE(load(other, fakeInstance(7)), 0);
    MavrelFrameworkTermExtensionModule(&module, 1);
    EXPECT_TRUE(listModules().empty());
}

TEST_F(Framework, ListingStopsAtTheCapacityButCountsAll) {
    for (std::uintptr_t k = 0; k < 3; ++k) {
        ASSERT_NE(load(modules[k], fakeInstance(10 + k)), 0);
    }
    MavrelFrameworkModuleInfo out[2] = {};
    EXPECT_EQ(MavrelFrameworkListModules(out, 2), 3U);
    EXPECT_EQ(out[0].instance, fakeInstance(10)); // oldest first
    EXPECT_EQ(out[1].instance, fakeInstance(11));
}

TEST_F(Framework, FaultsMakeEachOperationFailUntilCleared) {
    MavrelFrameworkSetTestFaults(MAVREL_FRAMEWORK_FAULT_PRE_ATTACH);
    EXPECT_EQ(load(module, fakeInstance(20)), 0);

    MavrelFrameworkSetTestFaults(MAVREL_FRAMEWORK_FAULT_REFUSE_INIT);
    EXPECT_EQ(load(module, fakeInstance(21)), 0);
    EXPECT_TRUE(listModules().empty());

    MavrelFrameworkSetTestFaults(MAVREL_FRAMEWORK_FAULT_ALLOCATION);
    EXPECT_EQ(MavrelFrameworkAllocate(MAVREL_FRAMEWORK_LIBRARY_RECORD_BYTES), nullptr);

    MavrelFrameworkSetTestFaults(0);
    EXPECT_NE(load(module, fakeInstance(22)), 0);
    void* storage = MavrelFrameworkAllocate(MAVREL_FRAMEWORK_LIBRARY_RECORD_BYTES);
    EXPECT_NE(storage, nullptr);
    MavrelFrameworkConstructLibraryRecord(storage, &module, 0);
}

} // namespace
