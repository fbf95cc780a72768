#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite under AddressSanitizer
# and UndefinedBehaviorSanitizer.
#   --werror     treat compiler warnings as errors (what CI does)
#   --no-sanitize  build without sanitizers
#   --sanitize S   build with the sanitizers S instead (e.g. thread)
#   --build-dir D  build in D instead of build/test
#   --threaded-only  build only the libraries and tests that the tests labelled `threaded` need
#                    (among them the application's and the views'; no benchmarks or fuzz targets)
#                    and run only those tests
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/scripts/lib.sh"

werror=OFF
sanitize="address,undefined"
build_dir="$ROOT/build/test"
threaded_only=0
while [ $# -gt 0 ]; do
    case "$1" in
        --werror) werror=ON ;;
        --no-sanitize) sanitize="" ;;
        --sanitize) sanitize=$2; shift ;;
        --build-dir) build_dir=$2; shift ;;
        --threaded-only) threaded_only=1 ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
    shift
done

"$ROOT/scripts/install-deps.sh"

# The application and its views are built and tested in both modes; said explicitly, so that a build
# folder configured without them before gets them back.
extra=(-DPROJECT_BUILD_APP=ON)
ctest_args=()
if [ $threaded_only -eq 1 ]; then
    extra+=(-DPROJECT_BUILD_BENCHMARKS=OFF -DPROJECT_BUILD_FUZZERS=OFF)
    export PROJECT_BUILD_TARGETS=threaded_tests
    ctest_args=(-L threaded)
fi

# Line tables only (-g1): sanitizer reports keep their files and lines, and the build takes about a
# third less time than with full debug information. -Og rather than -O1: with the sanitizers' checks
# in every inlined function, code generation is most of the compile time, and -Og compiles in about
# two thirds of the time of -O1. It is still an optimizing compile, so the flow-based warnings
# (maybe-uninitialized and the like) are still reported. The tests run a little slower, which costs
# far less than the build saves.
project_build "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-Og -g1" \
    -DPROJECT_WERROR=$werror -DPROJECT_SANITIZE="$sanitize" "${extra[@]}"

echo "==> Running tests"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/scripts/tsan.supp}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
log="$build_dir/test.log"
status=0
project_phase_begin
ctest --test-dir "$build_dir" "${ctest_args[@]}" -j"$(nproc)" --output-on-failure --timeout 600 \
    >"$log" 2>&1 || status=$?
project_phase_end "Tests"
if [ $status -ne 0 ]; then
    # Show the output of the failed tests, then the summary.
    sed -n '/The following tests FAILED/,$p' "$log"
    grep -B2 -A40 -E '\*\*\*Failed|\*\*\*Exception|\*\*\*Timeout' "$log" | head -n 200
fi
grep -E '^[0-9]+% tests passed' "$log" || { tail -n 20 "$log"; exit 1; }
exit $status
