// The page: takes a camera list (a file chosen or dropped, or pasted text),
// converts it in a worker with the brivel module and shows the blocks, the
// map and what brivel-check says of the list.
'use strict';

const $ = (id) => document.getElementById(id);
const PREVIEW_BLOCKS = 200;

// brivel_wasm.js holds the module in base64: a page opened from the disk may not fetch a file.
const wasmModule = WebAssembly.compile(Uint8Array.from(atob(BRIVEL_WASM_BASE64), (c) => c.charCodeAt(0)));
// The worker's script from its source on this page, for the same reason.
const workerUrl = URL.createObjectURL(new Blob([`(${brivelWorker})()`], { type: 'text/javascript' }));

let current = null;  // { bytes, name }: the last input, converted again when the line ends change
let worker = null;
let output = null;   // the blocks of the last conversion, a Blob

function entName(inputName) {
  const base = inputName.replace(/\.[^./\\]*$/, '');
  return (base || 'cameras') + '.ent';
}

function showProgress(done, total, text) {
  $('progress-row').hidden = false;
  $('progress').value = total > 0 ? done / total : 1;
  $('status').textContent = text;
}

async function convert() {
  if (!current) return;
  if (worker) worker.terminate();
  const windowsText = $('windows').checked;
  const started = performance.now();
  const n = current.bytes.byteLength;
  const size = n < 1e6 ? `${(n / 1e3).toFixed(1)} kB` : `${(n / 1e6).toFixed(1)} MB`;
  showProgress(0, 1, `converting ${current.name} (${size})`);
  worker = new Worker(workerUrl);
  worker.onmessage = (event) => {
    const message = event.data;
    if (message.kind === 'progress') {
      showProgress(message.done, message.total, `converting ${current.name} (${size})`);
    } else if (message.kind === 'done') {
      const seconds = ((performance.now() - started) / 1000).toFixed(2);
      showProgress(1, 1, `converted ${current.name} (${size}) in ${seconds} s`);
      worker.terminate();
      worker = null;
      show(message);
      // For a test, or anyone timing a large list: how many runs have ended, the last in how long.
      document.body.dataset.runs = Number(document.body.dataset.runs || 0) + 1;
      document.body.dataset.seconds = seconds;
    } else {
      showProgress(0, 1, `could not convert ${current.name}: ${message.message}`);
      document.body.dataset.failed = message.message;
    }
  };
  worker.postMessage({ module: await wasmModule, input: current.bytes, windowsText });
}

function show(result) {
  output = result.output;
  const lines = (n, one, many) => `${n.toLocaleString('en')} ${n === 1 ? one : many}`;
  $('counts').textContent = `${lines(result.cameraLines, 'camera line', 'camera lines')}, ` +
    `${lines(result.skippedLines, 'line', 'lines')} skipped`;
  $('download-name').textContent = entName(current.name);

  // The start of the blocks: whole blocks, up to a few hundred.
  const text = new TextDecoder('utf-8').decode(result.preview);
  const blockEnd = $('windows').checked ? '}\r\n' : '}\n';
  let end = 0;
  for (let shown = 0; shown < PREVIEW_BLOCKS; ++shown) {
    const next = text.indexOf(blockEnd, end);
    if (next < 0) break;
    end = next + blockEnd.length;
  }
  $('blocks').textContent = text.slice(0, end);
  $('blocks-more').textContent = result.outputLength > result.preview.length || end < text.length
    ? `The start of the blocks; all ${result.outputLength.toLocaleString('en')} bytes are in the download.` : '';
  $('result').hidden = false;

  drawMap($('map'), result.cameras);
  $('map-note').textContent = result.cameraCount > result.cameras.length
    ? `The map shows the first ${result.cameras.length.toLocaleString('en')} of ${result.cameraCount.toLocaleString('en')} cameras.` : '';
  $('map-section').hidden = false;

  showFindings(result.findings, result.findingCount);
}

// The bytes of the UTF-8 character at `at`.
function characterEnd(bytes, at) {
  const lead = bytes[at];
  let end = at + 1 + (lead >= 0xf0 && lead <= 0xf4 ? 3 : lead >= 0xe0 && lead <= 0xef ? 2 : lead >= 0xc2 && lead <= 0xdf ? 1 : 0);
  for (let i = at + 1; i < end; ++i) if (i >= bytes.length || (bytes[i] & 0xc0) !== 0x80) end = i;
  return end;
}

function showFindings(findings, count) {
  const list = $('misses');
  list.replaceChildren();
  const utf8 = new TextDecoder('utf-8');
  for (const finding of findings) {
    // The line around the column, with the character at the column marked (or the end of the line).
    const { excerpt, mark: at } = finding;
    const item = document.createElement('li');
    const where = document.createElement('div');
    where.className = 'where';
    where.textContent = `line ${finding.line}, column ${finding.column}`;
    const code = document.createElement('code');
    const mark = document.createElement('mark');
    code.append((finding.startsLine ? '' : '\u2026') + utf8.decode(excerpt.subarray(0, at)), mark);
    if (at < excerpt.length) {
      const next = characterEnd(excerpt, at);
      mark.textContent = utf8.decode(excerpt.subarray(at, next));
      code.append(utf8.decode(excerpt.subarray(next)));
    } else {
      mark.className = 'end';
    }
    if (!finding.endsLine) code.append('\u2026');
    const reason = document.createElement('div');
    reason.className = 'reason';
    reason.textContent = finding.reason;
    item.append(where, code, reason);
    list.append(item);
  }
  $('misses-more').textContent = count > findings.length ? `The first ${findings.length} of ${count} findings.` : '';
  $('misses-section').hidden = count === 0;
}

function take(bytes, name) {
  current = { bytes, name };
  convert();
}

async function takeFile(file) {
  if (file) take(await file.arrayBuffer(), file.name);
}

$('file').addEventListener('change', async (event) => {
  await takeFile(event.target.files[0]);
  // Choosing the same file again (edited since, perhaps) converts it again.
  event.target.value = '';
});
$('convert-paste').addEventListener('click', () => {
  take(new TextEncoder().encode($('paste').value).buffer, 'pasted.txt');
});
$('windows').addEventListener('change', convert);

// A file dropped anywhere on the page.
const zone = $('drop-zone');
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  zone.classList.add('over');
});
document.addEventListener('dragleave', () => zone.classList.remove('over'));
document.addEventListener('drop', (event) => {
  event.preventDefault();
  zone.classList.remove('over');
  takeFile(event.dataTransfer.files[0]);
});

$('download').addEventListener('click', () => {
  if (!output) return;
  const link = document.createElement('a');
  link.href = URL.createObjectURL(output);
  link.download = entName(current.name);
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
});

$('copy').addEventListener('click', async () => {
  if (!output) return;
  const text = await output.text();
  try {
    await navigator.clipboard.writeText(text);
  } catch {
    // Without the clipboard interface (an older browser), through a selected text area.
    const area = document.createElement('textarea');
    area.value = text;
    document.body.append(area);
    area.select();
    document.execCommand('copy');
    area.remove();
  }
  $('copied').textContent = 'copied';
  setTimeout(() => ($('copied').textContent = ''), 2000);
});
