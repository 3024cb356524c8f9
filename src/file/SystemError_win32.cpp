#include "SystemError.h"

#include "PathConversion.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace mavrel {

// The wide text, so that a message in any language arrives as UTF-8.
std::string systemErrorText(int err) {
    if (err == 0) {
        return "unknown error";
    }
    wchar_t text[512] = {};
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(err), 0, text, sizeof text / sizeof text[0], nullptr);
    std::wstring_view wide(text, length);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' ' ||
                             wide.back() == L'.')) {
        wide.remove_suffix(1);
    }
    const std::optional<std::string> result = utf16ToUtf8(wide);
    if (wide.empty() || !result) {
        return "system error " + std::to_string(static_cast<unsigned long>(err));
    }
    return *result;
}

} // namespace mavrel
