"""tunerd's HTTP API end to end: its clients as a page, curl, a careless or hostile client would
be, blaster-sim on pseudo-terminals as the blasters."""

import http.client
import json
import os
import socket
import threading
import time
import unittest

import harness
from tunerd_harness import IRSEND, TunerdCase


JSON = {"Content-Type": "application/json"}


class WebCase(TunerdCase):
    def start_web(self, config, *options):
        self.write_config(config)
        self.http_port = self.free_tcp_port()
        return self.start("--http", str(self.http_port), *options)

    def call(self, method, path, body=None, headers=None, raw=None):
        """One request on a connection of its own: (status, the JSON answer, the headers)."""
        client = http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=60)
        self.addCleanup(client.close)
        sent = {"Content-Type": "application/json"} if body is not None else {}
        sent.update(headers or {})
        data = raw if raw is not None else (json.dumps(body) if body is not None else None)
        client.request(method, path, body=data, headers=sent)
        answer = client.getresponse()
        text = answer.read()
        kind = answer.getheader("Content-Type", "")
        return answer.status, json.loads(text) if "json" in kind else text, answer

    def watch(self, path):
        """The search's state, as its page asks for it: and it goes on."""
        status, state, _ = self.call("POST", path + "/watch", {})
        self.assertEqual(status, 200, state)
        return state

    def tuners(self):
        status, answer, _ = self.call("GET", "/api/tuners")
        self.assertEqual(status, 200, answer)
        return {t["name"]: t for t in answer["tuners"]}


