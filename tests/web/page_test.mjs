// The page in a real browser: Debian's Chromium, headless, driven by
// playwright-core. Opens <build>/web/index.html from the disk, gives it
// examples/cameras.txt and a Windows-style list (chosen as a file and dropped
// on the page), and compares each download byte for byte with what
// <build>/brivel writes, for both line-end modes; checks the map, and that
// the page's findings are <build>/brivel-check's, word for word, in both
// modes; and can take the screenshot for the README.
//
//   node tests/web/page_test.mjs BUILD_DIR [--screenshot FILE]
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const [buildArg, ...rest] = process.argv.slice(2);
if (!buildArg) {
  console.error('usage: node tests/web/page_test.mjs BUILD_DIR [--screenshot FILE]');
  process.exit(2);
}
const build = path.resolve(buildArg);
const screenshot = rest[0] === '--screenshot' ? path.resolve(rest[1]) : null;
const brivel = path.join(build, 'brivel');
const brivelCheck = path.join(build, 'brivel-check');
const pageUrl = pathToFileURL(path.join(build, 'web', 'index.html')).href;

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
const linux = (input) => execFileSync(brivel, { input });
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

const example = fs.readFileSync(path.join(root, 'examples/cameras.txt'));
// CR LF line ends, a CR LF split over no line end ("\r" alone), and a line after a Ctrl-Z.
const windowsStyle = Buffer.from(example.toString('latin1').replace(/\n/g, '\r\n') +
  '"lone cr"\r x=1 y=2 z=3 pitch=4 yaw=5 roll=6\r\n\x1a\r\n"after ctrl-z" x=1 y=2 z=3 pitch=4 yaw=5 roll=6\r\n', 'latin1');

const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'brivel-page-test-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  viewport: { width: 1000, height: 900 },
  acceptDownloads: true,
});
try {
  const page = context.pages()[0] || (await context.newPage());
  const errors = [];
  const requests = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('request', (request) => requests.push(request.url()));
  await page.goto(pageUrl);

  const runs = () => page.evaluate(() => Number(document.body.dataset.runs || 0));
  async function converted(action) {
    const before = await runs();
    await action();
    await page.waitForFunction((n) => Number(document.body.dataset.runs || 0) > n || document.body.dataset.failed,
      before, { timeout: 60000 });
    const failed = await page.evaluate(() => document.body.dataset.failed);
    if (failed) throw new Error('the page could not convert: ' + failed);
  }
  async function download() {
    const [file] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
    return { name: file.suggestedFilename(), bytes: fs.readFileSync(await file.path()) };
  }
  const setWindows = (on) => converted(() => page.setChecked('#windows', on));
  const findings = () => page.$$eval('#misses li', (items) => items.map((item) =>
    `${item.querySelector('.where').textContent}: ${item.querySelector('.reason').textContent}`));
  async function saysWhatBrivelCheckSays(label, input, windowsText) {
    const got = await findings();
    const want = checked(input, windowsText);
    check(`${label}: the page's findings are brivel-check's (${want.length})`,
      JSON.stringify(got) === JSON.stringify(want), `page: ${JSON.stringify(got)}\n  brivel-check: ${JSON.stringify(want)}`);
  }
  const drop = (name, bytes) => converted(() => page.evaluate(([name, bytes]) => {
    const data = new DataTransfer();
    data.items.add(new File([new Uint8Array(bytes)], name));
    document.getElementById('drop-zone').dispatchEvent(new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true }));
  }, [name, [...bytes]]));

  console.log('--- examples/cameras.txt, chosen as a file');
  await converted(() => page.setInputFiles('#file', path.join(root, 'examples/cameras.txt')));
  let got = await download();
  check('the download is named cameras.ent', got.name === 'cameras.ent', got.name);
  sameBytes('the download is what brivel < examples/cameras.txt writes', got.bytes, linux(example));
  const counts = await page.textContent('#counts');
  check('7 camera lines, 10 lines skipped', counts === '7 camera lines, 10 lines skipped', counts);
  check('7 markers on the map', (await page.locator('#map circle.marker').count()) === 7);
  const market = await page.locator('#misses li', { hasText: '"market"' }).innerText();
  check('the near miss on line 16 is explained, its column marked',
    /line 16, column 21/.test(market) && /z is missing after y=200/.test(market) &&
    (await page.locator('#misses li', { hasText: '"market"' }).locator('mark.end').count()) === 1, market);
  await saysWhatBrivelCheckSays('examples/cameras.txt', example, false);

  console.log('--- Windows line ends');
  await setWindows(true);
  sameBytes('the download is the Windows program\'s output: every LF written as CR LF',
    (await download()).bytes, windows(example));

  console.log('--- a Windows-style list (CR LF, a lone CR, a Ctrl-Z), dropped on the page');
  await drop('site b.list.txt', windowsStyle);
  got = await download();
  check('the download is named after the dropped file', got.name === 'site b.list.ent', got.name);
  sameBytes('Windows line ends: CR LF read as LF, the input ends at the Ctrl-Z', got.bytes, windows(windowsStyle));
  check('the camera after the Ctrl-Z is not on the map',
    (await page.locator('#map circle.marker').count()) === 8);
  await saysWhatBrivelCheckSays('Windows line ends', windowsStyle, true);
  await setWindows(false);
  sameBytes('Linux line ends: the same bytes as brivel < the list', (await download()).bytes, linux(windowsStyle));
  check('the camera after the Ctrl-Z is on the map', (await page.locator('#map circle.marker').count()) === 9);
  await saysWhatBrivelCheckSays('Linux line ends', windowsStyle, false);

  check('no error on the page', errors.length === 0, errors.join('; '));
  const outside = requests.filter((url) => !/^(file|blob|data):/.test(url));
  check('no request beyond the page\'s own files', outside.length === 0, outside.join(' '));

  if (screenshot) {
    await converted(() => page.setInputFiles('#file', path.join(root, 'examples/cameras.txt')));
    await page.screenshot({ path: screenshot, fullPage: true });
    console.log(`screenshot: ${screenshot}`);
  }
} finally {
  await context.close();
  fs.rmSync(profile, { recursive: true, force: true });
}
console.log(`${failures === 0 ? 'all checks passed' : `${failures} checks FAILED`}`);
process.exit(failures === 0 ? 0 : 1);
