"""Tuning end to end: the frames the blaster receives, their timing, and the failures."""

import fcntl
import os
import re
import resource
import time
import unittest

import harness
from harness import HostTestCase

# Pauses measured across processes: a floor a little under the pause, and a ceiling that still
# catches a pause doubled or taken in place of a longer one. The exact pauses are proved against
# the unit tests' virtual clock. A write returns once the bytes are handed to the port, not when
# they arrive (11 bytes take 6 ms on the wire at 19200 baud; Wine hands them on a few ms late), so
# the pause after a packet can measure that much shorter; the floor still tells 333 from 100.
FLOOR_SLACK_MS = 15


def assert_spaced(test, frames, floors_ms):
    """Each gap between consecutive frames at least its floor (one for all, or one per gap), less
    FLOOR_SLACK_MS. The simulator sees a frame late when it is itself held up (two suites on two
    cores): that shortens the gap after the frame exactly as much as it lengthens the gap before,
    so a gap under its floor passes only when it and the gap before still hold both floors."""
    gaps = [later.at_ms - earlier.at_ms for earlier, later in zip(frames, frames[1:])]
    floors = floors_ms if isinstance(floors_ms, list) else [floors_ms] * len(gaps)
    for i, (gap, floor) in enumerate(zip(gaps, floors)):
        if gap >= floor - FLOOR_SLACK_MS:
            continue
        late = i > 0 and gaps[i - 1] + gap >= floors[i - 1] + floor - FLOOR_SLACK_MS
        test.assertTrue(late, "gap %d is %.1f ms, under its floor of %d ms: %s"
                        % (i, gap, floor, gaps))


def pause_ceiling_ms(expected_ms):
    return expected_ms * 1.7


