// The worker that runs the chorus, so that the page never waits for it. It keeps
// one instance of the library's WebAssembly module: each request writes the
// input into the module's in-memory file system, calls WAVChorus with the two
// paths as UTF-16 strings, and reads the output back.
//
// A file that is not in the library's own layout is first decoded to it by the
// decoder module (decoder.js: the command line's reader, with libsndfile),
// loaded with the first such file.
//
// Request:  {id, name, bytes: ArrayBuffer, pictures: boolean, decode: boolean,
//            converted: string|undefined}
//           decode: what a dropped file gets (decoded unless in the library's
//           layout); otherwise the library reads the bytes as they are.
//           converted: what the page did to the bytes before (the browser's
//           decoding), said instead of the decoder's own description.
// Answer:   {id, code, report, message, output: ArrayBuffer|null, media,
//            converted: string|null, facts, header}
//           (facts: the first bytes of what the library read; header: what
//           the library makes of them, see headerFacts)
//           or {id, undecoded: reason} when the decoder cannot read the file,
//           or {id, error} when the page cannot run the call at all.
'use strict';

importScripts('codes.js', 'wav.js', 'pictures.js', 'wavchorus.js');

const WAVCHORUS_OK = self.wavChorusOk;

// What the library prints on stdout (the report) and stderr (its messages),
// line by line, for the call in progress.
let printed = [];
let complaints = [];
let instance = null;

// A module made by its factory, what it prints on stdout and stderr given to
// print and printErr, with the folders /in and /out of the requests.
function instantiate(factory, print, printErr) {
  return factory({ print, printErr }).then((module) => {
    module.FS.mkdir('/in');
    module.FS.mkdir('/out');
    return module;
  });
}

function libraryModule() {
  if (instance === null) {
    // Instantiating the module registers it with the framework linked into it.
    instance = instantiate(createWavChorusModule, (line) => printed.push(line),
      (line) => complaints.push(line));
    instance.catch(() => { instance = null; });
  }
  return instance;
}

let decoderInstance = null;
let decoderSaid = [];

function decoderModule() {
  if (decoderInstance === null) {
    try {
      importScripts('decoder.js');
    } catch (error) {
      return Promise.reject(error);
    }
    const say = (line) => decoderSaid.push(line);
    decoderInstance = instantiate(createPageDecoderModule, say, say);
    decoderInstance.catch(() => { decoderInstance = null; });
  }
  return decoderInstance;
}

// The file as the library's canonical WAV: {bytes, converted} with converted
// the text of what was done (null for a file that goes to the library as it
// is), or {undecoded: reason}.
async function canonical(name, bytes, header) {
  if (wavFiles.inLibraryLayout(bytes, header)) return { bytes, converted: null };
  let module;
  try {
    module = await decoderModule();
  } catch (error) {
    // A page built without its decoder (or one that cannot load it) reads
    // what the browser decodes, and the rest as the library does.
    return { undecoded: `the page's decoder could not be loaded: ${error && error.message ? error.message : error}` };
  }
  const inputPath = `/in/${fileName(name)}`;
  const outputPath = '/out/decoded.wav';
  decoderSaid = [];
  try {
    module.FS.writeFile(inputPath, bytes);
    const result = module.ccall('PageDecodeToCanonical', 'number', ['string', 'string'], [inputPath, outputPath]);
    const said = decoderSaid.join(' ');
    if (result === 2) return { bytes, converted: null };
    if (result === 0) return { undecoded: said };
    if (result !== 1) throw new Error(said);
    return { bytes: module.FS.readFile(outputPath), converted: said };
  } catch (error) {
    decoderInstance = null;
    throw error;
  } finally {
    removeQuietly(module, inputPath);
    removeQuietly(module, outputPath);
  }
}

function asText(lines) {
  return lines.map((line) => `${line}\n`).join('');
}

// A name that the file system takes for the basename of a path.
function fileName(name) {
  const cleaned = String(name || '').replace(/[/\0]/g, '_');
  return cleaned === '' || cleaned === '.' || cleaned === '..' ? 'input.wav' : cleaned;
}

function removeQuietly(module, path) {
  try {
    module.FS.unlink(path);
  } catch {
    // Not there: the call refused the file before it made an output.
  }
}

// What the library makes of the file's header (WaveFormat.h), as the module's
// wavChorusHeaderFacts words it.
function headerFacts(module, bytes) {
  const stack = module.stackSave();
  try {
    const head = bytes.subarray(0, wavFiles.HEADER_BYTES);
    const at = module.stackAlloc(head.length);
    module.HEAPU8.set(head, at);
    const capacity = 4096;
    const text = module.stackAlloc(capacity);
    if (module._wavChorusHeaderFacts(at, head.length, bytes.length, text, capacity) === 0) {
      throw new Error('the header facts do not fit');
    }
    return JSON.parse(module.UTF8ToString(text));
  } finally {
    module.stackRestore(stack);
  }
}

