"""Tuning recipes end to end: the keys a box that needs more than three digits is sent, and
their pauses on the blaster's own clock; tried on tunerctl's command line; checked."""

import os
import re
import unittest

from harness import HostTestCase
from test_guide import GUIDE, recipes
from test_tuning import assert_spaced

KEY_MS = 100 + 333 + 250  # lead pause, packet pause and settle of every key


class Recipes(HostTestCase):
    def keys(self, sim):
        return [f for f in sim.frames() if f.kind == "packet" and "key" in f.rest]

    def write_recipes(self, text):
        with open(os.path.join(self.capture, "tuning.txt"), "wb") as recipes:
            recipes.write(text.replace("\n", self.host.line_end.decode()).encode())

    def test_every_setting_on_the_wire_and_tried_without_the_file(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        self.write_recipes("# cable box\nLiving.=digits 4 before 12 enter 11 pause 300\n")
        self.tunerctl("tune", "--tuner", "Living.", "42")
        keys = self.keys(sim)
        self.assertEqual([int(k.fields["key"]) for k in keys], [12, 10, 10, 4, 2, 11])
        assert_spaced(self, keys, KEY_MS + 300)
        os.remove(os.path.join(self.capture, "tuning.txt"))
        out = self.tunerctl("tune", "--enter", "11", "--tuner", "Living.", "--digits", "2", "42")
        self.assertIn('channel 42 sent to tuner "Living."', out)
        self.assertEqual([int(k.fields["key"]) for k in self.keys(sim)][6:], [4, 2, 11])
        refused = self.host.run("tune", "--tuner", "Living.", "--pause", "2001", "42")
        self.assertEqual(refused.returncode, 2)
        self.assertIn("pause 2001 is out of range (0 to 2000)", refused.stderr)
        self.assertEqual(len(self.keys(sim)), 9)

    def test_a_sleeping_box_a_sub_channel_and_a_second_sending(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        self.write_recipes("Living.=before 1 before 12 wait 2000 dot 13 enter 11 pause 100 "
                           "again 1500\n")
        out = self.tunerctl("tune", "--tuner", "Living.", "4.1")
        self.assertIn('channel 4.1 sent to tuner "Living."', out)
        keys = self.keys(sim)
        self.assertEqual([int(k.fields["key"]) for k in keys],
                         [1, 12] + [4, 13, 1, 11] * 2)
        # Every key's own time and the pause; the wait after the keys before; the second
        # sending after the first's last key.
        extra = {1: 2000, 5: 1500}
        assert_spaced(self, keys,
                      [KEY_MS + 100 + extra.get(i, 0) for i in range(len(keys) - 1)])
        # Without a dot key a sub-channel is refused, and nothing is sent.
        self.write_recipes("Living.=digits 4\n")
        refused = self.host.run("tune", "--tuner", "Living.", "7-1")
        self.assertEqual(refused.returncode, 1, refused.stderr)
        self.assertIn('sub-channel 7.1 was not sent: tuner "Living." has no dot key',
                      refused.stderr)
        self.assertEqual(len(self.keys(sim)), 10)
        # Text that is no channel is the plug-in's to refuse, in the words every way in uses.
        wrong = self.host.run("tune", "--tuner", "Living.", "4..1")
        self.assertEqual(wrong.returncode, 1, wrong.stderr)
        self.assertIn("channel 4..1 cannot be sent: it is not a channel", wrong.stderr)
        self.assertEqual(len(self.keys(sim)), 10)

    def test_a_pause_of_0_given_for_one_call_switches_the_files_off(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        self.write_recipes("Living.=pause 300\n")
        self.enable_log()
        self.tunerctl("tune", "--tuner", "Living.", "--pause", "0", "42")
        self.assertEqual([int(k.fields["key"]) for k in self.keys(sim)], [10, 4, 2])
        self.assertNotIn(b"MacroTune:Pause", self.log_bytes())
        self.assertIn(b"MacroTune:End", self.log_bytes())

    def test_check_tells_each_recipe_line(self):
        self.write_config("Living.=COM1&2,423.\n")
        self.write_recipes("Living.=digits 4 enter 11\nLiving.=pause 5\nBox=enter 11\n"
                           "Living.=enter 0\n")
        result = self.host.run("check")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertEqual(result.stdout.splitlines()[-4:], [
            'line 1: recipe for "Living." digits 4 enter 11: ok',
            'line 2: recipe for "Living.": unusable: shadowed by an earlier line with the same '
            'name',
            'line 3: recipe for "Box": unusable: no usable line of %s has this tuner name'
            % result.stdout.splitlines()[0][len("check "):-1],
            'line 4: recipe for "Living.": unusable: enter 0 is out of range (1 to 255)'])

    def test_check_tells_each_buttons_line(self):
        self.write_config("Living.=COM1&2,423.\n")
        with open(os.path.join(self.capture, "buttons.txt"), "w") as buttons:
            buttons.write("Living.=KEY_ENTER 11 key_exit 12\n\nLiving.=KEY_MENU 13\n"
                          "Box=KEY_OK 5\nno equals here\n")
        result = self.host.run("check")
        self.assertEqual(result.returncode, 1, result.stderr)
        config = result.stdout.splitlines()[0][len("check "):-1]
        self.assertEqual(result.stdout.splitlines()[-5:], [
            "check %sbuttons.txt:" % config[:-len("tuner.txt")],
            'line 1: buttons of "Living." KEY_ENTER 11 KEY_EXIT 12: ok',
            'line 3: buttons of "Living." KEY_MENU 13: unusable: shadowed by an earlier line '
            "with the same name",
            'line 4: buttons of "Box" KEY_OK 5: unusable: no usable line of %s has this tuner '
            "name" % config,
            'line 5: unusable: no "NAME=" before the buttons'])
        with open(os.path.join(self.capture, "buttons.txt"), "w") as buttons:
            buttons.write("Living.=KEY_X 0 KEY_Y\n")
        self.assertEqual(self.host.run("check").stdout.splitlines()[-1],
                         'line 1: buttons of "Living.": unusable: KEY_X: "0" is no key number '
                         "from 1 to 255; KEY_Y has no key number")

    def test_the_guides_worked_lines_and_command(self):
        sim, port = self.attach_blaster()
        with open(GUIDE) as guide:
            text = guide.read()
        body = text.split(
            "## Boxes that need more than three digits", 1)[1].split("\n## ", 1)[0]
        lines = [line.strip() for line in body.splitlines() if re.match(r"    \w+\.=", line)]
        names = [line.split("=")[0] for line in lines]
        self.assertEqual(names, ["Sat.", "Cable.", "Bedroom.", "Kitchen.", "Den.", "Attic.",
                                 "Porch.", "Hall."])
        self.write_config("".join("%s=%s&2,423.\n" % (name, port) for name in names))
        self.write_recipes("\n".join(lines) + "\n")
        for name in names:
            self.tunerctl("tune", "--tuner", name, "42")
        commands = recipes("Boxes that need more than three digits")
        self.assertEqual(len(commands), 2)
        for command in commands:
            self.tunerctl(*command[1:])
        self.assertEqual([int(k.fields["key"]) for k in self.keys(sim)],
                         [10, 10, 4, 2] + [10, 4, 2, 11] + [12, 10, 4, 2] + [10, 4, 2] +
                         [12, 13, 10, 4, 2] + [10, 4, 2] + [10, 4, 2] * 2 + [10, 4, 2] +
                         [10, 4, 2, 11] + [4, 13, 1])


if __name__ == "__main__":
    unittest.main()
