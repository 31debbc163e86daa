// The page: takes a camera list (a file chosen or dropped, the example, or
// pasted text), converts it in a worker with the brivel module and shows the
// blocks, the map, the table of cameras and what brivel-check says of the list.
'use strict';

const $ = (id) => document.getElementById(id);
const PREVIEW_BLOCKS = 200;

// brivel_wasm.js and example.js hold their bytes in base64: a page opened from the disk may not fetch a file.
const fromBase64 = (text) => Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
const wasmModule = WebAssembly.compile(fromBase64(BRIVEL_WASM_BASE64));
// The worker's script from its source on this page, for the same reason.
const workerUrl = URL.createObjectURL(new Blob([`(${brivelWorker})((${brivelColumns})())`], { type: 'text/javascript' }));
const columns = brivelColumns();

// The last input, converted again when the line ends change: { input (a Blob), name, note (what
// the page changed in it, if anything) }.
let current = null;
let worker = null;   // the pass under way, if any
let change = null;   // the change of a list to UTF-8 under way, if any (a token)
let output = null;   // the blocks of the last conversion, for the download: a promise of a Blob
let cameras = null;  // its cameras, in typed arrays
let result = null;   // what the last conversion found
let conversions = 0; // conversions begun
let spare = null;    // a worker started ahead of the next pass, which then need not wait for it
let place = null;    // the keyboard's place in the result, given back once it is drawn (see convert)

const count = (n, one, many) => `${n.toLocaleString('en')} ${n === 1 ? one : many}`;
const map = new CameraMap($('map'), $('map-note'), (index, missed) => chosen(index, map, missed), (k) => chosenMiss(k));
const table = new CameraTable($('cameras-section'), (index) => chosen(index, table));
const findings = new FindingsList($('misses-section'));

function entName(inputName) {
  const base = inputName.replace(/\.[^./\\]*$/, '');
  return (base || 'cameras') + '.ent';
}

// The map and the table choose the same camera; the details say which.
function chosen(index, by, missed = false) {
  // While a new result is drawn, the map or the table may show the list before it for a moment:
  // its index would name another camera of the new list.
  if (by.cameras !== cameras) return;
  if (by !== map) map.select(index, { centre: true, tell: false });
  if (by !== table) table.select(index, false);
  if (index < 0) {
    showNoCamera(missed);
    return;
  }
  const c = cameras;
  const fields = [['Name', `"${cameraName(c, index, new TextDecoder('utf-8'))}"`], ['Line', c.line[index]],
    ['Origin', `${c.x[index]} ${c.y[index]} ${c.z[index]}`], ['Angles', `${c.pitch[index]} ${c.yaw[index]} ${c.roll[index]}`],
    ['Fov', c.fov[index]]];
  // Markers drawn one over another show as one.
  const here = samePlace(map.places, c.x[index], c.y[index]);
  if (here > 1) fields.push(['At this x and y', `${count(here, 'camera', 'cameras')} in all (the table lists each)`]);
  showDetails(fields);
}

function showNoCamera(missed = false) {
  const words = missed ? 'No camera there: move the map or zoom in.' : 'No camera chosen.';
  // Said again only when it changes: the region is a live one.
  if ($('camera-details').textContent === words) return;
  const hint = document.createElement('p');
  hint.className = 'hint';
  hint.textContent = words;
  $('camera-details').replaceChildren(hint);
}

function showDetails(fields) {
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
  $('camera-details').replaceChildren(list);
}

// A near miss chosen on the map: its line, and why it gave no camera.
function chosenMiss(k) {
  if (map.cameras !== cameras) return;  // the near misses of the list before (see chosen)
  table.select(-1, false);
  const found = result.findings;
  const i = map.misses.finding[k];
  const entry = libraryFindings(found).entry(i);
  showDetails([['Skipped line', entry.line], ['Column', entry.column], ['x and y read', `${found.x[i]} ${found.y[i]}`],
    ['Why', entry.reason]]);
}

