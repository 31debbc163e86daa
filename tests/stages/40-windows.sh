#!/usr/bin/env bash
# The Windows programs: cross-build brivel.exe for 32-bit and for 64-bit Windows
# from the same source with MinGW-w64 (the CMake presets win32 and win64) and
# check what kind of executable each is; then run the end-to-end tests under
# wine against one of them, with each byte-lane kernel the processor runs. Both
# ship, each in its zip; the 32-bit program, the one that runs on every Windows,
# runs under 32-bit wine where this host runs 32-bit code. Some hosts run 64-bit code only; 32-bit wine cannot start there, so the
# tests run against the 64-bit program under wine64 instead.
#
# brivel-check.exe and the zips' drop target, brivel-drop.cmd, are run there
# too, on a Windows-text list; last, brivel.exe and brivel-check.exe on a few
# megabytes of camera lists, their output compared byte for byte with the
# native programs' (brivel-check's with --windows-text).
#
# Which host this is is found out by starting the 32-bit wine loader.
# BRIVEL_WINDOWS_TEST=win64 runs the 64-bit program under wine64 on any host
# (and =win32 insists on the 32-bit one), so that both ways can be tried.
set -euo pipefail
exec </dev/null  # wine must never wait for a keyboard

# Debian's loaders; the `wine` script on the PATH would start the 32-bit one
# whenever it is installed, even where it cannot run.
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

fail() {
  echo "40-windows: $*" >&2
  exit 1
}

# build_and_check ARCH MINGW_TARGET FILE_KIND FMODE_SYMBOL
build_and_check() {
  local dir=build-$1 target=$2 want_kind=$3 fmode=$4
  cmake --preset "$1"
  cmake --build "$dir" --parallel 2
  local exe kind dlls
  for exe in "$dir/brivel.exe" "$dir/brivel-check.exe"; do
    kind=$(file -b "$exe")
    echo "$exe: $kind"
    case "$kind" in
      "$want_kind"*) ;;
      *) fail "$exe is not a $want_kind" ;;
    esac
    # Linked statically: the only DLLs it needs are those every Windows has.
    dlls=$("$target-objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -f | tr '\n' ' ')
    echo "$exe imports: $dlls"
    [ "$dlls" = "KERNEL32.dll msvcrt.dll " ] || fail "$exe imports DLLs beyond KERNEL32.dll and msvcrt.dll"
  done
  exe=$dir/brivel.exe

  # The runtime's default file mode stays text: _fmode is the library's zeroed
  # one, not set to binary by binmode.o or the like. (32-bit symbols carry a
  # leading underscore, 64-bit ones do not.)
  "$target-nm" "$exe" | grep " B $fmode\$" >/dev/null || fail "$exe is linked with binmode.o"

  # Every kernel is in the program, each with its own entry point, and it
  # checks the processor for the SSE2 and AVX2 ones.
  local kernel symbols
  symbols=$("$target-nm" -C "$exe")
  for kernel in portable sse2 avx2; do
    grep -q "convert_with_${kernel}_kernel" <<<"$symbols" || fail "$exe has no $kernel kernel"
  done
  grep -q "__cpu_model" <<<"$symbols" || fail "$exe does not ask the processor what it has"
  echo "$exe: the portable, SSE2 and AVX2 kernels, chosen at start-up"
}

build_and_check win32 i686-w64-mingw32 "PE32 executable (console) Intel 80386" __fmode
build_and_check win64 x86_64-w64-mingw32 "PE32+ executable (console) x86-64" _fmode

case "${BRIVEL_WINDOWS_TEST:-}" in
  "")
    if started=$("$wine32" --version 2>&1); then
      arch=win32
      echo "40-windows: the 32-bit wine loader starts here ($started)"
    else
      arch=win64
      echo "40-windows: the 32-bit wine loader $wine32 does not start here:" \
        "${started:-no message}"
    fi
    ;;
  win32 | win64)
    arch=$BRIVEL_WINDOWS_TEST
    echo "40-windows: BRIVEL_WINDOWS_TEST=$arch chooses the program to run"
    ;;
  *) fail "BRIVEL_WINDOWS_TEST is '$BRIVEL_WINDOWS_TEST'; it must be win32, win64 or unset" ;;
