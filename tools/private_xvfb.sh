# shellcheck shell=bash
# Sourced by the picture scripts: start_private_xvfb WIDTHxHEIGHT starts a
# private Xvfb of that size and points DISPLAY at it, with a scratch folder
# in $work. On exit the program in $guest_pid (if any) and the Xvfb are
# stopped and the folder removed.
start_private_xvfb() {
    work=$(mktemp -d)
    guest_pid=
    Xvfb -displayfd 3 -ac -screen 0 "$1x24" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    trap stop_private_xvfb EXIT
    for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    DISPLAY=":$(head -n1 "$work/display")"
    export DISPLAY
}

stop_private_xvfb() {
    [ -n "$guest_pid" ] && kill "$guest_pid" 2>/dev/null
    kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
