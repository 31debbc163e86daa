// Each of the page's two WebAssembly modules (the SIMD128 kernel and the
// portable one) converts a list as the native program does, byte for byte,
// with Linux and Windows line ends, fed in parts of any size as the page
// streams a file in (a part may end inside a line, a piece or a CR LF); and
// the page's loader picks the SIMD128 one here, where node has SIMD.
//
//   node tests/web/wasm_kernels_test.mjs BUILD_DIR INPUT
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { runInNewContext } from 'node:vm';
import { strict as assert } from 'node:assert';
import { test } from 'node:test';

const [build, inputPath] = process.argv.slice(2);
const context = { atob, Uint8Array, WebAssembly };
runInNewContext(readFileSync(`${build}/page/brivel_wasm.js`, 'utf8'), context);
const list = readFileSync(inputPath);
const latin1 = (text) => Buffer.from(text, 'latin1');
const brivel = (input) => execFileSync(`${build}/brivel`, { input, maxBuffer: 1 << 30 });
// The Windows program reads CR LF as LF and stops at a Ctrl-Z, and writes every LF as CR LF.
const crlf = (bytes) => latin1(bytes.toString('latin1').replaceAll('\n', '\r\n'));
const windows = (input) => crlf(brivel(latin1(input.toString('latin1').split('\x1a')[0].replaceAll('\r\n', '\n'))));
// A list as Windows writes it, with a lone CR and a line that a Ctrl-Z cuts off.
const asWindowsWrites = (bytes) => Buffer.concat([latin1(bytes.toString('latin1').replaceAll('\n', '\r\n')),
  latin1('"lone cr"\r x=1 y=2 z=3 pitch=4 yaw=5 roll=6\r\n\x1a\r\n"after" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\r\n')]);
const windowsStyle = asWindowsWrites(list);
const example = asWindowsWrites(readFileSync(new URL('../../examples/cameras.txt', import.meta.url)));

// Converts `input` fed in parts of the sizes given, in turn.
async function convert(base64, input, windowsText, sizes) {
  let memory = null;
  const chunks = [];
  // The blocks; the page's other functions do nothing here.
  const page = new Proxy({
    output(at, size) { chunks.push(Buffer.from(new Uint8Array(memory.buffer, at >>> 0, size >>> 0))); },
  }, { get: (functions, name) => functions[name] || (() => {}) });
  const module = await WebAssembly.compile(Buffer.from(base64, 'base64'));
  const instance = await WebAssembly.instantiate(module, { page });
  const exports = instance.exports;
  memory = exports.memory;
  exports._initialize();
  assert.notEqual(exports.brivel_begin(windowsText ? 1 : 0, 0, 0), 0);
  for (let at = 0, k = 0; at < input.length; ++k) {
    const part = input.subarray(at, at + sizes[k % sizes.length]);
    const room = exports.brivel_room(part.length);
    new Uint8Array(memory.buffer, room, part.length).set(part);
    assert.equal(exports.brivel_feed(part.length, 0), 0);
    at += part.length;
  }
  assert.equal(exports.brivel_feed(0, 1), 0);
  return Buffer.concat(chunks);
}

test('the loader picks the SIMD128 module where SIMD is validated', () => {
  runInNewContext('this.kernel = BRIVEL_WASM_KERNEL; this.same = BRIVEL_WASM_BASE64 === BRIVEL_WASM_MODULES.simd128', context);
  assert.equal(context.kernel, 'simd128');
  assert.equal(context.same, true);
});

// In one part; in parts of odd sizes, which cut lines, pieces and CR LF pairs anywhere.
const feeds = [[Infinity], [65536], [1, 1022, 1023, 1024, 7, 100000, 2]];
for (const kernel of ['simd128', 'portable']) {
  test(`the ${kernel} module converts as the program does`, async () => {
    const base64 = runInNewContext(`BRIVEL_WASM_MODULES.${kernel}`, context);
    const expected = brivel(list);
    const expectedWindows = windows(windowsStyle);
    for (const sizes of feeds) {
      assert.ok((await convert(base64, list, false, sizes)).equals(expected), `Linux line ends, parts of ${sizes}`);
      assert.ok((await convert(base64, list, true, sizes)).equals(crlf(expected)), `Windows line ends, parts of ${sizes}`);
      assert.ok((await convert(base64, windowsStyle, true, sizes)).equals(expectedWindows),
        `a list with CR LF and a Ctrl-Z, Windows line ends, parts of ${sizes}`);
    }
    // A byte at a time: a part may be a CR alone.
    assert.ok((await convert(base64, example, true, [1])).equals(windows(example)), 'the example as Windows writes it, a byte at a time');
  });
}
