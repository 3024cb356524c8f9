// One named case per bad call: the code it returns, the line it writes on
// stderr, and a file system left exactly as it was. Then the outputs that are
// not plain new files: the input itself, a link, a device.
#include "CallHelper.h"
#include "ReferenceChorus.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class Failure : public ::testing::Test {
  protected:
    void SetUp() override {
        WavSpec s;
        s.channels = 2;
        s.sampleRate = 22050;
        s.samples = testSignal(4000, 2);
        input = makeWav(s);
        writeBytes(dir / "in.wav", input);
        writeBytes(dir / "existing.wav", Bytes{'o', 'l', 'd'});
    }

    // The call fails with `code`, says so in one line naming `named`, and leaves
    // every file (the input, an existing output, no temporary) as it was.
    void expectFailure(std::int32_t code, const std::u16string& in, const std::u16string& out,
                       const std::string& named) {
        const auto before = snapshot(dir.path());
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        const std::int32_t result = WAVChorus(in.c_str(), out.c_str());
        testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, code);
        EXPECT_NE(err.find(named), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(snapshot(dir.path()), before);
    }

    std::u16string path(const std::string& name) const { return toU16((dir / name).string()); }

    // A valid input whose header bytes are changed.
    std::u16string inputWith(std::size_t at, std::initializer_list<std::uint8_t> bytes) {
        Bytes b = input;
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
        writeBytes(dir / "bad.wav", b);
        return path("bad.wav");
    }

    TempDir dir;
    Bytes input;
};

} // namespace

TEST_F(Failure, NullInputPath) {
    const auto before = snapshot(dir.path());
    testing::internal::CaptureStderr();
    EXPECT_EQ(WAVChorus(nullptr, path("existing.wav").c_str()), WAVCHORUS_ERR_NULL_PATH);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("input path is NULL"), std::string::npos);
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST_F(Failure, NullOutputPath) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(WAVChorus(path("in.wav").c_str(), nullptr), WAVCHORUS_ERR_NULL_PATH);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("output path is NULL"),
              std::string::npos);
}

TEST_F(Failure, UnpairedSurrogateInInputPath) {
    std::u16string bad = path("in");
    bad += u'\xD800';
    expectFailure(WAVCHORUS_ERR_BAD_PATH, bad, path("existing.wav"), "input path");
}

TEST_F(Failure, LoneLowSurrogateInOutputPath) {
    std::u16string bad = path("out");
    bad += u'\xDC01';
    bad += u".wav";
    expectFailure(WAVCHORUS_ERR_BAD_PATH, path("in.wav"), bad, "output path");
}

TEST_F(Failure, MissingInput) {
    expectFailure(WAVCHORUS_ERR_OPEN_INPUT, path("missing.wav"), path("existing.wav"),
                  (dir / "missing.wav").string() + "\": No such file or directory");
}

TEST_F(Failure, InputIsADirectory) {
    fs::create_directory(dir / "sub");
    expectFailure(WAVCHORUS_ERR_INPUT_NOT_FILE, path("sub"), path("existing.wav"),
                  "neither a regular file nor a pipe");
}

// A device is refused: /dev/zero would be read as a file that never ends.
TEST_F(Failure, InputIsADevice) {
    expectFailure(WAVCHORUS_ERR_INPUT_NOT_FILE, toU16("/dev/zero"), path("existing.wav"),
                  "\"/dev/zero\": neither a regular file nor a pipe");
}

// Nobody writes to the FIFO: it reads as empty at once instead of waiting.
TEST_F(Failure, InputIsAFifoWithNoWriter) {
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    expectFailure(WAVCHORUS_ERR_SHORT_HEADER, path("fifo"), path("existing.wav"),
                  (dir / "fifo").string() + "\": shorter than the 44-byte WAV header");
}

TEST_F(Failure, EmptyInput) {
    writeBytes(dir / "empty.wav", {});
    expectFailure(WAVCHORUS_ERR_SHORT_HEADER, path("empty.wav"), path("existing.wav"),
                  "shorter than the 44-byte WAV header");
}

TEST_F(Failure, InputOneByteShortOfAHeader) {
    writeBytes(dir / "short.wav", Bytes(input.begin(), input.begin() + 43));
    expectFailure(WAVCHORUS_ERR_SHORT_HEADER, path("short.wav"), path("existing.wav"),
                  (dir / "short.wav").string());
}

