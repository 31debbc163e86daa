// The page's arithmetic, without a browser (node --test): the map's ticks and
// their labels, its view, density and picking; the table's sorting and
// filtering; the virtual lists' windows; the findings' texts in chunks; the
// columns' growth; Blobs made a part at a time.
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { test } from 'node:test';

const require = createRequire(import.meta.url);
const map = require('../../web/map.js');
const { cameraOrder } = require('../../web/camera_table.js');
const { virtualWindow, scrollTopFor, VIRTUAL_MAX_HEIGHT } = require('../../web/virtual_list.js');
const { brivelColumns } = require('../../web/worker.js');
const { libraryFindings, nearMisses, filterText } = require('../../web/findings.js');
const { BlobParts } = require('../../web/blob_parts.js');

test('tick labels are short whatever the numbers: separators, then SI suffixes', () => {
  const cases = [
    // lo, hi, count, labels
    [-1000, 1000, 4, ['-1,000', '-500', '0', '500', '1,000']],
    [0, 9999, 2, ['0', '5,000']],
    [-2147483648, 2147483647, 5, ['-2G', '-1G', '0', '1G', '2G']],
    [-2e9, 2e9, 8, ['-2.0G', '-1.5G', '-1.0G', '-0.5G', '0', '0.5G', '1.0G', '1.5G', '2.0G']],
    [1234000, 1236000, 4, ['1.2340M', '1.2345M', '1.2350M', '1.2355M', '1.2360M']],
    [20000, 30000, 2, ['20k', '25k', '30k']],
    [0.2, 3.7, 10, ['1', '2', '3']],  // numbers are whole: never a step below 1
    [100, 1200, 2, ['500', '1,000']],  // two ticks at least, where a step of 1,000 would give one
  ];
  for (const [lo, hi, count, labels] of cases) {
    const { values, step } = map.ticks(lo, hi, count);
    assert.deepEqual(map.tickLabels(values, step), labels, `${lo}..${hi}`);
    assert.ok(labels.every((label) => label.length <= 7), `${lo}..${hi}: short labels`);
  }
});

test('the view: fit, screen and back, zoom about a point, pan', () => {
  const view = map.fitView({ x0: -100, x1: 300, y0: 0, y1: 100 }, 400, 200);
  assert.deepEqual([view.cx, view.cy], [100, 50]);
  assert.equal(view.scale, 0.9);  // the wider span decides, with a margin
  const [sx, sy] = map.toScreen(view, 400, 200, 300, 100);
  assert.deepEqual([sx, sy], [200 + 180, 100 - 45]);  // +y is up
  assert.deepEqual(map.toWorld(view, 400, 200, sx, sy), [300, 100]);
  const zoomed = map.zoomView(view, 4, sx, sy, 400, 200);
  assert.deepEqual(map.toScreen(zoomed, 400, 200, 300, 100), [sx, sy]);  // the point under the pointer stays
  assert.equal(zoomed.scale, 3.6);
  const panned = map.panView(view, 9, 9);  // dragged right and down: the list moves with it
  assert.deepEqual(map.toScreen(panned, 400, 200, 300, 100), [sx + 9, sy + 9]);
  assert.deepEqual(map.fitView(null, 400, 200), { cx: 0, cy: 0, scale: 1 });
  assert.equal(map.zoomView(view, 1e12, 0, 0, 400, 200).scale, 100);  // zoom stops at a few units across
});

