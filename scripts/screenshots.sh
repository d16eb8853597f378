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
work=$1 out=$2
"$work/velkor" & pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^Velkor Programmer$' | head -n1)
# No window manager: focus it by hand so that it is activated and scans.
xdotool windowfocus --sync "$wid" || true

# Saves the window once its picture differs from the one given (the click
# has been painted) and no longer changes.
shoot() { # name previous
  local file="$out/$1.png" prev=${2:-} last="" i
  for i in $(seq 1 100); do
    import -window "$wid" "$work/now.png"
    if [[ -z $prev ]] || ! cmp -s <(convert "$work/now.png" rgb:-) <(convert "$prev" rgb:-); then
      if [[ -n $last ]] && cmp -s <(convert "$work/now.png" rgb:-) <(convert "$last" rgb:-); then
        cp "$work/now.png" "$file"; echo "$file"; return 0
      fi
      cp "$work/now.png" "$work/last.png"; last="$work/last.png"
    fi
    sleep 0.1
  done
  echo "window did not settle for $1" >&2; return 1
}
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; }

shoot programmierung
click 452 24;  shoot hardware-setup "$out/programmierung.png"
click 452 64;  shoot chip-setup "$out/hardware-setup.png"
click 452 112; shoot programmierung-again "$out/chip-setup.png" >/dev/null
rm -f "$out/programmierung-again.png"
INNER
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$work/shoot.sh" "$work" "$out"
