// The page in a real browser: Debian's Chromium, headless, driven by
// playwright-core. Opens <build>/page/index.html from the disk and
//  - goes through it by keyboard alone (no mouse event at all): chooses
//    examples/cameras.txt with the button, downloads, inspects a camera in the
//    table and on the map, reads a finding;
//  - compares downloads, and the blocks shown, byte for byte with what brivel
//    writes (the one in BRIVEL_PROGRAMS, or in <build>), in both line-end
//    modes: the example, a Windows-style list, a list ending in a lone CR, one
//    without a final line feed, and a list of 15 MB;
//  - checks that the page's findings are brivel-check's, word for
//    word, in both modes;
//  - clicks a map marker and checks it against its line; cancels a conversion;
//  - runs the axe-core audit (WCAG 2.1 A and AA) and checks the page at 320 px,
//    with text spaced out and in forced colours;
//  - prints the longest main-thread task while a large result is drawn (a
//    figure, not a check).
//
//   node tests/web/page_test.mjs BUILD_DIR [--screenshot FILE]
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');
const [buildArg, ...rest] = process.argv.slice(2);
if (!buildArg) {
  console.error('usage: node tests/web/page_test.mjs BUILD_DIR [--screenshot FILE]');
  process.exit(2);
}
const build = path.resolve(buildArg);
const screenshot = rest[0] === '--screenshot' ? path.resolve(rest[1]) : null;
// The native programs the page is compared with: BRIVEL_PROGRAMS, or the page's build.
const programs = path.resolve(process.env.BRIVEL_PROGRAMS || build);
const brivel = path.join(programs, 'brivel');
const brivelCheck = path.join(programs, 'brivel-check');
const site = path.join(build, 'page');
const pageUrl = pathToFileURL(path.join(site, 'index.html')).href;

let failures = 0;
function check(label, ok, detail = '') {
  console.log(`${ok ? 'ok' : 'FAILED'}: ${label}${ok || !detail ? '' : `\n  ${detail}`}`);
  if (!ok) failures += 1;
}
function sameBytes(label, got, expected) {
  const at = got.findIndex((byte, i) => byte !== expected[i]);
  check(label, got.length === expected.length && at < 0,
    `${got.length} bytes, expected ${expected.length}; first difference at byte ${at < 0 ? Math.min(got.length, expected.length) : at}`);
}

// What the command line writes, and what the Windows program writes: it reads
// CR LF as LF and stops at a Ctrl-Z, and writes every LF as CR LF.
const linux = (input) => execFileSync(brivel, { input, maxBuffer: 1 << 30 });
const crlf = (bytes) => Buffer.from(bytes.toString('latin1').replace(/\n/g, '\r\n'), 'latin1');
const windows = (input) => {
  const text = input.toString('latin1');
  const end = text.indexOf('\x1a');
  return crlf(linux(Buffer.from((end < 0 ? text : text.slice(0, end)).replace(/\r\n/g, '\n'), 'latin1')));
};

// What brivel-check says of a list: "line L, column C: reason" for each finding.
const checked = (input, windowsText) => spawnSync(brivelCheck, ['--format=json', ...(windowsText ? ['--windows-text'] : [])], { input })
  .stdout.toString('utf8').split('\n').filter((line) => line).map((line) => JSON.parse(line))
  .filter((o) => o.kind === 'finding').map((o) => `line ${o.line}, column ${o.column}: ${o.message}`);
// What brivel-check prints for a list saved as `name` (in the GNU format, the page's export).
function printed(name, input, windowsText) {
  const folder = fs.mkdtempSync(path.join(scratch, 'check-'));
  fs.writeFileSync(path.join(folder, name), input);
  return spawnSync(brivelCheck, [...(windowsText ? ['--windows-text'] : []), name], { cwd: folder, maxBuffer: 1 << 30 }).stdout;
}

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'brivel-page-test-'));
const examplePath = path.join(root, 'examples/cameras.txt');
const example = fs.readFileSync(examplePath);
const latin1 = (text) => Buffer.from(text, 'latin1');
// CR LF line ends, a CR LF split over no line end ("\r" alone), and a line after a Ctrl-Z.
const windowsStyle = latin1(example.toString('latin1').replace(/\n/g, '\r\n') +
  '"lone cr"\r x=1 y=2 z=3 pitch=4 yaw=5 roll=6\r\n\x1a\r\n"after ctrl-z" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\r\n');
const endings = [
  ['ends in a lone CR', latin1(example + '"last" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\r')],
  ['has no final line feed', latin1(example + '"last" x=1 y=2 z=3 pitch=4 yaw=5 roll=6 fov=7')],
];
// 15 MB: 150,000 cameras, 100,000 near misses (250 named "odd"), comments, some CR LF lines.
function largeList() {
  const lines = [];
  for (let i = 0; i < 250000; ++i) {
    const n = (i * 7919) % 100003;
    if (i % 5 < 3) {
      lines.push(`"cam ${i}" x=${(n % 4001) - 2000} y=${((n * 13) % 3001) - 1500} z=${n % 97} pitch=${(n % 181) - 90} ` +
        `yaw=${n % 360} roll=0${i % 3 ? ` fov=${50 + (n % 60)}` : ''}${i % 11 ? '\n' : '\r\n'}`);
    } else {
      lines.push(`"${i % 1000 === 3 ? 'odd' : 'near'} ${i}" x=${n} y=${n}${i % 2 ? '\n' : ' z=\n'}`);
    }
    if (i % 9 === 0) lines.push(`# comment ${i}\n`);
  }
  return latin1(lines.join(''));
}

