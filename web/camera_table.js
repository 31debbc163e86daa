// The cameras as a table: the map's keyboard-reachable twin. It can be sorted
// by any column and filtered by name, and its selection is the map's. Only
// the rows in sight exist (virtual_list.js); sorting and filtering a million
// cameras happen in a worker, so that the page never stalls.
'use strict';

const CAMERA_COLUMNS = ['line', 'name', 'x', 'y', 'z', 'pitch', 'yaw', 'roll', 'fov'];
const CAMERA_PART_BYTES = 4 << 20;  // of a column handed to the sorting worker in a message

// The cameras in the list's order, as an order that costs nothing to make:
// what cameraOrder would give for the line, ascending, with no filter.
class ListOrder {
  constructor(length) {
    this.length = length;
  }
  indexOf(i) {
    return i >= 0 && i < this.length ? i : -1;
  }
}
const orderAt = (order, k) => (order instanceof ListOrder ? k : order[k]);

// The order in which to list the cameras (indices into the columns): those
// whose name holds `needle` (ASCII letters in either case), sorted by `key`,
// ties in the list's order. Self-contained, since it also runs as a worker's
// source.
function cameraOrder(cameras, count, key, descending, needle) {
  const names = cameras.names;
  const ends = cameras.nameEnd;
  const start = (i) => (i === 0 ? 0 : ends[i - 1]);
  let order = new Uint32Array(count);
  for (let i = 0; i < count; ++i) order[i] = i;
  if (needle) {
    const lower = (b) => (b >= 65 && b <= 90 ? b + 32 : b);
    const wanted = Array.from(new TextEncoder().encode(needle), lower);
    let kept = 0;
    for (let i = 0; i < count; ++i) {
      search: for (let at = start(i); at + wanted.length <= ends[i]; ++at) {
        for (let k = 0; k < wanted.length; ++k) if (lower(names[at + k]) !== wanted[k]) continue search;
        order[kept++] = i;
        break;
      }
    }
    order = order.slice(0, kept);
  }
  if (key === 'line') return descending ? order.reverse() : order;
  if (key === 'name') {
    const sign = descending ? -1 : 1;
    return order.sort((a, b) => {
      const aEnd = ends[a];
      const bEnd = ends[b];
      for (let i = start(a), j = start(b); ; ++i, ++j) {
        if (i === aEnd || j === bEnd) return sign * ((i === aEnd ? 0 : 1) - (j === bEnd ? 0 : 1)) || a - b;
        if (names[i] !== names[j]) return sign * (names[i] - names[j]);
      }
    });
  }
  // A radix sort on the 32-bit values, a byte at a time: stable, and quick for millions.
  const values = cameras[key];
  const flip = descending ? 0x7fffffff : 0x80000000;
  let from = order;
  let to = new Uint32Array(order.length);
  const counts = new Uint32Array(257);
  for (let shift = 0; shift < 32; shift += 8) {
    counts.fill(0);
    for (let i = 0; i < from.length; ++i) ++counts[(((values[from[i]] ^ flip) >>> shift) & 255) + 1];
    for (let b = 1; b < 257; ++b) counts[b] += counts[b - 1];
    for (let i = 0; i < from.length; ++i) to[counts[((values[from[i]] ^ flip) >>> shift) & 255]++] = from[i];
    [from, to] = [to, from];
  }
  return from;
}

class CameraTable {
  // root holds the filter, the count, the header and the rows (see index.html).
  constructor(root, onSelect) {
    this.root = root;
    this.onSelect = onSelect;
    this.cameras = null;
    this.order = new Uint32Array(0);
    this.selected = -1;
    this.key = 'line';
    this.descending = false;
    this.asked = 0;
    this.names = new TextDecoder('utf-8');
    this.table = root.querySelector('[role=table]');
    this.body = root.querySelector('.rows');
    this.filter = root.querySelector('input[type=search]');
    this.count = root.querySelector('.count');
    this.list = new VirtualList(this.body, root.querySelector('.row-box'), () => this.createRow(), (row, k) => this.renderRow(row, k));
    this.worker = null;
    for (const button of root.querySelectorAll('[role=columnheader] button')) {
      button.addEventListener('click', () => this.sortBy(button.dataset.key));
    }
    let typing = 0;
    this.filter.addEventListener('input', () => {
      clearTimeout(typing);
      typing = setTimeout(() => this.reorder(), 150);
    });
    this.body.addEventListener('keydown', (event) => this.onKey(event));
    this.body.addEventListener('click', (event) => {
      const row = event.target.closest('[role=row]');
      if (row) this.select(Number(row.dataset.index));
    });
  }

  setCameras(cameras, count) {
    ++this.asked;  // an order asked for the cameras before must not be shown for these
    this.cameras = cameras;
    this.total = count;
    this.selected = -1;
    this.key = 'line';
    this.descending = false;
    this.filter.value = '';
    // The worker holds the columns of the cameras before: it goes with them.
    if (this.worker) this.worker.terminate();
    this.worker = null;
    this.sent = {};
    this.show(new ListOrder(count));
  }

