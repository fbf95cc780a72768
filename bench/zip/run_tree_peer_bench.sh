#!/usr/bin/env bash
# Zips a tree of 10,000 files (128 MB) with this library and with Info-ZIP's `zip -r -q`,
# interleaved in one run, and prints the time ratio with the load.
#
#   bench/zip/run_tree_peer_bench.sh <build dir> [cores] [repetitions]
#
# <build dir> is a Release build with benchmarks. With [cores], both run pinned to that many
# processors (taskset), which is what this library's worker threads then use.
set -euo pipefail
build=${1:-build/release}
cores=${2:-}
repetitions=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v zip >/dev/null; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get install -y -q zip >/dev/null
fi
bench="$build/bench/zip/zip_tree_bench"
if [ ! -x "$bench" ]; then
    cmake -S "$here/../.." -B "$build" >/dev/null
    cmake --build "$build" --target zip_tree_bench -- -j"${PROJECT_BUILD_JOBS:-$(nproc)}"
fi
pin=()
if [ -n "$cores" ]; then
    pin=(taskset -c "0-$((cores - 1))")
    echo "pinned to processors 0-$((cores - 1))"
fi

report=$(mktemp)
trap 'rm -f "$report"' EXIT
echo "load before: $(uptime)"
"${pin[@]}" "$bench" --benchmark_repetitions="$repetitions" \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    --benchmark_out="$report" --benchmark_out_format=json >/dev/null 2>&1
echo "load after:  $(uptime)"
# The peer runs in a child process and ours on several threads: only real time compares.
python3 "$here/ratio.py" "$report" BM_ZipItemTree BM_InfoZipRecursive "ours / zip -r -q" real
