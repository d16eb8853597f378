#!/usr/bin/env bash
# Builds the Debian package (Debian 12): installs what is missing, configures
# a build with Debian's own compiler flags (hardening included) in build-pkg/,
# runs cpack -G DEB, then checks the package (scripts/check-package.sh: its
# contents, lintian, the desktop files).
#   scripts/package.sh                 build-pkg/velkor_<version>_<arch>.deb
#   scripts/package.sh --build DIR     another build folder
# Install it with: sudo apt-get install ./build-pkg/velkor_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-pkg
if [[ "${1:-}" == "--build" ]]; then build=$2; fi

scripts/install-deps.sh
scripts/install-deps.sh dpkg-dev lintian

# As a Debian package build does: build type None, flags from dpkg-buildflags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None \
  -DVELKOR_DEBIAN=ON -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/velkor_*.deb
(cd "$build" && cpack -G DEB)
deb=$(echo "$build"/velkor_*.deb)
scripts/check-package.sh "$deb"
echo "$deb"
