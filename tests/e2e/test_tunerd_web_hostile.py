"""tunerd's web face against hostile and careless clients on raw sockets and curl: requests hidden
in refused ones, memory and threads an attacker could use up, clients that give up or send
slowly, names no tuner has, devices that are another program's, the token, IPv6 and the
routes its description promises."""

import json
import os
import pwd
import shutil
import socket
import subprocess
import termios
import threading
import time
import unittest

import harness
from test_tunerd_web import JSON, WebCase
from tunerd_harness import IRSEND, KEY_MS


def framed(method, path, host, headers=b"", body=b""):
    return (b"%s %s HTTP/1.1\r\nHost: %s\r\n%sContent-Length: %d\r\n\r\n%s"
            % (method, path, host, headers, len(body), body))


@unittest.skipIf(harness.WINDOWS, "tunerd is a Linux service")
@unittest.skipUnless(IRSEND, "irsend (Debian's lirc package; scripts/bootstrap installs it)")
class HostileWeb(WebCase):
    def raw(self, data, source=None, timeout=20):
        """Everything tunerd answers to data, until it closes the connection."""
        client = socket.socket()
        self.addCleanup(client.close)
        if source:
            client.bind((source, 0))
        client.connect(("127.0.0.1", self.http_port))
        client.sendall(data)
        return self.read_all(client, timeout)

    def living(self, *options):
        sim, port = self.attach_blaster()
        self.start_web("Living.=%s&2,423.\n" % port, *options)
        return sim, port

    def test_nothing_after_a_refused_or_unframed_request_is_read_as_a_request(self):
        sim, _ = self.living()
        host = b"127.0.0.1:%d" % self.http_port
        hidden = framed(b"POST", b"/api/tuners/Living./keys", host,
                        b"Content-Type: application/json\r\n", b'{"keys": ["KEY_9", "KEY_8"]}')
        tune = b"POST /api/tuners/Living./tune HTTP/1.1\r\n"
        cases = [
            # Refused on its head: its body is never read, and the connection ends.
            (403, framed(b"POST", b"/api/tuners/Living./tune", host,
                         b"Origin: http://evil.example\r\nContent-Type: text/plain\r\n", hidden)),
            (403, framed(b"POST", b"/api/tuners/Living./tune", b"rebound.example",
                         b"Content-Type: application/json\r\n", hidden)),
            (403, framed(b"GET", b"/api/tuners", b"%6cocalhost", b"", hidden)),
            (413, tune + b"Host: " + host + b"\r\nContent-Type: application/json\r\n"
                  b"Content-Length: 20000\r\n\r\n" + hidden),
            # Framed in two ways, or in no way tunerd takes.
            (400, tune + b"Host: " + host + b"\r\nContent-Type: application/json\r\n"
                  b"Content-Length: 0\r\nContent-Length: %d\r\n\r\n" % len(hidden) + hidden),
            (400, tune + b"Host: " + host + b"\r\nContent-Type: application/json\r\n"
                  b"Transfer-Encoding: identity, chunked\r\n\r\n" + hidden),
            (400, tune + b"Host: " + host + b"\r\nContent-Type: application/json\r\n"
                  b"Transfer-Encoding: chunked\r\n\r\nzz\r\n" + hidden),
            (400, tune + b"Host: " + host + b"\r\nContent-Type: application/json\r\n"
                  b" folded: on\r\nContent-Length: %d\r\n\r\n" % len(hidden) + hidden),
            # A body on a request that takes none is read, and dropped with it.
            (200, framed(b"GET", b"/api/tuners", host, b"Connection: close\r\n", hidden)),
        ]
        for expected, request in cases:
            answer = self.raw(request)
            self.assertEqual(answer.count(b"HTTP/1.1 "), 1, (request[:120], answer[:300]))
            self.assertTrue(answer.startswith(b"HTTP/1.1 %d " % expected), answer[:300])
        # A chunked body, and two requests sent at once, are served.
        body = b'{"channel": "5"}'
        answer = self.raw(tune + b"Host: " + host + b"\r\nContent-Type: application/json\r\n"
                          b"Transfer-Encoding: chunked\r\n\r\n%x\r\n%s\r\n0\r\n\r\n"
                          % (len(body), body)
                          + framed(b"GET", b"/api/tuners", host, b"Connection: close\r\n"))
        self.assertEqual(answer.count(b"HTTP/1.1 200 "), 2, answer)
        self.assertEqual(self.key_numbers(sim), [10, 10, 5])

    def test_a_range_gets_the_whole_page(self):
        self.living()
        ranges = "bytes=" + ",".join(["0-"] * 2700)
        status, page, answer = self.call("GET", "/", headers={"Range": ranges})
        self.assertEqual(status, 200)
        self.assertNotIn("multipart", answer.getheader("Content-Type"))
        status, whole, _ = self.call("GET", "/")
        self.assertEqual(page, whole)
        self.assertEqual(self.call("GET", "/", headers={"Range": "bytes=0-9"})[1], whole)

    def memory(self, daemon):
        with open("/proc/%d/status" % daemon.pid) as status:
            line = next(l for l in status if l.startswith("VmRSS:"))
        return int(line.split()[1]) * 1024

    def test_port_names_never_pile_up(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        self.http_port = self.free_tcp_port()
        # Freed memory goes back at once, so that what stays is what is kept.
        env = dict(os.environ, ASAN_OPTIONS="quarantine_size_mb=0:detect_leaks=0")
        daemon = self.start("--http", str(self.http_port), env=env)
        client = http_client(self.http_port)
        self.addCleanup(client.close)
        grown = []
        for round_ in range(3):
            before = self.memory(daemon)
            for n in range(1000):
                name = "/dev/%d-%d-" % (round_, n) + "x" * 15000
                client.request("POST", "/api/searches", json.dumps({"port": name, "ueitype": 2}),
                               JSON)
                answer = client.getresponse()
                answer.read()
                self.assertEqual(answer.status, 400)
                client.close()
            grown.append(self.memory(daemon) - before)
        self.assertLess(grown[-1], 4 * 1024 * 1024, grown)
        # One device, however it is named, has one search at a time.
        status, search, _ = self.call("POST", "/api/searches", {"port": port, "ueitype": 2})
        self.assertEqual(status, 201, search)
        other = port.replace("/", "//", 1)
        status, again, _ = self.call("POST", "/api/searches", {"port": other, "ueitype": 2})
        self.assertEqual(status, 409, again)
        self.assertEqual(len(search["id"]), 32)
        self.assertEqual(self.call("DELETE", "/api/searches/" + search["id"])[0], 200)

    def test_no_thread_left_is_a_refusal_not_a_crash(self):
        if os.geteuid() != 0:
            self.skipTest("needs root to run tunerd as a user of its own")
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        os.chmod(sim.slave, 0o666)
        os.chmod(self.work, 0o777)
        self.http_port = self.free_tcp_port()
        # Root has no limit on threads: tunerd runs as a user nobody else is.
        uid = 60000 + os.getpid() % 5000
        daemon = self.start("--http", str(self.http_port),
                            wrapper=["prlimit", "--nproc=20", "setpriv", "--reuid=%d" % uid,
                                     "--regid=%d" % uid, "--clear-groups"])
        # Each client asks at once, as a page does: those without a thread are told why.
        clients = []
        for _ in range(30):
            client = socket.create_connection(("127.0.0.1", self.http_port))
            self.addCleanup(client.close)
            client.sendall(b"GET /api/tuners HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
            clients.append(client)
        answers = [self.answer_of(client) for client in clients]
        refused = [a for a in answers if a.startswith(b"HTTP/1.1 503 ")]
        self.assertTrue(refused, answers)
        self.assertIn(b"cannot start a thread", refused[0])
        # The rest were served, or closed bare as refusals beyond the few answered at once.
        self.assertTrue(all(a.startswith((b"HTTP/1.1 200 ", b"HTTP/1.1 503 ")) or a == b""
                            for a in answers), answers)
        lirc = self.request(b"VERSION")[0]
        self.assertEqual(lirc[2], b"ERROR", lirc)
        self.assertIn(b"cannot start a thread", lirc[5])
        for client in clients:
            client.close()
        self.wait_for(lambda: self.call_status("GET", "/api/tuners") == 200, "served again", 20)
        self.assertIsNone(daemon.poll())
        self.assertIn("cannot start a thread", self.log())

    def answer_of(self, client):
        try:
            client.settimeout(10)
            return client.recv(4096)
        except OSError:
            return b""

    def call_status(self, method, path):
        try:
            return self.call(method, path)[0]
        except OSError:
            return 0

    def test_a_client_that_gives_up_mid_channel_leaves_it_whole(self):
        sim, _ = self.living()
        url = "http://127.0.0.1:%d/api/tuners/Living./tune" % self.http_port
        gave_up = subprocess.run(["curl", "-s", "-m", "1", "-H", "Content-Type: application/json",
                                  "-d", '{"channel": "42"}', url], capture_output=True)
        self.assertEqual(gave_up.returncode, 28)
        self.wait_for(lambda: len(self.keys(sim)) >= 3, "the whole channel", 10)
        time.sleep(2 * KEY_MS / 1000)
        self.assertEqual(self.key_numbers(sim), [10, 4, 2])
        # A client that does not wait is answered once its request is queued.
        asked = time.monotonic()
        status, answer, _ = self.call("POST", "/api/tuners/Living./tune",
                                      {"channel": "7", "wait": False})
        self.assertEqual(status, 202, answer)
        self.assertLess(len(self.keys(sim)), 6)
        self.wait_for(lambda: len(self.keys(sim)) == 6, "the queued channel", 10)
        self.wait_for(lambda: "channel 7" in (self.tuners()["Living."]["last"] or {})
                      .get("message", ""), "its outcome as the last result")
        self.assertLess(time.monotonic() - asked, 30)
        self.assertEqual(self.call("POST", "/api/tuners/Living./tune",
                                   {"channel": "7", "wait": 0})[0], 400)

    def test_a_client_that_hangs_up_before_its_turn_has_nothing_pressed(self):
        sim, port = self.attach_blaster()
        tcp = self.free_tcp_port()
        self.start_web("Living.=%s&2,423.\n" % port, "--listen", str(tcp))
        busy = threading.Thread(target=self.irsend, args=("-#", "3", "SEND_ONCE", "Living.",
                                                          "KEY_9"))
        busy.start()
        self.wait_for(lambda: self.keys(sim), "the first key")
        # Each sends its request and closes: TCP tells tunerd with a FIN alone.
        web = socket.create_connection(("127.0.0.1", self.http_port))
        web.sendall(framed(b"POST", b"/api/tuners/Living./tune", b"127.0.0.1",
                           b"Content-Type: application/json\r\n", b'{"channel": "7"}'))
        lirc = socket.create_connection(("127.0.0.1", tcp))
        lirc.sendall(b"SEND_ONCE Living. KEY_6\n")
        web.close()
        lirc.close()
        busy.join()
        time.sleep(3 * KEY_MS / 1000)
        self.assertEqual(self.key_numbers(sim), [9, 9, 9])

    def test_slow_senders_make_room_for_a_newcomer(self):
        sim, _ = self.living()
        slow = []
        for source in ["127.0.0.2"] * 16 + ["127.0.0.3"] * 16:
            client = socket.socket()
            self.addCleanup(client.close)
            client.bind((source, 0))
            client.connect(("127.0.0.1", self.http_port))
            slow.append(client)
        done = threading.Event()
        self.addCleanup(done.set)

        def drip():
            while not done.wait(1):
                for client in slow:
                    try:
                        client.send(b"G")
                    except OSError:
                        pass

        threading.Thread(target=drip, daemon=True).start()
        time.sleep(2)
        served = [self.call_status("GET", "/api/tuners") for _ in range(10)]
        self.assertEqual(served, [200] * 10)

    def test_a_name_with_a_slash_works_and_a_nul_never_does(self):
        sim, port = self.attach_blaster()
        self.start_web("Living/Den.=%s&2,423.\nLiving.=%s&2,423.\n" % (port, port))
        status, answer, _ = self.call("POST", "/api/tuners/Living%2FDen./tune", {"channel": "3"})
        self.assertEqual(status, 200, answer)
        status, tuner, _ = self.call("GET", "/api/tuners/living%2fden.")
        self.assertEqual((status, tuner["name"]), (200, "Living/Den."), tuner)
        self.assertIn("channel 3", tuner["last"]["message"])
        for path, body in [("/api/tuners/Living.%00whatever/keys", {"keys": ["KEY_1"]}),
                           ("/api/tuners/Living.%zz/keys", {"keys": ["KEY_1"]}),
                           ("/api/tuners/Living./keys", {"keys": ["KEY_1\u0000"]}),
                           ("/api/tuners/Living./tune", {"channel": "1\u0000"}),
                           ("/api/searches", {"port": port + "\u0000x", "ueitype": 2}),
                           ("/api/find", {"ports": [port + "\u0000"]})]:
            status, answer, _ = self.call("POST", path, body)
            self.assertEqual(status, 400, (path, answer))
        self.assertEqual(self.key_numbers(sim), [10, 10, 3])

    def test_find_and_search_leave_other_programs_ports_as_they_were(self):
        self.living()
        # A device of another program's: a terminal at 115200, raw, that the program holds.
        held_master, held = os.openpty()
        self.addCleanup(os.close, held_master)
        self.addCleanup(os.close, held)
        settings = termios.tcgetattr(held)
        settings[4] = settings[5] = termios.B115200
        settings[3] &= ~(termios.ICANON | termios.ECHO)
        termios.tcsetattr(held, termios.TCSANOW, settings)
        # And one whose terminal another program has open.
        used_master, used = os.openpty()
        self.addCleanup(os.close, used_master)
        names = [os.ttyname(held)[len("/dev/"):], os.ttyname(used)[len("/dev/"):]]
        user = subprocess.Popen(["sleep", "60"], pass_fds=[used])
        self.addCleanup(user.kill)
        os.close(used)
        status, found, _ = self.call("POST", "/api/find", {"ports": names})
        self.assertEqual(status, 200, found)
        self.assertIn("%s: no blaster answered" % names[0], "\n".join(found["lines"]))
        self.assertIn("%s: another program has it open: not probed" % names[1], found["lines"])
        self.assertEqual(termios.tcgetattr(held)[4:6], [termios.B115200] * 2)
        os.set_blocking(used_master, False)
        with self.assertRaises(BlockingIOError):
            os.read(used_master, 64)
        status, refused, _ = self.call("POST", "/api/searches", {"port": names[1], "ueitype": 2})
        self.assertEqual(status, 409, refused)
        status, search, _ = self.call("POST", "/api/searches", {"port": names[0], "ueitype": 2})
        self.assertEqual(status, 201, search)
        path = "/api/searches/" + search["id"]
        self.wait_for(lambda: self.watch(path)["phase"] == "ended", "the search to end", 30)
        state = self.watch(path)
        self.assertIn("no blaster answered", state["message"])
        self.assertEqual(state["code"], -1)
        self.assertEqual(termios.tcgetattr(held)[4:6], [termios.B115200] * 2)

    def test_the_token_is_asked_of_every_api_request_and_never_logged(self):
        sim, port = self.attach_blaster()
        token_file = os.path.join(self.work, "token")
        with open(token_file, "w") as out:
            out.write("s3cret-Token-42\n")
        self.start_web("Living.=%s&2,423.\n" % port, "--http-token-file", token_file)
        for headers in [{}, {"Authorization": "Bearer wrong"},
                        {"Authorization": "Bearer s3cret-Token-4"},
                        {"Authorization": "Basic s3cret-Token-42"}]:
            status, answer, reply = self.call("POST", "/api/tuners/Living./tune",
                                              {"channel": "4"}, headers)
            self.assertEqual(status, 401, headers)
            self.assertIn("token", answer["message"])
            self.assertEqual(reply.getheader("WWW-Authenticate"), 'Bearer realm="tunerd"')
        self.assertEqual(self.call("GET", "/")[0], 200)
        self.assertEqual(self.call("GET", "/api/tuners")[0], 401)
        status, answer, _ = self.call("POST", "/api/tuners/Living./tune", {"channel": "4"},
                                      {"Authorization": "Bearer s3cret-Token-42"})
        self.assertEqual(status, 200, answer)
        self.assertEqual(self.key_numbers(sim), [10, 10, 4])
        self.assertNotIn("s3cret", self.log())
        # A token file that is none stops tunerd from starting, with why.
        fifo = os.path.join(self.work, "fifo")
        os.mkfifo(fifo)
        for path, says in [(fifo, "is not a plain file"), ("/dev/zero", "is not a plain file"),
                           (os.path.join(self.work, "absent"), "cannot read it")]:
            done = subprocess.run([os.path.join(harness.BUILD_DIR, "tunerd"), "--socket",
                                   os.path.join(self.work, "other"), "--http",
                                   str(self.free_tcp_port()), "--http-token-file", path],
                                  capture_output=True, text=True, timeout=20)
            self.assertEqual(done.returncode, 1, done.stderr)
            self.assertIn(says, done.stderr)

    def test_ipv6_wrong_methods_and_the_routes_the_description_names(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        self.http_port = self.free_tcp_port()
        self.start("--http", "[::]:%d" % self.http_port, "--allow", "127.0.0.0/8,::1")
        six = subprocess.run(["curl", "-sg", "http://[::1]:%d/api/tuners" % self.http_port],
                             capture_output=True, text=True, timeout=20)
        self.assertEqual(json.loads(six.stdout)["tuners"][0]["name"], "Living.")
        self.assertEqual(self.call("GET", "/api/tuners")[0], 200)
        status, described, _ = self.call("GET", "/api/openapi.json")
        self.assertEqual(status, 200)
        concrete = {"{name}": "Living.", "{id}": "0" * 32}
        # Bodies that do something quick: Find only a port that does not exist.
        bodies = {"/api/find": {"ports": ["pts/99999"]}, "/api/tuners/{name}/tune": {"channel": "1"},
                  "/api/tuners/{name}/keys": {"keys": ["KEY_1"]}}
        for template, operations in described["paths"].items():
            path = template
            for name, value in concrete.items():
                path = path.replace(name, value)
            methods = sorted(m.upper() for m in operations if m != "parameters")
            status, answer, reply = self.call("PUT", path, {})
            self.assertEqual(status, 405, (template, answer))
            allowed = sorted(m.strip() for m in reply.getheader("Allow").split(",")
                             if m.strip() != "HEAD")
            self.assertEqual(allowed, methods, template)
            for method in methods:
                body = bodies.get(template, {}) if method in ("POST", "DELETE") else None
                status, answer, _ = self.call(method, path, body)
                self.assertNotEqual(status, 405, (method, template, answer))
                self.assertNotEqual(answer.get("message") if isinstance(answer, dict) else "",
                                    "no such resource", (method, template))
        # And nothing the description does not name.
        self.assertEqual(self.call("GET", "/api/tuners/Living./tune")[0], 405)
        self.assertEqual(self.call("GET", "/api/nothing")[0], 404)


def http_client(port):
    import http.client
    return http.client.HTTPConnection("127.0.0.1", port, timeout=60)


if __name__ == "__main__":
    unittest.main()
