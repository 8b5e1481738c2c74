#!/usr/bin/env python3
"""The deployment recipes, taken from the docs and run as the docs show them: the batch scripts and
agents' command lines under Wine's own cmd, with a local folder in place of the share, and the
detection's reading of a stored value against /status. And README.txt, which travels alone in the
zip: it names no page the zip lacks, and shows the usage text exactly as /? prints it.

    recipes_test.py <wine-run> <prefix> <console program> <command recorder> <docs folder>

A recipe is a fenced block right after a line "<!-- recipe: NAME -->" in deployment.md; README.txt
shows each of them too, indented by two spaces. New recipes join by a row in the tables below.
"""
import collections
import json
import math
import os
import re
import shutil
import subprocess
import sys
import unittest

# The registry as the program's other end-to-end test sets and reads it; it takes the same first
# three arguments.
from json_and_log_test import ENV, set_layout, stored_layout

WINE_RUN, PREFIX, PROGRAM, RECORDER, DOCS = sys.argv[1:6]
DEPLOYMENT = os.path.join(DOCS, "deployment.md")
README = os.path.join(DOCS, "README-administrators.txt")
DIALOG_SOURCE = os.path.join(DOCS, os.pardir, "dialog", "MorvexDisablerDlg.cpp")
DRIVE_C = os.path.join(PREFIX, "drive_c")
# The share of the docs, and where the tests put it: a folder the prefix sees as C:\morvex-share.
SHARE_IN_DOCS = "\\\\server\\share"
SHARE = "C:\\morvex-share"
# What the startup scripts make and log to.
LOG_FOLDER = os.path.join(DRIVE_C, "ProgramData", "MorvexDisabler")
# Folders that a deployment agent made before it runs anything: its own logs.
AGENT_LOGS = {
    "intune": os.path.join(DRIVE_C, "ProgramData", "Microsoft", "IntuneManagementExtension", "Logs"),
    "configmgr": os.path.join(DRIVE_C, "windows", "CCM", "Logs"),
}
# The system commands a recipe calls that a test must not run: each is the recorder, under its name.
STAND_INS = ("shutdown", "eventcreate")


def layout(*entries, count=None):
    """A Scancode Map value: the header, the entries (target word, source word, as hex of their
    stored bytes), the terminator; the count as given, else the entries plus the terminator."""
    count = len(entries) + 1 if count is None else count
    return "0000000000000000" + count.to_bytes(4, "little").hex() + "".join(entries) + "00000000"


OFF_LWIN, OFF_RWIN = "00005be0", "00005ce0"
# Another tool's: Caps Lock sent to Left Ctrl; Left Windows sent to Right Alt.
CAPS_TO_CTRL, LWIN_TO_RALT = "1d003a00", "38e05be0"
OTHER_TOOLS = layout(CAPS_TO_CTRL)


def wine(*args, cwd=None):
    """Runs a program of the prefix in a folder of its own, as a script or an agent starts it."""
    return subprocess.run(["wine", *args], env=ENV, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)


def linux_path(windows_path):
    """Where the prefix keeps a path of its drive C:, found as Wine finds it, whatever the case."""
    assert windows_path[:3].upper() == "C:\\", windows_path
    path = DRIVE_C
    for part in windows_path[3:].split("\\"):
        found = [name for name in (os.listdir(path) if os.path.isdir(path) else []) if name.lower() == part.lower()]
        path = os.path.join(path, found[0] if found else part)
    return path


def recipes(text):
    """Each recipe's name, and its fence's language ("" for cmd) and text as the docs show it."""
    pattern = r"^<!-- recipe: ([\w-]+) -->\n```(\w*)\n(.*?)^```$"
    return {m.group(1): (m.group(2), m.group(3)) for m in re.finditer(pattern, text, re.M | re.S)}


def read(path):
    with open(path, encoding="utf-8") as file:
        return file.read()


# How each batch recipe runs: a startup script is a file that cmd runs; an agent's command line runs
# in the folder the agent copied the package's content to, whose logs folder the agent made.
Batch = collections.namedtuple("Batch", "kind agent")
BATCH = {
    "gp-startup": Batch("script", None),
    "gp-rollback": Batch("script", None),
    "intune-install": Batch("command", "intune"),
    "intune-uninstall": Batch("command", "intune"),
    "configmgr-install": Batch("command", "configmgr"),
    "configmgr-uninstall": Batch("command", "configmgr"),
}

