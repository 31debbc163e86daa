// The list of findings: for each line that did not convert as its writer
// may have meant, where and why. Only the entries in sight exist
// (virtual_list.js), so a hundred thousand cost no more than ten; filtering
// and exporting go through them in slices, so that the page never stalls.
//
// Its data is a source: { count, entry(i) } where an entry is a finding of
// the diagnosis: { line, column (in characters, from 1), code, reason (its
// words), excerpt (bytes of the line around the column), mark (the column's
// place in them), startsLine, endsLine (whether the excerpt starts and ends
// its line) }. It may also have matcher(needle): a test of entry i for a
// filter, quicker than one on its text.
'use strict';

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

// The end of the UTF-8 character at `at` of `bytes`, counted as brivel-check counts them: a lead
// byte with the continuation bytes that could still make a well-formed character.
function characterEnd(bytes, at) {
  const lead = bytes[at];
  const last = at + (lead >= 0xf0 && lead <= 0xf4 ? 3 : lead >= 0xe0 && lead <= 0xef ? 2 : lead >= 0xc2 && lead <= 0xdf ? 1 : 0);
  // The byte after the lead rules out overlong forms, surrogates and what lies above U+10FFFF.
  const low = lead === 0xe0 ? 0xa0 : lead === 0xf0 ? 0x90 : 0x80;
  const high = lead === 0xed ? 0x9f : lead === 0xf4 ? 0x8f : 0xbf;
  let end = at + 1;
  while (end <= last && end < bytes.length && bytes[end] >= (end === at + 1 ? low : 0x80) && bytes[end] <= (end === at + 1 ? high : 0xbf)) ++end;
  return end;
}

// What the filter looks for its words in, lowercased: where, why, and the line around the column.
function filterText(entry, utf8) {
  return `line ${entry.line}, column ${entry.column} ${entry.reason} ${utf8.decode(entry.excerpt)}`;
}

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
    this.list = new VirtualList(rows, root.querySelector('.row-box'), () => this.createRow(), (row, k) => this.renderRow(row, k),
      (row) => this.fillTallest(row));
    this.typing = 0;  // the timer of a filter still being typed
    this.filtering = Promise.resolve();  // the latest filter's pass
    this.filter.addEventListener('input', () => {
      clearTimeout(this.typing);
      this.typing = setTimeout(() => {
        this.typing = 0;
        this.refilter();
      }, 150);
    });
  }

  setFindings(source) {
    this.source = source;
    this.filter.value = '';
    clearTimeout(this.typing);
    this.typing = 0;
    this.refilter();
  }

  refilter() {
    this.filtering = this.applyFilter();
    return this.filtering;
  }

  // Once the filter as typed is the one applied: at once if it is still being typed.
  async settled() {
    if (this.typing) {
      clearTimeout(this.typing);
      this.typing = 0;
      this.refilter();
    }
    for (let pass = null; pass !== this.filtering;) {
      pass = this.filtering;
      await pass;
    }
  }

  async applyFilter() {
    const asked = ++this.asked;
    const needle = this.filter.value.trim().toLowerCase();
    const total = this.source.count;
    let shown = new Uint32Array(total);
    let kept = 0;
    if (needle) {
      this.count.textContent = 'filtering…';
      // On the findings' bytes where the source can: a string, a view and a decoding for each of
      // a million findings left the collector pauses of 50 to 400 ms on the page.
      const keeps = (this.source.matcher && this.source.matcher(needle))
        || ((i) => filterText(this.source.entry(i), this.utf8).toLowerCase().includes(needle));
      const done = await inSlices(total, (i) => {
        if (keeps(i)) shown[kept++] = i;
      }, () => asked !== this.asked);
      if (!done) return;
      shown = shown.slice(0, kept);
    } else {
      for (let i = 0; i < total; ++i) shown[i] = i;
    }
    this.shown = shown;
    const n = (v) => v.toLocaleString('en');
    this.count.textContent = shown.length === total ? `${n(total)} ${total === 1 ? 'finding' : 'findings'}`
      : `${n(shown.length)} of ${n(total)} findings`;
    this.root.querySelector('.rows').setAttribute('aria-label', `Findings: ${this.count.textContent}`);
    this.list.setCount(shown.length);
  }

  // The export: what brivel-check prints for the list, in its format (each finding with its
  // line and caret, then `summary`); with a filter, of the findings it keeps, once it is applied
  // (a filter typed after that changes nothing in it). Null if another list's findings came
  // meanwhile.
  async exportBlob(summary) {
    const source = this.source;
    await this.settled();
    if (this.source !== source) return null;
    const order = this.shown;
    const parts = new BlobParts();
    await inSlices(order.length, (k) => parts.add(source.text(order[k])), () => false);
    parts.add(summary);
    return parts.blob({ type: 'text/plain' });
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

  renderRow(item, k) {
    item.setAttribute('aria-posinset', String(k + 1));
    item.setAttribute('aria-setsize', String(this.shown.length));
    this.fill(item, this.source.entry(this.shown[k]));
  }

  // A row as tall as any: the longest words, and an excerpt as wide as the longest can be shown.
  // Excerpts wrap at any character (page.css), so their height goes by their width alone: at most
  // a column a byte, with an ellipsis at each end and the end-of-line mark. (Filled with the
  // longest excerpt itself, the row fell short of one with fewer bytes but both ellipses, or one
  // of many bytes a character.)
  fillTallest(item) {
    const { excerptBytes, words } = this.source.longest();
    this.fill(item, { ...this.source.entry(words), excerpt: new Uint8Array(excerptBytes).fill(0x6d), mark: excerptBytes,
      startsLine: false, endsLine: false });
  }

  // The line around the column, with the character at the column marked (or the end of the line).
  fill(item, entry) {
    const [where, code, reason] = item.children;
    where.textContent = `line ${entry.line}, column ${entry.column}`;
    const { excerpt, mark: at } = entry;
    const mark = document.createElement('mark');
    code.replaceChildren((entry.startsLine ? '' : '\u2026') + this.utf8.decode(excerpt.subarray(0, at)), mark);
    if (at < excerpt.length) {
      const next = characterEnd(excerpt, at);
      mark.textContent = this.utf8.decode(excerpt.subarray(at, next));
      code.append(this.utf8.decode(excerpt.subarray(next)));
    } else {
      mark.className = 'end';
    }
    if (!entry.endsLine) code.append('\u2026');
    reason.textContent = entry.reason;
  }
}

