/*
 * MavrelWAVChorus: a fixed chorus for 16-bit PCM WAV files.
 *
 * One operation, WAVChorus(), usable from C and C++.
 */
#ifndef MAVREL_WAV_CHORUS_H
#define MAVREL_WAV_CHORUS_H

#include <stdint.h>

#if defined(_WIN32)
#include <wchar.h>
/* Windows: paths are wide strings, as in the rest of the Win32 API. */
typedef wchar_t WAVChorusChar;
#else
#ifdef __cplusplus
/* char16_t is a keyword in C++11 and later. */
typedef char16_t WAVChorusChar;
#else
#include <uchar.h>
typedef char16_t WAVChorusChar;
#endif
#endif

#if defined(_WIN32)
#if defined(MAVREL_WAV_CHORUS_BUILDING)
#define MAVREL_WAV_CHORUS_API __declspec(dllexport)
#else
#define MAVREL_WAV_CHORUS_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define MAVREL_WAV_CHORUS_API __attribute__((visibility("default")))
#else
#define MAVREL_WAV_CHORUS_API
#endif

/* The calling convention of WAVChorus: the C convention (cdecl), named in the
 * declaration so that a host compiled with another default (/Gz: stdcall) still
 * calls it right. Only 32-bit Windows has more than one convention; elsewhere
 * this expands to nothing. A host in another language declares it as cdecl too
 * (Python: ctypes.CDLL; .NET: CallingConvention.Cdecl). */
#if defined(_WIN32) && !defined(_WIN64)
#define WAVCHORUS_CALL __cdecl
#else
#define WAVCHORUS_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result of a call that has done its work. */
#define WAVCHORUS_OK 999

/* Failure results: always negative, never 999. A failed call writes one line on
 * stderr naming the path and the reason, creates no output file and leaves an
 * existing output untouched. */
#define WAVCHORUS_ERR_NULL_PATH (-1)      /* a path pointer is NULL */
#define WAVCHORUS_ERR_BAD_PATH (-2)       /* a path holds an unpaired UTF-16 surrogate */
#define WAVCHORUS_ERR_OPEN_INPUT (-3)     /* the input cannot be opened */
#define WAVCHORUS_ERR_INPUT_NOT_FILE (-4) /* the input is neither a file nor a pipe */
#define WAVCHORUS_ERR_SHORT_HEADER (-5)   /* the input is shorter than its 44-byte header */
#define WAVCHORUS_ERR_BAD_CHANNELS (-6)   /* the header's channel count is 0 */
#define WAVCHORUS_ERR_BAD_RATE (-7)       /* sample rate <= 0 or above WAVCHORUS_MAX_RATE */
#define WAVCHORUS_ERR_CREATE_OUTPUT (-8)  /* the output cannot be created */
#define WAVCHORUS_ERR_READ (-9)           /* reading the input failed */
#define WAVCHORUS_ERR_WRITE (-10)         /* writing, closing or replacing the output failed */
#define WAVCHORUS_ERR_NO_MEMORY (-11)     /* the working memory could not be allocated */

/* The highest sample rate accepted, in Hz. */
#define WAVCHORUS_MAX_RATE 768000

/*
 * WAVChorus: reads the 16-bit PCM WAV file at inputPath, applies the chorus and
 * writes a new 16-bit PCM WAV file with the canonical 44-byte header at
 * outputPath. Prints an eight-line report of the input and output formats to
 * stdout, whole, in one write when the call ends (the input's half once its
 * header has been checked, the output's half once its header is written; a
 * failed call prints the halves it reached).
 *
 * inputPath, outputPath: null-terminated UTF-16 paths (wchar_t on Windows),
 *   which the caller keeps. A POSIX system opens a path by its UTF-8 form;
 *   Windows by the path itself (CreateFileW), made absolute and given the \\?\
 *   prefix when it has MAX_PATH (260) characters or more. Messages name paths
 *   in UTF-8. The output is created or replaced (a symbolic link is followed,
 *   a dangling one too: the file it names is written); it may name the input
 *   itself, which is then processed in place.
 * The input is a regular file or a pipe (a FIFO, /dev/fd/N of a pipe; on
 *   Windows a named pipe), read once from start to end: a stream that ends
 *   early is a file cut short, padded with silence up to its declared length,
 *   and a FIFO that no writer holds open reads as empty at once
 *   (WAVCHORUS_ERR_SHORT_HEADER) rather than wait. A directory or a device is
 *   refused with WAVCHORUS_ERR_INPUT_NOT_FILE.
 * Returns WAVCHORUS_OK (999) on success, or one of the negative
 * WAVCHORUS_ERR_* codes above. Thread-safe: calls share nothing a caller can
 *   observe (only the limiter's table of constant values, filled atomically),
 *   and each call's report reaches stdout whole, in one write.
 * Signals (POSIX): the output in progress has no name until it is complete,
 *   so a process that ends meanwhile leaves nothing. While a call names its
 *   output (a link, and a rename over an earlier output), it holds every
 *   catchable signal in the calling thread: a handler that ends the process,
 *   in that thread or after parking it with a signal, takes effect once the
 *   whole output is in place. The library installs no handlers. On Windows
 *   nothing is held: a process terminated between the clearing of the
 *   output's deletion mark and its rename leaves the complete file under a
 *   temporary name beside the earlier output.
 */
MAVREL_WAV_CHORUS_API int32_t WAVCHORUS_CALL WAVChorus(const WAVChorusChar* inputPath,
                                                       const WAVChorusChar* outputPath);

/* The type of WAVChorus, for a host that looks it up by name (GetProcAddress,
 * dlsym): a pointer of this type calls it with the right convention. */
typedef int32_t(WAVCHORUS_CALL* WAVChorusFunction)(const WAVChorusChar* inputPath,
                                                   const WAVChorusChar* outputPath);

#ifdef __cplusplus
}
#endif

#endif /* MAVREL_WAV_CHORUS_H */
