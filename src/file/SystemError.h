// The text of a system error code, for the one-line failure messages.
#pragma once

#include <string>

namespace mavrel {

// err: an errno value, or a GetLastError code on Windows; 0 when the system gave
// none.
std::string systemErrorText(int err);

} // namespace mavrel
