#include "PathConversion.h"

namespace mavrel {

std::size_t utf16Length(const char16_t* s) {
    std::size_t n = 0;
    while (s[n] != u'\0') {
        ++n;
    }
    return n;
}

std::optional<std::string> utf16ToUtf8(const char16_t* s) {
    const std::size_t n = utf16Length(s);
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

} // namespace mavrel
