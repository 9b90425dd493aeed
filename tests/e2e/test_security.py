"""A shared Linux machine: what a member of the trace folder's group, a careless host or a stray
file can do to tunerctl and the plug-in it loads. Every victim file lives in a folder the test
made; the unprivileged user is made and removed by the test."""

import os
import pwd
import shutil
import subprocess
import tempfile
import unittest

import harness
from harness import HostTestCase


@unittest.skipIf(harness.WINDOWS, "links, pipes and users of a POSIX machine")
class SharedMachine(HostTestCase):
    def setUp(self):
        super().setUp()
        self.work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.work, True)

    def victim(self, size):
        """A file of root's that nobody else may read: it must stay byte for byte."""
        path = os.path.join(self.work, "victim")
        with open(path, "wb") as victim:
            victim.write(b"v" * size)
        os.chmod(path, 0o600)
        return path

    def assert_untouched(self, path, size):
        with open(path, "rb") as victim:
            self.assertEqual(victim.read(), b"v" * size)

    def member(self):
        """An unprivileged user, gone after the test."""
        if os.geteuid() != 0 or not shutil.which("useradd"):
            self.skipTest("makes a user: root, useradd")
        name = "tdsec%d" % os.getpid()
        made = subprocess.run(["useradd", "--system", "--no-create-home", name],
                              capture_output=True, text=True)
        self.assertEqual(made.returncode, 0, made.stderr)
        self.addCleanup(subprocess.run, ["userdel", name], capture_output=True)
        return name

    def as_user(self, user, *args, cwd=None):
        return subprocess.run(["runuser", "-u", user, "--", self.host.tunerctl] + list(args),
                              capture_output=True, text=True, timeout=60, cwd=cwd or "/")

    def test_a_link_at_the_trace_is_never_written_through(self):
        victim = self.victim(2000000)
        os.symlink(victim, self.log_path)
        self.tunerctl("caps")
        self.tunerctl("tune", "--tuner", "Living.", "5", expect_status=1)
        self.assert_untouched(victim, 2000000)
        checked = self.host.run("check", os.path.join(self.capture, "tuner.txt"))
        self.assertIn("the trace %s exists but is not written: it is a symbolic link"
                      % self.log_path, checked.stderr)

    def test_a_name_with_line_feeds_cannot_add_a_line_to_the_trace(self):
        self.enable_log()
        refused = self.host.run("tune", "--tuner", "A\nevil::0:0::.:sh\n", "5")
        self.assertEqual(refused.returncode, 2, refused.stderr)
        self.tunerctl("load", "x\nevil::0:0::.:sh\n.txt", expect_status=None)
        lines = self.log_lines()
        self.assertTrue(lines)
        self.assertFalse([line for line in lines if line.startswith("evil")], lines)

    def test_load_never_empties_a_file_its_owner_cannot_read(self):
        user = self.member()
        folder = os.path.join(self.work, "home")
        os.mkdir(folder)
        os.chown(folder, pwd.getpwnam(user).pw_uid, -1)
        remotes = os.path.join(folder, "Tuner1.txt")
        with open(remotes, "w") as own:
            own.write("TV 38000 500\nPower 16 a 20 df\n\n")
        os.chown(remotes, pwd.getpwnam(user).pw_uid, -1)
        os.chmod(remotes, 0o200)
        self.as_user(user, "load", remotes)
        self.assertEqual(os.path.getsize(remotes), 31)

    def test_check_tells_a_user_who_cannot_write_the_trace(self):
        user = self.member()
        self.write_config("Living.=ttyS0&1,2345.\n")
        self.enable_log()
        os.chmod(self.log_path, 0o644)  # made by root, as `sudo touch` makes it
        config = os.path.join(self.capture, "tuner.txt")
        checked = self.as_user(user, "check", config)
        self.assertEqual(checked.returncode, 0, checked.stderr)
        self.assertIn("cannot be written by this user", checked.stderr)
        os.chown(self.log_path, pwd.getpwnam(user).pw_uid, -1)
        self.assertIn("run as root the plug-in writes only a trace that root owns",
                      self.host.run("check", config).stderr)

    def test_dll_names_only_a_regular_file_in_the_current_folder(self):
        system = self.host.run("--dll", "libm.so.6", "caps", cwd=self.work)
        self.assertEqual(system.returncode, 3)
        self.assertIn("cannot load ./libm.so.6", system.stderr)
        self.assertNotIn("does not export", system.stderr)
        pipe = os.path.join(self.work, "TunerDLL.so")
        os.mkfifo(pipe)
        fifo = self.host.run("--dll", pipe, "caps", timeout=30)
        self.assertEqual(fifo.returncode, 3)
        self.assertIn("it is not a regular file", fifo.stderr)

    def test_search_on_endless_input_still_sends_its_keys(self):
        sim, port = self.attach_blaster()
        with open("/dev/zero") as endless:
            search = subprocess.run([self.host.tunerctl, "search", port, "--type", "2", "--to",
                                     "1"], stdin=endless, capture_output=True, text=True,
                                    timeout=60, cwd=self.capture)
        self.assertEqual(search.returncode, 1, search.stderr)
        self.assertIn("no code set from 2,0 to 2,1 was confirmed", search.stderr)
        codes = [f.fields["ueicode"] for f in sim.frames() if f.kind == "packet" and
                 "key" in f.rest]
        self.assertEqual(codes, ["0", "1"])


if __name__ == "__main__":
    unittest.main()
