// What is left when the command line ends at any step of writing its output:
// killed, stopped by a signal, or on a file system without unnamed files; and
// the order in which an output that replaces its input reaches the disk.
//
// The steps are those the fault shim sees (tests/hardening/FaultShim.cpp): the
// creation of the output, each write, the syncs, the link, the close and the
// rename. The shim records them and sends the process a signal just before any
// one of them, so every point of a run is reached exactly, without timing.
#include "HardeningSupport.h"
#include "MavrelWAVChorus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace hardening {
namespace {

// A mono file whose output takes some 25 writes of the library's blocks: with a
// kill before and in the middle of each, the kill points are spread over a run
// of 6 MiB.
constexpr std::size_t kInputValues = 3 * 1024 * 1024;

const Bytes& inputFile() {
    static const Bytes file = wavFile(1, 44100, testSignal(kInputValues, 3));
    return file;
}

const Bytes kEarlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'o', 'u', 't', 'p', 'u', 't'};

std::vector<std::string> withShim(std::vector<std::string> env) {
    env.push_back("LD_PRELOAD=" FAULT_SHIM);
    env.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
    return env;
}

std::string signalAt(std::size_t step, int signal, bool half = false) {
    return "MAVREL_SIGNAL_AT=" + std::to_string(step) + " " + std::to_string(signal) +
           (half ? " half" : "");
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// text as a regular expression that matches it alone.
std::string literal(const std::string& text) {
    return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

// The names a temporary file may take beside an output, whatever its name.
bool isTemporary(const std::string& entry) {
    return std::regex_match(entry, std::regex("\\.wavchorus\\.[0-9a-f]{16}\\.tmp"));
}

class Durability : public ::testing::Test {
  protected:
    void SetUp() override {
        // On a file system without unnamed files everything takes the named
        // fallback, which has its own cases below.
        const int probe = ::open(dir.path().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (probe < 0) {
            GTEST_SKIP() << dir.path() << " has no unnamed files (O_TMPFILE)";
        }
        ::close(probe);
        writeBytes(in, inputFile());
    }

    // The steps of one run of the command line, written in a directory apart,
    // with the scratch directory shown as DIR, a temporary name as TMP and a
    // descriptor's path as FD.
    std::vector<std::string> steps(std::vector<std::string> env, const std::string& from,
                                   const std::string& to, CliResult* result = nullptr,
                                   const std::string& standardInput = {}) {
        const std::string log = logs.file("steps-" + std::to_string(++runs));
        env.push_back("MAVREL_STEP_LOG=" + log);
        ChildSetup setup{-1, false, withShim(env)};
        setup.standardInput = standardInput;
        const CliResult r = runCli(setup, from, to);
        if (result != nullptr) {
            *result = r;
        }
        const std::regex directory(literal(std::filesystem::canonical(dir.path()).string()) + "|" +
                                   literal(dir.path()));
        std::vector<std::string> lines;
        for (std::string line : readLines(log)) {
            line = std::regex_replace(line, directory, "DIR");
            line = std::regex_replace(line, std::regex("/\\.[^/ ]+\\.[0-9a-f]{16}\\.tmp"), "/TMP");
            line = std::regex_replace(line, std::regex("/proc/self/fd/[0-9]+"), "FD");
            // The writes in between say nothing about the order.
            if (line != "write" || lines.empty() || lines.back() != "write...") {
                lines.push_back(line == "write" ? "write..." : line);
            }
        }
        return lines;
    }

    // The raw number of steps of one run and the index (from 1) of a step.
    std::vector<std::string> rawSteps(const std::string& from, const std::string& to) {
        const std::string log = logs.file("raw-" + std::to_string(++runs));
        const CliResult r =
            runCli(ChildSetup{-1, false, withShim({"MAVREL_STEP_LOG=" + log})}, from, to);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return readLines(log);
    }

    ScratchDir dir;
    ScratchDir logs;
    int runs = 0;
    std::string in = dir.file("in.wav");
    std::string out = dir.file("out.wav");
};

// --- The order of the steps ---------------------------------------------------

TEST_F(Durability, InPlaceSyncsTheDataBeforeTheRenameAndTheDirectoryAfter) {
    EXPECT_EQ(
        steps({}, in, in),
        (std::vector<std::string>{"create-unnamed DIR", "write...", "datasync", "link FD DIR/TMP",
                                  "close", "rename DIR/TMP DIR/in.wav", "dirsync DIR"}));
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav"}));
}

// Standard input redirected from the output itself (wavchorus - f.wav < f.wav)
// is the input too.
TEST_F(Durability, InPlaceFromStandardInput) {
    EXPECT_EQ(
        steps({}, "-", in, nullptr, in),
        (std::vector<std::string>{"create-unnamed DIR", "write...", "datasync", "link FD DIR/TMP",
                                  "close", "rename DIR/TMP DIR/in.wav", "dirsync DIR"}));
}

// A symbolic link to the input is followed: the file it names is replaced, and
// durably, as it is the input.
TEST_F(Durability, InPlaceThroughASymbolicLink) {
    ASSERT_EQ(::symlink("in.wav", out.c_str()), 0);
    EXPECT_EQ(
        steps({}, in, out),
        (std::vector<std::string>{"create-unnamed DIR", "write...", "datasync", "link FD DIR/TMP",
                                  "close", "rename DIR/TMP DIR/in.wav", "dirsync DIR"}));
    struct stat st {};
    ASSERT_EQ(::lstat(out.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_NE(readBytes(in), inputFile());
}

// Another hard link of the input is the input too: the data is synced before the
// other name is replaced. The input's own name keeps the old data.
TEST_F(Durability, InPlaceThroughAnotherHardLink) {
    ASSERT_EQ(::link(in.c_str(), out.c_str()), 0);
    EXPECT_EQ(
        steps({}, in, out),
        (std::vector<std::string>{"create-unnamed DIR", "write...", "datasync", "link FD DIR/TMP",
                                  "close", "rename DIR/TMP DIR/out.wav", "dirsync DIR"}));
    EXPECT_EQ(readBytes(in), inputFile());
    EXPECT_NE(readBytes(out), inputFile());
}

// An output that is not the input skips the syncs: its input remains.
TEST_F(Durability, ReplacingAnotherOutputSkipsTheSyncs) {
    writeBytes(out, kEarlier);
    EXPECT_EQ(steps({}, in, out),
              (std::vector<std::string>{"create-unnamed DIR", "write...", "link FD DIR/TMP",
                                        "close", "rename DIR/TMP DIR/out.wav"}));
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

// With nothing at the output's name, the complete file takes it in one step.
TEST_F(Durability, NewOutputIsLinkedStraightToItsName) {
    EXPECT_EQ(steps({}, in, out), (std::vector<std::string>{"create-unnamed DIR", "write...",
                                                            "link FD DIR/out.wav", "close"}));
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

// --- Killed at every step -----------------------------------------------------

enum class Target { none, earlierOutput, input };

struct KillCase {
    const char* name;
    Target target;
};

void PrintTo(const KillCase& c, std::ostream* os) {
    *os << c.name;
}

class KilledAtEveryStep : public Durability, public ::testing::WithParamInterface<KillCase> {};

// SIGKILL just before each step of a run and in the middle of each write, one
// run per point. Until the output is named, the directory is as it was; once it
// is, the target holds the whole new output. Between the link to a temporary
// name and the rename, which SIGKILL alone can cut, the complete output is left
// under that name beside the untouched target.
TEST_P(KilledAtEveryStep, LeavesTheOldContentOrTheWholeOutput) {
    const Target target = GetParam().target;
    const std::string to = target == Target::input ? in : out;
    const std::string toName = target == Target::input ? "in.wav" : "out.wav";
    const auto prepare = [&] {
        writeBytes(in, inputFile());
        if (target == Target::earlierOutput) {
            writeBytes(out, kEarlier);
        }
    };
    prepare();
    const std::vector<std::string> all = rawSteps(in, to);
    const Bytes whole = readBytes(to);
    const std::set<std::string> before = target == Target::earlierOutput
                                             ? std::set<std::string>{"in.wav", "out.wav"}
                                             : std::set<std::string>{"in.wav"};
    const std::set<std::string> after{"in.wav", toName};
    const Bytes old = target == Target::input ? inputFile() : kEarlier;

    // The step from which on the output has its name, and the link to a
    // temporary name before it, if any.
    const auto named = std::find_if(all.begin(), all.end(), [&](const std::string& s) {
        return s.rfind(target == Target::none ? "link " : "rename ", 0) == 0;
    });
    ASSERT_NE(named, all.end());
    const auto renameStep = static_cast<std::size_t>(named - all.begin()) + 1;
    const std::size_t linkStep =
        target == Target::none
            ? renameStep
            : static_cast<std::size_t>(
                  std::find_if(all.begin(), all.end(),
                               [](const std::string& s) { return s.rfind("link ", 0) == 0; }) -
                  all.begin()) +
                  1;
    // Before every step, and in the middle of every write.
    std::vector<std::pair<std::size_t, bool>> points;
    for (std::size_t k = 1; k <= all.size(); ++k) {
        points.emplace_back(k, false);
        if (all[k - 1] == "write") {
            points.emplace_back(k, true);
        }
    }
    ASSERT_GE(points.size(), 40U) << "too few kill points; enlarge kInputValues";

    std::size_t leftWithTemporaryName = 0;
    for (const auto& [k, half] : points) {
        SCOPED_TRACE(std::string(half ? "killed in the middle of step " : "killed before step ") +
                     std::to_string(k) + ": " + all[k - 1]);
        for (const std::string& e : dir.entries()) {
            std::filesystem::remove(dir.file(e));
        }
        prepare();
        const CliResult r =
            runCli(ChildSetup{-1, false, withShim({signalAt(k, SIGKILL, half)})}, in, to);
        ASSERT_EQ(r.signal, SIGKILL) << r.err;
        std::set<std::string> entries = dir.entries();
        if (k <= linkStep) {
            EXPECT_EQ(entries, before);
            if (target != Target::none) {
                EXPECT_EQ(readBytes(to), old);
            }
        } else if (k <= renameStep) {
            ++leftWithTemporaryName;
            const auto temporary = std::find_if(entries.begin(), entries.end(),
                                                [&](auto& e) { return isTemporary(e); });
            ASSERT_NE(temporary, entries.end());
            EXPECT_EQ(readBytes(dir.file(*temporary)), whole);
            entries.erase(temporary);
            EXPECT_EQ(entries, before);
            EXPECT_EQ(readBytes(to), old);
        } else {
            EXPECT_EQ(entries, after);
            EXPECT_EQ(readBytes(to), whole);
        }
        if (target != Target::input) {
            EXPECT_EQ(readBytes(in), inputFile());
        }
        if (HasFailure()) {
            break;
        }
    }
    // The close between the link and the rename, and the rename itself.
    EXPECT_EQ(leftWithTemporaryName, target == Target::none ? 0U : 2U);
}

const KillCase kKillCases[] = {
    {"new_output", Target::none},
    {"replacing_an_earlier_output", Target::earlierOutput},
    {"in_place", Target::input},
};

INSTANTIATE_TEST_SUITE_P(Outputs, KilledAtEveryStep, ::testing::ValuesIn(kKillCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Stopped by a signal ------------------------------------------------------

struct StopCase {
    const char* name;
    int signal;
    const char* signalName;
    bool inPlace;
    const char* atStep; // the first step of this kind, or "middle" for the middle write
    bool completes;     // the signal waits for the rename: the new output is in place
};

void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
}

class StoppedBySignal : public Durability, public ::testing::WithParamInterface<StopCase> {};

// Killed by the signal itself, which a shell reports as 128 + the signal.
TEST_P(StoppedBySignal, EndsWithOneLineAsKilledByTheSignal) {
    const StopCase& c = GetParam();
    const std::string to = c.inPlace ? in : out;
    if (!c.inPlace) {
        writeBytes(out, kEarlier);
    }
    const std::vector<std::string> all = rawSteps(in, to);
    const Bytes whole = readBytes(to);
    writeBytes(to, c.inPlace ? inputFile() : kEarlier);

    std::size_t at = 0;
    if (std::string(c.atStep) == "middle") {
        at = all.size() / 2;
        ASSERT_EQ(all[at - 1], "write");
    } else {
        const auto found = std::find_if(all.begin(), all.end(), [&](const std::string& s) {
            return s.rfind(c.atStep, 0) == 0;
        });
        ASSERT_NE(found, all.end());
        at = static_cast<std::size_t>(found - all.begin()) + 1;
    }
    // The signal is taken by a thread of its own: the step waits for it, so that
    // a loaded machine does not let the call finish first.
    const CliResult r =
        runCli(ChildSetup{-1, false, withShim({signalAt(at, c.signal) + " wait"})}, in, to);
    EXPECT_EQ(r.signal, c.signal) << "exit status " << r.exitCode;
    EXPECT_EQ(r.err, std::string("wavchorus: stopped by ") + c.signalName + "\n");
    EXPECT_EQ(dir.entries(), c.inPlace ? (std::set<std::string>{"in.wav"})
                                       : (std::set<std::string>{"in.wav", "out.wav"}));
    EXPECT_EQ(readBytes(to), c.completes ? whole : (c.inPlace ? inputFile() : kEarlier));
}

const StopCase kStopCases[] = {
    {"sigint_while_writing", SIGINT, "SIGINT", false, "middle", false},
    {"sigterm_while_writing", SIGTERM, "SIGTERM", false, "middle", false},
    {"sighup_while_writing", SIGHUP, "SIGHUP", false, "middle", false},
    {"sigterm_in_place_while_writing", SIGTERM, "SIGTERM", true, "middle", false},
    {"sigint_in_place_at_the_data_sync", SIGINT, "SIGINT", true, "datasync", false},
    // Held from the link to the rename, the signal ends the process only once
    // the output is in place.
    {"sigint_at_the_link", SIGINT, "SIGINT", false, "link", true},
    {"sigterm_at_the_rename", SIGTERM, "SIGTERM", false, "rename", true},
    {"sighup_in_place_at_the_rename", SIGHUP, "SIGHUP", true, "rename", true},
};

INSTANTIATE_TEST_SUITE_P(Signals, StoppedBySignal, ::testing::ValuesIn(kStopCases),
                         [](const auto& info) { return std::string(info.param.name); });

// In a batch the library runs on worker threads and the stop signal is taken by
// the main thread, which the library's holding of the signals does not reach:
// the stop must wait until the worker has put its output in place. The shim
// sends the signal as the worker is about to rename, then lets the worker go on
// only 200 ms later, so a stop that does not wait ends the process in between.
TEST_F(Durability, BatchStoppedAsAWorkerNamesItsOutputWaitsForTheRename) {
    const ScratchDir target;
    const std::string targetOut = target.file("in.wav");
    writeBytes(targetOut, kEarlier);
    const std::vector<std::string> args = {"-q", "--no-progress", "-j", "2",
                                           "-t", target.path(),   in};
    const std::string log = logs.file("batch-steps");
    const CliResult first =
        runCli(ChildSetup{-1, false, withShim({"MAVREL_STEP_LOG=" + log})}, args);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const Bytes whole = readBytes(targetOut);
    const std::vector<std::string> all = readLines(log);
    const auto rename = std::find_if(all.begin(), all.end(), [](const std::string& line) {
        return line.rfind("rename ", 0) == 0;
    });
    ASSERT_NE(rename, all.end());
    writeBytes(targetOut, kEarlier);

    const std::size_t at = static_cast<std::size_t>(rename - all.begin()) + 1;
    const CliResult r =
        runCli(ChildSetup{-1, false, withShim({signalAt(at, SIGINT) + " wait"})}, args);
    EXPECT_EQ(r.signal, SIGINT) << "exit status " << r.exitCode;
    EXPECT_EQ(r.err, "wavchorus: stopped by SIGINT\n");
    EXPECT_EQ(target.entries(), std::set<std::string>{"in.wav"});
    EXPECT_EQ(readBytes(targetOut), whole);
}

// Under nohup, SIGHUP is ignored, and stays so.
TEST_F(Durability, IgnoredHangupStaysIgnored) {
    const std::vector<std::string> all = rawSteps(in, out);
    const Bytes whole = readBytes(out);
    std::filesystem::remove(out);
    ChildSetup setup{-1, false, withShim({signalAt(all.size() / 2, SIGHUP)})};
    setup.ignoredSignals = {SIGHUP};
    const CliResult r = runCli(setup, in, out);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readBytes(out), whole);
}

// --- Without unnamed files ----------------------------------------------------

// Where the file system refuses unnamed files, the output goes to a named
// temporary file beside it, renamed into place when complete.
TEST_F(Durability, FallbackWritesANamedTemporaryFile) {
    const std::vector<std::string> fallback = {"MAVREL_FAULT=tmpfile"};
    const Bytes whole = [&] {
        EXPECT_EQ(rawSteps(in, out).front(), "create-unnamed " + dir.path());
        const Bytes b = readBytes(out);
        std::filesystem::remove(out);
        return b;
    }();
    EXPECT_EQ(steps(fallback, in, out),
              (std::vector<std::string>{"create-unnamed DIR", "create-named DIR/TMP", "write...",
                                        "close", "rename DIR/TMP DIR/out.wav"}));
    EXPECT_EQ(readBytes(out), whole);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav", "out.wav"}));

    EXPECT_EQ(steps(fallback, out, out),
              (std::vector<std::string>{"create-unnamed DIR", "create-named DIR/TMP", "write...",
                                        "datasync", "close", "rename DIR/TMP DIR/out.wav",
                                        "dirsync DIR"}));
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

TEST_F(Durability, FallbackFailuresLeaveTheEarlierOutput) {
    for (const char* fault : {"MAVREL_FAULT=tmpfile,close", "MAVREL_FAULT=tmpfile,rename"}) {
        SCOPED_TRACE(fault);
        writeBytes(out, kEarlier);
        CliResult r;
        steps({fault}, in, out, &r);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("Input/output error"), std::string::npos) << r.err;
        EXPECT_EQ(readBytes(out), kEarlier);
        EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav", "out.wav"}));
    }
}

// What the fallback cannot promise: a process killed while it writes leaves
// its temporary file (never the output half-written).
TEST_F(Durability, FallbackKilledLeavesItsTemporaryFile) {
    writeBytes(out, kEarlier);
    const std::size_t middle = rawSteps(in, out).size() / 2;
    writeBytes(out, kEarlier);
    const CliResult r =
        runCli(ChildSetup{-1, false, withShim({"MAVREL_FAULT=tmpfile", signalAt(middle, SIGKILL)})},
               in, out);
    EXPECT_EQ(r.signal, SIGKILL);
    EXPECT_EQ(readBytes(out), kEarlier);
    std::set<std::string> entries = dir.entries();
    EXPECT_EQ(entries.size(), 3U);
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const std::string& e) { return isTemporary(e); }),
              1);
}

} // namespace
} // namespace hardening
