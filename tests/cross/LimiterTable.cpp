// limiter_table OUT: the output value of the signal path for every value the mix
// can take, written as 131,071 little-endian 16-bit values.
//
// The mix y is the dry value plus the tapped one, k x 2^-15 for k from -65,536
// to 65,534. Each k is fed through processValue itself, with the tapped value
// placed in the ring, so that the table holds exactly what the library computes
// with this platform's arctangent.
#include "ChorusState.h"

#include <cstdint>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: limiter_table OUT\n");
        return 2;
    }
    mavrel::ChorusState state = mavrel::setUpChorus(44100);
    std::vector<std::uint8_t> table;
    table.reserve(2 * 131071);
    std::int32_t filledWith = 1 << 20;
    for (std::int32_t k = -65536; k <= 65534; ++k) {
        // k = tapped + dry, both 16-bit values.
        const std::int32_t tapped = k >= 0 ? k / 2 : -((-k + 1) / 2);
        const std::int32_t dry = k - tapped;
        // Every slot but the one written holds the tapped value, so the tap finds
        // it at any delay. The dry value goes into slot 0 at phase 0.
        if (tapped != filledWith) {
            state.ring.assign(state.ring.size(), static_cast<double>(tapped) / 32768.0);
            filledWith = tapped;
        }
        state.lfoCounter = 0;
        state.writePos = 0;
        const auto v =
            static_cast<std::uint16_t>(mavrel::processValue(state, static_cast<std::int16_t>(dry)));
        table.push_back(static_cast<std::uint8_t>(v));
        table.push_back(static_cast<std::uint8_t>(v >> 8U));
    }
    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(table.data(), 1, table.size(), f) == table.size();
    if (std::fclose(f) != 0 || !written) {
        std::fprintf(stderr, "limiter_table: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
