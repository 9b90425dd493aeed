"""End-to-end bench: the plug-in loaded by tunerctl, talking to blaster-sim on a pseudo-terminal.

One suite runs against three hosts, chosen by TUNER_E2E_HOST:
  native  the POSIX build (TunerDLL.so, tunerctl) with its capture directory in the build tree;
  wine32  the real 32-bit TunerDLL.dll and tunerctl.exe under 32-bit Wine,
  wine64  the 64-bit ones under 64-bit Wine, each in a prefix of its own build directory, with
          the simulator's terminal linked in as a COM port.
A machine that cannot run 32-bit programs skips the wine32 host (TUNER_WINE32=0 forces that):
each of its suites then prints "layer skipped: REASON" and runs no test.
"""

import errno
import struct
import tempfile

import os
import re
import shutil
import subprocess
import sys
import time
import unittest

HOST = os.environ.get("TUNER_E2E_HOST", "native")
BUILD_DIR = os.environ.get("TUNER_BUILD_DIR", "")
SIMULATOR = os.environ.get("TUNER_BLASTER_SIM", "")
CAPTURE_DIR = os.environ.get("TUNER_CAPTURE_DIR", "")
WINDOWS = HOST in ("wine32", "wine64")
WINE_LOADERS = {"wine32": "/usr/lib/wine/wine", "wine64": "/usr/lib/wine/wine64"}
CANNOT_RUN_32 = ("this machine cannot run 32-bit programs; the 32-bit DLL was built and checked "
                 "statically")


class Frame:
    """One line of the simulator's trace."""

    def __init__(self, line):
        parts = line.split()
        self.at_ms = float(parts[0])
        self.kind = parts[1]
        self.rest = parts[2:]
        self.fields = dict(p.split("=", 1) for p in parts[2:] if "=" in p)
        self.bytes = [int(p, 16) for p in parts[2:] if re.fullmatch(r"[0-9a-f]{2}", p)]

    def __repr__(self):
        return "%.3f %s %s" % (self.at_ms, self.kind, " ".join(self.rest))


class Simulator:
    """blaster-sim running for the length of a test."""

    def __init__(self, workdir, *options, link=None):
        self.trace_path = os.path.join(workdir, "trace-%d.txt" % time.monotonic_ns())
        args = [SIMULATOR, "--trace", self.trace_path] + list(options)
        if link:
            args += ["--link", link]
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
        self.slave = self.process.stdout.readline().strip()
        if not self.slave.startswith("/dev/"):
            raise RuntimeError("blaster-sim did not start: %r" % self.slave)

    def frames(self):
        with open(self.trace_path) as trace:
            return [Frame(line) for line in trace if line.strip()]

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()


class NativeHost:
    name = "native"
    line_end = b"\n"

    def __init__(self):
        # Emptied before every test: only ever the tests' own directory, never one a user's
        # plug-in was built for.
        if os.path.basename(CAPTURE_DIR.rstrip("/")) != "test-capture":
            raise RuntimeError("TUNER_CAPTURE_DIR %r is not the tests' own test-capture "
                               "directory" % CAPTURE_DIR)
        self.capture = CAPTURE_DIR
        # The trace's own folder, inside the capture directory so that it is emptied with it.
        self.trace_dir = os.environ.get("TUNER_TRACE_DIR", CAPTURE_DIR)
        self.tunerctl = os.path.join(BUILD_DIR, "tunerctl")
        os.makedirs(self.capture, exist_ok=True)

    def attach(self, simulator_options, number=5):
        sim = Simulator(self.capture, *simulator_options)
        return sim, sim.slave[len("/dev/"):]

    def remotes_path(self, name):
        """A remotes file in the capture directory, named so that its device name is name less
        three characters: a path without backslashes counts whole, so it is given relative."""
        return name

    def command(self, *args):
        return [self.tunerctl] + list(args), None

    def recorder(self, remotes, channel, settings_size=None):
        """A bare host, as a recorder is: it loads the remotes file and tunes the channel; with
        settings_size, through MacroTuneSettings with a record of that size, repeat_ms 0."""
        library = os.path.join(BUILD_DIR, "TunerDLL.so")
        script = ("import ctypes, sys; dll = ctypes.CDLL(sys.argv[1]); "
                  "dll.LoadRemotes.restype = ctypes.c_void_p; "
                  "head = ctypes.c_void_p(dll.LoadRemotes(sys.argv[2].encode())); "
                  "dll.FreeRemotes(ctypes.byref(head)); "
                  "size = int(sys.argv[4]) if len(sys.argv) > 4 else None; "
                  "record = (ctypes.c_int32 * 6)(size or 0, -1, -1, -1, -1, 0); "
                  "dll.MacroTuneSettings(sys.argv[3].encode(), record) if size is not None "
                  "else dll.MacroTune(int(sys.argv[3])); "
                  "dll.LastControlMessage.restype = ctypes.c_char_p; "
                  "print('result %d: %s' % (dll.LastControlResult(), "
                  "dll.LastControlMessage().decode()))")
        # The sanitized plug-in needs its runtimes loaded ahead of the interpreter's libraries.
        runtimes = [subprocess.run(["g++", "-print-file-name=" + name], capture_output=True,
                                   text=True).stdout.strip()
                    for name in ("libasan.so", "libstdc++.so")]
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
        if all(os.path.isabs(r) for r in runtimes):
            env["LD_PRELOAD"] = " ".join(runtimes)
        size = [] if settings_size is None else [str(settings_size)]
        return [sys.executable, "-c", script, library, remotes, str(channel)] + size, env

    def run(self, *args, timeout=120, cwd=None):
        return subprocess.run([self.tunerctl] + list(args), capture_output=True, text=True,
                              timeout=timeout, cwd=cwd or self.capture)

    def shutdown(self):
        pass


