// Text between UTF-16 (the exported paths, the Windows arguments and messages)
// and UTF-8, the narrow form the file layer takes on every system; on Windows
// the file layer turns a path back into UTF-16 for the wide file calls, so that
// any name opens exactly the file it names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mavrel {

// UTF-16 to UTF-8, surrogate pairs included. Returns nothing for an unpaired
// surrogate: such a path has no UTF-8 form, and a mangled name would open the
// wrong file.
std::optional<std::string> utf16ToUtf8(std::u16string_view s);

// Strict UTF-8 to UTF-16: no overlong forms, no surrogates, nothing above
// U+10FFFF. Returns nothing for text that is not valid UTF-8.
std::optional<std::u16string> utf8ToUtf16(std::string_view s);

#if defined(_WIN32)
// wchar_t holds UTF-16 units on Windows, but is a type of its own.
inline std::optional<std::string> utf16ToUtf8(std::wstring_view s) {
    return utf16ToUtf8(std::u16string(s.begin(), s.end()));
}

// The form of a UTF-8 path (from utf16ToUtf8) that the system's wide file calls
// (CreateFileW) take: UTF-16 again, exactly, and as given when it is short
// enough for them. A path whose absolute form has MAX_PATH (260) units or more
// is made absolute (GetFullPathNameW, which resolves "." and ".." and turns "/"
// into a backslash, as the system does for a short path) and given the prefix
// that lifts the limit: \\?\ for a drive, \\?\UNC\ for a share (\\server\...).
std::wstring systemPath(const std::string& utf8);
#endif

} // namespace mavrel
