"""tunerd under test: started on a socket of the test's own, with the real irsend of Debian's
lirc package and raw sockets as its clients, blaster-sim on pseudo-terminals as its blasters."""

import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

import harness
from harness import HostTestCase

KEY_MS = 100 + 333 + 250
IRSEND = shutil.which("irsend")


@unittest.skipIf(harness.WINDOWS, "tunerd is a Linux service")
@unittest.skipUnless(IRSEND, "irsend (Debian's lirc package; scripts/bootstrap installs it)")
class TunerdCase(HostTestCase):
    def setUp(self):
        super().setUp()
        self.work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.work, True)
        self.socket_path = os.path.join(self.work, "lircd")

    def start(self, *options, expect_socket=True, env=None, wrapper=()):
        """tunerd with the options, its log in the test's folder; wrapper runs it (prlimit,
        setpriv), env replaces its environment."""
        log = open(os.path.join(self.work, "tunerd.log"), "w")
        daemon = subprocess.Popen(list(wrapper) + [os.path.join(harness.BUILD_DIR, "tunerd"),
                                                   "--socket", self.socket_path] + list(options),
                                  stderr=log, env=env)
        self.addCleanup(log.close)
        self.addCleanup(self.stop, daemon)
        deadline = time.monotonic() + 20
        while expect_socket and not os.path.exists(self.socket_path):
            self.assertIsNone(daemon.poll(), self.log())
            self.assertLess(time.monotonic(), deadline)
            time.sleep(0.05)
        return daemon

    def stop(self, daemon):
        if daemon.poll() is None:
            daemon.send_signal(signal.SIGTERM)
            daemon.wait(timeout=30)

    def log(self):
        with open(os.path.join(self.work, "tunerd.log")) as log:
            return log.read()

    def irsend(self, *args, expect=0):
        done = subprocess.run([IRSEND, "-d", self.socket_path] + list(args), capture_output=True,
                              text=True, timeout=120)
        if expect is not None:
            self.assertEqual(done.returncode, expect, (args, done.stdout, done.stderr))
        return done

    def keys(self, sim):
        return [f for f in sim.frames() if f.kind == "packet" and "key" in f.rest]

    def request(self, *lines, connection=None):
        """Raw requests on one connection; the reply packets, as lists of lines."""
        client = connection or socket.socket(socket.AF_UNIX)
        if connection is None:
            client.connect(self.socket_path)
        client.settimeout(60)
        replies = []
        stream = client.makefile("rb")
        for line in lines:
            client.sendall(line + b"\n")
            packet = []
            while not packet or packet[-1] != b"END":
                read = stream.readline()
                if not read:
                    break
                packet.append(read.rstrip(b"\n"))
            replies.append(packet)
        if connection is None:
            client.close()
        return replies

    def key_numbers(self, sim):
        return [int(k.fields["key"]) for k in self.keys(sim)]

    def wait_for(self, condition, what, timeout=30):
        deadline = time.monotonic() + timeout
        while not condition():
            self.assertLess(time.monotonic(), deadline, what)
            time.sleep(0.02)

    def connect(self, tcp_port=None):
        if tcp_port is None:
            client = socket.socket(socket.AF_UNIX)
            client.connect(self.socket_path)
        else:
            client = socket.create_connection(("127.0.0.1", tcp_port))
        self.addCleanup(client.close)
        return client

    def free_tcp_port(self):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            return probe.getsockname()[1]

    def read_all(self, client, timeout=30):
        """Everything the client is sent until tunerd closes the connection."""
        client.settimeout(timeout)
        received = b""
        try:
            while True:
                read = client.recv(4096)
                if not read:
                    return received
                received += read
        except ConnectionResetError:
            return received
