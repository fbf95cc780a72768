#!/usr/bin/env bash
# Runs benchmarks of one binary on a 14 MB one-part score (made once by make_large_score.py in the
# build directory) and prints each one's time as a ratio to a baseline measured in the same run,
# with the machine's load.
#
#   run_on_large_score.sh <build dir> <binary in the build dir> <variable naming the score file>
#                         <baseline benchmark> [benchmark filter]
set -euo pipefail
build=$1 binary="$1/$2" variable=$3 baseline=$4 filter=${5:-.}
here=$(cd "$(dirname "$0")" && pwd)
score="$build/large_score.musicxml"
[ -f "$score" ] || python3 "$here/make_large_score.py" "$score"
[ -x "$binary" ] || { echo "no $binary: build it first" >&2; exit 1; }

results=$(mktemp)
trap 'rm -f "$results"' EXIT
echo "load before: $(uptime)"
env "$variable=$score" "$binary" --benchmark_filter="$filter" \
    --benchmark_repetitions="${REPETITIONS:-10}" --benchmark_enable_random_interleaving=true \
    --benchmark_out="$results" --benchmark_out_format=json >/dev/null 2>&1
echo "load after:  $(uptime)"
python3 "$here/peer_ratios.py" "$results" "$baseline"
