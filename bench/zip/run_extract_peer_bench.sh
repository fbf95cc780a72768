#!/usr/bin/env bash
# Extracts every entry of an archive of a large tree (by default /usr) into memory with this
# library and with libzip, interleaved in one run, and prints the time ratio with the load.
#
#   bench/zip/run_extract_peer_bench.sh <build dir> [tree] [repetitions]
#
# <build dir> is a Release build with benchmarks, configured while libzip-dev was installed. The
# archive is made once with `zip -r -q -y` into <build dir>/bench-data and kept there (it is large:
# never commit it; delete it when done).
set -euo pipefail
build=${1:-build/release}
tree=${2:-/usr}
repetitions=${3:-3}
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v zip >/dev/null || ! pkg-config --exists libzip 2>/dev/null; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get install -y -q zip libzip-dev pkg-config >/dev/null
fi
bench="$build/bench/zip/zip_peer_extract_bench"
if [ ! -x "$bench" ]; then
    cmake -S "$here/../.." -B "$build" >/dev/null
    cmake --build "$build" --target zip_peer_extract_bench -- -j"${PROJECT_BUILD_JOBS:-$(nproc)}"
fi

mkdir -p "$build/bench-data"
data=$(cd "$build/bench-data" && pwd)
name=$(echo "$tree" | tr '/' '_' | sed 's/^_//')
archive="$data/$name.zip"
if [ ! -f "$archive" ]; then
    echo "making $archive from $tree (once)"
    rm -f "$archive.part"
    # Exit status 18: some items could not be read; the archive holds the others.
    (cd "$(dirname "$tree")" && zip -r -q -y "$archive.part" "$(basename "$tree")") || [ $? -eq 18 ]
    mv "$archive.part" "$archive"
fi
echo "archive: $archive, $(du -h "$archive" | cut -f1), $(zipinfo -1 "$archive" | wc -l) entries"

report=$(mktemp)
trap 'rm -f "$report"' EXIT
echo "load before: $(uptime)"
ZIP_BENCH_ARCHIVE="$archive" "$bench" --benchmark_repetitions="$repetitions" \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    --benchmark_out="$report" --benchmark_out_format=json >/dev/null 2>&1
echo "load after:  $(uptime)"
python3 "$here/ratio.py" "$report" BM_ExtractEveryEntryToMemory \
    BM_LibzipExtractEveryEntryToMemory "ours / libzip"
