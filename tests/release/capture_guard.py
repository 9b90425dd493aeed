"""Proves that a test run leaves the capture directory the build was configured with as it was:
`capture_guard.py before` notes what it holds (or that it is absent), `capture_guard.py after`
compares. It only reads that directory."""

import hashlib
import json
import os
import sys

CAPTURE_DIR = os.environ.get("TUNER_CAPTURE_DIR", "")
NOTE = os.environ.get("TUNER_GUARD_NOTE", "")


def contents(folder):
    if not os.path.isdir(folder):
        return None
    found = {}
    for directory, _, files in os.walk(folder):
        for name in files:
            path = os.path.join(directory, name)
            with open(path, "rb") as content:
                found[os.path.relpath(path, folder)] = hashlib.sha256(content.read()).hexdigest()
    return found


if __name__ == "__main__":
    now = contents(CAPTURE_DIR)
    if sys.argv[1:] == ["before"]:
        with open(NOTE, "w") as note:
            json.dump(now, note)
        print("%s: %s" % (CAPTURE_DIR, "absent" if now is None else "%d files" % len(now)))
    else:
        with open(NOTE) as note:
            before = json.load(note)
        if before != now:
            sys.exit("the tests changed %s: before %r, after %r" % (CAPTURE_DIR, before, now))
        print("%s unchanged: %s" % (CAPTURE_DIR, "absent" if now is None else
                                    "%d files, each byte for byte" % len(now)))