class Tuning(HostTestCase):
    def tune_with(self, *options, name="Tuner1", number=5):
        sim, port = self.attach_blaster(*options, number=number)
        # Tuner1 for PlayCommand, Tuner1. for MacroTune after loading Tuner1.txt.
        self.write_config("%s=%s&2,423.\n%s.=%s&2,423.\n" % (name, port, name, port))
        return sim, port

    def key_frames(self, frames):
        return [f for f in frames if f.kind == "packet" and "key" in f.rest]

    def assert_pause(self, earlier, later, expected_ms):
        gap = later.at_ms - earlier.at_ms
        self.assertGreaterEqual(gap, expected_ms - FLOOR_SLACK_MS, (earlier, later))
        self.assertLess(gap, pause_ceiling_ms(expected_ms), (earlier, later))

    def test_play_command_frames_and_pauses(self):
        sim, _ = self.tune_with()
        self.tunerctl("play", "Tuner1", "0")
        frames = sim.frames()
        kinds = [f.kind for f in frames]
        self.assertEqual(kinds, ["lead", "packet", "trailer", "reply",
                                 "lead", "packet", "trailer", "reply"])
        self.assertEqual(frames[1].bytes, [0xBC, 0xAC, 0x0D, 0x00, 0x01, 0x08])
        self.assertEqual(frames[5].bytes,
                         [0xBC, 0xAC, 0x0D, 0x00, 0x06, 0x01, 0x21, 0xA7, 0x0A, 0x00, 0x00])
        self.assertEqual(len(frames[3].bytes), 10)
        self.assert_pause(frames[0], frames[1], 100)
        self.assert_pause(frames[1], frames[2], 100)
        self.assert_pause(frames[4], frames[5], 100)
        self.assert_pause(frames[5], frames[6], 333)

    def test_line_settings_seen_by_the_blaster(self):
        sim, _ = self.tune_with()
        self.tunerctl("play", "Tuner1", "5")
        query = [f for f in sim.frames() if "version-query" in f.rest][0]
        self.assertEqual(query.fields, {"speed": "19200", "data": "8", "parity": "n", "stop": "1",
                                        "flow": "none"})

    def test_macro_tune_sends_padded_channel_with_settle_times(self):
        sim, _ = self.tune_with()
        self.tunerctl("load", self.host.remotes_path("Tuner1.txt"),
                      "tune", "42")
        frames = sim.frames()
        keys = self.key_frames(frames)
        self.assertEqual([int(k.fields["key"]) for k in keys], [10, 4, 2])
        for k in keys:
            self.assertEqual(k.fields["ueitype"], "2")
            self.assertEqual(k.fields["ueicode"], "423")
        # From one key's acknowledgement to the next key's lead byte: the 250 ms settle time.
        replies = [f for f in frames if f.kind == "reply"]
        leads = [f for f in frames if f.kind == "lead"]
        for reply, lead in zip(replies[1:3], leads[2:4]):
            self.assert_pause(reply, lead, 250)

    def test_no_blaster_gives_up_in_time_and_the_port_opens_again(self):
        sim, _ = self.tune_with("--silent")
        self.enable_log()
        self.tunerctl("play", "Tuner1", "1", expect_status=1)
        # 200 ms of exchange and a read bounded by 5500 ms; a second read would take 11.2 s.
        self.assertLess(self.op_ms[0], 5700 + 4000)
        self.assertGreater(self.op_ms[0], 5600)
        lines = self.log_lines()
        self.assertIn("ZentravoxVersion:size[0]", lines)
        self.assertIn("No Blaster found", lines)
        self.assertEqual(lines[-1], "PlayCommand:Err:Com port not opened")
        # The port was closed: a second call opens it at once.
        self.tunerctl("play", "Tuner1", "1", expect_status=1)
        self.assertEqual(self.log_lines().count("getComPort:End"), 2)
        self.assertEqual(self.log_lines().count("detectComPortHandle:Err:Invalid ComStr"), 0)

    def test_blaster_that_goes_silent_mid_channel(self):
        sim, _ = self.tune_with("--stop-after", "1")
        self.enable_log()
        self.tunerctl("load", self.host.remotes_path("Tuner1.txt"),
                      "tune", "123", timeout=60, expect_status=1)
        keys = self.key_frames(sim.frames())
        self.assertEqual([int(k.fields["key"]) for k in keys], [1, 2])
        lines = self.log_lines()
        self.assertEqual(lines[lines.index("Emit:End [0]") + 1],
                         "MacroTune:Err:Key not acknowledged, channel not sent")
        # Probe, one key, then the unanswered key: 433 ms, five reads of 1 s and the settle time.
        # The bound only proves that the wait ends: its slack is of the order of the call.
        self.assertLess(self.op_ms[-1], 2 * (200 + 683 + 433 + 5000 + 250))

    def test_late_acknowledgement_is_waited_for(self):
        sim, _ = self.tune_with("--ack-delay", "1500")
        self.enable_log()
        self.tunerctl("play", "Tuner1", "9")
        self.assertEqual(self.log_lines()[-1], "PlayCommand:End")
        self.assertGreater(self.op_ms[0], 200 + 433 + 1500)

    def test_short_version_reply_is_no_blaster(self):
        sim, _ = self.tune_with("--version-bytes", "9")
        self.enable_log()
        self.tunerctl("play", "Tuner1", "9", expect_status=1)
        self.assertIn("ZentravoxVersion:size[9]", self.log_lines())
        self.assertEqual(self.key_frames(sim.frames()), [])

    def test_missing_port_is_an_invalid_name(self):
        self.write_config("Tuner1=%s&2,423.\n" % ("COM9" if self.host.name == "wine" else "pts/999"))
        self.enable_log()
        self.tunerctl("play", "Tuner1", "1", expect_status=1)
        lines = self.log_lines()
        start = lines.index("detectComPortHandle:Start")
        self.assertEqual(lines[start + 3:], ["detectComPortHandle:Err:Invalid ComStr",
                                             "detectComPortHandle:End [0]",
                                             "PlayCommand:Err:Com port not opened"])

    def test_play_command_message_sequence(self):
        _, port = self.tune_with()
        self.enable_log()
        self.tunerctl("play", "Tuner1", "7")
        self.assertEqual(self.log_lines(), [
            "PlayCommand:Start name[7]", "PlayCommand:Remotename[Tuner1]", "ReadCfgFile:Start",
            "ReadCfgFile:Searching for tuner [Tuner1]", "Read [%s] port for tuner [Tuner1]" % port,
            "Tuner found  ueitype[2] ueicode[423]", "ReadCfgFile:End [1]",
            "PlayCommand:Tuner[Tuner1] comPort[%s] ueitype[2] ueicode[423]" % port,
            "detectComPortHandle:Start", "getComPort:Start[%s]" % port, "getComPort:End",
            "ZentravoxVersion:Start", "ZentravoxVersion:size[10]", "Found blaster",
            "ZentravoxVersion:End[1]", "detectComPortHandle:End [1]", "PlayCommand:Emitting [7]",
            "Emit:Start", "Emit:End [1]", "PlayCommand:End"])

    def test_two_recordings_on_one_port_take_turns(self):
        sim, port = self.attach_blaster()
        self.write_config("First.=%s&1,100.\nSecond.=%s&2,200.\n" % (port, port))
        self.enable_log()
        first = self.start_recorder(self.host.remotes_path("First.txt"), 42)
        second = self.start_recorder(self.host.remotes_path("Second.txt"), 57)
        outputs = [first.communicate(timeout=120), second.communicate(timeout=120)]
        self.assertEqual([first.returncode, second.returncode], [0, 0], outputs)
        frames = sim.frames()
        # Each call's probe and keys stand together: no byte of the other call between them.
        calls = [f.fields.get("ueicode", "probe") for f in frames if f.kind == "packet"]
        self.assertIn(calls, [["probe", "100", "100", "100", "probe", "200", "200", "200"],
                              ["probe", "200", "200", "200", "probe", "100", "100", "100"]])
        keys = {k.fields["ueicode"]: [] for k in self.key_frames(frames)}
        for k in self.key_frames(frames):
            keys[k.fields["ueicode"]].append(int(k.fields["key"]))
        self.assertEqual(keys, {"100": [10, 4, 2], "200": [10, 5, 7]})
        self.assertEqual(self.log_lines().count("MacroTune:End"), 2)
        self.assertEqual(sum(line.startswith("getComPort:Waiting for [%s]" % port)
                             for line in self.log_lines()), 1)
        # The one that waited began as soon as the other was done (its settle time and a retry
        # later), not at the 10 s bound.
        second_lead = [i for i, f in enumerate(frames) if "version-query" in f.rest][1] - 1
        self.assertEqual(frames[second_lead].kind, "lead")
        self.assertLess(frames[second_lead].at_ms - frames[second_lead - 1].at_ms, 2000)

    def test_concurrent_tunerctl_calls_each_report_their_own_outcome(self):
        sim, port = self.attach_blaster()
        self.write_config("First.=%s&1,100.\n" % port)
        first = self.start_tunerctl("tune", "--tuner", "First.", "42")
        second = self.start_tunerctl("tune", "--tuner", "Nobody.", "57")
        (out1, err1), (out2, err2) = first.communicate(timeout=120), second.communicate(timeout=120)
        self.assertEqual((first.returncode, second.returncode), (0, 1), (err1, err2))
        self.assertIn('channel 42 sent to tuner "First."', out1)
        self.assertIn('has the tuner name "Nobody."', err2)
        self.assertFalse(os.path.exists(self.log_path))

    def test_late_acknowledgement_is_not_taken_by_the_next_call(self):
        sim, _ = self.tune_with("--ack-delay", "5600")
        self.enable_log()
        self.tunerctl("play", "Tuner1", "4", expect_status=1)
        deadline = time.monotonic() + 10
        while not any("ack" in f.rest for f in sim.frames()) and time.monotonic() < deadline:
            time.sleep(0.05)
        # The late byte waits in the port; the next call's probe must not read it.
        self.tunerctl("play", "Tuner1", "4", expect_status=1)
        lines = self.log_lines()
        self.assertEqual(lines.count("PlayCommand:Err:Key not acknowledged [4]"), 2, lines)
        self.assertNotIn("PlayCommand:End", lines)

    def test_rejected_command_lines_call_nothing(self):
        sim, _ = self.tune_with()
        self.enable_log()
        for args in [("tune", "0"), ("tune", "-5"), ("tune", "abc"), ("tune", "4294967338"),
                     ("tune", "5.1"), ("tune", "42abc"), ("tune", "42", "frob"),
                     ("caps", "extra"), ("open", "abc"), ("check", "--frob"), ("--dll",),
                     ("--frob", "caps"), ("play", "Tuner1"), ("tune", "--tuner", "a/b", "5"),
                     ("tune", "42")]:
            result = self.host.run(*args)
            self.assertEqual(result.returncode, 2, (args, result.stdout, result.stderr))
            self.assertEqual(result.stdout, "", args)
            self.assertEqual(len(result.stderr.strip().splitlines()), 1, (args, result.stderr))
        self.assertEqual(sim.frames(), [])
        self.assertEqual(self.log_bytes(), b"")

    def test_outcome_and_exit_status_of_each_failure(self):
        sim, port = self.attach_blaster("--no-ack")
        silent, silent_port = self.attach_blaster("--silent", number=6)
        missing = "COM9" if self.host.name == "wine" else "pts/999"
        self.write_config("Deaf=%s&2,423.\nSilent=%s&1,1.\nGone=%s&1,1.\n"
                          % (port, silent_port, missing))
        cases = [
            ("Nobody", 'no line of .* has the tuner name "Nobody"'),
            ("Gone", "port %s for tuner \"Gone\" does not exist: check the port name" % missing),
            ("Silent", "no blaster answered on %s \\(0 bytes came back\\)" % silent_port),
            ("Deaf", "the blaster on %s did not acknowledge key 5, so the rest" % port),
        ]
        for tuner, message in cases:
            result = self.host.run("play", tuner, "5", timeout=60)
            self.assertEqual(result.returncode, 1, (tuner, result.stderr))
            self.assertEqual(result.stdout, "")
            self.assertRegex(result.stderr, "^tunerctl: " + message, tuner)
        # Only the deaf blaster was sent a key; no trace was left switched on.
        self.assertEqual([f.bytes[8] for f in self.key_frames(sim.frames())], [5])
        self.assertEqual(self.key_frames(silent.frames()), [])
        self.assertFalse(os.path.exists(self.log_path))
        os.remove(os.path.join(self.capture, "tuner.txt"))
        result = self.host.run("tune", "--tuner", "Deaf", "42")
        self.assertEqual(result.returncode, 1)
        self.assertIn("tuner.txt is missing or cannot be read", result.stderr)

    def test_success_is_reported_and_the_users_trace_keeps_its_lines(self):
        sim, port = self.tune_with()
        with open(self.log_path, "wb") as log:
            log.write(b"earlier line" + self.host.line_end)
        out = self.tunerctl("load", self.host.remotes_path("Tuner1.txt"), "tune", "42")
        self.assertIn('channel 42 sent to tuner "Tuner1." on %s' % port, out)
        lines = self.log_lines()
        self.assertEqual(lines[0], "earlier line")
        self.assertIn("MacroTune:End", lines)
        self.assertEqual(self.tunerctl("-q", "play", "Tuner1", "7"), "")
        self.assertEqual([int(k.fields["key"]) for k in self.key_frames(sim.frames())],
                         [10, 4, 2, 7])

    def test_tune_by_tuner_name_from_a_read_only_directory(self):
        sim, port = self.tune_with()
        # /proc takes no new file, even from root.
        result = self.host.run("tune", "--tuner", "Tuner1.", "7", cwd="/proc")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn('channel 7 sent to tuner "Tuner1." on %s' % port, result.stdout)
        self.assertEqual([int(k.fields["key"]) for k in self.key_frames(sim.frames())],
                         [10, 10, 7])


