// The map: the cameras seen from above (+y up), each a marker at (x, y) with
// an arrow for its yaw and a wedge for its fov, zoomed to fit, with axes in
// the list's own units.
'use strict';

const SVG_NS = 'http://www.w3.org/2000/svg';
const MAP = { width: 640, height: 480, left: 64, right: 16, top: 16, bottom: 44 };
const WEDGE_RADIUS = 30;  // screen units: the list's units say nothing of a camera's reach
const ARROW_LENGTH = 22;

function svgElement(name, attributes, parent) {
  const element = document.createElementNS(SVG_NS, name);
  for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
  if (parent) parent.appendChild(element);
  return element;
}

// About `count` round steps between lo and hi: 1, 2 or 5 times a power of ten.
function ticks(lo, hi, count) {
  const raw = (hi - lo) / count;
  const power = Math.pow(10, Math.floor(Math.log10(raw)));
  const step = [1, 2, 5, 10].map((m) => m * power).find((s) => s >= raw);
  const values = [];
  for (let v = Math.ceil(lo / step) * step; v <= hi; v += step) values.push(Math.round(v / step) * step);
  return values;
}

// The span of `values`, widened a little so that no marker sits on the frame.
function span(values) {
  let lo = Math.min(...values);
  let hi = Math.max(...values);
  const pad = hi > lo ? (hi - lo) * 0.08 : 10;
  return [lo - pad, hi + pad];
}

function drawMap(svg, cameras, label) {
  svg.replaceChildren();
  svg.setAttribute('viewBox', `0 0 ${MAP.width} ${MAP.height}`);
  const defs = svgElement('defs', {}, svg);
  const head = svgElement('marker', { id: 'arrow-head', viewBox: '0 0 10 10', refX: 9, refY: 5,
    markerWidth: 7, markerHeight: 7, orient: 'auto-start-reverse' }, defs);
  svgElement('path', { d: 'M0,0 L10,5 L0,10 z', class: 'arrow-head' }, head);
  if (cameras.length === 0) {
    svgElement('text', { x: MAP.width / 2, y: MAP.height / 2, class: 'empty' }, svg).textContent = 'no cameras';
    return;
  }

  // One scale for both axes, so that the angles look as they are.
  const plotWidth = MAP.width - MAP.left - MAP.right;
  const plotHeight = MAP.height - MAP.top - MAP.bottom;
  let [x0, x1] = span(cameras.map((c) => c.x));
  let [y0, y1] = span(cameras.map((c) => c.y));
  const scale = Math.min(plotWidth / (x1 - x0), plotHeight / (y1 - y0));
  const xMid = (x0 + x1) / 2;
  const yMid = (y0 + y1) / 2;
  [x0, x1] = [xMid - plotWidth / scale / 2, xMid + plotWidth / scale / 2];
  [y0, y1] = [yMid - plotHeight / scale / 2, yMid + plotHeight / scale / 2];
  const sx = (x) => MAP.left + (x - x0) * scale;
  const sy = (y) => MAP.top + plotHeight - (y - y0) * scale;

  const axes = svgElement('g', { class: 'axes' }, svg);
  svgElement('rect', { x: MAP.left, y: MAP.top, width: plotWidth, height: plotHeight, class: 'frame' }, axes);
  for (const x of ticks(x0, x1, 7)) {
    svgElement('line', { x1: sx(x), x2: sx(x), y1: MAP.top, y2: MAP.top + plotHeight, class: 'grid' }, axes);
    svgElement('text', { x: sx(x), y: MAP.top + plotHeight + 16, class: 'tick x' }, axes).textContent = x;
  }
  for (const y of ticks(y0, y1, 6)) {
    svgElement('line', { x1: MAP.left, x2: MAP.left + plotWidth, y1: sy(y), y2: sy(y), class: 'grid' }, axes);
    svgElement('text', { x: MAP.left - 6, y: sy(y) + 4, class: 'tick y' }, axes).textContent = y;
  }
  svgElement('text', { x: MAP.left + plotWidth / 2, y: MAP.height - 6, class: 'axis-name' }, axes).textContent = 'x';
  svgElement('text', { x: 14, y: MAP.top + plotHeight / 2, class: 'axis-name' }, axes).textContent = 'y';

  const layer = svgElement('g', { class: 'cameras' }, svg);
  for (const camera of cameras) {
    const cx = sx(camera.x);
    const cy = sy(camera.y);
    const at = (degrees, r) => {
      const a = (degrees * Math.PI) / 180;
      return `${(cx + r * Math.cos(a)).toFixed(1)},${(cy - r * Math.sin(a)).toFixed(1)}`;
    };
    const group = svgElement('g', { class: 'camera' }, layer);
    group.dataset.name = camera.name;
    svgElement('title', {}, group).textContent =
      `${camera.name}: x=${camera.x} y=${camera.y} yaw=${camera.yaw} fov=${camera.fov}`;
    if (camera.fov >= 360) {
      svgElement('circle', { cx, cy, r: WEDGE_RADIUS, class: 'fov' }, group);
    } else if (camera.fov > 0) {
      // Counter-clockwise on the screen, as on the map: sweep flag 0.
      const large = camera.fov > 180 ? 1 : 0;
      const d = `M${cx},${cy} L${at(camera.yaw - camera.fov / 2, WEDGE_RADIUS)} ` +
        `A${WEDGE_RADIUS},${WEDGE_RADIUS} 0 ${large} 0 ${at(camera.yaw + camera.fov / 2, WEDGE_RADIUS)} Z`;
      svgElement('path', { d, class: 'fov' }, group);
    }
    const [ax, ay] = at(camera.yaw, ARROW_LENGTH).split(',');
    svgElement('line', { x1: cx, y1: cy, x2: ax, y2: ay, class: 'yaw', 'marker-end': 'url(#arrow-head)' }, group);
    svgElement('circle', { cx, cy, r: 3.5, class: 'marker' }, group);
  }

  // The name of the camera under the pointer, at once (a title shows only after a while).
  const hover = svgElement('text', { class: 'hover-name' }, svg);
  layer.addEventListener('mouseover', (event) => {
    const group = event.target.closest('g.camera');
    if (!group) return;
    const marker = group.querySelector('circle.marker');
    hover.textContent = group.dataset.name;
    hover.setAttribute('x', Number(marker.getAttribute('cx')) + 8);
    hover.setAttribute('y', Number(marker.getAttribute('cy')) - 8);
    if (label) label.textContent = group.dataset.name;
  });
  layer.addEventListener('mouseout', () => {
    hover.textContent = '';
  });
}