const asciiBytes = (text) => Uint8Array.from(text, (c) => c.charCodeAt(0));
const FILTER_LINE = asciiBytes('line ');
const FILTER_COLUMN = asciiBytes(', column ');

// Writes number v to `text` at n as a template literal writes it; returns the end.
function putNumber(text, n, v) {
  if (!Number.isSafeInteger(v) || v < 0) {
    const bytes = asciiBytes(String(v).toLowerCase());
    text.set(bytes, n);
    return n + bytes.length;
  }
  let end = n + 1;
  for (let power = 10; power <= v; power *= 10) ++end;
  for (let at = end - 1, rest = v; at >= n; --at) {
    const tenth = Math.floor(rest / 10);
    text[at] = 48 + rest - 10 * tenth;
    rest = tenth;
  }
  return end;
}

// Writes bytes from..to of `pool` to `text` at n as they would read, decoded on their own and
// lowercased, to an ASCII needle; returns the end. Uppercase ASCII is folded; the decoder drops a
// leading byte order mark; KELVIN SIGN lowercases to k, and CAPITAL I WITH DOT ABOVE to i and a
// combining dot. Any other byte above 0x7f (of another character, or invalid, which decodes to
// U+FFFD) stands for what matches no ASCII.
function putLowercase(text, n, pool, from, to) {
  let k = from;
  if (to - k >= 3 && pool[k] === 0xef && pool[k + 1] === 0xbb && pool[k + 2] === 0xbf) k += 3;
  for (; k < to; ++k) {
    let b = pool[k];
    if (b < 0x80) {
      if (b >= 0x41 && b <= 0x5a) b |= 0x20;
    } else if (b === 0xe2 && k + 2 < to && pool[k + 1] === 0x84 && pool[k + 2] === 0xaa) {
      b = 0x6b;
      k += 2;
    } else if (b === 0xc4 && k + 1 < to && pool[k + 1] === 0xb0) {
      text[n++] = 0x69;
      ++k;
    }
    text[n++] = b;
  }
  return n;
}

// A test of finding i of `found` (columns, as libraryFindings reads them) for `needle`, in
// lowercase: the same as filterText(entry).toLowerCase().includes(needle), on the bytes, with no
// string made or decoded. Null for a needle not all ASCII, which the lowercased text can match
// where its bytes do not (é in É).
function findingMatcher(found, needle) {
  if (/[^\x00-\x7f]/.test(needle)) return null;
  const want = asciiBytes(needle);
  const last = want.length - 1;
  if (last < 0) return () => true;
  const first = want[0];
  const { texts, chunk, codeEnd, wordsEnd, excerptEnd, line, column } = found;
  // The finding's text, lowercase, written again for each after the 'line ' they all start with.
  let text = Uint8Array.from(FILTER_LINE);
  return (i) => {
    const pool = texts[chunk[i]];
    const from = codeEnd[i];
    const middle = wordsEnd[i];
    const to = excerptEnd[i];
    // Room for the words and excerpt, the rest of the prefix with the longest numbers, two spaces.
    if (to - from + 72 > text.length) {
      text = new Uint8Array(2 * (to - from + 72));
      text.set(FILTER_LINE);
    }
    let n = putNumber(text, FILTER_LINE.length, line[i]);
    for (let k = 0; k < FILTER_COLUMN.length; ++k) text[n++] = FILTER_COLUMN[k];
    n = putNumber(text, n, column[i]);
    text[n++] = 0x20;
    n = putLowercase(text, n, pool, from, middle);
    text[n++] = 0x20;
    n = putLowercase(text, n, pool, middle, to);
    for (let at = 0, end = n - last; at < end; ++at) {
      if (text[at] !== first) continue;
      let k = 1;
      while (k <= last && text[at + k] === want[k]) ++k;
      if (k > last) return true;
    }
    return false;
  };
}

