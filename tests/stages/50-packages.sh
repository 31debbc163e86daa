#!/usr/bin/env bash
# Installing: the manual page renders without a warning; the .deb and the
# tarball hold the program and its page, install into scratch folders, and what
# they install runs and answers `man brivel`; so does `cmake --install`. Where
# a Windows cross build can be made, the .zip holds brivel.exe and its README.
# Nothing is installed on this machine itself.
set -euo pipefail

build="build-packages"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8 MANWIDTH=80

version=$(sed -n 's/^project(brivel VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
checks=0
failures=0
check() {  # check DESCRIPTION COMMAND...
  local label=$1
  shift
  checks=$((checks + 1))
  if "$@"; then
    echo "ok: $label"
  else
    echo "FAILED: $label"
    failures=$((failures + 1))
  fi
}
same() { [ "$1" = "$2" ] || { printf 'expected:\n%s\ngot:\n%s\n' "$2" "$1"; false; }; }
silent() { same "$1" ""; }
# The file entries of an archive listing (the last field of each line not ending in /).
files_of() { awk '$NF !~ /\/$/ { print $NF }' | sort; }
# Converts the example list with the brivel at $1 and compares with the built one.
converts_example() {
  same "$("$1" <examples/cameras.txt)" "$expected" && [ "$(grep -c info_camera <<<"$expected")" = 7 ]
}
# Renders the page of `brivel` the way man finds it with the given options and
# environment, and fails on any warning.
man_shows_page() {
  local out
  out=$(env "$@" man --warnings=w brivel 2>"$work/man.err") &&
    silent "$(cat "$work/man.err")" &&
    grep -q 'brivel - convert a camera list into info_camera entity blocks' <<<"$out"
}

echo "--- the manual page"
# Warning class "w" is every warning; groff's "all" leaves out undefined macros.
check "man -l renders doc/brivel.1 with no warning" \
  silent "$(man -l --warnings=w doc/brivel.1 2>&1 >/dev/null)"
check "groff -man -ww finds nothing to warn about" silent "$(groff -man -ww -z doc/brivel.1 2>&1)"
check "the page's header carries the project's version $version" \
  grep -q "^\.TH BRIVEL 1 [0-9-]* \"brivel $version\" " doc/brivel.1

echo "--- building the packages"
cmake -S . -B "$build" -DBRIVEL_TESTS=OFF >/dev/null
cmake --build "$build" --parallel 2 >/dev/null
(cd "$build" && cpack) >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  exit 1
}
expected=$("$build/brivel" <examples/cameras.txt)
check "the program still takes no option, a version request included" \
  same "$("$build/brivel" --version 2>&1; echo "status $?")" \
  "$(printf 'Usage: brivel [< marnfile] [> camfile]\nstatus 1')"

echo "--- the Debian package"
deb=$build/brivel_${version}_$(dpkg --print-architecture).deb
check "cpack made $deb" test -f "$deb"
check "the .deb holds the program and the gzipped page, nothing else" \
  same "$(dpkg-deb -c "$deb" | files_of)" \
  "$(printf './usr/bin/brivel\n./usr/share/man/man1/brivel.1.gz')"
field() { dpkg-deb -f "$deb" "$1"; }
check "package name, version, section" same "$(field Package) $(field Version) $(field Section)" \
  "brivel $version utils"
check "a maintainer with an e-mail address" grep -Eq '^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$' <<<"$(field Maintainer)"
check "a description: summary and body" \
  grep -q '^convert camera lists into info_camera entity blocks$' <<<"$(field Description | head -n 1)"
