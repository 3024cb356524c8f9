#include "CliPath.h"

#include "PathConversion.h"

namespace wavchorus_cli {
namespace {

#if defined(_WIN32)
constexpr bool kBackslashSeparates = true;
constexpr char kSeparator = '\\';
#else
constexpr bool kBackslashSeparates = false;
constexpr char kSeparator = '/';
#endif

bool isSeparator(char c) {
    return c == '/' || (kBackslashSeparates && c == '\\');
}

} // namespace

std::optional<CliPath> cliPath(const std::string& utf8) {
    const std::optional<std::u16string> utf16 = mavrel::utf8ToUtf16(utf8);
    if (!utf16) {
        return std::nullopt;
    }
    CliPath p;
    p.shown = utf8;
    // A path from UTF-8 text: the bytes themselves on POSIX, UTF-16 on Windows.
    p.native = std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
    p.forLibrary.assign(utf16->begin(), utf16->end());
    return p;
}

std::string fileNameOf(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && isSeparator(path[end - 1])) {
        --end;
    }
    std::size_t begin = end;
    while (begin > 0 && !isSeparator(path[begin - 1])) {
        --begin;
    }
    std::string name = path.substr(begin, end - begin);
    // A Windows drive ("C:") is no file name.
    if (kBackslashSeparates && begin == 0 && name.size() == 2 && name[1] == ':') {
        return "";
    }
    return name == "." || name == ".." ? "" : name;
}

std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty() || isSeparator(dir.back())) {
        return dir + name;
    }
    return dir + kSeparator + name;
}

} // namespace wavchorus_cli