// The findings of the diagnosis, as the worker gathered them in columns: for each, its code,
// words, excerpt and text (as brivel-check prints it) one after the other in one of the chunks
// of bytes in `texts`.
function libraryFindings(found) {
  const count = found.line.length;
  const utf8 = new TextDecoder('utf-8');
  const start = (i) => (i === 0 || found.chunk[i - 1] !== found.chunk[i] ? 0 : found.textEnd[i - 1]);
  const findings = {
    count,
    entry(i) {
      const flags = found.flags[i];
      const pool = found.texts[found.chunk[i]];
      return {
        line: found.line[i], column: found.column[i],
        code: utf8.decode(pool.subarray(start(i), found.codeEnd[i])),
        reason: utf8.decode(pool.subarray(found.codeEnd[i], found.wordsEnd[i])),
        excerpt: pool.subarray(found.wordsEnd[i], found.excerptEnd[i]),
        mark: found.mark[i], startsLine: (flags & 1) !== 0, endsLine: (flags & 2) !== 0,
      };
    },
    // The most bytes of any excerpt, and the finding with the longest words (in bytes).
    longest() {
      let excerptBytes = 0;
      let words = 0;
      for (let i = 0; i < count; ++i) {
        excerptBytes = Math.max(excerptBytes, found.excerptEnd[i] - found.wordsEnd[i]);
        if (found.wordsEnd[i] - found.codeEnd[i] > found.wordsEnd[words] - found.codeEnd[words]) words = i;
      }
      return { excerptBytes, words };
    },
    // A test of finding i for a filter by `needle` (lowercase), as on its text but quicker.
    matcher(needle) {
      const ascii = findingMatcher(found, needle);
      if (ascii) return ascii;
      // Other characters in the needle: only a finding with some of its own can hold them, since
      // ASCII lowercases to ASCII, and only one that holds the needle's longest run of ASCII; the
      // few left are tested on their text.
      const run = (needle.match(/[\x00-\x7f]+/g) || ['']).reduce((a, b) => (b.length > a.length ? b : a));
      const holdsRun = findingMatcher(found, run);
      return (i) => {
        const pool = found.texts[found.chunk[i]];
        let other = false;
        for (let k = found.codeEnd[i], end = found.excerptEnd[i]; k < end && !other; ++k) other = pool[k] > 0x7f;
        return other && holdsRun(i) && filterText(findings.entry(i), utf8).toLowerCase().includes(needle);
      };
    },
    // The text of finding i, as brivel-check prints it.
    text: (i) => found.texts[found.chunk[i]].subarray(found.excerptEnd[i], found.textEnd[i]),
  };
  return findings;
}

// The findings on lines that gave no camera, where the rules read x and y: where the camera
// would stand, for the map. { count, x, y, finding (the index of each in the findings) }.
// (Counted first and written in plain loops: with a million, an array of their indices mapped by
// `from` took some 400 ms of one task.)
function nearMisses(found) {
  const total = found.line.length;
  let count = 0;
  for (let i = 0; i < total; ++i) count += (found.flags[i] >> 2) & 1;
  const misses = { count, x: new Int32Array(count), y: new Int32Array(count), finding: new Uint32Array(count) };
  for (let i = 0, k = 0; k < count; ++i) {
    if ((found.flags[i] & 4) === 0) continue;
    misses.x[k] = found.x[i];
    misses.y[k] = found.y[i];
    misses.finding[k++] = i;
  }
  return misses;
}

// In Windows text, the finding that says where a Ctrl-Z ended the list and what it cut off:
// the diagnosis makes it last, at the end of the list.
function ctrlZFinding(found) {
  const all = libraryFindings(found);
  const last = all.count > 0 ? all.entry(all.count - 1) : null;
  return last && last.code === 'ctrl-z' ? last : null;
}

if (typeof module === 'object') module.exports = { libraryFindings, nearMisses, filterText };
