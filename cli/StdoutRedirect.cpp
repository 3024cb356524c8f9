#include "StdoutRedirect.h"

#include "Console.h"

#include <cstdio>

namespace wavchorus_cli {

StdoutRedirect::StdoutRedirect(To to) {
    if (to == To::unchanged) {
        return;
    }
    const int target = to == To::toStderr ? console::duplicate(2) : console::openDiscard();
    std::fflush(stdout);
    saved_ = console::duplicate(1);
    if (target < 0 || saved_ < 0 || !console::redirect(1, target)) {
        console::closeDescriptor(saved_);
        saved_ = -1;
        ok_ = false;
    }
    console::closeDescriptor(target);
}

StdoutRedirect::~StdoutRedirect() {
    restore();
}

void StdoutRedirect::restore() {
    if (saved_ < 0) {
        return;
    }
    std::fflush(stdout);
    (void)console::redirect(1, saved_);
    console::closeDescriptor(saved_);
    saved_ = -1;
}

} // namespace wavchorus_cli
