#!/usr/bin/env bash
# 64 KiB program --erase + verify at 115200 Bd through ser2net (RFC 2217 on
# 127.0.0.1) against the same job on the pseudo-terminal directly, in the same
# run, on velkor-sim --wire-time; then through a proxy that adds 1 ms of round
# trip, as a LAN does; then the direct line behind a USB adapter's latency
# timer of 1 ms and of 16 ms. Prints farm-bench's figures (wall, CPU) for each
# pair, A against the plain direct line B.
#   bench/net_bench.sh [--program DIR] [--runs N]
# Not a test. Goals: loopback at most 1.05 x the direct line, CPU at most 3 %
# of wall.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/program
runs=3
while (($#)); do
  case $1 in
    --program) program=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "usage: $0 [--program DIR] [--runs N]" >&2; exit 2 ;;
  esac
done
program=$(cd "$program" && pwd)
scripts/install-deps.sh ser2net python3 >/dev/null
command -v farm-bench >/dev/null || { echo "$0: needs farm-bench" >&2; exit 2; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
listening() { python3 -c "import socket,sys; s=socket.socket(); sys.exit(s.connect_ex(('127.0.0.1', $1)))" 2>/dev/null; }
wait_for_file() { for _ in $(seq 200); do [[ -s $1 ]] && return; sleep 0.05; done; echo "$0: $1 stays empty" >&2; exit 1; }

start_sim() {
  "$program/velkor-sim" --wire-time "${@:2}" >"$work/$1.out" 2>/dev/null &
  pids+=($!)
  wait_for_file "$work/$1.out"
}
# ser2net gets a chip of its own: when a client leaves it closes the device
# late and puts back the settings it found, which would slow down a direct
# run on the same pseudo-terminal that started meanwhile.
start_sim sim
start_sim net
start_sim timer1 --latency-timer 1
start_sim timer16 --latency-timer 16
pty=$(head -n1 "$work/sim.out")

port=$(free_port)
cat >"$work/ser2net.yaml" <<YAML
connection: &bench
  accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,$port
  connector: serialdev,$(head -n1 "$work/net.out"),115200e81,local
  options:
    kickolduser: false
    chardelay: false
    mdns: false
YAML
ser2net -n -d -u -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >"$work/ser2net.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do [[ -s $work/ser2net.pid ]] && break; sleep 0.05; done
sleep 0.2

proxy=$(free_port)
python3 bench/delay_proxy.py "$proxy" "$port" 0.5 >"$work/proxy.out" 2>&1 &
pids+=($!)
wait_for_file "$work/proxy.out"

head -c 65536 /dev/urandom >"$work/fw.bin"
job=(--baud 115200 --boot-delay 100 --flash-len 0x10000 program --erase "$work/fw.bin" verify "$work/fw.bin")

compare() {
  echo "== $1 (A) against the pseudo-terminal directly (B)"
  farm-bench -n "$runs" --timeout 900 --vs "$program/velkor-cli --device $pty ${job[*]}" -- \
    "$program/velkor-cli" --device "$2" "${job[@]}"
  echo
}
compare "through ser2net on loopback" "rfc2217://127.0.0.1:$port"
compare "through ser2net with 1 ms round trip added" "rfc2217://127.0.0.1:$proxy"
compare "direct, adapter latency timer 1 ms" "$(head -n1 "$work/timer1.out")"
compare "direct, adapter latency timer 16 ms" "$(head -n1 "$work/timer16.out")"
