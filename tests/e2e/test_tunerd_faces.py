"""One rulebook for every way in: the same channel, given to the plug-in through tunerctl, to
tunerd's LIRC socket, its HTTP API and its MQTT face, gets the same verdict, the same keys on the
wire and the same sentence."""

import json
import os
import subprocess
import time
import unittest

from test_tunerd_mqtt import NODE, MqttCase, topic_id
from tunerd_harness import KEY_MS


class OneRulebook(MqttCase):
    def settle(self, sims):
        """The keys each blaster got, once no more come."""
        seen = None
        while True:
            now = [self.key_numbers(sim) for sim in sims]
            if now == seen:
                return now
            seen = now
            time.sleep(2 * KEY_MS / 1000)

    def through_tunerctl(self, tuner, channel):
        done = self.host.run("tune", "--tuner", tuner, channel)
        said = done.stdout if done.returncode == 0 else done.stderr
        return done.returncode == 0, said.strip().replace("tunerctl: ", "", 1)

    def through_lirc(self, tuner, channel):
        packet = self.request(b"TUNE %s %s" % (tuner.encode(), channel.encode()))[0]
        # lircd's protocol answers a success with no sentence.
        return packet[2] == b"SUCCESS", packet[5].decode() if len(packet) > 5 else None

    def through_http(self, tuner, channel):
        status, answer, _ = self.call("POST", "/api/tuners/%s/tune" % tuner, {"channel": channel})
        return status == 200, answer["message"]

    def through_mqtt(self, tuner, channel):
        sensor = "tunerdll/%s/%s/result" % (NODE, topic_id(tuner))
        # The other faces' answers are the sensor's too: cleared, so that this one shows.
        subprocess.run(["mosquitto_pub"] + self.client_args() + ["-r", "-n", "-t", sensor],
                       check=True, timeout=30)
        before = None
        self.publish("tunerdll/%s/%s/channel/set" % (NODE, topic_id(tuner)), channel)
        said = self.wait_retained(sensor, lambda s: s and s != before, "the sensor's answer")
        return " sent to tuner " in said, said

    def call(self, method, path, body):
        import http.client
        client = http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=60)
        self.addCleanup(client.close)
        client.request(method, path, json.dumps(body), {"Content-Type": "application/json"})
        answer = client.getresponse()
        return answer.status, json.loads(answer.read()), answer

    def test_one_input_one_verdict_one_sentence_through_every_face(self):
        den, den_port = self.attach_blaster()
        living, living_port = self.attach_blaster(number=6)
        self.broker()
        self.write_config("Living.=%s&2,423.\nDen.=%s&2,423.\n" % (living_port, den_port))
        with open(os.path.join(self.capture, "tuning.txt"), "w") as recipes:
            recipes.write("Living.=dot 13\n")
        self.http_port = self.free_tcp_port()
        self.start("--http", str(self.http_port), "--mqtt", "127.0.0.1:%d" % self.mqtt[0])
        self.wait_for(lambda: len(self.discovery()) == 4, "discovery")
        cases = [("Den.", "42"), ("Living.", "4.1"), ("Den.", "4.1"), ("Den.", "4x"),
                 ("Den.", "0"), ("Den.", "2147483648"), ("Den.", "4.1234567890"),
                 ("Den.", "007"), ("Nobody.", "5")]
        faces = [self.through_tunerctl, self.through_lirc, self.through_http, self.through_mqtt]
        for tuner, channel in cases:
            seen = []
            for face in faces:
                if face == self.through_mqtt and tuner == "Nobody.":
                    continue  # a tuner with no topics of its own
                before = self.settle([den, living])
                verdict, sentence = face(tuner, channel)
                after = self.settle([den, living])
                sent = [a[len(b):] for a, b in zip(after, before)]
                seen.append((face.__name__, verdict, sent, sentence))
            first = seen[0]
            for other in seen[1:]:
                said = other[3] if other[3] is not None else first[3]
                self.assertEqual(other[1:3] + (said,), first[1:], (tuner, channel, other[0]))
        self.assertEqual(self.key_numbers(den), [10, 4, 2] * 4 + [10, 10, 7] * 4)
        self.assertEqual(self.key_numbers(living), [4, 13, 1] * 4)

    def test_a_channel_map_and_favourites_on_every_face(self):
        sim, port = self.attach_blaster()
        self.broker()
        self.write_config("Living.=%s&2,423.\n" % port)
        with open(os.path.join(self.capture, "channels.txt"), "w") as channels:
            # The tuner of another case than the tuner file's: found as its requests find it.
            channels.write("living.=101 as 1501 BBC One HD\nliving.=7 as 107\n")
        self.http_port = self.free_tcp_port()
        self.start("--http", str(self.http_port), "--mqtt", "127.0.0.1:%d" % self.mqtt[0])
        self.wait_for(lambda: len(self.discovery()) == 3, "discovery with the favourites")
        select = next(c for t, c in self.discovery().items() if "/select/" in t)
        self.assertEqual(select["options"], ["BBC One HD"])
        packet = self.request(b"TUNE Living. BBC One HD")[0]
        self.assertEqual(packet[2], b"SUCCESS", packet)
        self.wait_retained(select["state_topic"], lambda s: s == "BBC One HD", "the favourite")
        status, answer, _ = self.call("POST", "/api/tuners/Living./tune", {"channel": "101"})
        self.assertEqual(status, 200, answer)
        self.assertIn("channel 101 as 1501 sent", answer["message"])
        self.publish(select["command_topic"], "bbc one hd")
        self.wait_for(lambda: len(self.key_numbers(sim)) == 12, "the favourite tuned")
        self.assertEqual(self.key_numbers(sim), [1, 5, 10, 1] * 3)
        import http.client
        client = http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=60)
        self.addCleanup(client.close)
        client.request("GET", "/api/tuners")
        listed = json.loads(client.getresponse().read())["tuners"][0]["channels"]
        self.assertEqual(listed, [{"channel": "101", "box": "1501", "name": "BBC One HD"},
                                  {"channel": "7", "box": "107", "name": ""}])
        # A channel without a name leaves no favourite shown: "None" is Home Assistant's unknown.
        self.assertEqual(self.request(b"TUNE Living. 7")[0][2], b"SUCCESS")
        self.wait_retained(select["state_topic"], lambda s: s == "None", "no favourite")


if __name__ == "__main__":
    unittest.main()
