// The map: every camera seen from above (+y up), on a canvas. Near enough,
// each is a marker at (x, y) with an arrow for its yaw and a wedge for its fov;
// where more cameras are in sight than can be drawn one by one, or their
// markers would be one blob, their density is drawn instead. Lines meant as
// cameras but skipped are drawn where their x and y put them, when they are
// few enough in sight to tell apart. It pans by drag and arrow keys and zooms
// by wheel, pinch and + and -. The first half of this file is arithmetic
// (ticks, their labels, the view, an index of the cameras' places, density),
// which tests/web/page_logic_test.mjs runs under node.
'use strict';

const MAP_DETAIL_LIMIT = 3000;  // cameras in sight beyond which density is drawn
const MAP_DENSITY_CELL = 3;     // CSS pixels on a side
// A marker covers about a square of 3 x 3 density cells: where the cells that hold cameras are,
// on average, more than two to such a square, most markers would be drawn over others. Cameras
// at one place are one marker, and one cell.
const MAP_MARKER_CELLS = 3;
const MAP_BUNCHED = 2;
const MAP_BUNCHED_MIN = 20;     // cells of cameras; fewer are drawn one by one, however close
const MAP_WEDGE_RADIUS = 30;    // CSS pixels: the list's units say nothing of a camera's reach
const MAP_ARROW_LENGTH = 22;
const MAP_PICK_RADIUS = 16;
const MAP_FONT = '12px system-ui, sans-serif';
// From a whole list's extent down to a few units across.
const MAP_SCALE_LIMITS = [1e-10, 100];
// The index of places: cameras per cell on average, cells on a side at most, values sampled for its cuts.
const PLACE_CELL_CAMERAS = 4;
const PLACE_SIDE_LIMIT = 1024;
const PLACE_SAMPLES = 65536;
const PLACE_SLICE = 1 << 17;    // cameras indexed in a step
const PLACE_WHOLE_SHARE = 8;    // where a view may hold more than an eighth of the cameras, all are read in order

// About `count` round steps between lo and hi, at least 1 apart (the list's
// numbers are whole): 1, 2 or 5 times a power of ten. At least two ticks
// where two whole numbers lie between, so that the scale can be read.
function ticks(lo, hi, count) {
  const raw = Math.max((hi - lo) / Math.max(count, 1), 1);
  const power = Math.pow(10, Math.floor(Math.log10(raw)));
  let step = [1, 2, 5, 10].map((m) => m * power).find((s) => s >= raw * (1 - 1e-12));
  while (step > 1 && Math.floor(hi / step) - Math.ceil(lo / step) < 1) {
    // The next round step down: 10 to 5, 5 to 2, 2 to 1 (times the power).
    const lead = Math.round(step / Math.pow(10, Math.floor(Math.log10(step) + 1e-9)));
    step = lead === 5 ? (step * 2) / 5 : step / 2;
  }
  const values = [];
  for (let n = Math.ceil(lo / step); n * step <= hi; ++n) values.push(n * step);
  return { values, step };
}

// Short labels for the tick values: with thousands separators up to 9,999,
// beyond that with an SI suffix (k, M, G) and as many decimals as the step needs.
function tickLabels(values, step) {
  const largest = Math.max(0, ...values.map(Math.abs));
  const unit = [[1e9, 'G'], [1e6, 'M'], [1e3, 'k']].find(([size]) => largest >= Math.max(size, 1e4));
  if (!unit) return values.map((v) => (v === 0 ? 0 : v).toLocaleString('en'));
  const [size, suffix] = unit;
  const decimals = Math.max(0, Math.ceil(-Math.log10(step / size) - 1e-9));
  return values.map((v) => (v === 0 ? '0' : (v / size).toFixed(decimals) + suffix));
}

// The smallest box around the first `count` points, and `around` (a box, or null), or null
// when there are none.
function cameraBounds(xs, ys, count, around = null) {
  if (count === 0) return around;
  let x0 = around ? around.x0 : Infinity;
  let x1 = around ? around.x1 : -Infinity;
  let y0 = around ? around.y0 : Infinity;
  let y1 = around ? around.y1 : -Infinity;
  for (let i = 0; i < count; ++i) {
    const x = xs[i];
    const y = ys[i];
    if (x < x0) x0 = x;
    if (x > x1) x1 = x;
    if (y < y0) y0 = y;
    if (y > y1) y1 = y;
  }
  return { x0, x1, y0, y1 };
}

// A view is the point of the list at the centre of the plot and the scale in
// CSS pixels per unit, one scale for both axes so that the angles look as they are.
const clampScale = (scale) => Math.min(MAP_SCALE_LIMITS[1], Math.max(MAP_SCALE_LIMITS[0], scale));

// The view that shows the whole box in a plot of width x height, with a margin.
function fitView(bounds, width, height) {
  if (!bounds) return { cx: 0, cy: 0, scale: 1 };
  const spanX = Math.max(bounds.x1 - bounds.x0, 20);
  const spanY = Math.max(bounds.y1 - bounds.y0, 20);
  const scale = clampScale(Math.min(width / spanX, height / spanY) * 0.9);
  return { cx: (bounds.x0 + bounds.x1) / 2, cy: (bounds.y0 + bounds.y1) / 2, scale };
}

