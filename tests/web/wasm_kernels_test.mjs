// Each of the page's two WebAssembly modules (the SIMD128 kernel and the
// portable one) converts a list as the native program does, byte for byte,
// with Linux and Windows line ends, fed in parts of any size as the page
// streams a file in (a part may end inside a line, a piece or a CR LF), and
// says of lists with CR LF or a Ctrl-Z what brivel-check --windows-text says;
// a list past 4 GiB is counted in full; and the page's loader picks the
// SIMD128 one here, where node has SIMD.
//
//   node tests/web/wasm_kernels_test.mjs BUILD_DIR INPUT
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { runInNewContext } from 'node:vm';
import { strict as assert } from 'node:assert';
import { test } from 'node:test';

const [build, inputPath] = process.argv.slice(2);
const context = { atob, Uint8Array, WebAssembly };
runInNewContext(readFileSync(`${build}/page/brivel_wasm.js`, 'utf8'), context);
const list = readFileSync(inputPath);
const latin1 = (text) => Buffer.from(text, 'latin1');
// The native programs: BRIVEL_PROGRAMS, or the page's build.
const programs = path.resolve(process.env.BRIVEL_PROGRAMS || build);
const brivel = (input) => execFileSync(`${programs}/brivel`, { input, maxBuffer: 1 << 30 });
// The Windows program reads CR LF as LF and stops at a Ctrl-Z, and writes every LF as CR LF.
const crlf = (bytes) => latin1(bytes.toString('latin1').replaceAll('\n', '\r\n'));
const windows = (input) => crlf(brivel(latin1(input.toString('latin1').split('\x1a')[0].replaceAll('\r\n', '\n'))));
// A list as Windows writes it, with a lone CR and a line that a Ctrl-Z cuts off.
const asWindowsWrites = (bytes) => Buffer.concat([latin1(bytes.toString('latin1').replaceAll('\n', '\r\n')),
  latin1('"lone cr"\r x=1 y=2 z=3 pitch=4 yaw=5 roll=6\r\n\x1a\r\n"after" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\r\n')]);
