#!/usr/bin/env bash
# The browser page: build it (the converter compiled to WebAssembly), open it
# from the disk in Debian's Chromium, headless, and compare what it converts
# with the command line's output byte for byte, in both line-end modes; check
# the map, and the findings against brivel-check's (tests/web/page_test.mjs).
set -euo pipefail
exec </dev/null

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Werror
# Fails, saying what is missing, where clang cannot build WebAssembly.
cmake --build build --parallel 2 --target brivel brivel-check web
if [ ! -x /usr/bin/chromium ]; then
  echo "60-web: no /usr/bin/chromium (.ci/install-deps installs it)" >&2
  exit 1
fi
echo "--- playwright-core, as pinned in tests/web/package-lock.json"
(cd tests/web && npm ci --no-audit --no-fund)
echo "--- the page in $(/usr/bin/chromium --version 2>/dev/null || echo chromium)"
node tests/web/page_test.mjs build
