// Converts one list in a worker, so that the page stays responsive while a
// large list converts. The page starts the worker from this function's source
// (see page.js): a page opened from the disk may not load a worker script from
// a file. Nothing else on the page is in scope here.
//
// The page hands over the list as a Blob (a chosen file, or the pasted text),
// and the worker streams it into the module a part at a time: the next part is
// read while one converts, into the same two buffers over and over, so the
// list is never whole in memory and no memory is taken afresh for its parts.
// A worker makes one of two passes:
//  - "look", for what the page shows: the cameras, to the page as they come
//    in batches of thousands (in columns, a typed array per field), and at the
//    end the counts, the start of the blocks and the findings;
//  - "blocks", for the download: the blocks into a Blob, made once the page
//    has drawn the result;
//  - "warm", the first, on a list of the page's making, for no result: the
//    browser compiles the module's busiest code anew, optimized, only once it
//    has run for a while, and the page's first list should not wait for that.

// What the page and the worker share: their columns, and how a batch of
// cameras goes from one to the other. Both run it: the page as it is, the
// worker from its source (see page.js).
function brivelColumns() {
  'use strict';
  // What `make(size)` makes for room for `wanted` items, where there is room for `capacity`, or for
  // `expected`, where a list read in part shows the whole will need that many: the room doubled as
  // often as that takes. Null where the room there is will do, or will do for now where there is
  // no memory for what is expected. Where there is none, the room is doubled once, as it would be
  // with nothing expected: so no size is asked for that doubling alone would not have asked for.
  function grow(capacity, wanted, expected, make) {
    if (wanted <= capacity && expected <= capacity) return null;
    const needed = Math.max(wanted, 2 * capacity);
    let size = needed;
    while (size < expected) size *= 2;
    try {
      return make(size);
    } catch (error) {
      if (wanted <= capacity) return null;
      if (size === needed) throw error;
      return make(needed);
    }
  }
  // The first `filled` items of `array` in a new one of the same type and `size`.
  function copied(array, filled, size) {
    const larger = new array.constructor(size);
    larger.set(array.subarray(0, filled));
    return larger;
  }

  // Columns of typed arrays, one per field, and a pool of bytes (names) that
  // `...End` columns point into: a million rows are a few tens of MB, not a
  // million objects. They grow by doubling, or at once to what the part of a
  // list read so far promises; `views` gives the filled part.
  // (The page keeps its cameras in one; the worker its findings, whose texts
  // are kept in Chunks instead of the pool.)
  class ColumnTable {
    constructor(fields, capacity, poolCapacity) {
      this.columns = {};
      this.capacity = Math.max(capacity, 16);  // rows, in every column
      for (const [name, Type] of Object.entries(fields)) this.columns[name] = new Type(this.capacity);
      this.count = 0;
      this.pool = new Uint8Array(Math.max(poolCapacity, 256));
      this.poolLength = 0;
    }

    // Room for `rows` more rows and `bytes` more bytes in the pool; and, where the part of a list
    // read so far shows that the whole will need them, for `expectedRows` and `expectedBytes` in
    // all, taken while there is little to copy: a column grown late copies tens of MB in one task.
    // (Called for every finding: the columns are looked at only when they must grow.)
    reserve(rows, bytes, expectedRows = 0, expectedBytes = 0) {
      const columns = grow(this.capacity, this.count + rows, expectedRows, (size) => {
        const larger = {};
        for (const [name, column] of Object.entries(this.columns)) larger[name] = copied(column, this.count, size);
        return larger;
      });
      if (columns) {
        this.columns = columns;
        this.capacity = Object.values(columns)[0].length;
      }
      const pool = grow(this.pool.length, this.poolLength + bytes, expectedBytes, (size) => copied(this.pool, this.poolLength, size));
      if (pool) this.pool = pool;
    }

    // Appends `bytes` to the pool; returns the pool's new length.
    keep(bytes) {
      this.pool.set(bytes, this.poolLength);
      this.poolLength += bytes.length;
      return this.poolLength;
    }

    // The filled part of each column, and of the pool as `poolName`, if named.
    views(poolName) {
      const result = poolName ? { [poolName]: this.pool.subarray(0, this.poolLength) } : {};
      for (const [name, column] of Object.entries(this.columns)) result[name] = column.subarray(0, this.count);
      return result;
    }
  }

  // A batch of cameras as the worker hands it to the page, in one buffer: the
  // columns line (Float64), x, y, z, pitch, yaw, roll, fov (Int32) and nameEnd
  // (Uint32, from the batch's first name), `count` of each, then the names.
  const CAMERA_FIELDS = ['x', 'y', 'z', 'pitch', 'yaw', 'roll', 'fov'];
  const CAMERA_BATCH_BYTES = 56 * 16384;  // the module's batches, of 16384 cameras and their names
  function cameraBatch(buffer, count) {
    const batch = { line: new Float64Array(buffer, 0, count), nameEnd: new Uint32Array(buffer, 36 * count, count) };
    CAMERA_FIELDS.forEach((name, k) => (batch[name] = new Int32Array(buffer, (8 + 4 * k) * count, count)));
    return batch;
  }
  // The names of a filled batch.
  const batchNames = (buffer, count) => new Uint8Array(buffer, 40 * count, count > 0 ? new Uint32Array(buffer, 36 * count, count)[count - 1] : 0);
  // Room for its cameras in a list of `size` bytes of usual lines, which grows if need be.
  function cameraColumns(size) {
    const rows = Math.min(Math.ceil(size / 48), 4 << 20);
    const fields = { line: size < 2 ** 32 ? Uint32Array : Float64Array, nameEnd: Uint32Array };
    for (const name of CAMERA_FIELDS) fields[name] = Int32Array;
    return new ColumnTable(fields, rows, rows * 12);
  }
  // Appends a filled batch to the columns, from a list of `total` bytes whose first `read` gave
  // the cameras up to this batch's last.
  function appendCameras(table, buffer, count, read = 0, total = 0) {
    const batch = cameraBatch(buffer, count);
    const names = batchNames(buffer, count);
    // As many more as there have been for each byte, and an eighth to spare (`read` is the end of
    // the part being converted, so the guess falls short at first and comes near after some
    // parts); but no more than 64 times what is held, so that a few cameras at the start of a list
    // of gigabytes of other lines take no room for millions.
    const expected = (held) => (read > 0 ? Math.ceil(held * Math.min(64, (total / read) * 1.125)) : 0);
    table.reserve(count, names.length, expected(table.count + count), expected(table.poolLength + names.length));
    const c = table.columns;
    for (const name of ['line', ...CAMERA_FIELDS]) c[name].set(batch[name], table.count);
    const base = table.poolLength;
    for (let i = 0; i < count; ++i) c.nameEnd[table.count + i] = base + batch.nameEnd[i];
    table.keep(names);
    table.count += count;
  }
  // Bytes kept in chunks that are never copied to grow, each run of them in one chunk: a list of
  // near misses has hundreds of MB of findings' texts, which a pool grown by doubling would copy
  // again and again (memory written for the first time is what costs here).
  class Chunks {
    constructor() {
      this.filled = [];  // the chunks before the current one
      this.current = new Uint8Array(0);
      this.length = 0;  // of the current chunk
    }
    // Makes room for `size` bytes in the current chunk; returns where they will start in it.
    room(size) {
      if (this.length + size > this.current.length) {
        // Made before the full one is put aside: where there is no memory for it, nothing changes.
        const next = new Uint8Array(Math.max(size, Math.min(4 << 20, 2 * this.current.length || 64 << 10)));
        if (this.length > 0) this.filled.push(this.current.subarray(0, this.length));
        this.current = next;
        this.length = 0;
      }
      return this.length;
    }
    // The index of the current chunk.
    get index() {
      return this.filled.length;
    }
    // Appends `bytes`, for which room() was made; returns where they end in the current chunk.
    keep(bytes) {
      this.current.set(bytes, this.length);
      this.length += bytes.length;
      return this.length;
    }
    // Every chunk's filled part.
    views() {
      return this.length > 0 ? [...this.filled, this.current.subarray(0, this.length)] : this.filled;
    }
  }
  // Keeps the texts of finding `i` of `table` in `texts`: `bytes` holds its code, words, excerpt
  // and text (as brivel-check prints it), one after the other, as the module hands them over.
  function keepFindingTexts(table, i, texts, bytes, codeSize, wordsSize, excerptSize) {
    const start = texts.room(bytes.length);
    const f = table.columns;
    f.chunk[i] = texts.index;
    f.codeEnd[i] = start + codeSize;
    f.wordsEnd[i] = start + codeSize + wordsSize;
    f.excerptEnd[i] = start + codeSize + wordsSize + excerptSize;
    f.textEnd[i] = texts.keep(bytes);
  }
  return { ColumnTable, Chunks, keepFindingTexts, CAMERA_FIELDS, CAMERA_BATCH_BYTES, cameraBatch, cameraColumns, appendCameras };
}

