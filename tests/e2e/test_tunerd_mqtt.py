"""tunerd and Home Assistant over MQTT: Debian's mosquitto started on a loopback port of the
test's own, its clients as Home Assistant's stand-in, blaster-sim on pseudo-terminals."""

import json
import os
import pwd
import re
import shutil
import signal
import socket
import subprocess
import time
import unittest

import harness
from tunerd_harness import IRSEND, TunerdCase

MOSQUITTO = shutil.which("mosquitto") or "/usr/sbin/mosquitto"
HAVE_BROKER = os.path.exists(MOSQUITTO) and shutil.which("mosquitto_sub")


def node_of(host):
    """The node a host name gives, as tunerd makes it."""
    return re.sub(r"[^A-Za-z0-9-]", "_", host[:64]) or "tunerd"


NODE = node_of(socket.gethostname())
STATUS = "tunerdll/%s/status" % NODE


def topic_id(name):
    """A tuner's id in its topics, as Home Assistant sees it: the name made safe, a hash of it."""
    fnv = 2166136261
    for byte in name.encode():
        fnv = ((fnv ^ byte) * 16777619) & 0xFFFFFFFF
    return "%s_%08x" % ("_".join(re.findall(r"[a-z0-9]+", name.lower())), fnv)


@unittest.skipIf(harness.WINDOWS, "tunerd is a Linux service")
@unittest.skipUnless(IRSEND, "irsend (Debian's lirc package; scripts/bootstrap installs it)")
@unittest.skipUnless(HAVE_BROKER, "mosquitto and mosquitto-clients (scripts/bootstrap)")
class MqttCase(TunerdCase):
    def broker(self, password=None, port=None, tls=None):
        """A mosquitto of the test's own; its port."""
        port = port or self.free_tcp_port()
        config = os.path.join(self.work, "mosquitto.conf")
        with open(config, "w") as conf:
            # Run as root, mosquitto would become the user mosquitto, who cannot read the
            # test's folder.
            conf.write("listener %d 127.0.0.1\npersistence false\nuser %s\n"
                       % (port, pwd.getpwuid(os.getuid()).pw_name))
            for setting in tls or []:
                conf.write(setting + "\n")
            if password:
                secrets = os.path.join(self.work, "passwords")
                subprocess.run(["mosquitto_passwd", "-b", "-c", secrets, "ha", password],
                               check=True, capture_output=True)
                conf.write("allow_anonymous false\npassword_file %s\n" % secrets)
            else:
                conf.write("allow_anonymous true\n")
        broker = subprocess.Popen([MOSQUITTO, "-c", config], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop_broker, broker)
        self.wait_for(lambda: self.answers(port), "the broker to listen")
        self.mqtt = (port, password)
        return broker, port

    def stop_broker(self, broker):
        if broker.poll() is None:
            broker.terminate()
            broker.wait(timeout=30)

    def answers(self, port):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            return False

    def client_args(self):
        port, password = self.mqtt
        login = ["-u", "ha", "-P", password] if password else []
        return ["-h", "127.0.0.1", "-p", str(port)] + login

    def retained(self, topics="#"):
        """The retained messages now, topic -> payload."""
        done = subprocess.run(["mosquitto_sub"] + self.client_args() +
                              ["-t", topics, "--retained-only", "-W", "1", "-F", "%t\t%p"],
                              capture_output=True, text=True, timeout=30)
        return dict(line.split("\t", 1) for line in done.stdout.splitlines() if "\t" in line)

    def publish(self, topic, payload):
        subprocess.run(["mosquitto_pub"] + self.client_args() + ["-t", topic, "-m", payload],
                       check=True, timeout=30)

    def start_bridge(self, *options):
        return self.start("--mqtt", "127.0.0.1:%d" % self.mqtt[0], *options)

    def wait_retained(self, topic, condition, what, timeout=30):
        seen = []
        self.wait_for(lambda: condition(seen.append(self.retained(topic).get(topic)) or seen[-1]),
                      what, timeout)
        return seen[-1]

    def discovery(self):
        return {t: json.loads(p) for t, p in self.retained("homeassistant/#").items()
                if p.startswith("{")}


