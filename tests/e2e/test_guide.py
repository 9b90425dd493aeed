"""Every tunerctl recipe of the user guide, run as written."""

import os
import re
import unittest

import harness
from harness import HostTestCase

GUIDE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs",
                     "user-guide.md")


def recipes(section):
    """The commands of the indented lines that start with tunerctl in a section of the guide."""
    with open(GUIDE) as guide:
        text = guide.read()
    body = text.split("## " + section, 1)[1].split("\n## ", 1)[0]
    return [re.split(r"\s{2,}", line.strip())[0].split()
            for line in body.splitlines() if re.match(r"    (\S*/)?tunerctl ", line)]


class GuideRecipes(HostTestCase):
    def prepare(self):
        sim, port = self.attach_blaster()
        self.write_config("Tuner1.=%s&1,2345.\nTuner1=%s&1,2345.\nLiving.=%s&1,2345.\n"
                          % (port, port, port))
        return sim

    @unittest.skipUnless(harness.WINDOWS, "the Windows recipes")
    def test_windows_recipes(self):
        sim = self.prepare()
        remotes = os.path.join(self.host.prefix, "drive_c", "remotes")
        os.makedirs(remotes, exist_ok=True)
        with open(os.path.join(remotes, "tuner.txt"), "w") as other:
            other.write("Box=COM3&0,7.\r\n")
        commands = recipes("Trying a tuner without the host: tunerctl")
        self.assertGreaterEqual(len(commands), 10)
        for command in commands:
            result = self.host.run(*command[1:], timeout=60)
            self.assertEqual(result.returncode, 0, (command, result.stdout, result.stderr))
        keys = [int(f.fields["key"]) for f in sim.frames() if "key" in f.rest]
        self.assertEqual(keys, [7, 10, 4, 2, 10, 4, 2])

    @unittest.skipUnless(not harness.WINDOWS,
                         "the Linux recipes")
    def test_linux_recipes(self):
        sim = self.prepare()
        commands = recipes("On Linux: a channel changer for PVRs")
        self.assertEqual(len(commands), 1)
        # The recorder adds the channel as the last argument.
        result = self.host.run(*(commands[0][1:] + ["42"]), cwd="/proc")
        self.assertEqual((result.returncode, result.stdout), (0, ""), result.stderr)
        keys = [int(f.fields["key"]) for f in sim.frames() if "key" in f.rest]
        self.assertEqual(keys, [10, 4, 2])


if __name__ == "__main__":
    unittest.main()
