#!/usr/bin/env bash
# Installing, with the CMake presets deb, tarball, win32 and win64: the manual
# pages render without a warning, brivel's synopsis is the usage message and
# its page names the environment variable; the .deb (linked dynamically) passes
# lintian, installs into a scratch root, works there and removes without a
# trace; the tarball (linked statically) and `cmake --install` put the programs
# (brivel and brivel-check), their pages and the licence in place; where the
# Windows cross compilers are found, the 32-bit and the 64-bit zips hold
# brivel.exe, brivel-check.exe, the drop target brivel-drop.cmd, the README and
# the licence, the text files with CR LF line ends.
# Nothing is installed on this machine itself.
set -euo pipefail

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8 MANWIDTH=80
# The .deb dates its files itself, which is checked below.
unset SOURCE_DATE_EPOCH

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
# Checks the example list with the brivel-check at $1: its findings, status 1.
checks_example() {
  local out status=0
  out=$("$1" examples/cameras.txt) || status=$?
  [ "$status" = 1 ] && [ "$(grep -c ': warning: ' <<<"$out")" = 3 ]
}
# Renders the pages of `brivel` and `brivel-check` the way man finds them with
# the given options and environment, and fails on any warning.
man_shows_page() {
  local out
  out=$(env "$@" man --warnings=w brivel 2>"$work/man.err") &&
    silent "$(cat "$work/man.err")" &&
    grep -q 'brivel - convert a camera list into info_camera entity blocks' <<<"$out" &&
    out=$(env "$@" man --warnings=w brivel-check 2>"$work/man.err") &&
    silent "$(cat "$work/man.err")" &&
    grep -q "brivel-check - say why brivel skips a line of a camera list" <<<"$out"
}
# Every line of a text file ends in CR LF.
crlf_only() { same "$(grep -c $'\r$' "$1")" "$(wc -l <"$1")"; }
# The modes in an archive listing: folders and programs 755, other files 644.
modes_of() { awk '{ print $1 }' | sort -u; }
usual_modes=$(printf '%s\n' -rw-r--r-- -rwxr-xr-x drwxr-xr-x)
# Configures FOLDER with the CMake preset PRESET, builds it and runs cpack there,
# under a umask that keeps everything from group and others, which the
# packages' modes must not show.
package() {  # package PRESET FOLDER
  local folder=$2
  cmake --preset "$1" >/dev/null
  cmake --build "$folder" --parallel 2 >/dev/null
  (cd "$folder" && umask 077 && cpack) >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    exit 1
  }
}

echo "--- the manual pages"
# Warning class "w" is every warning; groff's "all" leaves out undefined macros.
for page in brivel brivel-check; do
  check "man -l renders doc/$page.1 with no warning" \
    silent "$(man -l --warnings=w doc/$page.1 2>&1 >/dev/null)"
  check "groff -man -ww finds nothing to warn about in doc/$page.1" \
    silent "$(groff -man -ww -z doc/$page.1 2>&1)"
  check "the header of doc/$page.1 carries the project's version $version" \
    grep -q "^\.TH ${page^^} 1 [0-9-]* \"brivel $version\" " doc/$page.1
done
check "brivel's page's ENVIRONMENT names BRIVEL_KERNEL and its kernels" \
  grep -q 'BRIVEL_KERNEL.*portable.*sse2.*avx2' <<<"$(man -l doc/brivel.1 2>/dev/null | tr -s ' \n' ' ' |
    sed -n 's/.*ENVIRONMENT//p')"

echo "--- building the packages: the .deb linked dynamically, the tarball statically"
deb_build=build-packages-deb
tgz_build=build-packages-tgz
package deb "$deb_build"
package tarball "$tgz_build"
expected=$("$tgz_build/brivel" <examples/cameras.txt)
usage=$("$tgz_build/brivel" --version 2>&1) || true
check "the program still takes no option, a version request included" \
  same "$usage" "Usage: brivel [< marnfile] [> camfile]"
check "the page's synopsis is the usage message" \
  same "Usage: $(man -l doc/brivel.1 2>/dev/null | sed -n '/^SYNOPSIS/{n;s/^ *//;p}')" "$usage"
# The example on brivel-check's page is what it prints for the example list (the
# page folds long lines: both are compared with runs of spaces and line ends as one space).
squeezed() { tr -s ' \n' ' '; }
printed=$(cd examples && "../$tgz_build/brivel-check" cameras.txt | squeezed) || true
check "brivel-check's page shows what it prints for examples/cameras.txt" \
  grep -qF -- "${printed:-nothing printed}" \
  <<<"$(LC_ALL=C man -l doc/brivel-check.1 2>/dev/null | sed -n '/^EXAMPLES/,/^NOTES/p' | squeezed)"

