#!/usr/bin/env python3
"""Prints the runs of a Google Benchmark JSON file as ratios to one of them.

    peer_ratios.py <results.json> <baseline benchmark name>

Each benchmark's repetitions are summed up by the median and the minimum of their wall time and of
their processor time (on a loaded machine the minimum is the run least disturbed by others, and
processor time leaves out the time spent waiting for a core); each ratio divides by the baseline's
figure of the same kind. Counters (memory per input byte, notes) are shown as measured.
"""
import json
import statistics
import sys
from collections import defaultdict


def main() -> int:
    path, baseline = sys.argv[1], sys.argv[2]
    with open(path) as f:
        data = json.load(f)
    times = defaultdict(list)
    cpu = defaultdict(list)
    counters = {}
    skip = {"name", "run_name", "run_type", "repetitions", "repetition_index", "threads",
            "iterations", "real_time", "cpu_time", "time_unit", "family_index",
            "per_family_instance_index", "aggregate_name", "aggregate_unit", "bytes_per_second",
            "label", "error_occurred", "error_message"}
    for run in data["benchmarks"]:
        if run.get("run_type") != "iteration" or run.get("error_occurred"):
            continue
        name = run["run_name"]
        times[name].append(run["real_time"])
        cpu[name].append(run["cpu_time"])
        for key, value in run.items():
            if key not in skip and isinstance(value, (int, float)):
                counters.setdefault(name, {})[key] = value
    if baseline not in times:
        print(f"no runs of {baseline}", file=sys.stderr)
        return 1
    def summary(series):
        return statistics.median(series), min(series)

    base_wall, base_cpu = summary(times[baseline]), summary(cpu[baseline])
    print(f"{'benchmark':30} {'wall ms':>17} {'x base':>11} {'cpu ms':>17} {'x base':>11}")
    print(f"{'':30} {'median':>8} {'min':>8} {'median':>5} {'min':>5} {'median':>8} {'min':>8} "
          f"{'median':>5} {'min':>5}  counters")
    for name in times:
        wall, proc = summary(times[name]), summary(cpu[name])
        extra = "  ".join(f"{k}={v:.3g}" for k, v in sorted(counters.get(name, {}).items()))
        print(f"{name:30} {wall[0]:8.1f} {wall[1]:8.1f} {wall[0] / base_wall[0]:5.2f} "
              f"{wall[1] / base_wall[1]:5.2f} {proc[0]:8.1f} {proc[1]:8.1f} "
              f"{proc[0] / base_cpu[0]:5.2f} {proc[1] / base_cpu[1]:5.2f}  {extra}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