// `setUp`, if given, runs in the page before its scripts.
async function launch(width, height, setUp = null) {
  const profile = fs.mkdtempSync(path.join(scratch, 'profile-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: { width, height },
    acceptDownloads: true,
  });
  const page = context.pages()[0] || (await context.newPage());
  // Catch file choosers from the start: enabling it as a chooser opens would race with the opening.
  page.on('filechooser', () => {});
  const errors = [];
  const requests = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('request', (request) => requests.push(request.url()));
  await page.addInitScript(() => {
    window.mouseEvents = [];
    for (const type of ['mousedown', 'mouseup', 'pointerdown', 'pointerup', 'wheel', 'dblclick', 'contextmenu']) {
      addEventListener(type, () => window.mouseEvents.push(type), true);
    }
    window.longTasks = [];
    new PerformanceObserver((found) => window.longTasks.push(...found.getEntries().map((e) => e.duration)))
      .observe({ type: 'longtask', buffered: true });
  });
  if (setUp) await page.addInitScript(setUp);
  await page.goto(pageUrl);

  const runs = () => page.evaluate(() => Number(document.body.dataset.runs || 0));
  // Runs `action` and waits until the conversion it starts has been drawn.
  async function converted(action) {
    const before = await runs();
    await action();
    await page.waitForFunction((n) => (Number(document.body.dataset.runs || 0) > n && !document.body.dataset.drawing) ||
      document.body.dataset.failed, before, { timeout: 120000, polling: 20 });
    const failed = await page.evaluate(() => document.body.dataset.failed);
    if (failed) throw new Error('the page could not convert: ' + failed);
  }
  async function download(action = () => page.click('#download')) {
    const [file] = await Promise.all([page.waitForEvent('download'), action()]);
    return { name: file.suggestedFilename(), bytes: fs.readFileSync(await file.path()) };
  }
  const choose = (file) => converted(() => page.setInputFiles('#file', file));
  const setWindows = (on) => converted(() => page.setChecked('#windows', on));
  const drop = (name, bytes) => converted(() => page.evaluate(([name, bytes]) => {
    const data = new DataTransfer();
    data.items.add(new File([new Uint8Array(bytes)], name));
    document.getElementById('drop-zone').dispatchEvent(new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true }));
  }, [name, [...bytes]]));
  const text = (selector) => page.locator(selector).innerText();
  // The findings' rows have their place in the list; the row the list measures, out of sight, has none.
  const findings = () => page.$$eval('#misses li[aria-posinset]', (items) => items.map((item) =>
    `${item.querySelector('.where').textContent}: ${item.querySelector('.reason').textContent}`));
  async function saysWhatBrivelCheckSays(label, input, windowsText) {
    const got = await findings();
    const want = checked(input, windowsText);
    check(`${label}: the page's findings are brivel-check's (${want.length})`,
      JSON.stringify(got) === JSON.stringify(want), `page: ${JSON.stringify(got)}\n  brivel-check: ${JSON.stringify(want)}`);
  }
  // The export compared with what brivel-check prints for the list, saved under the page's name for it.
  async function exportsWhatBrivelCheckPrints(label, name, input, windowsText) {
    const got = await download(() => page.click('#misses-export'));
    sameBytes(`${label}: the export is what brivel-check prints for it`, got.bytes, printed(name, input, windowsText));
  }
  return { context, page, errors, requests, runs, converted, download, choose, setWindows, drop, text, saysWhatBrivelCheckSays,
    exportsWhatBrivelCheckPrints };
}

// Both downloads of one list, compared with brivel's output in both modes, and the blocks the
// page shows: whole blocks, the download's first.
async function bothModes(b, label, bytes) {
  for (const [windowsText, mode, blocks] of [[false, 'Linux line ends, as brivel < the list', linux(bytes)],
    [true, 'Windows line ends, as the Windows program', windows(bytes)]]) {
    if (windowsText) await b.setWindows(true);
    sameBytes(`${label}: ${mode}`, (await b.download()).bytes, blocks);
    const status = await b.text('#status');
    check(`${label}: ${mode}: once the download is made, the status says what was converted`, /^Converted /.test(status), status);
    const shown = Buffer.from(await b.page.locator('#blocks').textContent());
    check(`${label}: ${mode}: the page shows its first whole blocks`, shown.length > 0 &&
      blocks.subarray(0, shown.length).equals(shown) && (shown.length === blocks.length || blocks[shown.length] === 0x7b));
  }
  await b.setWindows(false);
}

async function audit(page, label) {
  await page.addScriptTag({ path: path.join(here, 'node_modules/axe-core/axe.min.js') });
  const found = await page.evaluate(() => window.axe.run(document, {
    runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'] },
  }));
  const violations = found.violations.map((v) => `${v.id} (${v.impact}): ${v.help}; ` +
    v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(', '));
  check(`${label}: the axe-core audit (WCAG 2.1 A and AA) finds no violation (${found.passes.length} rules passed)`,
    violations.length === 0, violations.join('\n  '));
}