const windowsStyle = asWindowsWrites(list);
// CR LF, CR CR LF and lone carriage returns (one a name's last byte), and no Ctrl-Z: only a
// carriage return before a line feed goes. Each is seen in the findings (their columns and
// excerpts) more than in the blocks, where most are whitespace at a line's end.
let ends = 0;
const mixedCarriageReturns = latin1(list.toString('latin1').replace(/\n/g, () => ['\r\n', '\n', '\r\r\n', '\r \n', '\r\n'][ends++ % 5])
  .replace(/" x=/g, () => ['\r" x=', '" x=', '" x='][ends++ % 3]));
// LF line ends and a Ctrl-Z early on: the rules stop there though no part holds a carriage
// return, and what the Ctrl-Z cuts off is counted in the parts after it.
const lfCtrlZ = Buffer.concat([latin1('"before" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n\x1a'), list]);
const example = asWindowsWrites(readFileSync(new URL('../../examples/cameras.txt', import.meta.url)));

// What brivel-check prints for the list saved as list.txt: the texts of the module's findings and its summary.
function brivelCheck(input, windowsText) {
  const folder = mkdtempSync(path.join(os.tmpdir(), 'brivel-wasm-test-'));
  writeFileSync(path.join(folder, 'list.txt'), input);
  const printed = spawnSync(`${programs}/brivel-check`, [...(windowsText ? ['--windows-text'] : []), 'list.txt'],
    { cwd: folder, maxBuffer: 1 << 30 }).stdout;
  rmSync(folder, { recursive: true });
  return printed;
}
// Converts `input` fed in parts of the sizes given, in turn (or the parts `input` yields, if it
// is no Buffer). With `observe`, the findings' texts and the summary instead, as brivel-check
// prints them for list.txt, and the verdict's code as the result's `verdict`.
async function convert(base64, input, windowsText, sizes, observe = false) {
  let memory = null;
  let verdict = null;
  const chunks = [];
  const bytes = (at, size) => Buffer.from(new Uint8Array(memory.buffer, at >>> 0, size >>> 0));
  // The blocks, or the findings; the page's other functions do nothing here.
  const page = new Proxy(observe ? {
    finding(...fields) {
      const [at, codeSize, wordsSize, excerptSize, size] = fields.slice(6);
      const text = bytes(at + codeSize + wordsSize + excerptSize, size - codeSize - wordsSize - excerptSize);
      // The words, where brivel-check's text has them.
      assert.ok(text.includes(Buffer.concat([latin1(': warning: '), bytes(at + codeSize, wordsSize), latin1('\n')])));
      chunks.push(text);
    },
    done(...fields) {
      chunks.push(bytes(fields[9], fields[10]));
      verdict = bytes(fields[5], fields[6]).toString();
    },
  } : {
    output(at, size) { chunks.push(bytes(at, size)); },
  }, { get: (functions, name) => functions[name] || (() => {}) });
  const module = await WebAssembly.compile(Buffer.from(base64, 'base64'));
  const instance = await WebAssembly.instantiate(module, { page });
  const exports = instance.exports;
  memory = exports.memory;
  exports._initialize();
  const name = Buffer.from('list.txt');
  const nameAt = exports.brivel_begin(windowsText ? 1 : 0, observe ? 1 : 0, name.length);
  assert.notEqual(nameAt, 0);
  new Uint8Array(memory.buffer, nameAt, name.length).set(name);
  function* cut() {
    for (let at = 0, k = 0; at < input.length; at += sizes[k++ % sizes.length]) {
      yield input.subarray(at, at + sizes[k % sizes.length]);
    }
  }
  for (const part of Buffer.isBuffer(input) ? cut() : input) {
    const room = exports.brivel_room(part.length);
    new Uint8Array(memory.buffer, room, part.length).set(part);
    assert.equal(exports.brivel_feed(part.length, 0), 0);
  }
  assert.equal(exports.brivel_feed(0, 1), 0);
  return Object.assign(Buffer.concat(chunks), { verdict });
}

// The lines and bytes of a list past 4 GiB are counted in full, though the module's own numbers
// are of 32 bits: a comment line of 2^32 bytes is read as any line (its end is no start of the
// input, where a UTF-16 mark or binary data would name the whole list), and a list of exactly
// 2^32 bytes is not empty.
test('a list past 4 GiB, in the page\'s module', async () => {
  const base64 = runInNewContext('BRIVEL_WASM_MODULES.simd128', context);
  const filler = Buffer.alloc(1 << 26, 'a');
  function* comment(tail) {
    yield latin1('#');
    for (let left = 2 ** 32 - 2; left > 0; left -= filler.length) yield filler.subarray(0, Math.min(left, filler.length));
    yield latin1('\n' + tail);
  }
  const tail = '\xff\xfe"gate" x=1 y=2 z=3 pitch=0 yaw=0 roll=0 fov=7\n"cam" x=1 y=2 z=3 pitch=0 yaw=0 roll=0 fov=x\n';
  assert.ok((await convert(base64, comment(tail), false, [], true)).equals(brivelCheck(latin1('\n' + tail), false)),
    'the findings of the lines after 4 GiB, as brivel-check gives them for those lines after an empty one');
  assert.equal((await convert(base64, comment(''), false, [], true)).verdict, 'no-camera-lines');
});

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
      assert.ok((await convert(base64, mixedCarriageReturns, true, sizes)).equals(windows(mixedCarriageReturns)),
        `a list with CR LF, CR CR LF and lone CRs, Windows line ends, parts of ${sizes}`);
      for (const input of [windowsStyle, mixedCarriageReturns, lfCtrlZ]) {
        assert.ok((await convert(base64, input, true, sizes, true)).equals(brivelCheck(input, true)),
          `what brivel-check --windows-text says of a list with CR LF or a Ctrl-Z, parts of ${sizes}`);
      }
    }
    // A byte at a time: a part may be a CR alone.
    assert.ok((await convert(base64, example, true, [1])).equals(windows(example)), 'the example as Windows writes it, a byte at a time');
  });
}
