#!/usr/bin/env bash
# What solidmorph-saver costs at rest beside XScreenSaver's GL hacks, each on
# the root window of one private 1024 x 768 Xvfb, one after the other, for
# several rounds: CPU seconds per second of wall time (utime + stime of the
# whole process, from /proc/PID/stat, after a warm-up), frames per second
# (glXSwapBuffers calls, counted by the tests' frame probe preloaded into
# every program alike) and CPU milliseconds per frame. A benchmark, not a
# test: the figures depend on the machine and on what else runs on it.
# Usage: tools/saver_cpu_rounds.sh BUILD_DIR [ROUNDS [OLD_SAVER]]
#   BUILD_DIR  a build with the tests (build/, the release preset): the saver
#              and tests/preload/libframe_probe.so
#   OLD_SAVER  another solidmorph-saver to run beside it at --delay 30000
#   WARMUP, SPAN  seconds before and of each measurement (default 2 and 10);
#   HACKS  the peers (default: superquadrics morph3d gears glknots spheremonics)
set -euo pipefail
# shellcheck source=tools/private_xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/private_xvfb.sh"
build=$(cd "$1" && pwd)
rounds=${2:-5}
old_saver=${3:+$(realpath "$3")}
warmup=${WARMUP:-2}
span=${SPAN:-10}
probe="$build/tests/preload/libframe_probe.so"
hacks_dir=/usr/libexec/xscreensaver
[ -r "$probe" ] || { echo "no $probe: build the tests first" >&2; exit 1; }

# One name and command per line: the saver at its default and at the delay
# it was measured at before, then the peers at their defaults.
programs="saver|$build/solidmorph-saver --root
saver --delay 30000|$build/solidmorph-saver --root --delay 30000"
[ -n "$old_saver" ] && programs+="
old saver --delay 30000|$old_saver --root --delay 30000"
for hack in ${HACKS:-superquadrics morph3d gears glknots spheremonics}; do
    [ -x "$hacks_dir/$hack" ] || { echo "no $hacks_dir/$hack (xscreensaver-gl, -gl-extra)" >&2; exit 1; }
    programs+="
$hack|$hacks_dir/$hack -root"
done

start_private_xvfb 1024x768
clock_ticks=$(getconf CLK_TCK)

# utime + stime of a process in clock ticks; the name in field 2 may hold
# spaces, so the fields are counted from its closing parenthesis.
cpu_ticks() {
    local stat
    stat=$(<"/proc/$1/stat")
    stat=${stat##*) }
    # shellcheck disable=SC2086  # split into the fields after the name
    set -- $stat
    echo $((${12} + ${13}))
}

swaps() { od -An -tu8 -N8 "$work/probe" | tr -d ' '; }

# Runs one program for the warm-up and the span; prints "CPU-s/s fps ms".
measure() {
    local command=$1 cpu0 cpu1 swaps0 swaps1 t0 t1
    head -c 64 /dev/zero >"$work/probe"
    # shellcheck disable=SC2086  # the command's words
    FRAME_PROBE_FILE="$work/probe" LD_PRELOAD="$probe" $command >/dev/null 2>&1 &
    guest_pid=$!
    sleep "$warmup"
    cpu0=$(cpu_ticks "$guest_pid") swaps0=$(swaps) t0=$(date +%s.%N)
    sleep "$span"
    cpu1=$(cpu_ticks "$guest_pid") swaps1=$(swaps) t1=$(date +%s.%N)
    kill "$guest_pid"
    wait "$guest_pid" 2>/dev/null || true
    guest_pid=
    awk -v c="$((cpu1 - cpu0))" -v hz="$clock_ticks" -v f="$((swaps1 - swaps0))" \
        -v t0="$t0" -v t1="$t1" 'BEGIN {
            s = c / hz; w = t1 - t0
            printf "%.3f %.1f %.2f\n", s / w, f / w, (f > 0 ? 1000 * s / f : 0) }'
}

results="$work/results"
: >"$results"
for round in $(seq 1 "$rounds"); do
    while IFS='|' read -r -u 3 name command; do
        measure "$command" >"$work/line"
        read -r cpu fps ms <"$work/line"
        printf '%s|%s|%s|%s|%s\n' "$round" "$name" "$cpu" "$fps" "$ms" | tee -a "$results"
    done 3<<<"$programs"
done

echo
echo "Medians of $rounds rounds ($warmup s warm-up, $span s measured), 1024 x 768:"
echo "| program | CPU s/s | frames/s | CPU ms/frame |"
echo "|---|---|---|---|"
while IFS='|' read -r name _; do
    for column in 3 4 5; do
        awk -F'|' -v n="$name" -v c="$column" '$2 == n { print $c }' "$results" | sort -g |
            awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m }'
    done | paste -sd' ' | awk -v n="$name" '{ printf "| %s | %s | %s | %s |\n", n, $1, $2, $3 }'
done <<<"$programs"
