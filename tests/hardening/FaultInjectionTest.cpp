// The output fails at every stage of a call: while the header is written, in the
// first block, in the middle, at the last byte, at close and at the final rename;
// on a full device; in a read-only directory. Each time the call returns a
// failure code, the command line says so, no half-written output appears, an
// earlier output is intact and no temporary file is left.
#include "HardeningSupport.h"
#include "MavrelWAVChorus.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace hardening {
namespace {

constexpr std::size_t kInputValues = 200000; // a mono output of 400,044 bytes
constexpr std::size_t kOutputBytes = 44 + 2 * kInputValues;

const Bytes& inputFile() {
    static const Bytes file = wavFile(1, 44100, testSignal(kInputValues, 1));
    return file;
}

// What an unhindered call writes for inputFile().
const Bytes& fullOutput() {
    static const Bytes out = [] {
        ScratchDir dir;
        writeBytes(dir.file("in.wav"), inputFile());
        const int r = wavChorusInChild({}, dir.file("in.wav"), dir.file("out.wav"));
        if (r != WAVCHORUS_OK) {
            throw std::runtime_error("the unhindered call failed");
        }
        return readBytes(dir.file("out.wav"));
    }();
    return out;
}

const Bytes kEarlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'o', 'u', 't', 'p', 'u', 't'};

struct Stage {
    const char* name;
    long long sizeLimit; // RLIMIT_FSIZE: the first byte that cannot be written
};

void PrintTo(const Stage& s, std::ostream* os) {
    *os << s.name;
}

const Stage kStages[] = {
    {"header_nothing_written", 0},
    {"header_half_written", 22},
    {"header_all_but_last_byte", 43},
    {"first_sample", 45},
    {"first_block", 44 + 1000},
    {"middle", static_cast<long long>(kOutputBytes / 2 + 1)},
    {"last_byte", static_cast<long long>(kOutputBytes - 1)},
};

class OutputFailsAt : public ::testing::TestWithParam<Stage> {
  protected:
    void SetUp() override { writeBytes(in, inputFile()); }

    ChildSetup limited() const { return ChildSetup{GetParam().sizeLimit, false, {}}; }

    ScratchDir dir;
    std::string in = dir.file("in.wav");
    std::string out = dir.file("out.wav");
};

TEST_P(OutputFailsAt, CallFailsAndLeavesNoOutput) {
    EXPECT_EQ(wavChorusInChild(limited(), in, out), WAVCHORUS_ERR_WRITE);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav"}));
    EXPECT_EQ(readBytes(in), inputFile());
}

