#include "PathConversion.h"

#if defined(_WIN32)
#include <climits>
#include <cwchar>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace mavrel {

std::optional<std::string> utf16ToUtf8(std::u16string_view s) {
    const std::size_t n = s.size();
    std::string out;
    out.reserve(3 * n); // no UTF-16 unit becomes more than 3 bytes
    for (std::size_t i = 0; i < n; ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == n || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) {
                return std::nullopt;
            }
            c = 0x10000 + ((c - 0xD800) << 10U) + (static_cast<char32_t>(s[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return std::nullopt;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6U)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3FU)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12U)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6U) & 0x3FU)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3FU)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18U)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12U) & 0x3FU)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6U) & 0x3FU)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3FU)));
        }
    }
    return out;
}

#if defined(_WIN32)
std::optional<std::string> wideToAnsi(const wchar_t* s) {
    const std::size_t n = std::wcslen(s);
    if (n >= INT_MAX / 2 - 1) {
        return std::nullopt;
    }
    const int size = static_cast<int>(2 * (n + 1));
    std::string buffer(static_cast<std::size_t>(size), '\0');
    // The whole string, terminator included, with no flags and no default
    // character.
    const int written =
        ::WideCharToMultiByte(CP_ACP, 0, s, -1, buffer.data(), size, nullptr, nullptr);
    if (written <= 0) {
        return std::nullopt;
    }
    buffer.resize(static_cast<std::size_t>(written - 1));

    // Back to UTF-16: a path that does not come back unchanged was altered.
    const int units =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, buffer.c_str(), -1, nullptr, 0);
    if (units <= 0 || static_cast<std::size_t>(units) != n + 1) {
        return std::nullopt;
    }
    std::wstring back(static_cast<std::size_t>(units), L'\0');
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, buffer.c_str(), -1, back.data(),
                              units) != units ||
        std::wmemcmp(back.data(), s, n) != 0) {
        return std::nullopt;
    }
    return buffer;
}
#endif

} // namespace mavrel
