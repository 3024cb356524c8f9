// A host of the tests' own, built on lilv, that loads the plugin bundle from the
// build folder as a music host would. Each case compares whole outputs with the
// test suite's model of the chorus (its 16-bit values divided by 32767): in odd,
// fixed and varying block sizes, with the host's buffers shared between inputs
// and outputs, after each reset, at the rates at the ends of the range; it counts
// the heap taken in run() and activate(), and runs run() where any system call
// but read, write and exit kills the process.
#include "CountingAllocator.h"
#include "ReferenceChorus.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

using testing_support::referenceValues;
using testing_support::testSignal;

constexpr const char* kMono = "urn:mavrelwavchorus:mono";
constexpr const char* kStereo = "urn:mavrelwavchorus:stereo";

struct World {
    LilvWorld* world = lilv_world_new();
    World() {
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, MAVREL_LV2_BUNDLE);
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;
    ~World() { lilv_world_free(world); }
    const LilvPlugin* plugin(const char* uri) const {
        LilvNode* node = lilv_new_uri(world, uri);
        const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
        lilv_node_free(node);
        return p;
    }
};

World& world() {
    static World w;
    return w;
}

// An instance, activated when made and freed when it goes; p is null where the
// plugin refuses the rate.
struct Instance {
    LilvInstance* p;
    Instance(const char* uri, double rate)
        : p(lilv_plugin_instantiate(world().plugin(uri), rate, nullptr)) {
        if (p != nullptr) {
            lilv_instance_activate(p);
        }
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance() {
        if (p != nullptr) {
            lilv_instance_free(p);
        }
    }
};

std::vector<float> asHostValues(const std::vector<std::int16_t>& s) {
    std::vector<float> x;
    for (const std::int16_t v : s) {
        x.push_back(static_cast<float>(v) / 32768.0F); // as libsndfile reads 16-bit PCM
    }
    return x;
}

// What the plugin must output for 16-bit inputs s: the model's values / 32767.
std::vector<float> expectedOutput(std::int32_t rate, const std::vector<std::int16_t>& s) {
    std::vector<float> y;
    for (const std::int16_t v : referenceValues(rate, s)) {
        y.push_back(static_cast<float>(v) / 32767.0F);
    }
    return y;
}

// -1 when equal bit for bit, else the first frame that differs.
std::ptrdiff_t firstDifference(const std::vector<float>& want, const std::vector<float>& got) {
    const auto [w, g] =
        std::mismatch(want.begin(), want.end(), got.begin(), got.end(), [](float a, float b) {
            return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
        });
    return w == want.end() && g == got.end() ? -1 : w - want.begin();
}

// Block sizes for a run: cycled through until the input is used up.
struct Schedule {
    const char* name;
    std::vector<std::uint32_t> sizes;
};

std::vector<Schedule> schedules() {
    std::vector<std::uint32_t> varying;
    std::uint32_t seed = 12345;
    for (int k = 0; k < 200; ++k) {
        seed = seed * 1664525U + 1013904223U;
        varying.push_back(1 + (seed >> 8U) % 8192);
    }
    varying.insert(varying.begin(), {1, 8192, 1, 2, 255, 256, 257, 8191});
    return {{"1", {1}}, {"7", {7}}, {"64", {64}}, {"8192", {8192}}, {"varying 1 to 8192", varying}};
}

// Runs an instance over frames, block by block, each port connected to its
// buffer at the block's first frame; a buffer may serve several ports. Returns
// the number of allocations made in run().
std::size_t runBlocks(LilvInstance* p, const std::vector<std::pair<std::uint32_t, float*>>& ports,
                      std::size_t frames, const std::vector<std::uint32_t>& sizes) {
    std::size_t allocations = 0;
    std::size_t done = 0;
    for (std::size_t b = 0; done < frames; b = (b + 1) % sizes.size()) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(sizes[b], frames - done));
        for (const auto& [index, buffer] : ports) {
            lilv_instance_connect_port(p, index, buffer + done);
        }
        hardening::startCounting();
        lilv_instance_run(p, n);
        allocations += hardening::stopCounting().allocations;
        done += n;
    }
    return allocations;
}

