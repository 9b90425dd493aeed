"""tunerd against careless and hostile clients: nobody keeps a blaster, nothing is pressed for a
client that has gone, and no user or address locks the others out."""

import os
import pwd
import resource
import signal
import socket
import subprocess
import sys
import threading
import time
import unittest

import harness
from tunerd_harness import IRSEND, KEY_MS, TunerdCase

HOLD_PRESSES = 10
MAX_PRESSES = 10


@unittest.skipIf(harness.WINDOWS, "tunerd is a Linux service")
@unittest.skipUnless(IRSEND, "irsend (Debian's lirc package; scripts/bootstrap installs it)")
class HostileClients(TunerdCase):
    def living(self, *options):
        sim, port = self.attach_blaster(*options)
        self.write_config("Living.=%s&2,423.\n" % port)
        return sim

    def in_background(self, target, *args):
        thread = threading.Thread(target=target, args=args)
        thread.start()
        self.addCleanup(thread.join, 120)
        return thread

    def test_a_client_streaming_keys_keeps_nobody_waiting_long(self):
        sim = self.living()
        self.start()
        done = threading.Event()

        def stream():
            with socket.socket(socket.AF_UNIX) as client:
                client.connect(self.socket_path)
                for _ in range(60):
                    if done.is_set():
                        return
                    self.request(b"SEND_ONCE Living. KEY_1", connection=client)
                    time.sleep(0.1)

        streamer = self.in_background(stream)
        self.wait_for(lambda: len(self.keys(sim)) >= HOLD_PRESSES + 2, "the stream's keys")
        before = len(self.keys(sim))
        self.irsend("SEND_ONCE", "Living.", "KEY_9")
        done.set()
        streamer.join()
        sent = self.key_numbers(sim)
        # The key in flight and one more the stream may have started as the waiter came.
        self.assertLessEqual(sent.index(9) - before, 2, sent)

    def test_waiters_take_turns_in_arrival_order_and_a_silent_holder_loses_its_hold(self):
        sim = self.living()
        self.start()
        busy = self.in_background(self.irsend, "-#", "4", "SEND_ONCE", "Living.", "KEY_9")
        self.wait_for(lambda: self.keys(sim), "the first key")
        waiters = []
        for key in (1, 2, 3):
            waiters.append(self.in_background(self.irsend, "SEND_ONCE", "Living.", "KEY_%d" % key))
            time.sleep(0.3)
        for thread in [busy] + waiters:
            thread.join()
        self.assertEqual(self.key_numbers(sim), [9, 9, 9, 9, 1, 2, 3])

        # A channel sent one line per digit stays whole; a holder that then falls silent, still
        # connected, keeps the blaster no longer.
        holder = self.connect()
        channel = self.in_background(
            lambda: [self.request(b"SEND_ONCE Living. KEY_%d" % k, connection=holder)
                     for k in (4, 5, 6)])
        self.wait_for(lambda: len(self.keys(sim)) > 7, "the channel's first key")
        self.irsend("SEND_ONCE", "Living.", "KEY_8")
        channel.join()
        self.assertEqual(self.key_numbers(sim)[7:], [4, 5, 6, 8])

    def test_one_request_presses_ten_keys_at_the_most(self):
        sim = self.living()
        self.start()
        too_many = self.request(b"SEND_ONCE Living. " + b"KEY_1 " * 11,
                                b"SEND_ONCE Living. KEY_1 KEY_2 6", b"TUNE Living. 12345678901")
        for packet in too_many[:2]:
            self.assertEqual(packet[2], b"ERROR")
            self.assertIn(b"one request presses at most 10 keys", packet[5])
        self.assertIn(b"is not a channel (channels are 1 or more, up to 2147483647", too_many[2][5])
        self.assertEqual(self.keys(sim), [])

    def test_nothing_is_pressed_for_a_client_that_has_gone(self):
        sim = self.living()
        self.start()
        # Gone while it waits its turn.
        busy = self.in_background(self.irsend, "-#", "3", "SEND_ONCE", "Living.", "KEY_9")
        self.wait_for(lambda: self.keys(sim), "the first key")
        quitter = self.connect()
        quitter.sendall(b"SEND_ONCE Living. KEY_7\n")
        quitter.close()
        busy.join()
        # Gone once its first key is out: the request is sent whole, so that the box is never
        # left on a channel of half its digits.
        runner = self.connect()
        runner.sendall(b"SEND_ONCE Living. KEY_1 10\n")
        self.wait_for(lambda: 1 in self.key_numbers(sim), "the runner's first key")
        runner.close()
        # A stream of channels, never read, and a recorder that gives up on its irsend: the
        # recorder that waits is served in time, the one that gave up never.
        flood = self.connect()
        flood.sendall(b"TUNE Living. 88888888\n" * 200)
        self.wait_for(lambda: 8 in self.key_numbers(sim), "the flood's first key")
        impatient = subprocess.Popen(["timeout", "1", IRSEND, "-d", self.socket_path,
                                      "SEND_ONCE", "Living.", "KEY_6"])
        patient = subprocess.run(["timeout", "15", IRSEND, "-d", self.socket_path, "SEND_ONCE",
                                  "Living.", "KEY_5"], capture_output=True, text=True)
        self.assertEqual(patient.returncode, 0, patient.stderr)
        self.assertEqual(impatient.wait(timeout=30), 124)
        flood.close()
        settled = self.settled_keys(sim)
        self.assertNotIn(7, settled)
        self.assertNotIn(6, settled)
        self.assertEqual(settled.count(1), 10)
        # The quitter left the queue as it hung up, not when its turn came.
        self.assertIn("hung up before its turn: nothing was sent", self.log())
        # Of the 200 channels, those begun before the hang-up were sent whole, the rest never.
        self.assertEqual(settled.count(8) % 8, 0, settled)
        self.assertLessEqual(settled.count(8), 2 * 8)

    def settled_keys(self, sim):
        """The keys once no more have come for two keys' time."""
        settled = None
        while settled != self.key_numbers(sim):
            settled = self.key_numbers(sim)
            time.sleep(3 * KEY_MS / 1000)
        return settled

    def test_careless_clients_are_closed_and_never_block_others(self):
        sim = self.living()
        self.start()
        silent = self.connect()
        trickler = self.connect()
        stop = threading.Event()

        def trickle():
            while not stop.wait(5):
                try:
                    trickler.send(b"S")
                except OSError:
                    return

        self.in_background(trickle)
        self.addCleanup(stop.set)
        reader_less = self.connect()

        def never_read():
            try:
                reader_less.sendall(b"VERSION\n" * 50000)
            except OSError:
                pass

        started = time.monotonic()
        self.in_background(never_read)
        self.wait_for(lambda: "its reply was not taken within 5 s" in self.log(),
                      "the client that never reads closed", timeout=60)
        self.irsend("SEND_ONCE", "Living.", "KEY_3")
        self.assertEqual(self.read_all(silent, timeout=120), b"")
        self.assertEqual(self.read_all(trickler, timeout=120), b"")
        # Closed for want of a whole request, however many bytes came.
        self.assertGreaterEqual(time.monotonic() - started, 55)
        self.assertEqual(self.log().count("no whole request for 60 s"), 2)
        self.assertEqual(self.key_numbers(sim), [3])

    def test_no_user_or_address_takes_every_place(self):
        if os.geteuid() != 0:
            self.skipTest("needs root to make a user of its own")
        sim = self.living()
        name = "tdtest%d" % os.getpid()
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                        name], check=True)
        self.addCleanup(subprocess.run, ["userdel", name])
        stranger = pwd.getpwnam(name)
        tcp = self.free_tcp_port()
        self.start("--listen", "127.0.0.1:%d" % tcp)
        os.chmod(self.work, 0o711)
        os.chmod(self.socket_path, 0o666)
        # Another user fills what it can of the Unix socket with idle connections, and TCP
        # clients fill theirs.
        hold = ("import socket, sys, time\n"
                "held = []\n"
                "for _ in range(64):\n"
                "    c = socket.socket(socket.AF_UNIX); c.connect(sys.argv[1]); held.append(c)\n"
                "print('ready', flush=True); time.sleep(60)\n")
        squatter = subprocess.Popen(["/usr/bin/python3", "-c", hold, self.socket_path],
                                    stdout=subprocess.PIPE, text=True,
                                    preexec_fn=lambda: (os.setgroups([]),
                                                        os.setgid(stranger.pw_gid),
                                                        os.setuid(stranger.pw_uid)))
        self.addCleanup(squatter.kill)
        self.assertEqual(squatter.stdout.readline().strip(), "ready")
        squatter.stdout.close()
        crowd = [self.connect(tcp) for _ in range(64)]
        self.assertEqual(len(crowd), 64)
        self.irsend("SEND_ONCE", "Living.", "KEY_4")
        # One turned away is told why: irsend exits 1 with the sentence (once the crowd's own
        # refusals have given up waiting for their first lines).
        time.sleep(1.5)
        refused = subprocess.run([IRSEND, "-a", "127.0.0.1:%d" % tcp, "SEND_ONCE", "Living.",
                                  "KEY_5"], capture_output=True, text=True, timeout=60)
        self.assertEqual(refused.returncode, 1, refused.stderr)
        self.assertIn("tunerd refused this connection: 16 clients of this address are connected",
                      refused.stdout + refused.stderr)
        self.assertEqual(self.key_numbers(sim), [4])
        log = self.log()
        self.assertIn("refused local client uid %d pid %d: 16 clients of this user are connected"
                      % (stranger.pw_uid, squatter.pid), log)
        # About a hundred refusals, logged at a bounded rate.
        self.assertLessEqual(log.count("refused "), 12)

    def test_a_web_page_cannot_press_keys(self):
        sim = self.living()
        tcp = self.free_tcp_port()
        self.start("--listen", "127.0.0.1:%d" % tcp)
        body = b"SEND_ONCE Living. KEY_7\n"
        page = self.connect(tcp)
        page.sendall(b"POST / HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Type: text/plain\r\n"
                     b"Content-Length: %d\r\n\r\n%s" % (tcp, len(body), body))
        answer = self.read_all(page)
        self.assertIn(b'unknown command "POST"', answer)
        self.assertEqual(answer.count(b"BEGIN"), 1)
        time.sleep(1.5)
        self.assertEqual(self.keys(sim), [])

    def test_sigterm_ends_it_within_two_seconds_whatever_its_clients_do(self):
        sim = self.living()
        daemon = self.start()
        flood = self.connect()
        self.in_background(lambda: self.request_quietly(flood, b"VERSION\n" * 50000))
        self.in_background(lambda: self.irsend("-#", "10", "SEND_ONCE", "Living.", "KEY_9",
                                               expect=None))
        self.wait_for(lambda: self.keys(sim), "the first key")
        waiter = self.connect()
        waiter.sendall(b"SEND_ONCE Living. KEY_1\n")
        self.connect()
        time.sleep(0.5)
        asked = time.monotonic()
        daemon.send_signal(signal.SIGTERM)
        self.assertEqual(daemon.wait(timeout=30), 0)
        self.assertLess(time.monotonic() - asked, 4)
        self.assertFalse(os.path.exists(self.socket_path))
        self.assertNotIn(1, self.key_numbers(sim))

    def request_quietly(self, client, data):
        try:
            client.sendall(data)
        except OSError:
            pass

    def test_sighup_is_logged_and_harmless(self):
        sim = self.living()
        daemon = self.start()
        daemon.send_signal(signal.SIGHUP)
        self.wait_for(lambda: "SIGHUP" in self.log(), "the SIGHUP line")
        self.assertIsNone(daemon.poll())
        self.irsend("SEND_ONCE", "Living.", "KEY_2")
        self.assertEqual(self.key_numbers(sim), [2])

    def test_tunerctl_gets_the_port_beside_steady_tunerd_traffic(self):
        sim = self.living()
        self.start()
        done = threading.Event()

        def steady():
            while not done.is_set():
                self.irsend("SEND_ONCE", "Living.", "KEY_1")
                time.sleep(0.5)

        traffic = self.in_background(steady)
        self.wait_for(lambda: self.keys(sim), "tunerd's first key")
        self.tunerctl("tune", "--tuner", "Living.", "42")
        done.set()
        traffic.join()
        sent = self.key_numbers(sim)
        start = sent.index(10)
        self.assertEqual(sent[start:start + 3], [10, 4, 2])

    def test_an_accept_without_descriptors_does_not_spin(self):
        sim = self.living()
        limit = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (16, 16))
        log = open(os.path.join(self.work, "tunerd.log"), "w")
        self.addCleanup(log.close)
        daemon = subprocess.Popen([os.path.join(harness.BUILD_DIR, "tunerd"), "--socket",
                                   self.socket_path], stderr=log, preexec_fn=limit)
        self.addCleanup(self.stop, daemon)
        # Its own threads are all running once it says it serves; the socket comes before them.
        self.wait_for(lambda: "serving" in self.log(), "the serving line")
        # A connection that ends while descriptors are left: UndefinedBehaviorSanitizer, which
        # needs a pipe to check an object it has not seen, then knows a thread's end.
        threads = lambda: len(os.listdir("/proc/%d/task" % daemon.pid))
        alone = threads()
        self.assertEqual(self.request(b"VERSION")[0][2], b"SUCCESS")
        self.wait_for(lambda: threads() == alone, "the connection's thread to end")
        crowd = [self.connect() for _ in range(24)]
        def cpu():
            with open("/proc/%d/stat" % daemon.pid) as stat:
                return sum(int(f) for f in stat.read().rsplit(")", 1)[1].split()[11:13])

        before = cpu()
        time.sleep(3)
        # Clock ticks (100 a second): a spinning loop takes about 300.
        self.assertLess(cpu() - before, 100)
        for client in crowd:
            client.close()
        time.sleep(2)
        done = self.irsend("SEND_ONCE", "Living.", "KEY_2", expect=None)
        self.assertEqual(done.returncode, 0, self.log())
        self.assertEqual(self.key_numbers(sim), [2])
        self.assertIn("cannot accept clients", self.log())

    def test_two_started_at_once_leave_one_serving(self):
        for _ in range(5):
            path = os.path.join(self.work, "race")
            tunerd = os.path.join(harness.BUILD_DIR, "tunerd")
            both = [subprocess.Popen([tunerd, "--socket", path], stderr=subprocess.DEVNULL)
                    for _ in range(2)]
            self.wait_for(lambda: any(d.poll() is not None for d in both), "one of them to end")
            self.wait_for(lambda: os.path.exists(path), "the socket")
            ended = [d for d in both if d.poll() is not None]
            serving = [d for d in both if d.poll() is None]
            self.assertEqual(len(serving), 1)
            self.assertEqual(ended[0].returncode, 1)
            with socket.socket(socket.AF_UNIX) as client:
                client.connect(path)
                client.sendall(b"VERSION\n")
                self.assertIn(b"SUCCESS", client.recv(200))
            serving[0].send_signal(signal.SIGTERM)
            self.assertEqual(serving[0].wait(timeout=30), 0)


    def test_load_with_a_hostile_client_of_each_kind(self):
        one, port_one = self.attach_blaster()
        two, port_two = self.attach_blaster(number=6)
        self.write_config("A.=%s&2,423.\nB.=%s&2,423.\n" % (port_one, port_two))
        tcp = self.free_tcp_port()
        self.start("--listen", "127.0.0.1:%d" % tcp)
        done = threading.Event()
        self.addCleanup(done.set)

        def streamer():
            with socket.socket(socket.AF_UNIX) as client:
                client.connect(self.socket_path)
                while not done.is_set():
                    self.request(b"SEND_ONCE A. KEY_255", connection=client)

        def quitters():
            while not done.wait(1):
                with socket.socket(socket.AF_UNIX) as client:
                    client.connect(self.socket_path)
                    client.sendall(b"SEND_ONCE A. KEY_254\nSEND_ONCE B. KEY_254\n")

        def web_pages():
            while not done.wait(1):
                with socket.create_connection(("127.0.0.1", tcp)) as page:
                    page.sendall(b"POST / HTTP/1.1\r\nHost: x\r\n\r\nSEND_ONCE B. KEY_253\n")
                    self.read_all(page)

        self.in_background(streamer)
        self.in_background(quitters)
        self.in_background(web_pages)
        flood = self.connect()
        flood.sendall(b"TUNE B. 88888888\n" * 100)
        # Idle connections: more than TCP takes, and some of the recorders' own user (another
        # user's are the test above's).
        idle = [self.connect(tcp) for _ in range(20)] + [self.connect() for _ in range(6)]
        self.assertEqual(len(idle), 26)
        waits = {}

        def recorder(index, remote):
            waits[index] = []
            for request in range(4):
                asked = time.monotonic()
                self.irsend("SEND_ONCE", remote, "KEY_%d" % (10 * index + request + 1))
                waits[index].append(time.monotonic() - asked)

        recorders = [self.in_background(recorder, i, "AB"[i % 2] + ".") for i in range(4)]
        for thread in recorders:
            thread.join()
        done.set()
        flood.close()
        print("\nlongest wait of a recorder's request: %.1f s" % max(max(w) for w in waits.values()),
              file=sys.stderr)
        for index in range(4):
            sim = (one, two)[index % 2]
            own = [10 * index + r + 1 for r in range(4)]
            self.assertEqual([k for k in self.key_numbers(sim) if k in own], own)
            self.assertLess(max(waits[index]), 20, waits)
        time.sleep(2 * KEY_MS / 1000)
        for sim in (one, two):
            self.assertNotIn(254, self.key_numbers(sim))
            self.assertNotIn(253, self.key_numbers(sim))


if __name__ == "__main__":
    unittest.main()
