#!/usr/bin/env bash
# The window on a simulated STM32F103, no hardware needed (Debian 12):
#   scripts/demo.sh [--build DIR] [--shots DIR]
# Installs what is missing, builds the window and velkor-sim (Release, in
# build/ unless DIR says otherwise), serves the simulated chip on a
# pseudo-terminal linked as a COM port in the program folder, and opens the
# window on a configuration of its own (DIR/demo/demo.cfp), so a default.cfp
# of yours is left as it is. Without a display ($DISPLAY empty) the clicks run
# by themselves under Xvfb and a screenshot of each step goes to the --shots
# folder (DIR/demo/shots by default).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
shots=""
while (($#)); do
  case $1 in
    --build) build=$2; shift 2 ;;
    --shots) shots=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--shots DIR]" >&2; exit 2 ;;
  esac
done
[[ $build = /* ]] || build="$PWD/$build"

"$root/scripts/install-deps.sh"
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DVELKOR_BUILD_TESTS=OFF -DVELKOR_BUILD_BENCH=OFF
fi
cmake --build "$build" --target velkor velkor-sim

prog="$build/program"
demo="$build/demo"
mkdir -p "$demo"
rm -f "$demo/chip-flash.bin" "$demo/sim.log" "$demo/auslese.bin"
shots=${shots:-$demo/shots}

# The first port number that no link in the ports folder has taken.
port=""
for n in $(seq 42 99); do
  if [[ ! -e $prog/ports/COM$n && ! -L $prog/ports/COM$n ]]; then port=$n; break; fi
done
[[ -n $port ]] || { echo "no free port number in $prog/ports" >&2; exit 1; }

# A fresh, blank chip each run; its flash is kept in chip-flash.bin.
"$prog/velkor-sim" --preset f103 --link "$port" --flash "$demo/chip-flash.bin" \
  --log "$demo/sim.log" >"$demo/sim.out" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 100); do [[ -L $prog/ports/COM$port ]] && break; sleep 0.1; done
[[ -L $prog/ports/COM$port ]] || { echo "velkor-sim did not start:" >&2; cat "$demo/sim.out" >&2; exit 1; }

# Reset on "DTR hi", boot mode on "RTS lo": the wiring the simulated chip expects.
printf '%s\r\n' "BAUD    115200" "COM     $port" "RESET   1" "BOOT    4" "MANU    TRUE" \
  "AUTOERA TRUE" "CHIPNAM STM32F???" "FLASH   134217728" "FLENG   131072" \
  "INI     $demo/demo.cfp" "HEX     $root/data/example.hex" >"$demo/demo.cfp"

if [[ -n ${DISPLAY:-} ]]; then
  cat <<EOF
A simulated STM32F103 answers on COM $port (its log: $demo/sim.log).
In the window:
  "Chip Setup", then "Teste Verbindung + Chip"     identifies the chip
  "Programmierung", then "..." beside Hexfile     loads $root/data/example.hex
  "Programmieren", "Verifizieren"                 write and check it
  "Chip auslesen"                                 saves the whole flash to a file
The simulated F103 can't program over data it holds: "alles Löschen" first
to program it again. Closing the window ends the demo.
EOF
  "$prog/velkor" "$demo/demo.cfp"
  exit 0
fi

echo "No display (\$DISPLAY is empty): running the demo's clicks under Xvfb."
mkdir -p "$shots"
shots=$(cd "$shots" && pwd)
rm -f "$shots"/[0-9]-*.png

cat >"$demo/clicks.sh" <<'INNER'
set -euo pipefail
prog=$1 demo=$2 shots=$3 hex=$4 scratch=$2
source "$5"
env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u QT_QPA_PLATFORMTHEME QT_QPA_PLATFORM=xcb \
  "$prog/velkor" "$demo/demo.cfp" >"$demo/velkor.out" 2>&1 &
velkor=$!
trap 'kill $velkor 2>/dev/null || true' EXIT

wid=$(find_window '^Velkor Programmer$')
# No window manager: focusing it by hand activates it, and it scans the ports.
xdotool windowfocus --sync "$wid"

# Waits up to a minute for a line in the chip's log.
logged() {
  for _ in $(seq 600); do grep -q "$1" "$demo/sim.log" 2>/dev/null && return 0; sleep 0.1; done
  echo "the chip never logged: $1" >&2; return 1
}
# Types a file name into the file dialog and presses Enter until it closes
# (the first Enter may only close the completer's list).
answer() { # title name shot
  local d _
  d=$(find_window "$1")
  xdotool windowfocus --sync "$d"
  shoot "$3" "$d" 1
  xdotool type --delay 20 "$2"
  for _ in 1 2 3; do
    xdotool key Return
    for _ in $(seq 20); do xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0; sleep 0.1; done
  done
  echo "the dialog $1 stayed open" >&2; return 1
}

shoot 1-start
click 452 64; click 88 76                    # "Chip Setup", "Teste Verbindung + Chip"
logged "02 Get ID"; shoot 2-chip-erkannt
click 452 112; click 352 82                  # "Programmierung", "..." beside Hexfile
answer 'ffnen$' "$hex" 3-hex-dialog; shoot 4-hex-geladen
click 56 228                                 # "Programmieren"
logged "31 Write Memory 08000000"; shoot 5-programmiert
click 56 260                                 # "Verifizieren"
logged "11 Read Memory 08000000"; shoot 6-verifiziert
click 56 148                                 # "Chip auslesen"
answer '^Speichern unter$' "$demo/auslese.bin" 7-auslesen-dialog
for _ in $(seq 600); do
  [[ $(stat -c %s "$demo/auslese.bin" 2>/dev/null || echo 0) == 131072 ]] && break; sleep 0.1
done
shoot 8-ausgelesen
INNER

echo "Screenshots:"
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$demo/clicks.sh" "$prog" "$demo" "$shots" "$root/data/example.hex" \
  "$root/scripts/xwindow.sh"
rm -f "$demo/clicks.sh" "$demo/last.rgb" "$demo/now.rgb"
if cmp -s "$demo/auslese.bin" "$demo/chip-flash.bin"; then
  echo "The read-out file $demo/auslese.bin holds the chip's 128 KiB flash."
else
  echo "The read-out file $demo/auslese.bin differs from the chip's flash." >&2
  exit 1
fi
