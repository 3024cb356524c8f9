// The LV2 plugin's run() per frame beside the engine's own processBlock per
// value, at 48 kHz in blocks of 64 frames, on the same tones and noise: the cost
// of the plugin's conversions and chunking over the engine. As in a host, the
// blocks come from a few buffers that stay in the cache (64 blocks, used again
// and again) while the chorus goes through ten seconds of frames. The
// plugin is loaded as a host loads it (dlopen, lv2_descriptor) and both are timed
// in alternating rounds, so that load from elsewhere falls on both alike.
//   plugin_bench PLUGIN.so [--only engine|plugin] [--rounds N]
// prints "engine NS" and "plugin NS", the median time per frame over the rounds,
// and their ratio; with --only, runs that one alone for a fixed number of frames
// (for counting its instructions with callgrind) and prints nothing.
#include "ChorusState.h"
#include "TonesAndNoise.h"

#include <lv2/core/lv2.h>

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t kRate = 48000;
constexpr std::size_t kBlock = 64;

constexpr std::size_t kBuffer = 64 * kBlock;
constexpr std::size_t kFrames = static_cast<std::size_t>(kRate) * 10;

struct Plugin {
    const LV2_Descriptor* descriptor = nullptr;
    LV2_Handle handle = nullptr;
};

Plugin load(const char* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "plugin_bench: %s\n", dlerror());
        std::exit(1);
    }
    using Entry = const LV2_Descriptor* (*)(std::uint32_t);
    const auto entry = reinterpret_cast<Entry>(dlsym(library, "lv2_descriptor"));
    Plugin p;
    p.descriptor = entry != nullptr ? entry(0) : nullptr;
    if (p.descriptor != nullptr) {
        p.handle = p.descriptor->instantiate(p.descriptor, kRate, "", nullptr);
    }
    if (p.handle == nullptr) {
        std::fprintf(stderr, "plugin_bench: %s gives no mono instance at %d Hz\n", path, kRate);
        std::exit(1);
    }
    p.descriptor->activate(p.handle);
    return p;
}

// Ten seconds of frames, in blocks of kBlock.
void engineOnce(mavrel::ChorusState& state, const std::vector<std::int16_t>& in,
                std::vector<std::int16_t>& out) {
    for (std::size_t done = 0; done < kFrames; done += kBlock) {
        const std::size_t k = done % kBuffer;
        mavrel::processBlock(state, in.data() + k, out.data() + k, kBlock);
    }
}

void pluginOnce(const Plugin& p, std::vector<float>& in, std::vector<float>& out) {
    for (std::size_t done = 0; done < kFrames; done += kBlock) {
        const std::size_t k = done % kBuffer;
        p.descriptor->connect_port(p.handle, 0, in.data() + k);
        p.descriptor->connect_port(p.handle, 1, out.data() + k);
        p.descriptor->run(p.handle, kBlock);
    }
}

template <class F> double nanosecondsPerFrame(F&& once, std::size_t frames) {
    const auto start = std::chrono::steady_clock::now();
    once();
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    return took.count() / static_cast<double>(frames);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: plugin_bench PLUGIN.so [--only engine|plugin] [--rounds N]\n");
        return 2;
    }
    std::string only;
    int rounds = 15;
    for (int a = 2; a + 1 < argc; a += 2) {
        const std::string option = argv[a];
        if (option == "--only") {
            only = argv[a + 1];
        } else if (option == "--rounds") {
            rounds = std::max(1, std::atoi(argv[a + 1]));
        }
    }
    const std::vector<std::int16_t> values = bench::tonesAndNoise(kBuffer, kRate);
    std::vector<std::int16_t> engineOut(values.size());
    std::vector<float> in;
    in.reserve(values.size());
    for (const std::int16_t v : values) {
        in.push_back(static_cast<float>(v) / 32768.0F);
    }
    std::vector<float> pluginOut(in.size());
    mavrel::ChorusState state = mavrel::setUpChorus(kRate);
    const Plugin plugin = load(argv[1]);
    // The first pass of each fills what is filled on first use.
    engineOnce(state, values, engineOut);
    pluginOnce(plugin, in, pluginOut);

    std::vector<double> engine;
    std::vector<double> run;
    for (int r = 0; r < rounds; ++r) {
        if (only != "plugin") {
            engine.push_back(
                nanosecondsPerFrame([&] { engineOnce(state, values, engineOut); }, kFrames));
        }
        if (only != "engine") {
            run.push_back(nanosecondsPerFrame([&] { pluginOnce(plugin, in, pluginOut); }, kFrames));
        }
    }
    if (only.empty()) {
        std::printf("engine %.3f\nplugin %.3f\nratio %.3f\n", median(engine), median(run),
                    median(run) / median(engine));
    }
    plugin.descriptor->cleanup(plugin.handle);
    return 0;
}
