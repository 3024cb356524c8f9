// The files people have, around the library's one layout: any sound file that
// libsndfile reads is decoded to 16-bit PCM and handed to the library as a
// canonical stream; an output whose name asks for another container is encoded
// from the library's 16-bit WAV. The library itself is called as any host calls
// it, and a file in its own layout goes straight to it.
//
// The conversion to 16 bits:
//   - integer samples wider than 16 bits keep their top 16 bits (truncation
//     toward minus infinity, as a right shift gives); 8-bit, µ-law and A-law
//     samples take their exact 16-bit values;
//   - floating-point samples (and what lossy decoders give) are multiplied by
//     32768, rounded to the nearest integer (halves to even) and clipped to
//     -32768..32767, so that anything beyond ±1.0 is clipped;
//   - no dither: the same file always gives the same bytes, as other decoders'
//     16-bit conversions give them.
//
// Built without libsndfile (MAVREL_WAVCHORUS_SNDFILE undefined), only the
// library's own layout is read, and an output is a WAV.
#pragma once

#include "CliPath.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace wavchorus_cli {

// Whether this build decodes and encodes other files than the canonical WAV.
bool canDecode();

// The formats of the command line that the libsndfile of this build lacks
// (a Windows build has none of FLAC, Ogg and MP3), e.g. "FLAC, Ogg, MP3";
// empty when it has them all, or has no libsndfile at all.
std::string missingFormats();

// The reason given for a file that this build cannot decode.
std::string cannotDecodeReason();

// Whether an input goes to the library as it is: its first bytes are the
// canonical 44-byte 16-bit PCM header and nothing follows the data it declares
// (a file cut short qualifies). Fewer than 44 bytes go too, for the library's
// own refusal. size: a regular file's size; nothing for a stream.
bool inLibraryLayout(const std::vector<std::uint8_t>& firstBytes,
                     std::optional<std::uint64_t> size);

// The first 44 bytes of a regular file, or fewer; nothing when it cannot be read
// (the library then says why).
std::optional<std::vector<std::uint8_t>> firstBytesOf(const std::filesystem::path& path);

// The container an output's name asks for, from its extension (any case):
// .wav, no extension at all and "-" give the library's WAV.
enum class Container { wav, flac, aiff, ogg, opus, mp3 };
std::optional<Container> containerFor(const std::string& name);
// The usage error for a name that gives no container.
std::string unknownContainerText(const std::string& name);

class SoundReader;

// An input decoded to 16-bit PCM, streamed to the library as a canonical WAV.
class DecodedInput {
  public:
    DecodedInput();
    DecodedInput(const DecodedInput&) = delete;
    DecodedInput& operator=(const DecodedInput&) = delete;
    ~DecodedInput();

    // Opens the file at path, or the file open at fd (which it then owns, and
    // closes also when it cannot decode it).
    // False with error set to the reason when it is no sound file it can decode.
    bool open(const std::filesystem::path& path, std::string& error);
    bool openDescriptor(int fd, std::string& error);
    // What the file holds and what was done to it, e.g. "24-bit PCM, converted
    // to 16-bit" or "FLAC, 16-bit PCM, decoded".
    const std::string& description() const { return description_; }
    // The canonical header the library is given.
    const std::vector<std::uint8_t>& header() const { return header_; }
    // Starts decoding into the stream that the library reads at path().
    bool start(std::string& error);
    const CliPath& path() const { return path_; }
    // Once the library has returned: stops decoding. False with error set when
    // decoding failed midway.
    bool finish(std::string& error);

    struct State;

  private:
    // Keeps the description and the header of the file that reader_ took;
    // returns took.
    bool kept(bool took);

    std::unique_ptr<SoundReader> reader_; // the file decoded
    std::unique_ptr<State> state_;        // how it reaches the library: each system's own
    std::string description_;
    std::vector<std::uint8_t> header_;
    CliPath path_;
};

// An output in another container than WAV: the library writes its WAV to
// path(), which is encoded into a temporary file, and that takes the output's
// name only once the library has succeeded, as the library's own output would.
class EncodedOutput {
  public:
    EncodedOutput();
    EncodedOutput(const EncodedOutput&) = delete;
    EncodedOutput& operator=(const EncodedOutput&) = delete;
    ~EncodedOutput();

    // input: the input file, so that replacing it is made durable (none for a
    // stream). False with error set.
    bool open(const CliPath& output, Container container, const CliPath* input, std::string& error);
    const CliPath& path() const { return path_; }
    // Once the library has returned (written: whether it succeeded): the output
    // is in place. False with error set when encoding or writing it failed.
    bool finish(bool written, std::string& error);

    struct State;

  private:
    std::unique_ptr<State> state_;
    CliPath path_;
};

// The warnings of a stream's pump (Streams.h) while it is not yet known
// whether the stream goes to the library as it is: held until pass(), which
// gives them and any later ones to `to`, or drop(), which drops them all (a
// stream that is decoded is not read at fixed offsets). From any thread.
class StreamWarnings {
  public:
    explicit StreamWarnings(std::function<void(const std::string&)> to);
    const std::function<void(const std::string&)>& sink() const { return sink_; }
    void pass();
    void drop();

  private:
    enum class Mode { held, passed, dropped };
    std::function<void(const std::string&)> to_;
    std::function<void(const std::string&)> sink_;
    std::mutex mutex_;
    Mode mode_ = Mode::held;
    std::vector<std::string> held_;
};

// A stream spooled into an unnamed temporary file, for decoding: reads the file
// at path (the stream as the library would read it) to its end. The file's
// descriptor, at its start, or -1 with error set.
int spoolStream(const CliPath& stream, std::string& error);

} // namespace wavchorus_cli
