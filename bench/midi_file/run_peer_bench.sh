#!/usr/bin/env bash
# Reads and writes the mma corpus (Debian's mma package) with this library's benchmark binary, npm
# midi-file and python3-mido, one after the other, and prints their throughput.
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
MIDI_BENCH_CORPUS=$(IFS=:; echo "${roots[*]}") "$build/bench/midi_file/midi_file_corpus_bench" \
    --benchmark_filter='Corpus' --benchmark_min_time=2
NODE_PATH="$peers/node_modules" node "$here/peer_bench.js" "${files[@]}"
/usr/bin/python3 "$here/peer_bench.py" "${files[@]}"
