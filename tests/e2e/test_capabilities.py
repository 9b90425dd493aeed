"""The capability answers and the trace they leave, through the loaded plug-in."""

import os
import subprocess
import unittest

import harness
from harness import HostTestCase

CAPABILITY_MESSAGES = [
    "DeviceName:Start", "DeviceName:Start", "OpenDevice:Start:port[1]", "InitDevice:Start",
    "NeedBitrate:Start", "NeedCarrierFrequency:Start", "FindBitRate:Start",
    "FindCarrierFrequency:Start", "RecordCommand:Start", "CanMacroTune: [1]", "CloseDevice:Start",
]


class Capabilities(HostTestCase):
    def test_answers(self):
        out = self.tunerctl("caps")
        for line in ['DeviceName: "Tolvarinet" same address twice: yes', "OpenDevice(1): 1",
                     "NeedBitrate: 0", "NeedCarrierFrequency: 0", "FindBitRate: 0",
                     "FindCarrierFrequency: 0", "RecordCommand: 0", "CanMacroTune: 1"]:
            self.assertIn(line, out.splitlines())

    def test_open_device_logs_any_number(self):
        self.enable_log()
        out = self.tunerctl("open", "0", "open", "-7")
        self.assertIn("OpenDevice(0): 1", out)
        self.assertIn("OpenDevice(-7): 1", out)
        self.assertEqual(self.log_lines(), ["OpenDevice:Start:port[0]", "OpenDevice:Start:port[-7]"])

    def test_log_holds_every_message_of_the_session_in_order(self):
        self.enable_log()
        self.tunerctl("caps", "caps")
        # log_lines also checks the line ends: CR LF under Windows.
        self.assertEqual(self.log_lines(), CAPABILITY_MESSAGES * 2)
        self.assertNotIn(b"\r\r", self.log_bytes())

    def test_absent_log_leaves_the_capture_directory_empty(self):
        self.tunerctl("caps", "open", "3", "tune", "--tuner", "Tuner1", "42", "play", "Tuner1", "1",
                      expect_status=1)
        self.assertEqual([files for _, _, files in os.walk(self.capture) if files], [])

    def test_dll_path_can_be_given(self):
        library = "TunerDLL.dll" if self.host.name == "wine" else "TunerDLL.so"
        out = self.tunerctl("--dll", os.path.join(os.path.dirname(self.host.tunerctl), library),
                            "caps")
        self.assertIn("CanMacroTune: 1", out)
        result = self.host.run("--dll", "no-such-plugin.dll", "caps")
        self.assertEqual(result.returncode, 3)
        self.assertRegex(result.stderr, r"cannot load \.[/\\]no-such-plugin\.dll")
        self.assertIn("put the plug-in beside tunerctl or pass --dll", result.stderr)

    def test_plug_in_of_the_other_width_is_named_as_such(self):
        own = getattr(self.host, "width", 64)
        other = 96 - own
        if self.host.name == "wine":
            header = bytearray(0x100)
            header[0:2], header[0x3c] = b"MZ", 0x40
            header[0x40:0x46] = b"PE\0\0" + (b"\x4c\x01" if other == 32 else b"\x64\x86")
        else:
            header = b"\x7fELF" + bytes([1 if other == 32 else 2]) + bytes(0xfb)
        with open(os.path.join(self.capture, "Other.dll"), "wb") as plugin:
            plugin.write(header)
        result = self.host.run("--dll", "Other.dll", "caps")
        self.assertEqual(result.returncode, 3, result.stderr)
        self.assertIn("it is a %d-bit plug-in and this tunerctl is %d-bit" % (other, own),
                      result.stderr)

    def test_simulator_answers_help_and_version(self):
        for option, says in [("--help", "usage: blaster-sim"), ("--version", "blaster-sim ")]:
            result = subprocess.run([harness.SIMULATOR, option], capture_output=True, text=True)
            self.assertEqual(result.returncode, 0, option)
            self.assertTrue(result.stdout.startswith(says), result.stdout)

    def test_version_is_the_plug_ins(self):
        out = self.tunerctl("--version")
        self.assertRegex(out, r"^TunerDLL \d+\.\d+\.\d+\n$")

    def test_help_lists_the_operations(self):
        out = self.tunerctl("--help")
        for op in ["caps", "play", "tune", "load", "save", "free", "check"]:
            self.assertIn("  " + op, out)


if __name__ == "__main__":
    unittest.main()
