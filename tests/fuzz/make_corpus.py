#!/usr/bin/env python3
"""Writes the fuzzers' seed corpora: stored "Scancode Map" values, DSC instances and command lines, well-formed and not.

Run it from anywhere after changing a seed; the files are committed, the fuzz runs never grow them.
"""
import os
import struct
import sys

LEFT_WINDOWS, RIGHT_WINDOWS, CAPS_LOCK, LEFT_CTRL = 0xE05B, 0xE05C, 0x003A, 0x001D
RIGHT_CTRL, RIGHT_ALT, LEFT_ALT, PAUSE = 0xE01D, 0xE038, 0x0038, 0xE11D


def header(count, version=0, flags=0):
    return struct.pack("<III", version, flags, count)


def entries(mappings):
    """(target, source) pairs as stored."""
    return b"".join(struct.pack("<HH", target, source) for target, source in mappings)


def value(mappings, count=None, version=0, flags=0, terminator=True):
    if count is None:
        count = len(mappings) + 1
    return header(count, version, flags) + entries(mappings) + (b"\0" * 4 if terminator else b"")


def many(n):
    # Over a kilobyte: sources 0x0100.., one table key in the middle and Left Ctrl last.
    mappings = [(0, 0x0100 + k) for k in range(n - 1)] + [(0, LEFT_CTRL)]
    mappings[n // 2] = (0, CAPS_LOCK)
    return value(mappings)


SEEDS = {
    "empty": b"",
    "short-6": bytes(6),
    "short-11-ff": b"\xff" * 11,
    "header-only-count-3": header(3),
    "no-mappings": value([]),
    "two-keys": value([(0, LEFT_WINDOWS), (0, CAPS_LOCK)]),
    "all-four": value([(0, LEFT_WINDOWS), (0, RIGHT_WINDOWS), (0, CAPS_LOCK), (0, LEFT_CTRL)]),
    "remaps": value([(LEFT_CTRL, CAPS_LOCK), (CAPS_LOCK, LEFT_CTRL), (RIGHT_ALT, LEFT_ALT)]),
    # The same low byte with and without the E0 prefix are different keys.
    "e0-twins": value([(0, LEFT_CTRL), (0, RIGHT_CTRL), (0, 0x005B), (0, LEFT_WINDOWS), (0, 0x005C)]),
    "e1-prefix": value([(0, PAUSE), (0, 0xE15B), (0xE05D, RIGHT_WINDOWS)]),
    "duplicate-sources": value([(0, CAPS_LOCK), (0, RIGHT_ALT), (LEFT_CTRL, CAPS_LOCK), (0, RIGHT_ALT)]),
    "zero-entry-inside-count": value([(0, CAPS_LOCK), (0, 0), (0, LEFT_WINDOWS)]),
    "source-zero-remapped": value([(CAPS_LOCK, 0), (0, RIGHT_WINDOWS)]),
    "header-not-zero": value([(0, CAPS_LOCK)], version=1, flags=7),
    "count-zero": value([(0, CAPS_LOCK)], count=0),
    "count-one": value([(0, CAPS_LOCK)], count=1),
    "count-understated": value([(0, CAPS_LOCK), (0, LEFT_CTRL), (0, RIGHT_ALT)], count=2),
    "count-overstated-terminated": value([(0, CAPS_LOCK), (0, RIGHT_WINDOWS)], count=200) + entries([(0, LEFT_CTRL)]),
    "count-overstated-unterminated": value([(0, CAPS_LOCK), (0, RIGHT_WINDOWS)], count=9, terminator=False),
    "count-huge": value([(0, RIGHT_WINDOWS)], count=0xFFFFFFFF),
    "truncated-mid-entry": value([(0, CAPS_LOCK), (0, LEFT_CTRL)])[:18],
    "truncated-terminator": value([(0, LEFT_WINDOWS)])[:-2],
    "trailing-bytes": value([(0, RIGHT_ALT)]) + b"\x01\x02\x03",
    "over-1k": many(300),
}


# The DSC resource's instance, as DSC or a person hands it over on the standard input.
DSC_INSTANCES = {
    "empty": b"",
    "empty-object": b"{}",
    "all-four": b'{"LWin":"disabled","RWin":"enabled","CapsLock":"disabled","LCtrl":"enabled"}',
    "byte-order-mark": b'\xef\xbb\xbf{"CapsLock":"disabled"}',
    "escaped-name": b'{"L\\u0057in":"disabled"}',
    "reported-members": b'{"LWin":"disabled","_inDesiredState":true,"_restartRequired":[{"system":"pc"}],'
                        b'"remappedTo":{"CapsLock":"LCtrl"}}',
    "remapped": b'{"CapsLock":"remapped"}',
    "keys-beyond-the-four": b'{"Apps":"disabled","F24":"enabled","LaunchApp2":"disabled","RAlt":"disabled"}',
    "named-twice": b'{"LWin":"enabled","LWin":"disabled"}',
    "nul-in-name": b'{"L\\u0000Win":"disabled"}',
    "surrogate-pair-at-the-cut": b'{"' + b"x" * 39 + "\U0001F600".encode() + b'":"disabled"}',
    "hidden-characters": '{"\u200b\u061c\u2060\ufeff\u202e\\u001b[2J":"disabled"}'.encode(),
    "long-name": b'{"' + b"x" * 300 + b'":"disabled"}',
    "nested": b'{"LWin":{"LWin":["disabled"]}}',
    "numbers": b'{"LWin":1e999,"RWin":-0.0}',
    "utf-16": '{"LWin":"disabled"}'.encode("utf-16-le"),
    "not-utf-8": b'{"LWin":"\xc3\x28"}',
    "trailing": b'{"LWin":"disabled"} {}',
    # A fuzz finding: a lead byte last in a string made the validator read past the terminator.
    "utf-8-lead-byte-last": b'"t4\xe7',
}


def arguments(*args):
    """A command line as the arguments target reads it: UTF-16LE, one U+0000 between arguments."""
    return "\0".join(args).encode("utf-16-le")


COMMAND_LINES = {
    "disable": arguments("/disable", "LWin,CapsLock"),
    "enable-restart": arguments("-ENABLE", " rwin , LCTRL ", "/Restart", "/quiet"),
    "both-lists": arguments("/disable", "All", "/enable", "CapsLock"),
    "keys-beyond-the-four": arguments("/disable", "apps,Sleep,LALT,F13", "/enable", "MediaPlayPause"),
    "enable-disabled": arguments("/enable", "Disabled", "/restart"),
    "status-json-log": arguments("/status", "/json", "/log", "C:\\logs\\morvex.log"),
    "usage": arguments("/?"),
    "dsc": arguments("/dsc", "export"),
    "list-split-by-a-space": arguments("/disable", "LWin,", "R\r\nWin", "/quiet"),
    "empty-names": arguments("/enable", ",LWin,,"),
    "long-stray-after-a-list": arguments("/disable", "LWin", "x" * 3000),
    "surrogate-pair-at-the-cut": arguments("/disable", "x" * 39 + "\U0001F600"),
    "hidden-characters": arguments("/disable", "LWin\u200b,\u2064RWin\ufeff\u061c\x1b]0;t\x07"),
    "missing-argument": arguments("/log"),
}


def write(folder, seeds):
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), folder)
    os.makedirs(out, exist_ok=True)
    for name in os.listdir(out):
        if name not in seeds:
            os.remove(os.path.join(out, name))
    for name, data in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    print(f"{len(seeds)} seeds in {out}", file=sys.stderr)


def main():
    write("corpus", SEEDS)
    write("corpus-dsc_instance", DSC_INSTANCES)
    write("corpus-arguments", COMMAND_LINES)


if __name__ == "__main__":
    main()