// Progress on the bar; the status line (a live region) only at each new step, so that a screen reader is not flooded.
function showStatus(text, done = null) {
  const row = $('progress-row');
  // Cancel, hidden with the bar as a pass ends, hands the keyboard on rather than dropping it to the
  // page's top: to the download once there is one.
  if (done === null && row.contains(document.activeElement)) ($('result').hidden ? $('choose') : $('download')).focus();
  row.hidden = done === null;
  if (done !== null) $('progress').value = done;
  if ($('status').textContent !== text) $('status').textContent = text;
}

function takeWorker() {
  const taken = spare || new Worker(workerUrl);
  spare = null;
  return taken;
}

// The module run once on a list of the page's making (the example, over and over), in both
// modes, as soon as it is compiled: see brivelWorker's "warm". The worker then waits as the spare.
async function warmUp() {
  const module = await wasmModule;
  const example = fromBase64(BRIVEL_EXAMPLE_BASE64);
  const input = new Blob(Array(500).fill(example));
  const warming = new Worker(workerUrl);
  let left = 2;
  warming.onmessage = (event) => {
    if (event.data.kind !== 'warm' || --left > 0) return;
    if (spare) warming.terminate();
    else spare = warming;
  };
  for (const windowsText of [false, true]) warming.postMessage({ module, input, windowsText, name: 'warm', pass: 'warm' });
}
warmUp();

function stop() {
  if (worker) worker.terminate();
  worker = null;
}

// Runs one pass of the worker over the current input: resolves to its last message. `progress`
// and `cameras` are told of the others. `stalled` is told when nothing has come for a while, and
// again when the pass goes on: a browser may stop handing over a list of gigabytes, or stop
// taking its download, and then a word is better than a bar that never moves.
const STALL_MS = 10000;
function pass(module, kind, { progress = () => {}, cameras = () => {}, stalled = () => {} } = {}) {
  const { input, name } = current;
  const mine = takeWorker();
  worker = mine;
  return new Promise((resolve, reject) => {
    let heard = performance.now();
    let silent = false;
    let done = 0;  // bytes of the list converted
    const watch = setInterval(() => {
      if (worker !== mine) clearInterval(watch);
      else if (!silent && performance.now() - heard > STALL_MS) {
        silent = true;
        stalled(true, done);
      }
    }, 1000);
    mine.onmessage = (event) => {
      heard = performance.now();
      if (silent) {
        silent = false;
        stalled(false, done);
      }
      if (event.data.kind === 'progress') {
        done = event.data.done;
        return progress(event.data);
      }
      if (event.data.kind === 'cameras') {
        cameras(event.data);
        // The buffer goes back, to be filled again.
        mine.postMessage({ kind: 'spare', buffer: event.data.buffer }, [event.data.buffer]);
        return;
      }
      clearInterval(watch);
      mine.terminate();
      if (worker === mine) worker = null;
      if (event.data.kind === 'failed') reject(new Error(event.data.message));
      else resolve(event.data);
    };
    mine.postMessage({ module, input, windowsText: $('windows').checked, name, pass: kind });
  });
}

const megabytes = (n) => (n < 1e6 ? `${(n / 1e3).toFixed(1)} kB` : `${(n / 1e6).toFixed(1)} MB`);
const TOO_LARGE = 'A browser may not manage a list this large; the brivel program converts a list of any size.';

