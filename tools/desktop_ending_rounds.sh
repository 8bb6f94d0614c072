#!/usr/bin/env bash
# Ends the desktop under a client again and again: each round starts a
# private Weston with Xwayland (tests/support/with_weston), the client in it,
# and sends the compositor SIGTERM (SIGKILL with ENDING=kill) at a random
# moment from 0 to 1 s after the start. Prints one line per round that did
# not end with an expected code, then how the rounds ended. Cores of clients
# killed by a signal are kept in the scratch folder it names.
# Usage: tools/desktop_ending_rounds.sh ROUNDS EXPECTED_CODES COMMAND...
#   e.g. tools/desktop_ending_rounds.sh 1000 0 build/solidmorph
#        tools/desktop_ending_rounds.sh 1000 0,1 build/solidmorph-saver --window
set -u
rounds=$1
expected=",$2,"
shift 2
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
command=("$(realpath "$1")" "${@:2}")
work=$(mktemp -d /tmp/desktop-ending-XXXXXX)
cp "$repo/assets/vein.tga" "$work/"
cd "$work"
ulimit -c unlimited
signal=TERM
[ "${ENDING:-term}" = kill ] && signal=KILL
export SIGNAL=$signal

# One round, run inside with_weston: prints "code" or "signal N".
round() {
    "$@" >/dev/null 2>&1 &
    local client=$!
    sleep "$(awk -v r="$RANDOM" 'BEGIN { printf "%.3f", r / 32768 }')"
    kill -"$SIGNAL" "$WESTON_PID"
    # A client that outlives the desktop by 10 s counts as hung.
    for _ in $(seq 1 200); do
        kill -0 "$client" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$client" 2>/dev/null; then
        kill -KILL "$client"
        wait "$client"
        echo "hung"
        return
    fi
    wait "$client"
    local status=$?
    if [ "$status" -gt 128 ]; then echo "signal $((status - 128))"; else echo "code $status"; fi
}
export -f round

declare -A tally
for i in $(seq 1 "$rounds"); do
    result=$("$repo/tests/support/with_weston" bash -c 'round "$@"' round "${command[@]}" 2>/dev/null |
        tail -n 1)
    [ -z "$result" ] && result="no desktop"
    tally[$result]=$((${tally[$result]:-0} + 1))
    case "$result" in
    "code "*) [[ $expected == *",${result#code },"* ]] && continue ;;
    esac
    echo "round $i: $result"
    [ -f core ] && mv core "core.$i"
done
for result in "${!tally[@]}"; do echo "${tally[$result]} rounds: $result"; done
echo "scratch folder: $work"
