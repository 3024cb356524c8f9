#include "ProgressLine.h"

#include <cstdio>

namespace wavchorus_cli {
namespace {

std::string bytesText(std::uint64_t bytes) {
    static const char* const units[] = {"kB", "MB", "GB", "TB"};
    if (bytes < 1000) {
        return std::to_string(bytes) + " B";
    }
    auto value = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    while (value >= 999.95 && unit + 1 < std::size(units)) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string timeText(double seconds) {
    const auto s = static_cast<unsigned long long>(seconds);
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu", s / 60, s % 60);
    }
    return text;
}

} // namespace

std::string progressLine(const ProgressCounts& c, double elapsedSeconds, int width) {
    std::string line = "wavchorus: " + std::to_string(c.filesDone) + "/" +
                       std::to_string(c.filesTotal) + " files, " + bytesText(c.bytesDone);
    if (c.bytesTotal > 0) {
        line += " of " + bytesText(c.bytesTotal);
    }
    line += ", " + timeText(elapsedSeconds) + " elapsed, ";
    if (c.bytesTotal > 0 && c.bytesDone > 0 && c.bytesDone <= c.bytesTotal) {
        const double left = elapsedSeconds * static_cast<double>(c.bytesTotal - c.bytesDone) /
                            static_cast<double>(c.bytesDone);
        line += timeText(left) + " left";
    } else {
        line += "--:-- left";
    }
    if (width > 1 && line.size() > static_cast<std::size_t>(width - 1)) {
        line.resize(static_cast<std::size_t>(width - 1));
    }
    return line;
}

} // namespace wavchorus_cli
