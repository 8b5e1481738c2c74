#!/usr/bin/env python3
"""Turns the start-up bench's samples and the programs' sizes into docs/performance.md and a table on stdout."""
import argparse
import datetime
import os
import platform
import statistics
import subprocess
import sys

RATIO_TARGET = 1.10
# /status opens no window: it must be done before the bare program's dialog shows.
STATUS_RATIO_TARGET = 1.00
X86_SIZE_TARGET = 150 * 1024
# The command lines timed from start to exit, by their label in the harness's lines.
COMMAND_LINES = (("status", "`/status`"), ("console", "`MorvexDisabler.com /status`"))
# The programs whose sizes are reported, by their key in the sizes.
PROGRAMS = (("product", "program"), ("console", "console program"))


def parse_samples(lines, source="the samples"):
    """{label: [(ms, peak bytes), ...]} of the measured starts, in the order they were taken."""
    samples = {}
    for line in lines:
        fields = line.split()
        if len(fields) >= 5 and fields[0] == "sample":
            samples.setdefault(fields[1], []).append((float(fields[3]), int(fields[4])))
    for label in ("product", "bare"):
        if not samples.get(label):
            raise ValueError(f"no samples of '{label}' in {source}")
    if any(len(runs) != len(samples["bare"]) for runs in samples.values()):
        raise ValueError(f"{source} holds unequal runs of the programs")
    return samples


def loaded_dlls(samples_lines, trace_lines):
    """{label: set of DLL names} that each program's measured start loaded, from a run traced with
    WINEDEBUG=+pid,+loaddll; DLLs loaded and released before the dialog showed count too."""
    label_of = {}
    for line in samples_lines:
        fields = line.split()
        if len(fields) == 6 and fields[0] == "sample":
            label_of[fields[5].lower()] = fields[1]
    loaded = {label: set() for label in label_of.values()}
    for line in trace_lines:
        # 0120:0124:trace:loaddll:build_module Loaded L"C:\\windows\\system32\\user32.dll" at ...
        pid, _, rest = line.partition(":")
        if pid.lower() not in label_of or ":loaddll:" not in rest or ' Loaded L"' not in rest:
            continue
        path = rest.split(' Loaded L"', 1)[1].split('"', 1)[0]
        name = path.replace("\\\\", "\\").rsplit("\\", 1)[-1].lower()
        if name.endswith(".dll"):
            loaded[label_of[pid.lower()]].add(name)
    return loaded


def first_line(command):
    try:
        out = subprocess.run(command, capture_output=True, text=True, check=False).stdout
    except OSError:
        return "unknown"
    return out.splitlines()[0].strip() if out.strip() else "unknown"


def cpu_model():
    with open("/proc/cpuinfo", encoding="utf-8") as f:
        for line in f:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return platform.processor() or "unknown"


def debian_release():
    pretty = "unknown"
    with open("/etc/os-release", encoding="utf-8") as f:
        for line in f:
            if line.startswith("PRETTY_NAME="):
                pretty = line.split("=", 1)[1].strip().strip('"')
    try:
        with open("/etc/debian_version", encoding="utf-8") as f:
            pretty += f" ({f.read().strip()})"
    except OSError:
        pass
    return pretty


def packages(names):
    return ", ".join(f"{name} {first_line(['dpkg-query', '-W', '-f', '${Version}' + chr(10), name])}" for name in names)


def verdict(ok):
    return "yes" if ok else "**no**"


def kib(n):
    return f"{n / 1024:,.0f} KiB"


