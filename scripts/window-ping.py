#!/usr/bin/env python3
"""How long the window takes to answer its window manager while it programs.

    scripts/window-ping.py [--build DIR] [--kib N] [--baud RATE] [--every S]

Starts Xvfb, velkor-sim with wire time on a pseudo-terminal and the window on
a configuration that selects it, clicks "Programmieren" for an image of N KiB
(64 by default) at RATE (115200), and sends _NET_WM_PING to the window every S
seconds (0.5) until the last block is written, as a window manager does.
Prints each answer time and the worst. GNOME and KDE call a window that hasn't
answered for about 5 s "not responding". Needs xvfb and xdotool. Not a test:
a loaded machine moves the figures.
"""
import argparse
import ctypes
import ctypes.util
import os
import random
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PORT = 41


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xclient", XClientMessageEvent), ("pad", ctypes.c_long * 24)]


CLIENT_MESSAGE = 33
# Qt sends the answer with StructureNotify or SubstructureNotify (and the
# window manager's SubstructureRedirect), depending on its version.
ROOT_EVENT_MASK = (1 << 17) | (1 << 19)


class Pinger:
    """A window manager's ping: the client sends the message back to the root window."""

    def __init__(self, display, window):
        x = ctypes.CDLL(ctypes.util.find_library("X11"))
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                 ctypes.POINTER(XEvent)]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XPending.argtypes = [ctypes.c_void_p]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
        x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        self.x = x
        self.d = x.XOpenDisplay(display.encode())
        if not self.d:
            sys.exit("can't open display " + display)
        self.window = window
        self.root = x.XDefaultRootWindow(self.d)
        self.protocols = x.XInternAtom(self.d, b"WM_PROTOCOLS", 0)
        self.ping = x.XInternAtom(self.d, b"_NET_WM_PING", 0)
        x.XSelectInput(self.d, self.root, ROOT_EVENT_MASK)
        self.fd = x.XConnectionNumber(self.d)
        self.serial = 0

    def send(self):
        self.serial += 1
        e = XEvent()
        e.xclient.type = CLIENT_MESSAGE
        e.xclient.window = self.window
        e.xclient.message_type = self.protocols
        e.xclient.format = 32
        e.xclient.data[0] = self.ping
        e.xclient.data[1] = self.serial  # the timestamp field, echoed back
        e.xclient.data[2] = self.window
        self.x.XSendEvent(self.d, self.window, 0, 0, ctypes.byref(e))
        self.x.XFlush(self.d)
        return self.serial

    def answers(self, timeout):
        """The serials of the pings answered within timeout seconds."""
        select.select([self.fd], [], [], max(0.0, timeout))
        got = []
        while self.x.XPending(self.d):
            e = XEvent()
            self.x.XNextEvent(self.d, ctypes.byref(e))
            c = e.xclient
            if e.type == CLIENT_MESSAGE and c.message_type == self.protocols and c.data[0] == self.ping:
                got.append(c.data[1])
        return got


def hex_file(path, size):
    """Random bytes (no 0xFF run a block long) as Intel HEX records of 32 bytes."""
    rng = random.Random(1)
    with open(path, "w", newline="\r\n") as f:
        for offset in range(0, size, 32):
            if offset % 0x10000 == 0:
                upper = offset >> 16
                rec = [2, 0, 0, 4, upper >> 8, upper & 0xFF]
                f.write(":" + "".join("%02X" % b for b in rec) + "%02X\n" % (-sum(rec) & 0xFF))
            data = [rng.randrange(0, 255) for _ in range(32)]
            rec = [32, (offset >> 8) & 0xFF, offset & 0xFF, 0] + data
            f.write(":" + "".join("%02X" % b for b in rec) + "%02X\n" % (-sum(rec) & 0xFF))
        f.write(":00000001FF\n")


