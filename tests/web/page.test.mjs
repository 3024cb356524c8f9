// The web page in Debian's chromium: the library's results through
// window.wavChorus() against the native x86-64 build's, byte for byte; files
// of other formats through window.chorusFile() against wavchorus's decoding; a file
// opened with the picker, played, switched and downloaded; a dropped file; a
// refused file and its message; the keyboard; a phone's width; and no error in
// the console all along.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import {
  launchBrowser, makeCrossInputs, openPage, places, runNative, scratchDirectory, screenshot,
  startServer, wavBytes,
} from './support.mjs';

const files = scratchDirectory('files'); // served at /test-files/
let server;
let browser;

// Each input with what the native build made of it.
const expected = new Map();

function addCase(name, bytes) {
  const input = path.join(files, `${name}.wav`);
  if (bytes !== undefined) fs.writeFileSync(input, bytes);
  const native = runNative(input, path.join(files, `${name}.expected.wav`));
  expected.set(name, { ...native, input, bytes: fs.readFileSync(input) });
  return expected.get(name);
}

before(async () => {
  fs.copyFileSync(places.sample(), path.join(files, 'pluck.wav'));
  addCase('pluck');
  for (const name of makeCrossInputs(files)) addCase(name);
  server = await startServer(places.site(), files);
  browser = await launchBrowser();
});

after(async () => {
  await browser?.close();
  server?.close();
  fs.rmSync(files, { recursive: true, force: true });
});

async function freshPage(options = {}) {
  const context = await browser.newContext({ acceptDownloads: true, ...options });
  const opened = await openPage(context, server.url);
  return { context, ...opened };
}

function assertNoProblems(problems) {
  assert.deepEqual(problems, [], 'the page logged errors or failed requests');
}

// Runs wavChorus() in the page on a served file and compares its output with the
// expected file, also served, byte by byte, in the page.
// call: 'wavChorus' or 'chorusFile'.
function chorusServed(page, name, expectedName, call = 'wavChorus') {
  return page.evaluate(async ([input, wanted, how]) => {
    const bytes = new Uint8Array(await (await fetch(`/test-files/${input}`)).arrayBuffer());
    const result = await window[how](bytes, input);
    const comparison = {
      code: result.code, report: result.report, message: result.message, outputIsNull: result.output === null,
      converted: result.converted,
    };
    if (wanted !== null && result.output !== null) {
      const want = new Uint8Array(await (await fetch(`/test-files/${wanted}`)).arrayBuffer());
      const got = result.output;
      let first = -1;
      for (let k = 0; k < Math.min(want.length, got.length) && first < 0; ++k) if (want[k] !== got[k]) first = k;
      Object.assign(comparison, { expectedBytes: want.length, gotBytes: got.length, firstDifference: first });
    }
    return comparison;
  }, [name, expectedName, call]);
}

describe('window.wavChorus()', () => {
  test('gives the native build\'s output and report for the sample and every generated input', async () => {
    const { context, page, problems } = await freshPage();
    for (const [name, native] of expected) {
      assert.equal(native.status, 0, `the native build refused ${name}`);
      const result = await chorusServed(page, `${name}.wav`, `${name}.expected.wav`);
      assert.equal(result.code, 999, `${name}: code`);
      assert.equal(result.report, native.report, `${name}: report`);
      assert.equal(result.message, '', `${name}: message`);
      assert.equal(result.gotBytes, result.expectedBytes, `${name}: output size`);
      assert.equal(result.firstDifference, -1, `${name}: first differing byte`);
    }
    // The chorus runs in the worker: the page itself never loads the module.
    assert.equal(await page.evaluate(() => typeof self.createWavChorusModule), 'undefined');
    assert.deepEqual(page.workers().map((worker) => path.basename(new URL(worker.url()).pathname)), ['worker.js']);
    assertNoProblems(problems);
    await context.close();
  });

  test('refused files give the library\'s code and message, the native build\'s, and no output', async () => {
    const refused = {
      empty: [Buffer.alloc(0), -5],
      'short-header': [wavBytes({ values: 0, length: 43 }), -5],
      'no-channels': [wavBytes({ channels: 0, values: 100 }), -6],
      'rate-zero': [wavBytes({ sampleRate: 0, values: 100 }), -7],
      'rate-negative': [wavBytes({ sampleRate: -44100, values: 100 }), -7],
      'rate-too-high': [wavBytes({ sampleRate: 768001, values: 100 }), -7],
    };
    const { context, page, problems } = await freshPage();
    for (const [name, [bytes, code]] of Object.entries(refused)) {
      const native = addCase(name, bytes);
      assert.notEqual(native.status, 0, `the native build took ${name}`);
      const result = await chorusServed(page, `${name}.wav`, null);
      assert.equal(result.code, code, `${name}: code`);
      assert.equal(result.outputIsNull, true, `${name}: output`);
      assert.equal(result.report, native.report, `${name}: report`);
      // The same message, with the path that the page gave the library.
      assert.notEqual(native.message, '', `${name}: the native build's message`);
      assert.equal(result.message, native.message.replaceAll(native.input, `/in/${name}.wav`), `${name}: message`);
    }
    assertNoProblems(problems);
    await context.close();
  });

  test('a header that would pad the output past what the page holds is refused before the call, and the page goes on', async () => {
    const { context, page, problems } = await freshPage();
    // 44 bytes that declare 4 GiB of mono data: the chorus would write 4 GiB of silence.
    fs.writeFileSync(path.join(files, 'declares-4gib.wav'), wavBytes({ dataBytes: 0xfffffffe, values: 0 }));
    const refusal = await page.evaluate(async () => {
      const bytes = new Uint8Array(await (await fetch('/test-files/declares-4gib.wav')).arrayBuffer());
      return window.wavChorus(bytes).then(() => 'resolved', (error) => error.message);
    });
    assert.match(refusal, /pad it with silence to 4\.0 GB/);
    const after = await chorusServed(page, 'pluck.wav', 'pluck.expected.wav');
    assert.equal(after.code, 999);
    assert.equal(after.firstDifference, -1);
    assertNoProblems(problems);
    await context.close();
  });
});

