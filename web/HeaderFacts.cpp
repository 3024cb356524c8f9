// What the library makes of a file's header, for the page: its refusal, how it
// departs from the canonical layout and what the output will hold, from the
// library's own rules (WaveFormat.h), so that the page never restates them.
#include "WaveFormat.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out + "\"";
}

} // namespace

// bytes: the first n bytes of a file of fileBytes bytes in all (the header's 44
// are enough). Writes the facts as JSON text into out (capacity bytes, the text
// ended by a 0): {"refusal": code or 0, "channels", "dataBytes", "framesDeclared",
// "framesHeld", "valuesWritten", "padded", "endsShort", "findings": [text...]}.
// Returns the length of the text, or 0 when it does not fit.
extern "C" std::size_t wavChorusHeaderFacts(const std::uint8_t* bytes, std::size_t n,
                                            double fileBytes, char* out, std::size_t capacity) {
    const std::optional<mavrel::HeaderRefusal> refusal = mavrel::headerRefusal(bytes, n);
    std::string json = "{\"refusal\":" + std::to_string(refusal ? refusal->code : 0);
    if (n >= mavrel::kHeaderBytes) {
        const mavrel::WaveInfo info = mavrel::readWaveHeader(bytes);
        const auto held = static_cast<std::uint64_t>(
            std::max(0.0, fileBytes - static_cast<double>(mavrel::kHeaderBytes)));
        const mavrel::OutputPlan plan = mavrel::planOutput(info, held);
        json += ",\"channels\":" + std::to_string(info.channels) +
                ",\"dataBytes\":" + std::to_string(info.dataBytes) +
                ",\"framesDeclared\":" + std::to_string(info.sampleNumber) +
                ",\"framesHeld\":" + std::to_string(plan.framesHeld) +
                ",\"valuesWritten\":" + std::to_string(plan.valuesWritten) +
                ",\"padded\":" + (plan.padded ? "true" : "false") +
                ",\"endsShort\":" + (plan.endsShort ? "true" : "false") + ",\"findings\":[";
        const std::vector<std::string> findings = mavrel::layoutFindings(bytes);
        for (std::size_t k = 0; k < findings.size(); ++k) {
            json += (k == 0 ? "" : ",") + quoted(findings[k]);
        }
        json += "]";
    }
    json += "}";
    if (json.size() >= capacity) {
        return 0;
    }
    std::memcpy(out, json.c_str(), json.size() + 1);
    return json.size();
}