echo "--- the Debian package"
deb=$deb_build/brivel_${version}_$(dpkg --print-architecture).deb
check "cpack made $deb and no tarball there" \
  same "$(cd "$deb_build" && ls -- *.deb *.tar.gz 2>/dev/null)" "${deb##*/}"
check "the .deb holds the programs, the gzipped pages, the copyright file, the changelog and lintian's override" \
  same "$(dpkg-deb -c "$deb" | files_of)" "$(printf '%s\n' ./usr/bin/brivel ./usr/bin/brivel-check \
    ./usr/share/doc/brivel/changelog.gz ./usr/share/doc/brivel/copyright \
    ./usr/share/lintian/overrides/brivel \
    ./usr/share/man/man1/brivel-check.1.gz ./usr/share/man/man1/brivel.1.gz)"
# Made again a second later, the .deb must not change: its files are dated as
# the newest changelog entry, and the gzipped ones carry no time stamp.
cp "$deb" "$work/first.deb"
sleep 1
(cd "$deb_build" && umask 077 && cpack) >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  exit 1
}
check "cpack makes the same .deb, byte for byte, when run again" cmp -s "$work/first.deb" "$deb"
check "the .deb's folders and files have modes 755 and 644" same "$(dpkg-deb -c "$deb" | modes_of)" "$usual_modes"
field() { dpkg-deb -f "$deb" "$1"; }
check "package name, version, section" same "$(field Package) $(field Version) $(field Section)" \
  "brivel $version utils"
check "a description: summary and body" \
  grep -q '^convert camera lists into info_camera entity blocks$' <<<"$(field Description | head -n 1)"
check "a description body that points to the manuals" \
  grep -q 'brivel(1).*brivel-check(1)' <<<"$(field Description | tr '\n' ' ')"
# dpkg-shlibdeps found these from the libraries the program links with.
check "dependencies on the C and C++ libraries, with versions" \
  grep -Eq '^libc6 \(>= [0-9.]+\), .*libstdc\+\+6 \(>= [0-9.]+\)' <<<"$(field Depends)"
# Every tag fails, down to the hints on hardening (bind now, fortified calls)
# that a build without Debian's flags gets.
lintian_clean() {
  lintian --pedantic --display-info --fail-on error,warning,info,pedantic "$deb" >"$work/lintian.log" 2>&1
  local status=$?
  sed 's/^/  lintian: /' "$work/lintian.log"
  [ "$status" = 0 ] && ! grep -q '^[EWIP]: ' "$work/lintian.log"
}
check "lintian --pedantic --display-info prints no tag at all" lintian_clean
mkdir "$work/deb"
dpkg-deb -x "$deb" "$work/deb"
# A program as Debian builds them: linked dynamically, stripped, with the stack protector.
built_as_debian_does() {
  grep -q 'dynamically linked.*, stripped$' <<<"$(file -b "$1")" && grep -q ' U __stack_chk_fail@' <<<"$(nm -D "$1")"
}
for program in brivel brivel-check; do
  check "$program is linked dynamically, stripped, with the stack protector" \
    built_as_debian_does "$work/deb/usr/bin/$program"
done
check "the changelog's newest entry is this version" \
  same "$(zcat "$work/deb/usr/share/doc/brivel/changelog.gz" | head -n 1)" \
  "brivel ($version) unstable; urgency=medium"
# A scratch root whose dpkg knows the packages the .deb depends on as this
# machine has them, so that dpkg -i checks that they are met.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
# The libraries' packages are named with the architecture, as a machine may
# have them for more than one.
dpkg-query -s $(field Depends | sed "s/ ([^)]*)//g; s/,/ /g; s/\([^ ]\+\)/\1:$(dpkg --print-architecture)/g") \
  >"$root/var/lib/dpkg/status"
dpkg_in_root() {
  dpkg --root="$root" "$@" >"$work/dpkg.log" 2>&1 || {
    cat "$work/dpkg.log"
    false
  }
}
check "dpkg -i installs it into a scratch root" dpkg_in_root -i "$deb"
check "the installed files match the package's checksums" silent "$(dpkg --root="$root" --verify brivel 2>&1)"
check "the installed brivel converts the example" converts_example "$root/usr/bin/brivel"
check "the installed brivel-check checks the example" checks_example "$root/usr/bin/brivel-check"
check "man shows the installed pages" man_shows_page MANPATH="$root/usr/share/man"
check "dpkg -r removes it" dpkg_in_root -r brivel
check "dpkg --purge forgets it" dpkg_in_root --purge brivel
check "nothing of it is left in the root" \
  silent "$(cd "$root" && find . ! -path . ! -path ./var ! -path ./var/lib ! -path './var/lib/dpkg*')"

echo "--- the tarball"
tgz=$tgz_build/brivel-$version-Linux.tar.gz
check "cpack made $tgz and no .deb there" \
  same "$(cd "$tgz_build" && ls -- *.deb *.tar.gz 2>/dev/null)" "${tgz##*/}"
