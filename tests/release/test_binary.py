"""TunerDLL.dll as a Windows loader sees it, at this build's width, and the release package
that holds the plug-ins of both widths."""

import glob
import os
import re
import struct
import subprocess
import tempfile
import unittest
import zipfile

DLL = os.environ.get("TUNER_DLL", "")
OBJDUMP = os.environ.get("TUNER_OBJDUMP", "objdump")
VERSION = os.environ.get("TUNER_VERSION", "")
BUILD_DIR = os.environ.get("TUNER_BUILD_DIR", "")
WIDTH = int(os.environ.get("TUNER_WIDTH", "32"))
FORMATS = {32: "file format pei-i386", 64: "file format pei-x86-64"}
# Each width's objdump reads the other's files too, but the 32-bit one not PE32+.
OBJDUMP_ANY = OBJDUMP.replace("i686-", "x86_64-")

EXPORTS = sorted([
    "DeviceName", "OpenDevice", "CloseDevice", "InitDevice", "NeedBitrate",
    "NeedCarrierFrequency", "FindBitRate", "FindCarrierFrequency", "RecordCommand",
    "CanMacroTune", "CreateRemote", "AddRemote", "CreateCommand", "AddCommand", "FreeRemotes",
    "LoadRemotes", "SaveRemotes", "PlayCommand", "MacroTune", "MacroTuneRecipe", "MacroTuneChannel",
    "MacroTuneSettings",
    "LastControlResult",
    "LastControlMessage"])
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "msvcrt.dll"}


def private_headers(path):
    return subprocess.run([OBJDUMP_ANY, "-p", path], capture_output=True, text=True,
                          check=True).stdout


def imported_dlls(headers):
    return {name.lower() for name in re.findall(r"DLL Name: (\S+)", headers)}


def exported_names(headers):
    table = headers.split("[Ordinal/Name Pointer] Table")[-1]
    return sorted(re.findall(r"^\s+\[\s*\d+\]\s+(\S+)\s*$", table, re.M))


def fixed_file_version(path):
    with open(path, "rb") as dll:
        data = dll.read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None, data
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", data, at + 8)
    version = lambda ms, ls: "%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16)
    return (version(file_ms, file_ls), version(product_ms, product_ls)), data


def version_string(data, key):
    """A VERSIONINFO string value: UTF-16 key, zero, padding, UTF-16 value."""
    match = re.search(key.encode("utf-16-le") + rb"\x00\x00(?:\x00\x00)?((?:[^\x00]\x00)+)", data)
    return match.group(1).decode("utf-16-le") if match else None


class LoaderView(unittest.TestCase):
    def check_dll(self, path, width=WIDTH):
        headers = private_headers(path)
        self.assertIn(FORMATS[width], subprocess.run(
            [OBJDUMP_ANY, "-f", path], capture_output=True, text=True, check=True).stdout)
        self.assertLessEqual(imported_dlls(headers), ALLOWED_IMPORTS, imported_dlls(headers))
        self.assertEqual(exported_names(headers), EXPORTS)

    def test_format_imports_and_undecorated_exports(self):
        self.check_dll(DLL)

    def test_version_resource(self):
        versions, data = fixed_file_version(DLL)
        self.assertEqual(versions, (VERSION, VERSION))
        self.assertEqual(version_string(data, "ProductName"), "TunerDLL")
        self.assertEqual(version_string(data, "FileVersion"), VERSION)
        self.assertEqual(version_string(data, "ProductVersion"), VERSION)
        self.assertTrue(version_string(data, "FileDescription"))

    def test_tunerctl_imports_only_system_dlls(self):
        tunerctl = os.path.join(os.path.dirname(DLL), "tunerctl.exe")
        self.assertLessEqual(imported_dlls(private_headers(tunerctl)), ALLOWED_IMPORTS)


@unittest.skipUnless(WIDTH == 32, "the 32-bit build makes the package")
class Package(unittest.TestCase):
    def test_package_contents(self):
        subprocess.run(["cmake", "--build", BUILD_DIR, "--target", "package"], check=True,
                       capture_output=True)
        packages = glob.glob(os.path.join(BUILD_DIR, "TunerDLL-%s-*.zip" % VERSION))
        self.assertEqual(len(packages), 1, packages)
        with zipfile.ZipFile(packages[0]) as package, tempfile.TemporaryDirectory() as unpacked:
            top = "TunerDLL-%s/" % VERSION
            texts = ["LICENSE.txt", "README.txt", "USER-GUIDE.md", "tuner.txt", "tunerdll.h"]
            binaries = ["x86/TunerDLL.dll", "x86/tunerctl.exe", "x64/TunerDLL.dll",
                        "x64/tunerctl.exe"]
            self.assertEqual(sorted(n for n in package.namelist() if not n.endswith("/")),
                             sorted(top + name for name in texts + binaries))
            package.extractall(unpacked)
            for folder, width in [("x86", 32), ("x64", 64)]:
                LoaderView.check_dll(self, os.path.join(unpacked, top, folder, "TunerDLL.dll"),
                                     width)
                tunerctl = os.path.join(unpacked, top, folder, "tunerctl.exe")
                self.assertIn(FORMATS[width], subprocess.run(
                    [OBJDUMP_ANY, "-f", tunerctl], capture_output=True, text=True).stdout)
            for text in texts:
                with open(os.path.join(unpacked, top, text), "rb") as content:
                    data = content.read()
                self.assertNotIn(b"\n", data.replace(b"\r\n", b""), text)
                self.assertIn(b"\r\n", data, text)
            with open(os.path.join(unpacked, top, "tuner.txt"), "rb") as sample:
                self.assertIn(b"=COM1&", sample.read())


if __name__ == "__main__":
    unittest.main()
