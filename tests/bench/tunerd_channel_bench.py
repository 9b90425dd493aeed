"""Benchmark: a channel through tunerd's HTTP API against the same channel through its LIRC
socket (TUNE, as irsend's clients send it), each in a burst on a held port, against blaster-sim.
Three keys of 100 + 333 + 250 ms each, plus a probe the first time: 2049 ms a channel at the
least once the port is held.
  tunerd_channel_bench.py [RUNS]   (from scripts/bench, with the native test build's directories)
"""

import http.client
import json
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import harness  # noqa: E402

FLOOR_MS = 3 * (100 + 333 + 250)


def main(runs):
    host = harness.NativeHost()
    work = tempfile.mkdtemp()
    sim, port = host.attach([])
    with open(os.path.join(host.capture, "tuner.txt"), "w") as config:
        config.write("Living.=%s&2,423.\n" % port)
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        http_port = probe.getsockname()[1]
    socket_path = os.path.join(work, "lircd")
    daemon = subprocess.Popen([os.path.join(harness.BUILD_DIR, "tunerd"), "--socket", socket_path,
                               "--http", str(http_port)], stderr=subprocess.DEVNULL)
    try:
        while not os.path.exists(socket_path):
            time.sleep(0.05)
        web = http.client.HTTPConnection("127.0.0.1", http_port)
        lirc = socket.socket(socket.AF_UNIX)
        lirc.connect(socket_path)
        replies = lirc.makefile("rb")

        def through_http():
            web.request("POST", "/api/tuners/Living./tune", json.dumps({"channel": "42"}),
                        {"Content-Type": "application/json"})
            answer = web.getresponse()
            answer.read()
            assert answer.status == 200, answer.status

        def through_socket():
            lirc.sendall(b"TUNE Living. 42\n")
            lines = []
            while not lines or lines[-1] != b"END\n":
                lines.append(replies.readline())
            assert lines[2] == b"SUCCESS\n", lines

        through_socket()  # the probe, once
        results = {}
        for name, tune in [("LIRC socket (TUNE)", through_socket), ("HTTP API", through_http)]:
            times = []
            for _ in range(runs):
                started = time.monotonic()
                tune()
                times.append((time.monotonic() - started) * 1000)
            results[name] = times
        for name, times in results.items():
            print("%-20s %d channels: median %.1f ms, best %.1f, worst %.1f; median/floor %.4f"
                  % (name, runs, statistics.median(times), min(times), max(times),
                     statistics.median(times) / FLOOR_MS))
        ratio = statistics.median(results["HTTP API"]) / FLOOR_MS
        print("HTTP median within %.4f of the %d ms floor (bound 1.01)" % (ratio, FLOOR_MS))
        if min(min(t) for t in results.values()) < FLOOR_MS:
            sys.exit("a channel was faster than the protocol allows: a pause was shortened")
    finally:
        daemon.terminate()
        daemon.wait()
        sim.stop()


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 10)
