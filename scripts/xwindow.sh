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

# Saves the cursor the screen shows now (where the pointer is) as a PNG, four
# times enlarged: XFixes through python3's ctypes, then imagemagick.
cursor_png() { # file
  python3 - "$scratch/cursor.rgba" <<'PY' || return 1
import ctypes, ctypes.util, sys
class Image(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort),
                ("height", ctypes.c_ushort), ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)), ("atom", ctypes.c_ulong),
                ("name", ctypes.c_char_p)]
x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
xf = ctypes.CDLL(ctypes.util.find_library("Xfixes"))
x11.XOpenDisplay.restype = ctypes.c_void_p
xf.XFixesGetCursorImage.restype = ctypes.POINTER(Image)
xf.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
c = xf.XFixesGetCursorImage(x11.XOpenDisplay(None)).contents
with open(sys.argv[1], "wb") as f:
    for i in range(c.width * c.height):
        p = c.pixels[i]
        f.write(bytes([(p >> 16) & 255, (p >> 8) & 255, p & 255, (p >> 24) & 255]))
print(c.width, c.height, file=open(sys.argv[1] + ".size", "w"))
PY
  local w h
  read -r w h <"$scratch/cursor.rgba.size"
  convert -size "${w}x${h}" -depth 8 "rgba:$scratch/cursor.rgba" -background white -flatten -scale 400% "$1"
  echo "  $1"
}