async function convert() {
  if (!current) return;
  change = null;  // a list taken, or converted again, supersedes a change to UTF-8 under way
  stop();
  output = null;
  const module = await wasmModule;
  stop();
  const run = ++conversions;
  const stale = () => run !== conversions;
  delete document.body.dataset.failed;  // of a conversion before
  const { input, name } = current;
  const started = performance.now();
  const n = input.size;
  const size = megabytes(n);
  const sections = ['result', 'map-section', 'cameras-section', 'misses-section'].map($);
  // The keyboard's place, if these hold it (a list dropped while it is in the table): it is given
  // back once they are drawn again, rather than left at the page's top. Kept from a conversion
  // that another took over before drawing: these were hidden, and the keyboard left them, then.
  if (sections.some((section) => section.contains(document.activeElement))) place = document.activeElement;
  for (const section of sections) section.hidden = true;
  $('copied').textContent = '';  // said of the blocks before
  showStatus(`Converting ${name} (${size})…`, 0);
  let found;
  // The cameras for the map and the table. A tab may run out of memory for them on a list of
  // gigabytes: the cameras held until then are shown, and the page says so, while the counts,
  // the findings and the download still cover the whole list.
  let store;
  try {
    store = columns.cameraColumns(n);
  } catch {
    store = columns.cameraColumns(0);
  }
  let full = false;
  let bounds = null;  // of the cameras held, for the map
  try {
    found = await pass(module, 'look', { progress: (message) => {
      if (stale()) return;
      const done = message.done / Math.max(message.total, 1);
      // A long conversion's progress in words too, a tenth at a time, for a screen reader.
      const tenths = performance.now() - started > 1000 ? ` ${Math.floor(done * 10) * 10}%` : '';
      showStatus(`Converting ${name} (${size})…${tenths}`, done);
    }, stalled: (silent, done) => {
      if (!stale() && silent) {
        showStatus(`No progress for ${STALL_MS / 1000} s in converting ${name}, at ${megabytes(done)} of ${size}: the ` +
          `browser has stopped handing the list over. ${TOO_LARGE}`, done / Math.max(n, 1));
      }
    }, cameras: ({ buffer, count, read }) => {
      if (full) return;
      try {
        columns.appendCameras(store, buffer, count, read, n);
      } catch {
        full = true;  // the columns are as they were before this batch
        return;
      }
      const batch = columns.cameraBatch(buffer, count);
      bounds = cameraBounds(batch.x, batch.y, count, bounds);
    } });
  } catch (error) {
    if (stale()) return;
    showStatus(`Could not convert ${name}: ${error.message}`);
    document.body.dataset.failed = error.message;
    return;
  }
  if (stale()) return;
  const seconds = ((performance.now() - started) / 1000).toFixed(2);
  // For a test, or anyone timing a large list: whether the result is still being drawn, how many
  // runs have ended, the last in how long, and where each of its two passes spent its time.
  document.body.dataset.drawing = 'yes';
  document.body.dataset.runs = Number(document.body.dataset.runs || 0) + 1;
  document.body.dataset.seconds = seconds;
  document.body.dataset.lookTiming = JSON.stringify(found.timing);
  delete document.body.dataset.blocksTiming;
  document.body.dataset.outputPending = 'yes';
  found.cameras = store.views('names');
  found.bounds = bounds;
  found.camerasHeld = full ? store.count : null;  // when not all
  // The download and Copy show with the result, and may be clicked while it is drawn: they wait
  // for the blocks, whose pass begins once it is drawn (below).
  let blocksPass;
  let blocksStarted = 0;
  output = new Promise((resolve) => (blocksPass = resolve)).then((blocks) => {
    if (!stale()) document.body.dataset.blocksTiming = JSON.stringify({ ...blocks.timing, wholeMs: performance.now() - blocksStarted });
    if (blocks.outputLength !== found.outputLength) throw new Error(`${name} changed since it was converted: convert it again`);
    return blocks.blob;
  });
  output.catch((error) => !stale() && showStatus(`Could not make the download: ${error.message}`))
    .finally(() => !stale() && delete document.body.dataset.outputPending);
  const drawn = show(found, stale);
  showStatus(`Converted ${name} (${size}) in ${seconds} s: ${$('counts').textContent}.` +
    (full ? ` ${$('held-note').textContent}` : ''));
  await drawn;
  if (stale()) return;
  if (place && document.activeElement === document.body && place.getClientRects().length > 0) place.focus();
  place = null;
  await new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)));
  if (stale()) return;
  delete document.body.dataset.drawing;
  // The blocks for the download, once the result is on the screen: a second pass that
  // writes them rather than holding them all from the first.
  blocksStarted = performance.now();
  let before = '';  // the status the stall's word replaced
  blocksPass(pass(module, 'blocks', { stalled: (silent, done) => {
    if (stale()) return;
    if (!silent) return showStatus(before);
    before = $('status').textContent;
    showStatus(`The download of ${name} has made no progress for ${STALL_MS / 1000} s, at ${megabytes(done)} of ` +
      `${size}: the browser has stopped taking it. ${TOO_LARGE}`);
  } }));
  if (!spare) spare = new Worker(workerUrl);
}

