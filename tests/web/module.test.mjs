// The WebAssembly module itself, in Node: instantiating it registers it with the
// framework stand-in linked into it, it exports WAVChorus and nothing else of
// the library's, and its sine and arctangent are the C library's own, not the
// JavaScript engine's.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { test } from 'node:test';
import { places } from './support.mjs';

// The names that emscripten's runtime exports beside the library's.
const RUNTIME_EXPORTS = /^(memory|__indirect_function_table|__wasm_call_ctors|__errno_location|malloc|free|stack(Save|Restore|Alloc)|emscripten_stack_\w+|dynCall_\w+)$/;

function compile(wasmPath) {
  return new WebAssembly.Module(fs.readFileSync(wasmPath));
}

test('instantiating the module registers it once, with its per-library record', async () => {
  const probe = places.probe();
  const create = createRequire(import.meta.url)(probe);
  // The loader is given the bytes: Node 20 cannot fetch the .wasm by its path.
  const module = await create({ wasmBinary: fs.readFileSync(probe.replace(/\.js$/, '.wasm')) });
  const stack = module.stackSave();
  const entries = module.stackAlloc(4 * 8);
  const count = module._MavrelFrameworkListModules(entries, 4);
  const instance = module.HEAPU32[entries >> 2];
  const records = module.HEAPU32[(entries >> 2) + 1];
  module.stackRestore(stack);
  assert.equal(count, 1, 'modules registered');
  assert.notEqual(instance, 0, 'the registered instance handle');
  assert.equal(records, 1, 'per-library records of the module');
});

test('the page\'s module exports WAVChorus, the header facts for the page and only the runtime\'s own names beside them', () => {
  const exports = WebAssembly.Module.exports(compile(path.join(places.site(), 'wavchorus.wasm')));
  const names = exports.map((entry) => entry.name);
  assert.ok(names.includes('WAVChorus'), `no WAVChorus among ${names}`);
  assert.ok(names.includes('wavChorusHeaderFacts'), `no wavChorusHeaderFacts among ${names}`);
  const others = names.filter((name) => !['WAVChorus', 'wavChorusHeaderFacts'].includes(name) &&
    !RUNTIME_EXPORTS.test(name));
  assert.deepEqual(others, [], 'exports of the library beside WAVChorus and wavChorusHeaderFacts');
});

test('sin and atan are compiled into the module, not taken from the browser', () => {
  const imports = WebAssembly.Module.imports(compile(path.join(places.site(), 'wavchorus.wasm')));
  const maths = imports.filter((entry) => /(^|_)(sin|cos|atan|atan2|tan|exp|log|pow)$/i.test(entry.name));
  assert.deepEqual(maths, [], 'maths functions imported from JavaScript');
});
