#!/usr/bin/env python3
"""Checks that the bench's report reads the harness's lines and judges the targets as a reader would."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import report  # noqa: E402

SIZES_WITHIN = {("product", "x64"): 160_000, ("product", "x86"): 150 * 1024,
                ("console", "x64"): 90_000, ("console", "x86"): 60_000,
                ("bare", "x64"): 80_000, ("bare", "x86"): 75_000}


def harness_output(product, bare, status=(), console=()):
    """Lines as the harness prints them: warm-ups first, then the programs taking turns."""
    lines = ["warmup product 0 900.000 99999999 0100", "warmup bare 0 900.000 99999999 0104"]
    for i, (p, b) in enumerate(zip(product, bare), 1):
        lines.append(f"sample product {i} {p[0]:.3f} {p[1]} {0x100 + 8 * i:04x}")
        lines.append(f"sample bare {i} {b[0]:.3f} {b[1]} {0x104 + 8 * i:04x}")
        if status:
            lines.append(f"sample status {i} {status[i - 1][0]:.3f} {status[i - 1][1]} 0200")
        if console:
            lines.append(f"sample console {i} {console[i - 1][0]:.3f} {console[i - 1][1]} 0300")
    return lines


def loaded(pid, path):
    escaped = path.replace("\\", "\\\\")
    return f'{pid}:{pid[:2]}ff:trace:loaddll:build_module Loaded L"{escaped}" at 0000000140000000: builtin'


def row(table, measure):
    """The cells of the row whose first cell starts with measure."""
    for line in table:
        cells = [c.strip() for c in line.strip("|").split("|")]
        if cells[0].startswith(measure):
            return cells
    raise AssertionError(f"no row '{measure}' in:\n" + "\n".join(table))


class ReportTest(unittest.TestCase):
    def test_medians_ignore_warmups_and_outliers(self):
        # One slow start each (a busy moment) and warm-ups far off: neither may move the median.
        product = [(110, 2048_000), (990, 2048_000), (105, 2100_000), (100, 1024_000), (108, 2048_000)]
        bare = [(100, 2000_000), (100, 2000_000), (800, 2000_000), (95, 2000_000), (99, 2000_000)]
        table = report.results_table(report.parse_samples(harness_output(product, bare)), SIZES_WITHIN)
        start = row(table, "Start-up to dialog visible")
        self.assertEqual(start[1:4], ["108.0 ms", "100.0 ms", "1.080"])
        self.assertEqual(start[5], "yes")
        self.assertEqual(row(table, "Start-up, fastest")[1:3], ["100.0 – 990.0 ms", "95.0 – 800.0 ms"])
        peak = row(table, "Peak working set")
        self.assertEqual(peak[1:4], ["2,000 KiB", "1,953 KiB", "1.024"])

    def test_even_number_of_runs_takes_the_mean_of_the_middle_two(self):
        product = [(100, 1000), (120, 1000), (140, 1000), (160, 1000)]
        bare = [(100, 1000)] * 4
        table = report.results_table(report.parse_samples(harness_output(product, bare)), SIZES_WITHIN)
        self.assertEqual(row(table, "Start-up to dialog visible")[1], "130.0 ms")

    def test_targets_are_judged_at_their_bounds(self):
        cases = [
            # (product ms, bare ms, x86 size, start met, size met)
            (110.0, 100.0, 150 * 1024, "yes", "yes"),
            (110.2, 100.0, 150 * 1024 + 1, "**no**", "**no**"),
            (90.0, 100.0, 60_000, "yes", "yes"),
        ]
        for product_ms, bare_ms, x86_size, start_met, size_met in cases:
            for program, name in (("product", "program"), ("console", "console program")):
                with self.subTest(product_ms=product_ms, x86_size=x86_size, program=program):
                    samples = report.parse_samples(harness_output([(product_ms, 1000)] * 9, [(bare_ms, 1000)] * 9))
                    table = report.results_table(samples, {**SIZES_WITHIN, (program, "x86"): x86_size})
                    self.assertEqual(row(table, "Start-up to dialog visible")[5], start_met)
                    self.assertEqual(row(table, f"Size of the x86 {name}")[5], size_met)

    def test_each_status_is_judged_against_the_bare_dialog_and_only_when_timed(self):
        for status_ms, met in ((99.0, "yes"), (100.0, "**no**")):
            for measure, timed in (("`/status`", {"status": [(status_ms, 1)] * 3, "console": [(50, 1)] * 3}),
                                   ("`MorvexDisabler.com /status`", {"status": [(50, 1)] * 3, "console": [(status_ms, 1)] * 3})):
                with self.subTest(status_ms=status_ms, measure=measure):
                    lines = harness_output([(105, 1)] * 3, [(100, 1)] * 3, **timed)
                    cells = row(report.results_table(report.parse_samples(lines), SIZES_WITHIN), measure)
                    self.assertEqual(cells[1:4] + [cells[5]], [f"{status_ms:.1f} ms", "100.0 ms", f"{status_ms / 100:.3f}", met])
                    runs = report.runs_table(report.parse_samples(lines))
                    self.assertIn(f"{measure} to exit", runs[0])
                    self.assertIn(f" {status_ms:.1f} ms |", runs[2])
        table = report.results_table(report.parse_samples(harness_output([(1, 1)], [(1, 1)])), SIZES_WITHIN)
        self.assertFalse(any("/status" in line for line in table))
        with self.assertRaises(ValueError):
            report.parse_samples(harness_output([(1, 1)] * 2, [(1, 1)] * 2, [(1, 1)] * 2)[:-1])

    def test_sizes_are_reported_per_architecture_as_product_over_bare(self):
        table = report.results_table(report.parse_samples(harness_output([(1, 1)], [(1, 1)])), SIZES_WITHIN)
        self.assertEqual(row(table, "Size of the x64 program")[1:4], ["160,000 bytes", "80,000 bytes", "2.000"])
        self.assertEqual(row(table, "Size of the x86 program")[1:4], ["153,600 bytes", "75,000 bytes", "2.048"])
        self.assertEqual(row(table, "Size of the x86 console program")[1:4], ["60,000 bytes", "75,000 bytes", "0.800"])

    def test_incomplete_harness_output_is_refused(self):
        cases = {
            "no bare starts": ["sample product 1 100.0 1000"],
            "a start missing": harness_output([(1, 1)] * 3, [(1, 1)] * 3)[:-1],
            "only warm-ups": harness_output([], []) + ["warmup product 0 1.0 1"],
        }
        for name, lines in cases.items():
            with self.subTest(name):
                with self.assertRaises(ValueError):
                    report.parse_samples(lines)

    def test_dlls_are_told_apart_by_process(self):
        samples = harness_output([(1, 1)], [(1, 1)])  # product 0108, bare 010c
        trace = [
            loaded("0108", r"Z:\tmp\dist\x64\MorvexDisabler.exe"),
            loaded("0108", r"C:\windows\system32\USER32.dll"),
            loaded("0108", r"C:\windows\system32\shell32.dll"),
            loaded("0108", r"C:\windows\system32\rsaenh.dll"),
            loaded("010c", r"C:\windows\system32\user32.dll"),
            # The warm-up starts, the harness and Wine's own services are not the measured programs.
            loaded("0100", r"C:\windows\system32\bcrypt.dll"),
            loaded("0020", r"C:\windows\system32\ws2_32.dll"),
            "010c:0110:fixme:ver:GetCurrentPackageId (0000000000000000 0000000000000000): stub",
        ]
        dlls = report.loaded_dlls(samples, trace)
        self.assertEqual(dlls["product"] - dlls["bare"], {"shell32.dll", "rsaenh.dll"})
        self.assertEqual(dlls["bare"], {"user32.dll"})


if __name__ == "__main__":
    unittest.main()