std::size_t runMono(LilvInstance* p, const float* in, float* out, std::size_t frames,
                    const std::vector<std::uint32_t>& sizes) {
    return runBlocks(p, {{0, const_cast<float*>(in)}, {1, out}}, frames, sizes);
}

// Every block size gives the same output, the model's, with no heap taken in
// run() or activate(), separate and shared buffers alike, at a rate with the
// 2000-value ring and at one with a larger ring. One instance per rate, activated
// afresh for each run, as a host does when playback starts again.
TEST(Lv2Host, EveryBlockSizeGivesTheModelsOutputWithoutHeap) {
    for (const std::int32_t rate : {44100, 192000}) {
        const std::vector<std::int16_t> s = testSignal(static_cast<std::size_t>(rate) * 3, 7);
        const std::vector<float> in = asHostValues(s);
        const std::vector<float> want = expectedOutput(rate, s);
        Instance chorus(kMono, rate);
        ASSERT_NE(chorus.p, nullptr);
        for (const Schedule& schedule : schedules()) {
            for (const bool shared : {false, true}) {
                SCOPED_TRACE(std::to_string(rate) + " Hz, blocks " + schedule.name +
                             (shared ? ", output in the input's buffer" : ""));
                lilv_instance_deactivate(chorus.p);
                hardening::startCounting();
                lilv_instance_activate(chorus.p);
                EXPECT_EQ(hardening::stopCounting().allocations, 0U) << "in activate()";
                std::vector<float> out = shared ? in : std::vector<float>(in.size());
                EXPECT_EQ(runMono(chorus.p, shared ? out.data() : in.data(), out.data(), in.size(),
                                  schedule.sizes),
                          0U)
                    << "allocations in run()";
                EXPECT_EQ(firstDifference(want, out), -1);
            }
        }
    }
}

// The left input onto both outputs; the right one changes nothing, also where
// the outputs share the inputs' buffers, crossed.
TEST(Lv2Host, StereoChorusesTheLeftInputOntoBothOutputs) {
    constexpr std::int32_t kRate = 48000;
    const std::vector<std::int16_t> left = testSignal(kRate * 2, 3);
    const std::vector<float> want = expectedOutput(kRate, left);
    for (const bool crossed : {false, true}) {
        SCOPED_TRACE(crossed ? "left out in the right input's buffer and right out in the left's"
                             : "separate buffers");
        std::vector<float> inLeft = asHostValues(left);
        std::vector<float> inRight = asHostValues(testSignal(kRate * 2, 4));
        std::vector<float> outLeft(want.size());
        std::vector<float> outRight(want.size());
        float* l = crossed ? inRight.data() : outLeft.data();
        float* r = crossed ? inLeft.data() : outRight.data();
        Instance chorus(kStereo, kRate);
        ASSERT_NE(chorus.p, nullptr);
        EXPECT_EQ(runBlocks(chorus.p, {{0, inLeft.data()}, {1, inRight.data()}, {2, l}, {3, r}},
                            want.size(), {1, 100, 4096, 333}),
                  0U);
        EXPECT_EQ(firstDifference(want, std::vector<float>(l, l + want.size())), -1) << "left";
        EXPECT_EQ(firstDifference(want, std::vector<float>(r, r + want.size())), -1) << "right";
    }
}

