#!/usr/bin/env bash
# Pictures solidmorph-explore as a user first sees it on preset 4: a private
# 1024 x 640 Xvfb, a state folder of its own (so no earlier session shows),
# and the screen saved by our screenshot tool once the panel has checked
# the shape.
# Usage: tools/explore_picture.sh BUILD_DIR OUTPUT.png
set -euo pipefail
# shellcheck source=tools/private_xvfb.sh
source "$(dirname "${BASH_SOURCE[0]}")/private_xvfb.sh"
build=$(cd "$1" && pwd)
output=$(realpath -m "$2")
start_private_xvfb 1024x640
export XDG_STATE_HOME="$work/state"
cd "$work"
"$build/solidmorph-explore" --preset 4 --size 80 -o star.stl >"$work/log" 2>&1 &
guest_pid=$!
for _ in $(seq 1 100); do grep -q "printable: " "$work/log" && break; sleep 0.1; done
sleep 1
"$build/tools/screenshot" "$output"
