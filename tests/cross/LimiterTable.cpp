// limiter_table OUT: the output value of the signal path for every value the mix
// can take, written as 131,071 little-endian 16-bit values.
//
// The mix y is the dry value plus the tapped one, k x 2^-15 for k from -65,536
// to 65,534: the table holds, for each k, what the library's limiter computes
// with this platform's arctangent.
#include "LimiterTable.h"

#include <cstdint>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: limiter_table OUT\n");
        return 2;
    }
    std::vector<std::uint8_t> table;
    table.reserve(2 * mavrel::kMixValues);
    for (std::int32_t k = mavrel::kMixMin; k <= mavrel::kMixMax; ++k) {
        const auto v = static_cast<std::uint16_t>(mavrel::limitMixDirect(k));
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