def results_table(samples, sizes):
    """The table of medians, ratios and targets; sizes maps (program, arch) to bytes."""
    runs = len(samples["product"])
    start = {k: [ms for ms, _ in v] for k, v in samples.items()}
    peak = {k: [b for _, b in v] for k, v in samples.items()}
    start_median = {k: statistics.median(v) for k, v in start.items()}
    peak_median = {k: statistics.median(v) for k, v in peak.items()}
    start_ratio = start_median["product"] / start_median["bare"]
    peak_ratio = peak_median["product"] / peak_median["bare"]

    table = [
        "| Measure | Product | Bare | Product/bare | Target | Met |",
        "| --- | ---: | ---: | ---: | --- | --- |",
        f"| Start-up to dialog visible, median of {runs} (x64) | {start_median['product']:.1f} ms "
        f"| {start_median['bare']:.1f} ms | {start_ratio:.3f} | ≤ {RATIO_TARGET:.2f} × bare "
        f"| {verdict(start_ratio <= RATIO_TARGET)} |",
        f"| Start-up, fastest – slowest | {min(start['product']):.1f} – {max(start['product']):.1f} ms "
        f"| {min(start['bare']):.1f} – {max(start['bare']):.1f} ms | | | |",
        f"| Peak working set, median of {runs} (x64) | {kib(peak_median['product'])} "
        f"| {kib(peak_median['bare'])} | {peak_ratio:.3f} | ≤ {RATIO_TARGET:.2f} × bare "
        f"| {verdict(peak_ratio <= RATIO_TARGET)} |",
    ]
    for label, command in COMMAND_LINES:
        if label not in samples:
            continue
        ratio = start_median[label] / start_median["bare"]
        table.append(
            f"| {command} from start to exit, median of {runs} (x64) | {start_median[label]:.1f} ms "
            f"| {start_median['bare']:.1f} ms | {ratio:.3f} | < {STATUS_RATIO_TARGET:.2f} × bare "
            f"| {verdict(ratio < STATUS_RATIO_TARGET)} |")
    for program, name in PROGRAMS:
        for arch in ("x64", "x86"):
            if (program, arch) not in sizes:
                continue
            p, b = sizes[(program, arch)], sizes[("bare", arch)]
            if arch == "x86":
                target, met = f"≤ 150 KB ({X86_SIZE_TARGET:,} bytes)", verdict(p <= X86_SIZE_TARGET)
            else:
                target, met = "", ""
            table.append(f"| Size of the {arch} {name} | {p:,} bytes | {b:,} bytes | {p / b:.3f} | {target} | {met} |")
    return table


def runs_table(samples):
    timed = [(label, command) for label, command in COMMAND_LINES if label in samples]
    table = [
        "| Run | Product start-up | Bare start-up | Product peak | Bare peak |" + "".join(f" {c} to exit |" for _, c in timed),
        "| ---: | ---: | ---: | ---: | ---: |" + " ---: |" * len(timed),
    ]
    for i, ((pm, pb), (bm, bb)) in enumerate(zip(samples["product"], samples["bare"]), 1):
        table.append(f"| {i} | {pm:.1f} ms | {bm:.1f} ms | {kib(pb)} | {kib(bb)} |"
                     + "".join(f" {samples[label][i - 1][0]:.1f} ms |" for label, _ in timed))
    return table


