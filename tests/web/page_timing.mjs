// Times the page on one large list, as a person would see it: from choosing
// the file to the counts, map and lists drawn; the longest task on the main
// thread meanwhile (a PerformanceObserver for long tasks, which does not see
// the tasks in which V8 finishes a collection: a trace does); and the tab's
// peak memory (the resident size of its renderer process, sampled). Also where the
// worker's two passes spend their time: the "look" pass (what the page shows)
// and the "blocks" pass (the download). With --keys, also how long a key in
// the camera table and on the map takes, the whole list in sight and zoomed
// in. With --filter NEEDLE (again for more), how long the findings take to
// filter by it, typed once all is drawn, and the longest task meanwhile.
// Prints the figures; asserts nothing, since timings on a shared machine are
// no test.
//
//   node tests/web/page_timing.mjs BUILD_DIR LIST [--windows-text] [--keys] [--filter NEEDLE]... [--screenshot PREFIX]
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const [buildArg, list, ...options] = process.argv.slice(2);
const windowsText = options.includes('--windows-text');
const keys = options.includes('--keys');
const shotAt = options.indexOf('--screenshot');
const prefix = shotAt >= 0 ? options[shotAt + 1] : null;
const needles = options.flatMap((option, k) => (option === '--filter' ? [options[k + 1]] : []));
if (!buildArg || !list || (shotAt >= 0 && !prefix) || needles.includes(undefined)) {
  console.error('usage: node tests/web/page_timing.mjs BUILD_DIR LIST [--windows-text] [--keys] [--filter NEEDLE]... [--screenshot PREFIX]');
  process.exit(2);
}
// The page's folder; in builds before it had one, the page was among the build files in web/.
const folder = ['page', 'web'].map((name) => path.resolve(buildArg, name)).find((f) => fs.existsSync(path.join(f, 'index.html')));
const pageUrl = pathToFileURL(path.join(folder, 'index.html')).href;

// The processes of the browser that uses `profile`.
function browserProcesses(profile) {
  const found = [];
  for (const pid of fs.readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    try {
      const command = fs.readFileSync(`/proc/${pid}/cmdline`, 'latin1');
      if (command.includes(profile)) found.push({ pid, command });
    } catch {
      // the process ended meanwhile
    }
  }
  return found;
}

// The CPU seconds that the browser's processes have used, all of them: less
// disturbed by other work on the machine than the time on the clock.
function cpuSeconds(profile) {
  let ticks = 0;
  for (const { pid } of browserProcesses(profile)) {
    try {
      const fields = fs.readFileSync(`/proc/${pid}/stat`, 'latin1').replace(/^.*\) /, '').split(' ');
      ticks += Number(fields[11]) + Number(fields[12]);  // utime and stime
    } catch {
      // the process ended meanwhile
    }
  }
  return ticks / 100;
}