esac

if [ "$arch" = win32 ]; then
  wine=$wine32
  echo "40-windows: running the 32-bit build-win32/brivel.exe and brivel-check.exe under 32-bit" \
    "wine ($wine, win32 prefix); the 64-bit programs in build-win64 were built and checked above"
else
  wine=$wine64
  echo "40-windows: the 32-bit build-win32/brivel.exe and brivel-check.exe (shipped, as are the" \
    "64-bit ones, each in its zip) were built and checked above (brivel's kernels and processor check included) but are not" \
    "run here; running the 64-bit ones in build-win64 under 64-bit wine ($wine, win64 prefix)" \
    "instead, brivel with each kernel this processor runs"
fi
[ -x "$wine" ] || fail "$wine is missing (Debian: wine32:i386 for 32-bit wine, wine64 for 64-bit; see .ci/install-deps)"

python3 tests/windows_end_to_end_test.py --wine "$wine" --winearch "$arch" \
  --check "build-$arch/brivel-check.exe" --drop-target "build-$arch/brivel-drop.cmd" "build-$arch/brivel.exe"

echo "--- build-$arch/brivel.exe and brivel-check.exe on camera lists, against the native programs"
cmake --preset native >/dev/null
cmake --build build --parallel 2 --target brivel brivel-check >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The lists of stage 15 (tests/camera_lists.sh); then, as the Windows programs read them, CR
# LF as LF and nothing from a Ctrl-Z on, for the native brivel; and every LF the Windows
# programs write is CR LF.
bash tests/camera_lists.sh "$work/lists.txt"
python3 -c 'import sys; sys.stdout.buffer.write(sys.stdin.buffer.read().split(b"\x1a")[0].replace(b"\r\n", b"\n"))' \
  <"$work/lists.txt" >"$work/as-read.txt"
crlf() { python3 -c 'import sys; sys.stdout.buffer.write(sys.stdin.buffer.read().replace(b"\n", b"\r\n"))'; }
# As tests/windows_end_to_end_test.py runs wine: a throwaway prefix and home, no window, no Mono
# or Gecko prompt (which waits for a click where there is a display), no desktop menu entries.
unset WAYLAND_DISPLAY
export HOME="$work" DISPLAY= WINEPREFIX="$work/prefix" WINEARCH=$arch WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
build/brivel <"$work/as-read.txt" | crlf >"$work/blocks.txt"
"$wine" "build-$arch/brivel.exe" <"$work/lists.txt" >"$work/got.txt" 2>"$work/wine.txt" ||
  fail "build-$arch/brivel.exe failed: $(cat "$work/wine.txt")"
cmp "$work/got.txt" "$work/blocks.txt" || fail "build-$arch/brivel.exe: output differs from the native brivel's"
for format in gnu json; do
  # (status 1: the lists have findings)
  { build/brivel-check --windows-text --format=$format <"$work/lists.txt" || [ $? = 1 ]; } | crlf >"$work/expected.txt"
  "$wine" "build-$arch/brivel-check.exe" --format=$format <"$work/lists.txt" >"$work/got.txt" 2>/dev/null || [ $? = 1 ]
  cmp "$work/got.txt" "$work/expected.txt" ||
    fail "build-$arch/brivel-check.exe --format=$format: output differs from the native brivel-check --windows-text"
done
echo "build-$arch/brivel.exe and brivel-check.exe (both formats): the native programs' output on" \
  "$(wc -c <"$work/lists.txt") bytes of lists, $(grep -c info_camera "$work/blocks.txt") blocks"
