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

scripts/install-deps.sh cmake ninja-build g++ googletest g++-mingw-w64-x86-64-posix wine64 socat srecord \
  xvfb xdotool imagemagick

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
# The window tests make windows without a display: Wine's null driver, set
# before the services start (the desktop process keeps the driver it found).
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
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

# The window, velkor.exe, on the simulated chip under Xvfb: clicked at the
# controls' places with xdotool (without a window manager Wine's X window is
# the client area), its status text read by window_probe.exe and, at each
# job's end, off the screen. The port is
# registered as Wine's own, so that it is in the system's list of serial
# ports and the window's scan finds it.
xe2e=$build/e2e-window
shots=$build/screenshots-windows
rm -rf "$xe2e" "$shots"
mkdir -p "$xe2e/program" "$shots"
cp "$build/program/velkor.exe" "$build/program/targets.cfi" "$xe2e/program/"
"$build/host/program/velkor-sim" --wire-time --flash "$xe2e/chip.bin" >"$xe2e/sim.out" 2>"$xe2e/sim.err" &
pids+=($!)
wait_for -s "$xe2e/sim.out" || true
wslave=$(head -n 1 "$xe2e/sim.out")
[[ -c $wslave ]] || { echo "velkor-sim gave no device: $(cat "$xe2e/sim.err")" >&2; exit 1; }
# The display first: Wine's desktop process, started with its services,
# keeps the display it found.
exec 5>"$xe2e/display"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
exec 5>&-
wait_for -s "$xe2e/display"
export DISPLAY=:$(head -n 1 "$xe2e/display")
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$wslave" /f </dev/null >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f </dev/null >/dev/null 2>&1
# The ports are registered when Wine's services start.
"$wineserver" -k
"$wineserver" -w
"$wineserver" -p </dev/null >/dev/null 2>&1
"$wine" wineboot </dev/null >/dev/null 2>&1


printf '%s\r\n' "BAUD    115200" "COM     5" "RESET   1" "BOOT    4" >"$xe2e/program/default.cfp"
head -c 3000 /dev/urandom >"$xe2e/fw.bin"
srec_cat "$xe2e/fw.bin" -binary -o "$xe2e/fw.hex" -intel -crlf
probe() { "$wine" "$build/tests/window_probe.exe" "$@" </dev/null; }
status() { # PREFIX: waits for it, one minute at most
  local text
  text=$(probe status "$1" 60 | tr -d '\r') || { echo "window: $text; wanted $1" >&2; return 1; }
  echo "  status: $text"
}
# The status bar as the screen shows it, pixel for pixel the bar alone
# showing TEXT, drawn by the probe through the window's own code in a window
# of its own; waits for it a while. The probe's bar may sit a pixel higher or
# lower than the window's (its height is made up from a measurement), so the
# text strip left of the size grip is looked for within a few rows. Nothing
# here makes the window paint: the probe's window stays clear of it and the
# pointer stays off the bar.
references=0
screen_shows() { # TEXT
  local rpid rid= same= title
  references=$((references + 1))
  title=velkor-bar-reference-$references
  probe reference "$1" 60 "$title" &
  rpid=$!
  for _ in $(seq 200); do
    rid=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1) && [[ -n $rid ]] && break
    sleep 0.05
  done
  for _ in $(seq 100); do
    [[ -n $rid ]] || break
    import -window "$wid" -crop 500x26+0+322 +repage "$xe2e/bar.png"
    import -window "$rid" -crop 500x34+0+26 +repage "$xe2e/reference.png"  # the bottom of its 60 rows
    for dy in 0 1 2 3 4 5 6 7 8; do
      convert "$xe2e/reference.png" -crop "500x26+0+$dy" +repage "$xe2e/strip.png"
      same=$(compare -metric AE "$xe2e/bar.png" "$xe2e/strip.png" null: 2>&1) || true
      [[ $same == 0 ]] && break 2
    done
    sleep 0.2
  done
  kill "$rpid" 2>/dev/null || true
  wait "$rpid" 2>/dev/null || true
  [[ $same == 0 ]] || { echo "the status bar on the screen doesn't show '$1' (${same:-no reference} pixels differ)" >&2; return 1; }
  echo "  on the screen: $1"
}
shoot() { import -window root -crop "${geometry}" +repage "$shots/$1.png"; echo "  $shots/$1.png"; }
start=$(date +%s%N)
(cd "$xe2e/program" && exec "$wine" velkor.exe "$("$wine" winepath -w "$xe2e/fw.hex" </dev/null 2>/dev/null)") \
  </dev/null >"$xe2e/window.log" 2>&1 &
