"""A host whose address space is used up loads a large remotes file: the plug-in must report the
exhausted heap (null and a quit request) and never end the host, whatever the file is named."""

import os
import subprocess
import unittest

from harness import HostTestCase


@unittest.skipUnless(os.environ.get("TUNER_E2E_HOST") == "wine", "address space of a 32-bit host")
class ExhaustedHost(HostTestCase):
    def test_load_in_an_exhausted_host_never_ends_it(self):
        commands = "".join("Key%d 16 a 20 df 01 02\n" % i for i in range(30000))
        names = ["r30000.txt", "big.rem", "Tuner1.txt", "x.remotes"]
        for name in names:
            with open(os.path.join(self.capture, name), "w") as remotes:
                remotes.write("TV 38000 500\n" + commands + "\n")
        host = os.path.join(os.path.dirname(self.host.tunerctl), "test-host.exe")
        dll = os.path.join(os.path.dirname(self.host.tunerctl), "TunerDLL.dll")
        outcomes = []
        for run in range(20):
            name = names[run % len(names)]
            result = subprocess.run(["wine", host, dll, "exhaust", self.host.remotes_path(name)],
                                    capture_output=True, text=True, timeout=120,
                                    env=self.host.env, cwd=self.capture)
            outcomes.append((name, result.returncode, result.stdout.strip()))
        self.assertEqual({o[1:] for o in outcomes},
                         {(0, "LoadRemotes: null, quit request: yes")}, outcomes)


if __name__ == "__main__":
    unittest.main()