// Plot coordinates (CSS pixels from the plot's top left corner) of a point of the list, and back.
function toScreen(view, width, height, x, y) {
  return [width / 2 + (x - view.cx) * view.scale, height / 2 - (y - view.cy) * view.scale];
}
function toWorld(view, width, height, sx, sy) {
  return [view.cx + (sx - width / 2) / view.scale, view.cy - (sy - height / 2) / view.scale];
}

// Zoomed by `factor`, keeping the point of the list under (sx, sy) where it is.
function zoomView(view, factor, sx, sy, width, height) {
  const scale = clampScale(view.scale * factor);
  const [x, y] = toWorld(view, width, height, sx, sy);
  return { cx: x - (sx - width / 2) / scale, cy: y + (sy - height / 2) / scale, scale };
}

// Moved so that the list follows a drag of (dx, dy) CSS pixels.
function panView(view, dx, dy) {
  return { cx: view.cx - dx / view.scale, cy: view.cy + dy / view.scale, scale: view.scale };
}

// Where each camera is, so that a view or a pick looks only at the cameras near it rather than
// at a million: a grid of cells over the cameras, and their indices listed cell by cell. The grid
// spans the middle of the cameras, from the hundredth of them with the least x (or y) to the
// hundredth with the most, and its edge cells also hold the cameras beyond: a few far off then
// do not squeeze the rest into one cell. Made a slice of cameras at a time (a generator that
// yields between slices), so that millions of cameras do not hold up the page.
function* placeSteps(xs, ys, count) {
  const side = Math.max(1, Math.min(PLACE_SIDE_LIMIT, Math.round(Math.sqrt(count / PLACE_CELL_CAMERAS))));
  const columns = axisCells(xs, count, side);
  const rows = axisCells(ys, count, side);
  const places = { xs, ys, count, side, columns, rows, starts: new Uint32Array(side * side + 1), order: null };
  yield;
  for (let from = 0; from < count; from += PLACE_SLICE) {
    tallyCells(places, from, Math.min(count, from + PLACE_SLICE));
    yield;
  }
  const starts = places.starts;
  for (let cell = 0; cell < side * side; ++cell) starts[cell + 1] += starts[cell];
  const next = starts.slice(0, side * side);
  yield;
  const order = new Uint32Array(count);
  yield;
  // Written first in order, a slice at a time: memory written for the first time is dear, and
  // the listing writes it in no order.
  for (let from = 0; from < count; from += 8 * PLACE_SLICE) {
    order.fill(0, from, Math.min(count, from + 8 * PLACE_SLICE));
    yield;
  }
  for (let from = 0; from < count; from += PLACE_SLICE) {
    listByCell(places, next, order, from, Math.min(count, from + PLACE_SLICE));
    yield;
  }
  places.order = order;
  return places;
}

// Counts cameras [from, to) in the cells that hold them: the cells' starts, one on.
function tallyCells(places, from, to) {
  const { xs, ys, side, columns, rows, starts } = places;
  for (let i = from; i < to; ++i) ++starts[cellAt(rows, ys[i]) * side + cellAt(columns, xs[i]) + 1];
}

// Lists cameras [from, to) at the next free entry of the cells that hold them.
function listByCell(places, next, order, from, to) {
  const { xs, ys, side, columns, rows } = places;
  for (let i = from; i < to; ++i) order[next[cellAt(rows, ys[i]) * side + cellAt(columns, xs[i])]++] = i;
}

// The index of places made at once.
function placeIndex(xs, ys, count) {
  const steps = placeSteps(xs, ys, count);
  for (;;) {
    const { done, value } = steps.next();
    if (done) return value;
  }
}

// All the cameras in one cell, in the list's order: an index that costs nothing to make, for the
// map to look at every camera until the index is made.
function wholeList(xs, ys, count) {
  const one = { lo: 0, per: 0, side: 1 };
  return { xs, ys, count, side: 1, columns: one, rows: one, starts: [0, count], order: null };
}

// A grid's cells along one axis: `side` of them, equal, from the values' first percentile to their
// last (from a sample of the first `count` values).
function axisCells(values, count, side) {
  if (count === 0) return { lo: 0, per: 0, side };
  const samples = Math.min(count, PLACE_SAMPLES);
  const sample = new Int32Array(samples);
  for (let k = 0; k < samples; ++k) sample[k] = values[Math.floor((k * count) / samples)];
  sample.sort();
  const lo = sample[Math.floor(samples / 100)];
  const hi = sample[samples - 1 - Math.floor(samples / 100)];
  return { lo, per: side / (hi - lo + 1), side };
}

// The cell that holds v along an axis; the edge cells hold the values beyond.
const cellAt = (axis, v) => Math.min(axis.side - 1, Math.max(0, Math.floor((v - axis.lo) * axis.per)));