test('density: cameras binned by cell, those out of sight left out', () => {
  const xs = Int32Array.from([0, 1, 2, 50, -1000, 0]);
  const ys = Int32Array.from([0, 0, 1, 50, 0, 2000]);
  // 100 x 100 units in a 100 x 100 plot, cells of 10: the centre (0, 0) is cell (5, 5).
  const grid = map.densityGrid(map.placeIndex(xs, ys, xs.length), { cx: 0, cy: 0, scale: 1 }, 100, 100, 10);
  assert.equal(grid.columns, 10);
  assert.equal(grid.rows, 10);
  assert.equal(grid.inView, 3);  // (50, 50) lies on the far edge, outside
  assert.equal(grid.largest, 2);
  assert.equal(grid.counts[5 * 10 + 5], 2);  // (0, 0) and (1, 0)
  assert.equal(grid.counts[4 * 10 + 5], 1);  // (2, 1): one cell up
  assert.equal(map.cameraBounds(xs, ys, 4).y1, 50);
  assert.equal(map.cameraBounds(xs, ys, 0), null);
  assert.equal(map.samePlace(map.placeIndex(Int32Array.from([1, 1, 2, 1]), Int32Array.from([5, 5, 5, 6]), 4), 1, 5), 2);
});

test('density is drawn for too many cameras in sight, or for cameras too close to tell apart', () => {
  // cameras(n, columns, spacing): a lattice of n, in a 300 x 300 plot of one pixel a unit.
  const cameras = (n, columns, spacing) => [Int32Array.from({ length: n }, (_, i) => 10 + (i % columns) * spacing),
    Int32Array.from({ length: n }, (_, i) => 10 + Math.floor(i / columns) * spacing)];
  const dense = ([xs, ys]) => map.drawsDensity(map.densityGrid(map.placeIndex(xs, ys, xs.length), { cx: 150, cy: 150, scale: 1 },
    300, 300, 3));
  const cases = [
    // n, columns, spacing in pixels, drawn as density
    [150, 15, 20, false],  // each marker on its own
    [400, 20, 2, true],    // a blob of 40 x 40 pixels
    [150, 1, 0, false],    // all at one place: one marker
    [25, 5, 1, false],     // too few to be more than a small blob
    [3025, 55, 5, true],   // more than can be drawn one by one
  ];
  for (const [n, columns, spacing, expected] of cases) assert.equal(dense(cameras(n, columns, spacing)), expected, `${n} ${spacing} apart`);
  // 100 at one place and 60 far apart: markers, the 100 as one.
  const [stackX, stackY] = cameras(100, 1, 0);
  const [apartX, apartY] = cameras(60, 6, 45);
  assert.equal(dense([Int32Array.from([...stackX, ...apartX]), Int32Array.from([...stackY, ...apartY])]), false);
});

test('picking: the nearest camera within reach, by x and y', () => {
  const xs = Int32Array.from([0, 100, 100]);
  const ys = Int32Array.from([0, 0, 7]);
  const view = { cx: 0, cy: 0, scale: 1 };
  const places = map.placeIndex(xs, ys, 3);
  assert.equal(map.nearestCamera(places, view, 400, 400, 200 + 99, 200 - 6, 16), 2);
  assert.equal(map.nearestCamera(places, view, 400, 400, 200 + 99, 200, 16), 1);
  assert.equal(map.nearestCamera(places, view, 400, 400, 200 + 50, 200, 16), -1);
});

