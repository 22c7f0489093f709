#!/usr/bin/env python3
"""Flash and beep: how well the sound of a recording lines up with its pictures.

The screen turns from black to white and a short beep is played at the same moment, some
seconds into a `marrowdale-record --audio mixer --mode 2` recording. The first white frame's slot
time is the picture's time; the beep's first loud sample in test.wma is the sound's time.
Their difference is the offset (positive: the sound comes after the picture).

The measuring set-up has a share of its own, which is taken out:
- the player needs time to start and to get its sound to the sink's monitor: a second reader of
  the monitor (parec, 10 ms fragments) stamps when the beep arrives there, after the player was
  started;
- the flash (the root window painted white through Xlib, no process started for it) is only
  seen at the next slot, up to one period after it happened.
With marrowdale-record, whose --stats line gives the recording's zero on the monotonic clock,
both shares are known exactly and the corrected offset is where the beep was placed in
test.wma against when it reached the monitor. For ffmpeg, whose zero is not known, half a
period is added back instead: corrected = offset - (beep arrival - player start) + period / 2.
0 is perfect.

Runs against the display in $DISPLAY and the sound server in $PULSE_SERVER. Prints one line per
trial and a summary; with --max-ms, exits 1 when a trial's corrected offset is off by more
than that, or the sound file is shorter than the frames' span or longer than the recording
lasted by more than that.
"""
import argparse
import faulthandler
import os
import random
import struct
import subprocess
import sys
import tempfile
import threading
import time


class Screen:
    """The root window of $DISPLAY, painted black or white at once (Xlib through ctypes, so that
    the flash costs no process start)."""

    def __init__(self):
        import ctypes
        import ctypes.util
        self.x = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.display = self.x.XOpenDisplay(None)
        if not self.display:
            raise RuntimeError("cannot open the display")
        for name in ("XDefaultRootWindow", "XBlackPixel", "XWhitePixel", "XDefaultScreen"):
            getattr(self.x, name).restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XDefaultScreen.argtypes = [ctypes.c_void_p]
        self.x.XBlackPixel.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x.XWhitePixel.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x.XSetWindowBackground.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong]
        self.x.XClearWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.root = self.x.XDefaultRootWindow(self.display)
        screen = self.x.XDefaultScreen(self.display)
        self.black = self.x.XBlackPixel(self.display, screen)
        self.white = self.x.XWhitePixel(self.display, screen)

    def paint(self, white):
        self.x.XSetWindowBackground(self.display, self.root, self.white if white else self.black)
        self.x.XClearWindow(self.display, self.root)
        self.x.XSync(self.display, 0)


def tone(path, seconds, amplitude, frequency):
    subprocess.run(["sox", "-q", "-n", "-r", "48000", "-c", "2", path, "synth", str(seconds),
                    "sine", str(frequency), "vol", str(amplitude)], check=True)


def monitor_source():
    sink = subprocess.run(["pactl", "get-default-sink"], capture_output=True, text=True,
                          check=True).stdout.strip()
    return sink + ".monitor"


