#!/usr/bin/env python3
"""Pairs "<name>/ours" with "<name>/peer" in Google Benchmark JSON files and
prints "ratio <name> <ours/peer>" (real time over real time), one per pair."""
import json
import sys

times = {}
for path in sys.argv[1:]:
    with open(path) as handle:
        for run in json.load(handle).get("benchmarks", []):
            if run.get("run_type") == "aggregate":
                continue
            name = run["run_name"] if "run_name" in run else run["name"]
            scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run.get("time_unit", "ns")]
            times[name] = run["real_time"] * scale

for name in sorted(times):
    if not name.endswith("/ours"):
        continue
    base = name[: -len("/ours")]
    peer = times.get(base + "/peer")
    if peer:
        print("ratio %s %.3f" % (base, times[name] / peer))
