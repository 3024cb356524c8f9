/* Built against an installed tree through pkg-config, as strict C11:
 *   cc -std=c11 pkgconfig_consumer.c $(pkg-config --cflags --libs MavrelWAVChorus)
 * Usage: pkgconfig_consumer IN.wav OUT.wav (ASCII paths). Exits 0 when the
 * chorus succeeds and a NULL path is refused with its code. */
#include <MavrelWAVChorus.h>

#include <stdio.h>
#include <string.h>

static int widen(const char* s, WAVChorusChar* out, size_t room) {
    size_t n = strlen(s);
    if (n + 1 > room) {
        return 0;
    }
    for (size_t i = 0; i <= n; ++i) {
        out[i] = (WAVChorusChar)(unsigned char)s[i];
    }
    return 1;
}

int main(int argc, char** argv) {
    WAVChorusChar in[4096];
    WAVChorusChar out[4096];
    if (argc != 3 || !widen(argv[1], in, 4096) || !widen(argv[2], out, 4096)) {
        fprintf(stderr, "usage: pkgconfig_consumer IN.wav OUT.wav\n");
        return 2;
    }
    int32_t result = WAVChorus(NULL, out);
    if (result != WAVCHORUS_ERR_NULL_PATH) {
        fprintf(stderr, "a NULL input gave %d, not %d\n", (int)result, WAVCHORUS_ERR_NULL_PATH);
        return 1;
    }
    result = WAVChorus(in, out);
    if (result != WAVCHORUS_OK) {
        fprintf(stderr, "WAVChorus gave %d\n", (int)result);
        return 1;
    }
    return 0;
}
