"""A host whose address space is used up loads a large remotes file: the plug-in must report the
exhausted heap (null and a quit request) and never end the host, whatever the file is named."""

import os
import resource
import subprocess
import unittest

import harness
from harness import HostTestCase


@unittest.skipUnless(harness.WINDOWS, "a Windows host's address space")
class ExhaustedHost(HostTestCase):
    def exhaust(self, remotes):
        """One run of the bare host. A 32-bit host reserves its whole address space itself; a
        64-bit one has too much of it, so its process is bounded from outside first: the limit
        is what it uses once loaded, plus 200 MB."""
        host = os.path.join(os.path.dirname(self.host.tunerctl), "test-host.exe")
        command = self.host.wine + [host, "exhaust", remotes]
        if self.host.width == 32:
            return subprocess.run(command, capture_output=True, text=True, timeout=120,
                                  env=self.host.env, cwd=self.capture)
        process = subprocess.Popen(command + ["wait"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True, env=self.host.env,
                                   cwd=self.capture)
        try:
            self.assertEqual(process.stdout.readline(), "ready\n")
            with open("/proc/%d/status" % process.pid) as status:
                vm_kb = int(next(l for l in status if l.startswith("VmSize:")).split()[1])
            limit = (vm_kb << 10) + (200 << 20)
            resource.prlimit(process.pid, resource.RLIMIT_AS, (limit, limit))
            out, err = process.communicate("go\n", timeout=120)
        finally:
            if process.poll() is None:
                process.kill()
                process.communicate()
        return subprocess.CompletedProcess(command, process.returncode, "ready\n" + out, err)

    def test_load_in_an_exhausted_host_never_ends_it(self):
        commands = "".join("Key%d 16 a 20 df 01 02\n" % i for i in range(30000))
        names = ["r30000.txt", "big.rem", "Tuner1.txt", "x.remotes"]
        for name in names:
            with open(os.path.join(self.capture, name), "w") as remotes:
                remotes.write("TV 38000 500\n" + commands + "\n")
        outcomes = []
        for run in range(20):
            name = names[run % len(names)]
            result = self.exhaust(self.host.remotes_path(name))
            outcomes.append((name, result.returncode, result.stdout.splitlines()[-1:]))
        self.assertEqual({(o[1], tuple(o[2])) for o in outcomes},
                         {(0, ("LoadRemotes: null, quit request: yes",))}, outcomes)


if __name__ == "__main__":
    unittest.main()
