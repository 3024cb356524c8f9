/*
 * Chorus one WAV file from C.
 *
 * Build against an installed MavrelWAVChorus:
 *   cc -std=c11 -o chorus_file chorus_file.c $(pkg-config --cflags --libs MavrelWAVChorus)
 * Run:
 *   ./chorus_file in.wav out.wav
 *
 * The library takes null-terminated UTF-16 paths (wchar_t on Windows). On Linux
 * the command line gives UTF-8, so this example converts it first.
 */
#include <MavrelWAVChorus.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* What each result of WAVChorus() means. */
static const char* describe(int32_t code) {
    switch (code) {
    case WAVCHORUS_OK:
        return "done";
    case WAVCHORUS_ERR_NULL_PATH:
        return "a path pointer is NULL";
    case WAVCHORUS_ERR_BAD_PATH:
        return "a path holds an unpaired UTF-16 surrogate";
    case WAVCHORUS_ERR_OPEN_INPUT:
        return "the input cannot be opened";
    case WAVCHORUS_ERR_INPUT_NOT_FILE:
        return "the input is neither a regular file nor a pipe";
    case WAVCHORUS_ERR_SHORT_HEADER:
        return "the input is shorter than its 44-byte header";
    case WAVCHORUS_ERR_BAD_CHANNELS:
        return "the header gives 0 channels";
    case WAVCHORUS_ERR_BAD_RATE:
        return "the sample rate is out of range";
    case WAVCHORUS_ERR_CREATE_OUTPUT:
        return "the output cannot be created";
    case WAVCHORUS_ERR_READ:
        return "reading the input failed";
    case WAVCHORUS_ERR_WRITE:
        return "writing the output failed";
    case WAVCHORUS_ERR_NO_MEMORY:
        return "out of memory";
    default:
        return "unknown result";
    }
}

#if !defined(_WIN32)
/* UTF-8 to null-terminated UTF-16 in a new buffer (free it), or NULL when the
 * text is not valid UTF-8 or memory runs out. */
static char16_t* utf8_to_utf16(const char* s) {
    size_t n = strlen(s);
    /* No UTF-8 sequence gives more UTF-16 units than it has bytes. */
    char16_t* out = malloc((n + 1) * sizeof *out);
    size_t k = 0;
    if (out == NULL) {
        return NULL;
    }
    for (size_t i = 0; i < n;) {
        unsigned char b = (unsigned char)s[i];
        unsigned long c;
        size_t extra;
        unsigned long minimum;
        if (b < 0x80) {
            c = b, extra = 0, minimum = 0;
        } else if (b >= 0xC2 && b <= 0xDF) {
            c = b & 0x1Fu, extra = 1, minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            c = b & 0x0Fu, extra = 2, minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            c = b & 0x07u, extra = 3, minimum = 0x10000;
        } else {
            goto invalid;
        }
        if (extra > n - i - 1) {
            goto invalid;
        }
        for (size_t j = 1; j <= extra; ++j) {
            unsigned char t = (unsigned char)s[i + j];
            if ((t & 0xC0u) != 0x80u) {
                goto invalid;
            }
            c = (c << 6) | (t & 0x3Fu);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            goto invalid;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out[k++] = (char16_t)(0xD800 + (c >> 10));
            out[k++] = (char16_t)(0xDC00 + (c & 0x3FF));
        } else {
            out[k++] = (char16_t)c;
        }
        i += extra + 1;
    }
    out[k] = 0;
    return out;
invalid:
    free(out);
    return NULL;
}
#endif

#if defined(_WIN32)
/* Windows hands the command line over as wide strings already (-municode). */
int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: chorus_file IN.wav OUT.wav\n");
        return 2;
    }
    int32_t result = WAVChorus(argv[1], argv[2]);
#else
int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: chorus_file IN.wav OUT.wav\n");
        return 2;
    }
    char16_t* in = utf8_to_utf16(argv[1]);
    char16_t* out = utf8_to_utf16(argv[2]);
    if (in == NULL || out == NULL) {
        fprintf(stderr, "chorus_file: a path is not valid UTF-8\n");
        free(in);
        free(out);
        return 1;
    }
    int32_t result = WAVChorus(in, out);
    free(in);
    free(out);
#endif
    /* The report went to stdout through the library; put ours after it. */
    fflush(stdout);
    if (result != WAVCHORUS_OK) {
        fprintf(stderr, "chorus_file: WAVChorus returned %d: %s\n", (int)result, describe(result));
        return 1;
    }
    printf("chorus_file: done\n");
    return 0;
}
