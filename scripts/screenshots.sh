#!/usr/bin/env bash
# Starts the window under Xvfb on a simulated STM32F103 and saves PNGs:
#   scripts/screenshots.sh OUTDIR [BUILDDIR]     (BUILDDIR defaults to build)
# programmierung, hardware-setup, chip-setup (the three views), port-tooltip
# and port-tooltip-failed (the port box's tooltip), job-running (during a programming job) with
# job-cursor (the cursor then), job-done (its closing text), and save-dialog ("Chip auslesen").
# The program runs from a scratch copy of its folder, so the default.cfp it
# writes there leaves the build alone.
set -euo pipefail
[[ $# -ge 1 ]] || { echo "usage: $0 OUTDIR [BUILDDIR]" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
build=${2:-build}
[[ $build = /* ]] || build="$root/$build"
[[ -x "$build/program/velkor" ]] || { echo "no $build/program/velkor; build it first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/program/velkor" "$build/program/velkor-sim" "$build/program/targets.cfi" "$work/"
port=7
printf '%s\r\n' "BAUD    115200" "COM     $port" "RESET   1" "BOOT    4" "HEX     $work/fw.hex" >"$work/default.cfp"
# 16 KiB: a job long enough to be caught running.
python3 - "$work/fw.hex" <<'PY'
import sys
with open(sys.argv[1], "w", newline="\r\n") as f:
    for at in range(0, 0x4000, 16):
        rec = [16, at >> 8, at & 0xFF, 0] + [(at + i) * 7 & 0xFF for i in range(16)]
        f.write(":" + "".join("%02X" % b for b in rec) + "%02X\n" % (-sum(rec) & 0xFF))
    f.write(":00000001FF\n")
PY

cat > "$work/shoot.sh" <<'INNER'
set -euo pipefail
scratch=$1 shots=$2 port=$3
source "$4"
"$scratch/velkor-sim" --wire-time --link "$port" --ports-dir "$scratch/ports" --flash "$scratch/chip.bin" \
  --log "$scratch/sim.log" >/dev/null 2>&1 & sim=$!
for _ in $(seq 100); do [[ -L $scratch/ports/COM$port ]] && break; sleep 0.1; done
env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u QT_QPA_PLATFORMTHEME QT_QPA_PLATFORM=xcb \
  "$scratch/velkor" >/dev/null 2>&1 & pid=$!
trap 'kill $pid $sim 2>/dev/null || true' EXIT
wid=$(find_window '^Velkor Programmer$')
# No window manager: focus it by hand so that it is activated and scans.
xdotool windowfocus --sync "$wid" || true

shoot programmierung
click 452 24;  shoot hardware-setup
# Hovering over the port box: the tooltip is a window of its own, so the
# picture is taken of the screen around the window.
shoot_tooltip() { # name
  xdotool mousemove --window "$wid" 40 32; sleep 2
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  import -window root -crop "$((WIDTH + 200))x$((HEIGHT + 60))+$X+$Y" "$shots/$1.png"
  echo "  $shots/$1.png"
}
shoot_tooltip port-tooltip
# A port that can't be opened: the tooltip gives the reason on a second line.
retype_port() { click 40 32; xdotool key ctrl+a; xdotool type --delay 20 "$1"; }
retype_port "COM 8"; xdotool mousemove --window "$wid" 300 250; sleep 0.5
shoot_tooltip port-tooltip-failed
retype_port "COM $port"
click 452 64;  shoot chip-setup

click 452 112; click 56 228                  # "Programmierung", "Programmieren"
for _ in $(seq 100); do grep -q "31 Write Memory 08000800" "$scratch/sim.log" 2>/dev/null && break; sleep 0.1; done
import -window "$wid" "$shots/job-running.png"; echo "  $shots/job-running.png"
cursor_png "$shots/job-cursor.png"
for _ in $(seq 300); do grep -q "31 Write Memory 08003F00" "$scratch/sim.log" 2>/dev/null && break; sleep 0.1; done
sleep 1
shoot job-done                               # the closing text in the status bar
click 56 148                                 # "Chip auslesen"
dialog=$(find_window '^Speichern unter$')
shoot save-dialog "$dialog" 1
INNER
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$work/shoot.sh" "$work" "$out" "$port" "$root/scripts/xwindow.sh"
