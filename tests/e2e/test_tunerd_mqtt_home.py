"""tunerd's MQTT face in a real home: a broker that comes up after the recorder, two recorders on
one broker (each in namespaces of its own, with its own host name and tuner file), a firewall
that drops packets, careless publishers, Home Assistant restarting, TLS, and the password file."""

import json
import os
import re
import signal
import socket
import subprocess
import tempfile
import time
import unittest

import harness
from test_tunerd_mqtt import NODE, STATUS, MqttCase, topic_id
from tunerd_harness import KEY_MS

TUNERD = os.path.join(harness.BUILD_DIR, "tunerd")


class MqttHome(MqttCase):
    def command_topic(self, name, node=NODE):
        return "tunerdll/%s/%s/channel/set" % (node, topic_id(name))

    def flood(self, topic, line, count):
        subprocess.run(["mosquitto_pub"] + self.client_args() + ["-t", topic, "-l"],
                       input=(line + "\n") * count, text=True, check=True, timeout=120)

    def own(self):
        """This recorder's discovery now."""
        return {t: c for t, c in self.discovery().items() if "/tunerdll_%s/" % NODE in t}

    def memory(self, daemon):
        with open("/proc/%d/status" % daemon.pid) as status:
            return int(next(l for l in status if l.startswith("VmRSS:")).split()[1]) * 1024

    def test_a_broker_that_comes_up_after_tunerd_is_joined_as_it_appears(self):
        sim, port = self.attach_blaster()
        self.write_config("Living.=%s&2,423.\n" % port)
        broker_port = self.free_tcp_port()
        self.mqtt = (broker_port, None)
        self.start_bridge()
        time.sleep(4)
        self.irsend("SEND_ONCE", "Living.", "KEY_1")
        self.broker(port=broker_port)
        self.wait_retained(STATUS, lambda s: s == "online", "online once the broker is up", 30)
        self.assertIn("cannot reach the MQTT broker", self.log())
        self.assertIn("connected to the MQTT broker", self.log())
        self.publish(self.command_topic("Living."), "7")
        self.wait_for(lambda: self.key_numbers(sim) == [1, 10, 10, 7], "a channel over MQTT")

    def test_two_recorders_on_one_broker_never_touch_each_other(self):
        if os.geteuid() != 0:
            self.skipTest("needs root for namespaces of its own")
        a_sim, a_port = self.attach_blaster()
        b_sim, b_port = self.attach_blaster(number=6)
        self.broker()
        self.write_config("Tuner1.=%s&2,423.\nTuner2.=%s&2,423.\n" % (a_port, a_port))
        other = os.path.join(self.work, "b-tuner.txt")
        with open(other, "w") as config:
            config.write("Tuner1.=%s&2,423.\n" % b_port)
        self.start_bridge()
        self.wait_retained(STATUS, lambda s: s == "online", "recorder A online")
        # Recorder B: its own host name and its own tuner file where tunerd looks for it.
        script = ('mount --bind "$1" "$2" && hostname recorder-b && exec "$3" --socket "$4" '
                  '--mqtt "$5"')
        b_log = open(os.path.join(self.work, "b.log"), "w")
        self.addCleanup(b_log.close)
        b = subprocess.Popen(["unshare", "-mu", "sh", "-c", script, "sh", other,
                              os.path.join(self.capture, "tuner.txt"), TUNERD,
                              os.path.join(self.work, "b-lircd"), "127.0.0.1:%d" % self.mqtt[0]],
                             stderr=b_log)
        self.addCleanup(lambda: b.poll() is None and (b.kill(), b.wait()))
        b_status = "tunerdll/recorder-b/status"
        self.wait_retained(b_status, lambda s: s == "online", "recorder B online")
        self.wait_for(lambda: len(self.discovery()) == 6, "both recorders' discovery")
        found = self.discovery()
        self.assertEqual(len({c["unique_id"] for c in found.values()}), 6)
        self.assertEqual(len({c["device"]["identifiers"][0] for c in found.values()}), 3)
        b.send_signal(signal.SIGHUP)
        time.sleep(2)
        self.assertEqual(len(self.discovery()), 6)
        self.publish(self.command_topic("Tuner1."), "42")
        self.wait_for(lambda: self.key_numbers(a_sim) == [10, 4, 2], "A's Tuner1.")
        self.publish(self.command_topic("Tuner1.", "recorder-b"), "5")
        self.wait_for(lambda: self.key_numbers(b_sim) == [10, 10, 5], "B's Tuner1.")
        self.assertEqual(self.key_numbers(a_sim), [10, 4, 2])
        b.send_signal(signal.SIGKILL)
        b.wait()
        self.wait_retained(b_status, lambda s: s == "offline", "B's will")
        self.assertEqual(self.retained(STATUS), {STATUS: "online"})
        self.assertEqual(len(self.discovery()), 6)

    def test_sigterm_ends_it_in_time_when_the_broker_drops_packets(self):
        self.attach_blaster()
        # A broker's port whose queue is full: every SYN is dropped, as by a firewall.
        listener = socket.socket()
        self.addCleanup(listener.close)
        listener.bind(("127.0.0.1", 0))
        listener.listen(0)
        for _ in range(3):
            waiting = socket.socket()
            self.addCleanup(waiting.close)
            waiting.setblocking(False)
            try:
                waiting.connect(listener.getsockname())
            except BlockingIOError:
                pass
        self.write_config("Living.=pts/0&2,423.\n")
        self.mqtt = (listener.getsockname()[1], None)
        daemon = self.start_bridge()
        # A try nothing answers is given up and made afresh; the stop waits for none of them.
        self.wait_for(lambda: "no answer within 10 s" in self.log(), "the try given up", 20)
        asked = time.monotonic()
        daemon.send_signal(signal.SIGTERM)
        self.assertEqual(daemon.wait(timeout=60), 0)
        self.assertLess(time.monotonic() - asked, 4)

    def test_big_payloads_and_floods_are_bounded_before_they_are_kept(self):
        sim, port = self.attach_blaster()
        other, other_port = self.attach_blaster(number=6)
        self.broker()
        self.write_config("Living.=%s&2,423.\nDen.=%s&2,423.\n" % (port, other_port))
        with open(os.path.join(self.capture, "buttons.txt"), "w") as buttons:
            buttons.write("Living.=KEY_OK 11\n")
        env = dict(os.environ, ASAN_OPTIONS="quarantine_size_mb=0:detect_leaks=0")
        daemon = self.start("--mqtt", "127.0.0.1:%d" % self.mqtt[0], env=env)
        self.wait_retained(STATUS, lambda s: s == "online", "online")
        big = os.path.join(self.work, "big")
        with open(big, "wb") as payload:
            payload.write(b"7" * (8 << 20))
        before = self.memory(daemon)
        button = "tunerdll/%s/%s/button/key_ok/press" % (NODE, topic_id("Living."))
        for topic in (button, self.command_topic("Living.")):
            subprocess.run(["mosquitto_pub"] + self.client_args() +
                           ["-t", topic, "-f", big, "--repeat", "20"], check=True, timeout=120)
        time.sleep(3)
        self.assertLess(self.memory(daemon) - before, 48 << 20)
        # Junk, then a flood of one channel: refusals logged at a bounded rate, and of the
        # channels only the one in progress and the newest pressed.
        self.flood(self.command_topic("Living."), "x", 20000)
        self.flood(self.command_topic("Living."), "1", 20000)
        self.flood(self.command_topic("Living."), "3", 1)
        asked = time.monotonic()
        self.irsend("SEND_ONCE", "Living.", "KEY_9")
        self.assertLess(time.monotonic() - asked, 15)
        self.wait_for(lambda: 3 in self.key_numbers(sim), "the newest channel", 30)
        time.sleep(3 * KEY_MS / 1000)
        channels = [k for k in self.key_numbers(sim) if k != 9]
        # The one in progress, perhaps the next that began before the newest came, the newest.
        self.assertLessEqual(len(channels), 3 * 3, channels)
        self.assertEqual(channels[-3:], [10, 10, 3])
        self.assertLessEqual(self.log().count("MQTT "), 25, self.log()[-3000:])
        self.assertEqual(self.key_numbers(other), [])

    def test_home_assistant_restarting_and_what_it_is_shown(self):
        sim, port = self.attach_blaster()
        self.broker()
        self.write_config("Living.=%s&2,423.\n" % port)
        with open(os.path.join(self.capture, "buttons.txt"), "w") as buttons:
            buttons.write("Living.=KEY_ENTER 11 KEY-ENTER 12 +++ 13\n")
        # What the scheme before nodes left: this recorder's own goes, another tuner's stays.
        former = "homeassistant/text/tunerdll/%s_channel/config"
        for name in ("Living.", "Elsewhere."):
            subprocess.run(["mosquitto_pub"] + self.client_args() +
                           ["-r", "-t", former % topic_id(name), "-m", "{}"], check=True)
        self.start_bridge()
        self.wait_for(lambda: len(self.own()) == 4, "discovery")
        retained = self.retained("homeassistant/#")
        self.assertNotIn(former % topic_id("Living."), retained)
        self.assertIn(former % topic_id("Elsewhere."), retained)
        found = list(self.own().values())
        channel = next(c for c in found if c["name"] == "Channel")
        sensor = next(c for c in found if c["name"] == "Last result")
        buttons = sorted(c["name"] for c in found if "payload_press" in c)
        self.assertEqual(buttons, ["+++", "KEY_ENTER"])
        self.assertEqual(sensor["entity_category"], "diagnostic")
        self.assertNotIn("object_id", channel)
        self.assertTrue(channel["default_entity_id"].startswith("text."))
        self.assertIsNone(re.match(channel["pattern"], "42abc"))
        self.assertTrue(re.match(channel["pattern"], "4.1"))
        # The Channel shows what was last tuned, by any client.
        self.request(b"TUNE Living. 42")
        self.wait_retained(channel["state_topic"], lambda s: s == "42", "the channel state")
        # Home Assistant lost everything and starts again: it is told all afresh.
        for topic in self.retained("homeassistant/+/tunerdll_%s/#" % NODE):
            subprocess.run(["mosquitto_pub"] + self.client_args() + ["-r", "-t", topic, "-n"],
                           check=True)
        self.assertEqual(self.own(), {})
        self.publish("homeassistant/status", "online")
        self.wait_for(lambda: len(self.own()) == 4, "discovery after the birth message")
        # Buttons press on PRESS only.
        enter = next(c for c in found if c["name"] == "KEY_ENTER")["command_topic"]
        for payload in [b"", b"nope", b"RELEASE", b"\x00", b"press", b"PRESS\x00"]:
            subprocess.run(["mosquitto_pub"] + self.client_args() +
                           ["-t", enter, "-s" if payload else "-n"], input=payload, check=True)
        self.publish(enter, "PRESS")
        self.wait_for(lambda: self.key_numbers(sim)[-1:] == [11], "PRESS")
        time.sleep(1)
        self.assertEqual(self.key_numbers(sim), [10, 4, 2, 11])
        checked = self.host.run("check")
        self.assertIn("KEY-ENTER has the MQTT id key_enter of KEY_ENTER", checked.stdout)

    def test_bad_names_and_password_files_stop_it_with_why(self):
        fifo = os.path.join(self.work, "fifo")
        os.mkfifo(fifo)
        empty = os.path.join(self.work, "empty")
        open(empty, "w").close()
        cases = [
            (2, ["--mqtt-base", "den.x"], "letters, digits"),
            (2, ["--mqtt-base", "den/x"], "letters, digits"),
            (2, ["--mqtt-node", "a b"], "letters, digits"),
            (2, ["--mqtt-discovery-prefix", "home+"], "letters, digits"),
            (2, ["--mqtt-password-file", empty], "go together"),
            (2, ["--mqtt-certfile", empty, "--mqtt-keyfile", empty], "--mqtt-cafile"),
            (1, ["--mqtt-user", "ha", "--mqtt-password-file", fifo], "is not a plain file"),
            (1, ["--mqtt-user", "ha", "--mqtt-password-file", "/dev/zero"], "is not a plain"),
            (1, ["--mqtt-user", "ha", "--mqtt-password-file", empty], "first line is empty"),
            (1, ["--mqtt-user", "ha", "--mqtt-password-file", fifo + "x"], "cannot read it"),
        ]
        for status, options, says in cases:
            done = subprocess.run([TUNERD, "--socket", os.path.join(self.work, "s"), "--mqtt",
                                   "127.0.0.1:1"] + options, capture_output=True, text=True,
                                  timeout=30)
            self.assertEqual(done.returncode, status, (options, done.stderr))
            self.assertIn(says, done.stderr, options)

    def test_tls_with_the_right_ca_and_a_client_certificate(self):
        sim, port = self.attach_blaster()
        made = tempfile.mkdtemp(dir=self.work)
        ca, wrong = self.authority(made, "ca"), self.authority(made, "wrong")
        server = self.certificate(made, ca, "server", "IP:127.0.0.1")
        client = self.certificate(made, ca, "client", "DNS:tunerd")
        self.broker(tls=["cafile " + ca + ".crt", "certfile " + server + ".crt",
                         "keyfile " + server + ".key", "require_certificate true"])
        self.write_config("Living.=%s&2,423.\n" % port)
        daemon = self.start_bridge("--mqtt-cafile", wrong + ".crt", "--mqtt-certfile",
                                   client + ".crt", "--mqtt-keyfile", client + ".key")
        self.wait_for(lambda: "certificate verify failed" in self.log(), "the reason", 30)
        self.stop(daemon)
        self.start_bridge("--mqtt-cafile", ca + ".crt", "--mqtt-certfile", client + ".crt",
                          "--mqtt-keyfile", client + ".key")
        self.wait_retained(STATUS, lambda s: s == "online", "online over TLS")

    def client_args(self):
        args = super().client_args()
        if getattr(self, "tls_files", None):
            ca, cert = self.tls_files
            args += ["--cafile", ca + ".crt", "--cert", cert + ".crt", "--key", cert + ".key"]
        return args

    def authority(self, folder, name):
        path = os.path.join(folder, name)
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=%s test CA" % name, "-keyout", path + ".key", "-out",
                        path + ".crt"], check=True, capture_output=True)
        return path

    def certificate(self, folder, ca, name, alt):
        path = os.path.join(folder, name)
        subprocess.run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + name,
                        "-keyout", path + ".key", "-out", path + ".csr"], check=True,
                       capture_output=True)
        extensions = path + ".ext"
        with open(extensions, "w") as ext:
            ext.write("subjectAltName=%s\n" % alt)
        subprocess.run(["openssl", "x509", "-req", "-in", path + ".csr", "-CA", ca + ".crt",
                        "-CAkey", ca + ".key", "-CAcreateserial", "-days", "2", "-extfile",
                        extensions, "-out", path + ".crt"], check=True, capture_output=True)
        if name == "client":
            self.tls_files = (ca, path)
        return path


if __name__ == "__main__":
    unittest.main()