test('the index of places finds what a look at every camera finds, for any view', () => {
  // Each question asked of every camera in turn, as the map did before it had the index.
  const everyCamera = {
    density(xs, ys, view, width, height, cell) {
      const columns = Math.ceil(width / cell);
      const counts = new Uint32Array(columns * Math.ceil(height / cell));
      // The same arithmetic as the map's, to the last bit.
      const left = view.cx - width / 2 / view.scale;
      const top = view.cy + height / 2 / view.scale;
      const perCell = view.scale / cell;
      xs.forEach((x, i) => {
        const column = Math.floor((x - left) * perCell);
        const row = Math.floor((top - ys[i]) * perCell);
        if (column >= 0 && column < columns && row >= 0 && row * columns < counts.length) ++counts[row * columns + column];
      });
      return counts;
    },
    inSight: (xs, ys, view, width, height, margin) => [...xs.keys()].filter((i) => {
      const [sx, sy] = map.toScreen(view, width, height, xs[i], ys[i]);
      return sx >= -margin && sy >= -margin && sx <= width + margin && sy <= height + margin;
    }),
    nearest(xs, ys, view, width, height, sx, sy, radius) {
      const [x, y] = map.toWorld(view, width, height, sx, sy);
      let best = -1;
      let bestDistance = (radius / view.scale) ** 2;
      xs.forEach((_, i) => {
        const distance = (xs[i] - x) ** 2 + (ys[i] - y) ** 2;
        if (distance <= bestDistance) [best, bestDistance] = [i, distance];
      });
      return best;
    },
  };
  let seed = 7;
  const random = () => ((seed = (seed * 1103515245 + 12345) % 2 ** 31) / 2 ** 31);
  const lists = {
    spread: (n) => Array.from({ length: n }, () => [Math.floor(random() * 2000) - 1000, Math.floor(random() * 2000) - 1000]),
    // Cells about a unit wide, so that a camera on a view's edge is often on a cell's edge too.
    crowded: (n) => Array.from({ length: n }, () => [Math.floor(random() * 40), Math.floor(random() * 40)]),
    // Clumps, cameras at one place, and a few far off that a grid of equal cells would squeeze the rest for.
    clumped: (n) => Array.from({ length: n }, (_, i) => (i % 211 === 0 ? [2147483647 - i, -2147483648 + i]
      : i % 5 === 0 ? [3, 3] : [Math.floor(random() * 50) + (i % 3) * 400, Math.floor(random() * 50)])),
  };
  for (const [name, make] of Object.entries(lists)) {
    for (const n of [0, 1, 50, 5000]) {
      const points = make(n);
      const xs = Int32Array.from(points, ([x]) => x);
      const ys = Int32Array.from(points, ([, y]) => y);
      const indexed = map.placeIndex(xs, ys, n);
      // A small box around a camera looks at few others, far-off cameras or not.
      let looked = 0;
      const { runs } = map.placeRuns(indexed, xs[1] - 1, xs[1] + 1, ys[1] - 1, ys[1] + 1);
      for (let r = 0; n === 5000 && r < runs.length; r += 2) looked += runs[r + 1] - runs[r];
      assert.ok(looked <= n / 50, `${name}, ${n} cameras: looked at ${looked}`);
      for (let v = 0; v < 40; ++v) {
        // The index made, and the list itself that stands in while it is made.
        const places = v % 4 ? indexed : map.wholeList(xs, ys, n);
        const [width, height] = [100 + Math.floor(random() * 300), 100 + Math.floor(random() * 300)];
        const scale = 10 ** (random() * 6 - 4);
        // Views with a camera on their left and top edges, or 30 px beyond them (the margin of
        // the cameras in sight, below).
        const beyond = v % 3 === 2 ? 30 / scale : 0;
        const edge = v % 3 ? [(width / 2) / scale + beyond, -(height / 2) / scale - beyond] : [random() * 30, 0];
        const view = { cx: n ? xs[v % n] + edge[0] : 0, cy: n ? ys[(v * 7) % n] + edge[1] : 0, scale };
        const what = `${name}, ${n} cameras, view ${JSON.stringify(view)} ${width} x ${height}`;
        const grid = map.densityGrid(places, view, width, height, 3);
        const counts = everyCamera.density(xs, ys, view, width, height, 3);
        assert.deepEqual(grid.counts, counts, what);
        assert.equal(grid.inView, counts.reduce((a, b) => a + b, 0), what);
        const shown = map.camerasInSight(places, view, width, height, 30);
        const inSight = everyCamera.inSight(xs, ys, view, width, height, 30);
        assert.deepEqual(shown.filter((_, k) => k % 3 === 0), inSight, what);
        const limited = map.camerasInSight(places, view, width, height, 30, 10);
        assert.equal(limited.length, 3 * Math.min(inSight.length, 11), what);
        const [x, y] = [xs[v % n], ys[v % n]];
        // Picked anywhere, and right on a camera (of several at one place, the last in the list).
        for (const [sx, sy] of [[random() * width, random() * height], map.toScreen(view, width, height, x, y)]) {
          assert.equal(map.nearestCamera(places, view, width, height, sx, sy, 16),
            everyCamera.nearest(xs, ys, view, width, height, sx, sy, 16), what);
        }
        if (n) assert.equal(map.samePlace(places, x, y), xs.filter((other, i) => other === x && ys[i] === y).length, what);
      }
    }
  }
});

