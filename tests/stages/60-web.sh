#!/usr/bin/env bash
# The browser page: build it (the converter compiled to WebAssembly), test the
# page's arithmetic under node (tests/web/page_logic_test.mjs), then open it
# from the disk in Debian's Chromium, headless: by keyboard alone, through the
# axe-core audit, at 390 px, and with its downloads compared with the command
# line's output byte for byte in both line-end modes (tests/web/page_test.mjs).
set -euo pipefail
exec </dev/null

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Werror
# Fails, saying what is missing, where clang cannot build WebAssembly.
cmake --build build --parallel 2 --target brivel web
if [ ! -x /usr/bin/chromium ]; then
  echo "60-web: no /usr/bin/chromium (.ci/install-deps installs it)" >&2
  exit 1
fi
echo "--- the page's arithmetic: node --test"
node --test tests/web/page_logic_test.mjs
echo "--- playwright-core and axe-core, as pinned in tests/web/package-lock.json"
(cd tests/web && npm ci --no-audit --no-fund)
echo "--- the page in $(/usr/bin/chromium --version 2>/dev/null || echo chromium)"
node tests/web/page_test.mjs build
