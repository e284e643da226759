#!/usr/bin/env bash
# Builds the Debian package in build-package/ (installed under /usr) and checks it with
# lintian; the .deb is left in build-package/. Options after the script go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
# Debian's own flags, as its packages are built (-O2, stack protector, fortified functions,
# PIE, full RELRO), and no build type of CMake's adding more.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
    -DTESSERON_BUILD_TESTS=OFF -DTESSERON_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS) -DNDEBUG" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" "$@" >/dev/null
cmake --build build-package -j"$(nproc)"
(cd build-package && cpack -G DEB)
deb=$(ls -t build-package/tesseron_*.deb | head -n 1)
echo "== $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
# Errors fail the script; warnings are shown.
lintian --fail-on error "$deb"
