#!/bin/sh
# Makes tralune's Debian package: installs what is missing (./deps.sh package), builds every program in
# release mode with Debian's own hardening flags in build-package/, packs with CPack what the install
# rules name, and leaves tralune_VERSION_ARCH.deb in this folder in place of any earlier one. lintian
# then checks it; an error there fails the run.
set -eu
top=$(cd "$(dirname "$0")" && pwd)
"$top/deps.sh" package
build=$top/build-package
cd "$top"
# hardening=+all adds what Debian's defaults leave out (binding every symbol at start-up).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB -B "$build/packages")
rm -f "$top"/tralune_*.deb
mv "$build"/packages/tralune_*.deb "$top/"
deb=$(ls "$top"/tralune_*.deb)
echo "package.sh: lintian $(basename "$deb")"
lintian --fail-on error "$deb"
echo "package.sh: made $deb"
