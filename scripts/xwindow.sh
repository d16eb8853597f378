# Driving the window under Xvfb, for scripts that source this file. The caller
# sets wid (the main window), shots (where the PNGs go) and scratch (a folder
# for the pictures compared while waiting).

# The first visible window whose title matches, waited for up to 30 s.
find_window() { timeout 30 xdotool search --sync --onlyvisible --name "$1" | head -n1; }

click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; }

# Saves a window as shots/NAME.png once its picture has stayed the same for a
# second, or for QUARTERS quarters of one (a dialog, whose text cursor blinks:
# one). The raw pixels are compared; no conversion per look.
shoot() { # name [window] [quarters]
  local w=${2:-$wid} needed=${3:-4} same=0 _
  import -window "$w" -depth 8 "rgb:$scratch/last.rgb"
  for _ in $(seq 100); do
    sleep 0.25
    import -window "$w" -depth 8 "rgb:$scratch/now.rgb"
    if cmp -s "$scratch/now.rgb" "$scratch/last.rgb"; then
      same=$((same + 1))
      if ((same >= needed)); then import -window "$w" "$shots/$1.png"; echo "  $shots/$1.png"; return 0; fi
    else
      same=0; mv "$scratch/now.rgb" "$scratch/last.rgb"
    fi
  done
  echo "the window did not settle for $1" >&2; return 1
}
