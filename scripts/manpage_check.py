"""Renders the manual page and checks it against `tunerctl --help`: every operation's synopsis
stands whole on one line of the page, and every option the help names is in it.
  manpage_check.py TUNERCTL MANPAGE"""

import re
import subprocess
import sys


def normalized(text):
    return re.sub(r"\s+", " ", text.replace("\u2010", "-").replace("\u2212", "-")).strip().lower()


def main(tunerctl, page):
    help_text = subprocess.run([tunerctl, "--help"], capture_output=True, text=True,
                               check=True).stdout
    rendered = subprocess.run(["groff", "-man", "-Tutf8", "-rLL=200n", "-rHY=0", "-P", "-cbou", page],
                              capture_output=True, text=True, check=True).stdout
    lines = [normalized(line) for line in rendered.splitlines()]
    problems = []
    for line in help_text.splitlines():
        synopsis = re.match(r"^  ([a-z]+(?: \S+)*?)(?:\s{2,}|$)", line)
        if synopsis and not any(normalized(synopsis.group(1)) in l for l in lines):
            problems.append("no line of the page holds the synopsis %r" % synopsis.group(1))
    for option in sorted(set(re.findall(r"(?<![\w-])(--[a-z]+|-[a-z]\b|/\?)", help_text))):
        if not any(re.search(r"(?<![\w-])%s(?![\w])" % re.escape(option), l) for l in lines):
            problems.append("the page does not name %s" % option)
    for problem in problems:
        print("%s: %s" % (page, problem))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
