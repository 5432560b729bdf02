#!/usr/bin/env bash
# Whole-process start-up figures of the program:
#   1. start-up to the point where the login dialog would be shown (offscreen platform,
#      VELQUOR_BENCH_EXIT_BEFORE_LOGIN=1), an installation that exists already;
#   2. the no-UI argument failure ("velquor /no_ui", no display);
#   3. start-up to the login dialog's first paint under Xvfb (xcb platform,
#      VELQUOR_BENCH_EXIT_AT_FIRST_PAINT=1: the painted dialog closes as Cancel would and the
#      process exits), cold (a new installation each run: first start, data folder created)
#      and warm (the same installation again). One X server serves every run, so its own
#      start is not in the figures. Goal: under 400 ms, peak RSS under 60 MB.
# Prints wall time (median, min, max over RUNS runs) and peak RSS (/usr/bin/time -v).
#   bench/startup/run.sh [path/to/velquor]      RUNS=30, PAINT_RUNS=15 by default
set -euo pipefail
script="$(readlink -f "$0")"
cd "$(dirname "$0")/../.."
exe="${1:-build/src/velquor}"
runs="${RUNS:-30}"
paint_runs="${PAINT_RUNS:-15}"
[ -x "$exe" ] || { echo "run.sh: no executable at $exe (build first)" >&2; exit 1; }

work="$(mktemp -d /tmp/velquor-bench.XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/install" "$work/home"
# A hard link keeps the installation folder the link's own; copy across file systems.
ln "$(readlink -f "$exe")" "$work/install/velquor" 2>/dev/null || cp "$exe" "$work/install/velquor"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" LANG=C.UTF-8
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$work/runtime}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY VELQUOR_SUPPORT_MODE
[ "${VELQUOR_BENCH_PAINT_ONLY:-}" = 1 ] || unset DISPLAY

login_run() {
    QT_QPA_PLATFORM=offscreen VELQUOR_BENCH_EXIT_BEFORE_LOGIN=1 "$@" "$work/install/velquor" \
        >/dev/null 2>&1
}
paint_warm() {
    QT_QPA_PLATFORM=xcb VELQUOR_BENCH_EXIT_AT_FIRST_PAINT=1 "$work/install/velquor" \
        >/dev/null 2>&1
}
# A new installation (its own folder and home) each run: the next one not yet started of
# those prepared beforehand, picked with shell builtins only so nothing else is timed.
prepare_cold() { # count
    for i in $(seq "$1"); do
        mkdir -p "$work/cold/$i/install" "$work/cold/$i/home"
        ln "$work/install/velquor" "$work/cold/$i/install/velquor" 2>/dev/null \
            || cp "$work/install/velquor" "$work/cold/$i/install/velquor"
    done
}
paint_cold() {
    local fresh
    for fresh in "$work"/cold/*; do
        [ -e "$fresh/started" ] || break
    done
    : >"$fresh/started"
    HOME="$fresh/home" XDG_CONFIG_HOME="$fresh/home/.config" QT_QPA_PLATFORM=xcb \
        VELQUOR_BENCH_EXIT_AT_FIRST_PAINT=1 "$fresh/install/velquor" >/dev/null 2>&1
}
noui_run() {
    env -u QT_QPA_PLATFORM "$@" "$work/install/velquor" /no_ui >/dev/null 2>&1 || true
}

measure() { # name function
    local name="$1" fn="$2" times=() start end
    "$fn" # warm-up (and the first start's data folder)
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        "$fn"
        end=$(date +%s%N)
        times+=($(( (end - start) / 1000 )))
    done
    local sorted
    sorted=$(printf '%s\n' "${times[@]}" | sort -n)
    local median min max
    median=$(echo "$sorted" | sed -n "$(( (runs + 1) / 2 ))p")
    min=$(echo "$sorted" | head -1)
    max=$(echo "$sorted" | tail -1)
    local rss=0
    if [ -x /usr/bin/time ]; then
        rss=$( { /usr/bin/time -v bash -c "$(declare -f "$fn"); work='$work'; $fn"; } 2>&1 \
               | awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}')
    fi
    awk -v n="$name" -v md="$median" -v mn="$min" -v mx="$max" -v r="$rss" 'BEGIN {
        printf "%-34s median %6.1f ms   min %6.1f ms   max %6.1f ms   peak RSS %s\n", n,
               md / 1000, mn / 1000, mx / 1000, (r > 0 ? sprintf("%.1f MB", r / 1024) : "n/a")
    }'
}

if [ "${VELQUOR_BENCH_PAINT_ONLY:-}" = 1 ]; then
    # Inside the one X server of the first-paint figures.
    runs="$paint_runs"
    prepare_cold $((paint_runs + 2)) # the warm-up, the runs, the peak-RSS run
    measure "first paint, cold (new install)" paint_cold
    measure "first paint, warm (same install)" paint_warm
    echo "goal: first paint under 400 ms, peak RSS under 60 MB"
    exit 0
fi

echo "velquor start-up ($runs runs each, $(nproc) cores)"
measure "start-up to the login dialog" login_run
measure "no-UI argument failure" noui_run
if command -v xvfb-run >/dev/null; then
    echo "login dialog's first paint under Xvfb ($paint_runs runs each)"
    VELQUOR_BENCH_PAINT_ONLY=1 xvfb-run -a -s "-screen 0 1280x800x24" \
        bash "$script" "$work/install/velquor"
else
    echo "login dialog's first paint: n/a (no xvfb-run)"
fi