TEST_P(OutputFailsAt, EarlierOutputIsIntact) {
    writeBytes(out, kEarlier);
    ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
    EXPECT_EQ(wavChorusInChild(limited(), in, out), WAVCHORUS_ERR_WRITE);
    EXPECT_EQ(readBytes(out), kEarlier);
    EXPECT_EQ(fileMode(out), 0640U);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

TEST_P(OutputFailsAt, InputProcessedInPlaceIsIntact) {
    EXPECT_EQ(wavChorusInChild(limited(), in, in), WAVCHORUS_ERR_WRITE);
    EXPECT_EQ(readBytes(in), inputFile());
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav"}));
}

TEST_P(OutputFailsAt, CommandLineSaysSo) {
    writeBytes(out, kEarlier);
    const CliResult r = runCli(limited(), in, out);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("WAVChorus: cannot write output \"" + out + "\": File too large"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("wavchorus: failed (code -10)"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(out), kEarlier);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

// A shell's ulimit -f leaves SIGXFSZ at its default, which ends the process at
// the first write past the limit. The command line ignores it, so the write
// fails and the temporary file is removed.
TEST_P(OutputFailsAt, CommandLineOutlivesTheFileSizeSignal) {
    ChildSetup setup = limited();
    setup.ignoreFileSizeSignal = false;
    const CliResult r = runCli(setup, in, out);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("wavchorus: failed (code -10)"), std::string::npos) << r.err;
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav"}));
}

INSTANTIATE_TEST_SUITE_P(Stages, OutputFailsAt, ::testing::ValuesIn(kStages),
                         [](const auto& info) { return std::string(info.param.name); });

class OutputFault : public ::testing::Test {
  protected:
    void SetUp() override { writeBytes(in, inputFile()); }

    ScratchDir dir;
    std::string in = dir.file("in.wav");
    std::string out = dir.file("out.wav");
};

// The limit at exactly the output's size: the boundary of the stages above.
TEST_F(OutputFault, SizeLimitOfExactlyTheOutputSucceeds) {
    ASSERT_EQ(fullOutput().size(), kOutputBytes);
    EXPECT_EQ(
        wavChorusInChild(ChildSetup{static_cast<long long>(kOutputBytes), false, {}}, in, out),
        WAVCHORUS_OK);
    EXPECT_EQ(readBytes(out), fullOutput());
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

// A long stereo input that holds half of what its header declares, under a
// file-size limit between the two, with SIGXFSZ at its default: room found ahead
// of the writes for what is declared stops at the limit, which the output never
// reaches, rather than raise the signal.
TEST_F(OutputFault, SizeLimitBelowTheDeclaredSizeAboveTheOutputSucceeds) {
    Bytes file = wavFile(2, 44100, testSignal(2 * 44100 * 30, 2));
    const std::uint32_t declared = 4 * 44100 * 60;
    for (std::size_t k = 0; k < 4; ++k) {
        file[40 + k] = static_cast<std::uint8_t>(declared >> (8 * k));
    }
    writeBytes(in, file);
    ChildSetup setup{6000000, false, {}};
    setup.ignoreFileSizeSignal = false;
    EXPECT_EQ(wavChorusInChild(setup, in, out), WAVCHORUS_OK);
    // The frames held, and one silent value for the first missing frame.
    EXPECT_EQ(std::filesystem::file_size(out), 44U + 4U * 44100U * 30U + 2U);
}

TEST_F(OutputFault, CloseFails) {
    const ChildSetup setup{
        -1,
        false,
        {"LD_PRELOAD=" FAULT_SHIM, "MAVREL_FAULT=close", "ASAN_OPTIONS=verify_asan_link_order=0"}};
    CliResult r = runCli(setup, in, out);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("WAVChorus: cannot write output \"" + out + "\": Input/output error"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("wavchorus: failed (code -10)"), std::string::npos) << r.err;
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav"}));

    writeBytes(out, kEarlier);
    r = runCli(setup, in, out);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(readBytes(out), kEarlier);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

TEST_F(OutputFault, RenameIntoPlaceFails) {
    const ChildSetup setup{
        -1,
        false,
        {"LD_PRELOAD=" FAULT_SHIM, "MAVREL_FAULT=rename", "ASAN_OPTIONS=verify_asan_link_order=0"}};
    writeBytes(out, kEarlier);
    const CliResult r = runCli(setup, in, out);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("WAVChorus: cannot write output \"" + out + "\": Input/output error"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("wavchorus: failed (code -10)"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(out), kEarlier);
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

// The shim itself works: without a fault it changes nothing.
TEST_F(OutputFault, ShimWithoutFaultChangesNothing) {
    const ChildSetup setup{
        -1, false, {"LD_PRELOAD=" FAULT_SHIM, "ASAN_OPTIONS=verify_asan_link_order=0"}};
    const CliResult r = runCli(setup, in, out);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readBytes(out), fullOutput());
}

TEST_F(OutputFault, FullDevice) {
    if (!fileExists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    EXPECT_EQ(wavChorusInChild({}, in, "/dev/full"), WAVCHORUS_ERR_WRITE);
    const CliResult r = runCli({}, in, "/dev/full");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("WAVChorus: cannot write output \"/dev/full\": No space left on device"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("wavchorus: failed (code -10)"), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists("/dev/.full.tmp"));
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav"}));
}

// An output that is a link to the full device: written through the link, which
// stays a link, and nothing is left beside it.
TEST_F(OutputFault, LinkToFullDevice) {
    if (!fileExists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    ASSERT_EQ(::symlink("/dev/full", out.c_str()), 0);
    EXPECT_EQ(wavChorusInChild({}, in, out), WAVCHORUS_ERR_WRITE);
    const CliResult r = runCli({}, in, out);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    struct stat st {};
    ASSERT_EQ(::lstat(out.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(dir.entries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

// A directory that the caller may not write into. Root may write anywhere, so
// the child gives up the capabilities that allow it before the call.
class ReadOnlyDirectory : public OutputFault {
  protected:
    void SetUp() override {
        OutputFault::SetUp();
        ASSERT_EQ(::mkdir(locked.c_str(), 0755), 0);
        writeBytes(lockedIn, inputFile());
        writeBytes(lockedOut, kEarlier);
        ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
        const int probe = inChild(ChildSetup{-1, true, {}},
                                  [&] { return ::access(locked.c_str(), W_OK) == 0 ? 1 : 0; });
        if (probe == kSetupUnavailable || probe == 1) {
            GTEST_SKIP() << "this process cannot be kept from writing into a read-only directory";
        }
    }

    std::set<std::string> lockedEntries() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(locked)) {
            names.insert(e.path().filename().string());
        }
        return names;
    }

    std::string locked = dir.file("locked");
    std::string lockedIn = locked + "/in.wav";
    std::string lockedOut = locked + "/out.wav";
    ChildSetup obeying{-1, true, {}};
};

TEST_F(ReadOnlyDirectory, NewOutputCannotBeCreated) {
    const std::string newOut = locked + "/new.wav";
    EXPECT_EQ(wavChorusInChild(obeying, in, newOut), WAVCHORUS_ERR_CREATE_OUTPUT);
    const CliResult r = runCli(obeying, in, newOut);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("WAVChorus: cannot create output \"" + newOut + "\": Permission denied"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("wavchorus: failed (code -8)"), std::string::npos) << r.err;
    EXPECT_EQ(lockedEntries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

// The output is replaced through a file beside it, which a read-only directory
// refuses: the earlier output stays as it was.
TEST_F(ReadOnlyDirectory, EarlierOutputIsIntact) {
    EXPECT_EQ(wavChorusInChild(obeying, in, lockedOut), WAVCHORUS_ERR_CREATE_OUTPUT);
    const CliResult r = runCli(obeying, in, lockedOut);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("wavchorus: failed (code -8)"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(lockedOut), kEarlier);
    EXPECT_EQ(lockedEntries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

TEST_F(ReadOnlyDirectory, InputProcessedInPlaceIsIntact) {
    EXPECT_EQ(wavChorusInChild(obeying, lockedIn, lockedIn), WAVCHORUS_ERR_CREATE_OUTPUT);
    EXPECT_EQ(readBytes(lockedIn), inputFile());
    EXPECT_EQ(lockedEntries(), (std::set<std::string>{"in.wav", "out.wav"}));
}

} // namespace
} // namespace hardening
