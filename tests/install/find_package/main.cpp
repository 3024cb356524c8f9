// Built against the installed CMake package. Usage: find_package_consumer IN.wav OUT.wav
#include <MavrelWAVChorus.h>

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: find_package_consumer IN.wav OUT.wav\n");
        return 2;
    }
#if defined(_WIN32)
    const std::wstring in = std::filesystem::path(argv[1]).wstring();
    const std::wstring out = std::filesystem::path(argv[2]).wstring();
#else
    const std::u16string in = std::filesystem::path(argv[1]).u16string();
    const std::u16string out = std::filesystem::path(argv[2]).u16string();
#endif
    const std::int32_t result = WAVChorus(in.c_str(), out.c_str());
    if (result != WAVCHORUS_OK) {
        std::fprintf(stderr, "WAVChorus gave %d\n", static_cast<int>(result));
        return 1;
    }
    return 0;
}
