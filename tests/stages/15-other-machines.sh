#!/usr/bin/env bash
# Other machines than this one. First the byte lanes' plain C++ implementation,
# the one of machines without SSE2, built here with BRIVEL_PORTABLE_LANES: the
# unit tests, the end-to-end tests and the fuzz corpora against it. Then brivel
# cross-built, statically, for ARM64, for s390x (big-endian) and for 32-bit x86
# without SSE2 (the processor the 32-bit Windows program must run on), each run
# under qemu-user: the end-to-end tests, and its output on a few megabytes of
# camera lists compared byte for byte with the native program's. qemu-user
# emulates the processor only, so this needs no 32-bit support from the host.
set -euo pipefail

fail() {
  echo "15-other-machines: $*" >&2
  exit 1
}

echo "--- the portable byte lanes, natively"
cmake -S . -B build-portable -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Werror \
  -DBRIVEL_PORTABLE_LANES=ON >/dev/null
cmake --build build-portable --parallel 2 >/dev/null
# The hostile inputs (minutes, and about the read loop, not the lanes) are left
# to the native stage; the benchmark's smoke run times nothing of interest here.
ctest --test-dir build-portable --output-on-failure -E 'hostile_input|bench_smoke'

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Camera lists as the benchmark makes them (2 MB of usual lines, 1 MB of lines
# read in pieces), then every input the fuzzers keep.
python3 - "$work/lists.txt" <<'PYTHON'
import sys
sys.path.insert(0, "bench")
import run_bench
run_bench.write_lines(sys.argv[1] + ".usual", 2 * run_bench.MB, run_bench.camera_batch)
run_bench.write_lines(sys.argv[1] + ".long", 1 * run_bench.MB, run_bench.long_line_batch)
PYTHON
cat "$work/lists.txt.usual" "$work/lists.txt.long" fuzz/corpus/*/* >"$work/lists.txt"
build-portable/brivel <"$work/lists.txt" >"$work/expected.txt"
echo "native output: $(grep -c info_camera "$work/expected.txt") blocks from $(wc -c <"$work/lists.txt") bytes"

# machine, what `file` says of its program, the qemu-user that runs it. qemu-user
# gives the program a stack of its own size whatever the limit a test sets, so
# -s gives it the 64 KiB that brivel must do with (the end-to-end tests check that).
machines=(
  "aarch64|ELF 64-bit LSB executable, ARM aarch64|qemu-aarch64-static -s 65536"
  "s390x|ELF 64-bit MSB executable, IBM S/390|qemu-s390x-static -s 65536"
  "i686|ELF 32-bit LSB executable, Intel 80386|qemu-i386-static -cpu pentium2 -s 65536"
)
for machine in "${machines[@]}"; do
  IFS='|' read -r arch kind runner <<<"$machine"
  echo "--- $arch, under $runner"
  build=build-$arch
  cmake -S . -B "$build" --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE="cmake/$arch-linux-gnu.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Werror >/dev/null
  cmake --build "$build" --target brivel --parallel 2 >/dev/null
  description=$(file -b "$build/brivel")
  echo "$build/brivel: $description"
  [[ $description == "$kind"*"statically linked"* ]] || fail "not a static $kind"
  $runner "$build/brivel" <"$work/lists.txt" >"$work/got.txt"
  cmp "$work/got.txt" "$work/expected.txt" || fail "$arch: output differs from the native program's"
  echo "the same output as the native program"
  python3 tests/end_to_end_test.py --runner "$runner" "$build/brivel"
done
