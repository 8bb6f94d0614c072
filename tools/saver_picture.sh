#!/usr/bin/env bash
# Pictures solidmorph-saver as the XScreenSaver daemon runs it: a private
# Xvfb, a home whose settings list only the saver, the daemon (as nobody
# when run as root: it runs hacks only for an unprivileged user), activated,
# and the screen saved a few seconds in by our screenshot tool.
# Usage: tools/saver_picture.sh BUILD_DIR OUTPUT.png
set -euo pipefail
# shellcheck source=tools/private_xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/private_xvfb.sh"
build=$(cd "$1" && pwd)
output=$(realpath -m "$2")
start_private_xvfb 640x480
export HOME="$work/home"
mkdir -p "$HOME"
printf 'mode: one\nselected: 0\nlock: False\nfade: False\nsplash: False\ntimeout: 0:30:00\nprograms: GL: %s --root \\n\n' \
    "$build/solidmorph-saver" >"$HOME/.xscreensaver"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chmod 0777 "$work" "$HOME"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
"${as_user[@]}" xscreensaver -no-splash >/dev/null 2>&1 &
guest_pid=$!
for _ in $(seq 1 100); do xscreensaver-command -activate >/dev/null 2>&1 && break; sleep 0.1; done
sleep 4
"$build/tools/screenshot" "$output"
xscreensaver-command -deactivate >/dev/null
