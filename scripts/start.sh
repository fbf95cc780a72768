#!/usr/bin/env bash
# Installs what is missing, builds the project (release build in build/release) and starts the
# companion application.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/lib.sh"

"$ROOT/scripts/install-deps.sh"
build_dir="$ROOT/build/release"
project_build "$build_dir" -DCMAKE_BUILD_TYPE=Release -DPROJECT_BUILD_TESTS=OFF \
    -DPROJECT_BUILD_FUZZERS=OFF

app="$build_dir/src/app/TessaloomMidiServer"
if [ -x "$app" ]; then
    echo "==> Starting $app"
    exec "$app" "$@"
fi
echo "==> The application is not part of this build yet; the libraries are built in $build_dir."
echo "    Run the test suite with: scripts/test.sh"
