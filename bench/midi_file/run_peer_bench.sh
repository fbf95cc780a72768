#!/usr/bin/env bash
# Reads and writes the mma corpus (Debian's mma package) with this library's benchmark binary, npm
# midi-file and python3-mido, one after the other, prints their throughput and then our speed as
# a multiple of midi-file's for each direction and both together. All three are timed by the wall
# clock (ours: the median of three repetitions), so the ratios hold on a loaded machine as far as
# the load stays the same; the load is printed beside them.
#
#   bench/midi_file/run_peer_bench.sh <build dir>     (a Release build with benchmarks)
set -euo pipefail
build=${1:-build/release}
here=$(cd "$(dirname "$0")" && pwd)
roots=(/usr/share/doc/mma/examples /usr/share/mma/lib)
mapfile -t files < <(find "${roots[@]}" -name '*.mid' | sort)
[ ${#files[@]} -gt 0 ] || { echo "no corpus: install mma (scripts/install-deps.sh)"; exit 1; }

# midi-file goes into the build directory, not the source tree.
peers="$build/bench-peers"
if [ ! -d "$peers/node_modules/midi-file" ]; then
    mkdir -p "$peers"
    npm install --prefix "$peers" --no-save --silent midi-file@1.2.4 >/dev/null
fi

echo "corpus: ${#files[@]} files"
echo "load before: $(uptime)"
ours=$(mktemp)
trap 'rm -f "$ours"' EXIT
MIDI_BENCH_CORPUS=$(IFS=:; echo "${roots[*]}") "$build/bench/midi_file/midi_file_corpus_bench" \
    --benchmark_filter='Corpus' --benchmark_min_time=2 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_out="$ours" --benchmark_out_format=json
peer=$(NODE_PATH="$peers/node_modules" node "$here/peer_bench.js" "${files[@]}")
echo "$peer"
/usr/bin/python3 "$here/peer_bench.py" "${files[@]}"
echo "load after: $(uptime)"

# Ours in MB/s of file bytes from the median wall time of one pass over the corpus.
/usr/bin/python3 - "$ours" "$peer" "$(cat "${files[@]}" | wc -c)" <<'PY'
import json, re, sys

report = json.load(open(sys.argv[1]))
corpus_bytes = int(sys.argv[3])
ours = {}
for run in report["benchmarks"]:
    if run.get("aggregate_name") == "median":
        unit = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run["time_unit"]]
        ours[run["run_name"]] = corpus_bytes / (run["real_time"] * unit) / 1e6
peer = dict(re.findall(r"(decode\+encode|decode|encode) ([0-9.]+) MB/s", sys.argv[2]))
for label, name in (("decode", "decodeCorpus"), ("encode", "encodeCorpus"),
                    ("decode+encode", "decodeAndEncodeCorpus")):
    theirs = float(peer[label])
    print("%-14s ours %8.2f MB/s  midi-file %8.2f MB/s  ratio %.2fx"
          % (label, ours[name], theirs, ours[name] / theirs))
PY
