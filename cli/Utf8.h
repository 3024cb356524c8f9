#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wavchorus_cli {

// Strict UTF-8 to UTF-16: no overlong forms, no surrogates, nothing above
// U+10FFFF. Returns nothing for text that is not valid UTF-8.
std::optional<std::u16string> utf8ToUtf16(std::string_view s);

} // namespace wavchorus_cli
