#!/usr/bin/env bash
# Wall and CPU time of velkor-cli on a line with wire time, beside stm32flash
# on the same kind of line in the same run: velkor-sim --wire-time on a
# pseudo-terminal, 64 KiB at 115200 Bd. Also one board against four at once,
# and the ioctl calls of a 4 KiB read (strace).
#   bench/serial_cpu.sh [--program DIR] [--boards N]
# DIR holds velkor-cli and velkor-sim (default build/program). Not a test:
# it prints figures; the goal is CPU (user + sys) at most 3 % of wall.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/program
boards=4
while (($#)); do
  case $1 in
    --program) program=$2; shift 2 ;;
    --boards) boards=$2; shift 2 ;;
    *) echo "usage: $0 [--program DIR] [--boards N]" >&2; exit 2 ;;
  esac
done
program=$(cd "$program" && pwd)
scripts/install-deps.sh time strace stm32flash srecord >/dev/null

work=$(mktemp -d)
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a simulated F103 with wire time; its pseudo-terminal goes into the named variable.
start_sim() {
  local out=$work/sim${#sims[@]}.out
  "$program/velkor-sim" --wire-time >"$out" 2>/dev/null &
  sims+=($!)
  for _ in $(seq 200); do
    [[ -s $out ]] && break
    sleep 0.05
  done
  printf -v "$1" '%s' "$(head -n1 "$out")"
}

# Runs a command under /usr/bin/time; prints one row, keeps wall in $wall.
row() {
  local label=$1
  shift
  if ! /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >"$work/out" 2>&1; then
    echo "$label: failed" >&2
    cat "$work/out" >&2
    exit 1
  fi
  read -r wall user sys <"$work/time"
  awk -v l="$label" -v w="$wall" -v u="$user" -v s="$sys" \
    'BEGIN { c = u + s; printf "%-44s %7.2f %7.2f %7.1f %%\n", l, w, c, (w > 0 ? 100 * c / w : 0) }'
}

srec_cat -generate 0 0x10000 -repeat-string 'Velkor bench 64 KiB ' -o "$work/fw.hex" -intel
srec_cat "$work/fw.hex" -intel -o "$work/fw.bin" -binary

cli=("$program/velkor-cli" --baud 115200 --flash-len 0x10000)
# A pseudo-terminal keeps no parity bit; velkor-sim takes its framing as 8E1.
flash=(stm32flash -b 115200 -m 8n1)

printf '%-44s %7s %7s %9s\n' "64 KiB at 115200 Bd, wire time" "wall s" "cpu s" "cpu/wall"
start_sim a
start_sim b
row "velkor-cli erase program verify" "${cli[@]}" --device "$a" erase program "$work/fw.hex" verify "$work/fw.hex"
row "stm32flash -w -v (page erase, write, verify)" "${flash[@]}" -w "$work/fw.bin" -v "$b"
row "velkor-cli read" "${cli[@]}" --device "$a" read "$work/cli.bin"
row "stm32flash -r" "${flash[@]}" -r "$work/flash.bin" -S 0x08000000:0x10000 "$b"
cmp "$work/cli.bin" "$work/fw.bin" && cmp "$work/flash.bin" "$work/fw.bin"

# Fresh chips: an F1 refuses to program flash that isn't erased.
start_sim one
row "velkor-cli program verify, 1 board" "${cli[@]}" --device "$one" program "$work/fw.hex" verify "$work/fw.hex"
single=$wall
devices=()
for _ in $(seq "$boards"); do
  start_sim dev
  devices+=(--device "$dev")
done
row "velkor-cli program verify, $boards boards" "${cli[@]}" "${devices[@]}" program "$work/fw.hex" verify "$work/fw.hex"
awk -v n="$boards" -v a="$single" -v b="$wall" 'BEGIN { printf "%d boards / 1 board, wall: %.2f (goal at most 1.15)\n", n, b / a }'

# strace slows every call, so for a program that spins this is a lower bound.
strace -f -qq -c -e trace=ioctl -o "$work/strace" "${cli[@]}" --device "$a" --flash-len 0x1000 read "$work/4k.bin" \
  >/dev/null 2>&1
calls=$(awk '$NF == "ioctl" { print $4 }' "$work/strace")
echo "ioctl calls of a 4 KiB read: ${calls:-?}"