describe('window.chorusFile()', () => {
  // Files as people have them, made by sox and ffmpeg: the page decodes those
  // that wavchorus decodes to the same bytes, and MP3 through the browser.
  const sox = (...args) => ['sox', ['-n', ...args]];
  const ffmpeg = (source, ...args) => ['ffmpeg', ['-loglevel', 'error', '-f', 'lavfi', '-i', source, ...args]];
  const loud = 'aevalsrc=1.5*sin(2*PI*440*t)*exp(-t):s=44100:d=1';
  const made = {
    '24-bit.wav': sox('-r', '48000', '-c', '2', '-b', '24', '@', 'synth', '1', 'sine', '300', 'sine', '470'),
    'float.wav': ffmpeg(loud, '-c:a', 'pcm_f32le', '@'), // beyond ±1.0: clipped
    'mono.aiff': sox('-r', '22050', '-c', '1', '-b', '16', '@', 'synth', '1', 'pluck', '220'),
    '24-bit.flac': sox('-r', '96000', '-c', '2', '-b', '24', '@', 'synth', '0.5', 'sine', '1000', 'brownnoise'),
    'list-chunk.wav': ffmpeg('sine=f=330:d=1', '-c:a', 'pcm_s16le', '@'), // LIST before "data"
  };

  const native = new Map();
  before(() => {
    for (const [name, [tool, args]] of Object.entries(made)) {
      const input = path.join(files, name);
      execFileSync(tool, args.map((arg) => (arg === '@' ? input : arg)));
      native.set(name, runNative(input, path.join(files, `${name}.expected.wav`), { raw: false }));
    }
  });

  test('decodes WAV, AIFF and FLAC to the bytes, report and description that wavchorus gives', async () => {
    const { context, page, problems } = await freshPage();
    for (const [name, wanted] of native) {
      assert.equal(wanted.status, 0, `wavchorus refused ${name}`);
      assert.notEqual(wanted.converted, null, `wavchorus converted nothing of ${name}`);
      const result = await chorusServed(page, name, `${name}.expected.wav`, 'chorusFile');
      assert.equal(result.code, 999, `${name}: code`);
      assert.equal(result.converted, wanted.converted, `${name}: what was converted`);
      assert.equal(result.report, wanted.report, `${name}: report`);
      assert.equal(result.gotBytes, result.expectedBytes, `${name}: output size`);
      assert.equal(result.firstDifference, -1, `${name}: first differing byte`);
    }
    assertNoProblems(problems);
    await context.close();
  });

  test('decodes MP3 through the browser and says so; a file nothing decodes gets the library\'s code, as today', async () => {
    execFileSync(...ffmpeg('sine=f=440:d=1:sample_rate=44100', '-c:a', 'libmp3lame', path.join(files, 'tone.mp3')));
    // Text: the library reads a rate far out of range at byte 24.
    const words = addCase('not-audio', Buffer.from('This is no sound file at all, only words about one.\n'.repeat(4)));
    const { context, page, problems } = await freshPage();
    const mp3 = await chorusServed(page, 'tone.mp3', null, 'chorusFile');
    assert.equal(mp3.code, 999);
    assert.match(mp3.converted, /^decoded by the browser .*, at its own 44100 Hz, converted to 16-bit$/);
    assert.match(mp3.report, /Channel {7}= 1 ch\nSample rate {3}= 44100 Hz/);
    const text = await chorusServed(page, 'not-audio.wav', null, 'chorusFile');
    assert.equal(text.code, -7);
    assert.equal(text.converted, null);
    assert.equal(text.message, words.message.replaceAll(words.input, '/in/not-audio.wav'));
    assertNoProblems(problems);
    await context.close();
  });

  test('a picked FLAC file says what was converted, and its download is wavchorus\'s output', async () => {
    const { context, page, problems } = await freshPage();
    const input = path.join(files, '24-bit.flac');
    await page.locator('#file-input').setInputFiles(input);
    await page.locator('#download').waitFor({ state: 'visible' });
    assert.equal(await page.locator('#warnings').textContent(), 'Converted for the library: FLAC, 24-bit PCM, converted to 16-bit.');
    const [download] = await Promise.all([page.waitForEvent('download'), page.locator('#download').click()]);
    assert.equal(Buffer.compare(fs.readFileSync(await download.path()), fs.readFileSync(`${input}.expected.wav`)), 0);
    assertNoProblems(problems);
    await context.close();
  });
});