// The runs [from, to) of the entries of `order` that hold every camera with x in [x0, x1] and
// y in [y0, y1], among others near them: { order, runs: [from, to, from, to, ...] }. Where those
// are a good part of all, order is null and the one run is the whole list, read in its order:
// reading the cameras' places by index, one here and one there, is slower than reading them all.
function placeRuns(places, x0, x1, y0, y1) {
  if (!(x0 <= x1 && y0 <= y1)) return { order: null, runs: [] };
  const { side, starts } = places;
  const column0 = cellAt(places.columns, x0);
  const column1 = cellAt(places.columns, x1);
  const row0 = cellAt(places.rows, y0);
  const row1 = cellAt(places.rows, y1);
  let held = 0;
  for (let row = row0; row <= row1; ++row) held += starts[row * side + column1 + 1] - starts[row * side + column0];
  if (held > places.count / PLACE_WHOLE_SHARE) return { order: null, runs: [0, places.count] };
  const runs = [];
  for (let row = row0; row <= row1; ++row) {
    const from = starts[row * side + column0];
    const to = starts[row * side + column1 + 1];
    if (from < to) runs.push(from, to);
  }
  return { order: places.order, runs };
}

// Calls visit(i) for each camera i that placeRuns finds for the box, until visit returns true;
// returns whether they came in the list's order. (densityGrid, which reads every camera in
// sight on every drawing, has the loop of its own.)
function visitPlaced(places, x0, x1, y0, y1, visit) {
  const { order, runs } = placeRuns(places, x0, x1, y0, y1);
  for (let r = 0; r < runs.length; r += 2) {
    for (let k = runs[r]; k < runs[r + 1]; ++k) {
      if (visit(order ? order[k] : k)) return !order;
    }
  }
  return !order;
}

// How many cameras fall in each cell of `cell` CSS pixels of the plot, how many are in sight,
// and how many cells hold one or more.
function densityGrid(places, view, width, height, cell) {
  const columns = Math.ceil(width / cell);
  const rows = Math.ceil(height / cell);
  const grid = { columns, rows, counts: new Uint32Array(columns * rows), largest: 0, inView: 0, occupied: 0 };
  const left = view.cx - width / 2 / view.scale;
  const top = view.cy + height / 2 / view.scale;
  const perCell = view.scale / cell;
  // A unit more on each side: the cells' own test below decides.
  const { order, runs } = placeRuns(places, left - 1, left + columns / perCell + 1, top - rows / perCell - 1, top + 1);
  for (let r = 0; r < runs.length; r += 2) tallyRun(grid, places.xs, places.ys, order, runs[r], runs[r + 1], left, top, perCell);
  return grid;
}

// Adds the cameras of entries [from, to) of `order` (of the list itself, if null) to the grid. A
// function of its own, with no more in its loop than it needs: the browser makes it fast soon
// enough for the first drawing of a million cameras, which looks at each of them.
function tallyRun(grid, xs, ys, order, from, to, left, top, perCell) {
  const { columns, rows, counts } = grid;
  let { largest, inView, occupied } = grid;
  for (let k = from; k < to; ++k) {
    const i = order === null ? k : order[k];
    const u = (xs[i] - left) * perCell;
    const v = (top - ys[i]) * perCell;
    if (!(u >= 0 && u < columns && v >= 0 && v < rows)) continue;
    const at = (v | 0) * columns + (u | 0);
    const n = counts[at] + 1;
    counts[at] = n;
    if (n > largest) largest = n;
    if (n === 1) ++occupied;
    ++inView;
  }
  Object.assign(grid, { largest, inView, occupied });
}

// How many squares of k x k cells of the grid hold a camera: about how many markers of
// that size could be told apart.
function occupiedSquares(grid, k) {
  const columns = Math.ceil(grid.columns / k);
  const seen = new Uint8Array(columns * Math.ceil(grid.rows / k));
  let occupied = 0;
  for (let row = 0; row < grid.rows; ++row) {
    for (let column = 0; column < grid.columns; ++column) {
      if (grid.counts[row * grid.columns + column] === 0) continue;
      const square = Math.floor(row / k) * columns + Math.floor(column / k);
      occupied += 1 - seen[square];
      seen[square] = 1;
    }
  }
  return occupied;
}

// Whether the cameras in the grid are drawn as density: too many in sight to draw one by one,
// or so close together that their markers would be one blob.
function drawsDensity(grid) {
  if (grid.inView > MAP_DETAIL_LIMIT) return true;
  return grid.occupied >= MAP_BUNCHED_MIN && grid.occupied > MAP_BUNCHED * occupiedSquares(grid, MAP_MARKER_CELLS);
}

// How many of the cameras stand at (x, y): markers drawn one over another.
function samePlace(places, x, y) {
  let here = 0;
  visitPlaced(places, x, x, y, y, (i) => {
    here += places.xs[i] === x && places.ys[i] === y ? 1 : 0;
  });
  return here;
}

