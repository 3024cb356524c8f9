// The instance handle that the module gives the framework: on each platform the
// address that names the loaded module, as a module handle does on Windows.
#pragma once

namespace mavrel {

// Null when the platform cannot say.
void* ownInstance();

} // namespace mavrel
