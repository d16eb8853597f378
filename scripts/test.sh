#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12), builds, runs every test.
#   scripts/test.sh                  normal build in build/
#   scripts/test.sh --sanitize       ASan + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

"$(dirname "$0")/install-deps.sh"

build=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "${1:-}" == "--sanitize" ]]; then
  build=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DVELKOR_SANITIZE=ON -DVELKOR_BUILD_BENCH=OFF)
fi
[[ "${CI:-}" == "true" ]] && flags+=(-DVELKOR_WERROR=ON)

cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp}
ctest --test-dir "$build" --output-on-failure -j 2