describe('the page', () => {
  test('loads everything from its own server, under 300 KB, and the sample only when asked for', async () => {
    const context = await browser.newContext();
    const page = await context.newPage();
    const loaded = [];
    page.on('requestfinished', async (request) => {
      loaded.push({ url: request.url(), bytes: (await request.sizes()).responseBodySize });
    });
    await page.goto(server.url);
    await page.waitForFunction(() => document.documentElement.dataset.chorus === 'ready');
    await page.waitForLoadState('networkidle');
    const origin = new URL(server.url).origin;
    assert.deepEqual(loaded.filter((entry) => new URL(entry.url).origin !== origin), [], 'requests elsewhere');
    const names = loaded.map((entry) => path.basename(new URL(entry.url).pathname));
    for (const name of ['wavchorus.wasm', 'wavchorus.js', 'worker.js']) assert.ok(names.includes(name), `${name} not loaded: ${names}`);
    assert.ok(!names.includes('pluck.wav'), 'the sample is loaded before it is asked for');
    const total = loaded.reduce((sum, entry) => sum + entry.bytes, 0);
    console.log(`# the page loads ${loaded.length} files, ${total} bytes, before a file is chosen`);
    assert.ok(total < 300 * 1024, `the page loads ${total} bytes`);
    await context.close();
  });

  test('a file opened with the picker is chorused, plays, switches between A and B, and downloads', async () => {
    const { context, page, problems } = await freshPage({ viewport: { width: 1280, height: 900 } });
    const native = expected.get('noise-44100-stereo');
    // A name with accents, CJK and a character outside the BMP: the paths go to
    // the library as UTF-16, surrogate pairs and all.
    const name = 'Prélude 日本 🎸.wav';
    await page.locator('#file-input').setInputFiles({ name, mimeType: 'audio/wav', buffer: native.bytes });
    await page.locator('#download').waitFor({ state: 'visible' });
    assert.equal(await page.locator('#result-title').textContent(), name);
    assert.equal(await page.locator('#report').textContent(), native.report);
    assert.equal(await page.locator('#refusal').isHidden(), true);
    assert.equal(await page.locator('#warnings').isHidden(), true, 'a note on a canonical file');
    await screenshot(page, 'desktop-result');

    // Play: the position moves on; B (the chorus) is the side heard first.
    await page.locator('#play').click();
    await page.waitForFunction(() => document.getElementById('listen-area').dataset.state === 'playing');
    await page.waitForFunction(() => Number(document.getElementById('seek').value) > 0.2);
    assert.equal(await page.locator('.track.active').getAttribute('data-side'), 'b');
    // A by its key, B by its switch, pause by the space bar.
    await page.locator('body').press('a');
    assert.equal(await page.locator('#side-a').isChecked(), true);
    assert.equal(await page.locator('.track.active').getAttribute('data-side'), 'a');
    await page.locator('label[for="side-b"]').click();
    assert.equal(await page.locator('.track.active').getAttribute('data-side'), 'b');
    // The space bar pauses where the play is (the end of the file would go back to 0).
    await page.keyboard.press(' ');
    await page.waitForFunction(() => document.getElementById('listen-area').dataset.state === 'paused');
    assert.ok(Number(await page.locator('#seek').inputValue()) > 0.2, 'paused at the start');
    await page.locator('body').press('Home');
    assert.equal(Number(await page.locator('#seek').inputValue()), 0);

    const [download] = await Promise.all([page.waitForEvent('download'), page.locator('#download').click()]);
    assert.equal(download.suggestedFilename(), 'Prélude 日本 🎸-chorus.wav');
    const saved = fs.readFileSync(await download.path());
    assert.equal(Buffer.compare(saved, native.output), 0, 'the download differs from the native output');
    assertNoProblems(problems);
    await context.close();
  });

  test('a refused file shows the library\'s message and code, and nothing to play or download', async () => {
    const { context, page, problems } = await freshPage({ viewport: { width: 1280, height: 900 } });
    const native = addCase('picked-no-channels', wavBytes({ channels: 0, values: 10 }));
    await page.locator('#file-input').setInputFiles({ name: 'no channels.wav', mimeType: 'audio/wav', buffer: native.bytes });
    await page.locator('#refusal').waitFor({ state: 'visible' });
    assert.match(await page.locator('#refusal-code').textContent(), /^code -6 · WAVCHORUS_ERR_BAD_CHANNELS: /);
    assert.equal(await page.locator('#refusal-message').textContent(),
      native.message.replaceAll(native.input, '/in/no channels.wav'));
    assert.equal(await page.locator('#download').isHidden(), true);
    assert.equal(await page.locator('#listen-area').isHidden(), true);
    await screenshot(page, 'desktop-refused');
    assertNoProblems(problems);
    await context.close();
  });

  test('a dropped stereo file cut short is chorused, with a note on where its output ends', async () => {
    const { context, page, problems } = await freshPage();
    // Its header declares 3000 frames; it holds 1800.
    const native = expected.get('short-48000-stereo');
    const transfer = await page.evaluateHandle((bytes) => {
      const data = new DataTransfer();
      data.items.add(new File([new Uint8Array(bytes)], 'dropped.wav', { type: 'audio/wav' }));
      return data;
    }, [...native.bytes]);
    await page.dispatchEvent('#drop-zone', 'dragenter', { dataTransfer: transfer });
    assert.equal(await page.evaluate(() => document.body.classList.contains('dragging')), true);
    await page.dispatchEvent('#drop-zone', 'drop', { dataTransfer: transfer });
    await page.locator('#download').waitFor({ state: 'visible' });
    assert.equal(await page.locator('#result-title').textContent(), 'dropped.wav');
    assert.equal(await page.locator('#report').textContent(), native.report);
    assert.equal(await page.evaluate(() => document.body.classList.contains('dragging')), false);
    // A stereo file cut short ends the output: the whole sentence says so.
    assert.match(await page.locator('#warnings').textContent(),
      /The header declares 3000 frames but the file holds 1800: the output ends there too, after one further value, its header still declaring 3000\./);
    assertNoProblems(problems);
    await context.close();
  });

  test('the keyboard alone opens the sample and plays it', async () => {
    const { context, page, problems } = await freshPage();
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'open-button');
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'sample-button');
    await page.keyboard.press('Enter');
    await page.locator('#download').waitFor({ state: 'visible' });
    assert.equal(await page.locator('#report').textContent(), expected.get('pluck').report);
    // Then to the play button and on: every control is reached by Tab.
    const reached = [];
    for (let k = 0; k < 8; ++k) {
      await page.keyboard.press('Tab');
      reached.push(await page.evaluate(() => document.activeElement.id || document.activeElement.tagName));
    }
    for (const id of ['download', 'play', 'side-b', 'seek']) assert.ok(reached.includes(id), `Tab never reached #${id}: ${reached}`);
    await page.locator('#play').focus();
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => document.getElementById('listen-area').dataset.state === 'playing');
    assertNoProblems(problems);
    await context.close();
  });

  test('on a phone\'s width nothing runs off the side', async () => {
    const { context, page, problems } = await freshPage({
      viewport: { width: 360, height: 780 }, deviceScaleFactor: 2, isMobile: true, hasTouch: true,
    });
    await screenshot(page, 'phone-start');
    await page.locator('#sample-button').tap();
    await page.locator('#download').waitFor({ state: 'visible' });
    const widths = await page.evaluate(() => ({
      page: document.documentElement.scrollWidth,
      view: document.documentElement.clientWidth,
      widest: Math.max(...[...document.querySelectorAll('main *')].map((e) => e.getBoundingClientRect().right)),
    }));
    assert.ok(widths.page <= widths.view, `the page is ${widths.page} px wide in a ${widths.view} px view`);
    assert.ok(widths.widest <= widths.view, `an element reaches ${widths.widest} px in a ${widths.view} px view`);
    await screenshot(page, 'phone-result');
    assertNoProblems(problems);
    await context.close();
  });
});
