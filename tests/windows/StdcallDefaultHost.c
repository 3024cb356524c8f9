/*
 * stdcall_default_host IN EXPECTED OUT: a 32-bit Windows host whose calls of
 * WAVChorus are compiled with stdcall as the default calling convention
 * (StdcallDefaultCalls.c). It calls WAVChorus as the public header declares it,
 * through the import library, and through a WAVChorusFunction from
 * GetProcAddress, and requires the output of IN to equal EXPECTED byte for byte.
 *
 * Were the DLL's function stdcall, it would pop its arguments itself: the call
 * made by hand below sees where the stack pointer is after the call.
 */
#include "StdcallDefaultCalls.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        ++failures;
        printf("FAIL: %s\n", what);
        fflush(stdout);
    }
}

/* The whole file, or NULL; *size its length. */
static unsigned char* readAll(const wchar_t* path, long* size) {
    FILE* f = _wfopen(path, L"rb");
    unsigned char* bytes = NULL;
    *size = -1;
    if (f == NULL) {
        return NULL;
    }
    if (fseek(f, 0, SEEK_END) == 0) {
        const long n = ftell(f);
        if (n >= 0 && fseek(f, 0, SEEK_SET) == 0) {
            bytes = (unsigned char*)malloc((size_t)n + 1);
            if (bytes != NULL && fread(bytes, 1, (size_t)n, f) == (size_t)n) {
                *size = n;
            } else {
                free(bytes);
                bytes = NULL;
            }
        }
    }
    fclose(f);
    return bytes;
}

static void sameFile(const wchar_t* expected, const wchar_t* actual, const char* how) {
    long expectedSize = 0;
    long actualSize = 0;
    unsigned char* e = readAll(expected, &expectedSize);
    unsigned char* a = readAll(actual, &actualSize);
    char what[200];
    snprintf(what, sizeof what, "%s: the output differs from the reference (%ld and %ld bytes)",
             how, actualSize, expectedSize);
    check(e != NULL && a != NULL && expectedSize == actualSize &&
              memcmp(e, a, (size_t)expectedSize) == 0,
          what);
    free(e);
    free(a);
}

/* Calls chorus(in, out) by hand, pushing the two arguments as a cdecl caller
 * does, and gives the stack pointer's move across the call: -8 when the callee
 * leaves the arguments to the caller (cdecl), 0 when it pops them (stdcall). */
static int32_t callByHand(WAVChorusFunction chorus, const wchar_t* in, const wchar_t* out,
                          int32_t* moved) {
#if defined(__i386__)
    uint32_t before = 0;
    uint32_t after = 0;
    int32_t result = 0;
    __asm__ volatile("movl %%esp, %0\n\t"
                     "pushl %4\n\t"
                     "pushl %3\n\t"
                     "call *%5\n\t"
                     "movl %%esp, %1\n\t"
                     "movl %0, %%esp"
                     : "=&S"(before), "=&D"(after), "=a"(result)
                     : "r"(in), "r"(out), "r"(chorus)
                     : "ecx", "edx", "memory", "cc");
    *moved = (int32_t)(after - before);
    return result;
#else
    *moved = -8;
    return chorus(in, out);
#endif
}

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: stdcall_default_host IN EXPECTED OUT\n");
        return 2;
    }
    const wchar_t* in = argv[1];
    const wchar_t* expected = argv[2];
    const wchar_t* out = argv[3];

    /* Through the header's declaration and the import library. */
    check(callThroughDeclaration(NULL, out) == WAVCHORUS_ERR_NULL_PATH,
          "WAVChorus(NULL, out) is not -1");
    DeleteFileW(out);
    check(callThroughDeclaration(in, out) == WAVCHORUS_OK,
          "WAVChorus through the import library failed");
    sameFile(expected, out, "through the import library");

    /* Through the function's address. */
    HMODULE module = GetModuleHandleW(L"MavrelWAVChorus.DLL");
    FARPROC address = module != NULL ? GetProcAddress(module, "WAVChorus") : NULL;
    check(address != NULL, "GetProcAddress finds no WAVChorus");
    if (address != NULL) {
        WAVChorusFunction chorus = (WAVChorusFunction)(void (*)(void))address;
        DeleteFileW(out);
        check(callThroughPointer(chorus, in, out) == WAVCHORUS_OK,
              "WAVChorus through GetProcAddress failed");
        sameFile(expected, out, "through GetProcAddress");

        int32_t moved = 0;
        DeleteFileW(out);
        const int32_t result = callByHand(chorus, in, out, &moved);
        char what[160];
        snprintf(what, sizeof what,
                 "after the call the stack pointer moved by %ld bytes, not -8: WAVChorus is not "
                 "cdecl",
                 (long)moved);
        check(moved == -8, what);
        check(result == WAVCHORUS_OK, "WAVChorus called by hand failed");
        sameFile(expected, out, "called by hand");
    }

    printf("stdcall default host: %s, %d failed checks\n", failures == 0 ? "passed" : "FAILED",
           failures);
    return failures == 0 ? 0 : 1;
}
