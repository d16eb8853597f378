#!/usr/bin/env bash
# Starts the window under Xvfb and saves a PNG of each of its three views:
#   scripts/screenshots.sh OUTDIR [BUILDDIR]     (BUILDDIR defaults to build)
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
cp "$build/program/velkor" "$build/program/targets.cfi" "$work/"

cat > "$work/shoot.sh" <<'INNER'
set -euo pipefail
scratch=$1 shots=$2
source "$3"
"$scratch/velkor" & pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
wid=$(find_window '^Velkor Programmer$')
# No window manager: focus it by hand so that it is activated and scans.
xdotool windowfocus --sync "$wid" || true

shoot programmierung
click 452 24;  shoot hardware-setup
click 452 64;  shoot chip-setup
INNER
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$work/shoot.sh" "$work" "$out" "$root/scripts/xwindow.sh"