  show(order) {
    this.order = order;
    this.position = this.selected >= 0 ? this.order.indexOf(this.selected) : -1;
    this.table.setAttribute('aria-rowcount', String(order.length + 1));
    for (const header of this.root.querySelectorAll('[role=columnheader]')) {
      const key = header.querySelector('button').dataset.key;
      if (key === this.key) header.setAttribute('aria-sort', this.descending ? 'descending' : 'ascending');
      else header.removeAttribute('aria-sort');
    }
    const n = (v) => v.toLocaleString('en');
    this.count.textContent = order.length === this.total ? `${n(this.total)} ${this.total === 1 ? 'camera' : 'cameras'}`
      : `${n(order.length)} of ${n(this.total)} cameras`;
    delete this.root.dataset.busy;
    this.list.setCount(order.length);
    if (this.position >= 0) this.list.reveal(this.position);
  }

  sortBy(key) {
    this.descending = key === this.key ? !this.descending : false;
    this.key = key;
    this.reorder();
  }

  // Sorting and filtering in a worker: the latest request wins.
  async reorder() {
    if (!this.cameras) return;
    const asked = ++this.asked;
    const needle = this.filter.value.trim();
    if (!needle && this.key === 'line') {
      this.show(this.descending ? cameraOrder(this.cameras, this.total, 'line', true, '') : new ListOrder(this.total));
      return;
    }
    if (!this.worker) {
      const source = `'use strict';\nconst cameraOrder = ${cameraOrder};\nconst cameras = {};\n` +
        'self.onmessage = (event) => {\n' +
        '  const { key, length, from, part } = event.data;\n' +
        '  if (part) {\n' +
        '    if (from === 0) cameras[key] = new part.constructor(length);\n' +
        '    cameras[key].set(part, from);\n' +
        '    return;\n' +
        '  }\n' +
        '  const { asked, count, descending, needle } = event.data;\n' +
        '  const order = cameraOrder(cameras, count, key, descending, needle);\n' +
        '  self.postMessage({ asked, order }, [order.buffer]);\n};\n';
      this.worker = new Worker(URL.createObjectURL(new Blob([source], { type: 'text/javascript' })));
      this.worker.onmessage = (event) => {
        if (event.data.asked === this.asked) this.show(event.data.order);
      };
    }
    this.root.dataset.busy = 'sorting';
    this.count.textContent = needle ? 'filtering…' : 'sorting…';
    const wanted = needle || this.key === 'name' ? ['names', 'nameEnd'] : [];
    if (this.key !== 'line' && this.key !== 'name') wanted.push(this.key);
    const worker = this.worker;
    await Promise.all(wanted.map((key) => this.sent[key] || (this.sent[key] = this.send(worker, key))));
    if (asked !== this.asked) return;
    worker.postMessage({ asked, count: this.total, key: this.key, descending: this.descending, needle });
  }

  // Hands the worker a column of the cameras, once, a part at a time: a column is held in a buffer
  // larger than itself, which a message copies whole, and a million cameras' names and a column
  // held the page for 200 ms on every sort.
  async send(worker, key) {
    const column = this.cameras[key];
    const step = CAMERA_PART_BYTES / column.BYTES_PER_ELEMENT;
    for (let from = 0; from === 0 || from < column.length; from += step) {
      if (from > 0) await new Promise((resolve) => setTimeout(resolve, 0));
      if (worker !== this.worker) return;  // other cameras came meanwhile
      const part = column.slice(from, from + step);
      worker.postMessage({ key, length: column.length, from, part }, [part.buffer]);
    }
  }

  createRow() {
    const row = document.createElement('div');
    row.setAttribute('role', 'row');
    for (const key of CAMERA_COLUMNS) {
      const cell = document.createElement('div');
      cell.setAttribute('role', 'cell');
      cell.className = key;
      row.append(cell);
    }
    return row;
  }

  renderRow(row, k) {
    const i = orderAt(this.order, k);
    const c = this.cameras;
    row.dataset.index = i;
    row.setAttribute('aria-rowindex', String(k + 2));
    // The chosen row, for the eye and for a screen reader.
    row.classList.toggle('selected', i === this.selected);
    if (i === this.selected) row.setAttribute('aria-current', 'true');
    else row.removeAttribute('aria-current');
    const cells = row.children;
    cells[0].textContent = c.line[i];
    cells[1].textContent = cameraName(c, i, this.names);
    for (let f = 2; f < CAMERA_COLUMNS.length; ++f) cells[f].textContent = c[CAMERA_COLUMNS[f]][i];
  }

  // Selects camera `index` (-1: none) and shows its row, if the filter keeps it.
  select(index, tell = true) {
    this.selected = index;
    this.position = index >= 0 ? this.order.indexOf(index) : -1;
    if (this.position >= 0) this.list.reveal(this.position);
    this.list.refresh();
    if (tell) this.onSelect(index);
  }

  // Up and Down (and Page Up, Page Down, Home, End) choose the camera in the rows.
  onKey(event) {
    const n = this.order.length;
    if (n === 0) return;
    const page = Math.max(1, Math.floor(this.body.clientHeight / (this.list.rowHeight || 24)) - 1);
    const moves = { ArrowDown: 1, ArrowUp: -1, PageDown: page, PageUp: -page, Home: -n, End: n };
    if (!(event.key in moves)) return;
    event.preventDefault();
    const from = this.position >= 0 ? this.position : (moves[event.key] > 0 ? -1 : n);
    this.select(orderAt(this.order, Math.min(n - 1, Math.max(0, from + moves[event.key]))));
    this.list.keepInWindow(this.position);
  }
}

// Camera i's name, decoded as UTF-8.
function cameraName(cameras, i, decoder) {
  return decoder.decode(cameras.names.subarray(i === 0 ? 0 : cameras.nameEnd[i - 1], cameras.nameEnd[i]));
}

if (typeof module === 'object') module.exports = { cameraOrder };
