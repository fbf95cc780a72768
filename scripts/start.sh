#!/usr/bin/env bash
# Installs what is missing, builds the project (release build in build/release) and starts the
# companion application.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/lib.sh"

"$ROOT/scripts/install-deps.sh"
build_dir="$ROOT/build/release"
# Only the application and its screenshot tool.
PROJECT_BUILD_TARGETS=${PROJECT_BUILD_TARGETS:-"TessaloomMidiServer app_window_screenshot"} \
    project_build "$build_dir" -DCMAKE_BUILD_TYPE=Release -DPROJECT_BUILD_TESTS=OFF \
    -DPROJECT_BUILD_FUZZERS=OFF -DPROJECT_BUILD_APP=ON

app="$build_dir/src/app/TessaloomMidiServer"
if [ ! -x "$app" ]; then
    echo "==> $app was not built; see the build output above." >&2
    exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "==> The application is built ($app), but there is no display to show its window on."
    echo "    On a machine without a display, run it on a virtual one:"
    echo "        xvfb-run -a $app"
    echo "    or run this script itself that way: xvfb-run -a scripts/start.sh"
    echo "    A picture of the window: xvfb-run -a $build_dir/src/app/app_window_screenshot window.png"
    exit 0
fi
echo "==> Starting $app"
exec "$app" "$@"
