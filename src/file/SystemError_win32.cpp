#include "SystemError.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace mavrel {

std::string systemErrorText(int err) {
    if (err == 0) {
        return "unknown error";
    }
    char text[512] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(err), 0, text, sizeof text, nullptr);
    std::string result(text, length);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                               result.back() == ' ' || result.back() == '.')) {
        result.pop_back();
    }
    if (result.empty()) {
        return "system error " + std::to_string(static_cast<unsigned long>(err));
    }
    return result;
}

} // namespace mavrel
