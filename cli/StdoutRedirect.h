// Where stdout leads while the library runs: the report it prints there goes to
// stderr when stdout carries the WAV, and nowhere with --quiet.
#pragma once

namespace wavchorus_cli {

class StdoutRedirect {
  public:
    enum class To { unchanged, toStderr, nowhere };
    explicit StdoutRedirect(To to);
    StdoutRedirect(const StdoutRedirect&) = delete;
    StdoutRedirect& operator=(const StdoutRedirect&) = delete;
    ~StdoutRedirect();
    // False when stdout could not be redirected (no descriptor left).
    bool ok() const { return ok_; }
    // Gives stdout back before the object ends.
    void restore();

  private:
    int saved_ = -1;
    bool ok_ = true;
};

} // namespace wavchorus_cli
