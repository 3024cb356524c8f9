// The libsndfile side of Decode.h, shared by its platform parts (Decode_posix,
// Decode_win32), which pass the library its streams.
#pragma once

#include "Decode.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#if defined(_WIN32)
#define ENABLE_SNDFILE_WINDOWS_PROTOTYPES 1
#endif
#include <sndfile.h>

namespace wavchorus_cli {

// libsndfile's text for the last error of file (or of an open, for null).
std::string sndfileReason(SNDFILE* file);

// A sound file decoded to the canonical stream: the 44-byte header, then its
// frames as 16-bit little-endian values.
class SoundReader {
  public:
    SoundReader() = default;
    SoundReader(const SoundReader&) = delete;
    SoundReader& operator=(const SoundReader&) = delete;
    ~SoundReader();

    // Takes an opened file (null: the open failed). False with error set when
    // it cannot be read as the library's stream.
    bool take(SNDFILE* file, const SF_INFO& info, std::string& error);
    // Takes the file open at fd, which libsndfile then owns: it closes it with
    // the file, or at once when it cannot read it.
    bool takeDescriptor(int fd, std::string& error);
    const std::string& description() const { return description_; }
    const std::vector<std::uint8_t>& header() const { return header_; }
    // The next bytes of the data, valid until the next call; false at the end
    // (error empty) or on a read error (error set). The count the header
    // declares is what comes: a decoder that gives fewer frames is followed by
    // silence.
    bool next(std::span<const std::uint8_t>& bytes, std::string& error);

  private:
    SNDFILE* file_ = nullptr;
    SF_INFO info_{};
    bool integer_ = true;
    // 24- and 32-bit integers: the bytes of a value as the file holds them,
    // and whether its most significant byte comes first.
    std::size_t rawWidth_ = 0;
    bool rawBigEndian_ = false;
    std::vector<std::uint8_t> raw_;
    sf_count_t frames_ = 0;
    sf_count_t done_ = 0;
    std::string description_;
    std::vector<std::uint8_t> header_;
    std::vector<std::int16_t> shorts_;
    std::vector<double> doubles_;
};

// The encoder of a container, fed the library's WAV as it comes: its 44-byte
// header, then its values. fd: a seekable file, which the encoder does not own.
class SoundWriter {
  public:
    SoundWriter() = default;
    SoundWriter(const SoundWriter&) = delete;
    SoundWriter& operator=(const SoundWriter&) = delete;
    ~SoundWriter();

    void start(int fd, Container container) {
        fd_ = fd;
        container_ = container;
    }
    // After a failure the rest is dropped; close gives the first error.
    void write(const std::uint8_t* data, std::size_t n);
    bool close(std::string& error);

  private:
    int fd_ = -1;
    Container container_ = Container::flac;
    SNDFILE* file_ = nullptr;
    std::array<std::uint8_t, 44> header_{};
    std::size_t headerBytes_ = 0;
    std::size_t frameBytes_ = 0;
    std::vector<std::uint8_t> pending_; // a frame's bytes split between writes
    std::vector<std::int16_t> values_;
    std::vector<float> floats_;
    std::string error_;
};

} // namespace wavchorus_cli
