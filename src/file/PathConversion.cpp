#include "PathConversion.h"

#if defined(_WIN32)
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

std::optional<std::u16string> utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        char32_t c = 0;
        std::size_t extra = 0;
        char32_t minimum = 0;
        if (b0 < 0x80) {
            c = b0;
        } else if (b0 >= 0xC2 && b0 <= 0xDF) {
            c = b0 & 0x1FU;
            extra = 1;
            minimum = 0x80;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            c = b0 & 0x0FU;
            extra = 2;
            minimum = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            c = b0 & 0x07U;
            extra = 3;
            minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (extra > s.size() - i - 1) {
            return std::nullopt;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0U) != 0x80U) {
                return std::nullopt;
            }
            c = (c << 6U) | (b & 0x3FU);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            return std::nullopt;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10U)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FFU)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += extra + 1;
    }
    return out;
}

#if defined(_WIN32)
std::wstring systemPath(const std::string& utf8) {
    // The file layer's paths come from utf16ToUtf8, and are valid UTF-8.
    const std::optional<std::u16string> utf16 = utf8ToUtf16(utf8);
    const std::wstring wide = utf16 ? std::wstring(utf16->begin(), utf16->end()) : std::wstring();
    if (wide.rfind(L"\\\\?\\", 0) == 0 || wide.rfind(L"\\\\.\\", 0) == 0) {
        return wide;
    }
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed <= MAX_PATH) {
        // Short enough for the plain form (or not a path the system can resolve,
        // which then fails as it is).
        return wide;
    }
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return wide;
    }
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}
#endif

} // namespace mavrel