// The cameras (indices, ascending) whose plot coordinates lie within `margin` CSS pixels of the
// plot, with those coordinates: [i, sx, sy, ...]. At most `limit` of them, and one more if
// there are more.
function camerasInSight(places, view, width, height, margin, limit = Infinity) {
  const [x0, y1] = toWorld(view, width, height, -margin - 1, -margin - 1);
  const [x1, y0] = toWorld(view, width, height, width + margin + 1, height + margin + 1);
  const found = [];
  const listed = visitPlaced(places, x0, x1, y0, y1, (i) => {
    const [sx, sy] = toScreen(view, width, height, places.xs[i], places.ys[i]);
    if (sx >= -margin && sy >= -margin && sx <= width + margin && sy <= height + margin) found.push(i, sx, sy);
    return found.length > 3 * limit;
  });
  if (listed) return found;
  const shown = [];
  for (const k of Uint32Array.from({ length: found.length / 3 }, (_, k) => 3 * k).sort((a, b) => found[a] - found[b])) {
    shown.push(found[k], found[k + 1], found[k + 2]);
  }
  return shown;
}

// The camera drawn nearest to (sx, sy), if one is within `radius` CSS pixels (of several as near,
// the last in the list); else -1.
function nearestCamera(places, view, width, height, sx, sy, radius) {
  const [x, y] = toWorld(view, width, height, sx, sy);
  const reach = radius / view.scale;
  let best = -1;
  let bestDistance = reach * reach;
  visitPlaced(places, x - reach, x + reach, y - reach, y + reach, (i) => {
    const dx = places.xs[i] - x;
    const dy = places.ys[i] - y;
    const distance = dx * dx + dy * dy;
    if (distance < bestDistance || (distance === bestDistance && i > best)) {
      best = i;
      bestDistance = distance;
    }
  });
  return best;
}

// ---- the map on the page ----

class CameraMap {
  // root: the focusable map element, holding a canvas and a layer for the tick labels;
  // note: where to say how many cameras are in sight, and how they are drawn.
  // onSelect(index, missed): a camera was chosen (-1: none; `missed`: a pick found nothing);
  // onNearMiss(k): the near miss k was.
  constructor(root, note, onSelect, onNearMiss) {
    this.root = root;
    this.note = note;
    this.canvas = root.querySelector('canvas');
    this.ticks = root.querySelector('.ticks');
    this.onSelect = onSelect;
    this.onNearMiss = onNearMiss;
    this.cameras = null;
    this.count = 0;
    this.misses = { count: 0 };
    this.places = null;
    this.missPlaces = null;
    this.indexing = 0;  // indices of places begun
    this.selectedMiss = -1;
    this.view = { cx: 0, cy: 0, scale: 1 };
    this.selected = -1;
    this.pending = 0;
    this.pointers = new Map();
    this.measure = document.createElement('canvas').getContext('2d');
    this.measure.font = MAP_FONT;
    // A label's text out of sight, whose size changes with the spacing a reader sets for text (a
    // style sheet of theirs, added at any time): the labels are measured and placed again then.
    const gauge = document.createElement('span');
    gauge.className = 'gauge';
    gauge.setAttribute('aria-hidden', 'true');
    gauge.textContent = '-0,000';
    root.append(gauge);
    this.gauge = gauge;
    this.drawnFor = '';  // the sizes() of the last drawing
    const resized = new ResizeObserver(() => {
      if (this.sizes() !== this.drawnFor) this.redraw();
    });
    resized.observe(root);
    resized.observe(gauge);
    // The browser's zoom, or a move to a screen of another pixel ratio, changes no size that the
    // observer sees where the map is at its widest: the canvas is drawn again for its new pixels.
    const watchRatio = () => matchMedia(`(resolution: ${window.devicePixelRatio || 1}dppx)`)
      .addEventListener('change', () => {
        this.redraw();
        watchRatio();
      }, { once: true });
    watchRatio();
    // Its colours are the style sheet's, which change with forced colours (Windows' high contrast) and their theme.
    for (const query of ['(forced-colors: active)', '(prefers-color-scheme: dark)']) {
      matchMedia(query).addEventListener('change', () => this.redraw());
    }
    this.listen();
  }

  // The cameras, and the near misses that have a place: { count, x, y }; `bounds`, the cameras'
  // box, if it is known already.
  setCameras(cameras, count, misses = { count: 0 }, bounds = cameraBounds(cameras.x, cameras.y, count)) {
    this.cameras = cameras;
    this.count = count;
    this.misses = misses;
    this.places = wholeList(cameras.x, cameras.y, count);
    this.missPlaces = wholeList(misses.x, misses.y, misses.count);
    this.indexPlaces();
    this.selected = -1;
    this.selectedMiss = -1;
    this.bounds = cameraBounds(misses.x, misses.y, misses.count, bounds);
    this.fit();
  }

  // Makes the index of places, a slice at a time between other work, and uses it once it is made.
  async indexPlaces() {
    const made = ++this.indexing;
    for (const [key, places] of [['places', this.places], ['missPlaces', this.missPlaces]]) {
      const steps = placeSteps(places.xs, places.ys, places.count);
      for (let step = steps.next(); ; step = steps.next()) {
        if (made !== this.indexing) return;  // other cameras came meanwhile
        if (step.done) {
          this[key] = step.value;
          break;
        }
        await new Promise((resolve) => setTimeout(resolve, 0));
      }
    }
  }

