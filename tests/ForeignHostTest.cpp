// A foreign host: loads the built library by path, resolves WAVChorus by name
// and calls it with UTF-16 paths that are not ASCII.
#include "ReferenceChorus.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

using namespace testing_support;

namespace {

using WAVChorusFn = std::int32_t (*)(const char16_t*, const char16_t*);

struct Library {
    explicit Library(const char* path) : handle(::dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    ~Library() {
        if (handle != nullptr) {
            ::dlclose(handle);
        }
    }
    void* handle;
};

} // namespace

TEST(ForeignHost, LoadsTheLibraryAndCallsItWithUnicodePaths) {
    const Library lib(MAVREL_LIBRARY_PATH);
    ASSERT_NE(lib.handle, nullptr) << "cannot load " << MAVREL_LIBRARY_PATH << ": " << ::dlerror();
    auto* fn = reinterpret_cast<WAVChorusFn>(::dlsym(lib.handle, "WAVChorus"));
    ASSERT_NE(fn, nullptr) << "no symbol WAVChorus in " << MAVREL_LIBRARY_PATH;

    TempDir dir;
    WavSpec s;
    s.channels = 2;
    s.sampleRate = 44100;
    s.samples = testSignal(20000, 8);
    const Bytes input = makeWav(s);
    const std::string names[][2] = {
        {"caf\xc3\xa9 in.wav", "caf\xc3\xa9 out.wav"},
        {"\xe6\x97\xa5\xe6\x9c\xac.wav", "\xe5\x90\x88\xe5\x94\xb1.wav"},
        {"\xf0\x9f\x8e\xb8 guitar.wav", "\xf0\x9f\x8e\xb5 chorus.wav"}};
    for (const auto& [in, out] : names) {
        writeBytes(dir / in, input);
        const std::u16string inPath = toU16((dir / in).string());
        const std::u16string outPath = toU16((dir / out).string());
        testing::internal::CaptureStdout();
        const std::int32_t result = fn(inPath.c_str(), outPath.c_str());
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(result, 999) << in;
        EXPECT_EQ(readBytes(dir / out), referenceChorus(input).output) << out;
    }
}
