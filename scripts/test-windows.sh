#!/usr/bin/env bash
# Windows build: cross-compiles the library, the command line and the tests
# with mingw-w64 (statically linked) and runs them under Wine, headless.
# Installs what it needs (Debian 12). Builds in build-win/ (or $1).
#   scripts/test-windows.sh [build-dir]
set -euo pipefail
trap 'echo "test-windows.sh: failed at line $LINENO" >&2' ERR
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-win}
[[ $build = /* ]] || build=$root/$build

scripts/install-deps.sh cmake ninja-build g++ googletest g++-mingw-w64-x86-64-posix wine64 socat srecord

flags=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  -DVELKOR_BUILD_UI=OFF -DVELKOR_BUILD_BENCH=OFF)
[[ "${CI:-}" == "true" ]] && flags+=(-DVELKOR_WERROR=ON)
cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build" -j "$(nproc)"
# The simulated chip is a Linux program on a pseudo-terminal: a host build.
cmake -S . -B "$build/host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELKOR_BUILD_UI=OFF \
  -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_BENCH=OFF
cmake --build "$build/host" -j "$(nproc)" --target velkor-sim

# Console programs only: no display. No Mono or Gecko either.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  "$wineserver" -k 2>/dev/null || true
}
trap cleanup EXIT

# One server for every test process instead of one started per program, and
# Wine's own services started here, on /dev/null: started by a test they
# would hold its output pipe open and ctest would wait for them.
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  "$wine" wineboot -i </dev/null >/dev/null 2>&1
  "$wineserver" -w  # the prefix is complete once its server has saved it
fi
"$wineserver" -p </dev/null >/dev/null 2>&1
"$wine" wineboot </dev/null >/dev/null 2>&1

# Waits until "test OP PATH" holds: -e a link socat makes, -s output that has begun.
wait_for() {
  for _ in $(seq 200); do
    test "$1" "$2" && return 0
    sleep 0.05
  done
  echo "no $2" >&2
  return 1
}

# COM12 (named \\.\COM12, the device namespace) echoes whatever is written to it.
loop=$WINEPREFIX/dosdevices/com12
rm -f "$loop"
socat PTY,link="$loop",raw,echo=0 EXEC:cat &
pids+=($!)
wait_for -e "$loop"
export VELKOR_LOOPBACK_PORT=12

# The pty tests share that one port: one at a time.
ctest --test-dir "$build" --output-on-failure --timeout 300 -LE pty -j 2
ctest --test-dir "$build" --output-on-failure --timeout 300 -L pty -j 1

# velkor-cli.exe on the simulated chip through COM7 (the plain name), as the
# Linux test does it on the pty itself: every chip command in one run.
e2e=$build/e2e
rm -rf "$e2e"
mkdir -p "$e2e"
"$build/host/program/velkor-sim" --wire-time >"$e2e/sim.out" 2>"$e2e/sim.err" &
pids+=($!)
wait_for -s "$e2e/sim.out" || true  # the check below tells why
slave=$(head -n 1 "$e2e/sim.out")
[[ -c $slave ]] || { echo "velkor-sim gave no device: $(cat "$e2e/sim.err")" >&2; exit 1; }
com=$WINEPREFIX/dosdevices/com7
ln -sfn "$slave" "$com"

# 3000 bytes of data from offset 0, as Intel HEX; the read-back is the data
# and erased flash up to the 8 KiB flash length.
head -c 3000 /dev/urandom >"$e2e/fw.bin"
srec_cat "$e2e/fw.bin" -binary -o "$e2e/fw.hex" -intel -crlf
{ cat "$e2e/fw.bin"; head -c $((0x2000 - 3000)) /dev/zero | tr '\0' '\377'; } >"$e2e/want.bin"

cat >"$e2e/want.txt" <<'TEXT'
Chip ist gelöscht
Chip ist leer bis $00002000
..ende, programmiert bis 00000C00
..ende, verifiziert bis 00000C00
gelesen bis $00002000 fertig.
Normal-Start
TEXT
ok=1
(cd "$e2e" && "$wine" "$build/program/velkor-cli.exe" --port 7 --baud 115200 --flash-len 0x2000 \
  erase blank program fw.hex verify fw.hex read out.bin reset >cli.out 2>cli.err) || ok=0
tr -d '\r' <"$e2e/cli.out" >"$e2e/cli.txt"
if ((ok)) && diff -u "$e2e/want.txt" "$e2e/cli.txt" && cmp "$e2e/want.bin" "$e2e/out.bin"; then
  echo "velkor-cli.exe on COM7: 1 passed, 0 failed"
else
  echo "--- velkor-cli.exe standard error:" >&2
  tr -d '\r' <"$e2e/cli.err" >&2
  echo "velkor-cli.exe on COM7: 0 passed, 1 failed"
  exit 1
fi
