#!/usr/bin/env python3
"""The program's /json object and /log lines, read the way a script reads them: the object parsed by a
real JSON parser, the log line by line. Runs the built program under Wine in the tree's prefix.

    json_and_log_test.py <wine-run> <prefix> <program>

Given the DSC resource's manifest and a program that holds the layout's turn, it plays DSC instead:
it runs each operation the way the manifest says, and reads what comes back the way dsc does.

    json_and_log_test.py <wine-run> <prefix> <console program> <manifest> <layout holder>
"""
import concurrent.futures
import datetime
import json
import os
import re
import subprocess
import sys
import tempfile
import threading
import time
import unittest

WINE_RUN, PREFIX, PROGRAM = sys.argv[1:4]
MANIFEST, LAYOUT_HOLDER = (sys.argv[4:6] + [None, None])[:2]
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


def age_machine_layout():
    """Dates the all-users layout's key to 2001, long before the start: the server saves the registry
    as it ends, and reads the key's time back from the prefix's file as it starts again."""
    for args in (["wineserver", "-k"], ["wineserver", "-w"]):
        subprocess.run(args, env=ENV, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    path = os.path.join(PREFIX, "system.reg")
    with open(path, encoding="latin-1", newline="") as file:
        text = file.read()
    unix_2001 = 978307200
    filetime_2001 = (unix_2001 + 11644473600) * 10 ** 7
    text, count = re.subn(r"(\[System\\\\CurrentControlSet\\\\Control\\\\Keyboard Layout\] )\d+(\r?\n#time=)[0-9a-f]+",
                          rf"\g<1>{unix_2001}\g<2>{filetime_2001:x}", text)
    assert count == 1, "the layout's key is not in the prefix's registry"
    with open(path, "w", encoding="latin-1", newline="") as file:
        file.write(text)
    restart_server()


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


def dsc_diff(expected, actual):
    """The properties DSC lists as differing between a desired state and the state a resource
    reported (its get_diff): each member desired that the report lacks or holds otherwise; objects
    compared member by member, arrays in any order; _exist true unless said otherwise."""
    expected, actual = dict(expected, _exist=expected.get("_exist", True)), dict(actual)
    actual.setdefault("_exist", True)
    differing = []
    for name, value in expected.items():
        if isinstance(value, dict):
            if not isinstance(actual.get(name), dict) or dsc_diff(value, actual[name]):
                differing.append(name)
        elif name == "$schema":
            continue
        elif isinstance(value, list):
            other = actual.get(name)
            if not isinstance(other, list) or len(value) != len(other) or any(item not in other for item in value):
                differing.append(name)
        elif name not in actual or actual[name] != value:
            differing.append(name)
    return differing


def what_if_refusal(manifest, version):
    """Why DSC refuses `dsc config set --what-if` for a resource of this manifest, or None. A set
    that takes a what-if argument previews itself; 3.0 and 3.1 know no such argument and refuse the
    manifest. Otherwise DSC runs test in set's place; from 3.2 on it cannot when the manifest says
    set tests for itself."""
    set_method = manifest["set"]
    native = any(isinstance(arg, dict) and "whatIfArg" in arg for arg in set_method.get("args", []))
    if native and version < (3, 2):
        return "unknown argument kind whatIfArg"
    if not native and "whatIf" not in manifest and set_method.get("implementsPretest") and version >= (3, 2):
        return "resource implements pre-test and does not support what-if"
    return None


# What WinGet knows as a DSC v3 configuration (its schema 0.3), compared as a plain string.
WINGET_DSC_SCHEMA = "https://raw.githubusercontent.com/PowerShell/DSC/main/schemas/2023/08/config/document.json"
DOCS = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, "docs")


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

    def test_keys_beyond_the_four_and_the_pairs_ctrl_alt_del_needs(self):
        # Beside the remap and Left Windows already stored, in the table's order.
        obj, result = self.run_json("/disable", "Apps,sleep,LALT")
        self.assertEqual(3010 & 0xFF, result.returncode)
        added = REMAP_AND_LWIN[:16] + "06" + REMAP_AND_LWIN[18:-8] + "00005de0" "00003800" "00005fe0" "00000000"
        self.assertEqual(added, stored_layout())
        self.assertEqual(["LWin", "RWin", "CapsLock", "LCtrl", "Apps", "LAlt", "Sleep"], list(obj["keys"]))
        self.assertEqual({"state": "disabled"}, obj["keys"]["Sleep"])
        self.assertEqual(0, obj["otherMappings"])
        result = program("/status")
        self.assertEqual(0, result.returncode)
        self.assertIn("Left Ctrl: enabled\r\nApplication: disabled\r\nLeft Alt: disabled\r\nSleep: disabled\r\n"
                      "Scope: all users", result.stdout.decode("utf-8"))

        obj, result = self.run_json("/enable", "apps")
        self.assertEqual(3010 & 0xFF, result.returncode)
        self.assertEqual(added.replace("00005de0", "").replace("000006000000", "000005000000"), stored_layout())
        self.assertNotIn("Apps", obj["keys"])

        # Another tool's value: read as the key switched off, and switched on by Disabled with the
        # table's others; the other tool's remap and its mapping of a key outside the table stay.
        set_layout("000000000000000004000000" "1d003a00" "00005de0" "00003000" "00000000")
        obj, _ = self.run_json("/status")
        self.assertEqual({"state": "disabled"}, obj["keys"]["Apps"])
        self.assertEqual(1, obj["otherMappings"])
        obj, result = self.run_json("/enable", "Disabled")
        self.assertEqual((3010 & 0xFF, True), (result.returncode, obj["written"]))
        self.assertEqual("000000000000000003000000" "1d003a00" "00003000" "00000000", stored_layout())

        # Both Ctrl keys, at once or in two runs, and both Alt keys: refused, nothing written.
        set_layout(REMAP_AND_LWIN)
        self.assertEqual(3010 & 0xFF, program("/disable", "RCtrl").returncode)
        stored = stored_layout()
        for args in (("/disable", "LCtrl,RCtrl"), ("/disable", "LCtrl"), ("/disable", "RAlt,LAlt", "/enable", "RCtrl")):
            with self.subTest(args=args):
                obj, result = self.run_json(*args)
                self.assertEqual(87, result.returncode)
                self.assert_fields(obj, ok=False, exitCode=87, written=False)
                self.assertIn("on a computer that asks for Ctrl+Alt+Del at sign-in, nobody could sign in.", obj["message"])
                self.assertIn("Nothing was changed.", result.stderr.decode("utf-8"))
                self.assertEqual(stored, stored_layout())

        obj, result = self.run_json("/disable", "Apps,F25")
        self.assertEqual(87, result.returncode)
        self.assertIn('Unknown key "F25"', obj["message"])
        self.assertIn("the others that /? and README.txt list.", obj["message"])
        self.assertEqual(stored, stored_layout())

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

        # A folder on the way that leads elsewhere, as a junction a user made would: Wine sees a
        # Unix symbolic link as Windows sees a junction, and opens the file it leads to.
        elsewhere = os.path.join(self.folder.name, "elsewhere")
        os.mkdir(elsewhere)
        os.symlink(elsewhere, os.path.join(self.folder.name, "logs"))
        obj, result = self.run_json("/enable", "All", "/log", windows_path(os.path.join(self.folder.name, "logs", "morvex.log")))
        self.assertEqual(1622 & 0xFF, result.returncode)
        self.assertIn("its folders lead to", obj["message"])
        self.assertIn("elsewhere", obj["message"])
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


