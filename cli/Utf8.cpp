#include "Utf8.h"

namespace wavchorus_cli {

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

} // namespace wavchorus_cli
