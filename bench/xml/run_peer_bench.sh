#!/usr/bin/env bash
# The element tree of a 14 MB one-part score against its peers, in one run: a bare expat pass and
# libxml2's DOM (from Debian's libxml2-dev, which the benchmark links when it is installed). Prints
# each one's time as a ratio to the bare expat pass, and the resident memory each tree takes per
# byte of input, with the machine's load.
#
#   bench/xml/run_peer_bench.sh <build dir>     (a Release build with benchmarks)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec "$here/run_on_large_score.sh" "${1:-build/release}" bench/xml/xml_tree_peer_bench \
    XML_TREE_SCORE BM_BareExpat