test('the camera table: sorted by any column, ties in line order, filtered by name', () => {
  const names = ['gate', 'Dock 3', 'dock 1', 'gate b', 'tower'];
  const bytes = names.map((n) => new TextEncoder().encode(n));
  const cameras = {
    names: Uint8Array.from(bytes.flatMap((b) => [...b])),
    nameEnd: Uint32Array.from(bytes.map((_, i) => bytes.slice(0, i + 1).reduce((n, b) => n + b.length, 0))),
    x: Int32Array.from([5, -2147483648, 5, 2147483647, -1]),
    line: Uint32Array.from([1, 2, 4, 9, 10]),
  };
  const order = (key, descending, needle = '') => [...cameraOrder(cameras, 5, key, descending, needle)];
  const cases = [
    ['line', false, '', [0, 1, 2, 3, 4]],
    ['line', true, '', [4, 3, 2, 1, 0]],
    ['x', false, '', [1, 4, 0, 2, 3]],
    ['x', true, '', [3, 0, 2, 4, 1]],  // ties stay in line order either way
    ['name', false, '', [1, 2, 0, 3, 4]],  // bytes: upper case first, a prefix before what extends it
    ['name', true, '', [4, 3, 0, 2, 1]],
    ['line', false, 'DOCK', [1, 2]],
    ['x', true, 'gate', [3, 0]],
    ['name', false, 'nothing', []],
  ];
  for (const [key, descending, needle, expected] of cases) {
    assert.deepEqual(order(key, descending, needle), expected, `${key} ${descending ? 'down' : 'up'} '${needle}'`);
  }
});

test('virtual lists: the rows in sight, even past the height a browser allows', () => {
  // 1000 rows of 20 px in a view of 100 px.
  assert.deepEqual(virtualWindow(0, 100, 20, 1000, 2), { first: 0, last: 7, top: 0, height: 20000 });
  assert.deepEqual(virtualWindow(400, 100, 20, 1000, 2), { first: 18, last: 27, top: 360, height: 20000 });
  assert.deepEqual(virtualWindow(0, 100, 20, 3, 2), { first: 0, last: 3, top: 0, height: 60 });
  // A million rows of 30 px: the content is capped, and its end still shows the last row.
  const count = 1e6;
  const end = virtualWindow(VIRTUAL_MAX_HEIGHT - 300, 300, 30, count, 0);
  assert.equal(end.height, VIRTUAL_MAX_HEIGHT);
  assert.equal(end.last, count);
  assert.equal(end.top + (end.last - end.first) * 30, VIRTUAL_MAX_HEIGHT);
  const middle = virtualWindow(scrollTopFor(500000, 300, 30, count), 300, 30, count, 0);
  assert.ok(middle.first <= 500000 && 500000 < middle.last, `row 500000 in ${middle.first}..${middle.last}`);
  const row = middle.top + (500000 - middle.first) * 30;
  const scrolled = scrollTopFor(500000, 300, 30, count);
  assert.ok(row >= scrolled && row + 30 <= scrolled + 300, 'row 500000 is in the view');
});

