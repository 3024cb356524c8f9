// Helpers for the hardening tests: WAV files built byte by byte, scratch
// directories, and child processes with a file-size limit or without the right to
// write into read-only directories.
#pragma once

#include "TestFiles.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace hardening {

using testing_support::Bytes;
using testing_support::le16;
using testing_support::le32;
using testing_support::readBytes;
using testing_support::toU16;
using testing_support::writeBytes;

// A canonical 44-byte 16-bit PCM header. rate and dataBytes are the raw 32-bit
// fields, so any value can be declared.
Bytes wavHeader(std::uint16_t channels, std::uint32_t rate, std::uint32_t dataBytes);

// values 16-bit samples: a sine whose phase starts at seed, with full-scale
// values mixed in.
std::vector<std::int16_t> testSignal(std::size_t values, unsigned seed);

void appendValues(Bytes& b, const std::vector<std::int16_t>& values);

// A whole file whose header declares exactly the values it holds.
Bytes wavFile(std::uint16_t channels, std::uint32_t rate, const std::vector<std::int16_t>& values);

// The 16-bit values after byte 44.
std::vector<std::int16_t> samplesOf(const Bytes& file);

// readBytes throws when the file cannot be read; fileExists for a check.
bool fileExists(const std::string& path);
unsigned fileMode(const std::string& path);

// A fresh directory, removed with everything in it when the object goes.
class ScratchDir {
  public:
    ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    ~ScratchDir();

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names in the directory, hidden ones included.
    std::set<std::string> entries() const;

  private:
    std::string path_;
};

struct ChildSetup {
    // RLIMIT_FSIZE in bytes, with SIGXFSZ ignored so that a write past it fails
    // with EFBIG instead of killing the process. Negative: no limit.
    long long fileSizeLimit = -1;
    // Takes away the capabilities that let root write into a read-only
    // directory (CAP_DAC_OVERRIDE, CAP_FOWNER), also for programs it executes.
    bool obeyPermissions = false;
    // Environment variables set in the child, NAME=value.
    std::vector<std::string> env;
    // false: SIGXFSZ keeps its default action (ending the process) even with a
    // file-size limit, as in a shell after ulimit -f.
    bool ignoreFileSizeSignal = true;
    // Signals that the child starts with ignored, as under nohup. SIGINT, SIGTERM
    // and SIGHUP otherwise start at their default action, whatever this process
    // was given.
    std::vector<int> ignoredSignals{};
    // A file that the command line reads as its standard input (startCli);
    // empty: it inherits this process's.
    std::string standardInput{};
};

// Exit status of a child that could not be set up as asked (e.g. the
// capabilities cannot be dropped); tests skip on it.
inline constexpr int kSetupUnavailable = 125;

// Runs fn in a forked child set up as asked; returns fn's result as the child's
// exit status (0-255), or -1 when the child died of a signal.
int inChild(const ChildSetup& setup, const std::function<int()>& fn);

// What wavChorusInChild gives when the child died of a signal.
inline constexpr int kChildKilled = -1000;

// WAVChorus in a forked child. Returns its result (999 or a negative code),
// kSetupUnavailable when the child could not be set up, or kChildKilled.
int wavChorusInChild(const ChildSetup& setup, const std::string& in, const std::string& out);

struct CliResult {
    int exitCode = -1; // -1 when killed by a signal
    int signal = 0;    // the signal that killed it, or 0
    std::string err;   // everything on stderr
};

// The command-line host with the two paths (or the arguments given), started
// with stdout to /dev/null and stderr to a pipe.
struct CliProcess {
    int pid = -1;
    int errFd = -1; // the read end of the stderr pipe
};
CliProcess startCli(const ChildSetup& setup, const std::string& in, const std::string& out);
CliProcess startCli(const ChildSetup& setup, const std::vector<std::string>& args);
// Reads stderr to its end and waits for the process.
CliResult finishCli(CliProcess& p);

CliResult runCli(const ChildSetup& setup, const std::string& in, const std::string& out);
CliResult runCli(const ChildSetup& setup, const std::vector<std::string>& args);

// Puts the process's capability to ignore file permissions back out of reach:
// PR_CAPBSET_DROP plus capset. False when that is not possible.
bool dropPermissionOverride();

} // namespace hardening