def main():
    parser = argparse.ArgumentParser()
    for name in ("samples", "product-x64", "product-x86", "console-x64", "console-x86", "bare-x64", "bare-x86", "compiler",
                 "load-before", "load-after", "max-load", "traced-samples", "loaddll", "output"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()

    try:
        with open(args.samples, encoding="utf-8") as f:
            samples = parse_samples(f, args.samples)
    except ValueError as error:
        sys.exit(f"report: {error}")
    runs = len(samples["product"])
    sizes = {
        ("product", "x64"): os.path.getsize(args.product_x64),
        ("product", "x86"): os.path.getsize(args.product_x86),
        ("console", "x64"): os.path.getsize(args.console_x64),
        ("console", "x86"): os.path.getsize(args.console_x86),
        ("bare", "x64"): os.path.getsize(args.bare_x64),
        ("bare", "x86"): os.path.getsize(args.bare_x86),
    }
    table = results_table(samples, sizes)
    with open(args.traced_samples, encoding="utf-8") as f, \
            open(args.loaddll, encoding="utf-8", errors="replace") as g:
        dlls = loaded_dlls(f.readlines(), g.readlines())
    dll_lines = [
        f"- Loaded by the product only: {', '.join(sorted(dlls['product'] - dlls['bare'])) or 'none'}",
        f"- Loaded by the bare program only: {', '.join(sorted(dlls['bare'] - dlls['product'])) or 'none'}",
        f"- Loaded by both: {len(dlls['product'] & dlls['bare'])} DLLs",
    ] if dlls.get("product") and dlls.get("bare") else ["- The traced start was not found in the trace."]
    loaded = max(float(args.load_before), float(args.load_after)) >= float(args.max_load)

    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    load_note = (f"**The run was taken under load**: the 1-minute load average was {args.load_before} "
                 f"before and {args.load_after} after the measured starts (quiet means below {args.max_load}), "
                 "so the start-up times are less reliable than a quiet run's."
                 if loaded else
                 f"The machine was quiet: the 1-minute load average was {args.load_before} before and "
                 f"{args.load_after} after the measured starts.")

    doc = f"""# Performance

Generated by `make bench` (tools/bench/bench.sh) on {now}; run it again rather than editing this file.

## Machine

- System: `{first_line(["uname", "-srm"])}`
- CPU: {cpu_model()}, {os.cpu_count()} cores
- OS: {debian_release()}
- Wine: {first_line(["wine", "--version"])} (x64 prefix of the bench's own, null graphics driver)
- Compiler: {first_line([args.compiler, "--version"])}, Debian packages {packages(["g++-mingw-w64-x86-64-posix", "g++-mingw-w64-i686-posix"])}
- {load_note}

## Results

{chr(10).join(table)}

Start-up and peak working set are measured on the x64 programs, the ones 64-bit Windows runs. The
targets are start-up and peak memory within {RATIO_TARGET:.2f} × the bare program, each command line done
before the bare program's dialog shows, and x86 programs of at most 150 KB (KB counted as 1,024 bytes).

## What the product loads beyond the bare program

The DLLs each program loaded from its start until its dialog waited for input, released ones included
(one more start of each, traced with `WINEDEBUG=+pid,+loaddll`). Each DLL loaded costs start-up time
and resident memory, so this is where to look first when the ratios miss their targets.

{chr(10).join(dll_lines)}

## Method

- **Product**: `dist/x64/MorvexDisabler.exe` and `dist/x86/MorvexDisabler.exe` as `make` builds them;
  the **console program** `MorvexDisabler.com` beside each.
- **Bare program** (`tools/bench/bare.cpp`): `DialogBoxParamW` on the same main dialog template
  (id 102, from the project's own `res/MorvexDisabler.rc`, so it carries the same icon, version block
  and manifest) with a dialog procedure that only ends the dialog. It is a target of the project's
  CMake tree, built in the same run with the product's compile and link options.
- **Harness** (`tools/bench/harness.cpp`): a Windows console program in the same prefix, owning no
  window. For each start it reads `QueryPerformanceCounter`, calls `CreateProcessW`, and every
  millisecond looks for a visible top-level window of that process whose class is `#32770`; the time
  is taken when it is found. It then waits until the program is idle for input, reads the peak
  working set (`GetProcessMemoryInfo`, `PeakWorkingSetSize`: under Wine the process's resident
  high-water mark, Wine's own libraries included), posts `WM_CLOSE` to the dialog (Cancel, which
  writes nothing) and waits for the process to end, then 250 ms before the next start.
- **`/status`**: the product started with `/status` by the same harness, its standard output and
  error going to a file as a deployment tool would take them, timed from `CreateProcessW` until the
  process has ended (with exit code 0). It opens no window, so it is compared with the bare program's
  start-up to its dialog and should come in under it. The console program's `/status` is timed the
  same way: what a prompt waits for when `MorvexDisabler /status` is typed.
- The wineserver is kept running (`wineserver -p`) for the whole bench; a warm-up pass and one
  warm-up start of each program precede the {runs} measured starts of each, which alternate
  product, bare, `/status`, the console program's `/status`, product, bare, … so that any drift of the machine falls on all alike.

## Every measured start

{chr(10).join(runs_table(samples))}
"""
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(doc)
    print("\n".join(table))
    if loaded:
        print(f"(taken under load: load average {args.load_before} / {args.load_after})")
    print(f"written to {args.output}")


if __name__ == "__main__":
    main()