def runs_32_bit_programs():
    """Runs a tiny 32-bit Linux program (exit(42) by system call): True only if it ran."""
    base = 0x08048000
    code = b"\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80"  # ebx=42, eax=exit, int 80h
    size = 52 + 32 + len(code)
    header = b"\x7fELF\x01\x01\x01" + bytes(9) + struct.pack(
        "<HHIIIIIHHHHHH", 2, 3, 1, base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
    program = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "runs32")
        with open(path, "wb") as binary:
            binary.write(header + program + code)
        os.chmod(path, 0o755)
        try:
            return subprocess.run([path], timeout=30).returncode == 42
        except OSError:
            return False


WINE32_REPORT = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "build", "wine32-install.txt")


def wine_missing(width, loader):
    """Why this width's Wine is missing: apt's own complaint where bootstrap kept one."""
    reason = "%d-bit Wine is not installed (%s is missing)" % (width, loader)
    try:
        with open(WINE32_REPORT) as report:
            complaint = report.readline().strip()
    except OSError:
        complaint = ""
    if width == 32 and complaint:
        return "%s: scripts/bootstrap could not install it: %s" % (reason, complaint)
    return "%s: run scripts/bootstrap as root to install it" % reason


class LayerUnavailable(Exception):
    """The machine cannot run this host at all: its tests are skipped, with the reason."""


