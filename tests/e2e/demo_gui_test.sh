#!/usr/bin/env bash
# The script behind "make demo-gui": the wizard of the demo medium on the
# display, with HOME and the destination in a scratch folder of its own;
# without a display it says so and ends with 1.
set -uo pipefail
fail() { echo "FAIL: $*"; exit 1; }

script=$QV_SOURCE_DIR/examples/demo-gui.sh
build=$(dirname "$QV_SETUP")
scratch=$(mktemp -d "$QV_TEST_SCRATCH/demo-gui.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

out=$(env -u DISPLAY TMPDIR="$scratch" bash "$script" "$build" 2>&1)
status=$?
[[ $status == 1 ]] || fail "without a display: exit status $status, not 1"
[[ $out == *"DISPLAY is not set"* ]] || fail "without a display: $out"
[[ -z $(ls "$scratch") ]] || fail "without a display a scratch folder was made"

# On a display: the welcome dialog ("Continue"), then the agreement, where
# "I DECLINE" ends setup with 0.
TMPDIR=$scratch timeout 300 bash "$QV_SOURCE_DIR/tests/run-with-xvfb.sh" bash -c '
    bash "$1" "$2" > "$3/out.txt" 2>&1 &
    demo=$!
    press() { # <window title> <key>; waits up to a minute for the window
        end=$((SECONDS + 60))
        while window=$(xdotool search --onlyvisible --name "^$1\$" | head -n1); [[ -z $window ]]; do
            ((SECONDS < end)) || break
            sleep 0.2
        done
        [[ -n $window ]] || { echo "no window \"$1\""; kill $demo; exit 1; }
        xdotool windowfocus --sync "$window" && sleep 0.3 && xdotool key "$2"
    }
    press "Quorvanta Demo setup" Return
    press "End User License Agreement" Escape
    wait $demo
' _ "$script" "$build" "$scratch" || fail "the wizard was not driven to its end: $(cat "$scratch/out.txt")"

out=$(cat "$scratch/out.txt")
[[ $out == *"(exit status 0)"* ]] || fail "on a display: $out"
folders=("$scratch"/quorvanta-demo-gui.*)
[[ ${#folders[@]} == 1 && -d ${folders[0]}/home && -d ${folders[0]}/root ]] || fail "no scratch folder: $out"
[[ $out == *"HOME=${folders[0]}/home "*"-noroot -from "*"/demo-medium/cdinst.dat -dest ${folders[0]}/root"* ]] ||
    fail "the command shown: $out"
echo "1 passed, 0 failed"
