// The module's record for the framework.
#pragma once

#include "MavrelFramework.h"

namespace mavrel {

// Zero-filled when the library is loaded. Only the framework reads or writes it;
// the module hands its address over at attach and at detach.
extern MavrelFrameworkModuleRecord moduleRecord;

} // namespace mavrel
