#!/usr/bin/env python3
"""Chorus one WAV file from Python through ctypes.

    python3 wavchorus.py [--library PATH] IN.wav OUT.wav

The library is looked up as PATH, then as $MAVREL_WAV_CHORUS_LIBRARY, then by
its usual file name in the system's library path (libMavrelWAVChorus.so.1 on
Linux, MavrelWAVChorus.dll on Windows).

WAVChorus() takes null-terminated UTF-16 paths. ctypes' c_wchar is 32 bits
wide on Linux, so the paths are passed as arrays of 16-bit code units instead.
"""

import argparse
import ctypes
import os
import struct
import sys

WAVCHORUS_OK = 999

# The failure results declared in MavrelWAVChorus.h: code -> (name, meaning).
FAILURES = {
    -1: ("WAVCHORUS_ERR_NULL_PATH", "a path pointer is NULL"),
    -2: ("WAVCHORUS_ERR_BAD_PATH", "a path holds an unpaired UTF-16 surrogate"),
    -3: ("WAVCHORUS_ERR_OPEN_INPUT", "the input cannot be opened"),
    -4: ("WAVCHORUS_ERR_INPUT_NOT_FILE", "the input is neither a regular file nor a pipe"),
    -5: ("WAVCHORUS_ERR_SHORT_HEADER", "the input is shorter than its 44-byte header"),
    -6: ("WAVCHORUS_ERR_BAD_CHANNELS", "the header gives 0 channels"),
    -7: ("WAVCHORUS_ERR_BAD_RATE", "the sample rate is 0 or below, or above 768,000 Hz"),
    -8: ("WAVCHORUS_ERR_CREATE_OUTPUT", "the output cannot be created"),
    -9: ("WAVCHORUS_ERR_READ", "reading the input failed"),
    -10: ("WAVCHORUS_ERR_WRITE", "writing, closing or replacing the output failed"),
    -11: ("WAVCHORUS_ERR_NO_MEMORY", "the working memory could not be allocated"),
}

# One UTF-16 code unit, like C's char16_t.
c_char16 = ctypes.c_uint16


class ChorusError(Exception):
    """A failure result of WAVChorus()."""

    def __init__(self, code):
        name, meaning = FAILURES.get(code, ("unknown", "an undocumented result"))
        super().__init__(f"WAVChorus returned {code} ({name}: {meaning})")
        self.code = code
        self.name = name


def default_library_name():
    if sys.platform == "win32":
        return "MavrelWAVChorus.dll"
    if sys.platform == "darwin":
        return "libMavrelWAVChorus.1.dylib"
    return "libMavrelWAVChorus.so.1"


def load_library(path=None):
    lib = ctypes.CDLL(path or os.environ.get("MAVREL_WAV_CHORUS_LIBRARY") or default_library_name())
    lib.WAVChorus.argtypes = [ctypes.POINTER(c_char16), ctypes.POINTER(c_char16)]
    lib.WAVChorus.restype = ctypes.c_int32
    return lib


def utf16_path(path):
    """A null-terminated array of UTF-16 code units for a path (str or os.PathLike).

    A Linux file name that is not valid UTF-8 reaches Python with its bad bytes
    as lone surrogates. They are passed on as they are, and the library refuses
    the path with WAVCHORUS_ERR_BAD_PATH rather than open a different file."""
    text = os.fspath(path)
    if isinstance(text, bytes):
        text = os.fsdecode(text)
    encoded = text.encode("utf-16-le", "surrogatepass")
    units = struct.unpack(f"<{len(encoded) // 2}H", encoded) + (0,)
    return (c_char16 * len(units))(*units)


def chorus(lib, input_path, output_path):
    """Runs the chorus; raises ChorusError on a failure result."""
    result = lib.WAVChorus(utf16_path(input_path), utf16_path(output_path))
    # The library's report went through C's stdout; keep the order on a pipe.
    libc_flush()
    if result != WAVCHORUS_OK:
        raise ChorusError(result)


def libc_flush():
    if sys.platform != "win32":
        ctypes.CDLL(None).fflush(None)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Apply the fixed chorus to a 16-bit PCM WAV file.")
    parser.add_argument("--library", help="path of the MavrelWAVChorus shared library")
    parser.add_argument("input", help="16-bit PCM WAV file to read")
    parser.add_argument("output", help="WAV file to write (created or replaced)")
    args = parser.parse_args(argv)

    try:
        lib = load_library(args.library)
    except (OSError, AttributeError) as e:
        print(f"wavchorus.py: cannot load the library: {e}", file=sys.stderr)
        return 2
    sys.stdout.flush()
    try:
        chorus(lib, args.input, args.output)
    except ChorusError as e:
        print(f"wavchorus.py: {e}", file=sys.stderr)
        return 1
    print(f"wavchorus.py: wrote {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