check "a description body that points to the manual" grep -q 'brivel(1)' <<<"$(field Description)"
# brivel is linked statically, so dpkg-shlibdeps finds nothing for it to depend on.
check "a statically linked program that depends on no package" \
  same "$(field Depends)$(file -b "$build/brivel" | grep -o 'statically linked')" "statically linked"
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
installs_into_root() {
  dpkg --root="$root" -i "$deb" >"$work/dpkg.log" 2>&1 || {
    cat "$work/dpkg.log"
    false
  }
}
check "dpkg -i installs it into a scratch root" installs_into_root
check "the installed files match the package's checksums" silent "$(dpkg --root="$root" --verify brivel 2>&1)"
check "the installed brivel converts the example" converts_example "$root/usr/bin/brivel"
check "man brivel shows the installed page" man_shows_page MANPATH="$root/usr/share/man"

echo "--- the tarball"
tgz=$build/brivel-$version-Linux.tar.gz
check "cpack made $tgz" test -f "$tgz"
check "the tarball holds bin/brivel and share/man/man1/brivel.1, nothing else" \
  same "$(tar -tzvf "$tgz" | files_of)" "$(printf '%s\n' "brivel-$version-Linux/bin/brivel" \
    "brivel-$version-Linux/share/man/man1/brivel.1")"
mkdir "$work/local"
tar -xzf "$tgz" --strip-components=1 -C "$work/local"
check "the unpacked brivel converts the example" converts_example "$work/local/bin/brivel"
# man-db looks for pages beside each folder on PATH: nothing more to set up.
check "man brivel finds the page with bin/ on PATH" man_shows_page PATH="$work/local/bin:$PATH"

echo "--- cmake --install"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
check "cmake --install puts bin/brivel and share/man/man1/brivel.1 under the prefix" \
  same "$(cd "$work/prefix" && find . -type f | sort)" \
  "$(printf './bin/brivel\n./share/man/man1/brivel.1')"
check "the installed page is the one in doc/" cmp -s doc/brivel.1 "$work/prefix/share/man/man1/brivel.1"
check "the installed brivel converts the example" converts_example "$work/prefix/bin/brivel"
check "man brivel finds the page with bin/ on PATH" man_shows_page PATH="$work/prefix/bin:$PATH"

echo "--- the Windows zip"
toolchain=${BRIVEL_WIN32_TOOLCHAIN:-cmake/i686-w64-mingw32.cmake}
if [ ! -f "$toolchain" ] || ! command -v i686-w64-mingw32-g++ >/dev/null; then
  echo "skipped: no $toolchain or no i686-w64-mingw32-g++ here"
else
  win=$build-win32
  cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE="$(realpath "$toolchain")" \
    -DBRIVEL_TESTS=OFF >/dev/null
  cmake --build "$win" --parallel 2 >/dev/null
  (cd "$win" && cpack) >"$work/cpack-win32.log" 2>&1 || {
    cat "$work/cpack-win32.log"
    exit 1
  }
  zip=$win/brivel-$version-win32.zip
  check "cpack chose ZIP for the Windows build and made $zip" test -f "$zip"
  check "the zip holds brivel.exe and README-windows.txt, nothing else" \
    same "$(unzip -Z1 "$zip" | files_of)" "$(printf '%s\n' "brivel-$version-win32/README-windows.txt" \
      "brivel-$version-win32/brivel.exe")"
  unzip -q "$zip" -d "$work/zip"
  exe=$work/zip/brivel-$version-win32/brivel.exe
  readme=$work/zip/brivel-$version-win32/README-windows.txt
  check "brivel.exe is a 32-bit Windows console program" \
    grep -q 'PE32 executable (console) Intel 80386' <<<"$(file -b "$exe")"
  # A DLL that Windows does not ship would have to sit beside brivel.exe.
  check "brivel.exe needs only the DLLs Windows ships" \
    same "$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]' |
      grep -Evx 'kernel32\.dll|msvcrt\.dll|user32\.dll|advapi32\.dll|api-ms-win-.*\.dll')" ""
  check "the README names the version" grep -q "^brivel $version for Windows" "$readme"
  check "every line of the README ends in CR LF" \
    same "$(grep -c $'\r$' "$readme")" "$(wc -l <"$readme")"
fi

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