try {
  console.log('--- the page\'s folder');
  const html = fs.readFileSync(path.join(site, 'index.html'), 'latin1');
  const files = fs.readdirSync(site);
  const stray = files.filter((file) => file !== 'index.html' && !html.includes(`"${file}"`));
  check('the folder holds the page\'s files alone, each named by index.html', stray.length === 0, stray.join(' '));
  check('a favicon', files.some((file) => /^favicon\./.test(file)) && /rel="icon"/.test(html));
  const leaks = files.filter((file) => fs.readFileSync(path.join(site, file), 'latin1').includes(root));
  check('no file names the build machine\'s folders', leaks.length === 0, leaks.join(' '));

  let b = await launch(1000, 900);
  const { page } = b;

  console.log('--- by keyboard alone: choose, convert, download, inspect a camera, read a finding');
  const order = [];
  async function tabTo(id, backwards = false) {
    for (let presses = 0; presses < 60; ++presses) {
      await page.keyboard.press(backwards ? 'Shift+Tab' : 'Tab');
      const focus = await page.evaluate(() => {
        const element = document.activeElement;
        const style = getComputedStyle(element);
        return { id: element.id || element.textContent.trim(), outline: style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) >= 2 };
      });
      order.push(focus.id);
      if (!focus.outline) check(`the focus on ${focus.id} is visible`, false, 'no outline');
      if (focus.id === id) return;
    }
    throw new Error(`Tab never reached #${id}`);
  }
  await tabTo('choose');
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.keyboard.press('Enter')]);
  await b.converted(() => chooser.setFiles(examplePath));
  check('7 camera lines, 10 lines skipped', (await b.text('#counts')) === '7 camera lines, 10 lines skipped');
  const status = await b.text('#status');
  check('the status, a live region, says so', /^Converted cameras.txt .*: 7 camera lines, 10 lines skipped\.$/.test(status) &&
    (await page.getAttribute('#status', 'role')) === 'status', status);
  await tabTo('download');
  check('the button is the first stop, then the example, the paste box, its button, the line ends, the download',
    order.join(' ') === 'choose example paste convert-paste windows download', order.join(' '));
  let got = await b.download(() => page.keyboard.press('Enter'));
  check('the download is named cameras.ent', got.name === 'cameras.ent', got.name);
  sameBytes('the download is what brivel < examples/cameras.txt writes', got.bytes, linux(example));
  await tabTo('camera-rows');
  await page.keyboard.press('ArrowDown');
  let details = await b.text('#camera-details');
  check('Down in the table chooses the first camera: its name, line and fields',
    /Name:?\s*"gate"/.test(details) && /Line:?\s*4\b/.test(details) && /Origin:?\s*10 -4 96/.test(details) &&
    /Angles:?\s*0 180 0/.test(details) && /Fov:?\s*75/.test(details), details);
  for (let i = 0; i < 3; ++i) await page.keyboard.press('ArrowDown');
  await tabTo('map', true);
  await page.keyboard.press('Escape');
  check('Escape on the map lets go of the camera', /No camera chosen/.test(await b.text('#camera-details')));
  await page.keyboard.press('Enter');
  details = await b.text('#camera-details');
  check('Enter on the map picks the camera at the cross, where the table\'s choice put it',
    /"crane cab"/.test(details) && /Line:?\s*7\b/.test(details) && /Origin:?\s*1200 -880 640/.test(details), details);
  const inView = () => page.evaluate(() => Number(document.getElementById('map').dataset.inView));
  await page.keyboard.press('0');
  await page.waitForTimeout(100);
  const all = await inView();
  for (let i = 0; i < 6; ++i) await page.keyboard.press('+');
  await page.keyboard.press('ArrowLeft');
  await page.waitForTimeout(100);
  const zoomed = await inView();
  await page.keyboard.press('0');
  await page.waitForTimeout(100);
  check('0 fits all 7 cameras in; + zooms in to fewer; 0 again fits them all', all === 7 && zoomed < 7 && (await inView()) === 7,
    `${all}, ${zoomed}`);
  // Every camera comes within reach of the cross by the arrows' steps, as "dock 3" does here.
  for (const key of [...Array(4).fill('ArrowRight'), ...Array(4).fill('ArrowDown'), 'Enter']) await page.keyboard.press(key);
  details = await b.text('#camera-details');
  check('from there, four steps right and four down, Enter picks "dock 3"', /"dock 3"/.test(details), details);
  await tabTo('misses');
  const market = await b.text('#misses li[aria-posinset]:nth-child(2)');
  check('the findings: the second is line 16, its line with the column marked (its end, said as such), and why',
    /line 16, column 21/.test(market) && /z is missing after y=200/.test(market) &&
    (await b.text('#misses li[aria-posinset]:nth-child(2) code')) === '"market" x=100 y=200' &&
    (await page.locator('#misses li[aria-posinset]:nth-child(2) mark.end').count()) === 1 &&
    /- mark: end of line/.test(await page.locator('#misses li[aria-posinset]:nth-child(2)').ariaSnapshot()), market);
  check('exactly 3 findings in examples/cameras.txt', (await b.text('#misses-section .count')) === '3 findings');
  const mouse = await page.evaluate(() => window.mouseEvents);
  check('no mouse event on the way', mouse.length === 0, mouse.join(' '));

  await b.saysWhatBrivelCheckSays('examples/cameras.txt', example, false);
  await b.exportsWhatBrivelCheckPrints('examples/cameras.txt', 'cameras.txt', example, false);
  await audit(page, 'after converting the example');

  console.log('--- Copy');
  await b.context.grantPermissions(['clipboard-read', 'clipboard-write']);
  const copied = async () => {
    await page.click('#copy');
    await page.waitForFunction(() => document.getElementById('copied').textContent !== '');
    return b.text('#copied');
  };
  const said = await copied();
  const clipboard = await page.evaluate(() => navigator.clipboard.readText());
  check('Copy puts the blocks on the clipboard, as brivel writes them', said === 'copied' &&
    clipboard === linux(example).toString('latin1'), `${said}: ${JSON.stringify(clipboard.slice(0, 80))}`);
  await b.drop('latin1.txt', latin1('"caf\xe9" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n'));
  const notText = await copied();
  check('blocks that are not UTF-8 text are not copied (the clipboard would change them), and the page says why',
    /^not copied: the blocks hold bytes that are not UTF-8 text/.test(notText), notText);
  await b.converted(() => page.click('#example'));
  await page.evaluate(() => {
    navigator.clipboard.writeText = () => Promise.reject(new Error('refused'));
    document.execCommand = () => false;
  });
  const refused = await copied();
  await page.waitForTimeout(2500);
  check('a copy the browser refuses is said, and stays said, not taken for done',
    /^not copied/.test(refused) && (await b.text('#copied')) === refused, `${refused}; then ${await b.text('#copied')}`);
  await b.converted(() => page.click('#example'));
  const stale = [await b.text('#copied')];
  // A copy that ends once the next list is shown, as a clipboard slow to take blocks of many MB ends.
  await page.evaluate(() => (navigator.clipboard.writeText = () => new Promise((resolve) => setTimeout(resolve, 1000))));
  await page.click('#copy');
  await b.converted(() => page.click('#example'));
  await page.waitForTimeout(1200);
  stale.push(await b.text('#copied'));
  check('what a copy of one list came to is not said beside the next list\'s blocks', stale.every((said) => said === ''),
    stale.join('; '));

  console.log('--- downloads compared byte for byte');
  await b.setWindows(true);
  sameBytes('the example, Windows line ends: every LF written as CR LF', (await b.download()).bytes, windows(example));
  await page.focus('#camera-rows');
  await b.drop('site b.list.txt', windowsStyle);
  const stayed = await page.evaluate(() => document.activeElement.id || document.activeElement.tagName);
  check('a list dropped while the keyboard is in the table, hidden while it converts, leaves the keyboard there', stayed === 'camera-rows', stayed);
  got = await b.download();
  check('the download is named after the dropped file', got.name === 'site b.list.ent', got.name);
  sameBytes('a Windows-style list: CR LF read as LF, the input ends at the Ctrl-Z', got.bytes, windows(windowsStyle));
  check('the camera after the Ctrl-Z is not on the map', (await inView()) === 8);
  await b.saysWhatBrivelCheckSays('Windows line ends', windowsStyle, true);
  await b.exportsWhatBrivelCheckPrints('Windows line ends', 'site b.list.txt', windowsStyle, true);
  const ctrlZ = await page.isVisible('#ctrl-z-note') ? await b.text('#ctrl-z-note') : '';
  check('a note says where the Ctrl-Z ended the list, and what it cut off',
    ctrlZ === 'Line 19, column 1: a Ctrl-Z (byte 0x1A) ends the input here, as the Windows program reads text: 1 line after it is not read.',
    ctrlZ);
  await b.setWindows(false);
  sameBytes('the same list, Linux line ends: brivel < the list', (await b.download()).bytes, linux(windowsStyle));
  check('the camera after the Ctrl-Z is on the map', (await inView()) === 9);
  await b.saysWhatBrivelCheckSays('Linux line ends', windowsStyle, false);
  await b.exportsWhatBrivelCheckPrints('Linux line ends', 'site b.list.txt', windowsStyle, false);
  check('no Ctrl-Z note in Linux mode', await page.isHidden('#ctrl-z-note'));
  for (const [label, bytes] of endings) {
    await b.drop('ending.txt', bytes);
    await bothModes(b, `a list that ${label}`, bytes);
  }

  console.log('--- a map marker where its line puts it, and a near miss where its x and y put it');
  await b.drop('two.txt', latin1('"a" x=0 y=0 z=1000 pitch=0 yaw=0 roll=0\n"b" x=1000 y=1000 z=0 pitch=0 yaw=90 roll=0\n' +
    '"c" x=1000 y=0 z=500 pitch=0\n'));
  const tickAt = (axis, label) => page.locator(`#map .tick.${axis}`, { hasText: new RegExp(`^${label}$`) }).boundingBox();
  await page.locator('#map').scrollIntoViewIfNeeded();
  // A camera's marker is red, a near miss's diamond purple.
  const colours = { camera: [[180, 255], [0, 80], [0, 80]], 'near miss': [[100, 160], [50, 110], [190, 255]] };
  for (const [kind, name, x, y, says] of [['camera', 'b', '1,000', '1,000', ['"b"', '1000 1000 0']],
    ['camera', 'a', '0', '0', ['"a"', '0 0 1000']], ['near miss', 'c', '1,000', '0', ['Skipped line', '3', '1000 0', 'yaw is missing']]]) {
    const [xTick, yTick] = [await tickAt('x', x), await tickAt('y', y)];
    const [atX, atY] = [xTick.x + xTick.width / 2, yTick.y + yTick.height / 2];
    // The canvas's own pixels there.
    const found = await page.evaluate(([atX, atY, range]) => {
      const canvas = document.querySelector('#map canvas');
      const box = canvas.getBoundingClientRect();
      const ratio = canvas.width / box.width;
      const pixels = canvas.getContext('2d').getImageData(Math.round((atX - box.left) * ratio) - 2,
        Math.round((atY - box.top) * ratio) - 2, 5, 5).data;
      let count = 0;
      for (let i = 0; i < pixels.length; i += 4) count += range.every(([lo, hi], c) => pixels[i + c] >= lo && pixels[i + c] <= hi) ? 1 : 0;
      return count;
    }, [atX, atY, colours[kind]]);
    check(`a ${kind} is drawn at x=${x}, y=${y} by the axes`, found > 0);
    await page.mouse.click(atX, atY);
    details = await b.text('#camera-details');
    check(`a click at x=${x}, y=${y} by the axes finds "${name}": ${says.join(', ')}`, says.every((part) => details.includes(part)), details);
  }

  // The wheel and a pinch (two touches drawn apart) zoom in about where they are: the corners leave the view.
  const centre = await page.evaluate(() => {
    const box = document.querySelector('#map canvas').getBoundingClientRect();
    return [box.left + box.width / 2, box.top + box.height / 2];
  });
  const gestures = {
    wheel: (x, y) => document.getElementById('map').dispatchEvent(new WheelEvent('wheel', { clientX: x, clientY: y, deltaY: -600, bubbles: true, cancelable: true })),
    pinch: (x, y) => {
      const map = document.getElementById('map');
      const touch = (type, id, dx) => map.dispatchEvent(new PointerEvent(type, { pointerId: id, pointerType: 'touch', isPrimary: id === 1,
        clientX: x + dx, clientY: y, button: 0, bubbles: true }));
      touch('pointerdown', 1, -20);
      touch('pointerdown', 2, 20);
      for (const dx of [60, 120, 200]) touch('pointermove', 2, dx);
      touch('pointerup', 2, 200);
      touch('pointerup', 1, -20);
    },
  };
  for (const [gesture, act] of Object.entries(gestures)) {
    await page.click('#map-fit');
    await page.evaluate(`(${act})(${centre[0]}, ${centre[1]})`);
    await page.waitForTimeout(100);
    check(`the ${gesture} zooms in: the cameras in the corners leave the view`, (await inView()) === 0, String(await inView()));
  }

  console.log('--- bad files named at once, with what to do');
  const exampleText = example.toString('utf8');
  const camera = '"gate" x=10 y=-4 z=96 pitch=0 yaw=180 roll=0 fov=75\n';
  const verdict = async () => (await page.isVisible('#verdict')) ? page.getAttribute('#verdict', 'data-verdict') : 'none';
  for (const [label, bytes, code, words] of [
    ['an empty file', Buffer.alloc(0), 'empty', /The list is empty/],
    ['a zip file', Buffer.from('PK\x03\x04\x14\x00\x00\x00\x08\x00"a" x=1\n\x00\x01\x02\x03', 'latin1'), 'binary', /binary data/],
    ['a list of only near misses', latin1('# two\n"a" x=1 y=2\n"b" x=3\n'), 'only-near-misses', /No camera line: brivel skips every line/],
    ['a list of comments', latin1('# none\n\n'), 'no-camera-lines', /No camera line, and no line that looks meant as one/],
  ]) {
    await b.drop('bad.txt', bytes);
    const said = await page.isVisible('#verdict') ? await b.text('#verdict-words') : '';
    check(`${label} is named at once: ${code}`, (await verdict()) === code && words.test(said) && await page.isHidden('#as-utf8'), said);
  }
  await audit(page, 'with a bad file named');

  // UTF-16 as Notepad's "Unicode" and Windows PowerShell 5.1 write it; the fix compared with iconv's.
  // Its comments are more than the page decodes in a step (512 KB), of characters of two UTF-16
  // units that start 2 bytes past a multiple of 4: the end of a step splits one.
  const comments = `# ${'\u{1f600}'.repeat(100)} \n`.repeat(1500);
  const utf16 = Buffer.from('\ufeff' + comments + camera + exampleText, 'utf16le');
  const utf16Path = path.join(scratch, 'notepad.txt');
  fs.writeFileSync(utf16Path, utf16);
  const iconv = execFileSync('iconv', ['-f', 'UTF-16', '-t', 'UTF-8', utf16Path]);
  // A UTF-8 byte-order mark before a camera on the first line; the fix compared with sed's.
  const bom = Buffer.concat([Buffer.from([0xef, 0xbb, 0xbf]), latin1(camera), example]);
  const bomPath = path.join(scratch, 'bom.txt');
  fs.writeFileSync(bomPath, bom);
  const sed = execFileSync('sed', ['1s/^\\xEF\\xBB\\xBF//', bomPath]);
  // UTF-16 big-endian with no byte-order mark: the byte order from where the NUL bytes stand.
  const utf16bePath = path.join(scratch, 'big-endian.txt');
  fs.writeFileSync(utf16bePath, Buffer.from(camera + exampleText, 'utf16le').swap16());
  const iconvBe = execFileSync('iconv', ['-f', 'UTF-16BE', '-t', 'UTF-8', utf16bePath]);
  for (const [label, file, code, fixed, tool, skipped] of [['UTF-16', utf16Path, 'utf16', iconv, 'iconv -f UTF-16 -t UTF-8', 1510],
    ['UTF-16 big-endian, no BOM', utf16bePath, 'utf16', iconvBe, 'iconv -f UTF-16BE -t UTF-8', 10],
    ['a UTF-8 byte-order mark', bomPath, 'utf8-byte-order-mark', sed, 'sed', 10]]) {
    await b.choose(file);
    const before = await b.text('#counts');
    check(`${label} is named at once, with a button to convert it as UTF-8 (${before})`,
      (await verdict()) === code && await page.isVisible('#as-utf8'), await b.text('#verdict'));
    await b.converted(() => page.click('#as-utf8'));
    const note = await b.text('#verdict-words');
    check(`${label}: after the click, the page says what it changed and that the result is brivel's on the converted list`,
      /^The page (converted|dropped)/.test(note) && /What follows is what brivel gives/.test(note) && note.includes(tool), note);
    check(`${label}: now 8 camera lines`, (await b.text('#counts')) === `8 camera lines, ${skipped.toLocaleString('en')} lines skipped`,
      await b.text('#counts'));
    sameBytes(`${label}: the download is brivel's on the ${tool} result`, (await b.download()).bytes, linux(fixed));
    got = await b.download(() => page.click('#save-utf8'));
    sameBytes(`${label}: the converted list is the ${tool} result`, got.bytes, fixed);
    check(`${label}: it is named ${got.name}`, got.name === path.basename(file, '.txt') + '-utf8.txt', got.name);
    await b.exportsWhatBrivelCheckPrints(`${label}, converted`, got.name, fixed, false);
    await b.setWindows(true);
    sameBytes(`${label}: with Windows line ends, the Windows program's on it`, (await b.download()).bytes, windows(fixed));
    check(`${label}: the note stays`, (await b.text('#verdict-words')) === note);
    await b.setWindows(false);
  }

  console.log('--- a list of 15 MB: 150,000 cameras, 100,000 near misses');
  const large = largeList();
  const largePath = path.join(scratch, 'large.txt');
  fs.writeFileSync(largePath, large);
  await page.evaluate(() => (window.longTasks.length = 0));
  await b.choose(largePath);
  const tasks = await page.evaluate(() => window.longTasks);
  console.log(`figure: main-thread tasks over 50 ms from choosing to drawn: ${tasks.length}, ` +
    `the longest ${tasks.length ? Math.max(...tasks).toFixed(0) : 0} ms (${await b.text('#status')})`);
  await bothModes(b, 'the 15 MB list', large);
  check('100,000 findings listed', (await b.text('#misses-section .count')) === '100,000 findings');
  check('the list holds only the rows in sight', (await page.locator('#misses li[aria-posinset]').count()) < 60);
  await page.locator('#misses').evaluate((list) => (list.scrollTop = list.scrollHeight));
  await page.waitForTimeout(200);
  const last = await b.text('#misses li[aria-posinset]:last-child');
  check('scrolled to its end, the list shows the last finding', /line 277778,/.test(last) && /"near 249999"/.test(last), last);
  await page.fill('#misses-filter', 'odd');
  // Exported at once, while the filter is still being typed: the export waits for it.
  got = await b.download(() => page.click('#misses-export'));
  check('filtered by "odd": 250 of them', (await b.text('#misses-section .count')) === '250 of 100,000 findings');
  // brivel-check's findings (three lines each) on the lines the filter keeps, then its summary.
  const checkedLarge = printed('large.txt', large, false).toString('latin1').split('\n');
  const kept = [];
  for (let i = 0; i + 3 < checkedLarge.length; i += 3) if (/"odd /.test(checkedLarge[i + 1])) kept.push(...checkedLarge.slice(i, i + 3));
  sameBytes('the export holds what brivel-check prints of the 250 the filter keeps, and its summary', got.bytes,
    latin1([...kept, checkedLarge[checkedLarge.length - 2], ''].join('\n')));
  await page.fill('#misses-filter', 'Z IS MISSING');
  await page.waitForFunction(() => /^[\d,]+ of/.test(document.querySelector('#misses-section .count').textContent) &&
    !/^250 of/.test(document.querySelector('#misses-section .count').textContent));
  check('filtered by words of the reason, in capitals: the 50,000 lines with no z',
    (await b.text('#misses-section .count')) === '50,000 of 100,000 findings', await b.text('#misses-section .count'));
  await page.click('[role=columnheader] button[data-key=x]');
  await page.waitForFunction(() => !document.getElementById('cameras-section').dataset.busy);
  const firstX = await b.text('#camera-rows [role=row]:first-child .x');
  check('sorted by x, the table starts with the least x', firstX === '-2000', firstX);
  // The sort mark is for the eye: to a screen reader the button is "x", its header sorted ascending.
  const header = await page.locator('[role=columnheader][aria-sort=ascending]').ariaSnapshot();
  check('the sorted column is said as such, its button named without the mark', /^- columnheader "x":\n\s+- button "x"$/.test(header), header);
  await page.fill('#camera-filter', 'cam 1234');
  await page.waitForFunction(() => /of/.test(document.querySelector('#cameras-section .count').textContent));
  // 66 of them: cameras are the lines i with i % 5 < 3, named "cam i" (past the first batch of 16,384 too).
  check('filtered by name: "cam 1234" and "cam 12340" to "cam 123499"', (await b.text('#cameras-section .count')) === '66 of 150,000 cameras',
    await b.text('#cameras-section .count'));
  await page.fill('#camera-filter', '');
  await page.waitForFunction(() => !document.getElementById('cameras-section').dataset.busy);
  // Sorting 150,000 names takes longer than converting the example.
  await b.converted(async () => {
    await page.click('[role=columnheader] button[data-key=name]');
    await page.click('#example');
  });
  await page.waitForFunction(() => !document.getElementById('cameras-section').dataset.busy);
  await page.waitForTimeout(500);
  check('a sort of one list still under way when the next is taken is not applied to the next',
    (await b.text('#cameras-section .count')) === '7 cameras' && (await b.text('#camera-rows [role=row]:first-child .name')) === 'gate',
    `${await b.text('#cameras-section .count')}; ${await b.text('#camera-rows [role=row]:first-child .name')}`);
  // A click on the map in the first moment it holds the next list's cameras, the rest still being drawn.
  await page.evaluate(() => {
    const before = map.cameras;
    const click = () => {
      if (map.cameras === before || map.cameras !== cameras) return setTimeout(click, 0);
      const box = document.querySelector('#map canvas').getBoundingClientRect();
      const { left, top, plotWidth, plotHeight } = map.layout();
      const [sx, sy] = toScreen(map.view, plotWidth, plotHeight, cameras.x[0], cameras.y[0]);
      for (const type of ['pointerdown', 'pointerup']) {
        document.getElementById('map').dispatchEvent(new PointerEvent(type, { pointerId: 1, button: 0, bubbles: true,
          clientX: box.left + left + sx, clientY: box.top + top + sy }));
      }
    };
    setTimeout(click, 0);
  });
  await b.converted(() => page.setInputFiles('#file', largePath));
  const picked = await page.evaluate(() => ({ map: map.selected, table: table.selected, details: document.getElementById('camera-details').textContent,
    row: document.querySelector('#camera-rows [role=row].selected .name')?.textContent }));
  check('a camera picked on the map while the rest of the list is drawn is chosen in the table and the details too',
    picked.map >= 0 && picked.table === picked.map && picked.details.includes(`"${picked.row}"`), JSON.stringify(picked));
  await page.focus('#camera-rows');
  await b.converted(async () => {
    await page.setInputFiles('#file', largePath);
    await page.waitForFunction(() => /^Converting/.test(document.getElementById('status').textContent), null, { polling: 5 });
    await page.setInputFiles('#file', examplePath);
  });
  const back = await page.evaluate(() => document.activeElement.id || document.activeElement.tagName);
  check('a list taken while the keyboard is in the table, then another while it converts: the keyboard is given back there',
    back === 'camera-rows', back);
  // The export clicked in the first moment the findings' section shows for the next list.
  got = await b.download(() => page.evaluate((bytes) => {
    const section = document.getElementById('misses-section');
    const click = () => (section.hidden ? setTimeout(click, 0) : document.getElementById('misses-export').click());
    const data = new DataTransfer();
    data.items.add(new File([new Uint8Array(bytes)], 'site c.txt'));
    document.getElementById('drop-zone').dispatchEvent(new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true }));
    setTimeout(click, 0);
  }, [...windowsStyle]));
  sameBytes('an export clicked as the next list\'s findings show is what brivel-check prints for that list', got.bytes,
    printed('site c.txt', windowsStyle, false));
  // The download clicked in the first moment it shows for the next list, the rest still being drawn.
  got = await b.download(async () => {
    await page.evaluate(() => {
      const result = document.getElementById('result');
      let hidden = false;
      const click = () => {
        hidden ||= result.hidden;
        if (!hidden || result.hidden) return setTimeout(click, 0);
        window.clickedWhileDrawing = document.body.dataset.drawing;
        document.getElementById('download').click();
      };
      click();
    });
    await page.setInputFiles('#file', largePath);
  });
  check('the download clicked as it shows, while the result is drawn, comes once its blocks are made',
    got.name === 'large.ent' && (await page.evaluate(() => window.clickedWhileDrawing)) === 'yes', got.name);
  sameBytes('and it is brivel\'s', got.bytes, linux(large));

  console.log('--- a list changed on the disk once it was converted');
  const changing = path.join(scratch, 'changing.txt');
  fs.writeFileSync(changing, large);
  const runsThen = await b.runs();
  await page.setInputFiles('#file', changing);
  // Drawing 150,000 cameras takes a few frames: the download's pass has not begun.
  await page.waitForFunction((n) => Number(document.body.dataset.runs || 0) > n, runsThen, { timeout: 120000, polling: 5 });
  fs.appendFileSync(changing, '"late" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\n');
  await page.waitForFunction(() => !document.body.dataset.outputPending, null, { timeout: 120000 });
  await page.click('#download');
  await page.click('#copy');
  await page.waitForFunction(() => document.getElementById('copied').textContent !== '');
  const unread = await b.text('#status');
  const uncopied = await b.text('#copied');
  check('its download is refused, saying why, by Download and Copy alike, with no error on the page',
    /^Could not make the download: the file could not be read .*choose it again$/.test(unread) &&
    /^not copied: the file could not be read .*choose it again\.$/.test(uncopied) && b.errors.length === 0,
    `${unread}; ${uncopied}; ${b.errors.join('; ')}`);

  console.log('--- Cancel');
  const huge = path.join(scratch, 'huge.txt');
  fs.writeFileSync(huge, Buffer.concat(Array(8).fill(large)));
  const runsBefore = await b.runs();
  await page.setInputFiles('#file', huge);
  await page.waitForFunction(() => /^Converting/.test(document.getElementById('status').textContent), null, { polling: 5 });
  const working = page.workers().length;
  await page.click('#cancel');
  const cancelled = await b.text('#status');
  // The workers are ended at once; the browser may take a moment to say so.
  const clicked = Date.now();
  while (working - page.workers().length < 1 && Date.now() - clicked < 5000) await page.waitForTimeout(10);
  const gone = Date.now() - clicked;
  await page.waitForTimeout(1000);
  check(`Cancel stops the conversion at once: its worker is gone (in ${gone} ms), and nothing comes of it`,
    /^Cancelled/.test(cancelled) && working - page.workers().length === 1 &&
    (await b.runs()) === runsBefore && (await page.isHidden('#result')), `${cancelled}; workers ${working}, then ${page.workers().length}`);
  // A change to UTF-8 runs with the map in sight: Escape there lets go of its camera alone.
  const utf16Large = path.join(scratch, 'large-utf16.txt');
  fs.writeFileSync(utf16Large, Buffer.from('\ufeff' + large.toString('latin1'), 'utf16le'));
  const escapes = [];
  for (const where of ['#map', '#as-utf8']) {
    await b.choose(utf16Large);
    await page.click('#as-utf8');
    await page.waitForFunction(() => !document.getElementById('progress-row').hidden, null, { polling: 5 });
    await page.focus(where);
    await page.keyboard.press('Escape');
    await page.waitForFunction(() => /^Cancelled/.test(document.getElementById('status').textContent) ||
      (/^The page converted/.test(document.getElementById('verdict-words').textContent) && !document.body.dataset.drawing),
    null, { timeout: 60000, polling: 20 });
    escapes.push(/^Cancelled/.test(await b.text('#status')));
  }
  check('during a change to UTF-8, Escape on the map leaves it, and elsewhere cancels it',
    escapes.join() === 'false,true', escapes.join());
  // Converted to its end, its blocks are more than the download's Blobs of 32 MB, whose buffers serve again.
  // Cancel, holding the keyboard as the pass ends, is hidden with the bar.
  await b.converted(async () => {
    await page.setInputFiles('#file', huge);
    await page.waitForFunction(() => !document.getElementById('progress-row').hidden, null, { polling: 5 });
    await page.focus('#cancel');
  });
  const after = await page.evaluate(() => document.activeElement.id || document.activeElement.tagName);
  check('the keyboard on Cancel as the conversion ends goes on to the download', after === 'download', after);
  sameBytes('then the same list, converted: its download is brivel\'s', (await b.download()).bytes, linux(fs.readFileSync(huge)));
  await b.converted(() => page.click('#example'));
  check('then Try the example converts it', (await b.text('#counts')) === '7 camera lines, 10 lines skipped');

  const pasted = await page.evaluate(() => {
    const data = new DataTransfer();
    data.setData('text/plain', '"x" x=1 y=2 z=3 pitch=4 yaw=5 roll=6');
    const drop = new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true });
    document.getElementById('paste').dispatchEvent(drop);
    return drop.defaultPrevented;
  });
  check('text dropped on the paste box is left to go in', pasted === false);
  check('no error on the page', b.errors.length === 0, b.errors.join('; '));
  const outside = b.requests.filter((url) => !/^(file|blob|data):/.test(url));
  check('no request beyond the page\'s own files', outside.length === 0, outside.join(' '));
  if (screenshot) {
    await page.click('#camera-rows [role=row]:nth-child(4)');  // a camera chosen, for its details,
    await page.click('#map-fit');  // among all the others
    await page.screenshot({ path: screenshot, fullPage: true });
    console.log(`screenshot: ${screenshot}`);
  }
  await b.context.close();

  console.log('--- a list too large for the tab: no memory for every camera, a download that stalls');
  b = await launch(1000, 900, () => {
    // The columns of cameras cannot grow past 40,000 rows here: a list of gigabytes, in small.
    const Plain = Int32Array;
    window.Int32Array = class extends Plain {
      constructor(...args) {
        if (typeof args[0] === 'number' && args[0] > 40000) throw new RangeError('Array buffer allocation failed');
        super(...args);
      }
    };
    // While `holdDownload`, what the download's pass says is held back, as a browser that takes no more of it.
    const PlainWorker = Worker;
    window.holdDownload = false;
    window.held = [];
    window.Worker = class extends PlainWorker {
      postMessage(message, ...rest) {
        if (message && message.pass === 'blocks') this.download = true;
        super.postMessage(message, ...rest);
      }
      set onmessage(handler) {
        super.onmessage = (event) => (this.download && window.holdDownload ? window.held.push(() => handler(event)) : handler(event));
      }
    };
  });
  const many = latin1(Array.from({ length: 100000 }, (_, i) => `"c${i}" x=${i} y=${-i} z=1 pitch=0 yaw=0 roll=0\n`).join(''));
  const manyPath = path.join(scratch, 'many.txt');
  fs.writeFileSync(manyPath, many);
  await b.choose(manyPath);
  const held = await b.page.isVisible('#held-note') ? await b.text('#held-note') : '';
  check('the cameras it holds are shown, and a note says how many of how many',
    held === 'The map and the table show the first 32,768 of the 100,000 cameras: this tab had no memory for more. ' +
    'The counts, the findings and the download cover the whole list.' &&
    (await b.text('#cameras-section .count')) === '32,768 cameras' && (await b.text('#counts')) === '100,000 camera lines, 0 lines skipped' &&
    (await b.text('#status')).endsWith(held), `${held}; ${await b.text('#cameras-section .count')}; ${await b.text('#status')}`);
  sameBytes('and the download is still all of brivel\'s', (await b.download()).bytes, linux(many));
  await b.page.evaluate(() => (window.holdDownload = true));
  await b.choose(examplePath);
  const stalled = await b.page.waitForFunction(() => /^The download/.test(document.getElementById('status').textContent),
    null, { timeout: 20000 }).then(() => b.text('#status'), () => b.text('#status'));
  check('a download that makes no progress for 10 s is said',
    stalled === 'The download of cameras.txt has made no progress for 10 s, at 0.0 kB of 0.7 kB: the browser has stopped ' +
    'taking it. A browser may not manage a list this large; the brivel program converts a list of any size.', stalled);
  await b.page.evaluate(() => {
    window.holdDownload = false;
    window.held.splice(0).forEach((deliver) => deliver());
  });
  const resumed = await b.text('#status');
  got = await b.download();
  check('and once it goes on, the status is as before, and the download brivel\'s',
    /^Converted cameras.txt .*: 7 camera lines, 10 lines skipped\.$/.test(resumed) && got.bytes.equals(linux(example)), resumed);
  check('no error on the page', b.errors.length === 0, b.errors.join('; '));
  await b.context.close();

  // 320 px: a phone, or 1280 px zoomed to 400%.
  console.log('--- 320 px wide');
  b = await launch(320, 640);
  await b.converted(() => b.page.click('#example'));
  // Looked at by a person when asked for (--screenshot); the checks below are the test.
  const narrow = path.join(screenshot ? path.dirname(screenshot) : scratch, 'page-320px.png');
  await b.page.screenshot({ path: narrow, fullPage: true });
  if (screenshot) console.log(`screenshot: ${narrow}`);
  const mapLayout = () => b.page.evaluate(() => {
    const map = document.getElementById('map').getBoundingClientRect();
    const labels = [...document.querySelectorAll('#map .tick, #map .axis-name')];
    const boxes = labels.map((label) => label.getBoundingClientRect());
    const apart = (a, b) => a.right <= b.left || b.right <= a.left || a.bottom <= b.top || b.bottom <= a.top;
    const ticks = labels.map((tick, i) => {
      const box = boxes[i];
      return { text: tick.textContent, size: parseFloat(getComputedStyle(tick).fontSize),
        inside: box.left >= map.left && box.right <= map.right && box.top >= map.top && box.bottom <= map.bottom,
        alone: boxes.every((other, k) => k === i || apart(box, other)) };
    });
    // Each column's header whole, with the sort mark of either order.
    const headers = [...document.querySelectorAll('[role=columnheader]')].filter((header) => header.offsetWidth > 0);
    const clipped = headers.filter((header) => ['ascending', 'descending'].some((order) => {
      header.setAttribute('aria-sort', order);
      const over = header.scrollWidth > header.clientWidth;
      header.removeAttribute('aria-sort');
      return over;
    })).map((header) => header.className);
    const canvas = document.querySelector('#map canvas');
    return { ticks, width: document.documentElement.scrollWidth, headers: headers.length, clipped,
      canvas: canvas.width / devicePixelRatio, map: document.getElementById('map').clientWidth };
  });
  const legible = (layout, least = 8) => layout.ticks.length >= least && layout.ticks.every((t) => t.size >= 12 && t.inside && t.alone);
  const layout = await mapLayout();
  check('the tick labels and axis names are legible (12 px or more) and whole, inside the map, none over another',
    legible(layout), JSON.stringify(layout.ticks));
  check('nothing is wider than the screen: the table scrolls sideways within itself', layout.width <= 320, `${layout.width} px`);
  check('the table\'s headers are whole, sorted either way', layout.headers === 6 && layout.clipped.length === 0,
    `${layout.headers} headers; clipped: ${layout.clipped.join(' ')}`);
  // The findings' rows are as tall as the tallest, which wraps; so with the spacing of text a reader may set.
  const cutFindings = () => b.page.evaluate(() => [...document.querySelectorAll('#misses li[aria-posinset]')]
    .filter((item) => item.scrollHeight > item.clientHeight || item.scrollWidth > item.clientWidth).map((item) => item.textContent));
  let cut = await cutFindings();
  check('no finding\'s text is cut off', cut.length === 0, cut.join('; '));
  // Rows alike in bytes but not in what they show: a whole line, then a longer line's excerpt of as many bytes with an
  // ellipsis at each end, neither with a space to wrap at.
  const tail = '"x=1y=2z=3pitch=4yaw=5rol=6';
  await b.drop('alike.txt', latin1(`"${'a'.repeat(95 - tail.length)}${tail}\n"${'a'.repeat(300)}${tail}${'b'.repeat(100)}\n`));
  cut = await cutFindings();
  check('nor where an excerpt of as many bytes as the longest shows more', cut.length === 0, cut.join('; '));
  await b.converted(() => b.page.click('#example'));
  await b.page.addStyleTag({ content: '* { line-height: 1.5 !important; letter-spacing: 0.12em !important; ' +
    'word-spacing: 0.16em !important; } p { margin-bottom: 2em !important; }' });
  await b.page.waitForTimeout(100);
  cut = await cutFindings();
  const wide = await b.page.evaluate(() => document.documentElement.scrollWidth);
  check('with text spaced out (WCAG 1.4.12), still none, and the page no wider', cut.length === 0 && wide <= 320,
    `${wide} px; ${cut.join('; ')}`);
  // The map is drawn again for the spacing, and for a width of its own; its height, which the drawing sets, is no cause.
  const spaced = await mapLayout();
  await b.page.setViewportSize({ width: 400, height: 640 });
  await b.page.waitForTimeout(100);
  const wider = await mapLayout();
  await b.page.setViewportSize({ width: 320, height: 640 });
  await b.page.waitForTimeout(100);
  check('the map\'s labels placed again, whole, for the spacing, and the map drawn again as wide as it is made',
    legible(spaced, 6) && wider.canvas === wider.map && wider.map > layout.map, JSON.stringify([spaced.ticks, wider.canvas, wider.map]));
  await audit(b.page, 'at 320 px');

  // Forced colours, as Windows' high contrast themes force them, here a dark one: the canvas is the
  // page's to colour, and a background of ours is dropped.
  await b.page.emulateMedia({ forcedColors: 'active', colorScheme: 'dark' });
  await b.page.click('#camera-rows [role=row]:nth-child(2)');
  await b.page.focus('#map');
  await b.page.keyboard.press('ArrowDown');
  await b.page.waitForTimeout(100);
  const forced = await b.page.evaluate(() => {
    const system = (name) => {
      const probe = document.createElement('i');
      probe.style.cssText = `forced-color-adjust: none; color: ${name}`;
      document.body.append(probe);
      const rgb = getComputedStyle(probe).color.match(/\d+/g).slice(0, 3).map(Number);
      probe.remove();
      return rgb;
    };
    const [text, highlight] = [system('CanvasText'), system('Highlight')];
    const near = (rgb, want) => rgb.every((v, c) => Math.abs(v - want[c]) < 40);
    // The cross that Enter picks at, where the map is no longer on the camera just chosen.
    const canvas = document.querySelector('#map canvas');
    const ratio = canvas.width / canvas.getBoundingClientRect().width;
    const { left, top, plotWidth, plotHeight } = map.layout();
    const bar = [-9, -7, -5, 5, 7, 9].filter((dx) => {
      const pixel = canvas.getContext('2d').getImageData(Math.round((left + plotWidth / 2 + dx) * ratio),
        Math.round((top + plotHeight / 2) * ratio), 1, 1).data;
      return pixel[3] > 64 && near([...pixel.slice(0, 3)], text);
    }).length;
    const row = getComputedStyle(document.querySelector('#camera-rows [role=row].selected')).backgroundColor.match(/\d+/g).slice(0, 3).map(Number);
    const keys = [...document.querySelectorAll('.legend [class^=key-]:not(.key-arrow)')]
      .filter((key) => getComputedStyle(key).backgroundColor === getComputedStyle(document.body).backgroundColor).length;
    // The character a finding marks in the system's colour for marked text, as its mark is.
    const mark = getComputedStyle(document.querySelector('#misses li[aria-posinset] mark')).color.match(/\d+/g).slice(0, 3).map(Number);
    return { bar, row: near(row, highlight), keys, mark: near(mark, system('MarkText')) };
  });
  check('in forced colours, the map\'s cross, the chosen row, the legend\'s keys and a finding\'s mark show',
    forced.bar >= 5 && forced.row && forced.keys === 0 && forced.mark, JSON.stringify(forced));
  await b.page.emulateMedia({ forcedColors: 'none', colorScheme: 'light' });

  // 1280 px zoomed to 400%: the table's rows are taller than the window, and the row the keys
  // choose is kept in it.
  await b.page.setViewportSize({ width: 320, height: 256 });
  await b.drop('forty.txt', latin1(Array.from({ length: 40 }, (_, i) => `"c${i}" x=${i} y=0 z=0 pitch=0 yaw=0 roll=0\n`).join('')));
  await b.page.focus('#camera-rows');
  const outOfWindow = [];
  for (const key of ['ArrowDown', ...Array(12).fill('ArrowDown'), 'End', 'Home', 'PageDown', 'PageDown']) {
    await b.page.keyboard.press(key);
    await b.page.waitForTimeout(50);
    const box = await b.page.locator('#camera-rows [role=row].selected').boundingBox();
    if (box.y < -1 || box.y + box.height > 257) outOfWindow.push(`${key}: ${Math.round(box.y)} to ${Math.round(box.y + box.height)}`);
  }
  check('in a window shorter than the table, the row the keys choose stays in it', outOfWindow.length === 0, outOfWindow.join('; '));
  check('no error on the page at 320 px', b.errors.length === 0, b.errors.join('; '));
  await b.context.close();
} finally {
  fs.rmSync(scratch, { recursive: true, force: true });
}
console.log(`${failures === 0 ? 'all checks passed' : `${failures} checks FAILED`}`);
process.exit(failures === 0 ? 0 : 1);
