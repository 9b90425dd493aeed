"""The demo and the benchmark of a channel change: TunerDLL.dll under Wine, loaded by
tunerctl.exe, tuning a simulated blaster on COM5. The 32-bit plug-in runs where this machine can
run 32-bit programs, the 64-bit one elsewhere."""

import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
os.environ.setdefault("TUNER_BLASTER_SIM", os.path.join(ROOT, "build", "native", "blaster-sim"))

import harness  # noqa: E402

# Probe 100 + 100 ms, then three keys of 100 + 333 + 250 ms.
PROTOCOL_FLOOR_MS = 2249


class DemoError(Exception):
    """A step that cannot run: what is missing and what to do."""


def choose_host():
    """The 32-bit plug-in if this machine runs it, else the 64-bit one; and one line saying so."""
    build = lambda preset: os.path.join(ROOT, "build", preset)
    try:
        host = harness.WineHost(32, build("mingw"))
        return host, "the 32-bit TunerDLL.dll (build/mingw): this machine runs 32-bit programs"
    except harness.LayerUnavailable as reason:
        # The reason whole, but for the 64-bit layer's closing clause that would not fit here.
        why = str(reason).split("; the 32-bit DLL was built")[0].rstrip(".")
    try:
        host = harness.WineHost(64, build("mingw64"))
    except harness.LayerUnavailable as reason:
        raise DemoError("64-bit Wine cannot run here: %s" % reason)
    return host, "the 64-bit TunerDLL.dll (build/mingw64): %s" % why


class WineBench:
    def __init__(self):
        self.host, self.why = choose_host()
        self.capture = self.host.capture
        self.remotes = os.path.join(self.host.prefix, "drive_c", "remotes")
        os.makedirs(self.remotes, exist_ok=True)
        self.sim = None

    def start(self):
        self.sim, port = self.host.attach([], 5)
        with open(os.path.join(self.capture, "tuner.txt"), "wb") as config:
            config.write(("Tuner1.=%s&2,423. the demo's tuner\r\n" % port).encode())
        with open(os.path.join(self.remotes, "Tuner1.txt"), "wb") as remotes:
            remotes.write(b"Tuner1. 38000 500\r\nPower 16 a 20 df\r\n\r\n")
        open(os.path.join(self.capture, "TunerDLL.log"), "wb").close()

    def run(self, *args):
        result = self.host.run(*args)
        if result.returncode != 0:
            raise DemoError("tunerctl.exe %s failed:\n%s%s" % (" ".join(args), result.stdout,
                                                              result.stderr))
        return result

    def tune_ms(self, channel="42"):
        """The call's own time, as tunerctl --timing measures it inside the host."""
        result = self.run("--timing", "load", "c:\\remotes\\Tuner1.txt", "tune", channel)
        timing = re.search(r"^tune: done in ([0-9.]+) ms$", result.stderr, re.M)
        if timing is None:
            raise DemoError("tunerctl.exe --timing gave no time for tune:\n" + result.stderr)
        return float(timing.group(1)), result.stdout

    def stop(self):
        if self.sim:
            self.sim.stop()
        self.host.shutdown()


def describe(frame):
    if frame.kind == "packet" and "version-query" in frame.rest:
        f = frame.fields
        return "version query   (line %s %s%s%s, flow %s)" % (
            f["speed"], f["data"], f["parity"].upper(), f["stop"], f["flow"])
    if frame.kind == "packet":
        f = frame.fields
        return "key %-3s         (ueitype %s, ueicode %s)" % (f["key"], f["ueitype"], f["ueicode"])
    if frame.kind == "reply":
        count = len(frame.bytes)
        return "%-15s (%d byte%s from the blaster)" % (frame.rest[-1], count, "s"[:count != 1])
    return {"lead": "lead byte", "trailer": "trailer byte"}.get(frame.kind, frame.kind)


def timeline(frames):
    lines = ["  offset ms   gap ms   frame"]
    start = frames[0].at_ms
    previous = None
    for frame in frames:
        gap = frame.at_ms - previous.at_ms if previous else 0.0
        note = ""
        if previous and previous.rest[-1:] == ["ack"] and frame.kind == "lead":
            note = "   <- settle after the key"
        lines.append("  %9.1f  %7.1f   %-48s%s" % (frame.at_ms - start, gap, describe(frame), note))
        previous = frame
    lines.append("  then the 250 ms settle after the last key, and the port is closed")
    return "\n".join(lines)


def demo():
    bench = WineBench()
    try:
        print("Running %s." % bench.why)
        bench.start()
        print("== tunerctl.exe caps: the capability answers of TunerDLL.dll under Wine ==")
        print(bench.run("caps").stdout)
        print("== A host loads c:\\remotes\\Tuner1.txt (device name \"Tuner1.\") and tunes "
              "channel 42 ==")
        elapsed, out = bench.tune_ms()
        print(out)
        print("== What the blaster on COM5 received, from the call's first byte ==")
        print(timeline(bench.sim.frames()))
        print()
        print("== The trace, c:\\capture\\TunerDLL.log ==")
        with open(os.path.join(bench.capture, "TunerDLL.log"), "rb") as log:
            print(log.read().decode("latin-1").replace("\r\n", "\n"), end="")
        print()
        print("channel 42 in %.0f ms (protocol floor %d ms, ratio %.4f)" % (
            elapsed, PROTOCOL_FLOOR_MS, elapsed / PROTOCOL_FLOOR_MS))
    finally:
        bench.stop()


def bench(runs):
    wine = WineBench()
    results = []
    try:
        print("Running %s." % wine.why)
        wine.start()
        # With the trace on (the file exists), then off.
        results.append(("trace on", [wine.tune_ms()[0] for _ in range(runs)]))
        os.remove(os.path.join(wine.capture, "TunerDLL.log"))
        results.append(("trace off", [wine.tune_ms()[0] for _ in range(runs)]))
    finally:
        wine.stop()
    for label, times in results:
        print("MacroTune(42) under %d-bit Wine, %s, %d runs: %s ms" % (
            wine.host.width, label, runs, " ".join("%.1f" % t for t in times)))
        best, worst = min(times), max(times)
        print("  floor %d ms; best %.1f ms (ratio %.4f), worst %.1f ms (ratio %.4f)" % (
            PROTOCOL_FLOOR_MS, best, best / PROTOCOL_FLOOR_MS, worst, worst / PROTOCOL_FLOOR_MS))
        if best < PROTOCOL_FLOOR_MS:
            sys.exit("a run was faster than the protocol allows: a pause was shortened")


def main():
    try:
        if sys.argv[1:2] == ["bench"]:
            bench(int(sys.argv[2]) if len(sys.argv) > 2 else 5)
        else:
            demo()
    except DemoError as error:
        sys.exit("demo: %s" % error)
    except Exception as error:  # a newcomer gets the cause and what to do, never a traceback
        sys.exit("demo: cannot run: %s: %s\nRun scripts/bootstrap as root, then scripts/demo "
                 "again." % (type(error).__name__, error))


if __name__ == "__main__":
    main()
