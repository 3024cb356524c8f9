// Loading the built library with dlopen registers it with the framework, with
// the library's own load address as its instance handle; dlclose deregisters it.
#include "MavrelFramework.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<MavrelFrameworkModuleInfo> listModules() {
    std::vector<MavrelFrameworkModuleInfo> modules(MavrelFrameworkListModules(nullptr, 0));
    modules.resize(MavrelFrameworkListModules(modules.data(), modules.size()));
    return modules;
}

class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(::dlopen(MAVREL_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr)
            << "the library is loaded before the test loads it";
        ASSERT_TRUE(listModules().empty());
    }

    void TearDown() override { MavrelFrameworkSetTestFaults(0); }

    // Loads the library; returns its load address, the instance handle it
    // should register with.
    void* load() {
        handle = ::dlopen(MAVREL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            ADD_FAILURE() << "dlopen: " << ::dlerror();
            return nullptr;
        }
        void* const entry = ::dlsym(handle, "WAVChorus");
        Dl_info info{};
        if (entry == nullptr || ::dladdr(entry, &info) == 0) {
            ADD_FAILURE() << "WAVChorus not found in " << MAVREL_LIBRARY_PATH;
            return nullptr;
        }
        return info.dli_fbase;
    }

    void unload() {
        ASSERT_EQ(::dlclose(handle), 0) << ::dlerror();
        EXPECT_EQ(::dlopen(MAVREL_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD), nullptr)
            << "dlclose left the library loaded";
    }

    void* handle = nullptr;
};

TEST_F(Registry, LoadRegistersTheModuleAndUnloadDeregistersIt) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        void* const instance = load();
        ASSERT_NE(instance, nullptr);
        const auto modules = listModules();
        ASSERT_EQ(modules.size(), 1U);
        EXPECT_EQ(modules[0].instance, instance);
        EXPECT_EQ(modules[0].libraryRecords, 1U);
        unload();
        EXPECT_TRUE(listModules().empty());
    }
}

TEST_F(Registry, RefusedInitialisationLeavesTheModuleUnregistered) {
    // A constructor cannot fail dlopen: the library loads, unregistered.
    MavrelFrameworkSetTestFaults(MAVREL_FRAMEWORK_FAULT_REFUSE_INIT);
    ASSERT_NE(load(), nullptr);
    EXPECT_TRUE(listModules().empty());
    unload();
}

TEST_F(Registry, RefusedPreAttachHookSkipsTheAttach) {
    MavrelFrameworkSetTestFaults(MAVREL_FRAMEWORK_FAULT_PRE_ATTACH);
    ASSERT_NE(load(), nullptr);
    EXPECT_TRUE(listModules().empty());
    unload();
}

TEST_F(Registry, FailedAllocationRegistersTheModuleWithoutItsRecord) {
    MavrelFrameworkSetTestFaults(MAVREL_FRAMEWORK_FAULT_ALLOCATION);
    void* const instance = load();
    ASSERT_NE(instance, nullptr);
    const auto modules = listModules();
    ASSERT_EQ(modules.size(), 1U);
    EXPECT_EQ(modules[0].instance, instance);
    EXPECT_EQ(modules[0].libraryRecords, 0U);
    unload();
    EXPECT_TRUE(listModules().empty());
}

} // namespace
