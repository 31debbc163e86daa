// The list of findings: for each line that did not convert as its writer
// may have meant, where and why. Only the entries in sight exist
// (virtual_list.js), so a hundred thousand cost no more than ten; filtering
// and exporting go through them in slices, so that the page never stalls.
//
// Its data is a source: { count, entry(i) } where an entry is
// { line, column (of the marked byte, from 1), text (the bytes of the line or
// piece), mark (the offset of the marked byte in them), reason (words) }.
'use strict';

const FINDING_CONTEXT = 48;  // bytes shown before the marked byte of a long line
const SLICE_MS = 8;          // the longest stretch of filtering or exporting between two frames

// Calls work(i) for i from 0 to count - 1, giving the page its turn every few
// milliseconds; resolves to false if `stale()` became true on the way.
async function inSlices(count, work, stale) {
  let sliceEnd = performance.now() + SLICE_MS;
  for (let i = 0; i < count; ++i) {
    work(i);
    if ((i & 63) === 63 && performance.now() > sliceEnd) {
      await new Promise((resolve) => setTimeout(resolve, 0));
      if (stale()) return false;
      sliceEnd = performance.now() + SLICE_MS;
    }
  }
  return !stale();
}

// The length of a line without its line end.
function visibleLength(text) {
  let visible = text.length;
  while (visible > 0 && (text[visible - 1] === 10 || text[visible - 1] === 13)) --visible;
  return visible;
}

// The words of one finding for the export: "LINE:COLUMN: REASON".
const findingLine = (entry) => `${entry.line}:${entry.column}: ${entry.reason}\n`;

class FindingsList {
  // root holds the filter, the count, the rows and the export button (see index.html).
  constructor(root) {
    this.root = root;
    this.source = { count: 0, entry: () => null };
    this.shown = new Uint32Array(0);
    this.asked = 0;
    this.utf8 = new TextDecoder('utf-8');
    this.filter = root.querySelector('input[type=search]');
    this.count = root.querySelector('.count');
    const rows = root.querySelector('.rows');
    this.list = new VirtualList(rows, root.querySelector('.row-box'), () => this.createRow(), (row, k) => this.renderRow(row, k));
    let typing = 0;
    this.filter.addEventListener('input', () => {
      clearTimeout(typing);
      typing = setTimeout(() => this.refilter(), 150);
    });
  }

  setFindings(source) {
    this.source = source;
    this.filter.value = '';
    this.refilter();
  }

  async refilter() {
    const asked = ++this.asked;
    const needle = this.filter.value.trim().toLowerCase();
    const total = this.source.count;
    let shown = new Uint32Array(total);
    let kept = 0;
    if (needle) {
      this.count.textContent = 'filtering…';
      const entryText = (e) => `line ${e.line}, column ${e.column} ${e.reason} ${this.utf8.decode(e.text)}`.toLowerCase();
      const done = await inSlices(total, (i) => {
        if (entryText(this.source.entry(i)).includes(needle)) shown[kept++] = i;
      }, () => asked !== this.asked);
      if (!done) return;
      shown = shown.slice(0, kept);
    } else {
      for (let i = 0; i < total; ++i) shown[i] = i;
    }
    this.shown = shown;
    const n = (v) => v.toLocaleString('en');
    this.count.textContent = shown.length === total ? `${n(total)} ${total === 1 ? 'line' : 'lines'}`
      : `${n(shown.length)} of ${n(total)} lines`;
    this.root.querySelector('.rows').setAttribute('aria-label', `Findings: ${this.count.textContent}`);
    this.list.setCount(shown.length);
  }

  // The export hook: the text of every finding the filter keeps, as a Blob.
  async exportBlob() {
    const asked = this.asked;
    const parts = [];
    const done = await inSlices(this.shown.length, (k) => parts.push(findingLine(this.source.entry(this.shown[k]))),
      () => asked !== this.asked);
    return done ? new Blob(parts, { type: 'text/plain' }) : null;
  }

  createRow() {
    const item = document.createElement('li');
    const where = document.createElement('div');
    where.className = 'where';
    const code = document.createElement('code');
    const reason = document.createElement('div');
    reason.className = 'reason';
    item.append(where, code, reason);
    return item;
  }

  // The line, with the byte where reading stopped marked (or the end of the line).
  renderRow(item, k) {
    const entry = this.source.entry(this.shown[k]);
    const [where, code, reason] = item.children;
    item.setAttribute('aria-posinset', String(k + 1));
    item.setAttribute('aria-setsize', String(this.shown.length));
    where.textContent = `line ${entry.line}, column ${entry.column}`;
    const visible = visibleLength(entry.text);
    const stop = Math.min(entry.mark, visible);
    const from = stop > FINDING_CONTEXT ? stop - FINDING_CONTEXT : 0;
    const mark = document.createElement('mark');
    code.replaceChildren((from > 0 ? '…' : '') + this.utf8.decode(entry.text.subarray(from, stop)), mark);
    if (stop < visible) {
      mark.textContent = this.utf8.decode(entry.text.subarray(stop, stop + 1));
      code.append(this.utf8.decode(entry.text.subarray(stop + 1, visible)));
    } else {
      mark.className = 'end';
    }
    reason.textContent = entry.reason;
  }
}

// The near misses the module reports, as findings: their reasons in words from near_miss.js.
function nearMissFindings(misses) {
  const count = misses.line.length;
  const start = (i) => (i === 0 ? 0 : misses.textEnd[i - 1]);
  return {
    count,
    entry(i) {
      const text = misses.text.subarray(start(i), misses.textEnd[i]);
      const miss = { text, items: misses.items[i], stop: misses.stop[i], expected: misses.expected[i] };
      // A stop at the end of the line is marked at its end, before the line feed.
      const mark = Math.min(miss.stop, visibleLength(text));
      return { line: misses.line[i], column: misses.column[i] + mark + 1, text, mark, reason: nearMissReason(miss) };
    },
  };
}
