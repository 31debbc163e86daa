// The page: takes a camera list (a file chosen or dropped, the example, or
// pasted text), converts it in a worker with the brivel module and shows the
// blocks, the map, the table of cameras and what brivel-check says of the list.
'use strict';

const $ = (id) => document.getElementById(id);
const PREVIEW_BLOCKS = 200;

// brivel_wasm.js and example.js hold their bytes in base64: a page opened from the disk may not fetch a file.
const fromBase64 = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
const wasmModule = WebAssembly.compile(fromBase64(BRIVEL_WASM_BASE64));
// The workers' scripts from their source on this page, for the same reason.
const scriptUrl = (source) => URL.createObjectURL(new Blob([`(${source})()`], { type: 'text/javascript' }));
const workerUrl = scriptUrl(brivelWorker);
const collectorUrl = scriptUrl(brivelCollector);

let current = null;  // { input (a Blob), name }: the last input, converted again when the line ends change
let worker = null;   // the conversion under way, if any: { converter, collector }
let output = null;   // the blocks of the last conversion: a promise of a Blob
let cameras = null;  // its cameras, in typed arrays
let conversions = 0; // conversions begun

const count = (n, one, many) => `${n.toLocaleString('en')} ${n === 1 ? one : many}`;
const map = new CameraMap($('map'), $('map-note'), (index, missed) => chosen(index, map, missed));
const table = new CameraTable($('cameras-section'), (index) => chosen(index, table));
const findings = new FindingsList($('misses-section'));

function entName(inputName) {
  const base = inputName.replace(/\.[^./\\]*$/, '');
  return (base || 'cameras') + '.ent';
}

// The map and the table choose the same camera; the details say which.
function chosen(index, by, missed = false) {
  if (by !== map) map.select(index, { centre: true, tell: false });
  if (by !== table) table.select(index, false);
  const details = $('camera-details');
  if (index < 0) {
    details.innerHTML = `<p class="hint">${missed ? 'No camera there: move the map or zoom in.' : 'No camera chosen.'}</p>`;
    return;
  }
  const c = cameras;
  const fields = [['Name', `"${cameraName(c, index, new TextDecoder('utf-8'))}"`], ['Line', c.line[index]],
    ['Origin', `${c.x[index]} ${c.y[index]} ${c.z[index]}`], ['Angles', `${c.pitch[index]} ${c.yaw[index]} ${c.roll[index]}`],
    ['Fov', c.fov[index]]];
  const list = document.createElement('dl');
  for (const [name, value] of fields) {
    const pair = document.createElement('div');
    const term = document.createElement('dt');
    const data = document.createElement('dd');
    term.textContent = name;
    data.textContent = value;
    pair.append(term, data);
    list.append(pair);
  }
  details.replaceChildren(list);
}

// Progress on the bar; the status line (a live region) only at each new step, so that a screen reader is not flooded.
function showStatus(text, done = null) {
  $('progress-row').hidden = done === null;
  if (done !== null) $('progress').value = done;
  if ($('status').textContent !== text) $('status').textContent = text;
}

function stop() {
  if (worker) {
    worker.converter.terminate();
    worker.collector.terminate();
  }
  worker = null;
}

async function convert() {
  if (!current) return;
  stop();
  const module = await wasmModule;
  stop();
  const run = ++conversions;
  const { input, name } = current;
  const windowsText = $('windows').checked;
  const started = performance.now();
  const n = input.size;
  const size = n < 1e6 ? `${(n / 1e3).toFixed(1)} kB` : `${(n / 1e6).toFixed(1)} MB`;
  for (const id of ['result', 'map-section', 'cameras-section', 'misses-section']) $(id).hidden = true;
  showStatus(`Reading ${name} (${size})…`, 0);
  const mine = { converter: new Worker(workerUrl), collector: new Worker(collectorUrl) };
  worker = mine;
  // The blocks go from the converter to the collector. The page shows the rest of the result
  // as soon as the converter is done, while the collector may still be making the Blob.
  const blocks = new MessageChannel();
  mine.collector.postMessage(blocks.port2, [blocks.port2]);
  const blob = new Promise((resolve) => (mine.collector.onmessage = (event) => resolve(event.data)));
  mine.converter.onmessage = async (event) => {
    if (worker !== mine) return;
    const message = event.data;
    if (message.kind === 'progress') {
      const reading = message.phase === 'reading';
      showStatus(`${reading ? 'Reading' : 'Converting'} ${name} (${size})…`,
        (reading ? 0 : 0.1) + (reading ? 0.1 : 0.9) * (message.done / Math.max(message.total, 1)));
    } else if (message.kind === 'done') {
      mine.converter.terminate();
      mine.done = true;
      output = blob;
      document.body.dataset.outputPending = 'yes';
      // The collector stays until the next conversion: the Blob's bytes may still be on their way from it.
      blob.then(() => {
        if (worker === mine) delete document.body.dataset.outputPending;
      });
      const seconds = ((performance.now() - started) / 1000).toFixed(2);
      // For a test, or anyone timing a large list: whether the result is still being drawn, how many
      // runs have ended, the last in how long.
      document.body.dataset.drawing = 'yes';
      show(message, () => run !== conversions).then(() => {
        requestAnimationFrame(() => requestAnimationFrame(() => delete document.body.dataset.drawing));
      });
      showStatus(`Converted ${name} (${size}) in ${seconds} s: ${$('counts').textContent}.`);
      document.body.dataset.runs = Number(document.body.dataset.runs || 0) + 1;
      document.body.dataset.seconds = seconds;
    } else {
      stop();
      showStatus(`Could not convert ${name}: ${message.message}`);
      document.body.dataset.failed = message.message;
    }
  };
  mine.converter.postMessage({ module, input, windowsText, collector: blocks.port1 }, [blocks.port1]);
}

