#include "HeaderCheck.h"

#include <fstream>

namespace wavchorus_cli {

std::optional<std::string> layoutWarning(const std::uint8_t (&header)[44]) {
    const std::vector<std::string> found = mavrel::layoutFindings(header);
    if (found.empty()) {
        return std::nullopt;
    }
    std::string text = "not the canonical 44-byte 16-bit PCM WAV layout (";
    for (std::size_t k = 0; k < found.size(); ++k) {
        text += (k == 0 ? "" : ", ") + found[k];
    }
    text += "); its sizes and samples are read as if it were, so the result will be wrong. "
            "Convert it first, e.g. sox IN.wav -b 16 -e signed-integer fixed.wav";
    return text;
}

std::optional<std::string> shortfallWarning(const std::uint8_t (&header)[44], std::uint64_t bytes,
                                            bool afterwards) {
    const mavrel::WaveInfo info = mavrel::readWaveHeader(header);
    if (info.channels == 0 || bytes < 44) {
        return std::nullopt;
    }
    const mavrel::OutputPlan plan = mavrel::planOutput(info, bytes - 44);
    if (info.sampleNumber <= plan.framesHeld) {
        return std::nullopt;
    }
    const std::string declared = std::to_string(info.sampleNumber);
    std::string text = "the header declares " + declared + " frames but the " +
                       (afterwards ? "stream held " : "file holds ") +
                       std::to_string(plan.framesHeld);
    if (info.channels == 2) {
        return text +
               (afterwards ? "; the output ended there too" : "; the output will end there too") +
               ", its header still declaring " + declared;
    }
    if (plan.endsShort) {
        return text + "; with " + std::to_string(info.channels) +
               " channels silence is added only up to " + declared + " values, so the output " +
               (afterwards ? "ended" : "will end") + " after " +
               std::to_string(plan.valuesWritten / info.channels) +
               " frames, its header still declaring " + declared;
    }
    return text + (afterwards ? "; the missing part was written as silence"
                              : "; the missing part will be written as silence");
}

std::vector<std::string> headerWarnings(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return {};
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? std::vector<std::string>{} : headerWarnings(path, size);
}

std::vector<std::string> headerWarnings(const std::filesystem::path& path, std::uint64_t size) {
    std::vector<std::string> warnings;
    std::ifstream in(path, std::ios::binary);
    std::uint8_t raw[44];
    if (!in || !in.read(reinterpret_cast<char*>(raw), sizeof raw)) {
        return warnings;
    }
    if (std::optional<std::string> layout = layoutWarning(raw)) {
        warnings.push_back(std::move(*layout));
    }
    if (std::optional<std::string> shortfall = shortfallWarning(raw, size, false)) {
        warnings.push_back(std::move(*shortfall));
    }
    return warnings;
}

} // namespace wavchorus_cli
