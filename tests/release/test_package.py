"""The Debian package, installed on this machine for real: a recorder's service user in the
package's group tunes a channel, and the user's tuner.txt outlives upgrade, removal and purge.
Runs only as root, with dpkg, where no tunerdll package nor its folders are there before."""

import grp
import os
import re
import shutil
import subprocess
import tempfile
import time
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
                     "./var/log/tunerdll/", "./usr/sbin/tunerd", "./usr/share/man/man8/tunerd.8",
                     "./usr/lib/systemd/system/tunerd.service",
                     "./usr/share/doc/tunerdll/99-blaster.rules.example"]:
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

        self.check_tunerd(trace, as_user)

        mode = os.stat("/var/log/tunerdll")
        self.assertEqual((oct(mode.st_mode & 0o7777), grp.getgrgid(mode.st_gid).gr_name),
                         (oct(0o3775), "tunerdll"))
        # Whatever a member leaves at the trace's name, upgrade and purge go through.
        os.remove("/var/log/tunerdll/TunerDLL.log")
        self.assertEqual(run(*as_user, "mkdir", "/var/log/tunerdll/TunerDLL.log").returncode, 0)
        for step in (["-i", package], ["-r", "tunerdll"], ["-P", "tunerdll"]):
            self.assertEqual(run("dpkg", *step).returncode, 0, step)
            with open("/etc/tunerdll/tuner.txt") as own:
                self.assertEqual(own.read(), mine, step)
        self.assertFalse(os.path.exists("/usr/bin/tunerctl"))
        self.assertFalse(os.path.exists("/var/log/tunerdll"))
        self.assertEqual(os.listdir("/etc/tunerdll"), ["tuner.txt"])
        self.assertNotEqual(run("getent", "group", "tunerdll").returncode, 0)

    def check_tunerd(self, frames, as_user):
        """The unit verifies; tunerd, started from the installed files as its own user, serves
        the group's members on a socket only they may use."""
        unit = "/usr/lib/systemd/system/tunerd.service"
        if shutil.which("systemd-analyze"):
            verified = run("systemd-analyze", "verify", unit)
            self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
            # Hardened: systemd's own measure of what the service is exposed to.
            rated = run("systemd-analyze", "security", "--offline=true", unit)
            exposure = re.search(r"Overall exposure level for tunerd.service: ([0-9.]+)",
                                 rated.stdout)
            self.assertIsNotNone(exposure, rated.stdout + rated.stderr)
            self.assertLessEqual(float(exposure.group(1)), 2.5, rated.stdout)
        self.assertIn("dialout", run("id", "-nG", "tunerd").stdout.split())
        os.chmod(self.work, 0o755)
        runtime = os.path.join(self.work, "run")
        os.mkdir(runtime)
        shutil.chown(runtime, "tunerd", "tunerdll")
        os.chmod(runtime, 0o750)
        lircd = os.path.join(runtime, "lircd")
        daemon = subprocess.Popen(["/usr/sbin/tunerd", "--socket", lircd], user="tunerd",
                                  group="tunerdll", extra_groups=["dialout"],
                                  stderr=subprocess.DEVNULL)
        self.addCleanup(daemon.wait)
        self.addCleanup(daemon.terminate)
        for _ in range(200):
            if os.path.exists(lircd):
                break
            time.sleep(0.05)
        held = os.stat(lircd)
        self.assertEqual((oct(held.st_mode & 0o777), grp.getgrgid(held.st_gid).gr_name),
                         (oct(0o660), "tunerdll"))
        if shutil.which("irsend"):
            sent = run(*as_user, "irsend", "-d", lircd, "SEND_ONCE", "Living.", "KEY_7")
            self.assertEqual(sent.returncode, 0, sent.stderr)
            with open(frames) as trace:
                self.assertIn("key=7", trace.read())
        daemon.terminate()
        self.assertEqual(daemon.wait(timeout=30), 0)