test('findings kept in chunks, as the worker keeps them, read back whole across the chunks', () => {
  const { ColumnTable, Chunks, keepFindingTexts } = brivelColumns();
  const table = new ColumnTable({ chunk: Uint32Array, codeEnd: Uint32Array, wordsEnd: Uint32Array,
    excerptEnd: Uint32Array, textEnd: Uint32Array, line: Float64Array }, 4, 0);
  const texts = new Chunks();
  const want = [];
  // Of many sizes, one of them larger than a whole chunk: some 10 MB in all, in several chunks.
  for (let i = 0; i < 3000; ++i) {
    const parts = [`code${i % 7}`, `words ${i} `.repeat(1 + i % 5), `excerpt ${i}`, `text ${i}\n`.repeat(1 + i % 300)];
    if (i === 2500) parts[3] = 'x'.repeat(5 << 20);
    want.push(parts);
    table.reserve(1, 0);
    keepFindingTexts(table, table.count++, texts, Buffer.from(parts.join(''), 'latin1'),
      parts[0].length, parts[1].length, parts[2].length);
  }
  const found = libraryFindings({ ...table.views(), texts: texts.views(), flags: new Uint8Array(3000),
    column: new Float64Array(3000), mark: new Uint32Array(3000) });
  assert.ok(texts.views().length > 3, `${texts.views().length} chunks`);
  const latin1 = (bytes) => Buffer.from(bytes).toString('latin1');
  const order = Array.from(want, (_, i) => i);
  for (const i of order) {
    const entry = found.entry(i);
    assert.deepEqual([entry.code, entry.reason, latin1(entry.excerpt), latin1(found.text(i))], want[i], `finding ${i}`);
  }
});

test('the cameras\' columns: room taken early for what the list read so far promises, or only what is needed', () => {
  const { ColumnTable, appendCameras, cameraBatch, CAMERA_BATCH_BYTES } = brivelColumns();
  // A column type that has no memory for more than `limit` rows.
  let limit = Infinity;
  class Limited extends Uint32Array {
    constructor(...args) {
      if (typeof args[0] === 'number' && args[0] > limit) throw new RangeError('no memory');
      super(...args);
    }
  }
  const table = new ColumnTable({ line: Limited, x: Int32Array }, 125, 0);
  const add = (rows, expected) => {
    table.reserve(rows, 0, expected);
    for (let k = 0; k < rows; ++k, ++table.count) [table.columns.line[table.count], table.columns.x[table.count]] = [table.count, -table.count];
  };
  const held = () => {
    const { line, x } = table.views();
    return line.every((v, i) => v === i) && x.every((v, i) => v === -i) && line.length === table.count;
  };
  limit = 1000;
  for (const [rows, expected, room] of [
    // rows added, rows expected, the room then: always one that doubling alone comes to
    [10, 5000, 125],   // no memory for what is expected, and the room there is will do
    [120, 5000, 250],  // nor now, but more is needed: twice the room
    [10, 600, 1000],   // what is expected, doubled as often as that takes
    [860, 0, 1000],
  ]) {
    add(rows, expected);
    assert.equal(table.capacity, room, `${rows} more, ${expected} expected`);
    assert.ok(held(), `the rows kept, ${rows} more`);
  }
  assert.throws(() => add(1, 0), RangeError);  // no memory for twice the room: the table as it was
  assert.equal(table.capacity, 1000);
  assert.ok(held());

  // A batch of 16384 cameras, and as many bytes of names, from the first hundredth of a list: room
  // for 64 times as many, not for a hundred times (the rest of the list may hold none).
  const cameras = brivelColumns().cameraColumns(0);
  const buffer = new ArrayBuffer(CAMERA_BATCH_BYTES);
  const batch = cameraBatch(buffer, 16384);
  batch.nameEnd.forEach((_, i) => (batch.nameEnd[i] = i + 1));
  appendCameras(cameras, buffer, 16384, 1e6, 1e8);
  assert.deepEqual([cameras.capacity, cameras.pool.length], [64 * 16384, 64 * 16384]);
});

