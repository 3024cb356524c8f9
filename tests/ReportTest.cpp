// The console report, to the character.
#include "CallHelper.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace testing_support;

TEST(Report, StereoFileAt44100) {
    TempDir dir;
    WavSpec s;
    s.channels = 2;
    s.sampleRate = 44100;
    s.samples = testSignal(88200, 1);
    writeBytes(dir / "in.wav", makeWav(s));
    const CallResult r = callWAVChorus(dir / "in.wav", dir / "out.wav");
    ASSERT_EQ(r.code, 999);
    EXPECT_EQ(r.out, "Wave data is\n"
                     "Channel       = 2 ch\n"
                     "Sample rate   = 44100 Hz \n"
                     "Sample number = 44100\n"
                     "\n"
                     "Output WAVE data is\n"
                     "Channel       = 2 ch\n"
                     "Sample rate   = 44100 Hz \n"
                     "Sample number = 44100\n");
}

TEST(Report, DeclaredFramesNotWhatTheFileHolds) {
    TempDir dir;
    WavSpec s;
    s.channels = 3;
    s.sampleRate = 8000;
    s.samples = testSignal(4, 1);
    s.declareDataBytes = true;
    s.dataBytes = 6000001; // 1,000,000 frames declared, 1 held; the report says 1,000,000
    writeBytes(dir / "in.wav", makeWav(s));
    testing::internal::CaptureStdout();
    const std::u16string in = toU16((dir / "in.wav").string());
    // Written to /dev/null: the padding runs to the declared count.
    const std::int32_t code = WAVChorus(in.c_str(), u"/dev/null");
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(code, 999);
    EXPECT_EQ(out, "Wave data is\n"
                   "Channel       = 3 ch\n"
                   "Sample rate   = 8000 Hz \n"
                   "Sample number = 1000000\n"
                   "\n"
                   "Output WAVE data is\n"
                   "Channel       = 3 ch\n"
                   "Sample rate   = 8000 Hz \n"
                   "Sample number = 1000000\n");
}

namespace {

// Everything written to fd 1 while fn runs, one string per write: fd 1 is a
// SOCK_SEQPACKET socket for the time, which keeps each write a message of its own.
template <typename Fn> std::vector<std::string> writesToStdout(int bufferMode, Fn fn) {
    int sv[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv), 0);
    std::fflush(stdout);
    const int saved = ::dup(1);
    ::dup2(sv[0], 1);
    std::setvbuf(stdout, nullptr, bufferMode, BUFSIZ);
    fn();
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
    std::vector<std::string> writes;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::recv(sv[1], buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0) {
            break;
        }
        writes.emplace_back(buf, static_cast<std::size_t>(n));
    }
    ::close(sv[0]);
    ::close(sv[1]);
    return writes;
}

const char* const kInputHalf = "Wave data is\n"
                               "Channel       = 1 ch\n"
                               "Sample rate   = 8000 Hz \n"
                               "Sample number = 1000\n";
const char* const kOutputHalf = "\n"
                                "Output WAVE data is\n"
                                "Channel       = 1 ch\n"
                                "Sample rate   = 8000 Hz \n"
                                "Sample number = 1000\n";

} // namespace

// The report leaves in one write when the call ends, whatever the buffering of
// stdout, after what the host had already put there, so that reports of calls
// on several threads or processes cannot interleave. A call that fails after
// the input's header was checked still reports that half.
TEST(Report, OneWriteWhenTheCallEnds) {
    TempDir dir;
    WavSpec s;
    s.sampleRate = 8000;
    s.samples = testSignal(1000, 4);
    writeBytes(dir / "in.wav", makeWav(s));
    const std::u16string in = toU16((dir / "in.wav").string());
    const std::u16string out = toU16((dir / "out.wav").string());
    const std::u16string nowhere = toU16((dir / "missing" / "out.wav").string());

    EXPECT_EQ(writesToStdout(_IOLBF,
                             [&] {
                                 testing::internal::CaptureStderr();
                                 EXPECT_EQ(WAVChorus(in.c_str(), out.c_str()), WAVCHORUS_OK);
                                 testing::internal::GetCapturedStderr();
                             }),
              (std::vector<std::string>{std::string(kInputHalf) + kOutputHalf}));
    EXPECT_EQ(
        writesToStdout(_IOFBF,
                       [&] {
                           std::printf("the host's own line\n");
                           EXPECT_EQ(WAVChorus(in.c_str(), out.c_str()), WAVCHORUS_OK);
                       }),
        (std::vector<std::string>{"the host's own line\n", std::string(kInputHalf) + kOutputHalf}));
    EXPECT_EQ(writesToStdout(_IONBF,
                             [&] {
                                 testing::internal::CaptureStderr();
                                 EXPECT_EQ(WAVChorus(in.c_str(), nowhere.c_str()),
                                           WAVCHORUS_ERR_CREATE_OUTPUT);
                                 testing::internal::GetCapturedStderr();
                             }),
              (std::vector<std::string>{kInputHalf}));
    // The output's header goes out with its first values: when that write fails,
    // the header was never written, and the report says nothing of it.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_EQ(writesToStdout(_IOFBF,
                                 [&] {
                                     testing::internal::CaptureStderr();
                                     EXPECT_EQ(WAVChorus(in.c_str(), u"/dev/full"),
                                               WAVCHORUS_ERR_WRITE);
                                     testing::internal::GetCapturedStderr();
                                 }),
                  (std::vector<std::string>{kInputHalf}));
    }
}