// Stops the conversion under way, or the change of a list to UTF-8 (which leaves the list's
// result as it is, the download's pass included), if any.
function cancel() {
  if ($('progress-row').hidden) return;
  if (change) {
    change = null;
    showStatus(`Cancelled: ${current.name} was not changed to UTF-8.`);
  } else {
    stop();
    ++conversions;
    showStatus(`Cancelled: ${current.name} was not converted.`);
  }
  document.body.dataset.cancelled = Number(document.body.dataset.cancelled || 0) + 1;
  $('choose').focus();
}

// The result, drawn a part at a time, so that no part holds up the page for long. Stops
// if `stale()` (another conversion began meanwhile).
async function show(found, stale) {
  result = found;
  cameras = found.cameras;
  $('counts').textContent = `${count(found.cameraLines, 'camera line', 'camera lines')}, ` +
    `${count(found.skippedLines, 'line', 'lines')} skipped`;
  const held = found.camerasHeld !== null;
  $('held-note').hidden = !held;
  $('held-note').textContent = held ? `The map and the table show the first ${found.camerasHeld.toLocaleString('en')} ` +
    `of the ${count(found.cameraCount, 'camera', 'cameras')}: this tab had no memory for more. The counts, the findings ` +
    'and the download cover the whole list.' : '';
  $('download-name').textContent = entName(current.name);
  showVerdict(found);

  // The start of the blocks: whole blocks, up to a few hundred.
  const text = new TextDecoder('utf-8').decode(found.preview);
  const blockEnd = $('windows').checked ? '}\r\n' : '}\n';
  let end = 0;
  for (let shown = 0; shown < PREVIEW_BLOCKS; ++shown) {
    const next = text.indexOf(blockEnd, end);
    if (next < 0) break;
    end = next + blockEnd.length;
  }
  $('blocks').textContent = text.slice(0, end);
  $('blocks-more').textContent = found.outputLength > found.preview.length || end < text.length
    ? `The start of the blocks; all ${found.outputLength.toLocaleString('en')} bytes are in the download.` : '';
  $('result').hidden = false;

  const nextTask = () => new Promise((resolve) => setTimeout(resolve, 0));
  const cameraCount = cameras.line.length;
  const misses = libraryFindings(found.findings);
  const steps = [
    () => ($('map-section').hidden = false),
    () => ($('cameras-section').hidden = cameraCount === 0),
    // In one step: a camera picked on the map before the table had the cameras would not be
    // chosen there, and the details would be cleared after it.
    () => {
      map.setCameras(cameras, cameraCount, nearMisses(found.findings), found.bounds);
      table.setCameras(cameras, cameraCount);
      showNoCamera();
    },
    // In one step too: shown a step before, the section's export would give the findings before
    // with this list's summary, under its name.
    () => {
      $('misses-section').hidden = misses.count === 0;
      findings.setFindings(misses);
    },
  ];
  for (const step of steps) {
    await nextTask();
    if (stale()) return;
    step();
  }
}

// What the list is as a whole, when that is the first thing to know, and what the page changed
// in it; in Windows text, where a Ctrl-Z ended it.
function showVerdict(found) {
  const box = $('verdict');
  const words = [];
  if (current.note) words.push(current.note);
  if (found.verdictWords) words.push(found.verdictWords);
  const fixable = found.verdict === 'utf16' || found.verdict === 'utf8-byte-order-mark';
  $('verdict-words').textContent = words.join(' ');
  $('as-utf8').hidden = !fixable;
  $('as-utf8').textContent = found.verdict === 'utf16' ? 'Convert it from UTF-16 to UTF-8' : 'Convert it as UTF-8, without the BOM';
  $('save-utf8').hidden = !current.note;
  box.hidden = words.length === 0;
  // The button that changed the list is gone: the keyboard goes on from the one that saves it.
  if (current.note && [document.body, $('as-utf8')].includes(document.activeElement)) $('save-utf8').focus();
  box.dataset.verdict = found.verdict;
  const ctrlZ = ctrlZFinding(found.findings);
  $('ctrl-z-note').hidden = !ctrlZ;
  $('ctrl-z-note').textContent = ctrlZ ? `Line ${ctrlZ.line}, column ${ctrlZ.column}: ${ctrlZ.reason}.` : '';
}

