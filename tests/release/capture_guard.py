"""Proves that a test run leaves the folders the build was configured with (of tuner.txt and of
the trace) as they were: `capture_guard.py before` notes what they hold (or that they are
absent), `capture_guard.py after` compares. It only reads them."""

import hashlib
import json
import os
import sys

FOLDERS = sorted(set(os.environ.get("TUNER_GUARD_DIRS", "").split(":")))
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
    now = {folder: contents(folder) for folder in FOLDERS}
    if sys.argv[1:] == ["before"]:
        with open(NOTE, "w") as note:
            json.dump(now, note)
        for folder, found in now.items():
            print("%s: %s" % (folder, "absent" if found is None else "%d files" % len(found)))
    else:
        with open(NOTE) as note:
            before = json.load(note)
        for folder, found in now.items():
            if before.get(folder) != found:
                sys.exit("the tests changed %s: before %r, after %r" % (folder, before.get(folder),
                                                                         found))
            print("%s unchanged: %s" % (folder, "absent" if found is None else
                                        "%d files, each byte for byte" % len(found)))
