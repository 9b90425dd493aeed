"""What a host and tunerctl learn of a channel change: the result export, read after real calls,
and tunerctl calls that never wait for one another's trace."""

import os
import re
import signal
import subprocess
import time
import unittest

import harness
from harness import HostTestCase


class Results(HostTestCase):
    def key_frames(self, sim):
        return [f for f in sim.frames() if f.kind == "packet" and "key" in f.rest]

    def test_bare_host_reads_each_cause_from_the_export(self):
        sim, port = self.attach_blaster()
        deaf, deaf_port = self.attach_blaster("--no-ack", number=6)
        self.write_config("Live.=%s&2,423.\nDeaf.=%s&1,1.\nNoDot.=%s&1,1\n"
                          % (port, deaf_port, port))
        cases = [("Live.txt", 42, 0, 'channel 42 sent to tuner "Live." on %s' % port),
                 ("Deaf.txt", 42, 11, "the blaster on %s did not acknowledge key 10" % deaf_port),
                 ("NoDot.txt", 42, 4, 'the line for tuner "NoDot." in'),
                 ("Nobody.txt", 42, 3, 'has the tuner name "Nobody."'),
                 ("Live.txt", 0, 13, "channel 0 cannot be sent")]
        for remotes, channel, code, says in cases:
            recorder = self.start_recorder(self.host.remotes_path(remotes), channel)
            out, err = recorder.communicate(timeout=120)
            self.assertEqual(recorder.returncode, 0, err)
            self.assertRegex(out, r"^result %d: .*%s" % (code, re.escape(says)), remotes)
        self.assertEqual([int(k.fields["key"]) for k in self.key_frames(sim)], [10, 4, 2])

    def test_each_call_replaces_the_last_and_a_failure_still_counts(self):
        sim, port = self.attach_blaster()
        self.write_config("Live.=%s&2,423.\n" % port)
        result = self.host.run("tune", "--tuner", "Nobody.", "5", "tune", "--tuner", "Live.", "7")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn('has the tuner name "Nobody."', result.stderr)
        self.assertEqual(result.stdout, 'channel 7 sent to tuner "Live." on %s\n' % port)
        self.assertEqual([int(k.fields["key"]) for k in self.key_frames(sim)], [10, 10, 7])

    @unittest.skipIf(harness.WINDOWS, "both are c:\\capture\\ on Windows")
    def test_the_trace_goes_to_its_own_folder(self):
        self.assertNotEqual(self.host.trace_dir, self.capture)
        sim, port = self.attach_blaster()
        self.write_config("Live.=%s&2,423.\n" % port)
        beside_config = os.path.join(self.capture, "TunerDLL.log")
        open(beside_config, "wb").close()
        self.enable_log()
        self.tunerctl("tune", "--tuner", "Live.", "7")
        self.assertIn("MacroTune:End", self.log_lines())
        self.assertEqual(os.path.getsize(beside_config), 0)

    def test_messages_point_at_the_cause(self):
        sim, port = self.attach_blaster()
        self.write_config("Tuner1=%s&2,423.\nNoDot=%s&1,2\n" % (port, port))
        result = self.host.run("play", "Tuner1", "Power")
        self.assertEqual((result.returncode, result.stdout), (1, ""), result.stderr)
        self.assertIn('command "Power" presses no key', result.stderr)
        self.assertEqual(self.key_frames(sim), [])
        result = self.host.run("tune", "--tuner", "NoDot", "5")
        self.assertEqual(result.returncode, 1)
        self.assertIn('the line for tuner "NoDot" in', result.stderr)
        self.assertIn('lacks the "." after the second number', result.stderr)
        result = self.host.run("/?")
        self.assertEqual(result.returncode, 0)
        self.assertIn("usage: tunerctl", result.stdout)

    @unittest.skipUnless(not harness.WINDOWS, "TMPDIR is the native temporary folder")
    def test_unwritable_temporary_folder_is_named(self):
        self.write_config("Tuner1.=pts/999&2,423.\n")
        result = subprocess.run([self.host.tunerctl, "tune", "--tuner", "Tuner1.", "5"],
                                capture_output=True, text=True, timeout=60,
                                env=dict(os.environ, TMPDIR="/proc/no-such-folder"))
        self.assertEqual(result.returncode, 1)
        self.assertIn("temporary folder for the tuner name in /proc/no-such-folder",
                      result.stderr)

    def test_tuners_on_two_blasters_change_channel_side_by_side(self):
        first, first_port = self.attach_blaster(number=5)
        second, second_port = self.attach_blaster(number=6)
        self.write_config("A=%s&1,1.\nB=%s&2,2.\n" % (first_port, second_port))
        calls = [self.start_tunerctl("tune", "--tuner", "A", "42"),
                 self.start_tunerctl("tune", "--tuner", "B", "57")]
        outcomes = [call.communicate(timeout=120) for call in calls]
        self.assertEqual([call.returncode for call in calls], [0, 0], outcomes)
        a, b = first.frames(), second.frames()
        # Each blaster got its first frame before the other got its last: neither waited.
        self.assertLess(a[0].at_ms, b[-1].at_ms)
        self.assertLess(b[0].at_ms, a[-1].at_ms)
        self.assertEqual([int(k.fields["key"]) for k in self.key_frames(second)], [10, 5, 7])

    def test_a_failing_blaster_does_not_slow_a_tuner_on_another(self):
        healthy, port = self.attach_blaster(number=5)
        # Each key acknowledged 4 s late: the channel takes about 14 s, then fails at its end.
        slow, slow_port = self.attach_blaster("--ack-delay", "4000", "--stop-after", "2",
                                              number=6)
        self.write_config("Live=%s&1,1.\nSlow=%s&2,2.\n" % (port, slow_port))
        stuck = self.start_tunerctl("tune", "--tuner", "Slow", "42")
        live = self.start_tunerctl("tune", "--tuner", "Live", "5")
        live_out, live_err = live.communicate(timeout=120)
        if live.returncode != 0 and live_out == live_err == "" and not self.key_frames(healthy):
            # Wine, loaded, once started no program at all here: tunerctl said nothing and sent
            # nothing. Its call is made again, still well within the failing one's 15 s.
            live = self.start_tunerctl("tune", "--tuner", "Live", "5")
            live_out, live_err = live.communicate(timeout=120)
        self.assertEqual(live.returncode, 0, live_err)
        self.assertIsNone(stuck.poll(), ("the healthy call waited for the failing one",
                                         stuck.poll() is not None and stuck.communicate()))
        stuck.communicate(timeout=120)
        self.assertEqual(stuck.returncode, 1)
        self.assertEqual([int(k.fields["key"]) for k in self.key_frames(healthy)], [10, 10, 5])
        self.assertLess(self.key_frames(healthy)[-1].at_ms, self.key_frames(slow)[-1].at_ms)

    def test_a_killed_call_leaves_the_trace_as_the_user_set_it(self):
        sim, port = self.attach_blaster()
        self.write_config("Tuner1=%s&2,423.\n" % port)
        for trace_on in (False, True):
            if trace_on:
                self.enable_log()
            keys_before = len(self.key_frames(sim))
            call = self.start_tunerctl("tune", "--tuner", "Tuner1", "42")
            while len(self.key_frames(sim)) == keys_before:
                self.assertIsNone(call.poll(), "the call ended before its first key")
                time.sleep(0.05)
            call.send_signal(signal.SIGKILL)
            call.communicate(timeout=60)
            self.assertEqual(os.path.exists(self.log_path), trace_on)
            if trace_on:
                lines = self.log_lines()
                self.assertIn("MacroTune:Start: Channel [42] loadedDevName [Tuner1]", lines)
                self.assertNotIn("MacroTune:End", lines)


if __name__ == "__main__":
    unittest.main()