@unittest.skipIf(harness.WINDOWS, "tunerd is a Linux service")
@unittest.skipUnless(IRSEND, "irsend (Debian's lirc package; scripts/bootstrap installs it)")
class WebApi(WebCase):
    def test_tune_and_keys_press_the_tuners_keys_and_tell_its_last_result(self):
        sim, port = self.attach_blaster()
        with open(os.path.join(self.capture, "buttons.txt"), "w") as buttons:
            buttons.write("Living room.=KEY_ENTER 11\n")
        self.start_web("Living room.=%s&2,423.\nDen.=%s&2,423.\n" % (port, port))
        self.assertIsNone(self.tuners()["Living room."]["last"])
        status, answer, _ = self.call("POST", "/api/tuners/Living%20room./tune", {"channel": "42"})
        self.assertEqual((status, answer["result"]), (200, 0), answer)
        status, answer, _ = self.call("POST", "/api/tuners/living%20ROOM./keys",
                                      {"keys": ["KEY_ENTER", 7, "5"], "count": 2})
        self.assertEqual(status, 200, answer)
        self.assertEqual(self.key_numbers(sim), [10, 4, 2, 11, 11, 7, 7, 5, 5])
        tuner = self.tuners()["Living room."]
        self.assertEqual((tuner["port"], tuner["ueitype"], tuner["ueicode"]), (port, 2, 423))
        self.assertIn({"name": "KEY_ENTER", "key": 11}, tuner["buttons"])
        self.assertEqual(tuner["last"]["result"], 0)
        self.assertEqual(tuner["last"]["message"], answer["message"])
        # An irsend's result is the tuner's last result too; a mistake in a request is its
        # client's to know, and leaves the last real result standing.
        self.irsend("SEND_ONCE", "Den.", "KEY_3")
        self.irsend("SEND_ONCE", "Den.", "KEY_OK", expect=1)
        status, _, _ = self.call("POST", "/api/tuners/Den./tune", {"channel": "4x"})
        self.assertEqual(status, 400)
        self.assertIn("key 3", self.tuners()["Den."]["last"]["message"])
        status, checked, _ = self.call("GET", "/api/check")
        self.assertEqual((status, checked["usable"]), (200, True), checked)
        self.assertIn('line 1: buttons of "Living room." KEY_ENTER 11: ok', checked["lines"])
        status, page, headers = self.call("GET", "/")
        self.assertEqual(status, 200)
        self.assertIn(b"Channel", page)
        self.assertIn("frame-ancestors 'none'", headers.getheader("Content-Security-Policy"))

    def test_wrong_requests_and_foreign_pages_send_nothing(self):
        sim, port = self.attach_blaster()
        dead, dead_port = self.attach_blaster("--no-ack")
        self.start_web("Living.=%s&2,423.\nDead.=%s&2,423.\n" % (port, dead_port),
                       "--http-name", "recorder.lan")
        tune = "/api/tuners/Living./tune"
        refused = [
            (404, "POST", "/api/tuners/Nobody./tune", {"channel": "4"}, None, None,
             'tuner name "Nobody."'),
            (400, "POST", tune, {"channel": "4x"}, None, None, "is not a channel"),
            (400, "POST", tune, {"channel": ["4"]}, None, None, '"channel" must be'),
            (400, "POST", tune, None, JSON, b"{not json", "not a JSON object"),
            (400, "POST", "/api/tuners/Living./keys", {"keys": ["KEY_OK"]}, None, None,
             'unknown button "KEY_OK"'),
            (400, "POST", "/api/tuners/Living./keys", {"keys": [1] * 11}, None, None,
             "1 to 10 buttons"),
            (400, "POST", "/api/tuners/Living./keys", {"keys": [1], "count": 11}, None, None,
             '"count" must be'),
            (403, "POST", tune, {"channel": "4"}, {"Origin": "http://evil.example"}, None,
             "another site's page"),
            (403, "POST", tune, {"channel": "4"}, {"Sec-Fetch-Site": "cross-site"}, None,
             "another site's page"),
            (403, "POST", tune, None, {"Content-Type": "text/plain"}, b'{"channel": "4"}',
             "application/json"),
            (403, "POST", tune, {"channel": "4"}, {"Host": "rebound.example:%d" % self.http_port},
             None, 'the name "rebound.example'),
            (403, "GET", "/api/tuners", None, {"Host": "rebound.example"}, None, "--http-name"),
            (413, "POST", tune, None, JSON, b'{"channel": "' + b"4" * 20000 + b'"}', "16384"),
            (404, "GET", "/api/nothing", None, None, None, "no such resource"),
        ]
        for expected, method, path, body, headers, raw, says in refused:
            status, answer, _ = self.call(method, path, body, headers, raw)
            self.assertEqual(status, expected, (path, body, headers, answer))
            self.assertIn(says, answer["message"], (path, body, headers))
        self.assertEqual(self.key_numbers(sim), [])
        # The page's own origin, and a name given with --http-name, are served.
        status, answer, _ = self.call("POST", tune, {"channel": 5},
                                      {"Origin": "http://127.0.0.1:%d" % self.http_port})
        self.assertEqual(status, 200, answer)
        self.assertEqual(self.key_numbers(sim), [10, 10, 5])
        status, answer, _ = self.call("GET", "/api/tuners", headers={"Host": "Recorder.LAN:80"})
        self.assertEqual(status, 200, answer)
        # A blaster that fails: 5xx, with the plug-in's sentence.
        status, answer, _ = self.call("POST", "/api/tuners/Dead./keys", {"keys": ["KEY_1"]})
        self.assertEqual((status, answer["result"]), (502, 11), answer)
        self.assertIn("did not acknowledge key 1", answer["message"])
        self.assertEqual(self.tuners()["Dead."]["last"]["result"], 11)

    def test_a_tune_over_http_and_an_irsend_never_interleave(self):
        sim, port = self.attach_blaster()
        self.start_web("Living.=%s&2,423.\n" % port)
        done = []
        tune = threading.Thread(target=lambda: done.append(
            self.call("POST", "/api/tuners/Living./tune", {"channel": "42"})[0]))
        tune.start()
        self.wait_for(lambda: self.keys(sim), "the tune's first key")
        self.irsend("SEND_ONCE", "Living.", "KEY_1", "KEY_2", "KEY_3")
        tune.join()
        self.assertEqual(done, [200])
        self.assertEqual(self.key_numbers(sim), [10, 4, 2, 1, 2, 3])

    def test_slow_idle_and_broken_clients_leave_others_served(self):
        sim, port = self.attach_blaster()
        self.start_web("Living.=%s&2,423.\n" % port)
        # Another address's 16 idle connections, then 40 of this one: all of the room is taken.
        idle = []
        for _ in range(16):
            other = socket.socket()
            other.bind(("127.0.0.2", 0))
            other.connect(("127.0.0.1", self.http_port))
            idle.append(other)
        idle += [socket.create_connection(("127.0.0.1", self.http_port)) for _ in range(40)]
        for client in idle:
            self.addCleanup(client.close)
        slow = socket.create_connection(("127.0.0.1", self.http_port))
        self.addCleanup(slow.close)
        slow.sendall(b"POST /api/tuners/Living./tune HTTP/1.1\r\nHost: 127.0.0.1\r\n")
        slow_since = time.monotonic()
        hang_up = socket.create_connection(("127.0.0.1", self.http_port))
        hang_up.sendall(b"POST /api/tuners/Living./tune HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                        b"Content-Type: application/json\r\nContent-Length: 20\r\n\r\n{\"chan")
        hang_up.close()
        garbage = socket.create_connection(("127.0.0.1", self.http_port))
        self.addCleanup(garbage.close)
        garbage.sendall(b"\x00\xff SEND_ONCE Living. KEY_1\r\n\r\n")
        self.assertIn(b" 400 ", self.read_all(garbage))
        status, answer, _ = self.call("POST", "/api/tuners/Living./tune", {"channel": "7"})
        self.assertEqual(status, 200, answer)
        self.irsend("SEND_ONCE", "Living.", "KEY_8")
        self.assertEqual(self.key_numbers(sim), [10, 10, 7, 8])
        # The slow sender is answered 400 and closed once its request has taken 10 s.
        received = b""
        for _ in range(40):
            try:
                slow.sendall(b"X")
                slow.settimeout(1)
                read = slow.recv(4096)
            except socket.timeout:
                continue
            except OSError:
                break
            received += read
            if not read:
                break
        self.assertGreaterEqual(time.monotonic() - slow_since, 10)
        self.assertTrue(received == b"" or received.startswith(b"HTTP/1.1 400 "), received)
        self.assertRegex(self.log(), r"closed, a request not whole within 10 s")
        self.assertEqual(self.key_numbers(sim), [10, 10, 7, 8])


@unittest.skipIf(harness.WINDOWS, "tunerd is a Linux service")
@unittest.skipUnless(IRSEND, "irsend (Debian's lirc package; scripts/bootstrap installs it)")
class WebSearch(WebCase):
    def test_a_search_holds_its_blaster_and_ends_with_the_confirmed_code_set(self):
        sim, port = self.attach_blaster("--box", "2,7")
        self.start_web("Living.=%s&2,423.\n" % port)
        status, search, _ = self.call("POST", "/api/searches",
                                      {"port": port, "ueitype": 2, "from": 3, "key": 1})
        self.assertEqual(status, 201, search)
        path = "/api/searches/%s" % search["id"]
        status, again, _ = self.call("POST", "/api/searches", {"port": port, "ueitype": 2})
        self.assertEqual(status, 409, again)
        self.wait_for(lambda: self.watch(path)["phase"] == "stepping", "stepping")
        # Another client of the blaster is told at once.
        started = time.monotonic()
        done = self.irsend("SEND_ONCE", "Living.", "KEY_1", expect=1)
        self.assertIn("code-set search is running on", done.stdout + done.stderr)
        self.assertLess(time.monotonic() - started, 10)
        self.wait_for(lambda: any(f.kind == "box" for f in sim.frames())
                      and self.watch(path)["code"] >= 7, "the box to react", 60)
        status, state, _ = self.call("POST", path + "/reacted", {})
        self.assertEqual(status, 200, state)
        while state["phase"] != "confirmed":
            self.assertNotEqual(state["phase"], "ended", state)
            if state["phase"] == "asking":
                said = "yes" if state["code"] == 7 else "no"
                state = self.call("POST", "%s/%s" % (path, said), {})[1]
            else:
                time.sleep(0.1)
                state = self.watch(path)
        self.assertEqual(state["line"], "Tuner1.=%s&2,7." % port)
        # The port is free again.
        self.irsend("SEND_ONCE", "Living.", "KEY_1")
        self.assertEqual(self.key_numbers(sim)[-1], 1)

    def test_a_search_nobody_watches_or_that_is_stopped_frees_its_blaster(self):
        sim, port = self.attach_blaster()
        self.start_web("Living.=%s&2,423.\n" % port)
        search = self.call("POST", "/api/searches", {"port": port, "ueitype": 3})[1]
        path = "/api/searches/%s" % search["id"]
        self.wait_for(lambda: self.keys(sim), "the search's first key")
        # Nobody asks: it stops by itself within a few seconds.
        self.wait_for(lambda: self.irsend("SEND_ONCE", "Living.", "KEY_2", expect=None)
                      .returncode == 0, "the search to stop unwatched", 15)
        self.assertIn("the page stopped asking", self.call("GET", path)[1]["message"])
        search = self.call("POST", "/api/searches", {"port": port, "ueitype": 3})[1]
        path = "/api/searches/%s" % search["id"]
        self.wait_for(lambda: self.watch(path)["code"] >= 0, "the second search")
        status, answer, _ = self.call("DELETE", path)
        self.assertEqual(status, 200, answer)
        self.wait_for(lambda: self.call("GET", path)[1]["phase"] == "ended", "the stop", 5)
        self.irsend("SEND_ONCE", "Living.", "KEY_3")
        self.assertEqual(self.key_numbers(sim)[-1], 3)
        self.assertEqual(self.call("POST", path + "/reacted", {})[0], 409)

    def at_the_question(self, sim, port):
        """A search of the box's code set that has asked its first question: its path."""
        search = self.call("POST", "/api/searches", {"port": port, "ueitype": 2, "from": 5})[1]
        path = "/api/searches/%s" % search["id"]
        self.wait_for(lambda: any(f.kind == "box" for f in sim.frames())
                      and self.watch(path)["phase"] == "stepping", "the box to react", 60)
        self.assertEqual(self.call("POST", path + "/reacted", {})[0], 200)
        self.wait_for(lambda: self.watch(path)["phase"] == "asking", "the question")
        return path

    def test_a_search_at_its_question_sends_nothing_more_once_stopped_or_unwatched(self):
        sim, port = self.attach_blaster("--box", "2,7")
        self.start_web("Living.=%s&2,423.\n" % port)
        for stop in ("DELETE", "unwatched"):
            path = self.at_the_question(sim, port)
            sent = len(self.keys(sim))
            if stop == "DELETE":
                self.assertEqual(self.call("DELETE", path)[0], 200)
            else:
                asked = time.monotonic()
            self.wait_for(lambda: self.call("GET", path)[1]["phase"] == "ended", stop, 15)
            if stop == "unwatched":
                self.assertGreaterEqual(time.monotonic() - asked, 4)
            time.sleep(1.5)
            self.assertEqual(len(self.keys(sim)), sent, stop)
        self.assertIn("the page stopped asking", self.call("GET", path)[1]["message"])

    def test_a_question_unanswered_for_a_minute_ends_the_search(self):
        sim, port = self.attach_blaster("--box", "2,7")
        self.start_web("Living.=%s&2,423.\n" % port)
        path = self.at_the_question(sim, port)
        asked = time.monotonic()
        sent = len(self.keys(sim))
        while self.watch(path)["phase"] == "asking":
            self.assertLess(time.monotonic() - asked, 75)
            time.sleep(0.5)
        self.assertGreaterEqual(time.monotonic() - asked, 59)
        state = self.watch(path)
        self.assertEqual(state["phase"], "ended")
        self.assertIn("no answer for 60 s", state["message"])
        self.assertEqual(len(self.keys(sim)), sent)
        self.irsend("SEND_ONCE", "Living.", "KEY_3")


if __name__ == "__main__":
    unittest.main()
