# Shared by the build scripts: configure and build a CMake tree, printing progress lines instead of
# compiler output. The full output goes to <build dir>/build.log; on failure its errors are shown.

# CPU time (user + system, in clock ticks) of this shell's finished children: fields 16 and 17 of
# /proc/<pid>/stat, counted after the command name, which may hold spaces.
project_children_cpu_ticks() {
    local stat
    stat=$(</proc/$$/stat)
    local fields=(${stat##*) })
    echo $((fields[13] + fields[14]))
}

# project_phase_begin; ...; project_phase_end <name>: prints the wall time and the CPU time that the
# commands in between took, so that a log shows where the time of a run went.
project_phase_begin() {
    _phase_wall=$SECONDS
    _phase_cpu=$(project_children_cpu_ticks)
}
project_phase_end() {
    local ticks
    ticks=$(( $(project_children_cpu_ticks) - _phase_cpu ))
    echo "==> $1: $((SECONDS - _phase_wall)) s, CPU $((ticks / $(getconf CLK_TCK))) s"
}

# project_build <build dir> <cmake configure arguments...>
# Builds every target, or only the targets listed in PROJECT_BUILD_TARGETS (space-separated), with
# PROJECT_BUILD_JOBS parallel jobs (default: one per core).
project_build() {
    local dir=$1
    shift
    mkdir -p "$dir"
    local log="$dir/build.log"
    : >"$log"
    echo "==> Configuring $dir"
    project_phase_begin
    if ! cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >>"$log" 2>&1; then
        grep -E 'CMake Error|error' -A5 "$log" | head -n 60
        echo "error: configuration failed (full log: $log)" >&2
        return 1
    fi
    project_phase_end "Configure"
    echo "==> Building $dir"
    project_phase_begin
    local jobs
    jobs=${PROJECT_BUILD_JOBS:-$(nproc)}
    # Ninja prints "[done/total] ..." per step; show a line at each tenth of the way.
    set -o pipefail
    local targets=()
    for t in ${PROJECT_BUILD_TARGETS:-}; do targets+=(--target "$t"); done
    if ! cmake --build "$dir" "${targets[@]}" -- -j"$jobs" 2>&1 | tee -a "$log" | awk '
        BEGIN { last = -1 }
        /^\[[0-9]+\/[0-9]+\]/ {
            split(substr($0, 2, index($0, "]") - 2), a, "/")
            pct = int(a[1] * 100 / a[2]); step = int(pct / 10)
            if (step > last) { printf "    %3d%% (%d/%d)\n", pct, a[1], a[2]; fflush(); last = step }
        }
        '; then
        echo "---- errors ----"
        grep -E 'error|Error|FAILED' -A3 "$log" | grep -v '^--$' | head -n 80
        echo "error: build failed (full log: $log)" >&2
        return 1
    fi
    project_phase_end "Build"
    echo "==> Build complete"
}