TEST_F(Failure, ZeroChannels) {
    expectFailure(WAVCHORUS_ERR_BAD_CHANNELS, inputWith(22, {0, 0}), path("existing.wav"),
                  "0 channels");
}

TEST_F(Failure, ZeroSampleRate) {
    expectFailure(WAVCHORUS_ERR_BAD_RATE, inputWith(24, {0, 0, 0, 0}), path("existing.wav"),
                  "sample rate 0 Hz");
}

TEST_F(Failure, NegativeSampleRate) {
    expectFailure(WAVCHORUS_ERR_BAD_RATE, inputWith(24, {0xFF, 0xFF, 0xFF, 0xFF}),
                  path("existing.wav"), "sample rate -1 Hz");
}

TEST_F(Failure, SampleRateOneAboveTheMaximum) {
    // 768001 = 0x000BB801
    expectFailure(WAVCHORUS_ERR_BAD_RATE, inputWith(24, {0x01, 0xB8, 0x0B, 0x00}),
                  path("existing.wav"), "sample rate 768001 Hz");
}

TEST_F(Failure, OutputDirectoryMissing) {
    expectFailure(WAVCHORUS_ERR_CREATE_OUTPUT, path("in.wav"), path("nowhere/out.wav"),
                  "nowhere/out.wav\": No such file or directory");
}

TEST_F(Failure, OutputIsADirectory) {
    fs::create_directory(dir / "sub");
    expectFailure(WAVCHORUS_ERR_CREATE_OUTPUT, path("in.wav"), path("sub"), "Is a directory");
}

TEST_F(Failure, OutputDeviceFull) {
    const auto before = snapshot(dir.path());
    const CallResult r = callWAVChorus(dir / "in.wav", "/dev/full");
    EXPECT_EQ(r.code, WAVCHORUS_ERR_WRITE);
    EXPECT_NE(r.err.find("/dev/full\": No space left on device"), std::string::npos) << r.err;
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST_F(Failure, OutputNamingTheInputProcessesItInPlace) {
    const CallResult r = callWAVChorus(dir / "in.wav", dir / "in.wav");
    ASSERT_EQ(r.code, WAVCHORUS_OK) << r.err;
    EXPECT_EQ(readBytes(dir / "in.wav"), referenceChorus(input).output);
}

TEST_F(Failure, OutputLinkedToTheInputProcessesItInPlace) {
    fs::create_symlink("in.wav", dir / "link.wav");
    const CallResult r = callWAVChorus(dir / "in.wav", dir / "link.wav");
    ASSERT_EQ(r.code, WAVCHORUS_OK) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir / "link.wav"));
    EXPECT_EQ(readBytes(dir / "in.wav"), referenceChorus(input).output);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3)
        << "a temporary file was left behind";
}

TEST_F(Failure, OutputThatIsNotARegularFileIsWrittenDirectly) {
    const CallResult r = callWAVChorus(dir / "in.wav", "/dev/null");
    EXPECT_EQ(r.code, WAVCHORUS_OK) << r.err;
}

TEST_F(Failure, NewOutputGetsThePermissionsOfAPlainCreate) {
    for (const mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        const mode_t old = ::umask(mask);
        const CallResult r = callWAVChorus(dir / "in.wav", dir / "new.wav");
        ::umask(old);
        ASSERT_EQ(r.code, WAVCHORUS_OK) << r.err;
        struct stat st {};
        ASSERT_EQ(::stat((dir / "new.wav").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask) << std::oct << mask;
        fs::remove(dir / "new.wav");
    }
}

TEST_F(Failure, ReplacedOutputKeepsItsPermissions) {
    ASSERT_EQ(::chmod((dir / "existing.wav").c_str(), 0604), 0);
    const CallResult r = callWAVChorus(dir / "in.wav", dir / "existing.wav");
    ASSERT_EQ(r.code, WAVCHORUS_OK) << r.err;
    struct stat st {};
    ASSERT_EQ(::stat((dir / "existing.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604U);
    EXPECT_EQ(readBytes(dir / "existing.wav"), referenceChorus(input).output);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2)
        << "a temporary file was left behind";
}