function callWAVChorus(module, inputPath, outputPath) {
  const stack = module.stackSave();
  try {
    const utf16 = (text) => {
      const size = module.lengthBytesUTF16(text) + 2;
      const at = module.stackAlloc(size);
      module.stringToUTF16(text, at, size);
      return at;
    };
    return module._WAVChorus(utf16(inputPath), utf16(outputPath));
  } finally {
    module.stackRestore(stack);
  }
}

async function chorus(name, bytes) {
  const module = await libraryModule();
  const inputPath = `/in/${fileName(name)}`;
  const outputPath = `/out/${fileName(wavFiles.outputName(fileName(name)))}`;
  printed = [];
  complaints = [];
  try {
    module.FS.writeFile(inputPath, bytes);
    const code = callWAVChorus(module, inputPath, outputPath);
    const output = code === WAVCHORUS_OK ? module.FS.readFile(outputPath) : null;
    return { code, report: asText(printed), message: asText(complaints), output };
  } catch (error) {
    // A call that did not return (the module aborted, or the browser ran out of
    // memory for a file) leaves the instance unusable: the next call gets a new one.
    instance = null;
    throw error;
  } finally {
    removeQuietly(module, inputPath);
    removeQuietly(module, outputPath);
  }
}

// Samples (both files together) that the page decodes for playing, 512 MB as
// 32-bit floats; longer files get their pictures and a download, and are not
// played in the page.
const MAX_PLAYED_VALUES = 128 * 1024 * 1024;

// The pictures of both files on one time scale, and their samples for playing.
function media(input, output) {
  // A stereo result carries the first channel in both: one channel, played on
  // both sides, sounds the same.
  const before = wavFiles.channelsOf(input);
  const after = wavFiles.channelsOf(output, before.channels.length === 2 ? 1 : Infinity);
  const frames = Math.max(before.frames, after.frames);
  const values = (decoded) => decoded.frames * decoded.channels.length;
  const play = values(before) + values(after) <= MAX_PLAYED_VALUES;
  const playable = (decoded) => (play ? decoded.channels : []);
  return {
    sampleRate: after.sampleRate,
    frames,
    channels: before.channels.length,
    playable: play,
    input: { pictures: wavPictures.picturesOf(before, frames), samples: playable(before) },
    output: { pictures: wavPictures.picturesOf(after, frames), samples: playable(after) },
  };
}

function transferables(answer) {
  const list = [];
  if (answer.output) list.push(answer.output.buffer);
  if (answer.media) {
    for (const side of [answer.media.input, answer.media.output]) {
      list.push(side.pictures.waveform.buffer, side.pictures.spectrogram.rgba.buffer);
      for (const samples of side.samples) list.push(samples.buffer);
    }
  }
  return list;
}

self.onmessage = async (event) => {
  const { id, name, pictures, decode } = event.data;
  let bytes = new Uint8Array(event.data.bytes);
  try {
    const library = await libraryModule();
    let header = headerFacts(library, bytes);
    let refusal = wavFiles.tooLargeReason(bytes, header);
    if (refusal !== null) {
      self.postMessage({ id, error: refusal, tooLarge: true });
      return;
    }
    let converted = null;
    if (decode) {
      const decoded = await canonical(name, bytes, header);
      if (decoded.undecoded !== undefined) {
        self.postMessage({ id, undecoded: decoded.undecoded });
        return;
      }
      bytes = decoded.bytes;
      if (decoded.converted !== null) converted = event.data.converted || decoded.converted;
      // The decoded file is what the page holds from here on.
      header = headerFacts(library, bytes);
      refusal = wavFiles.tooLargeReason(bytes, header);
      if (refusal !== null) {
        self.postMessage({ id, error: `Decoded to 16-bit PCM: ${refusal}`, tooLarge: true });
        return;
      }
    }
    const answer = { id, converted, header, facts: bytes.slice(0, wavFiles.HEADER_BYTES), ...(await chorus(name, bytes)) };
    if (pictures && answer.output !== null) {
      answer.media = media(bytes, answer.output);
    }
    self.postMessage(answer, transferables(answer));
  } catch (error) {
    self.postMessage({ id, error: `The chorus could not run: ${error && error.message ? error.message : error}` });
  }
};

// Instantiate at once, so that the first file does not wait for it.
libraryModule().then(
  () => self.postMessage({ ready: true }),
  (error) => self.postMessage({ ready: false, error: String(error) }));
