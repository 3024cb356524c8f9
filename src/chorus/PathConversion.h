// Turns the exported UTF-16 path into the narrow path that files are opened with.
#pragma once

#include <optional>
#include <string>

namespace mavrel {

// Length of a null-terminated UTF-16 string in code units, without the terminator.
std::size_t utf16Length(const char16_t* s);

// UTF-16 to UTF-8, surrogate pairs included. Returns nothing for an unpaired
// surrogate: such a path has no UTF-8 form, and a mangled name would open the
// wrong file.
std::optional<std::string> utf16ToUtf8(const char16_t* s);

} // namespace mavrel
