// The command line's helper threads: batch workers, stream pumps, the progress
// line. Like every thread of the program they hold the stop signals, which a
// thread of their own takes (see Signals.h).
#pragma once

#include <functional>
#include <thread>

namespace wavchorus_cli {

enum class PipeSignal {
    // A write to a pipe whose reader has gone ends the process, as for any filter.
    deliver,
    // Such a write fails with EPIPE instead: the thread feeds the library, which
    // may stop reading early.
    block,
};

// Starts fn on a new thread.
std::thread startHelperThread(std::function<void()> fn,
                              PipeSignal pipeSignal = PipeSignal::deliver);

} // namespace wavchorus_cli
