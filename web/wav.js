// WAV files as the library reads them: three values at fixed offsets of the
// canonical 44-byte header, and 16-bit little-endian samples from byte 44 to
// the end of the file. Shared by the page and the worker.
'use strict';

self.wavFiles = (() => {
  const HEADER_BYTES = 44;
  // The page keeps a file, its result and their pictures in memory at once; a
  // file above this, or one whose header asks for a larger output, is for the
  // command line.
  const MAX_FILE_BYTES = 256 * 1024 * 1024;

  // channels, sampleRate and dataBytes as the library takes them, or null for a
  // file shorter than the header (the library refuses it).
  function readHeader(bytes) {
    if (bytes.length < HEADER_BYTES) return null;
    const view = new DataView(bytes.buffer, bytes.byteOffset, HEADER_BYTES);
    return {
      channels: view.getUint16(22, true),
      sampleRate: view.getInt32(24, true),
      dataBytes: view.getUint32(40, true),
    };
  }

  // Whole 16-bit values after the header.
  function valuesPresent(bytes) {
    return bytes.length < HEADER_BYTES ? 0 : Math.floor((bytes.length - HEADER_BYTES) / 2);
  }

  // An upper bound on the output's size: the chorus writes one value for each
  // value it reads, and pads a file that ends early with silence up to the frame
  // count that its header declares.
  function outputBytesAtMost(bytes) {
    const header = readHeader(bytes);
    if (header === null || header.channels === 0) return HEADER_BYTES;
    const declared = Math.floor(Math.floor(header.dataBytes / 2) / header.channels);
    return HEADER_BYTES + 2 * Math.max(valuesPresent(bytes) + 1, declared);
  }

  // Why the page will not take this file, or null when it will.
  function tooLargeReason(bytes) {
    const limit = `${MAX_FILE_BYTES / (1024 * 1024)} MB`;
    if (bytes.length > MAX_FILE_BYTES) {
      return `The file is ${formatBytes(bytes.length)}; this page takes files up to ${limit}. ` +
        'Use the command line (wavchorus) for larger ones.';
    }
    const output = outputBytesAtMost(bytes);
    if (output > MAX_FILE_BYTES) {
      return `The header declares more samples than the file holds: the chorus would pad it ` +
        `with silence to ${formatBytes(output)}, and this page holds results up to ${limit}. ` +
        'Use the command line (wavchorus) for this file.';
    }
    return null;
  }

  // The samples, one array per channel of values from -1 to 1 (the 16-bit value
  // over 32768; a partial last frame is left out), with the header's rate. Only
  // the first `wanted` channels are decoded.
  function channelsOf(bytes, wanted = Infinity) {
    const header = readHeader(bytes);
    if (header === null || header.channels === 0) return null;
    const count = valuesPresent(bytes);
    const values = new DataView(bytes.buffer, bytes.byteOffset + HEADER_BYTES, count * 2);
    const channels = header.channels;
    const frames = Math.floor(count / channels);
    const out = [];
    for (let c = 0; c < Math.min(channels, wanted); ++c) {
      const channel = new Float32Array(frames);
      for (let f = 0, k = c; f < frames; ++f, k += channels) {
        channel[f] = values.getInt16(k * 2, true) / 32768;
      }
      out.push(channel);
    }
    return { sampleRate: header.sampleRate, frames, channels: out };
  }

  // The parts of the 44 bytes that differ from the canonical 16-bit PCM layout.
  function layoutFindings(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, HEADER_BYTES);
    const text = (at) => String.fromCharCode(...bytes.subarray(at, at + 4));
    const found = [];
    for (const [at, tag] of [[0, 'RIFF'], [8, 'WAVE'], [12, 'fmt '], [36, 'data']]) {
      if (text(at) !== tag) found.push(`no "${tag}" at byte ${at}`);
    }
    if (view.getUint32(16, true) !== 16) found.push(`a format chunk of ${view.getUint32(16, true)} bytes`);
    if (view.getUint16(20, true) !== 1) found.push(`format ${view.getUint16(20, true)}`);
    if (view.getUint16(34, true) !== 16) found.push(`${view.getUint16(34, true)} bits`);
    return found;
  }

  // Whether a file goes to the library as it is, as wavchorus decides: the
  // canonical header and nothing after the data it declares (a file cut short
  // goes too), or fewer bytes than a header, for the library's own refusal.
  function inLibraryLayout(bytes) {
    if (bytes.length < HEADER_BYTES) return true;
    return layoutFindings(bytes).length === 0 && bytes.length - HEADER_BYTES <= readHeader(bytes).dataBytes;
  }

  // What the page tells the visitor before they listen: where the file is not
  // the canonical layout that the library reads it as, and silence that the
  // chorus adds for samples the header declares but the file lacks.
  function layoutWarnings(bytes) {
    const header = readHeader(bytes);
    if (header === null) return [];
    const found = layoutFindings(bytes);
    const warnings = [];
    if (found.length > 0) {
      warnings.push(`This file is not the canonical 44-byte 16-bit PCM WAV layout (${found.join(', ')}). ` +
        'The library reads it as if it were, so the result may sound wrong: convert it first, ' +
        'e.g. sox IN.wav -b 16 -e signed-integer fixed.wav');
    }
    if (header.channels > 0) {
      const values = valuesPresent(bytes);
      const frames = Math.floor(values / header.channels);
      const declared = Math.floor(Math.floor(header.dataBytes / 2) / header.channels);
      // One or two channels are padded frame by frame; more go through as one
      // stream of values, padded while fewer values than the declared frames were read.
      const counted = header.channels <= 2 ? frames : values;
      if (declared > counted) {
        // A stereo frame whose second value is missing ends the output; any
        // other file is padded.
        warnings.push(`The header declares ${declared} frames but the file holds ${frames}: ` +
          (header.channels === 2
            ? `the output ends there too, after one further value, its header still declaring ${declared}.`
            : 'the chorus writes the missing part as silence.'));
      }
    }
    return warnings;
  }

  function formatBytes(n) {
    if (n < 1024) return `${n} bytes`;
    if (n < 1024 * 1024) return `${(n / 1024).toFixed(n < 10240 ? 1 : 0)} KB`;
    if (n < 1024 * 1024 * 1024) return `${(n / (1024 * 1024)).toFixed(1)} MB`;
    return `${(n / (1024 * 1024 * 1024)).toFixed(1)} GB`;
  }

  // The name that the result gets: the input's name without .wav, then -chorus.wav.
  function outputName(inputName) {
    const stem = inputName.replace(/\.wave?$/i, '');
    return `${stem === '' ? 'audio' : stem}-chorus.wav`;
  }

  return Object.freeze({
    HEADER_BYTES, MAX_FILE_BYTES, readHeader, outputBytesAtMost, tooLargeReason, channelsOf,
    layoutWarnings, inLibraryLayout, formatBytes, outputName,
  });
})();
