#!/bin/sh
# Makes the Debian package from a build folder with CPack and checks it as apt and dpkg will see it.
#   package_test.sh SOURCE_DIR BUILD_DIR VERSION
# - Its files are exactly those the build installs under /usr, and at least: every program with its
#   page gzipped beside the others, the README, copyright and changelog in /usr/share/doc/tralune, the
#   demo in /usr/share/tralune/demo as in the source tree; nothing elsewhere; owned by root, programs
#   0755 and the rest 0644.
# - Its control fields: name, version (also the changelog's), architecture, a maintainer, a description
#   in lines under 80 columns, Depends naming mpg123 and the package of every library a program is
#   linked with, Recommends naming what the programs call but work without.
# - lintian, where installed, finds no error.
# Exits 77 (skipped) where dpkg-deb is missing; otherwise prints what is wrong and exits 1 on the first
# fault.
set -eu
src=$1
build=$2
version=$3
fail() { echo "FAIL: $*"; exit 1; }
command -v dpkg-deb >/dev/null 2>&1 || { echo "SKIPPED: dpkg-deb is missing, so no package is made"; exit 77; }
command -v dpkg-shlibdeps >/dev/null 2>&1 ||
  fail "dpkg-shlibdeps is missing (Debian package dpkg-dev, ./deps.sh test): the package would not name its libraries"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$build" && cpack -G DEB -B "$tmp/out") >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; fail "cpack exited with status $?"; }
arch=$(dpkg --print-architecture)
deb=$tmp/out/tralune_${version}_$arch.deb
[ -f "$deb" ] || { ls "$tmp/out"; fail "no tralune_${version}_$arch.deb was made"; }

# The files, against what the build installs under the package's prefix.
dpkg-deb -c "$deb" >"$tmp/contents"
awk '$NF !~ /\/$/ { print $NF }' "$tmp/contents" | sed 's|^\./||' | sort >"$tmp/packed"
DESTDIR=$tmp/root cmake --install "$build" --prefix /usr >"$tmp/install.log" 2>&1 ||
  { cat "$tmp/install.log"; fail "cmake --install exited with status $?"; }
(cd "$tmp/root" && find . ! -type d | sed 's|^\./||' | sort) >"$tmp/installed"
diff "$tmp/installed" "$tmp/packed" >"$tmp/diff" ||
  { echo "< installed by the build, > in the package:"; cat "$tmp/diff"; fail "the package's files are not what the build installs"; }
awk '$NF !~ /\/$/ && $2 != "root/root" { print }' "$tmp/contents" >"$tmp/owners"
[ ! -s "$tmp/owners" ] || { cat "$tmp/owners"; fail "files not owned by root"; }
awk '$NF ~ /\/$/ { next } $NF ~ /^\.\/usr\/bin\// && $1 != "-rwxr-xr-x" || $NF !~ /^\.\/usr\/bin\// && $1 != "-rw-r--r--"' \
  "$tmp/contents" >"$tmp/modes"
[ ! -s "$tmp/modes" ] || { cat "$tmp/modes"; fail "programs must be 0755 and other files 0644"; }
grep -v -e '^usr/bin/[^/]*$' -e '^usr/share/man/man1/[^/]*\.1\.gz$' -e '^usr/share/doc/tralune/[^/]*$' \
  -e '^usr/share/tralune/demo/[^/]*$' "$tmp/packed" >"$tmp/stray" &&
  { cat "$tmp/stray"; fail "files outside the programs, pages, documentation and demo folders"; }

has() { grep -qxF "$1" "$tmp/packed" || { cat "$tmp/packed"; fail "the package has no $1"; }; }
dpkg-deb -x "$deb" "$tmp/x"
same() { cmp -s "$1" "$2" || fail "the package's $3 differs from the source tree's"; }
for file in script.txt font.pcx night.pcx gnusong.mp3; do
  has "usr/share/tralune/demo/$file"
  same "$tmp/x/usr/share/tralune/demo/$file" "$src/demo/$file" "demo/$file"
