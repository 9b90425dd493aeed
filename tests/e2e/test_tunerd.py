"""tunerd end to end: the real irsend of Debian's lirc package and raw sockets as its clients,
blaster-sim on pseudo-terminals as its blasters."""

import os
import re
import signal
import socket
import subprocess
import threading
import time
import unittest

import harness
from test_tuning import assert_spaced
from tunerd_harness import IRSEND, KEY_MS, TunerdCase


@unittest.skipIf(harness.WINDOWS, "tunerd is a Linux service")
@unittest.skipUnless(IRSEND, "irsend (Debian's lirc package; scripts/bootstrap installs it)")
class Tunerd(TunerdCase):
    def test_irsend_presses_keys_in_order_on_a_port_held_between_requests(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        with open(os.path.join(self.capture, "buttons.txt"), "w") as buttons:
            # Of another case than the tuner file's, as a remote's name may be.
            buttons.write("living.=KEY_ENTER 11 key_exit 12\n")
        self.start()
        self.irsend("SEND_ONCE", "Living.", "KEY_0", "KEY_4", "KEY_2")
        self.irsend("SEND_ONCE", "Living.", "KEY_NUMERIC_7", "9", "KEY_255", "KEY_ENTER")
        self.irsend("-#", "3", "SEND_ONCE", "Living.", "KEY_1")
        keys = self.keys(sim)
        self.assertEqual([int(k.fields["key"]) for k in keys],
                         [10, 4, 2, 7, 9, 255, 11, 1, 1, 1])
        self.assertEqual(keys[1].bytes, [0xBC, 0xAC, 0x0D, 0x00, 0x06, 0x01, 0x21, 0xA7, 0x04,
                                         0x00, 0x00])
        self.assertIn("KEY_EXIT", self.irsend("LIST", "Living.", "").stdout.split())
        assert_spaced(self, keys, KEY_MS)
        # Probed once: the port stayed open between requests that came close together.
        self.assertEqual(len([f for f in sim.frames() if "version-query" in f.rest]), 1)
        self.assertRegex(self.log(), r"SEND_ONCE Living\. KEY_1 3: SUCCESS in \d+ ms")

    def test_help_version_and_usage_errors(self):
        tunerd = os.path.join(harness.BUILD_DIR, "tunerd")
        helped = subprocess.run([tunerd, "--help"], capture_output=True, text=True, timeout=30)
        self.assertEqual(helped.returncode, 0)
        self.assertIn("usage: tunerd", helped.stdout)
        # The manual page's limits are the ones tunerd holds its clients to, word for word.
        limits = re.split(r"\n  (?=\S)", helped.stdout.split("Limits:\n")[1].split("\nExit")[0])
        page = subprocess.run(["groff", "-t", "-man", "-Tutf8", "-rLL=300n", "-rHY=0", "-P", "-cbou",
                               os.path.join(os.path.dirname(__file__), "..", "..", "docs",
                                            "tunerd.8")], capture_output=True, text=True).stdout
        table = " ".join(page.split("\nLIMITS\n")[1].split("\nEXIT STATUS\n")[0].split())
        self.assertGreater(len(limits), 8)
        for row in limits:
            self.assertIn(" ".join(row.split()), table.replace("\u2010", "-"), row)
        version = subprocess.run([tunerd, "--version"], capture_output=True, text=True, timeout=30)
        self.assertRegex(version.stdout, r"^tunerd \d+\.\d+\.\d+\n$")
        for wrong in (["--allow", "10.0.0.0/33"], ["--listen", "host:port"], ["--frob"]):
            refused = subprocess.run([tunerd, "--socket", self.socket_path] + wrong,
                                     capture_output=True, text=True, timeout=30)
            self.assertEqual(refused.returncode, 2, wrong)
            self.assertFalse(os.path.exists(self.socket_path))

    def test_list_version_and_each_error_with_its_sentence(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n# a comment\nBad.=%s\n" % (port, port))
        self.start()
        self.assertEqual(self.irsend("LIST", "", "").stdout.split(), ["Living."])
        self.assertIn("KEY_9", self.irsend("LIST", "Living.", "").stdout.split())
        self.assertEqual(self.request(b"VERSION"), [[b"BEGIN", b"VERSION", b"SUCCESS", b"DATA",
                                                     b"1", b"tunerd 1.0.0", b"END"]])
        errors = [
            (["SEND_ONCE", "Nobody.", "KEY_1"], 'has the tuner name "Nobody."'),
            (["SEND_ONCE", "Bad.", "KEY_1"], 'the line for tuner "Bad." in'),
            (["SEND_ONCE", "Living.", "KEY_OK"], 'unknown button "KEY_OK"'),
            (["-#", "21", "SEND_ONCE", "Living.", "KEY_1"], "repeat count 21 is out of range"),
            (["SEND_START", "Living.", "KEY_1"], "SEND_START is not supported")]
        for args, says in errors:
            done = self.irsend(*args, expect=None)
            self.assertNotEqual(done.returncode, 0, args)
            self.assertIn(says, done.stdout + done.stderr, args)
        self.assertEqual(self.keys(sim), [])
        gone = self.request(b"SEND_ONCE Living.", b"SET_TRANSMITTERS 1", b"FROB x")
        self.assertEqual(gone[0][2:4], [b"ERROR", b"DATA"])
        self.assertIn(b"needs a remote", gone[0][5])
        self.assertIn(b"SET_TRANSMITTERS is not supported", gone[1][5])
        self.assertIn(b'unknown command "FROB"', gone[2][5])

    def test_lircd_habits_and_tune_by_the_tuners_recipe(self):
        one, port_one = self.attach_blaster()
        two, port_two = self.attach_blaster(number=6)
        self.write_config("Living.=%s&2,423.\nA.=%s&2,423.\na.=%s&2,423.\n"
                          % (port_one, port_one, port_two))
        with open(os.path.join(self.capture, "tuning.txt"), "w") as recipes:
            recipes.write("Living.=digits 4 enter 11\n")
        self.start()
        # Names without regard to case, as lircd's; an exact match wins.
        self.irsend("SEND_ONCE", "LIVING.", "key_1")
        self.irsend("SEND_ONCE", "a.", "KEY_2")
        self.irsend("SEND_ONCE", "A.", "KEY_3")
        self.assertEqual(self.key_numbers(one), [1, 3])
        self.assertEqual(self.key_numbers(two), [2])
        # TUNE sends what tunerctl tune sends: the tuner's recipe, or three digits at least.
        self.assertEqual(self.request(b"TUNE living. 42", b"TUNE A. 42"),
                         [[b"BEGIN", b"TUNE living. 42", b"SUCCESS", b"END"],
                          [b"BEGIN", b"TUNE A. 42", b"SUCCESS", b"END"]])
        self.assertEqual(self.key_numbers(one)[2:], [10, 10, 4, 2, 11, 10, 4, 2])
        refused = self.request(b"TUNE Living. 4.1")[0]
        self.assertEqual(refused[2], b"ERROR")
        self.assertIn(b'sub-channel 4.1 was not sent: tuner "Living." has no dot key', refused[5])
        # LIST in lircd's two fields; a line that ends in CR LF echoed as it came; a NUL is no
        # end of a name.
        listed = self.request(b"LIST Living.", b"LIST Living. key_0", b"VERSION\r",
                              b"SEND_ONCE Liv\x00ing. KEY_1")
        self.assertEqual(listed[0][5:7], [b"000000000000000a KEY_0", b"0000000000000001 KEY_1"])
        self.assertEqual(listed[0][-2:], [b"0000000000000000 RECIPE:digits_4_enter_11", b"END"])
        self.assertEqual(listed[1][3:], [b"DATA", b"1", b"000000000000000a KEY_0", b"END"])
        self.assertEqual(listed[2][1:3], [b"VERSION\r", b"SUCCESS"])
        self.assertEqual(listed[3][2:6], [b"ERROR", b"DATA", b"1", b"a request has no NUL bytes"])
        # Nothing a client sends reaches the log unescaped.
        self.request(b"SEND_ONCE \x1b]0;owned\x07\r Living. KEY_1")
        with open(os.path.join(self.work, "tunerd.log"), "rb") as log:
            logged = log.read()
        self.assertNotIn(b"\x1b", logged)
        self.assertIn(b'for remote "\\x1b]0;owned\\x07\\x0d"', logged)
        self.assertEqual(len(self.keys(one)), 10)

    def test_two_clients_never_interleave_and_two_blasters_work_side_by_side(self):
        one, port_one = self.attach_blaster()
        two, port_two = self.attach_blaster(number=6)
        self.write_config("A.=%s&2,423.\nB.=%s&2,423.\n" % (port_one, port_two))
        self.start()
        runs = [["SEND_ONCE", "A.", "KEY_4", "KEY_2"], ["SEND_ONCE", "A.", "KEY_2", "KEY_7"],
                ["SEND_ONCE", "B.", "KEY_5", "KEY_5"]]
        started = time.monotonic()
        threads = [threading.Thread(target=self.irsend, args=run) for run in runs]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        elapsed = time.monotonic() - started
        keys = [k.fields["key"] for k in self.keys(one)]
        self.assertIn(keys, [["4", "2", "2", "7"], ["2", "7", "4", "2"]])
        self.assertEqual([k.fields["key"] for k in self.keys(two)], ["5", "5"])
        # B's two keys went while A's four did: one blaster's time, not both added up.
        self.assertLess(elapsed, (6 * KEY_MS + 2 * 200) / 1000 + 2)

    def test_a_blaster_that_goes_away_fails_with_its_cause_and_comes_back(self):
        sim, port = self.attach_blaster("--hang-up-on-key")
        self.write_config("Living.=%s&2,423.\n" % port)
        self.start()
        done = self.irsend("SEND_ONCE", "Living.", "KEY_4", expect=None)
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("did not acknowledge key 4", done.stdout + done.stderr)
        back, back_port = self.attach_blaster(number=6)
        self.write_config("Living.=%s&2,423.\n" % back_port)
        self.irsend("SEND_ONCE", "Living.", "KEY_4")
        self.assertEqual([k.fields["key"] for k in self.keys(back)], ["4"])

    def test_tcp_only_for_the_clients_it_may_serve(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            tcp = probe.getsockname()[1]
        refused = self.start("--listen", "0.0.0.0:%d" % tcp, expect_socket=False)
        self.assertEqual(refused.wait(timeout=30), 2)
        self.start("--listen", "127.0.0.1:%d" % tcp, "--allow", "127.0.0.1/32")
        done = subprocess.run([IRSEND, "-a", "127.0.0.1:%d" % tcp, "SEND_ONCE", "Living.",
                               "KEY_3"], capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        with socket.socket() as stranger:
            stranger.bind(("127.0.0.2", 0))
            stranger.connect(("127.0.0.1", tcp))
            stranger.settimeout(30)
            stranger.sendall(b"SEND_ONCE Living. KEY_9\n")
            try:
                self.assertEqual(stranger.recv(100), b"")
            except ConnectionResetError:
                pass  # closed before it read what was sent
        self.assertEqual([k.fields["key"] for k in self.keys(sim)], ["3"])
        self.assertRegex(self.log(), r"refused 127\.0\.0\.2:\d+: not a client --allow names")

    def test_bad_input_never_hurts_anyone_else(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        daemon = self.start()
        rss = lambda: int(re.search(r"VmRSS:\s+(\d+)", open("/proc/%d/status" % daemon.pid)
                                    .read()).group(1))
        silent = socket.socket(socket.AF_UNIX)
        silent.connect(self.socket_path)
        half = socket.socket(socket.AF_UNIX)
        half.connect(self.socket_path)
        half.sendall(b"SEND_ONCE Living. KEY_")
        half.close()
        self.assertIn(b"ERROR", self.request(b"\x00\xff\x1b[2J binary")[0])
        long = socket.socket(socket.AF_UNIX)
        long.connect(self.socket_path)
        long.sendall(b"SEND_ONCE " + b"x" * 2000)
        long.settimeout(30)
        answer = b""
        while True:
            read = long.recv(4096)
            if not read:
                break
            answer += read
        self.assertIn(b"longer than 1024 bytes: connection closed", answer)
        served = socket.socket(socket.AF_UNIX)
        served.connect(self.socket_path)
        before = rss()
        crowd = []
        for _ in range(200):
            client = socket.socket(socket.AF_UNIX)
            client.connect(self.socket_path)
            crowd.append(client)
        # With the silent client and a crowd connected, a request is still answered at once.
        self.assertEqual(self.request(b"SEND_ONCE Living. KEY_6", connection=served)[0][2],
                         b"SUCCESS")
        served.close()
        for client in crowd:
            client.close()
        silent.close()
        self.assertRegex(self.log(), r"refused local client uid \d+ pid \d+: 16 clients of this "
                                     r"user are connected")
        self.assertEqual([k.fields["key"] for k in self.keys(sim)], ["6"])
        self.assertLess(rss() - before, 16 * 1024)

    def test_sigterm_ends_it_after_the_key_in_progress(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        daemon = self.start()
        client = threading.Thread(target=self.irsend, args=("SEND_ONCE", "Living.", "KEY_1",
                                                            "KEY_2", "KEY_3"), kwargs={
                                                                "expect": None})
        client.start()
        deadline = time.monotonic() + 30
        while not self.keys(sim):
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.02)
        daemon.send_signal(signal.SIGTERM)
        self.assertEqual(daemon.wait(timeout=30), 0)
        client.join()
        self.assertEqual(len(self.keys(sim)), 1)
        self.assertFalse(os.path.exists(self.socket_path))

    def test_tunerctl_at_the_same_moment_waits_its_turn(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        self.start()
        self.irsend("SEND_ONCE", "Living.", "KEY_1")
        # tunerd still holds the port it just used; tunerctl's own wait outlasts that.
        self.tunerctl("tune", "--tuner", "Living.", "42")
        self.assertEqual([k.fields["key"] for k in self.keys(sim)], ["1", "10", "4", "2"])
        self.irsend("SEND_ONCE", "Living.", "KEY_5")
        self.assertEqual(len([f for f in sim.frames() if "version-query" in f.rest]), 3)

    def test_load_of_eight_clients_over_two_blasters(self):
        one, port_one = self.attach_blaster()
        two, port_two = self.attach_blaster(number=6)
        self.write_config("A.=%s&2,423.\nB.=%s&2,423.\n" % (port_one, port_two))
        self.start()
        answers = [[] for _ in range(8)]

        def client(index):
            with socket.socket(socket.AF_UNIX) as connection:
                connection.connect(self.socket_path)
                remote = "A." if index % 2 == 0 else "B."
                for request in range(25):
                    key = 1 + (index * 25 + request) % 255
                    line = ("SEND_ONCE %s KEY_%d" % (remote, key)).encode()
                    answers[index].append((key, self.request(line, connection=connection)[0]))

        threads = [threading.Thread(target=client, args=(i,)) for i in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        for index, answered in enumerate(answers):
            self.assertEqual(len(answered), 25, index)
            self.assertTrue(all(packet[2] == b"SUCCESS" for _, packet in answered), index)
        for sim, clients in ((one, range(0, 8, 2)), (two, range(1, 8, 2))):
            sent = [int(k.fields["key"]) for k in self.keys(sim)]
            self.assertEqual(sorted(sent), sorted(k for i in clients for k, _ in answers[i]))
            # Each connection's keys go in its order.
            for i in clients:
                own = [k for k, _ in answers[i]]
                self.assertEqual([k for k in sent if k in own], own)


if __name__ == "__main__":
    unittest.main()
