"""Channel maps, favourites by name and a gap before a repeated digit, through the real plug-in:
tunerctl and a bare host as a recorder is, natively and under Wine at both widths."""

import os
import re
import unittest

import harness
from harness import HostTestCase
from test_tuning import assert_spaced

KEY_MS = 100 + 333 + 250
MAP = "# TUNER=CHANNEL [as BOX_CHANNEL] [NAME...]\nLiving.=101 as 1501 BBC One HD\nLiving.=7 as 107\n"


class Channels(HostTestCase):
    def write(self, name, text):
        with open(os.path.join(self.capture, name), "wb") as out:
            out.write(text.replace("\n", self.host.line_end.decode()).encode())

    def keys(self, sim):
        return [f for f in sim.frames() if f.kind == "packet" and "key" in f.rest]

    def key_numbers(self, sim):
        return [int(k.fields["key"]) for k in self.keys(sim)]

    def test_a_mapped_channel_and_a_name_send_the_box_channel_from_every_call(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        self.write("channels.txt", MAP)
        self.enable_log()
        out = self.tunerctl("tune", "--tuner", "Living.", "101")
        self.assertIn('channel 101 as 1501 sent to tuner "Living."', out)
        self.assertIn("MacroTune:Channel [101] as [1501]", self.log_lines())
        self.tunerctl("tune", "--tuner", "Living.", "bbc one HD")
        self.assertIn("MacroTune:Channel [BBC One HD] as [1501]", self.log_lines())
        # The host's own MacroTune takes a number, and gets the map.
        recorder = self.start_recorder(self.host.remotes_path("Living.txt"), 101)
        said, err = recorder.communicate(timeout=120)
        self.assertEqual(recorder.returncode, 0, err)
        self.assertRegex(said, r"^result 0: channel 101 as 1501 sent")
        self.assertEqual(self.key_numbers(sim), [1, 5, 10, 1] * 3)
        refused = self.host.run("tune", "--tuner", "Living.", "ITV")
        self.assertEqual(refused.returncode, 1, refused.stderr)
        self.assertIn("channel ITV cannot be sent", refused.stderr)
        self.assertEqual(len(self.keys(sim)), 12)

    def test_a_channel_without_a_line_goes_exactly_as_without_the_file(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        runs = []
        for channels in (None, MAP):
            if channels:
                self.write("channels.txt", channels)
            self.enable_log()
            before = len(self.keys(sim))
            self.tunerctl("tune", "--tuner", "Living.", "42")
            keys = self.keys(sim)[before:]
            runs.append((self.log_lines(), [int(k.fields["key"]) for k in keys]))
            assert_spaced(self, keys, KEY_MS)
        self.assertEqual(runs[0], runs[1])
        self.assertEqual(runs[0][1], [10, 4, 2])

    def test_a_repeated_digit_waits_the_repeat_first(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        self.write("tuning.txt", "Living.=repeat 600\n")
        self.tunerctl("tune", "--tuner", "Living.", "112")
        self.assertEqual(self.key_numbers(sim), [1, 1, 2])
        assert_spaced(self, self.keys(sim), [KEY_MS + 600, KEY_MS])
        # Given for one call, through MacroTuneSettings, in place of the file's.
        self.tunerctl("tune", "--tuner", "Living.", "--repeat", "300", "7")
        keys = self.keys(sim)[3:]
        self.assertEqual([int(k.fields["key"]) for k in keys], [10, 10, 7])
        assert_spaced(self, keys, [KEY_MS + 300, KEY_MS])
        self.assertEqual(self.host.run("tune", "--tuner", "Living.", "--repeat", "2001",
                                       "7").returncode, 2)
        # A host's record holds repeat_ms 0 from size 24 on; one built before it ends at 20, and
        # the file's repeat stands.
        for size, gap in ((24, 0), (20, 600)):
            before = len(self.keys(sim))
            recorder = self.start_recorder(self.host.remotes_path("Living.txt"), "112", size)
            said, err = recorder.communicate(timeout=120)
            self.assertRegex(said, r"^result 0: ", err)
            keys = self.keys(sim)[before:]
            self.assertEqual([int(k.fields["key"]) for k in keys], [1, 1, 2])
            assert_spaced(self, keys, [KEY_MS + gap, KEY_MS])

    def test_check_names_each_problem_of_channels_txt_with_its_line(self):
        self.write_config("Living.=COM1&2,423.\n")
        self.write("channels.txt",
                   "Living.=101 as 1501 BBC One HD\nLiving.=101 as 3\nLiving.=5 bbc one hd\n"
                   "Living.=4.1 PBS Kids\nNobody.=7\nLiving.=x\nLiving.=8 as y\n")
        result = self.host.run("check")
        self.assertEqual(result.returncode, 1, result.stderr)
        lines = result.stdout.splitlines()
        for line in ['line 1: channel 101 as 1501 "BBC One HD" of "Living.": ok',
                     "line 2: channel 101 as 3 of \"Living.\": unusable: channel 101 is given "
                     "on line 1 already",
                     'line 3: channel 5 "bbc one hd" of "Living.": unusable: the name "bbc one '
                     'hd" is given on line 1 already',
                     'line 4: channel 4.1 "PBS Kids" of "Living.": unusable: sub-channel 4.1 is '
                     "sent, and this tuner has no dot key in tuning.txt",
                     "line 6: unusable: \"x\" is no channel",
                     "line 7: unusable: box channel \"y\" is no channel"]:
            self.assertIn(line, lines)
        self.assertTrue(any(re.match(r'line 5: channel 7 of "Nobody\.": unusable: no usable line', l)
                            for l in lines), lines)


if __name__ == "__main__":
    unittest.main()