class Mqtt(MqttCase):
    def test_discovery_commands_and_results(self):
        sim, port = self.attach_blaster()
        dead, dead_port = self.attach_blaster("--no-ack")
        self.broker()
        self.write_config("Living room.=%s&2,423.\nDead.=%s&2,423.\n" % (port, dead_port))
        with open(os.path.join(self.capture, "buttons.txt"), "w") as buttons:
            buttons.write("Living room.=KEY_ENTER 11\n")
        # A channel left retained on the broker is no command: it would tune at every start.
        subprocess.run(["mosquitto_pub"] + self.client_args() +
                       ["-r", "-t", "tunerdll/%s/%s/channel/set" % (NODE, topic_id("Living room.")),
                        "-m", "7"], check=True, timeout=30)
        daemon = self.start_bridge()
        self.wait_for(lambda: len(self.discovery()) == 5, "discovery of 2 tuners")
        found = self.discovery()
        kinds = sorted(t.split("/")[1] for t in found)
        self.assertEqual(kinds, ["button", "sensor", "sensor", "text", "text"])
        for topic, config in found.items():
            self.assertTrue(topic.startswith("homeassistant/") and topic.endswith("/config"))
            self.assertEqual(config["availability_topic"], STATUS)
            self.assertEqual(config["device"]["sw_version"], "tunerd 1.0.0")
            self.assertRegex(config["device"]["identifiers"][0], r"^tunerdll_\w+_[0-9a-f]{8}$")
            self.assertIn("command_topic" if "sensor" not in topic else "state_topic", config)
        self.assertEqual(len({c["unique_id"] for c in found.values()}), 5)
        living = [c for c in found.values() if c["device"]["name"] == "Living room."]
        channel = next(c for c in living if c["name"] == "Channel")
        enter = next(c for c in living if c["name"] == "KEY_ENTER")
        sensor = next(c for c in living if c["name"] == "Last result")
        self.assertEqual(self.retained(STATUS), {STATUS: "online"})
        self.assertEqual(channel["command_topic"],
                         "tunerdll/%s/%s/channel/set" % (NODE, topic_id("Living room.")))
        self.publish(channel["command_topic"], "42")
        self.wait_retained(sensor["state_topic"], lambda s: s and "channel 42 sent" in s,
                           "the sensor after channel 42")
        self.publish(enter["command_topic"], "PRESS")
        self.wait_retained(sensor["state_topic"], lambda s: s and "key 11 sent" in s, "the button")
        self.assertEqual(self.key_numbers(sim), [10, 4, 2, 11])
        self.publish(channel["command_topic"], "4x\x01")
        said = self.wait_retained(sensor["state_topic"], lambda s: s and "is not a channel" in s,
                                  "the sensor after a payload that is no channel")
        self.assertIn("nothing was sent", said)
        self.publish(channel["command_topic"], "1" * 40)
        self.wait_retained(sensor["state_topic"], lambda s: s and "40 bytes" in s, "too long")
        self.assertIn(r"4x\x01", self.log())
        # An irsend's result reaches the sensor too; a blaster that fails says so.
        dead_sensor = next(c for c in found.values() if c["device"]["name"] == "Dead."
                           and c["name"] == "Last result")
        dead_channel = next(c for c in found.values() if c["device"]["name"] == "Dead."
                            and c["name"] == "Channel")
        self.irsend("SEND_ONCE", "Dead.", "KEY_3", expect=1)
        self.wait_retained(dead_sensor["state_topic"],
                           lambda s: s and "did not acknowledge key 3" in s, "irsend's result")
        self.publish(dead_channel["command_topic"], "5")
        self.wait_retained(dead_sensor["state_topic"],
                           lambda s: s and "did not acknowledge key 10" in s, "the failure")
        self.assertEqual(self.key_numbers(sim), [10, 4, 2, 11])
        # A tuner taken out of the file has its discovery cleared on SIGHUP.
        self.write_config("Living room.=%s&2,423.\n" % port)
        daemon.send_signal(signal.SIGHUP)
        self.wait_for(lambda: len(self.discovery()) == 3, "Dead.'s discovery cleared")
        self.assertNotIn("Dead.", json.dumps(self.discovery()))

    def test_availability_follows_tunerd_through_a_kill_and_the_broker_through_an_outage(self):
        sim, port = self.attach_blaster()
        broker, broker_port = self.broker()
        self.write_config("Living.=%s&2,423.\n" % port)
        daemon = self.start_bridge()
        self.wait_retained(STATUS, lambda s: s == "online", "online")
        daemon.send_signal(signal.SIGKILL)
        daemon.wait()
        self.wait_retained(STATUS, lambda s: s == "offline", "the will")
        os.unlink(self.socket_path)
        daemon = self.start_bridge()
        self.wait_retained(STATUS, lambda s: s == "online", "online again")
        # The broker goes away: irsend is served as ever; tunerd publishes all again after.
        self.stop_broker(broker)
        started = time.monotonic()
        self.irsend("SEND_ONCE", "Living.", "KEY_4", "KEY_2")
        self.assertLess(time.monotonic() - started, 10)
        self.assertEqual(self.key_numbers(sim), [4, 2])
        self.assertIn("lost the MQTT broker", self.log())
        time.sleep(2)
        self.broker(port=broker_port)
        self.wait_for(lambda: len(self.discovery()) == 2, "discovery after the outage", 90)
        self.assertEqual(self.retained(STATUS), {STATUS: "online"})
        self.assertIsNone(daemon.poll())
        # Stopped, it says so itself.
        self.stop(daemon)
        self.assertEqual(self.retained(STATUS), {STATUS: "offline"})

    def test_a_broker_with_passwords(self):
        sim, port = self.attach_blaster()
        self.broker(password="s3cret-word")
        self.write_config("Living.=%s&2,423.\n" % port)
        wrong = os.path.join(self.work, "wrong")
        with open(wrong, "w") as secret:
            secret.write("not-the-password\n")
        daemon = self.start_bridge("--mqtt-user", "ha", "--mqtt-password-file", wrong)
        self.wait_for(lambda: "refused tunerd" in self.log(), "the refusal in the log")
        self.assertIn("not authorised", self.log().lower().replace("authorized", "authorised"))
        self.irsend("SEND_ONCE", "Living.", "KEY_7")
        self.assertEqual(self.key_numbers(sim), [7])
        self.assertEqual(self.retained("tunerdll/#"), {})
        self.stop(daemon)
        self.assertNotIn("not-the-password", self.log())
        right = os.path.join(self.work, "right")
        with open(right, "w") as secret:
            secret.write("s3cret-word\n")
        self.start_bridge("--mqtt-user", "ha", "--mqtt-password-file", right)
        self.wait_retained(STATUS, lambda s: s == "online", "online with the password")
        self.assertNotIn("s3cret-word", self.log())


if __name__ == "__main__":
    unittest.main()