// `pasted`: the text is the paste box's.
function take(input, name, note = '', pasted = false) {
  current = { input, name, note, pasted };
  convert();
}

// The one-click fix for a list that brivel cannot read as it is: the same text as UTF-8,
// without a byte-order mark. It says what it changed.
async function convertAsUtf8() {
  const { input, name } = current;
  const bytes = (n) => `${n.toLocaleString('en')} ${n === 1 ? 'byte' : 'bytes'}`;
  let fixed;
  let note;
  if (result.verdict === 'utf8-byte-order-mark') {
    fixed = input.slice(3);
    // The paste box too, so that converting it again does not bring the mark back.
    if (current.pasted) $('paste').value = $('paste').value.replace(/^\uFEFF/, '');
    note = `The page dropped the byte-order mark (the 3 bytes EF BB BF) from the start of ${name} and changed ` +
      'nothing else. What follows is what brivel gives for the list saved as UTF-8 without a BOM ' +
      `(as after sed '1s/^\\xEF\\xBB\\xBF//' ${name} > ${utf8Name(name)}).`;
  } else {
    // With the bar and Cancel, as a conversion: a list of many megabytes takes seconds.
    const mine = {};
    change = mine;
    const stale = () => change !== mine;
    const words = `Converting ${name} from UTF-16 to UTF-8…`;
    showStatus(words, 0);
    let converted;
    try {
      converted = await utf16ToUtf8(input, (done) => showStatus(words, done / Math.max(input.size, 1)), stale);
    } catch (error) {
      if (!stale()) showStatus(`Could not convert ${name} to UTF-8: ${error.message}`);
      return;
    }
    if (!converted) return;  // cancelled, or another list taken meanwhile
    fixed = converted.blob;
    note = `The page converted ${name} from UTF-16 (${converted.endian}${converted.mark ? ', with a byte-order mark, which it dropped' : ''}) ` +
      `to UTF-8: ${bytes(input.size)} became ${bytes(fixed.size)}, the same text. What follows is what brivel gives ` +
      `for the list saved as UTF-8 (as after iconv -f ${converted.mark ? 'UTF-16' : converted.iconv} -t UTF-8 ${name} > ${utf8Name(name)}).`;
  }
  // Named as saved, so that the findings and downloads are brivel-check's and brivel's on that file.
  take(fixed, utf8Name(name), note);
}

const UTF16_SLICE = 512 << 10;  // bytes of UTF-16 decoded in a step
const utf8Name = (name) => `${name.replace(/\.[^./\\]*$/, '') || 'cameras'}-utf8.txt`;

// UTF-16 text as UTF-8, decoded a part at a time so that the page is never held up for long;
// null if `stale()` after any wait. The byte order is its byte-order mark's, or where the NUL bytes of ASCII
// characters stand. progress(bytes) says how far it is.
async function utf16ToUtf8(blob, progress, stale) {
  const head = new Uint8Array(await blob.slice(0, 64).arrayBuffer());
  const mark = (head[0] === 0xff && head[1] === 0xfe) || (head[0] === 0xfe && head[1] === 0xff);
  let bigEndian = head[0] === 0xfe && head[1] === 0xff;
  if (!mark) {
    let evenZeros = 0;
    for (let i = 0; i < head.length; i += 2) evenZeros += head[i] === 0 ? 1 : 0;
    bigEndian = evenZeros > head.length / 4;
  }
  const label = bigEndian ? 'utf-16be' : 'utf-16le';
  const decoder = new TextDecoder(label, { fatal: true });
  const encoder = new TextEncoder();
  // A part of the stream (2 MB) is decoded a slice at a time (the whole list as one Blob at the
  // end, 35 MB, held the page for 170 ms).
  const parts = new BlobParts();
  const reader = blob.stream().getReader();
  for (let read = 0; ;) {
    const { done, value } = await reader.read();
    if (stale()) {
      reader.cancel();
      return null;
    }
    const bytes = done ? new Uint8Array(0) : value;
    for (let from = 0; from === 0 || from < bytes.length; from += UTF16_SLICE) {
      if (from > 0) await new Promise((resolve) => setTimeout(resolve, 0));
      parts.add(encoder.encode(decoder.decode(bytes.subarray(from, from + UTF16_SLICE), { stream: !done })));
    }
    if (stale()) {
      reader.cancel();
      return null;
    }
    if (done) break;
    read += value.length;
    progress(read);
    await new Promise((resolve) => setTimeout(resolve, 0));
  }
  return { blob: parts.blob(), mark, endian: bigEndian ? 'big-endian' : 'little-endian', iconv: label.toUpperCase() };
}

