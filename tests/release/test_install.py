"""Installing the native build: the plug-in in a folder of its own, tunerctl, the manual page and
a Linux sample beside the user's tuner.txt; and the release build that a user installs."""

import os
import subprocess
import tempfile
import unittest

BUILD_DIR = os.environ.get("TUNER_BUILD_DIR", "")
CONFIG_DIR = os.environ.get("TUNER_CONFIG_DIR", "")
TRACE_DIR = os.environ.get("TUNER_TRACE_DIR", "")
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def installed_files(destdir):
    return sorted(os.path.relpath(os.path.join(d, f), destdir)
                  for d, _, files in os.walk(destdir) for f in files)


class NativeInstall(unittest.TestCase):
    def test_install_places_plugin_tool_manual_and_sample(self):
        capture = CONFIG_DIR.rstrip("/")
        with tempfile.TemporaryDirectory() as destdir:
            env = dict(os.environ, DESTDIR=destdir)
            subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", "/usr/local"], check=True,
                           capture_output=True, env=env)
            self.assertEqual(installed_files(destdir), sorted([
                "usr/local/bin/tunerctl", "usr/local/lib/tunerdll/TunerDLL.so",
                "usr/local/share/man/man1/tunerctl.1", capture.lstrip("/") + "/tuner.txt.sample",
                "usr/local/sbin/tunerd", "usr/local/share/man/man8/tunerd.8",
                "usr/local/lib/systemd/system/tunerd.service",
                "usr/local/share/doc/tunerdll/99-blaster.rules.example"]))
            self.assertTrue(os.path.isdir(destdir + TRACE_DIR), TRACE_DIR)
            tunerctl = destdir + "/usr/local/bin/tunerctl"
            caps = subprocess.run([tunerctl, "caps"], capture_output=True, text=True, check=True)
            self.assertIn('DeviceName: "Tolvarinet"', caps.stdout)
            # The sample speaks Linux, and every line of it is usable.
            sample = destdir + capture + "/tuner.txt.sample"
            checked = subprocess.run([tunerctl, "check", sample], capture_output=True, text=True)
            self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
            self.assertIn("port ttyUSB0", checked.stdout)
            self.assertNotIn("COM", checked.stdout)
            # A user's own tuner.txt is kept by a second install.
            with open(destdir + capture + "/tuner.txt", "w") as own:
                own.write("Mine=ttyUSB0&1,2.\n")
            subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", "/usr/local"], check=True,
                           capture_output=True, env=env)
            with open(destdir + capture + "/tuner.txt") as own:
                self.assertEqual(own.read(), "Mine=ttyUSB0&1,2.\n")

    def test_release_build_needs_no_test_framework(self):
        with tempfile.TemporaryDirectory() as build, tempfile.TemporaryDirectory() as destdir:
            configured = subprocess.run(
                ["cmake", "-S", SOURCE_DIR, "-B", build, "-G", "Ninja",
                 "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF",
                 "-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON",
                 "-DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON"], capture_output=True, text=True)
            self.assertEqual(configured.returncode, 0, configured.stderr[-3000:])
            built = subprocess.run(["cmake", "--build", build], capture_output=True, text=True)
            self.assertEqual(built.returncode, 0, built.stdout[-3000:])
            self.assertFalse(os.path.exists(os.path.join(build, "test-bin")))
            subprocess.run(["cmake", "--install", build, "--prefix", "/usr"], check=True,
                           capture_output=True, env=dict(os.environ, DESTDIR=destdir))
            tunerctl = destdir + "/usr/bin/tunerctl"
            libraries = subprocess.run(["ldd", tunerctl], capture_output=True, text=True).stdout
            self.assertNotIn("libasan", libraries)
            self.assertLess(os.path.getsize(tunerctl), 1 << 20)
            version = subprocess.run([tunerctl, "--version"], capture_output=True, text=True)
            self.assertRegex(version.stdout, r"^TunerDLL \d+\.\d+\.\d+\n$")
            caps = subprocess.run([tunerctl, "caps"], capture_output=True, text=True)
            self.assertEqual(caps.returncode, 0, caps.stderr)
            # Where a Debian user expects them: configuration under /etc, the trace with logs.
            self.assertTrue(os.path.isfile(destdir + "/etc/tunerdll/tuner.txt.sample"))
            self.assertTrue(os.path.isdir(destdir + "/var/log/tunerdll"))


if __name__ == "__main__":
    unittest.main()
