// The console report, to the character.
#include "CallHelper.h"

#include <gtest/gtest.h>

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