// Every 16-bit value s comes in as s / 32768 and is taken as s; other values are
// truncated toward zero and clipped. In blocks of 1 value, and of 4096 with the
// whole input a multiple of 8 values, to take both the plugin's value-by-value
// conversion and its eight-at-a-time one.
TEST(Lv2Host, InputValuesMapToTheirSixteenBitSteps) {
    constexpr float kStep = 1.0F / 32768.0F;
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    // clang-format off
    const std::vector<std::pair<float, std::int16_t>> mapped = {
        {1.0F, 32767}, {2.5F, 32767}, {kInf, 32767}, {-1.0F, -32768}, {-3.0F, -32768},
        {-kInf, -32768}, {0.5F * kStep, 0}, {-0.5F * kStep, 0}, {1.75F * kStep, 1},
        {-1.75F * kStep, -1}, {32767.5F * kStep, 32767}, {kNaN, 0}, {-0.0F, 0}};
    // clang-format on
    std::vector<std::int16_t> s;
    for (std::int32_t v = -32768; v <= 32767; ++v) {
        s.push_back(static_cast<std::int16_t>(v));
    }
    std::vector<float> in = asHostValues(s);
    for (const auto& [x, value] : mapped) {
        in.push_back(x);
        s.push_back(value);
    }
    while (in.size() % 8 != 0) {
        in.push_back(0.0F);
        s.push_back(0);
    }
    constexpr std::int32_t kRate = 48000;
    const std::vector<float> want = expectedOutput(kRate, s);
    for (const std::uint32_t block : {1U, 4096U}) {
        SCOPED_TRACE("blocks of " + std::to_string(block));
        Instance chorus(kMono, kRate);
        ASSERT_NE(chorus.p, nullptr);
        std::vector<float> out(in.size());
        runMono(chorus.p, in.data(), out.data(), in.size(), {block});
        EXPECT_EQ(firstDifference(want, out), -1);
    }
}

// The library's rates, 1 to 768,000 Hz in whole hertz, and no others.
TEST(Lv2Host, InstantiatesAtTheLibrarysRatesAlone) {
    for (const double rate :
         {0.0, -1.0, 0.5, 44100.5, 768001.0, 1e12, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity()}) {
        for (const char* uri : {kMono, kStereo}) {
            Instance chorus(uri, rate);
            EXPECT_EQ(chorus.p, nullptr) << uri << " at " << rate << " Hz";
        }
    }
    for (const std::int32_t rate : {1, 768000}) {
        SCOPED_TRACE(std::to_string(rate) + " Hz");
        const std::vector<std::int16_t> s = testSignal(40000, 5);
        const std::vector<float> in = asHostValues(s);
        Instance chorus(kMono, rate);
        ASSERT_NE(chorus.p, nullptr);
        std::vector<float> out(in.size());
        runMono(chorus.p, in.data(), out.data(), in.size(), {997});
        EXPECT_EQ(firstDifference(expectedOutput(rate, s), out), -1);
    }
}

// run() in a child process whose system calls are limited to read, write and
// exit (seccomp's strict mode): any other call, a lock that waits or memory taken
// from the system among them, kills it.
TEST(Lv2Host, RunMakesNoSystemCall) {
    constexpr std::int32_t kRate = 96000;
    const std::vector<std::int16_t> s = testSignal(kRate * 2, 9);
    const std::vector<float> in = asHostValues(s);
    const std::vector<float> want = expectedOutput(kRate, s);
    std::vector<float> out(in.size());
    Instance chorus(kMono, kRate);
    ASSERT_NE(chorus.p, nullptr);
    const std::vector<std::uint32_t> sizes = schedules().back().sizes;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_STRICT) != 0) {
            _exit(3);
        }
        runMono(chorus.p, in.data(), out.data(), in.size(), sizes);
        // Compared without the heap, which could take memory from the system.
        syscall(SYS_exit, firstDifference(want, out) == -1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 3) {
        GTEST_SKIP() << "seccomp's strict mode is not available here";
    }
    ASSERT_FALSE(WIFSIGNALED(status))
        << "run() was killed by signal " << WTERMSIG(status) << ": it made a system call";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the outputs under seccomp differ from the model's";
}

} // namespace
