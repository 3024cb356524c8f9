// Systems without a request to start writeback (POSIX has none): the data goes
// to storage when the system's own writeback takes it.
#include "Writeback.h"

namespace mavrel {

void startWritingBack(int /*fd*/) {}

} // namespace mavrel
