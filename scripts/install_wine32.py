"""Installs 32-bit Wine beside 64-bit Wine, whatever state the package indexes are in.

A Multi-Arch "same" package must stand at one version for both widths. When an index of one
width could not be read (a mirror mid-sync), apt's candidates for i386 and amd64 differ and the
plain install fails with unmet dependencies. Each package apt names there is then pinned, at
both widths, to the newest version that both widths offer, and the install is tried again.

On failure, apt's first complaint is written to the file given as the only argument (the
32-bit tests quote it when they skip), and the exit status is 1.
"""

import functools
import re
import subprocess
import sys

WANTED = ["wine32:i386", "libwine:i386", "wine64", "libwine:amd64"]
ROUNDS = 8


def run(args):
    return subprocess.run(args, capture_output=True, text=True, stdin=subprocess.DEVNULL)


def versions(package):
    shown = run(["apt-cache", "show", package])
    return set(re.findall(r"^Version: (\S+)$", shown.stdout, re.M))


def newer(a, b):
    if a == b:
        return 0
    return 1 if run(["dpkg", "--compare-versions", a, "gt", b]).returncode == 0 else -1


def common_version(name):
    both = versions(name + ":i386") & versions(name + ":amd64")
    if not both:
        return None
    return sorted(both, key=functools.cmp_to_key(newer))[-1]


def multi_arch_same(name):
    shown = run(["apt-cache", "show", name + ":i386"])
    return re.search(r"^Multi-Arch: same$", shown.stdout, re.M) is not None


def installed_amd64(name):
    query = run(["dpkg-query", "-W", "-f=${Status}", name + ":amd64"])
    return "install ok installed" in query.stdout


def complaint(output):
    """apt's first line that says what is wrong."""
    for line in output.splitlines():
        line = line.strip()
        if line.startswith("E:") or " Depends: " in line or " Breaks: " in line:
            return line
    lines = [line.strip() for line in output.splitlines() if line.strip()]
    return lines[-1] if lines else "apt-get gave no reason"


def named_packages(output):
    """The packages apt's unmet dependencies name, without their width."""
    names = set()
    for line in output.splitlines():
        match = re.match(r"\s*(\S+?)(?::\w+)? : (?:Depends|Breaks|PreDepends): (\S+?)(?::\w+)?\s",
                         line)
        if not match:
            match = re.match(r"\s+(?:Depends|Breaks|PreDepends): (\S+?)(?::\w+)?\s", line)
            if match:
                names.add(match.group(1))
            continue
        names.update(match.groups())
    return names


def install(pins, simulate):
    args = ["apt-get", "install", "-y", "-q", "--no-install-recommends", "--allow-downgrades"]
    if simulate:
        args.append("-s")
    return run(args + WANTED + ["%s=%s" % pin for pin in sorted(pins.items())])


def main():
    report = sys.argv[1]
    pins = {}
    first = None
    for _ in range(ROUNDS):
        trial = install(pins, simulate=True)
        output = trial.stdout + trial.stderr
        if trial.returncode == 0:
            if re.search(r"^Remv wine64\b", trial.stdout, re.M):
                first = first or "installing wine32:i386 would remove wine64"
                break
            done = install(pins, simulate=False)
            if done.returncode == 0:
                if pins:
                    print("install_wine32: held at one version for both widths: " +
                          ", ".join("%s=%s" % pin for pin in sorted(pins.items())),
                          file=sys.stderr)
                return 0
            first = first or complaint(done.stdout + done.stderr)
            break
        first = first or complaint(output)
        added = False
        for name in named_packages(output):
            if not multi_arch_same(name) or not installed_amd64(name):
                continue
            version = common_version(name)
            if version is None or pins.get(name + ":i386") == version:
                continue
            pins[name + ":i386"] = version
            pins[name + ":amd64"] = version
            added = True
        if not added:
            break
    with open(report, "w") as out:
        out.write(first + "\n")
    print("install_wine32: 32-bit Wine could not be installed: " + first, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