  // What the drawing depends on of the sizes: the map's width and the labels' spacing. Its height
  // follows from its width, and the map shown, or drawn, changes it: that alone would draw a
  // million cameras a second time.
  sizes() {
    const { width, height } = this.gauge.getBoundingClientRect();
    return `${this.root.clientWidth} ${width} ${height}`;
  }

  // The plot's place in the canvas: room on the left for the widest y label,
  // which depends only on the view's vertical extent, and above for the y axis's name.
  layout() {
    const width = this.root.clientWidth;
    const height = Math.round(Math.min(Math.max(width * 0.75, 260), 560));
    // Room above for the y axis's name, and below for the x labels and the axis's name, as tall as
    // their lines are in whatever spacing a reader has set for text (the gauge's line is a label's).
    const line = Math.max(12, Math.ceil(this.gauge.getBoundingClientRect().height));
    const name = Math.ceil((line * 13) / 12);
    const top = name + 9;
    const plotHeight = height - top - (line + name + 11);
    const half = plotHeight / 2 / this.view.scale;
    const y = ticks(this.view.cy - half, this.view.cy + half, Math.max(2, Math.floor(plotHeight / 48)));
    const left = Math.ceil(this.widest(tickLabels(y.values, y.step))) + 14;
    return { width, height, left, top, plotWidth: width - left - 12, plotHeight, line };
  }

  widest(labels) {
    return Math.max(10, ...labels.map((text) => this.measure.measureText(text).width));
  }

  fit() {
    const { plotWidth, plotHeight } = this.layout();
    this.view = fitView(this.bounds, plotWidth, plotHeight);
    this.redraw();
  }
  zoom(factor) {
    const { plotWidth, plotHeight } = this.layout();
    this.view = zoomView(this.view, factor, plotWidth / 2, plotHeight / 2, plotWidth, plotHeight);
    this.redraw();
  }
  pan(dx, dy) {
    this.view = panView(this.view, dx, dy);
    this.redraw();
  }

  // Selects camera `index` (-1: none), moving the map to it if asked or if it is out of
  // sight, and tells whoever listens (`missed`: a pick found no camera).
  select(index, { centre = false, tell = true, missed = false } = {}) {
    this.selected = index;
    this.selectedMiss = -1;
    if (index >= 0) {
      const { plotWidth, plotHeight } = this.layout();
      const [sx, sy] = toScreen(this.view, plotWidth, plotHeight, this.cameras.x[index], this.cameras.y[index]);
      if (centre || sx < 0 || sy < 0 || sx > plotWidth || sy > plotHeight) {
        this.view = { ...this.view, cx: this.cameras.x[index], cy: this.cameras.y[index] };
      }
    }
    this.redraw();
    if (tell) this.onSelect(index, missed);
  }

  // Selects the camera nearest to (sx, sy) in plot coordinates, within `reach` CSS pixels, or
  // the near miss drawn there when it is nearer, or says there is none there.
  pick(sx, sy, reach = MAP_PICK_RADIUS) {
    const { plotWidth, plotHeight } = this.layout();
    const c = this.cameras;
    const found = c ? nearestCamera(this.places, this.view, plotWidth, plotHeight, sx, sy, reach) : -1;
    const m = this.misses;
    const miss = this.missesShown ? nearestCamera(this.missPlaces, this.view, plotWidth, plotHeight, sx, sy, reach) : -1;
    const distance = (x, y) => {
      const [px, py] = toScreen(this.view, plotWidth, plotHeight, x, y);
      return Math.hypot(px - sx, py - sy);
    };
    if (miss >= 0 && (found < 0 || distance(m.x[miss], m.y[miss]) < distance(c.x[found], c.y[found]))) {
      this.selected = -1;
      this.selectedMiss = miss;
      this.redraw();
      this.onNearMiss(miss);
      return;
    }
    this.select(found, { missed: found < 0 });
  }

  redraw() {
    if (!this.pending) this.pending = requestAnimationFrame(() => this.draw());
  }

  draw() {
    this.pending = 0;
    this.drawnFor = this.sizes();
    // The labels are measured as they are shown, in whatever spacing a reader has set for text.
    const spacing = getComputedStyle(this.ticks).letterSpacing;
    this.measure.letterSpacing = spacing === 'normal' ? '0px' : spacing;
    const box = this.layout();
    if (!this.cameras || box.plotWidth < 10) return;  // hidden, or no list yet
    const { width, height, left, top, plotWidth, plotHeight } = box;
    const ratio = window.devicePixelRatio || 1;
    this.canvas.style.height = `${height}px`;
    this.canvas.width = Math.round(width * ratio);
    this.canvas.height = Math.round(height * ratio);
    const g = this.canvas.getContext('2d');
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, width, height);
    const css = getComputedStyle(this.root);
    const colour = (name) => css.getPropertyValue(name).trim();

