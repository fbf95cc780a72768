#!/usr/bin/env python3
"""Prints the medians of two benchmarks of one Google Benchmark JSON report and their ratio.

    ratio.py <report.json> <ours> <peer> <label of the ratio> [real]

The ratio is ours / peer of the real-time medians and, unless "real" is given, of the CPU-time
medians too, which the load of a shared machine disturbs less when both sides run in the
benchmark's own thread.
"""
import json
import sys

report, ours, peer, label = sys.argv[1:5]
real_only = sys.argv[5:6] == ["real"]
with open(report) as f:
    runs = json.load(f)["benchmarks"]


def median(name):
    for run in runs:
        run_name = run.get("run_name", "")
        if (run_name == name or run_name.startswith(name + "/")) and \
                run.get("aggregate_name") == "median":
            return run["real_time"], run["cpu_time"], run.get("time_unit", "ms")
    sys.exit(f"no median for {name} in {report}")


ours_real, ours_cpu, unit = median(ours)
peer_real, peer_cpu, _ = median(peer)
if real_only:
    print(f"{ours}: {ours_real:.0f} {unit}")
    print(f"{peer}: {peer_real:.0f} {unit}")
    print(f"{label}: {ours_real / peer_real:.2f}x the time")
else:
    print(f"{ours}: {ours_real:.0f} {unit} (CPU {ours_cpu:.0f} {unit})")
    print(f"{peer}: {peer_real:.0f} {unit} (CPU {peer_cpu:.0f} {unit})")
    print(f"{label}: {ours_real / peer_real:.2f}x real time, {ours_cpu / peer_cpu:.2f}x CPU time")