$('choose').addEventListener('click', () => $('file').click());
$('file').addEventListener('change', (event) => {
  const file = event.target.files[0];
  if (file) take(file, file.name);
  // Choosing the same file again (edited since, perhaps) converts it again.
  event.target.value = '';
});
$('example').addEventListener('click', () => take(new Blob([fromBase64(BRIVEL_EXAMPLE_BASE64)]), 'cameras.txt'));
$('convert-paste').addEventListener('click', () => take(new Blob([$('paste').value]), 'pasted.txt', '', true));
$('windows').addEventListener('change', convert);
$('cancel').addEventListener('click', cancel);
document.addEventListener('keydown', (event) => {
  // Escape that lets go of the map's camera is the map's alone: a change to UTF-8 runs with the
  // map in sight.
  if (event.key === 'Escape' && !event.defaultPrevented) cancel();
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
  if (!output) return;
  const mine = output;
  const before = $('status').textContent;
  const preparing = 'Preparing the download…';
  if (document.body.dataset.outputPending) showStatus(preparing);
  mine.then((blob) => {
    if (output !== mine) return;  // another list taken meanwhile
    saveAs(blob, entName(current.name));
    if ($('status').textContent === preparing) showStatus(before);
  }, (error) => output === mine && showStatus(`Could not make the download: ${error.message}`));
});

$('misses-export').addEventListener('click', async () => {
  const name = entName(current.name).replace(/\.ent$/, '-check.txt');
  const blob = await findings.exportBlob(result.summary);
  if (blob) saveAs(blob, name);
});
$('as-utf8').addEventListener('click', convertAsUtf8);
$('save-utf8').addEventListener('click', () => saveAs(current.input, current.name));

$('map-zoom-in').addEventListener('click', () => map.zoom(1.5));
$('map-zoom-out').addEventListener('click', () => map.zoom(1 / 1.5));
$('map-fit').addEventListener('click', () => map.fit());

// Whether `text` went to the clipboard.
async function copyText(text) {
  try {
    await navigator.clipboard.writeText(text);
    return true;
  } catch {
    // Without the clipboard interface (an older browser), through a selected text area.
    const area = document.createElement('textarea');
    area.value = text;
    document.body.append(area);
    area.select();
    const copied = document.execCommand('copy');
    area.remove();
    return copied;
  }
}

let copiedShown = null;  // the timer that clears 'copied'
$('copy').addEventListener('click', async () => {
  if (!output) return;
  const mine = output;
  // Said only while these blocks are shown: not beside another list's, taken meanwhile.
  const say = (words) => output === mine && ($('copied').textContent = words);
  clearTimeout(copiedShown);
  $('copied').textContent = '';
  let blob;
  try {
    blob = await output;
  } catch (error) {
    say(`not copied: ${error.message}.`);
    return;
  }
  let text;
  try {
    // The clipboard holds text: bytes that are not UTF-8 (a name in Latin-1, say) would be
    // changed on the way, so such blocks are not copied at all.
    text = new TextDecoder('utf-8', { fatal: true }).decode(await blob.arrayBuffer());
  } catch (error) {
    if (error instanceof TypeError) {
      say('not copied: the blocks hold bytes that are not UTF-8 text, which the clipboard ' +
        'would change. Download them instead.');
      return;
    }
    // Blocks of more than about half a gigabyte are more than a string can hold: as below.
  }
  if (output !== mine) return;  // nor copied
  if (text === undefined || !(await copyText(text))) {
    say('not copied: the browser refused, or the blocks are too large for the clipboard. Download them instead.');
    return;
  }
  if (!say('copied')) return;
  copiedShown = setTimeout(() => ($('copied').textContent = ''), 2000);
});
