// Each of the page's two WebAssembly modules (the SIMD128 kernel and the
// portable one) converts a list as the native program does, byte for byte,
// with Linux and Windows line ends (for an input without carriage returns and
// Ctrl-Z, the same blocks with CR LF); and the page's loader picks the SIMD128
// one here, where node has SIMD.
//
//   node tests/web/wasm_kernels_test.mjs BUILD_DIR INPUT EXPECTED
import { readFileSync } from 'node:fs';
import { runInNewContext } from 'node:vm';
import { strict as assert } from 'node:assert';
import { test } from 'node:test';

const [build, inputPath, expectedPath] = process.argv.slice(2);
const context = { atob, Uint8Array, WebAssembly };
runInNewContext(readFileSync(`${build}/web/brivel_wasm.js`, 'utf8'), context);
const input = readFileSync(inputPath);
assert.ok(!input.includes(0x0d) && !input.includes(0x1a), 'an input without CR and Ctrl-Z');
const expected = readFileSync(expectedPath);
const expectedWindows = Buffer.from(expected.toString('latin1').replaceAll('\n', '\r\n'), 'latin1');

async function convert(base64, windowsText) {
  let memory = null;
  const chunks = [];
  // Only the blocks matter here: every other import of the module does nothing.
  const output = (at, size) => chunks.push(Buffer.from(new Uint8Array(memory.buffer, at >>> 0, size >>> 0)));
  const page = new Proxy({ output }, { get: (imports, name) => imports[name] ?? (() => {}) });
  const module = await WebAssembly.compile(Buffer.from(base64, 'base64'));
  const instance = await WebAssembly.instantiate(module, { page });
  memory = instance.exports.memory;
  instance.exports._initialize();
  const at = instance.exports.brivel_input(input.length);
  new Uint8Array(memory.buffer, at, input.length).set(input);
  assert.equal(instance.exports.brivel_run(input.length, windowsText ? 1 : 0), 0);
  return Buffer.concat(chunks);
}

test('the loader picks the SIMD128 module where SIMD is validated', () => {
  runInNewContext('this.kernel = BRIVEL_WASM_KERNEL; this.same = BRIVEL_WASM_BASE64 === BRIVEL_WASM_MODULES.simd128', context);
  assert.equal(context.kernel, 'simd128');
  assert.equal(context.same, true);
});

for (const kernel of ['simd128', 'portable']) {
  test(`the ${kernel} module converts as the program does`, async () => {
    const base64 = runInNewContext(`BRIVEL_WASM_MODULES.${kernel}`, context);
    assert.ok((await convert(base64, false)).equals(expected), 'Linux line ends');
    assert.ok((await convert(base64, true)).equals(expectedWindows), 'Windows line ends');
  });
}