    // Grid lines and tick labels (the labels are text on the page, so that they stay sharp and legible).
    const [xLeft, yTop] = toWorld(this.view, plotWidth, plotHeight, 0, 0);
    const [xRight, yBottom] = toWorld(this.view, plotWidth, plotHeight, plotWidth, plotHeight);
    const y = ticks(yBottom, yTop, Math.max(2, Math.floor(plotHeight / 48)));
    const yLabels = tickLabels(y.values, y.step);
    const probe = ticks(xLeft, xRight, 8);
    const widest = this.widest(tickLabels(probe.values, probe.step));
    const x = ticks(xLeft, xRight, Math.max(2, Math.floor(plotWidth / (widest + 24))));
    const xLabels = tickLabels(x.values, x.step);
    const labels = [];
    let xLabelEnd = -Infinity;  // where the last x label shown ends
    let yLabelAt = -Infinity;   // where the last y label shown stands
    g.strokeStyle = colour('--map-grid');
    g.lineWidth = 1;
    g.beginPath();
    x.values.forEach((value, i) => {
      const sx = left + toScreen(this.view, plotWidth, plotHeight, value, 0)[0];
      g.moveTo(Math.round(sx) + 0.5, top);
      g.lineTo(Math.round(sx) + 0.5, top + plotHeight);
      // A label by the canvas's edge is moved in to be whole, unless it then meets the one before.
      const half = this.measure.measureText(xLabels[i]).width / 2;
      const at = Math.min(Math.max(sx, half), width - half);
      if (at - half >= xLabelEnd + 8) {
        labels.push(['x', at, top + plotHeight + 4, xLabels[i]]);
        xLabelEnd = at + half;
      }
    });
    y.values.forEach((value, i) => {
      const sy = top + toScreen(this.view, plotWidth, plotHeight, 0, value)[1];
      g.moveTo(left, Math.round(sy) + 0.5);
      g.lineTo(left + plotWidth, Math.round(sy) + 0.5);
      // Likewise, a label by the plot's top or bottom is moved in to be whole.
      const at = Math.min(Math.max(sy, top + 6), top + plotHeight - 6);
      if (Math.abs(at - yLabelAt) >= 14) {
        labels.push(['y', left - 6, at, yLabels[i]]);
        yLabelAt = at;
      }
    });
    g.stroke();
    // Where labels as long as a zoom near 2,000,000,000 makes them leave one in sight, the axis's
    // name says how far apart its grid lines are.
    const named = (axis, step) => {
      const shown = labels.filter(([a]) => a === axis).length;
      return shown >= 2 ? axis : `${axis} (grid ${tickLabels([step], step)[0]})`;
    };
    this.showLabels(labels, box, named('x', x.step), named('y', y.step));

