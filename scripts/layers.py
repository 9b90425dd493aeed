"""Prints one line naming each test layer and whether it ran, passed or was skipped, and why,
from the JUnit reports of ctest:  layers.py NAME=REPORT [NAME=REPORT ...]"""

import os
import re
import sys
import xml.etree.ElementTree as ElementTree


def describe(name, report):
    if not os.path.exists(report):
        return "%s did not run" % name
    cases = ElementTree.parse(report).getroot().iter("testcase")
    passed, failed, skipped, reasons = 0, 0, 0, set()
    for case in cases:
        if case.find("skipped") is not None:
            skipped += 1
            out = case.findtext("system-out") or ""
            reasons.update(re.findall(r"^layer skipped: (.*)$", out, re.M))
        elif case.find("failure") is not None or case.get("status") == "fail":
            failed += 1
        else:
            passed += 1
    verdict = "failed" if failed else "passed"
    counts = "%d passed, %d failed" % (passed, failed)
    if reasons:
        return "%s skipped: %s (its other tests %s: %s)" % (
            name, "; ".join(sorted(reasons)), verdict, counts)
    if skipped:
        counts += ", %d skipped" % skipped
    return "%s ran and %s (%s)" % (name, verdict, counts)


if __name__ == "__main__":
    print("layers: " + "; ".join(describe(*arg.split("=", 1)) for arg in sys.argv[1:]))
