#!/usr/bin/env bash
# The element tree of a 14 MB one-part score against its peers, in one run: a bare expat pass and
# libxml2's DOM (from Debian's libxml2-dev, which the benchmark links when it is installed). Prints
# each one's time as a ratio to the bare expat pass, and the resident memory each tree takes per
# byte of input, with the machine's load.
#
#   bench/xml/run_peer_bench.sh <build dir>     (a Release build with benchmarks)
set -euo pipefail
build=${1:-build/release}
here=$(cd "$(dirname "$0")" && pwd)
score="$build/large_score.musicxml"
[ -f "$score" ] || python3 "$here/make_large_score.py" "$score"
binary="$build/bench/xml/xml_tree_peer_bench"
[ -x "$binary" ] || { echo "no $binary: build the xml_tree_peer_bench target" >&2; exit 1; }

results=$(mktemp)
trap 'rm -f "$results"' EXIT
echo "load before: $(uptime)"
XML_TREE_SCORE="$score" "$binary" --benchmark_repetitions="${REPETITIONS:-10}" \
    --benchmark_enable_random_interleaving=true --benchmark_format=json \
    --benchmark_out="$results" --benchmark_out_format=json >/dev/null
echo "load after:  $(uptime)"
python3 "$here/peer_ratios.py" "$results" BM_BareExpat
