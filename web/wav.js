// WAV files as the library reads them: three values at fixed offsets of the
// canonical 44-byte header, and 16-bit little-endian samples from byte 44 to
// the end of the file. Shared by the page and the worker. What the library makes
// of a header (its refusal, the layout it departs from, what the output holds)
// comes from the library itself: the worker asks the module for these facts
// (wavChorusHeaderFacts), and the page only words them.
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

  // The output's size, from the library's facts of the file's header.
  function outputBytes(facts) {
    return HEADER_BYTES + 2 * (facts.valuesWritten || 0);
  }

  // Why the page will not take this file, or null when it will.
  function tooLargeReason(bytes, facts) {
    const limit = `${MAX_FILE_BYTES / (1024 * 1024)} MB`;
    if (bytes.length > MAX_FILE_BYTES) {
      return `The file is ${formatBytes(bytes.length)}; this page takes files up to ${limit}. ` +
        'Use the command line (wavchorus) for larger ones.';
    }
    const output = outputBytes(facts);
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

  // Whether a file goes to the library as it is, as wavchorus decides: the
  // canonical header and nothing after the data it declares (a file cut short
  // goes too), or fewer bytes than a header, for the library's own refusal.
  function inLibraryLayout(bytes, facts) {
    if (bytes.length < HEADER_BYTES) return true;
    return facts.findings.length === 0 && bytes.length - HEADER_BYTES <= facts.dataBytes;
  }

  // What the page tells the visitor before they listen, from the library's
  // facts of the header: where the file is not the canonical layout that the
  // library reads it as, and what the output holds where the file holds less
  // than its header declares.
  function layoutWarnings(facts) {
    const warnings = [];
    if (facts.findings && facts.findings.length > 0) {
      warnings.push(`This file is not the canonical 44-byte 16-bit PCM WAV layout (${facts.findings.join(', ')}). ` +
        'The library reads it as if it were, so the result may sound wrong: convert it first, ' +
        'e.g. sox IN.wav -b 16 -e signed-integer fixed.wav');
    }
    if (facts.refusal === 0 && facts.framesHeld < facts.framesDeclared) {
      const declared = facts.framesDeclared;
      const start = `The header declares ${declared} frames but the file holds ${facts.framesHeld}: `;
      if (!facts.endsShort) {
        warnings.push(`${start}the chorus writes the missing part as silence.`);
      } else {
        const frames = Math.floor(facts.valuesWritten / facts.channels);
        const further = facts.valuesWritten % facts.channels;
        warnings.push(start +
          (frames === facts.framesHeld
            ? 'the output ends there too'
            : `the chorus adds silence only up to ${declared} values, so the output ends after ${frames} frames`) +
          (further === 0 ? '' : further === 1 ? ', after one further value' : `, after ${further} further values`) +
          `, its header still declaring ${declared}.`);
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
    HEADER_BYTES, MAX_FILE_BYTES, readHeader, tooLargeReason, channelsOf,
    layoutWarnings, inLibraryLayout, formatBytes, outputName,
  });
})();
