"""`cmake --install` of the native build: the shared library and both tools, ready to run."""

import os
import subprocess
import tempfile
import unittest

BUILD_DIR = os.environ.get("TUNER_BUILD_DIR", "")
CAPTURE_DIR = os.environ.get("TUNER_CAPTURE_DIR", "")


class NativeInstall(unittest.TestCase):
    def test_install_places_library_tools_manual_and_capture_directory(self):
        capture = CAPTURE_DIR.rstrip("/")
        with tempfile.TemporaryDirectory() as destdir:
            env = dict(os.environ, DESTDIR=destdir)
            subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", "/usr/local"], check=True,
                           capture_output=True, env=env)
            installed = sorted(os.path.relpath(os.path.join(d, f), destdir)
                               for d, _, files in os.walk(destdir) for f in files)
            self.assertEqual(installed, sorted([
                "usr/local/bin/blaster-sim", "usr/local/bin/tunerctl", "usr/local/lib/TunerDLL.so",
                "usr/local/share/man/man1/tunerctl.1", capture.lstrip("/") + "/tuner.txt.sample"]))
            caps = subprocess.run([destdir + "/usr/local/bin/tunerctl", "caps"],
                                  capture_output=True, text=True, check=True).stdout
            self.assertIn('DeviceName: "Tolvarinet"', caps)
            sim_help = subprocess.run([destdir + "/usr/local/bin/blaster-sim", "--help"],
                                      capture_output=True, text=True)
            self.assertEqual(sim_help.returncode, 0)
            self.assertIn("usage: blaster-sim", sim_help.stdout)
            # A user's own tuner.txt is kept by a second install.
            with open(destdir + capture + "/tuner.txt", "w") as own:
                own.write("Mine=ttyUSB0&1,2.\n")
            subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", "/usr/local"], check=True,
                           capture_output=True, env=env)
            with open(destdir + capture + "/tuner.txt") as own:
                self.assertEqual(own.read(), "Mine=ttyUSB0&1,2.\n")


if __name__ == "__main__":
    unittest.main()
