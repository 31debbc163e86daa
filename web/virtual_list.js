// Lists of any length (a million cameras, a hundred thousand near misses):
// only the rows in sight exist as elements, moved into place as the list
// scrolls. virtualWindow and scrollTopFor are arithmetic, which
// tests/web/page_logic_test.mjs runs under node.
'use strict';

// Browsers cap an element's height (Chromium near 33.5 million CSS pixels), so
// past this height a pixel of scrolling moves more than a pixel of rows.
const VIRTUAL_MAX_HEIGHT = 8e6;

// The rows to show at a scroll position, [first, last), where the first one goes
// (its top in the scrolled content) and how tall the content is.
function virtualWindow(scrollTop, viewportHeight, rowHeight, count, overscan = 4) {
  const full = count * rowHeight;
  const height = Math.min(full, VIRTUAL_MAX_HEIGHT);
  const travel = Math.max(height - viewportHeight, 0);
  const fraction = travel > 0 ? Math.min(Math.max(scrollTop / travel, 0), 1) : 0;
  const virtualTop = fraction * Math.max(full - viewportHeight, 0);
  const first = Math.max(0, Math.floor(virtualTop / rowHeight) - overscan);
  const last = Math.min(count, Math.ceil((virtualTop + viewportHeight) / rowHeight) + overscan);
  return { first, last, top: Math.max(0, scrollTop) - (virtualTop - first * rowHeight), height };
}

// The scroll position that brings row `index` into the middle of the view.
function scrollTopFor(index, viewportHeight, rowHeight, count) {
  const full = count * rowHeight;
  const height = Math.min(full, VIRTUAL_MAX_HEIGHT);
  const wanted = Math.min(Math.max(index * rowHeight - (viewportHeight - rowHeight) / 2, 0), Math.max(full - viewportHeight, 0));
  return full > viewportHeight ? (wanted / (full - viewportHeight)) * (height - viewportHeight) : 0;
}

class VirtualList {
  // scroller: the element that scrolls; rows: the element inside it that holds the rows.
  // createRow() makes an empty row, renderRow(row, index) fills it. Rows whose text wraps are
  // all as tall as the tallest: fillTallest(row), if given, fills a row as that one would be
  // filled. It is measured at the list's width, whatever its text's size and spacing, and the
  // rows' height is --row-height on the scroller.
  constructor(scroller, rows, createRow, renderRow, fillTallest = null) {
    this.scroller = scroller;
    this.rows = rows;
    this.createRow = createRow;
    this.renderRow = renderRow;
    this.fillTallest = fillTallest;
    this.count = 0;
    this.rowHeight = 0;
    this.pending = 0;
    this.sizer = document.createElement('div');
    this.sizer.className = 'virtual-sizer';
    this.sizer.setAttribute('aria-hidden', 'true');
    scroller.prepend(this.sizer);
    scroller.addEventListener('scroll', () => this.refresh());
    new ResizeObserver(() => this.refresh()).observe(scroller);
    if (fillTallest) {
      // Out of sight, where the rows are, and measured again whenever its height changes.
      const box = rows.cloneNode(false);
      box.classList.add('virtual-tallest');
      box.setAttribute('aria-hidden', 'true');
      this.tallest = createRow();
      box.append(this.tallest);
      scroller.append(box);
      new ResizeObserver(() => this.measure() && this.refresh()).observe(this.tallest);
    }
  }

  setCount(count) {
    this.count = count;
    this.scroller.scrollTop = 0;
    if (this.fillTallest && count > 0) {
      this.fillTallest(this.tallest);
      this.measure();
    }
    this.draw();
  }

  // Takes the tallest row's height (none while the list is hidden); whether it changed.
  measure() {
    const height = Math.ceil(this.tallest.getBoundingClientRect().height);
    if (height === this.rowHeight) return false;
    this.rowHeight = height;
    this.scroller.style.setProperty('--row-height', `${height}px`);
    return true;
  }

  refresh() {
    if (!this.pending) this.pending = requestAnimationFrame(() => this.draw());
  }

  // Brings row `index` into sight.
  reveal(index) {
    if (!this.rowHeight) this.draw();
    const { first, last } = this.window();
    if (index > first + 4 && index < last - 5) return;
    this.scroller.scrollTop = scrollTopFor(index, this.scroller.clientHeight, this.rowHeight, this.count);
    this.draw();
  }

  // Scrolls the page, if need be, so that row `index`, in sight in the list, is in the window
  // too: the list may be taller than the window (a page zoomed in).
  keepInWindow(index) {
    this.draw();
    const row = this.rows.children[index - this.window().first];
    if (!row) return;
    const box = row.getBoundingClientRect();
    if (box.top < 0) window.scrollBy(0, box.top);
    else if (box.bottom > window.innerHeight) window.scrollBy(0, box.bottom - window.innerHeight);
  }

  window() {
    return virtualWindow(this.scroller.scrollTop, this.scroller.clientHeight, this.rowHeight, this.count);
  }

  draw() {
    cancelAnimationFrame(this.pending);
    this.pending = 0;
    if (!this.rowHeight) {
      if (this.fillTallest) return;  // hidden
      // The height of a row, as the style sheet makes it; none while the list is hidden.
      const probe = this.createRow();
      this.rows.append(probe);
      this.rowHeight = probe.getBoundingClientRect().height;
      probe.remove();
      if (!this.rowHeight) return;
    }
    const { first, last, top, height } = this.window();
    this.sizer.style.height = `${height}px`;
    this.rows.style.transform = `translateY(${top}px)`;
    const wanted = last - first;
    while (this.rows.children.length < wanted) this.rows.append(this.createRow());
    while (this.rows.children.length > wanted) this.rows.lastElementChild.remove();
    for (let k = 0; k < wanted; ++k) this.renderRow(this.rows.children[k], first + k);
  }
}

if (typeof module === 'object') module.exports = { virtualWindow, scrollTopFor, VIRTUAL_MAX_HEIGHT };