function cancel() {
  if (!worker || worker.done) return;
  stop();
  showStatus(`Cancelled: ${current.name} was not converted.`);
  document.body.dataset.cancelled = Number(document.body.dataset.cancelled || 0) + 1;
  $('choose').focus();
}

// The result, drawn a part at a time, so that no part holds up the page for long. Stops
// if `stale()` (another conversion began meanwhile).
async function show(result, stale) {
  cameras = result.cameras;
  $('counts').textContent = `${count(result.cameraLines, 'camera line', 'camera lines')}, ` +
    `${count(result.skippedLines, 'line', 'lines')} skipped`;
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

  const nextTask = () => new Promise((resolve) => setTimeout(resolve, 0));
  const cameraCount = cameras.line.length;
  const misses = libraryFindings(result.findings);
  const steps = [
    () => ($('map-section').hidden = false),
    () => map.setCameras(cameras, cameraCount),
    () => ($('cameras-section').hidden = cameraCount === 0),
    () => table.setCameras(cameras, cameraCount),
    () => chosen(-1, null),
    () => ($('misses-section').hidden = misses.count === 0),
    () => findings.setFindings(misses),
  ];
  for (const step of steps) {
    await nextTask();
    if (stale()) return;
    step();
  }
}

function take(input, name) {
  current = { input, name };
  convert();
}

$('choose').addEventListener('click', () => $('file').click());
$('file').addEventListener('change', (event) => {
  const file = event.target.files[0];
  if (file) take(file, file.name);
  // Choosing the same file again (edited since, perhaps) converts it again.
  event.target.value = '';
});
$('example').addEventListener('click', () => take(new Blob([fromBase64(BRIVEL_EXAMPLE_BASE64)]), 'cameras.txt'));
$('convert-paste').addEventListener('click', () => take(new Blob([$('paste').value]), 'pasted.txt'));
$('windows').addEventListener('change', convert);
$('cancel').addEventListener('click', cancel);
document.addEventListener('keydown', (event) => {
  if (event.key === 'Escape') cancel();
});

// A file dropped anywhere on the page; text dropped on the paste box goes in as text.
const zone = $('drop-zone');
const carriesFiles = (event) => [...event.dataTransfer.types].includes('Files');
document.addEventListener('dragover', (event) => {
  if (!carriesFiles(event)) return;
  event.preventDefault();
  zone.classList.add('over');
});
document.addEventListener('dragleave', () => zone.classList.remove('over'));
document.addEventListener('drop', (event) => {
  zone.classList.remove('over');
  if (!carriesFiles(event)) return;
  event.preventDefault();
  const file = event.dataTransfer.files[0];
  if (file) take(file, file.name);
});

function saveAs(blob, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

$('download').addEventListener('click', () => {
  if (output) output.then((blob) => saveAs(blob, entName(current.name)));
});

$('misses-export').addEventListener('click', async () => {
  const blob = await findings.exportBlob();
  if (blob) saveAs(blob, entName(current.name).replace(/\.ent$/, '-skipped.txt'));
});

$('map-zoom-in').addEventListener('click', () => map.zoom(1.5));
$('map-zoom-out').addEventListener('click', () => map.zoom(1 / 1.5));
$('map-fit').addEventListener('click', () => map.fit());

$('copy').addEventListener('click', async () => {
  if (!output) return;
  const text = await (await output).text();
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
