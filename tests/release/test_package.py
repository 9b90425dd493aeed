"""The Debian package, installed on this machine for real: a recorder's service user in the
package's group tunes a channel, and the user's tuner.txt outlives upgrade, removal and purge.
Runs only as root, with dpkg, where no tunerdll package nor its folders are there before."""

import os
import shutil
import subprocess
import tempfile
import unittest

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SIMULATOR = os.environ.get("TUNER_BLASTER_SIM", "")
FOLDERS = ["/etc/tunerdll", "/var/log/tunerdll"]


def run(*command, **options):
    return subprocess.run(list(command), capture_output=True, text=True, **options)


def package_installed():
    return run("dpkg-query", "-W", "-f=${Status}", "tunerdll").stdout.startswith("install ok")


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("dpkg"), "installs a package: root, dpkg")
@unittest.skipIf(package_installed() or any(os.path.exists(f) for f in FOLDERS),
                 "a tunerdll package or its folders are already on this machine")
class DebianPackage(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp()
        self.user = "tdtest%d" % os.getpid()
        self.addCleanup(self.clean_up)

    def clean_up(self):
        run("dpkg", "-P", "tunerdll")
        run("userdel", self.user)
        for folder in FOLDERS:
            shutil.rmtree(folder, ignore_errors=True)
        shutil.rmtree(self.work, ignore_errors=True)

    def make_package(self):
        build = os.path.join(self.work, "build")
        configured = run("cmake", "-S", SOURCE_DIR, "-B", build, "-G", "Ninja",
                         "-DCMAKE_BUILD_TYPE=Release", "-DBUILD_TESTING=OFF",
                         "-DCMAKE_INSTALL_PREFIX=/usr")
        self.assertEqual(configured.returncode, 0, configured.stderr[-3000:])
        self.assertEqual(run("cmake", "--build", build).returncode, 0)
        packed = run("cpack", "-G", "DEB", cwd=build)
        self.assertEqual(packed.returncode, 0, packed.stdout[-3000:])
        return next(os.path.join(build, n) for n in os.listdir(build) if n.endswith(".deb"))

    def test_install_tune_as_service_user_upgrade_remove_purge(self):
        package = self.make_package()
        files = run("dpkg-deb", "-c", package).stdout
        for path in ["./usr/bin/tunerctl", "./usr/lib/x86_64-linux-gnu/tunerdll/TunerDLL.so",
                     "./usr/share/man/man1/tunerctl.1", "./etc/tunerdll/tuner.txt.sample",
                     "./var/log/tunerdll/"]:
            self.assertIn(path, files)
        self.assertEqual(run("dpkg", "-i", package).returncode, 0)
        self.assertRegex(run("/usr/bin/tunerctl", "--version").stdout, r"^TunerDLL \d")
        self.assertEqual(run("/usr/bin/tunerctl", "check", "/etc/tunerdll/tuner.txt.sample")
                         .returncode, 0)

        trace = os.path.join(self.work, "frames.txt")
        sim = subprocess.Popen([SIMULATOR, "--trace", trace], stdout=subprocess.PIPE, text=True)
        self.addCleanup(sim.wait)
        self.addCleanup(sim.terminate)
        terminal = sim.stdout.readline().strip()
        sim.stdout.close()
        os.chmod(terminal, 0o666)  # as dialout membership would allow
        mine = "Living.=%s&1,2345. my own line\n" % terminal[len("/dev/"):]
        with open("/etc/tunerdll/tuner.txt", "w") as own:
            own.write(mine)
        self.assertEqual(run("useradd", "--system", "--no-create-home", "-G", "tunerdll",
                             self.user).returncode, 0)
        as_user = ["runuser", "-u", self.user, "--"]
        # The group may switch the trace on; the call needs to write nothing else.
        self.assertEqual(run(*as_user, "touch", "/var/log/tunerdll/TunerDLL.log").returncode, 0)
        tuned = run(*as_user, "/usr/bin/tunerctl", "-q", "tune", "--tuner", "Living.", "42",
                    cwd="/")
        self.assertEqual((tuned.returncode, tuned.stdout), (0, ""), tuned.stderr)
        with open(trace) as frames:
            keys = [line.split("key=")[1].strip() for line in frames if " key=" in line]
        self.assertEqual(keys, ["10", "4", "2"])
        with open("/var/log/tunerdll/TunerDLL.log") as log:
            self.assertIn("MacroTune:End\n", log.read())

        for step in (["-i", package], ["-r", "tunerdll"], ["-P", "tunerdll"]):
            self.assertEqual(run("dpkg", *step).returncode, 0, step)
            with open("/etc/tunerdll/tuner.txt") as own:
                self.assertEqual(own.read(), mine, step)
        self.assertFalse(os.path.exists("/usr/bin/tunerctl"))
        self.assertFalse(os.path.exists("/var/log/tunerdll"))
        self.assertEqual(os.listdir("/etc/tunerdll"), ["tuner.txt"])
        self.assertNotEqual(run("getent", "group", "tunerdll").returncode, 0)


if __name__ == "__main__":
    unittest.main()