@unittest.skipUnless(harness.WINDOWS, "COM port names are Windows'")
class WinePorts(HostTestCase):
    key_frames = Tuning.key_frames

    def test_port_above_com9_opens(self):
        sim, port = self.attach_blaster(number=12)
        self.assertEqual(port, "COM12")
        self.write_config("Tuner1=COM12&2,423.\n")
        self.enable_log()
        self.tunerctl("play", "Tuner1", "3")
        self.assertIn("getComPort:Start[COM12]", self.log_lines())
        self.assertEqual(self.log_lines()[-1], "PlayCommand:End")
        self.assertEqual([f.bytes[8] for f in self.key_frames(sim.frames())], [3])


@unittest.skipUnless(not harness.WINDOWS,
                     "Wine does not enforce exclusive opening of COM ports")
class ExclusiveOpen(HostTestCase):
    def test_port_held_elsewhere_is_refused(self):
        sim, port = self.attach_blaster()
        self.write_config("Tuner1=%s&2,423.\n" % port)
        self.enable_log()
        holder = os.open(sim.slave, os.O_RDWR | os.O_NOCTTY)
        try:
            fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
            self.tunerctl("play", "Tuner1", "1", expect_status=1)
        finally:
            os.close(holder)
        lines = self.log_lines()
        self.assertIn("getComPort:Err:Still held after 10000 ms [%s]" % port, lines)
        self.assertIn("detectComPortHandle:Err:Invalid ComStr", lines)
        self.tunerctl("play", "Tuner1", "1")
        self.assertEqual(self.log_lines()[-1], "PlayCommand:End")

    def test_port_freed_by_another_program_is_opened_in_turn(self):
        sim, port = self.attach_blaster()
        self.write_config("Tuner1=%s&2,423.\n" % port)
        self.enable_log()
        holder = os.open(sim.slave, os.O_RDWR | os.O_NOCTTY)
        fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
        call = self.start_tunerctl("play", "Tuner1", "6")
        time.sleep(1)
        os.close(holder)
        out, err = call.communicate(timeout=60)
        self.assertEqual(call.returncode, 0, err)
        self.assertEqual(self.log_lines()[-1], "PlayCommand:End")
        self.assertEqual([f.bytes[8] for f in Tuning.key_frames(self, sim.frames())], [6])

    def test_check_names_a_busy_port(self):
        sim, port = self.attach_blaster()
        self.write_config("Tuner1=%s&2,423.\n" % port)
        holder = os.open(sim.slave, os.O_RDWR | os.O_NOCTTY)
        try:
            fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
            out = self.tunerctl("check", "--probe", expect_status=1)
        finally:
            os.close(holder)
        self.assertIn("unusable: port %s stayed held by another program for 10 s: close it" % port,
                      out)

    def test_unplugged_adapter_ends_the_wait_at_once(self):
        sim, port = self.attach_blaster("--hang-up-on-key")
        self.write_config("Tuner1=%s&2,423.\n" % port)
        self.enable_log()
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        self.tunerctl("play", "Tuner1", "6", expect_status=1)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu_s = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        self.assertEqual(self.log_lines()[-1], "PlayCommand:Err:Key not acknowledged [6]")
        # Spinning on the hang-up until the read time-outs pass costs seconds of CPU.
        self.assertLess(cpu_s, 1.0)


if __name__ == "__main__":
    unittest.main()
