// Turns the exported UTF-16 path into the narrow path that files are opened with:
// UTF-8 on Linux, the system's ANSI code page on Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mavrel {

// UTF-16 to UTF-8, surrogate pairs included. Returns nothing for an unpaired
// surrogate: such a path has no UTF-8 form, and a mangled name would open the
// wrong file.
std::optional<std::string> utf16ToUtf8(std::u16string_view s);

#if defined(_WIN32)
// A wide path in the system's default ANSI code page (code page 0), converted
// into a buffer of 2 x (n + 1) bytes for a path of n units, which holds any path
// of a single- or double-byte code page. Returns nothing when the conversion
// fails or the path has no exact form in the code page: the conversion would
// put '?' or a look-alike letter in its place and name a different file.
std::optional<std::string> wideToAnsi(const wchar_t* s);
#endif

} // namespace mavrel