# The rules of DSC's published resource-manifest schema (aka.ms/dsc/schemas/v3/bundled/resource/
# manifest.json) that a command resource's manifest must meet, written out: the tests reach no
# network. Stricter in one way: an operation may hold only the members DSC knows, so that a
# misspelt one cannot pass unnoticed, as DSC would ignore it.
SEMVER = (r"^(0|[1-9]\d*)\.(0|[1-9]\d*)\.(0|[1-9]\d*)(?:-((?:0|[1-9]\d*|\d*[a-zA-Z-][0-9a-zA-Z-]*)"
          r"(?:\.(?:0|[1-9]\d*|\d*[a-zA-Z-][0-9a-zA-Z-]*))*))?(?:\+([0-9a-zA-Z-]+(?:\.[0-9a-zA-Z-]+)*))?$")
COMMAND_ARGS = {"type": "array", "items": {"oneOf": [
    {"type": "string"},
    {"type": "object", "required": ["jsonInputArg"], "additionalProperties": False,
     "properties": {"jsonInputArg": {"type": "string"}, "mandatory": {"type": "boolean"}}}]}}


def operation_rules(**members):
    return {"type": "object", "required": ["executable"], "additionalProperties": False,
            "properties": {"executable": {"type": "string", "minLength": 1}, "args": COMMAND_ARGS,
                           "input": {"enum": ["env", "stdin"]},
                           "requireSecurityContext": {"enum": ["current", "elevated", "restricted"]}, **members},
            # The instance reaches the command through input or a JSON argument.
            "anyOf": [{"required": ["input"]},
                      {"required": ["args"], "properties": {"args": {"contains": {"type": "object"}}}}]}


