"""End-to-end bench: the plug-in loaded by tunerctl, talking to blaster-sim on a pseudo-terminal.

One suite runs against two hosts, chosen by TUNER_E2E_HOST:
  native  the POSIX build (TunerDLL.so, tunerctl) with its capture directory in the build tree;
  wine    the real TunerDLL.dll and tunerctl.exe under Wine, in the project's own prefix, with
          the simulator's terminal linked in as a COM port.
"""

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
        self.capture = CAPTURE_DIR
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

    def recorder(self, remotes, channel):
        """A bare host, as a recorder is: it loads the remotes file and tunes the channel."""
        library = os.path.join(BUILD_DIR, "TunerDLL.so")
        script = ("import ctypes, sys; dll = ctypes.CDLL(sys.argv[1]); "
                  "dll.LoadRemotes.restype = ctypes.c_void_p; "
                  "head = ctypes.c_void_p(dll.LoadRemotes(sys.argv[2].encode())); "
                  "dll.FreeRemotes(ctypes.byref(head)); dll.MacroTune(int(sys.argv[3]))")
        # The sanitized plug-in needs its runtimes loaded ahead of the interpreter's libraries.
        runtimes = [subprocess.run(["g++", "-print-file-name=" + name], capture_output=True,
                                   text=True).stdout.strip()
                    for name in ("libasan.so", "libstdc++.so")]
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
        if all(os.path.isabs(r) for r in runtimes):
            env["LD_PRELOAD"] = " ".join(runtimes)
        return [sys.executable, "-c", script, library, remotes, str(channel)], env

    def run(self, *args, timeout=120, cwd=None):
        return subprocess.run([self.tunerctl] + list(args), capture_output=True, text=True,
                              timeout=timeout, cwd=cwd or self.capture)

    def shutdown(self):
        pass


class WineHost:
    name = "wine"
    line_end = b"\r\n"

    def __init__(self):
        self.prefix = os.path.join(BUILD_DIR, "wineprefix")
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEARCH="win32", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.capture = os.path.join(self.prefix, "drive_c", "capture")
        self.tunerctl = os.path.join(BUILD_DIR, "tunerctl.exe")
        ensure_wine_prefix(self.prefix, self.env)
        os.makedirs(self.capture, exist_ok=True)

    def attach(self, simulator_options, number=5):
        link = os.path.join(self.prefix, "dosdevices", "com%d" % number)
        sim = Simulator(self.capture, *simulator_options, link=link)
        return sim, "COM%d" % number

    def remotes_path(self, name):
        return "c:\\capture\\" + name

    def command(self, *args):
        return ["wine", self.tunerctl] + list(args), self.env

    def recorder(self, remotes, channel):
        """A bare host, as a recorder is: it loads the remotes file and tunes the channel."""
        host = os.path.join(BUILD_DIR, "test-host.exe")
        dll = os.path.join(BUILD_DIR, "TunerDLL.dll")
        return ["wine", host, dll, "tune", remotes, str(channel)], self.env

    def run(self, *args, timeout=120, cwd=None):
        return subprocess.run(["wine", self.tunerctl] + list(args), capture_output=True,
                              text=True, timeout=timeout, env=self.env, cwd=cwd or self.capture)

    def shutdown(self):
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)


def ensure_wine_prefix(prefix, env):
    if not os.path.exists(os.path.join(prefix, "system.reg")):
        os.makedirs(prefix, exist_ok=True)
        subprocess.run(["wineboot", "-i"], env=env, check=True, capture_output=True, timeout=300)


def make_host():
    return WineHost() if HOST == "wine" else NativeHost()


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
        self.simulators = []

    def tearDown(self):
        for sim in self.simulators:
            sim.stop()

    # The capture directory's files.
    @property
    def log_path(self):
        return os.path.join(self.capture, "TunerDLL.log")

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

    def start_recorder(self, remotes, channel):
        command, env = self.host.recorder(remotes, channel)
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
    if sys.argv[1:] == ["shutdown"] and HOST == "wine":
        WineHost().shutdown()
