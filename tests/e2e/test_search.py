"""Finding the box's code set: `tunerctl try` and `tunerctl search` against a simulated box,
driven through standard input as a script drives them."""

import fcntl
import os
import re
import subprocess
import time
import unittest

import harness
from harness import HostTestCase
from test_tuning import assert_spaced

KEY_MS = 100 + 333 + 250  # lead pause, packet pause and settle of every key


class CodeSearch(HostTestCase):
    def keys(self, sim):
        return [f for f in sim.frames() if f.kind == "packet" and "key" in f.rest]

    def start_search(self, port, *options):
        command, env = self.host.command("search", port, "--type", "2", "--to", "12", *options)
        return subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, env=env, cwd=self.capture)

    def test_try_sends_one_key_with_the_code_set(self):
        sim, port = self.attach_blaster()
        out = self.tunerctl("try", port, "2,423")
        self.assertIn("key 1 with code set 2,423 acknowledged", out)
        self.assertIn("Tuner1.=%s&2,423." % port, out)
        frames = sim.frames()
        self.assertEqual([f.kind for f in frames], ["lead", "packet", "trailer", "reply"] * 2)
        self.assertEqual(frames[5].bytes, [0xBC, 0xAC, 0x0D, 0x00, 0x06, 0x01, 0x21, 0xA7, 0x01,
                                           0x00, 0x00])
        deaf, deaf_port = self.attach_blaster("--no-ack", number=6)
        result = self.host.run("try", deaf_port, "2,423", "5")
        self.assertEqual(result.returncode, 1)
        self.assertIn("did not acknowledge key 5 with code set 2,423", result.stderr)

    def test_search_finds_the_code_set_the_box_answers_to(self):
        sim, port = self.attach_blaster("--box", "2,7")
        search = self.start_search(port, "--verbose")
        told = False
        asked = []
        for line in search.stdout:
            if line.startswith("sent code set") and not told and any(
                    f.kind == "box" for f in sim.frames()):
                search.stdin.write("\n")
                search.stdin.flush()
                told = True
            question = re.match(r"code set 2,(\d+): did the box react", line)
            if question:
                asked.append(int(question.group(1)))
                search.stdin.write("y\n" if asked[-1] == 7 else "n\n")
                search.stdin.flush()
        out, err = self.finish(search)
        self.assertEqual(search.returncode, 0, err)
        self.assertEqual(asked[-1], 7)
        codes = [int(k.fields["ueicode"]) for k in self.keys(sim)]
        stepped = codes[:len(codes) - len(asked)]
        # Every code in order from 0, then the last few again, up to the box's.
        self.assertEqual(stepped, list(range(len(stepped))))
        self.assertEqual(codes[len(stepped):], asked)
        self.assertIn(7, stepped[-4:])
        self.assertEqual({k.fields["key"] for k in self.keys(sim)}, {"1"})
        assert_spaced(self, self.keys(sim), KEY_MS)

    def test_a_box_that_answers_only_to_the_last_code_is_found(self):
        sim, port = self.attach_blaster("--box", "2,5")
        command, env = self.host.command("search", port, "--type", "2", "--from", "5", "--to",
                                         "5", "--verbose")
        search = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, text=True, env=env, cwd=self.capture)
        said = []
        for line in search.stdout:
            said.append(line)
            if line.startswith("sent code set 2,5"):
                deadline = time.monotonic() + 10
                while not any(f.kind == "box" for f in sim.frames()):
                    self.assertLess(time.monotonic(), deadline, "the box never reacted")
                    time.sleep(0.05)
                search.stdin.write("\n")
                search.stdin.flush()
            if line.startswith("code set 2,5: did the box react"):
                search.stdin.write("y\n")
                search.stdin.flush()
        out, err = self.finish(search)
        self.assertEqual(search.returncode, 0, err)
        self.assertIn("code set 2,5 confirmed; a tuner.txt line to start from", "".join(said))

    def finish(self, search):
        """Waits for the search to end by itself: its input stays open."""
        search.wait(timeout=120)
        out, err = search.stdout.read(), search.stderr.read()
        for stream in (search.stdin, search.stdout, search.stderr):
            if stream:
                stream.close()
        return out, err

    def assert_stopped_with_resume(self, search, port, why):
        out, err = self.finish(search)
        self.assertEqual(search.returncode, 1, err)
        self.assertIn(why, err)
        last = re.search(r"the last code set sent was 2,(\d+)", err)
        self.assertIsNotNone(last, err)
        self.assertIn("tunerctl search %s --type 2 --from %s --to 12 --key 1" % (port, last.group(1)),
                      err)
        return int(last.group(1))

    def test_q_and_end_of_input_stop_and_free_the_port(self):
        sim, port = self.attach_blaster()
        for stop in ("q\n", None):
            search = self.start_search(port, "--verbose")
            search.stdout.readline()
            if stop:
                search.stdin.write(stop)
                search.stdin.flush()
            else:
                search.stdin.close()
                search.stdin = None
            last = self.assert_stopped_with_resume(search, port, "stopped" if stop else
                                                   "end of input")
            self.assertEqual(int(self.keys(sim)[-1].fields["ueicode"]), last)
            self.assertLess(last, 12)
            self.tunerctl("try", port, "2,%d" % last)
        if not harness.WINDOWS:
            holder = os.open(sim.slave, os.O_RDWR | os.O_NOCTTY)
            fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
            os.close(holder)

    def test_blaster_that_stops_acknowledging_stops_the_search(self):
        sim, port = self.attach_blaster("--stop-after", "3")
        search = self.start_search(port)
        last = self.assert_stopped_with_resume(search, port, "stopped acknowledging keys")
        self.assertEqual(last, 3)
        self.assertEqual([int(k.fields["ueicode"]) for k in self.keys(sim)], [0, 1, 2, 3])


if __name__ == "__main__":
    unittest.main()
