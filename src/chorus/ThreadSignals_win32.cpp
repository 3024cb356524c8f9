// Windows delivers no signals to the threads of a process: a console interrupt
// runs its handler on a thread of its own. Nothing to hold back.
#include "ThreadSignals.h"

namespace mavrel {

AsyncSignalsHeld::AsyncSignalsHeld() = default;

AsyncSignalsHeld::~AsyncSignalsHeld() = default;

} // namespace mavrel
