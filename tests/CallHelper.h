// Calls the exported WAVChorus with UTF-8 paths and collects what it printed.
#pragma once

#include "MavrelWAVChorus.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

struct CallResult {
    std::int32_t code = 0;
    std::string out;
    std::string err;
};

inline CallResult callWAVChorus(const std::filesystem::path& in, const std::filesystem::path& out) {
    const std::u16string inPath = testing_support::toU16(in.string());
    const std::u16string outPath = testing_support::toU16(out.string());
    CallResult r;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    r.code = WAVChorus(inPath.c_str(), outPath.c_str());
    std::fflush(stdout);
    r.err = testing::internal::GetCapturedStderr();
    r.out = testing::internal::GetCapturedStdout();
    return r;
}
