"""`tunerctl check`: a diagnosis for every line of a tuner configuration file."""

import os
import time
import unittest

from harness import HostTestCase


class ConfigCheck(HostTestCase):
    def check(self, text, *options, expect_status):
        self.write_config(text)
        out = self.tunerctl("check", *options, expect_status=expect_status)
        return [line for line in out.splitlines() if line.startswith("line ")]

    def test_good_file_with_notes(self):
        lines = self.check("\xef\xbb\xbfTuner1=COM2&1,2345.\nTuner 2 =COM3&0,7. bedroom\n# a comment\n",
                           expect_status=0)
        self.assertEqual(lines, [
            "line 1: note: byte-order mark at the start of the file, skipped; "
            'tuner "Tuner1" port COM2 ueitype 1 ueicode 2345: ok',
            'line 2: tuner "Tuner 2 " port COM3 ueitype 0 ueicode 7: ok (note: the tuner name '
            "begins or ends with a space, which counts)",
            'line 3: note: no "=", the plug-in skips this line (a comment)'])

    def test_every_diagnosis(self):
        lines = self.check("comment\nA=COM1\nB=COM1&1\nC=COM1&1,2\nD=COM1234567890&1,2.\n"
                           "E=COM1&1,2.\nE=COM2&1,2.\nF=COM1&x,2.\nG=COM1&1,2y.\n\n"
                           "H= COM5 &1,2.\nI=COM1&99999999999,2.\n",
                           expect_status=1)
        self.assertEqual(lines, [
            'line 1: note: no "=", the plug-in skips this line (a comment)',
            'line 2: unusable: lacks the "&" after the port name',
            'line 3: unusable: lacks the "," between the two numbers',
            'line 4: unusable: lacks the "." after the second number',
            "line 5: unusable: has a port name of more than 9 characters",
            'line 6: tuner "E" port COM1 ueitype 1 ueicode 2: ok',
            'line 7: tuner "E" port COM2 ueitype 1 ueicode 2: unusable: shadowed by line 6 with '
            "the same name",
            'line 8: tuner "F" port COM1 ueitype 0 ueicode 2: unusable: ueitype "x" is not a number',
            'line 9: tuner "G" port COM1 ueitype 1 ueicode 2: unusable: ueicode "2y" is not a number',
            "line 10: blank, ignored",
            'line 11: tuner "H" port  COM5  ueitype 1 ueicode 2: unusable: port name " COM5 " holds '
            "spaces, so it can never open",
            'line 12: tuner "I" port COM1 ueitype 2147483647 ueicode 2: unusable: ueitype '
            '"99999999999" is out of range'])

    def test_probe_tells_the_causes_apart(self):
        _, port = self.attach_blaster()
        _, silent = self.attach_blaster("--silent", number=6)
        _, short = self.attach_blaster("--version-bytes", "4", number=7)
        missing = "COM9" if self.host.name == "wine" else "pts/999"
        lines = self.check("Here=%s&1,1.\nSilent=%s&1,1.\nShort=%s&1,1.\nGone=%s&1,1.\n"
                           % (port, silent, short, missing), "--probe", expect_status=1)
        self.assertEqual(lines, [
            'line 1: tuner "Here" port %s ueitype 1 ueicode 1: blaster answered, ok' % port,
            'line 2: tuner "Silent" port %s ueitype 1 ueicode 1: unusable: no blaster answered on '
            "%s (0 bytes came back): check the blaster's cable and power" % (silent, silent),
            'line 3: tuner "Short" port %s ueitype 1 ueicode 1: unusable: no blaster answered on '
            "%s (4 bytes came back): check the blaster's cable and power" % (short, short),
            'line 4: tuner "Gone" port %s ueitype 1 ueicode 1: unusable: port %s does not exist: '
            "check the port name and that the adapter is plugged in" % (missing, missing)])

    def test_find_probes_every_port_at_once(self):
        _, port = self.attach_blaster()
        silent = [self.attach_blaster("--silent", number=n)[1] for n in (6, 7, 8)]
        started = time.monotonic()
        out = self.tunerctl("find", port, *silent)
        elapsed = time.monotonic() - started
        self.assertIn("%s: blaster answered; a tuner.txt line to start from: Tuner1.=%s&UEITYPE,"
                      "UEICODE." % (port, port), out.splitlines())
        for p in silent:
            self.assertIn("%s: no blaster answered on %s (0 bytes came back): check the "
                          "blaster's cable and power" % (p, p), out.splitlines())
        # One probe time-out (5.7 s), not one per port (17 s for the three silent ones).
        self.assertLess(elapsed, 5.7 + 5)
        result = self.host.run("find", *silent)
        self.assertEqual(result.returncode, 1)
        self.assertIn("no blaster answered on 3 ports", result.stderr)

    def test_files_that_hold_no_tuner(self):
        result = self.host.run("check")
        self.assertEqual(result.returncode, 1)
        self.assertIn("tuner.txt does not exist: create it", result.stderr)
        for content, says in [(b"", "has no tuner lines"), (b"# only a note\n\n", "has no tuner lines"),
                              ("Tuner1=COM5&1,2.\n".encode("utf-16"), "is saved as UTF-16")]:
            with open(os.path.join(self.capture, "tuner.txt"), "wb") as config:
                config.write(content)
            result = self.host.run("check")
            self.assertEqual(result.returncode, 1, content)
            self.assertIn(says, result.stderr)
        os.remove(os.path.join(self.capture, "tuner.txt"))
        os.mkdir(os.path.join(self.capture, "tuner.txt"))
        result = self.host.run("check")
        self.assertEqual(result.returncode, 1)
        self.assertIn("tuner.txt is a folder, not a file", result.stderr)


if __name__ == "__main__":
    unittest.main()