done
for file in README.md copyright changelog.gz; do has "usr/share/doc/tralune/$file"; done
same "$tmp/x/usr/share/doc/tralune/README.md" "$src/README.md" README.md
same "$tmp/x/usr/share/doc/tralune/copyright" "$src/copyright" copyright
# Each page in the source tree is packed, with its program; each packed program has its page.
for page in "$src"/man/*.1; do
  name=$(basename "$page" .1)
  has "usr/bin/$name"
  has "usr/share/man/man1/$name.1.gz"
  gzip -dc "$tmp/x/usr/share/man/man1/$name.1.gz" >"$tmp/page" || fail "$name.1.gz does not decompress"
  same "$tmp/page" "$page" "page $name.1"
done
for program in $(sed -n 's|^usr/bin/||p' "$tmp/packed"); do
  has "usr/share/man/man1/$program.1.gz"
done
has usr/bin/tralune
has usr/bin/tralune-demo

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tralune ] || fail "Package is \"$(field Package)\""
[ "$(field Version)" = "$version" ] || fail "Version is \"$(field Version)\", not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is \"$(field Architecture)\", not $arch"
field Maintainer | grep -qE '^[^<]+ <[^@> ]+@[^> ]+>$' || fail "Maintainer \"$(field Maintainer)\" is not NAME <ADDRESS>"
[ -n "$(field Section)" ] && [ -n "$(field Priority)" ] || fail "no Section or no Priority"
field Description >"$tmp/description"
[ "$(wc -l <"$tmp/description")" -ge 3 ] || { cat "$tmp/description"; fail "the Description has no long part"; }
awk 'length($0) >= 80' "$tmp/description" | grep . && fail "Description lines of 80 columns or more"
gzip -dc "$tmp/x/usr/share/doc/tralune/changelog.gz" | head -n 1 | grep -qF "tralune ($version) " ||
  fail "the changelog's first entry is not for $version"

# One alternative list, one package name a line, without versions.
names() { tr ',|' '\n\n' | sed 's/([^)]*)//; s/^ *//; s/ *$//' | sed '/^$/d'; }
field Depends | names >"$tmp/Depends"
field Recommends | names >"$tmp/Recommends"
needs() { grep -qxF "$2" "$tmp/$1" || { echo "$1: $(field "$1")"; fail "$1 does not name $2 ($3)"; }; }
needs Depends mpg123 "tralune plays the song with it"
# Every library a program is linked with, found as the dynamic linker finds it, and the package it is in.
for program in "$tmp"/x/usr/bin/*; do
  head -c 4 "$program" | grep -q ELF || continue
  for lib in $(objdump -p "$program" | awk '$1 == "NEEDED" { print $2 }'); do
    path=$(ldd "$program" | awk -v lib="$lib" '$1 == lib { print $3 }')
    [ -n "$path" ] || fail "$(basename "$program") needs $lib, which ldd does not find"
    owner=""
    for candidate in "$path" "$(readlink -f "$path")" "/usr$path" "${path#/usr}"; do
      owner=$(dpkg -S "$candidate" 2>/dev/null | head -n 1 | cut -d: -f1) && [ -n "$owner" ] && break
    done
    [ -n "$owner" ] || fail "no Debian package holds $path"
    needs Depends "$owner" "$(basename "$program") is linked with $lib"
  done
done
needs Recommends fonts-dejavu-core "a font to make a first font image from"
if grep -qx usr/bin/tralune-kar "$tmp/packed"; then
  needs Recommends fluidsynth "tralune-kar plays MIDI through it"
  needs Recommends sf2-soundfont-gm "fluidsynth needs a General MIDI sound font"
  needs Recommends lame "tralune-kar encodes the song with it"
fi

if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on error "$deb" >"$tmp/lintian" 2>&1 || { cat "$tmp/lintian"; fail "lintian finds errors"; }
  echo "lintian: $(grep -c '^W: ' "$tmp/lintian" || true) warnings, no error"
else
  echo "lintian is not installed: the package is not linted"
fi
echo "the package holds $(wc -l <"$tmp/packed") files, every program, page, the demo and documentation"