class MaintainerScripts(unittest.TestCase):
    """postinst and postrm run as dpkg runs them, with dpkg's own tools stood in for by ones that
    note what they were asked: no package, no root, nothing of the machine's touched."""

    def setUp(self):
        self.work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.work, True)
        self.calls = os.path.join(self.work, "calls")
        self.overrides = os.path.join(self.work, "overrides")
        open(self.overrides, "w").close()
        tools = os.path.join(self.work, "bin")
        os.mkdir(tools)
        stand_ins = {
            "getent": 'echo "getent $*" >>"$CALLS"; grep -q "^$1 $2$" "$GROUPS_MADE"',
            "addgroup": 'echo "addgroup $*" >>"$CALLS"; echo "group $2" >>"$GROUPS_MADE"',
            "adduser": 'echo "adduser $*" >>"$CALLS"; for last; do :; done\n'
                       '[ "$1" != --system ] || echo "passwd $last" >>"$GROUPS_MADE"',
            "delgroup": 'echo "delgroup $*" >>"$CALLS"',
            "systemctl": 'echo "systemctl $*" >>"$CALLS"',
            "deb-systemd-invoke": 'echo "deb-systemd-invoke $*" >>"$CALLS"',
            "deb-systemd-helper": 'echo "deb-systemd-helper $*" >>"$CALLS"',
            "deluser": 'echo "deluser $*" >>"$CALLS"',
            "dpkg-statoverride": 'echo "dpkg-statoverride $*" >>"$CALLS"\n'
                                 'case "$1" in\n'
                                 '  --list) grep -q " $2$" "$OVERRIDES" ;;\n'
                                 '  --update) shift 2; echo "$*" >>"$OVERRIDES" ;;\n'
                                 'esac',
        }
        for name, body in stand_ins.items():
            path = os.path.join(tools, name)
            with open(path, "w") as tool:
                tool.write("#!/bin/sh\n" + body + "\n")
            os.chmod(path, 0o755)
        self.env = dict(os.environ, PATH=tools + ":" + os.environ["PATH"], CALLS=self.calls,
                        OVERRIDES=self.overrides, GROUPS_MADE=os.path.join(self.work, "groups"),
                        DPKG_ROOT=os.path.join(self.work, "root"))
        open(self.env["GROUPS_MADE"], "w").close()

    def script(self, name, *args):
        done = run("sh", os.path.join(SOURCE_DIR, "packaging", "debian", name), *args,
                   env=self.env)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(self.calls) as calls:
            return calls.read().splitlines()

    def test_modes_are_dpkg_overrides_made_once(self):
        self.script("postinst", "configure", "")
        with open(self.overrides) as overrides:
            self.assertEqual(overrides.read().splitlines(),
                             ["root tunerdll 0755 /etc/tunerdll",
                              "root tunerdll 3775 /var/log/tunerdll"])
        calls = self.script("postinst", "configure", "")
        self.assertIn("addgroup --system tunerdll", calls)
        self.assertIn("adduser --system --ingroup tunerdll --no-create-home --home /nonexistent "
                      "tunerd", calls)
        # An upgrade keeps them as they are, and makes no group anew.
        open(self.calls, "w").close()
        calls = self.script("postinst", "configure", "1.0.0")
        self.assertFalse([c for c in calls if "--update" in c or c.startswith("add")], calls)

    def test_purge_drops_the_trace_the_overrides_and_the_group(self):
        self.script("postinst", "configure", "")
        # A member made a folder with something in it at the trace's name.
        trace = os.path.join(self.env["DPKG_ROOT"], "var", "log", "tunerdll", "TunerDLL.log")
        os.makedirs(os.path.join(trace, "inside"))
        calls = self.script("postrm", "purge")
        self.assertFalse(os.path.exists(os.path.dirname(trace)))
        for folder in ("/var/log/tunerdll", "/etc/tunerdll"):
            self.assertIn("dpkg-statoverride --remove " + folder, calls)
        self.assertIn("delgroup --system tunerdll", calls)
        self.assertIn("deluser --system tunerd", calls)

    def test_tunerd_is_stopped_before_removal_and_restarted_after_an_upgrade(self):
        systemd = lambda calls: [c for c in calls if c.startswith(("systemctl", "deb-systemd"))]
        open(self.calls, "w").close()
        # Where systemd does not run, nothing is asked of it.
        for step in (("prerm", "remove"), ("postinst", "configure", "1.0.0"),
                     ("postrm", "purge")):
            self.assertEqual(systemd(self.script(*step)), [], step)
        os.makedirs(os.path.join(self.env["DPKG_ROOT"], "run", "systemd", "system"))
        open(self.calls, "w").close()
        self.assertEqual(systemd(self.script("prerm", "upgrade", "1.0.1")), [])
        self.assertEqual(systemd(self.script("prerm", "remove")),
                         ["deb-systemd-invoke stop tunerd.service"])
        open(self.calls, "w").close()
        self.assertEqual(systemd(self.script("postinst", "configure", "")),
                         ["systemctl --system daemon-reload"])
        open(self.calls, "w").close()
        self.assertEqual(systemd(self.script("postinst", "configure", "1.0.0")),
                         ["systemctl --system daemon-reload",
                          "deb-systemd-invoke restart tunerd.service"])
        open(self.calls, "w").close()
        calls = self.script("postrm", "purge")
        # The user goes once tunerd has stopped.
        self.assertLess(calls.index("deb-systemd-invoke stop tunerd.service"),
                        calls.index("deluser --system tunerd"))


if __name__ == "__main__":
    unittest.main()
