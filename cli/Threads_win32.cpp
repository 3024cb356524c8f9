// Windows delivers console interruptions on a thread of their own: nothing to
// block.
#include "Threads.h"

namespace wavchorus_cli {

std::thread startHelperThread(std::function<void()> fn, PipeSignal /*pipeSignal*/) {
    return std::thread(std::move(fn));
}

} // namespace wavchorus_cli
