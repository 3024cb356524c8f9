// What the web page's tests share: the places they are given, a static server
// for the site and the test's own files, Debian's chromium, the native build
// that gives the expected results, and WAV headers made byte by byte.
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

function required(name) {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set: run the web tests through scripts/checks/85-web.sh`);
  return value;
}

export const places = {
  site: () => required('MAVREL_WEB_SITE'), // the built page
  probe: () => required('MAVREL_WEB_PROBE'), // the registry probe module (.js)
  nativeCli: () => required('MAVREL_NATIVE_WAVCHORUS'), // the x86-64 build's wavchorus
  crossInputs: () => required('MAVREL_CROSS_INPUTS_TOOL'), // make_cross_inputs
  sample: () => required('MAVREL_SAMPLE'), // samples/pluck.wav
  screenshots: () => process.env.MAVREL_WEB_SCREENSHOTS || '',
};

export function scratchDirectory(label) {
  return fs.mkdtempSync(path.join(os.tmpdir(), `mavrel-web-${label}-`));
}

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.svg': 'image/svg+xml',
  '.wav': 'audio/wav',
};

// Serves `site` at / and `extra` at /test-files/ on a free port of 127.0.0.1.
export async function startServer(site, extra) {
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, 'http://localhost');
    let file;
    const name = decodeURIComponent(url.pathname);
    if (name.startsWith('/test-files/')) file = path.join(extra, name.slice('/test-files/'.length));
    else file = path.join(site, name.endsWith('/') ? `${name}index.html` : name);
    fs.readFile(file, (error, body) => {
      if (error) {
        response.writeHead(404);
        response.end();
        return;
      }
      response.writeHead(200, { 'content-type': TYPES[path.extname(file)] || 'application/octet-stream' });
      response.end(body);
    });
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() };
}

// Debian's chromium, headless, with a fresh profile (playwright makes one for
// each launch) and nothing that reaches for the network.
export function launchBrowser() {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

// A page that records every console error, uncaught exception and failed
// request, in the page and in its worker.
export async function openPage(context, url) {
  const page = await context.newPage();
  const problems = [];
  page.on('console', (message) => {
    if (message.type() === 'error' || message.type() === 'warning') {
      problems.push(`console ${message.type()}: ${message.text()}`);
    }
  });
  page.on('pageerror', (error) => problems.push(`uncaught: ${error.message}`));
  page.on('requestfailed', (request) => problems.push(`request failed: ${request.url()}`));
  page.on('response', (response) => {
    if (response.status() >= 400) problems.push(`HTTP ${response.status()}: ${response.url()}`);
  });
  page.on('worker', (worker) => {
    worker.on('console', (message) => {
      if (message.type() === 'error' || message.type() === 'warning') {
        problems.push(`worker console ${message.type()}: ${message.text()}`);
      }
    });
  });
  await page.goto(url);
  return { page, problems };
}

// The native build on one input, read at the library's fixed offsets as the
// page's window.wavChorus reads it (--raw), or decoded as a dropped file is
// (raw false): its exit status, stdout (the library's report), the library's
// own message on stderr, what wavchorus said it converted, and the output's bytes.
export function runNative(input, output, { raw = true } = {}) {
  const run = spawnSync(places.nativeCli(), [...(raw ? ['--raw'] : []), input, output], { encoding: 'utf8' });
  const lines = run.stderr.split('\n');
  const message = lines.filter((line) => line.startsWith('WAVChorus:'));
  const prefix = `wavchorus: ${input}: `;
  const converted = lines.find((line) => line.startsWith(prefix));
  return {
    status: run.status,
    report: run.stdout,
    message: message.map((line) => `${line}\n`).join(''),
    converted: converted === undefined ? null : converted.slice(prefix.length),
    output: run.status === 0 ? fs.readFileSync(output) : null,
  };
}

// The generated inputs of the cross builds, written into `dir`; returns their names.
export function makeCrossInputs(dir) {
  const names = execFileSync(places.crossInputs(), ['--list'], { encoding: 'utf8' }).split('\n').filter(Boolean);
  execFileSync(places.crossInputs(), [dir, ...names]);
  return names;
}

// A canonical 44-byte header followed by `values` 16-bit values of noise.
export function wavBytes({ channels = 1, sampleRate = 8000, dataBytes, values = 0, length }) {
  const bytes = Buffer.alloc(length ?? 44 + 2 * values);
  const header = Buffer.alloc(44);
  header.write('RIFF', 0, 'latin1');
  header.writeUInt32LE(((dataBytes ?? 2 * values) + 36) >>> 0, 4);
  header.write('WAVEfmt ', 8, 'latin1');
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(1, 20);
  header.writeUInt16LE(channels, 22);
  header.writeInt32LE(sampleRate, 24);
  header.writeUInt32LE((Math.abs(sampleRate) * channels * 2) >>> 0, 28);
  header.writeUInt16LE((channels * 2) & 0xffff, 32);
  header.writeUInt16LE(16, 34);
  header.write('data', 36, 'latin1');
  header.writeUInt32LE((dataBytes ?? 2 * values) >>> 0, 40);
  header.copy(bytes, 0, 0, Math.min(44, bytes.length));
  let seed = 12345;
  for (let k = 44; k + 1 < bytes.length; k += 2) {
    seed = (seed * 1103515245 + 12345) >>> 0;
    bytes.writeUInt16LE(seed >>> 16, k);
  }
  return bytes;
}

export async function screenshot(page, name) {
  const dir = places.screenshots();
  if (dir === '') return;
  fs.mkdirSync(dir, { recursive: true });
  await page.screenshot({ path: path.join(dir, `${name}.png`), fullPage: true });
}
