#!/usr/bin/env bash
# Other machines than this one. First the native build's tests with the
# program forced to the portable byte-lane kernel, the one of machines without
# SSE2 (the test preset portable: no second build). Then brivel and
# brivel-check cross-built, statically, for ARM64, for s390x (big-endian) and
# for 32-bit x86, each run under qemu-user: the end-to-end tests, and their
# output on a few megabytes of camera lists compared byte for byte with the
# native programs', brivel's with each kernel the emulated processor runs.
# The 32-bit x86 program runs as a Pentium II (no SSE2: only the portable
# kernel), as a Core Duo (SSE2, no AVX) and as the most capable processor qemu
# emulates. qemu-user emulates the processor only, so this needs no 32-bit
# support from the host.
set -euo pipefail

fail() {
  echo "15-other-machines: $*" >&2
  exit 1
}

echo "--- the portable kernel, natively (ctest --preset portable)"
cmake --preset native >/dev/null
cmake --build build --parallel 2 >/dev/null
# The hostile inputs (minutes, and about the read loop, not the lanes) are left
# to the native stage; the benchmark's smoke run times nothing of interest here.
ctest --preset portable

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Camera lists as the benchmark makes them, then every input the fuzzers keep.
bash tests/camera_lists.sh "$work/lists.txt"
BRIVEL_KERNEL=portable build/brivel <"$work/lists.txt" >"$work/expected.txt"
echo "native output: $(grep -c info_camera "$work/expected.txt") blocks from $(wc -c <"$work/lists.txt") bytes"
check_options=("" "--windows-text" "--format=json")
for k in "${!check_options[@]}"; do
  # (status 1: the lists have findings)
  build/brivel-check ${check_options[k]} <"$work/lists.txt" >"$work/check-expected-$k.txt" || [ $? = 1 ]
done
echo "native brivel-check: $(wc -l <"$work/check-expected-0.txt") lines of findings"

# checks_alike RUNNER PROGRAM: brivel-check under RUNNER says what the native one does of the
# lists, in each format and text mode.
checks_alike() {
  local runner=$1 program=$2 k
  for k in "${!check_options[@]}"; do
    $runner "$program" ${check_options[k]} <"$work/lists.txt" >"$work/got.txt" || [ $? = 1 ]
    cmp "$work/got.txt" "$work/check-expected-$k.txt" || fail "$program ${check_options[k]}: output differs"
  done
  echo "$runner $program: the native findings, with ${check_options[*]:1} and without"
}

# runs_kernels RUNNER PROGRAM EXPECTED: checks that the program under RUNNER
# runs exactly the kernels EXPECTED names (a space-separated list), and that
# each gives the native output.
runs_kernels() {
  local runner=$1 program=$2 expected=$3 ran="" kernel
  for kernel in portable sse2 avx2 simd128; do
    if BRIVEL_KERNEL=$kernel $runner "$program" </dev/null 2>"$work/err.txt"; then
      ran="$ran $kernel"
      BRIVEL_KERNEL=$kernel $runner "$program" <"$work/lists.txt" >"$work/got.txt"
      cmp "$work/got.txt" "$work/expected.txt" || fail "$program, $kernel kernel: output differs"
    else
      # A kernel of another machine's program, or one this processor lacks.
      grep -q -e "^brivel: BRIVEL_KERNEL=$kernel: this processor cannot run that kernel" \
        -e "^brivel: BRIVEL_KERNEL=$kernel: no such kernel" "$work/err.txt" ||
        fail "$program refuses the $kernel kernel with: $(cat "$work/err.txt")"
    fi
  done
  echo "$runner $program runs the kernels$ran, each with the native output"
  [ "${ran# }" = "$expected" ] || fail "expected the kernels $expected"
  $runner "$program" <"$work/lists.txt" | cmp - "$work/expected.txt" ||
    fail "$program: output differs with the kernel it picks"
}

# machine, what `file` says of its program, then each qemu-user that runs it and
# the kernels the program must run there, separated by '|'. qemu-user gives the
# program a stack of its own size whatever the limit a test sets, so -s gives it
# the 64 KiB that brivel must do with (the end-to-end tests check that). The
# first runner also runs the end-to-end tests.
machines=(
  "aarch64|ELF 64-bit LSB executable, ARM aarch64|qemu-aarch64-static -s 65536|portable"
  "s390x|ELF 64-bit MSB executable, IBM S/390|qemu-s390x-static -s 65536|portable"
  "i686|ELF 32-bit LSB executable, Intel 80386|qemu-i386-static -cpu pentium2 -s 65536|portable|qemu-i386-static -cpu coreduo -s 65536|portable sse2|qemu-i386-static -cpu max -s 65536|portable sse2 avx2"
)
for machine in "${machines[@]}"; do
  IFS='|' read -r -a fields <<<"$machine"
  arch=${fields[0]} kind=${fields[1]}
  build=build-$arch
  echo "--- $arch (cmake --preset $arch)"
  cmake --preset "$arch" >/dev/null
  cmake --build "$build" --target brivel brivel-check --parallel 2 >/dev/null
  description=$(file -b "$build/brivel")
  echo "$build/brivel: $description"
  [[ $description == "$kind"*"statically linked"* ]] || fail "not a static $kind"
  for ((i = 2; i < ${#fields[@]}; i += 2)); do
    runs_kernels "${fields[i]}" "$build/brivel" "${fields[i + 1]}"
  done
  python3 tests/end_to_end_test.py --runner "${fields[2]}" "$build/brivel"
  checks_alike "${fields[2]}" "$build/brivel-check"
  python3 tests/check_end_to_end_test.py --runner "${fields[2]}" "$build/brivel-check"
  if [[ $kind == *32-bit* ]]; then
    # A 32-bit program opens a list of 2 GiB or more only with O_LARGEFILE. qemu-user opens
    # files as the 64-bit program it is, so a large file would open here anyway: its record
    # of the call shows the flag the program asked for.
    ${fields[2]} -strace "$build/brivel-check" examples/cameras.txt 2>"$work/calls.txt" >/dev/null || [ $? = 1 ]
    grep -q 'openat(.*"examples/cameras.txt",[A-Z_|]*O_LARGEFILE' "$work/calls.txt" ||
      fail "$build/brivel-check opens files without O_LARGEFILE"
    echo "$build/brivel-check opens files with O_LARGEFILE"
  fi
done