    // The cameras, clipped to the plot.
    g.save();
    g.beginPath();
    g.rect(left, top, plotWidth, plotHeight);
    g.clip();
    g.translate(left, top);
    const c = this.cameras;
    const grid = densityGrid(this.places, this.view, plotWidth, plotHeight, MAP_DENSITY_CELL);
    // Those drawn one by one include the cameras just beyond the plot whose wedges reach into it:
    // where these are many (a million at a point just out of sight), density is drawn too.
    const shown = drawsDensity(grid) ? null : camerasInSight(this.places, this.view, plotWidth, plotHeight, MAP_WEDGE_RADIUS, MAP_DETAIL_LIMIT);
    this.dense = !shown || shown.length > 3 * MAP_DETAIL_LIMIT;
    if (this.dense) this.drawDensity(g, grid, colour('--map-dense'));
    else this.drawCameras(g, shown, colour);
    this.missesShown = this.drawNearMisses(g, plotWidth, plotHeight, colour);
    const ring = this.selected >= 0 ? [c.x[this.selected], c.y[this.selected]]
      : this.selectedMiss >= 0 ? [this.misses.x[this.selectedMiss], this.misses.y[this.selectedMiss]] : null;
    if (ring) {
      const [sx, sy] = toScreen(this.view, plotWidth, plotHeight, ...ring);
      g.lineWidth = 2.5;
      g.strokeStyle = colour('--map-selected');
      g.beginPath();
      g.arc(sx, sy, 8, 0, 2 * Math.PI);
      g.stroke();
    }
    if (document.activeElement === this.root) {
      // The cross that Enter picks at.
      g.strokeStyle = colour('--ink');
      g.lineWidth = 1.5;
      g.beginPath();
      g.moveTo(plotWidth / 2 - 10, plotHeight / 2);
      g.lineTo(plotWidth / 2 + 10, plotHeight / 2);
      g.moveTo(plotWidth / 2, plotHeight / 2 - 10);
      g.lineTo(plotWidth / 2, plotHeight / 2 + 10);
      g.stroke();
    }
    g.restore();
    g.strokeStyle = colour('--map-frame');
    g.strokeRect(left + 0.5, top + 0.5, plotWidth - 1, plotHeight - 1);
    this.root.dataset.inView = grid.inView;
    const n = (v) => v.toLocaleString('en');
    const misses = this.misses.count === 0 ? ''
      : this.missesShown ? ` Near misses (skipped lines) in sight: ${n(this.missesInView)} of ${n(this.misses.count)}.`
        : ` More than ${n(MAP_DETAIL_LIMIT)} near misses (skipped lines) in sight: zoom in to see them.`;
    this.note.textContent = (this.dense ? `${n(grid.inView)} of ${n(this.count)} cameras in sight, drawn as density: ` +
      `the darkest squares of ${MAP_DENSITY_CELL} px hold ${n(grid.largest)}. Zoom in to see each camera.`
      : `${n(grid.inView)} of ${n(this.count)} cameras in sight.`) + misses;
  }

  // Darker where more cameras are, on a logarithmic scale so that lone cameras still show: each
  // cell's opacity, then the colour over them all, which may be any the style sheet gives (a
  // system colour where the colours are forced).
  drawDensity(g, grid, dense) {
    const image = new ImageData(grid.columns, grid.rows);
    const pixels = new Uint32Array(image.data.buffer);
    const scale = 1 / Math.log1p(grid.largest);
    for (let i = 0; i < grid.counts.length; ++i) {
      const n = grid.counts[i];
      if (n === 0) continue;
      const alpha = Math.round(255 * (0.3 + 0.7 * Math.log1p(n) * scale));
      pixels[i] = (alpha << 24) | 0xffffff;
    }
    const cells = document.createElement('canvas');
    cells.width = grid.columns;
    cells.height = grid.rows;
    const painted = cells.getContext('2d');
    painted.putImageData(image, 0, 0);
    painted.globalCompositeOperation = 'source-in';
    painted.fillStyle = dense;
    painted.fillRect(0, 0, grid.columns, grid.rows);
    g.imageSmoothingEnabled = false;
    g.drawImage(cells, 0, 0, grid.columns * MAP_DENSITY_CELL, grid.rows * MAP_DENSITY_CELL);
  }

  // `shown`: the cameras to draw, as camerasInSight gives them.
  drawCameras(g, shown, colour) {
    const c = this.cameras;
    const radians = (degrees) => (degrees * Math.PI) / 180;
    g.fillStyle = colour('--map-wedge');
    for (let k = 0; k < shown.length; k += 3) {
      const i = shown[k];
      const fov = c.fov[i];
      if (fov <= 0) continue;
      g.beginPath();
      g.moveTo(shown[k + 1], shown[k + 2]);
      // The screen's y points down: counter-clockwise on the map is anticlockwise here.
      if (fov >= 360) g.arc(shown[k + 1], shown[k + 2], MAP_WEDGE_RADIUS, 0, 2 * Math.PI);
      else g.arc(shown[k + 1], shown[k + 2], MAP_WEDGE_RADIUS, -radians(c.yaw[i] - fov / 2), -radians(c.yaw[i] + fov / 2), true);
      g.fill();
    }
    g.strokeStyle = colour('--accent');
    g.lineWidth = 1.5;
    g.beginPath();
    for (let k = 0; k < shown.length; k += 3) {
      const a = radians(c.yaw[shown[k]]);
      g.moveTo(shown[k + 1], shown[k + 2]);
      g.lineTo(shown[k + 1] + MAP_ARROW_LENGTH * Math.cos(a), shown[k + 2] - MAP_ARROW_LENGTH * Math.sin(a));
    }
    g.stroke();
    g.fillStyle = colour('--map-marker');
    g.strokeStyle = colour('--map-halo');
    g.lineWidth = 1;
    for (let k = 0; k < shown.length; k += 3) {
      g.beginPath();
      g.arc(shown[k + 1], shown[k + 2], 3.5, 0, 2 * Math.PI);
      g.fill();
      g.stroke();
    }
  }

  // The near misses in sight, each a diamond where its line's x and y put it, when there are few
  // enough to tell apart; returns whether they were drawn.
  drawNearMisses(g, plotWidth, plotHeight, colour) {
    const shown = camerasInSight(this.missPlaces, this.view, plotWidth, plotHeight, 6, MAP_DETAIL_LIMIT);
    this.missesInView = shown.length / 3;
    if (this.missesInView > MAP_DETAIL_LIMIT) return false;
    g.fillStyle = colour('--map-miss');
    g.strokeStyle = colour('--map-halo');
    g.lineWidth = 1;
    for (let k = 0; k < shown.length; k += 3) {
      const [sx, sy] = [shown[k + 1], shown[k + 2]];
      g.beginPath();
      g.moveTo(sx, sy - 5);
      g.lineTo(sx + 5, sy);
      g.lineTo(sx, sy + 5);
      g.lineTo(sx - 5, sy);
      g.closePath();
      g.fill();
      g.stroke();
    }
    return true;
  }

  // The tick labels and the axes' names as elements over the canvas, reused from one drawing to
  // the next.
  showLabels(labels, box, xName, yName) {
    while (this.ticks.children.length < labels.length + 2) this.ticks.append(document.createElement('span'));
    const spans = [...this.ticks.children];
    labels.forEach(([axis, sx, sy, text], i) => {
      const span = spans[i];
      span.className = `tick ${axis}`;
      span.textContent = text;
      span.style.left = axis === 'x' ? `${sx}px` : '';
      span.style.right = axis === 'y' ? `${box.width - sx}px` : '';
      span.style.top = `${sy}px`;
    });
    const names = [[xName, 'axis-name x', `${box.left + box.plotWidth / 2}px`, `${box.top + box.plotHeight + box.line + 7}px`],
      [yName, 'axis-name y', '4px', '4px']];
    names.forEach(([text, className, leftAt, topAt], k) => {
      const span = spans[labels.length + k];
      span.className = className;
      span.textContent = text;
      span.style.left = leftAt;
      span.style.right = '';
      span.style.top = topAt;
    });
    for (const span of spans.slice(labels.length + 2)) span.remove();
  }

  // Drag, pinch, wheel, click and tap; keys when the map has the focus.
  listen() {
    const root = this.root;
    const plotPoint = (event) => {
      const rect = this.canvas.getBoundingClientRect();
      const { left, top } = this.layout();
      return [event.clientX - rect.left - left, event.clientY - rect.top - top];
    };
    let moved = 0;
    root.addEventListener('pointerdown', (event) => {
      if (event.button !== 0) return;
      try {
        root.setPointerCapture(event.pointerId);  // the drag goes on outside the map
      } catch {
        // a pointer that is no longer down
      }
      this.pointers.set(event.pointerId, plotPoint(event));
      moved = 0;
    });
    root.addEventListener('pointermove', (event) => {
      const before = this.pointers.get(event.pointerId);
      if (!before) return;
      const now = plotPoint(event);
      const others = [...this.pointers].filter(([id]) => id !== event.pointerId).map(([, at]) => at);
      if (others.length === 0) {
        this.view = panView(this.view, now[0] - before[0], now[1] - before[1]);
      } else {
        // Pinch: the spread of two fingers zooms about their middle, which the map follows.
        const [other] = others;
        const spread = (a) => Math.hypot(a[0] - other[0], a[1] - other[1]) || 1;
        const { plotWidth, plotHeight } = this.layout();
        const middle = [(now[0] + other[0]) / 2, (now[1] + other[1]) / 2];
        this.view = zoomView(panView(this.view, (now[0] - before[0]) / 2, (now[1] - before[1]) / 2),
          spread(now) / spread(before), middle[0], middle[1], plotWidth, plotHeight);
      }
      moved += Math.abs(now[0] - before[0]) + Math.abs(now[1] - before[1]);
      this.pointers.set(event.pointerId, now);
      this.redraw();
    });
    const release = (event) => {
      if (!this.pointers.has(event.pointerId)) return;
      const alone = this.pointers.size === 1;
      this.pointers.delete(event.pointerId);
      if (event.type === 'pointerup' && alone && moved < 5) this.pick(...plotPoint(event));
    };
    root.addEventListener('pointerup', release);
    root.addEventListener('pointercancel', release);
    root.addEventListener('wheel', (event) => {
      event.preventDefault();
      const lines = event.deltaMode === 1 ? 16 : event.deltaMode === 2 ? 400 : 1;
      const { plotWidth, plotHeight } = this.layout();
      const [sx, sy] = plotPoint(event);
      this.view = zoomView(this.view, Math.exp(-event.deltaY * lines * 0.002), sx, sy, plotWidth, plotHeight);
      this.redraw();
    }, { passive: false });
    root.addEventListener('keydown', (event) => {
      if (event.altKey || event.ctrlKey || event.metaKey) return;
      const { plotWidth, plotHeight } = this.layout();
      const nudge = 0.1 * Math.min(plotWidth, plotHeight);
      const step = event.shiftKey ? 5 * nudge : nudge;
      const moves = { ArrowLeft: [step, 0], ArrowRight: [-step, 0], ArrowUp: [0, step], ArrowDown: [0, -step] };
      if (moves[event.key]) this.pan(...moves[event.key]);
      else if (event.key === '+' || event.key === '=') this.zoom(1.5);
      else if (event.key === '-' || event.key === '_') this.zoom(1 / 1.5);
      else if (event.key === '0' || event.key === 'Home') this.fit();
      // Every place on the map comes within reach of the cross by the arrows' steps.
      else if (event.key === 'Enter' || event.key === ' ') this.pick(plotWidth / 2, plotHeight / 2, Math.max(MAP_PICK_RADIUS, 0.75 * nudge));
      else if (event.key === 'Escape') this.select(-1);
      else return;
      event.preventDefault();
    });
    root.addEventListener('focus', () => this.redraw());
    root.addEventListener('blur', () => this.redraw());
  }
}

if (typeof module === 'object') {
  module.exports = {
    ticks, tickLabels, cameraBounds, fitView, toScreen, toWorld, zoomView, panView, placeIndex, wholeList, placeRuns, densityGrid, drawsDensity,
    samePlace, camerasInSight, nearestCamera,
  };
}