check "the tarball holds bin/brivel, bin/brivel-check, their pages and the licence, nothing else" \
  same "$(tar -tzvf "$tgz" | files_of)" "$(printf "brivel-$version-Linux/%s\n" bin/brivel \
    bin/brivel-check share/doc/brivel/LICENSE share/man/man1/brivel-check.1 share/man/man1/brivel.1)"
check "the tarball's folders and files have modes 755 and 644" same "$(tar -tzvf "$tgz" | modes_of)" "$usual_modes"
mkdir "$work/local"
tar -xzf "$tgz" --strip-components=1 -C "$work/local"
for program in brivel brivel-check; do
  check "$program is linked statically" \
    grep -q 'statically linked' <<<"$(file -b "$work/local/bin/$program")"
done
check "its licence is LICENSE" cmp -s LICENSE "$work/local/share/doc/brivel/LICENSE"
check "the unpacked brivel converts the example" converts_example "$work/local/bin/brivel"
check "the unpacked brivel-check checks the example" checks_example "$work/local/bin/brivel-check"
# man-db looks for pages beside each folder on PATH: nothing more to set up.
check "man finds the pages with bin/ on PATH" man_shows_page PATH="$work/local/bin:$PATH"

echo "--- cmake --install"
cmake --install "$tgz_build" --prefix "$work/prefix" >/dev/null
check "cmake --install puts the programs, their pages and the licence under the prefix" \
  same "$(cd "$work/prefix" && find . -type f | sort)" \
  "$(printf '%s\n' ./bin/brivel ./bin/brivel-check ./share/doc/brivel/LICENSE \
    ./share/man/man1/brivel-check.1 ./share/man/man1/brivel.1)"
for page in brivel brivel-check; do
  check "the installed $page.1 is doc/$page.1" cmp -s doc/$page.1 "$work/prefix/share/man/man1/$page.1"
done
check "the installed brivel converts the example" converts_example "$work/prefix/bin/brivel"
check "man finds the pages with bin/ on PATH" man_shows_page PATH="$work/prefix/bin:$PATH"

# The two Windows zips: bits, cross compiler prefix, what `file` says of brivel.exe.
while read -r bits prefix kind <&3; do
  echo "--- the $bits-bit Windows zip"
  if ! command -v "$prefix-g++" >/dev/null; then
    echo "skipped: no $prefix-g++ here (Debian: g++-mingw-w64-${prefix%%-*})"
    continue
  fi
  win=build-win$bits
  package "win$bits" "$win"
  name=brivel-$version-win$bits
  zip=$win/$name.zip
  check "cpack chose ZIP for the Windows build and made $zip" test -f "$zip"
  check "the zip holds the programs, the drop target, README-windows.txt and LICENSE.txt, nothing else" \
    same "$(unzip -Z1 "$zip" | files_of)" "$(printf "$name/%s\n" LICENSE.txt README-windows.txt \
      brivel-check.exe brivel-drop.cmd brivel.exe)"
  unzip -q "$zip" -d "$work/zip$bits"
  readme=$work/zip$bits/$name/README-windows.txt
  licence=$work/zip$bits/$name/LICENSE.txt
  for exe in "$work/zip$bits/$name/brivel.exe" "$work/zip$bits/$name/brivel-check.exe"; do
    check "${exe##*/} is a $bits-bit Windows console program" grep -q "^$kind" <<<"$(file -b "$exe")"
    # A DLL that Windows does not ship would have to sit beside the program.
    check "${exe##*/} needs only the DLLs Windows ships" \
      same "$("$prefix-objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]' |
        grep -Evx 'kernel32\.dll|msvcrt\.dll|user32\.dll|advapi32\.dll|api-ms-win-.*\.dll')" ""
  done
  check "the README names the version" grep -q "^brivel $version for Windows" "$readme"
  check "the README says brivel.exe is the $bits-bit program" grep -q "brivel.exe, a $bits-bit console" "$readme"
  check "the README names both zips, to say which to pick" \
    grep -q "brivel-$version-win32.zip.*brivel-$version-win64.zip" <<<"$(tr -d '\r\n' <"$readme")"
  check "every line of the README ends in CR LF" crlf_only "$readme"
  check "every line of the drop target ends in CR LF" crlf_only "$work/zip$bits/$name/brivel-drop.cmd"
  check "the README says what to drop onto the drop target" grep -q "onto brivel-drop.cmd in Explorer" "$readme"
  check "every line of LICENSE.txt ends in CR LF" crlf_only "$licence"
  check "LICENSE.txt is LICENSE" same "$(tr -d '\r' <"$licence")" "$(cat LICENSE)"
done 3<<'EOF'
32 i686-w64-mingw32 PE32 executable (console) Intel 80386
64 x86_64-w64-mingw32 PE32+ executable (console) x86-64
EOF

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
