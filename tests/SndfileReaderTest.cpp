// A real reader opens what we write and agrees on the format and the samples.
#include "CallHelper.h"

#include <gtest/gtest.h>
#include <sndfile.h>

using namespace testing_support;

TEST(SndfileReader, OpensEveryWellFormedOutput) {
    for (const std::uint16_t channels : std::initializer_list<std::uint16_t>{1, 2, 3, 4, 6}) {
        for (const std::int32_t rate : {8000, 44100, 192000}) {
            TempDir dir;
            WavSpec s;
            s.channels = channels;
            s.sampleRate = rate;
            s.samples = testSignal(3000U * channels, 4);
            writeBytes(dir / "in.wav", makeWav(s));
            const CallResult r = callWAVChorus(dir / "in.wav", dir / "out.wav");
            ASSERT_EQ(r.code, WAVCHORUS_OK) << r.err;

            SF_INFO info{};
            SNDFILE* f = sf_open((dir / "out.wav").c_str(), SFM_READ, &info);
            ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
            EXPECT_EQ(info.channels, channels);
            EXPECT_EQ(info.samplerate, rate);
            EXPECT_EQ(info.frames, 3000);
            EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
            std::vector<short> read(3000U * channels);
            EXPECT_EQ(sf_readf_short(f, read.data(), 3000), 3000);
            sf_close(f);

            const Bytes out = readBytes(dir / "out.wav");
            for (std::size_t k = 0; k < read.size(); ++k) {
                ASSERT_EQ(static_cast<std::uint16_t>(read[k]), le16(out, 44 + 2 * k)) << k;
            }
        }
    }
}
