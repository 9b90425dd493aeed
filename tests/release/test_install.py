"""`cmake --install` of the native build: the shared library and both tools, ready to run."""

import os
import subprocess
import tempfile
import unittest

BUILD_DIR = os.environ.get("TUNER_BUILD_DIR", "")


class NativeInstall(unittest.TestCase):
    def test_install_places_library_and_tools_and_they_run(self):
        with tempfile.TemporaryDirectory() as prefix:
            subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", prefix], check=True,
                           capture_output=True)
            installed = sorted(os.path.relpath(os.path.join(d, f), prefix)
                               for d, _, files in os.walk(prefix) for f in files)
            self.assertEqual(installed, ["bin/blaster-sim", "bin/tunerctl", "lib/TunerDLL.so"])
            caps = subprocess.run([os.path.join(prefix, "bin", "tunerctl"), "caps"],
                                  capture_output=True, text=True, check=True).stdout
            self.assertIn('DeviceName: "Tolvarinet"', caps)


if __name__ == "__main__":
    unittest.main()
