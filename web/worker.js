// Converts one input in a worker, so that the page stays responsive while a
// large list converts. The page starts the worker from this function's source
// (see page.js): a page opened from the disk may not load a worker script from
// a file. Nothing else on the page is in scope here.
function brivelWorker() {
  'use strict';
  const MAP_LIMIT = 5000;  // the cameras sent for the map; the count covers all
  const FINDING_LIMIT = 1000;
  const PREVIEW_BYTES = 64 * 1024;

  self.onmessage = async (event) => {
    const { module, input, windowsText } = event.data;
    const length = input.byteLength;
    let memory = null;
    const view = (at, size) => new Uint8Array(memory.buffer, at >>> 0, size >>> 0);
    const names = new TextDecoder('utf-8');
    const words = new TextDecoder('utf-8');

    const chunks = [];
    let outputLength = 0;
    const preview = new Uint8Array(PREVIEW_BYTES);
    let previewLength = 0;
    const cameras = [];
    const findings = [];
    let counts = {};
    let lastShown = 0;

    const page = {
      output(at, size) {
        const bytes = view(at, size).slice();
        chunks.push(bytes);
        outputLength += bytes.length;
        const take = Math.min(bytes.length, PREVIEW_BYTES - previewLength);
        preview.set(bytes.subarray(0, take), previewLength);
        previewLength += take;
      },
      progress(done) {
        // Messages cost little, but a few hundred are plenty for a bar.
        if (done - lastShown >= length / 200 || done >= length) {
          lastShown = done;
          self.postMessage({ kind: 'progress', done, total: length });
        }
      },
      camera(at, size, x, y, yaw, fov) {
        if (cameras.length < MAP_LIMIT) cameras.push({ name: names.decode(view(at, size)), x, y, yaw, fov });
      },
      // What brivel-check says: where (the column in characters), why, and the
      // line's text around the column, as bytes, with the column's place in them.
      finding(line, column, codeAt, codeSize, wordsAt, wordsSize, excerptAt, excerptSize, mark, whole) {
        if (findings.length < FINDING_LIMIT) {
          findings.push({
            line, column, code: words.decode(view(codeAt, codeSize)), reason: words.decode(view(wordsAt, wordsSize)),
            excerpt: view(excerptAt, excerptSize).slice(), mark: mark >>> 0, startsLine: (whole & 1) !== 0, endsLine: (whole & 2) !== 0,
          });
        }
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
      view(at, length).set(new Uint8Array(input));
      const status = instance.exports.brivel_run(length, windowsText ? 1 : 0);
      self.postMessage({
        kind: 'done', status, output: new Blob(chunks), outputLength,
        preview: preview.slice(0, previewLength), cameras, findings, ...counts,
      });
    } catch (error) {
      self.postMessage({ kind: 'failed', message: String(error && error.message || error) });
    }
  };
}
