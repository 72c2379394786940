#!/usr/bin/env python3
"""Prints the median rows of one Google Benchmark JSON report as a table row each.

A row that ended in an error shows its message instead of times.

A benchmark BM_X_Reference<args> times the plain version of BM_X<args>; for every such pair a
"speedup" row follows the table: the reference's median CPU time over the fast one's.
"""
import json
import sys

UNITS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
REFERENCE = "_Reference"


def fmt_time(value, unit):
    ns = value * UNITS.get(unit, 1.0)
    for name, scale in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= scale:
            return f"{ns / scale:.3f} {name}"
    return f"{ns:.1f} ns"


report = json.load(sys.stdin)
medians = {}
for row in report.get("benchmarks", []):
    if row.get("aggregate_name") not in (None, "median"):
        continue
    name = row.get("run_name", row["name"])
    # A benchmark that could not measure says why instead of showing zero times.
    if row.get("error_occurred"):
        print(f"{name:<60} {'-':>14} {'-':>14}  {row.get('error_message', 'error')}")
        continue
    skip = {"name", "run_name", "run_type", "repetitions", "repetition_index", "threads",
            "iterations", "real_time", "cpu_time", "time_unit", "aggregate_name",
            "aggregate_unit", "family_index", "per_family_instance_index", "error_occurred",
            "error_message"}
    counters = " ".join(f"{k}={row[k]:.4g}" if isinstance(row[k], float) else f"{k}={row[k]}"
                        for k in row if k not in skip)
    unit = row.get("time_unit", "ns")
    medians[name] = row["cpu_time"] * UNITS.get(unit, 1.0)
    print(f"{name:<60} {fmt_time(row['real_time'], unit):>14} {fmt_time(row['cpu_time'], unit):>14}  {counters}")

for name, reference in medians.items():
    if REFERENCE not in name:
        continue
    fast = name.replace(REFERENCE, "", 1)
    if fast in medians and medians[fast] > 0:
        label = f"speedup {fast}"
        print(f"{label:<60} {reference / medians[fast]:>13.2f}x {'':>14}  reference / fast, median cpu")