test('the findings\' filter on their bytes keeps what it keeps on their text, lowercase, whatever the needle', () => {
  const rows = [
    // line, column, reason, excerpt (bytes, in latin1)
    [16, 21, 'Z is missing', '"Market" X=100 y=200'],
    [1, 1, 'fov is not a number', '\xef\xbb\xbf"a" x=1 fov=ABC'],  // a byte order mark, which decoding drops
    [1234567, 3, 'a name in \xe2\x80\x9cquotes\xe2\x80\x9d', '"\xe2\x84\xaaelvin" \xc4\xb0X \xc4\xb0'],  // KELVIN SIGN (k) and İ (i and a dot)
    [9007199254740993, 1e21, 'bad bytes\xe2\x84', '\xaaa\xffB\xc3 \xe2\x84\xaa\xef\xbb\xbf'],  // invalid UTF-8; no K across
    [0, 99, '', 'x\xe2\x84'],
    [100, 10, 'cut \xc4', '\xb0x'],  // no İ across
    [7, 2, 'ends in \xe2\x80\x9d', '"plain" x=1'],  // other characters in the words alone
  ];
  const bytes = [];
  const ends = { codeEnd: [], wordsEnd: [], excerptEnd: [], textEnd: [] };
  for (const [, , reason, excerpt] of rows) {
    for (const [key, part] of [['codeEnd', 'code'], ['wordsEnd', reason], ['excerptEnd', excerpt], ['textEnd', 'text\n']]) {
      bytes.push(...Buffer.from(part, 'latin1'));
      ends[key].push(bytes.length);
    }
  }
  const found = libraryFindings({ texts: [Uint8Array.from(bytes)], chunk: new Uint32Array(rows.length),
    codeEnd: Uint32Array.from(ends.codeEnd), wordsEnd: Uint32Array.from(ends.wordsEnd), excerptEnd: Uint32Array.from(ends.excerptEnd),
    textEnd: Uint32Array.from(ends.textEnd), line: Float64Array.from(rows, (row) => row[0]),
    column: Float64Array.from(rows, (row) => row[1]), flags: new Uint8Array(rows.length), mark: new Uint32Array(rows.length) });
  const utf8 = new TextDecoder('utf-8');
  const texts = rows.map((_, i) => filterText(found.entry(i), utf8).toLowerCase());
  // Every piece of every text, and some that are in none.
  const needles = new Set(['k', 'kelvin', 'i', 'ix', 'i x', 'missing "market"', 'ing "a" x', 'number "a', 'a"', 'ab', ' ', 'bytesk', 'cut i',
    'é', 'kelvin\u212a', '\u212a', '\ufffd\ufffd', 'é x', '\u201cquotes\u201d x']);
  for (const text of texts) {
    for (let from = 0; from < text.length; ++from) {
      for (let to = from + 1; to <= Math.min(text.length, from + 40); ++to) needles.add(text.slice(from, to));
    }
  }
  let kept = 0;
  for (const needle of needles) {
    const keeps = found.matcher(needle);
    const want = texts.map((text) => text.includes(needle));
    assert.deepEqual(want.map((_, i) => keeps(i)), want, `'${needle}'`);
    kept += want.filter(Boolean).length;
  }
  assert.ok(needles.size > 1000 && kept > 1000, `${needles.size} needles, ${kept} kept`);
});

test('bytes made into a Blob a part at a time: all of them, in order, across parts of 4 MB', async () => {
  const parts = new BlobParts();
  const want = [];
  // Some 11 MB in pieces of many sizes, one of them larger than a part.
  for (let i = 0; i < 3000; ++i) {
    const piece = new Uint8Array(i === 2500 ? 5 << 20 : (i * 7919) % 4000).fill(i & 0xff);
    parts.add(piece);
    want.push(piece);
  }
  assert.ok(parts.blobs.length >= 2, `${parts.blobs.length} Blobs`);
  const got = new Uint8Array(await parts.blob().arrayBuffer());
  assert.ok(Buffer.from(got).equals(Buffer.concat(want)), `${got.length} bytes`);
});

test('the near misses for the map: the findings whose x and y were read, in order, with their places', () => {
  // Flag 4: x and y read; 1 and 2 say other things of the excerpt.
  const flags = Uint8Array.from([4, 3, 7, 0, 1, 6, 4]);
  const x = Int32Array.from(flags, (_, i) => 10 * i);
  const y = Int32Array.from(flags, (_, i) => -i);
  const misses = nearMisses({ line: new Float64Array(flags.length), flags, x, y });
  assert.deepEqual([misses.count, [...misses.finding], [...misses.x], [...misses.y]],
    [4, [0, 2, 5, 6], [0, 20, 50, 60], [0, -2, -5, -6]]);
});
