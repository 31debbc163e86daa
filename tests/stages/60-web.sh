#!/usr/bin/env bash
# The browser page: build it (the converter compiled to WebAssembly, as a
# module with the SIMD128 kernel and one with the portable kernel; the CMake
# preset web, into build-web/page), check that each module converts as the
# command line does, fed in parts of any size, and counts a list past 4 GiB in
# full (tests/web/wasm_kernels_test.mjs, in node), test the page's
# arithmetic under node (tests/web/page_logic_test.mjs), then open the page
# from the disk in Debian's Chromium, headless: by keyboard alone, through the
# axe-core audit, at 320 px, with its downloads compared with the command
# line's output byte for byte in both line-end modes, its findings and export
# with brivel-check's, bad files and their one-click fix
# (tests/web/page_test.mjs); and print its figures on 100 MB of the
# benchmark's realistic list (tests/web/page_timing.mjs: timings are no test).
set -euo pipefail
exec </dev/null

# The page is compared with the native programs of the Linux stage's build.
cmake --preset native >/dev/null
cmake --build build --parallel 2 --target brivel brivel-check
export BRIVEL_PROGRAMS=build
cmake --preset web
# Fails, saying what is missing, where clang cannot build WebAssembly.
cmake --build build-web --parallel 2 --target web

echo "--- each WebAssembly module, in $(node --version 2>/dev/null || echo node)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work/list.txt" <<'PYTHON'
import sys
sys.path.insert(0, "bench")
import run_bench
run_bench.write_lines(sys.argv[1] + ".usual", 1 * run_bench.MB, run_bench.camera_batch)
run_bench.write_lines(sys.argv[1] + ".long", run_bench.MB // 2, run_bench.long_line_batch)
PYTHON
cat "$work/list.txt.usual" "$work/list.txt.long" examples/cameras.txt >"$work/list.txt"
node tests/web/wasm_kernels_test.mjs build-web "$work/list.txt"

if [ ! -x /usr/bin/chromium ]; then
  echo "60-web: no /usr/bin/chromium (.ci/install-deps installs it)" >&2
  exit 1
fi
echo "--- the page's arithmetic: node --test"
node --test tests/web/page_logic_test.mjs
echo "--- playwright-core and axe-core, as pinned in tests/web/package-lock.json"
(cd tests/web && npm ci --no-audit --no-fund)
echo "--- the page in $(/usr/bin/chromium --version 2>/dev/null || echo chromium)"
node tests/web/page_test.mjs build-web
echo "--- the page's figures on 100 MB of the realistic list (not a test)"
python3 - "$work/realistic.txt" <<'PYTHON'
import sys
sys.path.insert(0, "bench")
import run_bench
run_bench.write_lines(sys.argv[1], 100 * run_bench.MB, run_bench.camera_batch)
PYTHON
node tests/web/page_timing.mjs build-web "$work/realistic.txt"
