#!/usr/bin/env bash
# Runs a command against a private Xvfb server: Xvfb picks a free display
# itself (-displayfd), so tests can run in parallel. With QV_TEST_WM=1 the
# mwm window manager runs on it too.
set -uo pipefail
tmp=$(mktemp -d)
trap 'kill $wm_pid $xvfb_pid 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"' EXIT
wm_pid=
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
# Up to a minute: a loaded machine may be slow to start it.
for _ in $(seq 1 1200); do
    [[ -s "$tmp/display" ]] && break
    kill -0 $xvfb_pid 2>/dev/null || break
    sleep 0.05
done
if [[ ! -s "$tmp/display" ]]; then
    echo "run-with-xvfb: Xvfb did not start" >&2
    cat "$tmp/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$tmp/display")"
if [[ "${QV_TEST_WM:-0}" == 1 ]] && command -v mwm >/dev/null; then
    mwm >/dev/null 2>&1 &
    wm_pid=$!
    sleep 0.3
fi
"$@"
