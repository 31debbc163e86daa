#!/usr/bin/env bash
# The 32-bit Windows program: cross-build brivel.exe from the same source with
# MinGW-w64, check what kind of executable it is, then run its end-to-end tests
# under wine.
set -euo pipefail
exec </dev/null  # wine must never wait for a keyboard

cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Werror
cmake --build build-win32 --parallel 2
exe=build-win32/brivel.exe

fail() {
  echo "40-windows: $*" >&2
  exit 1
}

kind=$(file -b "$exe")
echo "$exe: $kind"
case "$kind" in
  "PE32 executable (console) Intel 80386"*) ;;
  *) fail "not a PE32 console executable for Intel 80386" ;;
esac

# Linked statically: the only DLLs it needs are those every Windows has.
dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | sort -f | tr '\n' ' ')
echo "$exe imports: $dlls"
[ "$dlls" = "KERNEL32.dll msvcrt.dll " ] || fail "imports DLLs beyond KERNEL32.dll and msvcrt.dll"

# The runtime's default file mode stays text: _fmode is the library's zeroed
# one, not set to binary by binmode.o or the like.
i686-w64-mingw32-nm "$exe" | grep ' B __fmode$' >/dev/null || fail "linked with binmode.o"

python3 tests/windows_end_to_end_test.py "$exe"