# One run of a recipe, on the machine the earlier steps of its case left. before: the stored value
# first (None: as it is). setup: "no log folder", "log is a folder" (the log cannot be opened),
# "no share" (the share cannot be reached). calls: what the stand-ins were asked, in order, each
# as its start. log: the exit codes the recipe's log ends with.
Step = collections.namedtuple("Step", "recipe before setup exit after calls log", defaults=(None, None, 0, None, (), ()))
BOTH_OFF = layout(CAPS_TO_CTRL, OFF_LWIN, OFF_RWIN)
RESTART = 'shutdown /r /t 60 /d p:2:4 /c "Keyboard layout changed by policy"'
EVENT = 'eventcreate /l APPLICATION /so MorvexDisabler /t ERROR /id 1 /d "Startup script: MorvexDisabler ended with '
STARTUP_LOG = "C:\\ProgramData\\MorvexDisabler\\MorvexDisabler.log"
CASES = {
    "StartupScriptMakesItsLogFolderStoresAndRestartsOnceThenTheRollbackRestores": [
        Step("gp-startup", OTHER_TOOLS, "no log folder", 0, BOTH_OFF, [RESTART], ["3010"]),
        Step("gp-rollback", None, None, 0, OTHER_TOOLS, [RESTART], ["3010", "3010"]),
    ],
    "StartupScriptTellsTheEventLogWhatFailed": [
        Step("gp-startup", OTHER_TOOLS, "log is a folder", 1, OTHER_TOOLS, [EVENT + "1622. See " + STARTUP_LOG + '."']),
        Step("gp-startup", OTHER_TOOLS, "no share", 1, OTHER_TOOLS, [EVENT + "9009. See " + STARTUP_LOG + '."']),
    ],
    "IntuneInstallsAndUninstalls": [
        Step("intune-install", OTHER_TOOLS, None, 3010, BOTH_OFF, [], ["3010"]),
        Step("intune-uninstall", None, None, 3010, OTHER_TOOLS, [], ["3010", "3010"]),
    ],
    "ConfigurationManagerInstallsAndUninstalls": [
        Step("configmgr-install", OTHER_TOOLS, None, 3010, BOTH_OFF, [], ["3010"]),
        Step("configmgr-uninstall", None, None, 3010, OTHER_TOOLS, [], ["3010", "3010"]),
    ],
}

# Values that map a key twice, and others where the byte rules matter: what the documented
# detection finds must be what /status shows.
DETECTION_CASES = {
    "SwitchedOffThenRemappedByAnotherTool": (layout(OFF_LWIN, LWIN_TO_RALT, OFF_RWIN), "Left Windows: remapped to Right Alt"),
    "RemappedThenSwitchedOff": (layout(LWIN_TO_RALT, OFF_LWIN, OFF_RWIN), "Left Windows: disabled"),
    "BothSwitchedOff": (BOTH_OFF, "Right Windows: disabled"),
    "ACountThatPromisesMoreThanTheValueHolds": (layout(OFF_LWIN, OFF_RWIN, count=9), "Right Windows: disabled"),
    "ACountThatLeavesOneOut": (layout(OFF_LWIN, OFF_RWIN, count=2), "Right Windows: enabled"),
}


# The PowerShell that the value-reading detection may use, and what it means here. Debian has no
# PowerShell (Wine's powershell.exe is a stub), so the script runs as Python, line for line: a
# script that uses anything else fails the test rather than go untried.
POWERSHELL = [
    (r"\[(long|int)\]", ""),
    (r"\[BitConverter\]::ToUInt(16|32)\(", r"to_uint\1("),
    (r"\[Math\]::Floor\(", "math.floor("),
    (r"\[Math\]::Min\(", "min("),
    (r"\$(\w+) -is \[byte\[\]\]", r"isinstance(\1, bytes)"),
    (r"\$(\w+)\.Length", r"len(\1)"),
    (r"@\{\}", "Hashtable()"),
    (r"Write-Output ('\w+')", r"output.append(\1)"),
    (r" -and ", " and "), (r" -eq ", " == "), (r" -gt ", " > "), (r" -ge ", " >= "), (r" -lt ", " < "),
    (r"\$(\w+)", r"\1"),
]


class Hashtable(dict):
    """A PowerShell hashtable: a missing key reads as $null."""

    def __missing__(self, key):
        return None