class MonitorReader:
    """Reads the sink's monitor in 10 ms fragments and stamps when a loud sound arrives."""

    def __init__(self):
        self.proc = subprocess.Popen(
            ["parec", "--raw", "--latency-msec=10", "--format=float32le", "--channels=1",
             "--rate=48000", "-d", monitor_source()], stdout=subprocess.PIPE)
        self.loud_at = []  # monotonic times at which a loud sound arrived
        self.armed = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        fd = self.proc.stdout.fileno()
        pending = b""
        while True:
            chunk = os.read(fd, 1920)
            now = time.monotonic()
            if not chunk:
                return
            data = pending + chunk
            whole = len(data) // 4 * 4
            pending = data[whole:]
            samples = struct.unpack("<%df" % (whole // 4), data[:whole])
            if not self.armed:
                continue
            for i, v in enumerate(samples):
                if abs(v) > 0.3:
                    # The sample arrived with the rest of this read: the later samples of the
                    # read came after it.
                    self.loud_at.append(now - (len(samples) - i) / 48000.0)
                    self.armed = False
                    break

    def stop(self):
        end(self.proc)


def end(proc, wait_s=10):
    """Ends a helper process: asked first, killed when it does not go."""
    proc.terminate()
    try:
        proc.wait(timeout=wait_s)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def frame_brightness(folder):
    """{frame number: mean brightness 0..1} of the JPEG or BMP files in folder."""
    names = sorted(n for n in os.listdir(folder) if n[:1].isdigit())
    out = {}
    for start in range(0, len(names), 500):
        part = names[start:start + 500]
        text = subprocess.run(["identify", "-format", "%f %[fx:mean]\n"] +
                              [os.path.join(folder, n) for n in part],
                              capture_output=True, text=True, check=True).stdout
        for line in text.splitlines():
            name, mean = line.split()
            out[int(name.split(".")[0])] = float(mean)
    return out


def decoded_sound(path):
    raw = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-ac", "1", "-ar",
                          "48000", "-f", "f32le", "-"], capture_output=True, check=True).stdout
    return struct.unpack("<%df" % (len(raw) // 4), raw)


def slot_time(number, period):
    return 0.040 + (number - 1) * period


def recorder_command(args, folder):
    if args.ffmpeg:
        # The reference: ffmpeg's x11grab and pulse inputs into numbered JPEG files and WMA.
        fps = 1000.0 / args.period_ms
        return ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
                "-f", "x11grab", "-framerate", "%g" % fps, "-video_size", "64x64",
                "-i", os.environ["DISPLAY"] + "+0,0", "-f", "pulse", "-i", "default",
                "-t", str(args.seconds), "-map", "0:v", "-c:v", "mjpeg", "-q:v", "5",
                os.path.join(folder, "vid1", "%06d.jpg"), "-t", str(args.seconds),
                "-map", "1:a", "-c:a", "wmav2", "-b:a", "128k",
                os.path.join(folder, "test.wma")]
    return [args.recorder, "--audio", "mixer", "--mode", "2", "--area", "0,0,64,64",
            "--period-ms", str(args.period_ms), "--seconds", str(args.seconds), "--dir", folder,
            "--stats"]


def picture_time(args, number, period):
    # ffmpeg's file 1 is its first frame, at its time zero. Ours: mode 2 keeps numbers on the
    # grid (a late slot leaves its number free): slot 1 is 40 ms after the zero, each further
    # slot one period later.
    return (number - 1) * period if args.ffmpeg else slot_time(number, period)


def onsets(samples, threshold=0.3, quiet_s=0.5):
    """Sample indexes where a loud sound begins after at least quiet_s of quiet."""
    out = []
    last_loud = None
    gap = int(quiet_s * 48000)
    for i, v in enumerate(samples):
        if abs(v) > threshold:
            if last_loud is None or i - last_loud > gap:
                out.append(i)
            last_loud = i
    return out


def trial(args, work, index):
    """One recording with a flash and a beep at each of args.at (the screen turns white, then
    black at the next event, and so on). Returns a result per event, or an error."""
    folder = os.path.join(work, "trial%d" % index)
    os.makedirs(os.path.join(folder, "vid1"))
    args.screen.paint(False)
    reader = MonitorReader()
    recorder = subprocess.Popen(recorder_command(args, folder), stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True)
    first = os.path.join(folder, "vid1", "%06d.jpg" % 1)
    deadline = time.monotonic() + 20
    while not os.path.exists(first):
        if recorder.poll() is not None or time.monotonic() > deadline:
            reader.stop()
            if recorder.poll() is None:
                recorder.kill()
            return {"error": "the recording did not start: " + (recorder.communicate()[0] or "")}
        time.sleep(0.002)
    # The first file appears at its slot: 40 ms after our zero, at ffmpeg's zero.
    zero_seen = time.monotonic() - (0.0 if args.ffmpeg else 0.040)
    started = []
    for i, at in enumerate(args.at):
        # At a random phase of the slot grid, so that the flash is not always seen at once.
        at += random.uniform(0, args.period_ms / 1000.0)
        time.sleep(max(0.0, zero_seen + at - time.monotonic()))
        reader.armed = True
        started.append(time.monotonic())
        beep = subprocess.Popen(["paplay", "--latency-msec=10", args.beep])
        args.screen.paint(i % 2 == 0)
        try:
            beep.wait(timeout=30)
        except subprocess.TimeoutExpired:
            end(beep)
    try:
        output, _ = recorder.communicate(timeout=args.seconds + 60)
    except subprocess.TimeoutExpired:
        recorder.kill()
        output = recorder.communicate()[0] or ""
        reader.stop()
        return {"error": "the recorder had not ended 60 s after its %g s: %s" %
                (args.seconds, output)}
    time.sleep(0.2)
    reader.stop()
    if recorder.returncode != 0:
        return {"error": "the recorder exited with %d: %s" % (recorder.returncode, output)}

    frames = frame_brightness(os.path.join(folder, "vid1"))
    numbers = sorted(frames)
    changes = [n for prev, n in zip(numbers, numbers[1:])
               if (frames[prev] > 0.5) != (frames[n] > 0.5)]
    sound = decoded_sound(os.path.join(folder, "test.wma"))
    loud = onsets(sound)
    if len(changes) < len(args.at) or len(loud) < len(args.at) or \
            len(reader.loud_at) < len(args.at):
        return {"error": "%d flashes in %d frames, %d beeps in the file, %d on the monitor" %
                (len(changes), len(frames), len(loud), len(reader.loud_at))}
    period = args.period_ms / 1000.0
    if args.ffmpeg:
        span = len(frames) * period
    else:
        # Up to the last slot the recording numbered (a late last slot leaves it free).
        last = [int(w.split("=")[1]) for w in output.split() if w.startswith("last=")]
        span = slot_time(last[0] if last else max(frames), period)
    # How long the recording really lasted: on a busy machine the stop can be seen after the
    # last slot that was taken, and the sound rightly runs on to it. The screen worker's own
    # figure ends later still (after its last files are written), so it bounds the stop.
    seconds = [float(w.split("=")[1]) for w in output.split() if w.startswith("seconds=")]
    latest_end = max(span, seconds[0]) if seconds and not args.ffmpeg else span
    length = len(sound) / 48000.0
    # The recording's zero on the monotonic clock (marrowdale-record --stats tells it).
    zero = [float(w.split("=")[1]) for w in output.split() if w.startswith("zero_s=")]
    events = []
    for i in range(len(args.at)):
        picture = picture_time(args, changes[i], period)
        heard = loud[i] / 48000.0
        share = reader.loud_at[i] - started[i]
        offset = heard - picture
        if zero:
            # Both shares known exactly: the picture is the first slot after the flash, and the
            # beep reached the monitor at loud_at; what is left is where the sound was placed
            # against when it was heard.
            corrected = heard - (reader.loud_at[i] - zero[0])
        else:
            corrected = offset - share + period / 2
        # Outside [span, latest_end]: sound missing from the frames' span, or past the stop.
        outside = length - span if length < span else max(0.0, length - latest_end)
        events.append({"picture": picture, "sound": heard, "offset": offset, "share": share,
                       "corrected": corrected, "length_minus_span": length - span,
                       "length_outside": outside, "span": span})
    return {"events": events}


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--recorder", required=True)
    p.add_argument("--trials", type=int, default=3)
    p.add_argument("--seconds", type=float, default=4.0, help="length of each recording")
    p.add_argument("--at", type=float, action="append",
                   help="flash and beep this far in, seconds (repeatable; default 2)")
    p.add_argument("--ffmpeg", action="store_true",
                   help="measure ffmpeg's x11grab and pulse inputs instead, as a reference")
    p.add_argument("--period-ms", type=int, default=20)
    p.add_argument("--player", action="store_true",
                   help="a quiet tone plays at the default latency throughout")
    p.add_argument("--label", default=os.environ.get("PULSE_SERVER", "default server"))
    p.add_argument("--max-ms", type=float, default=None)
    args = p.parse_args()
    args.at = args.at or [2.0]
    # Should anything hang, the stacks are printed before the test's own time limit ends it.
    faulthandler.dump_traceback_later(280, exit=True)

    args.screen = Screen()
    with tempfile.TemporaryDirectory(prefix="flash-beep.") as work:
        args.beep = os.path.join(work, "beep.wav")
        tone(args.beep, 0.3, 0.8, 1000)
        player = None
        if args.player:
            background = os.path.join(work, "tone.wav")
            tone(background, args.trials * (args.seconds + 10) + 30, 0.02, 300)
            player = subprocess.Popen(["paplay", background])
            time.sleep(0.5)
        results = []
        try:
            for i in range(args.trials):
                r = trial(args, work, i)
                if "error" in r:
                    results.append(r)
                    print("%s trial %d: %s" % (args.label, i + 1, r["error"]))
                    continue
                for at, e in zip(args.at, r["events"]):
                    results.append(e)
                    print("%s trial %d at %g s: picture %.3f s, sound %.3f s, offset %+.1f ms, "
                          "player share %.1f ms, corrected %+.1f ms, length - span %+.1f ms" %
                          (args.label, i + 1, at, e["picture"], e["sound"], e["offset"] * 1000,
                           e["share"] * 1000, e["corrected"] * 1000,
                           e["length_minus_span"] * 1000))
                sys.stdout.flush()
        finally:
            if player:
                end(player)

    good = [r for r in results if "error" not in r]
    if good:
        c = sorted(r["corrected"] * 1000 for r in good)
        lm = sorted(r["length_minus_span"] * 1000 for r in good)
        o = sorted(r["offset"] * 1000 for r in good)
        print("%s summary: offset min/median/max %+.1f/%+.1f/%+.1f ms; corrected "
              "%+.1f/%+.1f/%+.1f ms; length - span %+.1f/%+.1f/%+.1f ms" %
              (args.label, o[0], o[len(o) // 2], o[-1], c[0], c[len(c) // 2], c[-1], lm[0],
               lm[len(lm) // 2], lm[-1]))
    if args.max_ms is not None:
        bad = len(good) != len(results) or any(
            abs(r["corrected"]) * 1000 > args.max_ms or
            abs(r["length_outside"]) * 1000 > args.max_ms for r in good)
        return 1 if bad else 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