// The largest resident size among the renderers of this browser's profile: the tab's.
function rendererKiB(profile) {
  let largest = 0;
  for (const { pid, command } of browserProcesses(profile)) {
    if (!command.includes('--type=renderer')) continue;
    try {
      const rss = /VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${pid}/status`, 'latin1'));
      if (rss) largest = Math.max(largest, Number(rss[1]));
    } catch {
      // the process ended meanwhile
    }
  }
  return largest;
}

const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'brivel-page-timing-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run'],
  viewport: { width: 1000, height: 900 },
});
try {
  const page = context.pages()[0] || (await context.newPage());
  await page.addInitScript(() => {
    window.longTasks = [];
    new PerformanceObserver((found) => window.longTasks.push(...found.getEntries().map((e) => e.duration)))
      .observe({ type: 'longtask', buffered: true });
  });
  await page.goto(pageUrl);
  // A person takes a moment to choose a file: the page readies its module meanwhile.
  await page.waitForTimeout(2000);
  if (windowsText) await page.locator('#windows').check();
  const idleKiB = rendererKiB(profile);
  let peakKiB = idleKiB;
  const sampler = setInterval(() => (peakKiB = Math.max(peakKiB, rendererKiB(profile))), 50);

  const cpuBefore = cpuSeconds(profile);
  const started = await page.evaluate(() => { window.longTasks.length = 0; return performance.now(); });
  await page.setInputFiles('input[type=file]', path.resolve(list));
  await page.waitForFunction(() => Number(document.body.dataset.runs || 0) > 0 || document.body.dataset.failed,
    null, { timeout: 120000, polling: 20 });
  // The page marks the drawing it does in slices while it lasts, and the Blob of the blocks
  // while it is being made; two frames after the drawing, all is on the screen.
  await page.waitForFunction(() => !document.body.dataset.drawing, null, { timeout: 120000, polling: 20 });
  const drawn = await page.evaluate(() => new Promise((resolve) =>
    requestAnimationFrame(() => requestAnimationFrame(() => resolve(performance.now())))));
  await page.waitForFunction(() => !document.body.dataset.outputPending, null, { timeout: 120000, polling: 20 });
  const figures = await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() =>
    requestAnimationFrame(() => resolve({ now: performance.now(), tasks: window.longTasks.slice(),
      converted: document.body.dataset.seconds, look: document.body.dataset.lookTiming,
      blocks: document.body.dataset.blocksTiming, failed: document.body.dataset.failed })))));
  clearInterval(sampler);
  const cpu = cpuSeconds(profile) - cpuBefore;
  peakKiB = Math.max(peakKiB, rendererKiB(profile));
  if (figures.failed) throw new Error('the page could not convert: ' + figures.failed);
  const size = fs.statSync(list).size;
  const longest = figures.tasks.length ? Math.max(...figures.tasks) : 0;
  console.log(`list: ${list} (${(size / 1e6).toFixed(1)} MB), ${windowsText ? 'Windows' : 'Linux'} line ends`);
  console.log(`converted (the page's own figure, choice to counts): ${figures.converted} s`);
  // Each pass: the module's time (what its calls of the page's functions took within it), and
  // the pass's whole time, its reading of the list included.
  const seconds = (ms) => `${(ms / 1000).toFixed(3)} s`;
  for (const [name, json] of [['look', figures.look], ['blocks', figures.blocks]]) {
    if (!json) continue;  // a page from before these figures
    const t = JSON.parse(json);
    const within = [['the blocks to the page', t.outputMs], ['camera batches', t.camerasMs]]
      .filter(([, ms]) => ms > 0.5).map(([what, ms]) => `${what} ${seconds(ms)}`);
    console.log(`the ${name} pass: the module ${seconds(t.moduleMs)}, ${(size / 1e3 / t.moduleMs).toFixed(0)} MB/s` +
      `${within.length ? ` (of which ${within.join(', ')})` : ''}; reading and module ${seconds(t.ms)}` +
      `; waiting for the list ${seconds(t.readWaitMs || 0)}` +
      `${t.partsWaitMs ? `, for parts of the blocks ${seconds(t.partsWaitMs)}` : ''}` +
      `${t.blobMs ? `; the second worker made Blobs for ${seconds(t.blobMs)}, the last waited for ${seconds(t.blobWaitMs)}` : ''}${t.wholeMs ? `; the whole pass ${seconds(t.wholeMs)}` : ''}`);
  }
  console.log(`choice to counts, map and lists drawn: ${((drawn - started) / 1000).toFixed(2)} s`);
  console.log(`choice to the download ready: ${((figures.now - started) / 1000).toFixed(2)} s`);
  console.log(`CPU time of all the browser's processes meanwhile: ${cpu.toFixed(2)} s`);
  console.log(`main-thread tasks over 50 ms: ${figures.tasks.length}, the longest ${longest.toFixed(0)} ms`);
  console.log(`tab memory (renderer resident size): ${(idleKiB / 1024).toFixed(0)} MiB idle, ` +
    `${(peakKiB / 1024).toFixed(0)} MiB at the peak`);
  if (keys) {
    // The milliseconds from a key's press on the focused element to the next frame, median of `times`.
    const time = async (label, focus, key, times) => {
      await page.locator(focus).focus();
      const took = [];
      for (let i = 0; i < times; ++i) {
        took.push(await page.evaluate((key) => new Promise((resolve) => {
          const start = performance.now();
          document.activeElement.dispatchEvent(new KeyboardEvent('keydown', { key, bubbles: true, cancelable: true }));
          requestAnimationFrame(() => setTimeout(() => resolve(performance.now() - start), 0));
        }), key));
      }
      took.sort((a, b) => a - b);
      console.log(`${label}: ${took[times >> 1].toFixed(1)} ms (the longest ${took[times - 1].toFixed(1)} ms)`);
    };
    await time('a key in the table, the whole list in sight', '#camera-rows', 'ArrowDown', 15);
    await time('an arrow on the map, the whole list in sight', '#map', 'ArrowLeft', 10);
    for (let i = 0; i < 12; ++i) await page.keyboard.press('+');
    await time('an arrow on the map, zoomed in', '#map', 'ArrowLeft', 10);
    await time('Enter on the map (a pick), zoomed in', '#map', 'Enter', 5);
    await time('a key in the table, zoomed in', '#camera-rows', 'ArrowDown', 15);
  }
  for (const needle of needles) {
    // The count says "filtering…" while the filter goes on, then "… findings".
    const count = '#misses-section .count';
    const settled = () => page.waitForFunction((count) => /findings?$/.test(document.querySelector(count).textContent), count,
      { timeout: 120000, polling: 20 });
    const start = await page.evaluate((count) => {
      window.longTasks.length = 0;
      document.querySelector(count).textContent = '';
      return performance.now();
    }, count);
    await page.fill('#misses-filter', needle);
    await settled();
    const { now, tasks, text } = await page.evaluate((count) => ({ now: performance.now(), tasks: window.longTasks.slice(),
      text: document.querySelector(count).textContent }), count);
    console.log(`the findings filtered by ${JSON.stringify(needle)}: ${text} in ${((now - start) / 1000).toFixed(2)} s ` +
      `(typing's pause of 150 ms in it); tasks over 50 ms: ${tasks.length}, the longest ${Math.max(0, ...tasks).toFixed(0)} ms`);
    await page.fill('#misses-filter', '');
    await settled();
  }
  if (prefix) {
    await page.locator('#map').screenshot({ path: `${prefix}-all.png` });
    console.log(`screenshot: ${prefix}-all.png`);
    if (await page.locator('#map-zoom-in').count()) {
      await page.locator('#map').focus();
      for (let i = 0; i < 11; ++i) await page.keyboard.press('+');
      await page.waitForTimeout(300);
      await page.locator('#map').screenshot({ path: `${prefix}-zoomed.png` });
      console.log(`screenshot: ${prefix}-zoomed.png`);
    }
  }
} finally {
  await context.close();
  fs.rmSync(profile, { recursive: true, force: true });
}