def run_powershell_detection(script, value):
    """What the value-reading detection writes for a stored value (bytes, or another type's data)."""
    python, indent, loop_steps = [], "", []
    for line in script.splitlines():
        line = line.strip()
        if not line or line.startswith("#") or line.startswith("$key = "):
            continue
        if line.startswith("$map = (Get-ItemProperty"):
            python.append(indent + "map = value")
            continue
        for pattern, replacement in POWERSHELL:
            line = re.sub(pattern, replacement, line)
        single = re.fullmatch(r"if \((.*)\) \{ (.*) \}", line)
        block = re.fullmatch(r"if \((.*)\) \{", line)
        loop = re.fullmatch(r"for \((\w+) = (.*); (.*); (\w+)\+\+\) \{", line)
        if single:
            python.append(indent + "if %s: %s" % single.groups())
        elif block:
            python.append(indent + "if %s:" % block.group(1))
            loop_steps.append(None)
            indent += "    "
        elif loop:
            python += [indent + "%s = %s" % loop.group(1, 2), indent + "while %s:" % loop.group(3)]
            loop_steps.append(loop.group(4) + " += 1")
            indent += "    "
        elif line == "}":
            step = loop_steps.pop()
            if step:
                python.append(indent + step)
            indent = indent[:-4]
        else:
            assert re.fullmatch(r"[\w\[\]() ,.+*/=-]+", line), "PowerShell this test cannot run: " + line
            python.append(indent + line)
    output = []
    to_uint16 = lambda data, at: int.from_bytes(data[at:at + 2], "little")
    to_uint32 = lambda data, at: int.from_bytes(data[at:at + 4], "little")
    exec("\n".join(python), {"math": math, "Hashtable": Hashtable, "to_uint16": to_uint16, "to_uint32": to_uint32,
                            "value": value, "output": output})
    return output


class RecipesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        subprocess.run([WINE_RUN, "--prefix-only"], check=True)
        wine("reg", "delete", r"HKCU\Software\MorvexSoft", "/f")
        cls.languages = {name: language for name, (language, _) in recipes(read(DEPLOYMENT)).items()}
        cls.recipes = {name: text for name, (_, text) in recipes(read(DEPLOYMENT)).items()}
        cls.readme = read(README)
        cls.work = linux_path("C:\\morvex-recipes")

    def setUp(self):
        for folder in (self.work, linux_path(SHARE), LOG_FOLDER, *AGENT_LOGS.values()):
            shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(self.work)
        for name in STAND_INS:
            shutil.copy(RECORDER, os.path.join(self.work, name + ".exe"))

    def tearDown(self):
        set_layout(None)
        for folder in (self.work, linux_path(SHARE), LOG_FOLDER, *AGENT_LOGS.values()):
            shutil.rmtree(folder, ignore_errors=True)

    def put_share(self):
        """The share's tree as the docs name it, with the program where the scripts look for it."""
        for match in re.finditer(re.escape(SHARE_IN_DOCS) + r"(\\[^\"\s]+)\\MorvexDisabler\.com", self.recipes["gp-startup"]):
            target = linux_path(SHARE + match.group(1) + "\\MorvexDisabler.com")
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copy(PROGRAM, target)

    def run_recipe(self, name):
        """Runs the recipe as the docs show it, the share's name changed, in the work folder, where
        cmd finds the stand-ins before the system's commands."""
        batch = BATCH[name]
        text = self.recipes[name].replace(SHARE_IN_DOCS, SHARE)
        if batch.kind == "script":
            with open(os.path.join(self.work, name + ".cmd"), "w", newline="\r\n") as file:
                file.write(text)
            return wine("cmd", "/c", "C:\\morvex-recipes\\" + name + ".cmd", cwd=self.work)
        os.makedirs(AGENT_LOGS[batch.agent], exist_ok=True)
        shutil.copy(PROGRAM, os.path.join(self.work, "MorvexDisabler.com"))
        (command,) = text.splitlines()
        return wine("cmd", "/c", command, cwd=self.work)

    def calls(self):
        path = os.path.join(self.work, "calls.txt")
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8-sig") as file:
            return file.read().splitlines()

    def logged_exits(self, name):
        """The exit codes of the lines in the log the recipe names."""
        match = re.search(r"/log \"?([^\"\r\n]+?)\"?$", self.recipes[name], re.M)
        path = match.group(1).replace("%LOG%", STARTUP_LOG)
        if not os.path.exists(linux_path(path)):
            return []
        with open(linux_path(path), encoding="utf-8") as file:
            return [line.rsplit("exit=", 1)[1] for line in file.read().splitlines()]

    def test_every_batch_recipe_of_the_docs_is_run_here_and_shown_in_readme(self):
        run = {step.recipe for steps in CASES.values() for step in steps}
        batch = {name for name, language in self.languages.items() if language == ""}
        self.assertEqual(set(BATCH), batch)
        self.assertEqual(set(BATCH), run)
        for name, text in self.recipes.items():
            with self.subTest(name):
                indented = "".join("  " + line if line else line for line in text.splitlines(True))
                self.assertTrue(indented in self.readme, "README.txt does not show it as deployment.md does")

    def test_batch_recipes_do_what_the_docs_say(self):
        for case, steps in CASES.items():
            with self.subTest(case):
                self.setUp()
                for step in steps:
                    if step.before is not None:
                        set_layout(step.before)
                    if step.setup != "no share":
                        self.put_share()
                    else:
                        shutil.rmtree(linux_path(SHARE), ignore_errors=True)
                    if step.setup == "log is a folder":
                        os.makedirs(os.path.join(LOG_FOLDER, "MorvexDisabler.log"))
                    if step.setup == "no log folder":
                        self.assertFalse(os.path.exists(LOG_FOLDER))
                    calls_before = len(self.calls())

                    result = self.run_recipe(step.recipe)
                    self.assertEqual(step.exit & 0xFF, result.returncode, (step, result))
                    self.assertEqual(step.after, stored_layout(), step)
                    new_calls = self.calls()[calls_before:]
                    self.assertEqual(len(step.calls), len(new_calls), (step, new_calls))
                    for expected, call in zip(step.calls, new_calls):
                        self.assertTrue(call.startswith(expected), (expected, call))
                    if step.log:
                        self.assertEqual(list(step.log), self.logged_exits(step.recipe))
                    if BATCH[step.recipe].kind == "script":
                        self.assertTrue(os.path.isdir(LOG_FOLDER))

    def test_detection_reads_a_key_mapped_twice_as_status_does(self):
        """The documented detections, one over the program's /status /json and one over the stored
        bytes, against the /status lines."""
        condition = re.search(r"^\s*if \((\$r\.keys.*?)\) \{ Write-Output 'Installed' \}$", self.recipes["detect-by-program"], re.M).group(1)
        terms = re.findall(r"\$r\.keys\.(\w+)\.state -eq '(\w+)'", condition)
        self.assertEqual(" -and ".join("$r.keys.%s.state -eq '%s'" % term for term in terms), condition, "a condition this test cannot read")
        for case, (value, shown) in DETECTION_CASES.items():
            with self.subTest(case):
                set_layout(value)
                lines = wine(PROGRAM, "/status").stdout.decode("utf-8").replace("\r\n", "\n")
                self.assertIn(shown + "\n", lines)
                status = json.loads(wine(PROGRAM, "/status", "/json").stdout)
                detected = all(status["keys"][key]["state"] == state for key, state in terms)
                labels = {"LWin": "Left Windows", "RWin": "Right Windows"}
                both_off = all("%s: disabled\n" % labels[key] in lines for key, _ in terms)
                self.assertEqual(both_off, detected)
                read = run_powershell_detection(self.recipes["detect-by-value"], bytes.fromhex(value))
                self.assertEqual(["Installed"] if both_off else [], read)

    def test_readme_stands_alone_and_shows_the_usage_as_the_program_prints_it(self):
        self.assertIsNone(re.search(r"docs/|\.md\b", self.readme), "a page the zip does not hold")
        address = re.search(r'WebAddress\[\] = L"([^"]+)"', read(DIALOG_SOURCE)).group(1)
        self.assertIn(address, self.readme)
        usage = wine(PROGRAM, "/?").stdout.decode("utf-8").replace("\r\n", "\n")
        start = self.readme.index("\n  Usage: ") + 1
        block = []
        for line in self.readme[start:].split("\n"):
            if line and not line.startswith("  "):
                break
            block.append(line[2:])
        self.assertEqual(usage.rstrip("\n"), "\n".join(block).rstrip("\n"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