def wait_for(cond, limit, what):
    end = time.monotonic() + limit
    while time.monotonic() < end:
        if cond():
            return
        time.sleep(0.05)
    sys.exit("timed out waiting for " + (what() if callable(what) else what))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--kib", type=int, default=64)
    ap.add_argument("--baud", type=int, default=115200)
    ap.add_argument("--every", type=float, default=0.5)
    args = ap.parse_args()
    prog = os.path.join(os.path.abspath(args.build), "program")
    for tool in ("Xvfb", "xdotool"):
        if not shutil.which(tool):
            sys.exit("needs %s (scripts/install-deps.sh installs it)" % tool)

    work = tempfile.mkdtemp(prefix="velkor-ping-")
    children = []

    def start(argv, **kw):
        p = subprocess.Popen(argv, **kw)
        children.append(p)
        return p

    try:
        for name in ("velkor", "targets.cfi"):
            shutil.copy(os.path.join(prog, name), work)
        # A display number of its own, away from the low ones other X servers take.
        number = next(n for n in range(200, 400) if not os.path.exists("/tmp/.X%d-lock" % n))
        display = ":%d" % number
        start(["Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
              stderr=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists("/tmp/.X11-unix/X%d" % number), 20, "Xvfb")
        env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb")
        for var in ("QT_QPA_PLATFORMTHEME", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"):
            env.pop(var, None)

        log = os.path.join(work, "sim.log")
        start([os.path.join(prog, "velkor-sim"), "--wire-time", "--link", str(PORT), "--ports-dir",
               os.path.join(work, "ports"), "--flash", os.path.join(work, "chip.bin"), "--log", log],
              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        link = os.path.join(work, "ports", "COM%d" % PORT)
        wait_for(lambda: os.path.islink(link), 10, "velkor-sim")

        size = args.kib * 1024
        hex_path = os.path.join(work, "fw.hex")
        hex_file(hex_path, size)
        with open(os.path.join(work, "default.cfp"), "w", newline="\r\n") as f:
            f.write("BAUD    %d\nCOM     %d\nRESET   1\nBOOT    4\nFLENG   131072\n" % (args.baud, PORT))
        start([os.path.join(work, "velkor"), hex_path], env=env, stdout=open(os.path.join(work, "velkor.out"), "w"),
              stderr=subprocess.STDOUT)

        def xdo(*a):
            return subprocess.run(["xdotool"] + list(a), env=env, capture_output=True, text=True).stdout.split()

        wid = []
        wait_for(lambda: wid.extend(xdo("search", "--onlyvisible", "--name", "^Velkor Programmer$")) or wid, 30,
                 lambda: "the window: " + open(os.path.join(work, "velkor.out")).read().strip())
        wid = wid[0]
        xdo("windowfocus", "--sync", wid)  # no window manager: activation scans and opens the port
        time.sleep(1)

        last_block = "31 Write Memory %08X" % (0x08000000 + size - 256)
        pinger = Pinger(display, int(wid))
        xdo("mousemove", "--window", wid, "56", "228", "click", "1")  # "Programmieren"
        started = time.monotonic()
        sent, times = {}, []
        next_ping = started
        done = False
        while not done:
            now = time.monotonic()
            if now >= next_ping:
                sent[pinger.send()] = now
                next_ping += args.every
            for serial in pinger.answers(min(next_ping - time.monotonic(), 0.05)):
                if serial in sent:
                    times.append(time.monotonic() - sent.pop(serial))
            done = os.path.exists(log) and last_block in open(log, errors="replace").read()
            if time.monotonic() - started > 600:
                sys.exit("the job did not end within 10 minutes")
        job = time.monotonic() - started
        grace = time.monotonic() + 2.0
        while sent and time.monotonic() < grace:
            for serial in pinger.answers(grace - time.monotonic()):
                if serial in sent:
                    times.append(time.monotonic() - sent.pop(serial))
        end = time.monotonic()
        unanswered = [end - t for t in sent.values()]
        print("programmed %d KiB at %d Bd in %.1f s; %d pings, %d answered, %d unanswered after 2 s"
              % (args.kib, args.baud, job, len(times) + len(unanswered), len(times), len(unanswered)))
        if times:
            print("answers (s):", " ".join("%.2f" % t for t in times))
            ordered = sorted(times)
            print("answer time: median %.3f s, worst %.3f s" % (ordered[len(ordered) // 2], ordered[-1]))
        if unanswered:
            print("oldest unanswered ping: %.1f s" % max(unanswered))
    finally:
        for p in reversed(children):
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
