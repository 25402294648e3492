#!/usr/bin/env python3
"""Pairs "<name>/ours" with "<name>/peer" in Google Benchmark JSON files and
prints "ratio <name> <ours/peer>", one per pair: CPU time over CPU time (user and
system, page faults included), which a busy machine disturbs far less than
wall-clock time; every benchmark here is single-threaded."""
import json
import sys

times = {}
for path in sys.argv[1:]:
    with open(path) as handle:
        for run in json.load(handle).get("benchmarks", []):
            if run.get("run_type") == "aggregate":
                continue
            name = run["run_name"] if "run_name" in run else run["name"]
            # Google Benchmark appends the run's settings ("min_time:3.000",
            # "process_time" for the whole process's CPU time) to the name.
            name = "/".join(part for part in name.split("/")
                            if ":" not in part and part != "process_time")
            scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run.get("time_unit", "ns")]
            times[name] = run["cpu_time"] * scale

for name in sorted(times):
    if not name.endswith("/ours"):
        continue
    base = name[: -len("/ours")]
    peer = times.get(base + "/peer")
    if peer:
        print("ratio %s %.3f" % (base, times[name] / peer))
