// Converts one input in a worker, so that the page stays responsive while a
// large list converts. The page starts the worker from this function's source
// (see page.js): a page opened from the disk may not load a worker script from
// a file. Nothing else on the page is in scope here.
//
// The page hands over the list as a Blob (a chosen file, or the pasted text):
// the worker reads it straight into the module's memory, so the page never
// holds or copies its bytes. The blocks go as they come, a few MB at a time
// and transferred rather than copied, to a second worker (brivelCollector)
// that joins them into the output Blob meanwhile: this worker never holds
// more than one part, and the page gets the Blob as soon as the last part is in.
// The cameras and findings are gathered in typed arrays, which
// are transferred to the page at the end: a million cameras are a few tens of
// MB, not a million objects.
function brivelWorker() {
  'use strict';
  const PREVIEW_BYTES = 64 * 1024;
  const OUTPUT_PART = 4 << 20;  // bytes of blocks gathered before they go to the collector
  const READ_PART = 256 << 20;  // bytes of the input read at a time: one read is quickest, up to a point

  // Columns of typed arrays, one per field, and a pool of bytes (names, lines)
  // that `end` columns point into. They grow by doubling; `finish` trims them.
  function table(fields, capacity = 4096) {
    const columns = {};
    for (const [name, Type] of Object.entries(fields)) columns[name] = new Type(capacity);
    return { columns, count: 0, capacity, pool: new Uint8Array(capacity * 16), poolLength: 0 };
  }
  function reserve(t, bytes) {
    if (t.count === t.capacity) {
      t.capacity *= 2;
      for (const [name, column] of Object.entries(t.columns)) {
        t.columns[name] = new column.constructor(t.capacity);
        t.columns[name].set(column);
      }
    }
    if (t.poolLength + bytes > t.pool.length) {
      const larger = new Uint8Array(Math.max(t.pool.length * 2, t.poolLength + bytes));
      larger.set(t.pool.subarray(0, t.poolLength));
      t.pool = larger;
    }
    return t.count++;
  }
  function finish(t, poolName) {
    const result = { [poolName]: t.pool.slice(0, t.poolLength) };
    for (const [name, column] of Object.entries(t.columns)) result[name] = column.slice(0, t.count);
    return result;
  }
  const buffersOf = (result) => Object.values(result).map((array) => array.buffer);

  self.onmessage = async (event) => {
    const { module, input, windowsText, collector } = event.data;
    const length = input.size;
    let memory = null;
    const view = (at, size) => new Uint8Array(memory.buffer, at >>> 0, size >>> 0);

    let outputLength = 0;
    let part = new Uint8Array(OUTPUT_PART);
    let partLength = 0;
    const preview = new Uint8Array(PREVIEW_BYTES);
    let previewLength = 0;
    const cameras = table({
      line: Uint32Array, x: Int32Array, y: Int32Array, z: Int32Array, pitch: Int32Array, yaw: Int32Array,
      roll: Int32Array, fov: Int32Array, nameEnd: Uint32Array,
    });
    // Each finding's code, words and excerpt, one after the other in the pool.
    const findings = table({
      line: Float64Array, column: Float64Array, mark: Uint32Array, whole: Uint8Array,
      codeEnd: Uint32Array, wordsEnd: Uint32Array, excerptEnd: Uint32Array,
    });
    let heap = new Uint8Array(0);
    // Copies `size` bytes of the module's memory into the pool of t; most are a few bytes, which a loop copies fastest.
    const keep = (t, at, size) => {
      // Asking the memory for its buffer is slow; a view of it is emptied when it grows.
      if (heap.length === 0) heap = new Uint8Array(memory.buffer);
      const pool = t.pool;
      let to = t.poolLength;
      for (let i = at >>> 0, end = i + (size >>> 0); i < end; ++i) pool[to++] = heap[i];
      t.poolLength = to;
      return to;
    };
    let counts = {};
    let lastShown = 0;
    const progress = (phase, done) => {
      // Messages cost little, but a few hundred are plenty for a bar.
      if (done - lastShown >= length / 200 || done >= length) {
        lastShown = done;
        self.postMessage({ kind: 'progress', phase, done, total: length });
      }
    };

    const page = {
      output(at, size) {
        const bytes = view(at, size);
        outputLength += size;
        const take = Math.min(size, PREVIEW_BYTES - previewLength);
        preview.set(bytes.subarray(0, take), previewLength);
        previewLength += take;
        for (let from = 0; from < size;) {
          const room = Math.min(size - from, OUTPUT_PART - partLength);
          part.set(bytes.subarray(from, from + room), partLength);
          partLength += room;
          from += room;
          if (partLength === OUTPUT_PART) {
            collector.postMessage(part, [part.buffer]);
            part = new Uint8Array(OUTPUT_PART);
            partLength = 0;
          }
        }
      },
      progress: (done) => progress('converting', done),
      camera(line, at, size, x, y, z, pitch, yaw, roll, fov) {
        const i = reserve(cameras, size);
        const c = cameras.columns;
        c.line[i] = line;
        c.x[i] = x;
        c.y[i] = y;
        c.z[i] = z;
        c.pitch[i] = pitch;
        c.yaw[i] = yaw;
        c.roll[i] = roll;
        c.fov[i] = fov;
        c.nameEnd[i] = keep(cameras, at, size);
      },
      // What brivel-check says: where (the column in characters), why, and the
      // line's text around the column, with the column's place in it.
      finding(line, column, codeAt, codeSize, wordsAt, wordsSize, excerptAt, excerptSize, mark, whole) {
        const i = reserve(findings, codeSize + wordsSize + excerptSize);
        const f = findings.columns;
        f.line[i] = line;
        f.column[i] = column;
        f.mark[i] = mark;
        f.whole[i] = whole;
        f.codeEnd[i] = keep(findings, codeAt, codeSize);
        f.wordsEnd[i] = keep(findings, wordsAt, wordsSize);
        f.excerptEnd[i] = keep(findings, excerptAt, excerptSize);
      },
      done(lines, cameraCount, defaultFov, skippedLines, findingCount) {
        counts = { lines, cameraCount, defaultFov, skippedLines, cameraLines: lines - skippedLines, findingCount };
      },
    };

    try {
      const instance = await WebAssembly.instantiate(module, { page });
      memory = instance.exports.memory;
      instance.exports._initialize();
      const at = instance.exports.brivel_input(length);
      if (at === 0) throw new Error('not enough memory for an input of ' + length + ' bytes');
      for (let filled = 0; filled < length; filled += READ_PART) {
        const piece = await input.slice(filled, filled + READ_PART).arrayBuffer();
        view(at + filled, piece.byteLength).set(new Uint8Array(piece));
        progress('reading', filled + piece.byteLength);
      }
      lastShown = 0;
      if (instance.exports.brivel_run(length, windowsText ? 1 : 0) !== 0) {
        throw new Error('the conversion stopped before the end of the list');
      }
      const rest = part.slice(0, partLength);
      collector.postMessage(rest, [rest.buffer]);
      collector.postMessage(null);  // the end of the blocks
      const cameraTable = finish(cameras, 'names');
      const findingTable = finish(findings, 'text');
      self.postMessage({
        kind: 'done', outputLength, preview: preview.slice(0, previewLength),
        cameras: cameraTable, findings: findingTable, ...counts,
      }, [...buffersOf(cameraTable), ...buffersOf(findingTable)]);
    } catch (error) {
      self.postMessage({ kind: 'failed', message: String(error && error.message || error) });
    }
  };
}

// Joins the blocks that brivelWorker sends on the port it is given into the
// output Blob as they come, a Blob for each part, and at their end (null)
// hands the page one Blob of them all. Making a Blob takes time (1.5 to 2 s for
// 180 MB on this project's busy machine), which here goes on beside the
// conversion rather than after it.
function brivelCollector() {
  'use strict';
  self.onmessage = (event) => {
    const parts = [];
    event.data.onmessage = (block) => {
      if (block.data) parts.push(new Blob([block.data]));
      else self.postMessage(new Blob(parts));
    };
  };
}
