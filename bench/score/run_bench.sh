#!/usr/bin/env bash
# MusicXML to JSON for a 14 MB one-part score against the XML parse of the same text, in one run:
# prints the conversion's time (file read, parse, walk, teardown, JSON) as a ratio to the parse
# alone, with the machine's load.
#
#   bench/score/run_bench.sh <build dir>     (a Release build with benchmarks)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/../xml/run_on_large_score.sh" "${1:-build/release}" bench/score/score_conversion_bench \
    SCORE_BENCH_FILE BM_LargeScoreParseAlone LargeScore
