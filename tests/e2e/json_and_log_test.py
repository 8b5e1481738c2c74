#!/usr/bin/env python3
"""The program's /json object and /log lines, read the way a script reads them: the object parsed by a
real JSON parser, the log line by line. Runs the built program under Wine in the tree's prefix.

    json_and_log_test.py <wine-run> <prefix> <program>
"""
import concurrent.futures
import datetime
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

WINE_RUN, PREFIX, PROGRAM = sys.argv[1:4]
MACHINE_LAYOUT = r"HKLM\SYSTEM\CurrentControlSet\Control\Keyboard Layout"
# The program's volatile key.
RESTART_PENDING = r"HKLM\SOFTWARE\MorvexSoft\MorvexDisabler\RestartPending"
ISO_TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$")
# Caps Lock sent to Left Ctrl, Left Windows switched off.
REMAP_AND_LWIN = "000000000000000003000000" "1d003a00" "00005be0" "00000000"


ENV = dict(os.environ, WINEPREFIX=PREFIX, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
ENV.pop("DISPLAY", None)


def wine(*args, stdin=subprocess.DEVNULL):
    """Runs a program of the prefix with its standard output and error apart, as a script sees them."""
    return subprocess.run(["wine", *args], env=ENV, stdin=stdin, capture_output=True, timeout=60)


def restart_server():
    """Wine's stand-in for a restart. The new server stays 30 s after its last program, as wine-run's,
    and starts Wine's background processes at once, where no captured output waits for them."""
    for args in (["wineserver", "-k"], ["wineserver", "-w"], ["wineserver", "-p30"], ["wine", "wineboot"]):
        subprocess.run(args, env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)


def key_exists(key):
    """In the 64-bit view, where both programs keep their key; `wine reg` may run the 32-bit reg.exe."""
    return wine("reg", "query", key, "/reg:64").returncode == 0


def program(*args):
    return wine(PROGRAM, *args)


def set_layout(hex_value):
    wine("reg", "delete", MACHINE_LAYOUT, "/v", "Scancode Map", "/f")
    if hex_value:
        assert wine("reg", "add", MACHINE_LAYOUT, "/v", "Scancode Map", "/t", "REG_BINARY", "/d", hex_value, "/f").returncode == 0


def stored_layout():
    out = wine("reg", "query", MACHINE_LAYOUT, "/v", "Scancode Map").stdout.decode("ascii", "replace")
    match = re.search(r"REG_BINARY\s+([0-9A-Fa-f]*)", out)
    return match.group(1).lower() if match else None


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class JsonAndLogTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        subprocess.run([WINE_RUN, "--prefix-only"], check=True)
        wine("reg", "delete", r"HKCU\Software\MorvexSoft", "/f")

    def setUp(self):
        set_layout(REMAP_AND_LWIN)
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        set_layout(None)
        self.folder.cleanup()

    def run_json(self, *args):
        """The one line the program prints on its standard output, parsed, and the exit code."""
        result = program(*args, "/json")
        lines = result.stdout.decode("utf-8").splitlines()
        self.assertEqual(1, len(lines), result.stdout)
        return json.loads(lines[0]), result

    def assert_fields(self, obj, **expected):
        self.assertEqual(["ok", "exitCode", "scope", "registryPath", "valueType", "keys", "otherMappings", "written",
                          "storedAt", "windowsStartedAt", "inEffect", "message"], list(obj))
        for name, value in expected.items():
            self.assertEqual(value, obj[name], name)

    def test_a_change_a_status_and_bad_arguments_print_one_object_each(self):
        obj, result = self.run_json("/disable", "RWin,CapsLock")
        self.assertEqual(3010 & 0xFF, result.returncode)
        self.assert_fields(obj, ok=True, exitCode=3010, scope="allUsers", registryPath="HKEY_LOCAL_MACHINE\\" + MACHINE_LAYOUT[5:],
                           valueType="binary", otherMappings=0, written=True, inEffect=False,
                           message="Stored. Restart the computer for the changes to be in effect.")
        self.assertEqual({"LWin": {"state": "disabled"}, "RWin": {"state": "disabled"}, "CapsLock": {"state": "disabled"},
                          "LCtrl": {"state": "enabled"}}, obj["keys"])
        self.assertRegex(obj["storedAt"], ISO_TIME)
        self.assertRegex(obj["windowsStartedAt"], ISO_TIME)
        self.assertEqual(b"", result.stderr)

        set_layout(REMAP_AND_LWIN)
        obj, result = self.run_json("/status")
        self.assertEqual(0, result.returncode)
        self.assert_fields(obj, ok=True, exitCode=0, written=False, inEffect=False, message=None, otherMappings=0)
        self.assertEqual({"state": "remapped", "target": "LCtrl"}, obj["keys"]["CapsLock"])
        self.assertGreater(obj["storedAt"], obj["windowsStartedAt"])

        obj, result = self.run_json("/disable", "LWin", "/bogus")
        self.assertEqual(87, result.returncode)
        self.assert_fields(obj, ok=False, exitCode=87, valueType=None, keys=None, otherMappings=None, written=False,
                           storedAt=None, windowsStartedAt=None, inEffect=None, message='Unknown switch "/bogus".')
        self.assertIn(b'Unknown switch "/bogus".', result.stderr)
        self.assertEqual(REMAP_AND_LWIN, stored_layout())

    def test_each_run_appends_its_line_and_a_log_that_cannot_be_opened_changes_nothing(self):
        log = os.path.join(self.folder.name, "morvex.log")
        # Two runs at once, each with its own change: both land, each line whole.
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            runs = list(pool.map(lambda key: program("/disable", key, "/log", windows_path(log), "/quiet"), ["RWin", "LCtrl"]))
        self.assertEqual([3010 & 0xFF] * 2, [run.returncode for run in runs])
        with open(log, "rb") as file:
            lines = file.read().decode("utf-8").split("\r\n")
        self.assertEqual("", lines.pop())
        self.assertEqual(2, len(lines))
        fields = [dict(field.split("=", 1) for field in line.split("\t")[1:]) for line in lines]
        self.assertEqual({"/disable RWin /log " + windows_path(log) + " /quiet", "/disable LCtrl /log " + windows_path(log) + " /quiet"},
                         {f["args"] for f in fields})
        for line, f in zip(lines, fields):
            self.assertRegex(line.split("\t")[0], ISO_TIME)
            self.assertEqual(["computer", "account", "args", "before", "after", "exit"], list(f))
            self.assertEqual("3010", f["exit"])
        # The second run read what the first one wrote.
        first, second = sorted(fields, key=lambda f: len(f["before"]))
        self.assertEqual(REMAP_AND_LWIN.upper(), first["before"])
        self.assertEqual(first["after"], second["before"])
        self.assertEqual(second["after"].lower(), stored_layout())

        # A run that read nothing logs the values as unknown.
        self.assertEqual(87, program("/disable", "LWin", "/bogus", "/log", windows_path(log), "/quiet").returncode)
        with open(log, "rb") as file:
            last = file.read().decode("utf-8").split("\r\n")[-2]
        self.assertTrue(last.endswith("\tbefore=unknown\tafter=unknown\texit=87"), last)

        set_layout(REMAP_AND_LWIN)
        obj, result = self.run_json("/enable", "All", "/log", windows_path(os.path.join(self.folder.name, "missing", "morvex.log")))
        self.assertEqual(1622 & 0xFF, result.returncode)
        self.assert_fields(obj, ok=False, exitCode=1622, written=False, keys=None)
        self.assertIn("Nothing was changed.", obj["message"])
        self.assertEqual(REMAP_AND_LWIN, stored_layout())

    def test_a_stored_change_waits_for_the_restart_and_no_longer(self):
        """The prefix's server keeps the volatile key in memory only, as Windows does until it restarts."""
        restart_server()
        self.assertEqual(3010 & 0xFF, program("/disable", "RWin").returncode)
        self.assertTrue(key_exists(RESTART_PENDING))
        stored = stored_layout()

        restart_server()
        self.assertFalse(key_exists(RESTART_PENDING))
        self.assertEqual(stored, stored_layout())
        # The times decide again; under Wine, Windows "started" with the host, so they say "not yet".
        obj, result = self.run_json("/status")
        times_say = datetime.datetime.fromisoformat(obj["storedAt"]) < datetime.datetime.fromisoformat(obj["windowsStartedAt"])
        self.assertEqual((0, times_say), (result.returncode, obj["inEffect"]))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
