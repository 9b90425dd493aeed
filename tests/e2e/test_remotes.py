"""Remote lists made by the host, saved, loaded back and freed by the plug-in."""

import os
import subprocess
import unittest

import harness
from harness import HostTestCase


class Remotes(HostTestCase):
    def test_host_built_list_saves_loads_back_equal_and_frees(self):
        self.enable_log()
        path = self.host.remotes_path("Tuner1.txt")
        out = self.tunerctl("build", "save", path, "load", path, "compare", "free")
        self.assertIn("compare: equal", out)
        self.assertIn("FreeRemotes: head null", out)
        with open(os.path.join(self.capture, "Tuner1.txt"), "rb") as saved:
            content = saved.read()
        end = self.host.line_end
        self.assertTrue(content.startswith(b"Tuner1. 38000 500" + end + b"Key0 16 a 20 df" + end +
                                           b" 32 b a5 a5 a5 a5 a5" + end), content[:80])
        self.assertEqual(content.count(end + end), 3)
        if end == b"\r\n":
            self.assertNotIn(b"\n", content.replace(b"\r\n", b""))
        self.assertIn("LoadRemotes:End: loadedDevName [Tuner1.]", self.log_lines())

    @unittest.skipUnless(harness.WINDOWS, "a host author's C program")
    def test_list_built_by_a_c_host_of_this_width_loads_back_equal(self):
        host = os.path.join(os.path.dirname(self.host.tunerctl), "test-host.exe")
        result = subprocess.run(self.host.wine + [host, "records", "c:\\capture\\c.rem"],
                                capture_output=True, text=True, timeout=60, env=self.host.env)
        self.assertEqual((result.returncode, result.stdout), (0, "records: equal\n"), result.stderr)
        with open(os.path.join(self.capture, "c.rem"), "rb") as saved:
            self.assertEqual(saved.read(), b"Tuner1. 4294967295 500\r\nPower 24 r df 01 ff\r\n\r\n"
                             b"Bedroom. 36000 0\r\n\r\n")

    def test_loaded_list_prints_readably(self):
        with open(os.path.join(self.capture, "Sat.txt"), "wb") as remotes:
            remotes.write(b"Sat 36000 600\nOk 12 x 0a ff\n 12 y 01\nMenu\n\n")
        out = self.tunerctl("load", self.host.remotes_path("Sat.txt"))
        self.assertIn('remote "Sat" carrier_freq 36000 bit_time 600', out)
        self.assertIn("pattern bit_length 12 flag 'x' bytes 2: 0a ff", out)
        self.assertIn("pattern bit_length 12 flag 'y' bytes 1: 01", out)
        self.assertIn('command "Menu"', out)

    def test_missing_remotes_file_is_created_empty(self):
        out = self.tunerctl("load", self.host.remotes_path("New.txt"))
        self.assertIn("(no remotes)", out)
        self.assertEqual(os.path.getsize(os.path.join(self.capture, "New.txt")), 0)

    def test_load_then_tune_drives_the_tuner_named_by_the_file(self):
        sim, port = self.attach_blaster()
        self.write_config("Other=%s&1,1.\nLivingRoom.=%s&3,77.\n" % (port, port))
        self.enable_log()
        self.tunerctl("load", self.host.remotes_path("LivingRoom.txt"), "tune", "42")
        keys = [f for f in sim.frames() if f.kind == "packet" and "key" in f.rest]
        self.assertEqual([int(k.fields["key"]) for k in keys], [10, 4, 2])
        self.assertEqual({(k.fields["ueitype"], k.fields["ueicode"]) for k in keys}, {("3", "77")})
        self.assertIn("MacroTune:Start: Channel [42] loadedDevName [LivingRoom.]", self.log_lines())
        self.assertIn("MacroTune:End", self.log_lines())

    def test_read_only_file_is_kept_and_nothing_left_beside_it(self):
        target = os.path.join(self.capture, "Keep.txt")
        with open(target, "wb") as old:
            old.write(b"old\n")
        os.chmod(target, 0o444)
        self.enable_log()
        self.tunerctl("build", "save", self.host.remotes_path("Keep.txt"))
        with open(target, "rb") as kept:
            self.assertEqual(kept.read(), b"old\n")
        self.assertIn("SaveRemotes:Err: cannot write [%s], file left as it was"
                      % self.host.remotes_path("Keep.txt"), self.log_lines())
        self.assertEqual([n for n in os.listdir(self.capture) if n.startswith("Keep.txt.")], [])

    def test_trace_restarts_at_one_mebibyte(self):
        with open(self.log_path, "wb") as log:
            log.write(b"x" * (1024 * 1024 - 5))
        self.tunerctl("caps")
        self.assertEqual(self.log_lines()[0], "LogMessage:Trace restarted, it had reached 1 MiB")
        self.assertEqual(self.log_lines()[1:3], ["DeviceName:Start", "DeviceName:Start"])
        self.assertLess(len(self.log_bytes()), 1000)


if __name__ == "__main__":
    unittest.main()
