"""`tunerctl check`: a diagnosis for every line of a tuner configuration file."""

import unittest

from harness import HostTestCase


class ConfigCheck(HostTestCase):
    def check(self, text, *options, expect_status):
        self.write_config(text)
        out = self.tunerctl("check", *options, expect_status=expect_status)
        return [line for line in out.splitlines() if line.startswith("line ")]

    def test_good_file(self):
        lines = self.check("Tuner1=COM2&1,2345.\nTuner 2 =COM3&0,7. bedroom\n", expect_status=0)
        self.assertEqual(lines, ['line 1: tuner "Tuner1" port COM2 ueitype 1 ueicode 2345: ok',
                                 'line 2: tuner "Tuner 2 " port COM3 ueitype 0 ueicode 7: ok'])

    def test_every_diagnosis(self):
        lines = self.check("comment\nA=COM1\nB=COM1&1\nC=COM1&1,2\nD=COM1234567890&1,2.\n"
                           "E=COM1&1,2.\nE=COM2&1,2.\nF=COM1&x,2.\nG=COM1&1,2y.\n\n",
                           expect_status=1)
        self.assertEqual(lines, [
            'line 1: unusable: no "=" after the tuner name',
            'line 2: unusable: no "&" after the port name',
            'line 3: unusable: no "," after the ueitype',
            'line 4: unusable: no "." after the ueicode',
            "line 5: unusable: port name longer than 9 characters",
            'line 6: tuner "E" port COM1 ueitype 1 ueicode 2: ok',
            'line 7: tuner "E" port COM2 ueitype 1 ueicode 2: unusable: shadowed by line 6 with '
            "the same name",
            'line 8: tuner "F" port COM1 ueitype 0 ueicode 2: unusable: ueitype "x" is not a number',
            'line 9: tuner "G" port COM1 ueitype 1 ueicode 2: unusable: ueicode "2y" is not a number',
            "line 10: blank, ignored"])

    def test_probe_reports_blaster_and_its_absence(self):
        _, port = self.attach_blaster()
        _, silent = self.attach_blaster("--silent", number=6)
        lines = self.check("Here=%s&1,1.\nSilent=%s&1,1.\n" % (port, silent), "--probe",
                           expect_status=1)
        self.assertEqual(lines[0], 'line 1: tuner "Here" port %s ueitype 1 ueicode 1: blaster '
                                   "answered, ok" % port)
        self.assertEqual(lines[1], 'line 2: tuner "Silent" port %s ueitype 1 ueicode 1: unusable: '
                                   "no blaster answered on %s" % (silent, silent))

    def test_missing_file(self):
        out = self.tunerctl("check", expect_status=1)
        self.assertIn("cannot be opened", out)


if __name__ == "__main__":
    unittest.main()