function brivelWorker(shared) {
  'use strict';
  const { ColumnTable, Chunks, keepFindingTexts, CAMERA_FIELDS, CAMERA_BATCH_BYTES, cameraBatch } = shared;
  const PART = 1 << 20;  // the most bytes of the list read at a time
  const PREVIEW_BYTES = 64 * 1024;
  // The download's blocks go in parts of 4 MB to a second worker, which makes a Blob of every
  // eight (a Blob copies its parts when it is made) and hands the buffers back to be filled again.
  // Making Blobs is most of the pass's work, and a Blob of 32 MB is made faster than eight of 4 MB
  // (one Blob of all the parts at the end held them all, twice the tab's memory at its peak); in a
  // worker of its own it is made while the next parts are converted. A few more than eight parts go
  // round, and the conversion waits for one to come back before taking more of the list.
  const OUTPUT_PART = 4 << 20;
  const OUTPUT_PARTS_PER_BLOB = 8;
  const OUTPUT_PARTS = OUTPUT_PARTS_PER_BLOB + 4;
  const buffersOf = (result) => Object.values(result).flat().map((array) => array.buffer);
  // The buffers of camera batches, to be filled; the page hands each back. A few are made
  // (and written, which is what takes the time) at once, while the worker waits for its
  // list, so that the page has time to hand them back.
  const spare = Array.from({ length: 6 }, () => {
    const buffer = new ArrayBuffer(CAMERA_BATCH_BYTES);
    new Uint8Array(buffer).fill(1);
    return buffer;
  });
  // A turn of the event loop, in which the page's messages (spare buffers) come in.
  const turn = () => new Promise((resolve) => {
    const channel = new MessageChannel();
    channel.port1.onmessage = resolve;
    channel.port2.postMessage(null);
  });

  // A read of the list that fails: Chromium says no more than "network error" when the file has
  // changed or gone since it was chosen.
  function unreadable(error) {
    throw new Error(`the file could not be read (${error && error.message || error}); it may have changed ` +
      'since it was chosen: choose it again');
  }

  // Calls each(bytes) for each part of the Blob, in order. A byte stream is
  // read into two buffers in turn, the next part arriving while `each` works.
  // Adds the time spent waiting for parts to timing.readWaitMs.
  async function readParts(blob, each, timing) {
    const stream = blob.stream();
    let reader = null;
    try {
      reader = stream.getReader({ mode: 'byob' });
    } catch {
      // a browser whose Blob streams are not byte streams: parts in buffers of its own
    }
    if (!reader) {
      for (const plain = stream.getReader(); ;) {
        const { done, value } = await plain.read().catch(unreadable);
        if (done) return;
        await each(value);
      }
    }
    const buffers = [new ArrayBuffer(PART), new ArrayBuffer(PART)];
    const read = (k) => reader.read(new Uint8Array(buffers[k])).catch(unreadable);
    let next = read(0);
    for (let k = 0; ; k = 1 - k) {
      const waited = performance.now();
      const { done, value } = await next;
      timing.readWaitMs += performance.now() - waited;
      if (done) return;
      next = read(1 - k);
      await each(value);
      buffers[k] = value.buffer;  // the buffer read into, handed back
    }
  }

  // The second worker: a Blob of each eight parts it is given, and one of them all at the end.
  function blobMaker() {
    const blobs = [];
    let parts = [];
    let ms = 0;  // in making Blobs
    const makeBlob = () => {
      const started = performance.now();
      blobs.push(new Blob(parts));
      ms += performance.now() - started;
      const buffers = parts.map((part) => part.buffer);
      parts = [];
      self.postMessage({ kind: 'parts', buffers }, buffers);
    };
    self.onmessage = (event) => {
      const { part, length, partsPerBlob } = event.data;
      if (part) {
        parts.push(new Uint8Array(part, 0, length));
        if (parts.length === partsPerBlob) makeBlob();
        return;
      }
      makeBlob();
      self.postMessage({ kind: 'blob', blob: new Blob(blobs), ms });
    };
  }
  const blobMakerUrl = URL.createObjectURL(new Blob([`(${blobMaker})()`], { type: 'text/javascript' }));

  self.onmessage = async (event) => {
    if (event.data.kind === 'spare') {
      spare.push(event.data.buffer);
      return;
    }
    const { module, input, windowsText, name, pass } = event.data;
    const look = pass !== 'blocks';
    const warm = pass === 'warm';
    const total = input.size;
    let memory = null;
    const bytesAt = (at, size) => new Uint8Array(memory.buffer, at >>> 0, size >>> 0);
    const utf8 = new TextDecoder('utf-8');

    let outputLength = 0;
    const preview = new Uint8Array(PREVIEW_BYTES);
    let previewLength = 0;
    // The blocks pass: the part being filled, and the parts free to be filled next.
    const maker = !look && new Worker(blobMakerUrl);
    const freeParts = [];
    let partsMade = 0;
    let part = null;
    let partLength = 0;
    let partsBack = null;  // resolves when the maker hands parts back
    let blobMade = null;   // resolves to the download's Blob
    let makerFailed = null;  // what stopped the second worker, if anything
    if (maker) {
      let blobArrived;
      blobMade = new Promise((resolve) => (blobArrived = resolve));
      maker.onmessage = ({ data }) => {
        if (data.kind === 'blob') return blobArrived(data);
        freeParts.push(...data.buffers.map((buffer) => new Uint8Array(buffer)));
        if (partsBack) partsBack();
      };
      // Said at once, rather than waited for in vain.
      maker.onerror = (event) => {
        event.preventDefault();
        makerFailed = new Error(`the download could not be made (${event.message || 'its worker stopped'})`);
        blobArrived(null);
        if (partsBack) partsBack();
      };
    }
    const handOver = () => {
      maker.postMessage({ part: part.buffer, length: partLength, partsPerBlob: OUTPUT_PARTS_PER_BLOB }, [part.buffer]);
      part = null;
    };
    // Each finding's code, words, excerpt and text (as brivel-check prints it), one after the other in
    // the chunk of `findingTexts` that its `chunk` names.
    const findings = look && new ColumnTable({
      line: Float64Array, column: Float64Array, mark: Uint32Array, flags: Uint8Array, x: Int32Array, y: Int32Array,
      chunk: Uint32Array, codeEnd: Uint32Array, wordsEnd: Uint32Array, excerptEnd: Uint32Array, textEnd: Uint32Array,
    }, 64, 0);
    const findingTexts = look && new Chunks();
    let counts = {};
    let done = 0;  // bytes of the list converted
    let reading = 0;  // bytes of the part being converted
    let shown = 0;
    // Where each pass spends its time (the figures of tests/web/page_timing.mjs): in the module,
    // and within that in the page's functions it calls; waiting for the list's parts to be read,
    // and in the blocks pass for parts of the blocks to come back and for the last Blob; and the
    // second worker's time in making Blobs.
    const timing = { moduleMs: 0, outputMs: 0, camerasMs: 0, readWaitMs: 0, partsWaitMs: 0, blobWaitMs: 0, blobMs: 0 };

    let batches = 0;
    const page = {
      output(at, size) {
        const started = performance.now();
        const bytes = bytesAt(at, size);
        outputLength += bytes.length;
        const take = Math.min(bytes.length, PREVIEW_BYTES - previewLength);
        preview.set(bytes.subarray(0, take), previewLength);
        previewLength += take;
        if (look) return;
        for (let from = 0; from < bytes.length;) {
          if (!part) {
            // Made here only while fewer than OUTPUT_PARTS go round (see feed's wait below).
            part = freeParts.pop() || (++partsMade, new Uint8Array(OUTPUT_PART));
            partLength = 0;
          }
          const room = Math.min(bytes.length - from, OUTPUT_PART - partLength);
          part.set(bytes.subarray(from, from + room), partLength);
          partLength += room;
          from += room;
          if (partLength === OUTPUT_PART) handOver();
        }
        timing.outputMs += performance.now() - started;
      },
      // A batch of cameras, to the page as it comes: the page makes room for them while the
      // module goes on, and hands the buffer back.
      cameras(count, lineAt, xAt, yAt, zAt, pitchAt, yawAt, rollAt, fovAt, nameEndAt, namesAt) {
        if (warm) return;
        const started = performance.now();
        const buffer = spare.pop() || new ArrayBuffer(CAMERA_BATCH_BYTES);
        const batch = cameraBatch(buffer, count);
        batch.line.set(new Float64Array(memory.buffer, lineAt, count));
        batch.nameEnd.set(new Uint32Array(memory.buffer, nameEndAt, count));
        [xAt, yAt, zAt, pitchAt, yawAt, rollAt, fovAt].forEach((at, k) =>
          batch[CAMERA_FIELDS[k]].set(new Int32Array(memory.buffer, at, count)));
        new Uint8Array(buffer, 40 * count).set(bytesAt(namesAt, batch.nameEnd[count - 1]));
        self.postMessage({ kind: 'cameras', count, buffer, read: done + reading }, [buffer]);
        ++batches;
        timing.camerasMs += performance.now() - started;
      },
      // What brivel-check says: where (the column in characters), why, the
      // line's text around the column with the column's place in it, and
      // where the line's camera would stand, if the rules read that far.
      finding(line, column, mark, flags, x, y, at, codeSize, wordsSize, excerptSize, size) {
        findings.reserve(1, 0);
        const i = findings.count;
        keepFindingTexts(findings, i, findingTexts, bytesAt(at, size), codeSize, wordsSize, excerptSize);
        const f = findings.columns;
        f.line[i] = line;
        f.column[i] = column;
        f.mark[i] = mark;
        f.flags[i] = flags;
        f.x[i] = x;
        f.y[i] = y;
        findings.count = i + 1;
      },
      done(lines, cameraCount, defaultFov, skippedLines, findingCount, verdictAt, verdictSize, wordsAt, wordsSize,
        summaryAt, summarySize) {
        counts = {
          lines, cameraCount, defaultFov, skippedLines, cameraLines: lines - skippedLines, findingCount,
          verdict: utf8.decode(bytesAt(verdictAt, verdictSize)), verdictWords: utf8.decode(bytesAt(wordsAt, wordsSize)),
          summary: bytesAt(summaryAt, summarySize).slice(),
        };
      },
    };

    try {
      const instance = await WebAssembly.instantiate(module, { page });
      const exports = instance.exports;
      memory = exports.memory;
      exports._initialize();
      const nameBytes = new TextEncoder().encode(name);
      const nameAt = exports.brivel_begin(windowsText ? 1 : 0, look ? 1 : 0, nameBytes.length);
      if (nameAt === 0) throw new Error('not enough memory');
      bytesAt(nameAt, nameBytes.length).set(nameBytes);
      const feed = (bytes, last) => {
        const started = performance.now();
        const at = exports.brivel_room(bytes.length);
        if (at === 0) throw new Error('not enough memory for a line that long');
        bytesAt(at, bytes.length).set(bytes);
        if (exports.brivel_feed(bytes.length, last ? 1 : 0) !== 0) throw new Error('not enough memory for a line that long');
        timing.moduleMs += performance.now() - started;
      };
      const started = performance.now();
      await readParts(input, async (bytes) => {
        reading = bytes.length;
        feed(bytes, false);
        done += bytes.length;
        // Messages cost little, but a few hundred are plenty for a bar.
        if (!warm && done - shown >= total / 200) {
          shown = done;
          self.postMessage({ kind: 'progress', done, total });
        }
        // The parts mostly come at once: let the spare buffers in.
        if (look && batches > 0 && spare.length === 0) await turn();
        // The next part of the list may fill a part of the blocks: wait for one to be free.
        while (!look && freeParts.length === 0 && partsMade >= OUTPUT_PARTS && !makerFailed) {
          const waited = performance.now();
          await new Promise((resolve) => (partsBack = resolve));
          partsBack = null;
          timing.partsWaitMs += performance.now() - waited;
        }
        if (makerFailed) throw makerFailed;
      }, timing);
      reading = 0;
      feed(new Uint8Array(0), true);
      timing.ms = performance.now() - started;
      if (warm) {
        self.postMessage({ kind: 'warm', timing });
        return;
      }
      if (!look) {
        if (part) handOver();
        const waited = performance.now();
        maker.postMessage({});
        const made = await blobMade;
        if (makerFailed) throw makerFailed;
        const { blob, ms } = made;
        maker.terminate();
        timing.blobMs = ms;
        timing.blobWaitMs = performance.now() - waited;
        self.postMessage({ kind: 'blocks', blob, outputLength, timing });
        return;
      }
      const findingTable = { ...findings.views(), texts: findingTexts.views() };
      self.postMessage({
        kind: 'done', outputLength, preview: preview.slice(0, previewLength), timing, findings: findingTable, ...counts,
      }, buffersOf(findingTable));
    } catch (error) {
      if (maker) maker.terminate();
      const message = String(error && error.message || error);
      self.postMessage({ kind: 'failed', message });
    }
  };
}

if (typeof module === 'object') module.exports = { brivelColumns };
