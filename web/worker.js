// The worker that runs the chorus, so that the page never waits for it. It keeps
// one instance of the library's WebAssembly module: each request writes the
// input into the module's in-memory file system, calls WAVChorus with the two
// paths as UTF-16 strings, and reads the output back.
//
// Request:  {id, name, bytes: ArrayBuffer, pictures: boolean}
// Answer:   {id, facts, code, report, message, output: ArrayBuffer|null, media}
//           (facts: what the library makes of the header, see headerFacts)
//           or {id, error} when the page cannot run the call at all.
'use strict';

importScripts('codes.js', 'wav.js', 'pictures.js', 'wavchorus.js');

const WAVCHORUS_OK = self.wavChorusOk;

// What the library prints on stdout (the report) and stderr (its messages),
// line by line, for the call in progress.
let printed = [];
let complaints = [];
let instance = null;

function libraryModule() {
  if (instance === null) {
    instance = createWavChorusModule({
      print: (line) => printed.push(line),
      printErr: (line) => complaints.push(line),
    }).then((module) => {
      module.FS.mkdir('/in');
      module.FS.mkdir('/out');
      return module;
    });
    // Instantiating the module registers it with the framework linked into it.
    instance.catch(() => { instance = null; });
  }
  return instance;
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
  const { id, name, pictures } = event.data;
  const bytes = new Uint8Array(event.data.bytes);
  try {
    const facts = headerFacts(await libraryModule(), bytes);
    const refusal = wavFiles.tooLargeReason(bytes, facts);
    if (refusal !== null) {
      self.postMessage({ id, error: refusal, tooLarge: true });
      return;
    }
    const answer = { id, facts, ...(await chorus(name, bytes)) };
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