class WineHost:
    name = "wine"
    line_end = b"\r\n"

    def __init__(self, width=None, build_dir=None, boot=True):
        self.width = width or (64 if HOST == "wine64" else 32)
        self.build_dir = build_dir or BUILD_DIR
        self.loader = WINE_LOADERS["wine%d" % self.width]
        self.prefix = os.path.join(self.build_dir, "wineprefix")
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINELOADER=self.loader,
                        WINEARCH="win%d" % self.width, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.wine = [self.loader]
        self.capture = os.path.join(self.prefix, "drive_c", "capture")
        self.trace_dir = self.capture
        self.tunerctl = os.path.join(self.build_dir, "tunerctl.exe")
        if boot:
            self.boot()
            os.makedirs(self.capture, exist_ok=True)

    def boot(self):
        """Makes the prefix, then runs a tiny program of this width: the machine's own answer
        to whether it can run this host."""
        if self.width == 32 and os.environ.get("TUNER_WINE32", "1") == "0":
            raise LayerUnavailable("TUNER_WINE32=0 switched the 32-bit layer off; the 32-bit DLL "
                                   "was built and checked statically")
        if not os.path.exists(self.loader):
            if self.width == 32 and not runs_32_bit_programs():
                raise LayerUnavailable(CANNOT_RUN_32)
            raise LayerUnavailable(wine_missing(self.width, self.loader))
        os.makedirs(self.prefix, exist_ok=True)
        # The prefix's server, started first and kept until shutdown. The first program of a
        # session also starts Wine's own services, which keep that program's output open for as
        # long as they run: the probe below is that program, with its output going nowhere. A
        # server already running (an earlier suite's) refuses to start a second, as good.
        subprocess.run(["/usr/lib/wine/wineserver64", "-p"], env=self.env,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        try:
            self.run_probe()
        except LayerUnavailable:
            self.shutdown()
            raise

    def run_probe(self):
        try:
            if not os.path.exists(os.path.join(self.prefix, "system.reg")):
                booted = subprocess.run(self.wine + ["wineboot", "-i"], env=self.env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, timeout=300)
                if booted.returncode == 126 and self.width == 32:
                    raise LayerUnavailable(CANNOT_RUN_32)
                if booted.returncode != 0:
                    raise RuntimeError("wineboot -i of %s exited %d" % (self.prefix,
                                                                       booted.returncode))
            probe = subprocess.run(self.wine + [os.path.join(self.build_dir, "can-run.exe")],
                                   env=self.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   timeout=120)
        except OSError as error:
            if error.errno == errno.ENOEXEC and self.width == 32:
                raise LayerUnavailable(CANNOT_RUN_32)
            raise
        if probe.returncode == 126 and self.width == 32:
            raise LayerUnavailable(CANNOT_RUN_32)
        if probe.returncode != 0:
            raise RuntimeError("can-run.exe did not run under %s: exit %d" % (
                self.loader, probe.returncode))

    def attach(self, simulator_options, number=5):
        link = os.path.join(self.prefix, "dosdevices", "com%d" % number)
        sim = Simulator(self.capture, *simulator_options, link=link)
        return sim, "COM%d" % number

    def remotes_path(self, name):
        return "c:\\capture\\" + name

    def command(self, *args):
        return self.wine + [self.tunerctl] + list(args), self.env

    def recorder(self, remotes, channel, settings_size=None):
        """A bare host, as a recorder is: it loads the remotes file and tunes the channel; with
        settings_size, through MacroTuneSettings with a record of that size, repeat_ms 0."""
        host = os.path.join(self.build_dir, "test-host.exe")
        size = [] if settings_size is None else [str(settings_size)]
        return self.wine + [host, "tune", remotes, str(channel)] + size, self.env

    def run(self, *args, timeout=120, cwd=None):
        command = self.wine + [self.tunerctl] + list(args)
        result = subprocess.run(command, capture_output=True, text=True, timeout=timeout,
                                env=self.env, cwd=cwd or self.capture)
        if result.returncode != 0 and result.stdout == result.stderr == "":
            # Wine, now and then in a new prefix, starts no program at all: tunerctl never fails
            # without a word, so nothing ran, and the call is made again.
            result = subprocess.run(command, capture_output=True, text=True, timeout=timeout,
                                    env=self.env, cwd=cwd or self.capture)
        return result

    def shutdown(self):
        if os.path.isdir(self.prefix):
            subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=self.env, check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_host():
    if not WINDOWS:
        return NativeHost()
    try:
        return WineHost()
    except LayerUnavailable as reason:
        # ctest reads this line and counts the suite as skipped.
        print("layer skipped: %s" % reason, file=sys.stderr, flush=True)
        raise unittest.SkipTest(str(reason))


class HostTestCase(unittest.TestCase):
    """A test with a fresh capture directory: no log, no tuner.txt, unless the test writes them."""

    host = None

    @classmethod
    def setUpClass(cls):
        if not BUILD_DIR or not os.path.isdir(BUILD_DIR):
            raise unittest.SkipTest("TUNER_BUILD_DIR is not set")
        cls.host = make_host()

    def setUp(self):
        self.capture = self.host.capture
        shutil.rmtree(self.capture, ignore_errors=True)
        os.makedirs(self.capture)
        os.makedirs(self.host.trace_dir, exist_ok=True)
        self.simulators = []

    def tearDown(self):
        for sim in self.simulators:
            sim.stop()

    # The capture directory's files.
    @property
    def log_path(self):
        return os.path.join(self.host.trace_dir, "TunerDLL.log")

    def enable_log(self):
        open(self.log_path, "wb").close()

    def log_bytes(self):
        with open(self.log_path, "rb") as log:
            return log.read()

    def log_lines(self):
        raw = self.log_bytes()
        self.assertTrue(raw == b"" or raw.endswith(self.host.line_end), raw[-20:])
        return raw.decode("latin-1").split(self.host.line_end.decode())[:-1]

    def write_config(self, text):
        with open(os.path.join(self.capture, "tuner.txt"), "wb") as config:
            config.write(text.replace("\n", self.host.line_end.decode()).encode("latin-1"))

    def attach_blaster(self, *options, number=5):
        sim, port = self.host.attach(list(options), number)
        self.simulators.append(sim)
        return sim, port

    def start_tunerctl(self, *args):
        """tunerctl running beside the test; communicate() gives its output."""
        command, env = self.host.command("--timing", *args)
        return subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True, env=env, cwd=self.capture)

    def start_recorder(self, remotes, channel, settings_size=None):
        command, env = self.host.recorder(remotes, channel, settings_size)
        return subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True, env=env, cwd=self.capture)

    def tunerctl(self, *args, expect_status=0, timeout=120):
        started = time.monotonic()
        result = self.host.run("--timing", *args, timeout=timeout)
        self.elapsed = time.monotonic() - started
        if expect_status is not None:
            self.assertEqual(result.returncode, expect_status,
                             "tunerctl %s\n%s\n%s" % (" ".join(args), result.stdout, result.stderr))
        # The time of each operation inside the host, without the host's own start-up.
        self.op_ms = [float(m) for m in re.findall(r"^\w+: done in ([0-9.]+) ms$", result.stderr,
                                                   re.M)]
        self.stderr = result.stderr
        return result.stdout


if __name__ == "__main__":
    # `harness.py shutdown`: stop this prefix's wine server once a suite is over.
    if sys.argv[1:] == ["shutdown"] and WINDOWS:
        WineHost(boot=False).shutdown()
    # `harness.py runs-32-bit`: exit status 0 if this machine runs 32-bit programs.
    if sys.argv[1:] == ["runs-32-bit"]:
        sys.exit(0 if runs_32_bit_programs() else 1)