window_pid=$!
pids+=($window_pid)
wid=
for _ in $(seq 300); do
  wid=$(xdotool search --onlyvisible --name '^Velkor Programmer$' 2>/dev/null | head -n 1) && [[ -n $wid ]] && break
  sleep 0.05
done
[[ -n $wid ]] || { echo "velkor.exe showed no window: $(cat "$xe2e/window.log")" >&2; exit 1; }
echo "velkor.exe: window shown $(( ($(date +%s%N) - start) / 1000000 )) ms after start"
eval "$(xdotool getwindowgeometry --shell "$wid")"
geometry=${WIDTH}x${HEIGHT}+$X+$Y
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; }

status "COM 5 (115200 Bd) offen"  # the first activation's scan found COM 5 and opened it
shoot programmierung
click 452 24; sleep 0.5; shoot hardware-setup
click 452 64; click 88 76
status "Len "
shoot chip-setup
click 452 112; click 56 228
status "..ende, programmiert bis 00000C00"
screen_shows "..ende, programmiert bis 00000C00"
cmp -n 3000 "$xe2e/fw.bin" "$xe2e/chip.bin"
shoot job-end
click 56 260
status "..ende, verifiziert bis 00000C00"
screen_shows "..ende, verifiziert bis 00000C00"
click 56 148
probe save-as "$("$wine" winepath -w "$xe2e/out.bin" </dev/null 2>/dev/null)" 30 >/dev/null
status 'gelesen bis $00020000 fertig.'
screen_shows 'gelesen bis $00020000 fertig.'
cmp "$xe2e/chip.bin" "$xe2e/out.bin"
probe close
for _ in $(seq 200); do kill -0 "$window_pid" 2>/dev/null || break; sleep 0.05; done
tr -d '\r' <"$xe2e/program/default.cfp" | grep -qx 'COM     5'
tr -d '\r' <"$xe2e/program/default.cfp" | grep -q '^HEX .*fw\.hex$'
echo "velkor.exe on COM5: 1 passed, 0 failed"

# The zip as a user gets it: unpacked into a folder of its own and run from there.
(cd "$build" && cpack -G ZIP >/dev/null)
zip=$(ls "$build"/velkor-*-win64.zip)
unpacked=$build/unzipped
rm -rf "$unpacked"
mkdir -p "$unpacked"
(cd "$unpacked" && cmake -E tar xf "$zip")
folder=$unpacked/$(basename "$zip" .zip)
for f in velkor.exe velkor-cli.exe targets.cfi pages.cfi README.md LICENSE; do
  [[ -f $folder/$f ]] || { echo "$(basename "$zip") lacks $f" >&2; exit 1; }
done
"$wine" "$folder/velkor-cli.exe" --version </dev/null | tr -d '\r'
"$wine" "$folder/velkor-cli.exe" ports </dev/null | tr -d '\r' | grep -q '^COM 5 '
# The window from the zip in a Wine prefix of its own, as on a PC that has
# seen nothing of the build: it starts, finds its chip table and saves its
# settings beside itself.
"$wineserver" -k
"$wineserver" -w
export WINEPREFIX=$build/zipprefix
rm -rf "$WINEPREFIX"
"$wine" wineboot -i </dev/null >/dev/null 2>&1
(cd "$folder" && exec "$wine" velkor.exe) </dev/null >"$unpacked/window.log" 2>&1 &
pids+=($!)
status "COM 1 (28800 Bd) "
probe close
for _ in $(seq 200); do [[ -f $folder/default.cfp ]] && break; sleep 0.05; done
[[ -f $folder/default.cfp ]] || { echo "the zip's velkor.exe saved no default.cfp" >&2; exit 1; }
echo "$(basename "$zip"): $(stat -c %s "$folder/velkor.exe") bytes velkor.exe; 1 passed, 0 failed"