RETURN_KIND = {"enum": ["state", "stateAndDiff"]}
RESOURCE_MANIFEST_RULES = {
    "$schema": "https://json-schema.org/draft/2020-12/schema",
    "type": "object",
    "required": ["$schema", "type", "version"],
    "additionalProperties": False,
    "properties": {
        "$schema": {"enum": [f"https://aka.ms/dsc/schemas/v3{minor}/{bundled}resource/manifest{vscode}.json"
                             for minor in ("", ".0", ".1") for bundled in ("", "bundled/")
                             for vscode in ("", ".vscode") if bundled or not vscode]},
        "type": {"type": "string", "pattern": r"^\w+(\.\w+){0,3}\/\w+$"},
        "version": {"type": "string", "pattern": SEMVER},
        "description": {"type": "string"},
        "kind": {"enum": ["resource", "adapter", "group", "importer", "exporter"]},
        "tags": {"type": "array", "uniqueItems": True, "items": {"type": "string", "pattern": r"^\w+$"}},
        "get": operation_rules(),
        "set": operation_rules(implementsPretest={"type": "boolean"}, handlesExist={"type": "boolean"}, **{"return": RETURN_KIND}),
        "whatIf": operation_rules(implementsPretest={"type": "boolean"}, handlesExist={"type": "boolean"}, **{"return": RETURN_KIND}),
        "test": operation_rules(**{"return": RETURN_KIND}),
        "delete": operation_rules(),
        "export": operation_rules(),
        "validate": operation_rules(),
        "schema": {"type": "object", "oneOf": [{"required": ["command"]}, {"required": ["embedded"]}],
                   "properties": {"command": {"type": "object", "required": ["executable"], "additionalProperties": False,
                                              "properties": {"executable": {"type": "string", "minLength": 1},
                                                             "args": {"type": "array", "items": {"type": "string"}}}},
                                  "embedded": {"type": "object"}}},
        "exitCodes": {"type": "object", "propertyNames": {"pattern": "^-?[0-9]+$"}, "additionalProperties": {"type": "string"}},
    },
}
USER_SETTINGS = r"HKCU\Software\MorvexSoft\Morvex Disabler by MorvexSoft\Settings"
USER_LAYOUT = r"HKCU\Keyboard Layout"
# Another tool's: Caps Lock sent to Left Ctrl, Scroll Lock switched off.
OTHER_TOOLS = "1d003a00" "00004600"
# Right Windows sent to Right Alt by another tool, Caps Lock to Left Ctrl, Left Windows switched off.
REMAPS = "000000000000000004000000" "38e05ce0" "1d003a00" "00005be0" "00000000"


def layout(mappings):
    """A well-formed stored value of these mappings, each as eight hex digits."""
    return f"0000000000000000{len(mappings) // 8 + 1:02x}000000{mappings}00000000"


