#include "Report.h"

#include "WholeIO.h"

#include <cstdarg>
#include <cstdio>

namespace mavrel {
namespace {

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void append(Report& report, const char* format, ...) {
    const std::size_t room = report.text.size() - report.length;
    std::va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(report.text.data() + report.length, room, format, args);
    va_end(args);
    // The fixed texts and three numbers always fit; were one cut short, the
    // report would end with it rather than overrun.
    if (n > 0) {
        report.length +=
            static_cast<std::size_t>(n) < room ? static_cast<std::size_t>(n) : room - 1;
    }
}

void addValues(Report& report, unsigned channels, std::int32_t sampleRate,
               std::uint32_t sampleNumber) {
    append(report, "Channel       = %d ch\n", static_cast<int>(channels));
    // The blank before the newline is part of the report's text.
    append(report, "Sample rate   = %d Hz \n", static_cast<int>(sampleRate));
    append(report, "Sample number = %d\n", static_cast<int>(sampleNumber));
}

} // namespace

void addInputHalf(Report& report, const WaveInfo& info) {
    append(report, "Wave data is\n");
    addValues(report, info.channels, info.sampleRate, info.sampleNumber);
}

void addOutputHalf(Report& report, const WaveInfo& info) {
    // The values that the output header carries.
    append(report, "\nOutput WAVE data is\n");
    addValues(report, info.channels, info.sampleRate,
              (outputDataBytes(info) / info.channels) >> 1U);
}

void emitReport(const Report& report) {
    if (report.length > 0) {
        // The report is what the call shows of its work; a stdout that cannot take
        // it does not undo the work.
        (void)writeWholeToStandardOutput(report.text.data(), report.length);
    }
}

} // namespace mavrel