class DscResourceTest(unittest.TestCase):
    """Each operation run as the manifest says (executable, arguments, the instance on the standard
    input), and its output read as dsc reads it: one instance on the standard output, valid against
    the schema the resource prints; trace lines on the standard error; an exit code the manifest
    describes."""

    @classmethod
    def setUpClass(cls):
        import jsonschema
        cls.jsonschema = jsonschema
        subprocess.run([WINE_RUN, "--prefix-only"], check=True)
        with open(MANIFEST, encoding="utf-8") as file:
            cls.manifest = json.load(file)
        cls.folder = os.path.dirname(os.path.abspath(MANIFEST))
        out = wine("cmd", "/c", "echo %COMPUTERNAME%").stdout.decode("ascii").strip()
        cls.computer = out
        command = cls.manifest["schema"]["command"]
        result = wine(cls.path_of(command["executable"]), *command["args"])
        lines = result.stdout.decode("utf-8").splitlines()
        assert result.returncode == 0 and len(lines) == 1, result
        cls.schema = json.loads(lines[0])

    @classmethod
    def path_of(cls, executable):
        """The executable as DSC finds it: beside the manifest."""
        path = os.path.join(cls.folder, executable)
        assert os.path.isfile(path), path
        return path

    def setUp(self):
        wine("reg", "delete", r"HKCU\Software\MorvexSoft", "/f")
        wine("reg", "delete", USER_LAYOUT, "/v", "Scancode Map", "/f")
        set_layout(None)

    def tearDown(self):
        set_layout(None)
        wine("reg", "delete", r"HKCU\Software\MorvexSoft", "/f")

    def invoke(self, operation, instance=None):
        """Runs the operation as dsc does; the exit code, the instance printed (or None) and the trace
        lines. instance is what goes on the standard input: bytes as they are, anything else as
        compressed JSON, as dsc sends it; None sends nothing."""
        method = self.manifest[operation]
        self.assertEqual("stdin", method["input"])
        if instance is not None and not isinstance(instance, bytes):
            instance = json.dumps(instance, separators=(",", ":")).encode("utf-8")
        result = subprocess.run(["wine", self.path_of(method["executable"]), *method["args"]], env=ENV,
                                input=instance if instance is not None else b"",
                                capture_output=True, timeout=60)
        # Linux keeps a process's exit code modulo 256; the manifest's codes stay apart even so.
        codes = {int(code) & 0xFF: int(code) for code in self.manifest["exitCodes"]}
        self.assertIn(result.returncode, codes)
        code = codes[result.returncode]
        trace = []
        for line in result.stderr.decode("utf-8").splitlines():
            entry = json.loads(line)
            self.assertEqual(1, len(entry), line)
            [(level, message)] = entry.items()
            self.assertIn(level, ("error", "warn", "info"))
            self.assertIsInstance(message, str)
            trace.append((level, message))
        self.assertEqual(code != 0, any(level == "error" for level, _ in trace), trace)
        # Nothing but the instance: one line when the operation succeeded, nothing when it failed;
        # with "stateAndDiff", a second line lists the properties changed.
        lines = result.stdout.decode("utf-8").splitlines()
        two_lines = method.get("return") == "stateAndDiff"
        self.assertEqual(0 if code else 2 if two_lines else 1, len(lines), result.stdout)
        state = json.loads(lines[0]) if lines else None
        if state is not None:
            self.jsonschema.Draft202012Validator(self.schema).validate(state)
        self.changed = json.loads(lines[1]) if two_lines and lines else None
        if self.changed is not None:
            self.assertTrue(set(self.changed) <= set(self.schema["properties"]) and not any(p.startswith("_") for p in self.changed),
                            self.changed)
        # DSC diffs the desired state with test's report itself: the two agree with the verdict.
        if operation == "test" and state is not None and not isinstance(instance, bytes) and instance is not None:
            self.assertEqual(state["_inDesiredState"], not dsc_diff(instance, state), (instance, state))
        return code, state, trace

    def status(self):
        result = program("/status", "/json")
        self.assertEqual(0, result.returncode)
        return json.loads(result.stdout.decode("utf-8"))

    def assert_restart_as_status_reads_it(self, state):
        """_restartRequired names this computer exactly while /status says what is stored is not in effect."""
        if self.status()["inEffect"] is False:
            self.assertEqual([{"system": self.computer}], state.get("_restartRequired"))
        else:
            self.assertNotIn("_restartRequired", state)

    def test_the_manifest_meets_dscs_rules_and_the_schema_is_json_schema(self):
        self.jsonschema.Draft202012Validator(RESOURCE_MANIFEST_RULES).validate(self.manifest)
        # DSC tests first and skips set when nothing differs, and answers a what-if from test; set
        # lists what it changed itself, and may be refused unelevated. test returns one line: some
        # DSC versions check all of test's output against the schema as one instance.
        set_method = self.manifest["set"]
        self.assertEqual(("stateAndDiff", "elevated", "state"),
                         (set_method["return"], set_method["requireSecurityContext"], self.manifest["test"]["return"]))
        # The what-if rule on every stable DSC, and that it bites the forms that fail.
        pretest = dict(self.manifest, set=dict(set_method, implementsPretest=True))
        what_if_arg = dict(self.manifest, set=dict(set_method, args=set_method["args"] + [{"whatIfArg": "/whatif"}]))
        for manifest, refused_by in ((self.manifest, []), (pretest, [(3, 2), (3, 3), (3, 4)]), (what_if_arg, [(3, 0), (3, 1)])):
            for version in ((3, 0), (3, 1), (3, 2), (3, 3), (3, 4)):
                self.assertEqual(version in refused_by, what_if_refusal(manifest, version) is not None, (manifest["set"], version))
        self.jsonschema.Draft202012Validator.check_schema(self.schema)
        keys = set(self.schema["$defs"]["key"]["enum"])
        self.assertEqual(58, len(keys))
        self.assertTrue({"LWin", "RWin", "CapsLock", "LCtrl", "Apps", "RCtrl", "LAlt", "RAlt", "F1", "F24", "BrowserHome",
                         "LaunchMail", "VolumeMute", "Sleep"} <= keys)
        self.assertEqual(keys | {"remappedTo", "_inDesiredState", "_restartRequired"}, set(self.schema["properties"]))
        self.assertIn("all-users", self.schema["description"])

    def test_test_then_set_then_test_and_a_second_set_that_writes_nothing(self):
        # The program's scope says the current user; the resource manages the all-users value all the same.
        self.assertEqual(0, wine("reg", "add", USER_SETTINGS, "/v", "m_bApplyChangesForAllUsers", "/t", "REG_DWORD",
                                 "/d", "0", "/f").returncode)
        set_layout(layout(OTHER_TOOLS))
        desired = {"LWin": "disabled", "RWin": "disabled", "CapsLock": "enabled"}
        code, state, _ = self.invoke("test", desired)
        self.assertEqual((0, False), (code, state["_inDesiredState"]))

        code, state, trace = self.invoke("set", desired)
        self.assertEqual(0, code)
        self.assertEqual({"LWin": "disabled", "RWin": "disabled", "CapsLock": "remapped", "LCtrl": "enabled", "ScrollLock": "disabled",
                          "remappedTo": {"CapsLock": "LCtrl"}, "_restartRequired": [{"system": self.computer}]}, state)
        # The other tool's mappings byte for byte, in their order; the keys switched off after them.
        stored = layout(OTHER_TOOLS + "00005be0" "00005ce0")
        self.assertEqual(stored, stored_layout())
        self.assertNotIn("REG_BINARY", wine("reg", "query", USER_LAYOUT, "/v", "Scancode Map").stdout.decode("ascii", "replace"))
        self.assertIn(("info", "Caps Lock is remapped to Left Ctrl by another mapping, which is not this program's: left as it is."), trace)

        code, state, _ = self.invoke("test", desired)
        self.assertEqual((0, True), (code, state["_inDesiredState"]))
        self.assert_restart_as_status_reads_it(state)
        self.assertIn("_restartRequired", state)

        # Bytes after the terminator, which the program never writes: still there, nothing was written.
        set_layout(stored + "deadbeef")
        code, state, trace = self.invoke("set", desired)
        self.assertEqual(0, code)
        self.assertIn(("info", "Nothing to change."), trace)
        self.assertEqual(stored + "deadbeef", stored_layout())

    def test_keys_beyond_the_four_and_the_four_key_document_of_the_docs(self):
        set_layout(layout(OTHER_TOOLS))
        code, state, _ = self.invoke("set", {"Apps": "disabled", "LWin": "disabled"})
        self.assertEqual(0, code)
        self.assertEqual(layout(OTHER_TOOLS + "00005be0" "00005de0"), stored_layout())
        self.assertEqual(("disabled", "disabled", "disabled"), (state["LWin"], state["Apps"], state["ScrollLock"]))
        code, state, _ = self.invoke("test", {"Apps": "disabled", "LWin": "disabled"})
        self.assertEqual((0, True), (code, state["_inDesiredState"]))
        for operation in ("get", "export"):
            code, state, _ = self.invoke(operation)
            self.assertEqual(["LWin", "RWin", "CapsLock", "LCtrl", "Apps", "ScrollLock", "remappedTo"],
                             [name for name in state if not name.startswith("_")])

        # Right Ctrl after Left Ctrl: refused whole.
        set_layout(layout("00001d00"))
        code, state, trace = self.invoke("set", {"RCtrl": "disabled", "Sleep": "disabled"})
        self.assertEqual((87, None), (code, state))
        self.assertIn("both Ctrl keys", trace[0][1])
        self.assertEqual(layout("00001d00"), stored_layout())

        # The document the docs show, as written there.
        docs = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "dsc.md")
        with open(docs, encoding="utf-8") as file:
            text = file.read()
        block = re.search(r"```yaml\n# keyboard\.dsc\.yaml\n(.*?)```", text, re.S).group(1)
        properties = dict(re.findall(r"^      (\w+): (\w+)$", block.split("properties:", 1)[1], re.M))
        self.assertEqual({"LWin": "disabled", "RWin": "disabled"}, properties)
        set_layout(layout(OTHER_TOOLS))
        code, state, _ = self.invoke("test", properties)
        self.assertEqual((0, False), (code, state["_inDesiredState"]))
        self.assertEqual(0, self.invoke("set", properties)[0])
        code, state, _ = self.invoke("test", properties)
        self.assertEqual((0, True), (code, state["_inDesiredState"]))

    def test_get_and_export_agree_with_status_json(self):
        for value, targets in ((REMAPS, {"RWin": "RAlt", "CapsLock": "LCtrl"}), (layout(""), {}), (None, {})):
            set_layout(value)
            keys = self.status()["keys"]
            self.assertEqual(targets, {name: entry["target"] for name, entry in keys.items() if "target" in entry})
            for operation in ("get", "export"):
                code, state, _ = self.invoke(operation)
                self.assertEqual(0, code)
                self.assertEqual({name: entry["state"] for name, entry in keys.items()}, {name: state[name] for name in keys})
                self.assertEqual(targets, state.get("remappedTo", {}))
                if operation == "get":
                    self.assert_restart_as_status_reads_it(state)
                else:
                    self.assertNotIn("_restartRequired", state)

    def test_restart_required_while_what_is_stored_waits_for_a_restart(self):
        """Nothing stored waits for nothing; a change waits for the restart; after it (the prefix's
        server ended), the key's time against the start decides, as /status reads it."""
        restart_server()
        wine("reg", "delete", MACHINE_LAYOUT, "/f")
        code, state, _ = self.invoke("get")
        self.assertEqual((0, True), (code, self.status()["inEffect"]))
        self.assertNotIn("_restartRequired", state)

        code, state, _ = self.invoke("set", {"LWin": "disabled"})
        self.assertEqual([{"system": self.computer}], state["_restartRequired"])
        self.assertTrue(key_exists(RESTART_PENDING))

        restart_server()
        self.assertFalse(key_exists(RESTART_PENDING))
        for operation, instance in (("get", None), ("test", {"LWin": "disabled"})):
            code, state, _ = self.invoke(operation, instance)
            self.assertEqual(0, code)
            self.assert_restart_as_status_reads_it(state)

    def test_an_ordinary_key_in_place_of_the_pending_one_says_nothing(self):
        """A reg import or a restored backup leaves an ordinary key where the program keeps its volatile
        one; it outlives every restart, so it must not hold what was stored before the start back."""
        set_layout(layout("00005be0"))
        age_machine_layout()
        self.assertEqual(0, wine("reg", "add", RESTART_PENDING, "/f", "/reg:64").returncode)
        try:
            self.assertTrue(self.status()["inEffect"])
            self.assertEqual(0, program("/disable", "LWin").returncode)
            code, state, _ = self.invoke("test", {"LWin": "disabled"})
            self.assertEqual(0, code)
            self.assertTrue(state["_inDesiredState"])
            self.assertNotIn("_restartRequired", state)
        finally:
            wine("reg", "delete", RESTART_PENDING, "/f", "/reg:64")

    def test_a_layout_another_copy_holds_ends_set_with_1618_and_changes_nothing(self):
        set_layout(layout(OTHER_TOOLS))
        holder = subprocess.Popen(["wine", LAYOUT_HOLDER], env=ENV, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL)
        try:
            self.assertEqual(b"held", holder.stdout.readline().strip())
            started = time.monotonic()
            code, state, trace = self.invoke("set", {"LWin": "disabled"})
            self.assertGreaterEqual(time.monotonic() - started, 9.5)
        finally:
            holder.stdin.close()
            holder.wait(timeout=60)
            holder.stdout.close()
        self.assertEqual((1618, None), (code, state))
        self.assertEqual([("error", "Another copy of the program kept the keyboard layout for more than 10 seconds.\n"
                                    "Nothing was changed.")], trace)
        self.assertEqual(layout(OTHER_TOOLS), stored_layout())

    def test_an_export_and_a_get_applied_back_change_nothing(self):
        """dsc config export puts export's output into a document; applied with test or set, it is met
        and writes nothing. The same for get's output, restart and all, fed to test."""
        stored = REMAPS + "deadbeef"
        set_layout(stored)
        code, exported, _ = self.invoke("export")
        self.assertEqual((0, "remapped"), (code, exported["RWin"]))
        code, got, _ = self.invoke("get")
        self.assertEqual(0, code)
        for instance in (exported, got):
            code, state, _ = self.invoke("test", instance)
            self.assertEqual((0, True), (code, state["_inDesiredState"]))
            self.assertEqual([], dsc_diff(instance, state))
            code, state, trace = self.invoke("set", instance)
            self.assertEqual((0, []), (code, self.changed))
            self.assertIn(("info", "Nothing to change."), trace)
            self.assertEqual(stored, stored_layout())
        # Desired "remapped" leaves the key to the other tool: met once that tool has let it go, and
        # a key this program switched off is switched on.
        set_layout(layout("00005be0"))
        code, state, _ = self.invoke("test", {"CapsLock": "remapped", "LWin": "remapped"})
        self.assertEqual((0, False, "remapped", "disabled"), (code, state["_inDesiredState"], state["CapsLock"], state["LWin"]))
        code, state, _ = self.invoke("set", {"CapsLock": "remapped", "LWin": "remapped"})
        self.assertEqual((0, ["LWin"], None), (code, self.changed, stored_layout()))

    def run_with_open_input(self, operation):
        """Runs the operation with a standard input that is neither written to nor closed while it
        runs; its exit code, standard output and error, and the seconds it took."""
        method = self.manifest[operation]
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            started = time.monotonic()
            process = subprocess.Popen(["wine", self.path_of(method["executable"]), *method["args"]], env=ENV,
                                       stdin=subprocess.PIPE, stdout=out, stderr=err)
            try:
                process.wait(timeout=60)
            finally:
                process.kill()
                process.stdin.close()
            took = time.monotonic() - started
            out.seek(0)
            err.seek(0)
            return process.returncode, out.read(), err.read(), took

    def test_an_input_left_open_holds_get_and_export_up_for_seconds_and_set_for_a_bound(self):
        set_layout(layout(OTHER_TOOLS))
        started = time.monotonic()
        self.assertEqual(0, self.invoke("get")[0])
        closed = time.monotonic() - started
        for operation, exit_code, error in (("get", 0, b""), ("export", 0, b""), ("set", 87, b"no whole instance came within 10 seconds")):
            with self.subTest(operation=operation):
                code, out, err, took = self.run_with_open_input(operation)
                self.assertEqual(exit_code, code, err)
                self.assertIn(error, err)
                bound = 2 if exit_code == 0 else 10
                self.assertLess(took, closed + bound + 15)
                self.assertGreaterEqual(took, bound - 0.5)
                self.assertEqual(exit_code == 0, out.startswith(b'{"LWin":"enabled"'), out)
        self.assertEqual(layout(OTHER_TOOLS), stored_layout())

    def test_an_input_over_64_kb_is_read_to_its_end_and_refused(self):
        """The writer is never cut off with a broken pipe: it sees its input taken, and then the error."""
        method = self.manifest["set"]
        process = subprocess.Popen(["wine", self.path_of(method["executable"]), *method["args"]], env=ENV,
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        written = []

        def write():
            try:
                process.stdin.write(b'{"LWin":"disabled"' + b" " * (1 << 20) + b"}")
                process.stdin.close()
                written.append(True)
            except BrokenPipeError:
                written.append(False)

        writer = threading.Thread(target=write)
        writer.start()
        with process.stdout, process.stderr:
            out, err = process.stdout.read(), process.stderr.read()
        process.wait(timeout=60)
        writer.join(timeout=60)
        self.assertEqual(([True], 87, b""), (written, process.returncode, out))
        self.assertIn(b"The input is larger than 64 KB", err)

    def test_every_configuration_in_the_docs_carries_wingets_schema(self):
        """WinGet takes a DSC v3 configuration by that one $schema; dsc does not check it when it runs,
        so every example serves both, and the WinGet one names the dscv3 processor."""
        examples = 0
        for name in sorted(os.listdir(DOCS)):
            if not name.endswith((".md", ".txt")):
                continue
            with open(os.path.join(DOCS, name), encoding="utf-8") as file:
                text = file.read()
            for uri in re.findall(r"^\s*\$schema:\s*(\S+)", text, re.MULTILINE):
                examples += 1
                self.assertEqual(WINGET_DSC_SCHEMA, uri, name)
            for processor in re.findall(r"processor:\s*\n\s*identifier:\s*(\S+)", text):
                self.assertEqual("dscv3", processor, name)
        self.assertGreaterEqual(examples, 3)

    def test_each_bad_input_ends_with_87_says_why_and_changes_nothing(self):
        set_layout(layout(OTHER_TOOLS))
        cases = [
            ("set", b'{"LWin":"disabled"', "The input is not a JSON instance: a member without a comma or closing brace"),
            ("set", b'{"LWin":"disabled","Delete":"disabled"}', 'Unknown member "Delete"'),
            ("set", b'{"LWin":"off"}', '"LWin" must be "disabled" or "enabled", not "off".'),
            # What PowerShell 5 pipes, unless told otherwise.
            ("set", '{"LWin":"disabled"}'.encode("utf-16-le"), "NUL byte"),
            # Valid JSON, but no instance is that large.
            ("set", b'{"LWin":"disabled"' + b" " * 65536 + b"}", "The input is larger than 64 KB"),
            ("set", b"", "No instance on the standard input"),
            ("test", b"\r\n", "No instance on the standard input"),
        ]
        for operation, instance, error in cases:
            with self.subTest(operation=operation, instance=instance[:40]):
                code, state, trace = self.invoke(operation, instance)
                self.assertEqual((87, None), (code, state))
                self.assertEqual(1, len(trace), trace)
                self.assertEqual("error", trace[0][0])
                self.assertIn(error, trace[0][1])
                self.assertEqual(layout(OTHER_TOOLS), stored_layout())


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + ["DscResourceTest" if MANIFEST else "JsonAndLogTest"], verbosity=2)
