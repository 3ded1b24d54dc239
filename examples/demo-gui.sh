#!/usr/bin/env bash
# Starts the wizard on the demo medium on the user's X display, with HOME and
# the destination in a scratch folder. The folder is kept afterwards: it holds
# what was installed, and the same command started again on it opens the
# maintenance dialog.
set -uo pipefail
build=${1:-build}
setup=$build/setup
medium=$build/demo-medium

if [[ -z ${DISPLAY:-} ]]; then
    echo "demo-gui: no X display (DISPLAY is not set); 'make demo' shows the command-line installation" >&2
    exit 1
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quorvanta-demo-gui.XXXXXX")
home=$scratch/home
root=$scratch/root
mkdir -p "$home" "$root"

printf -v command 'HOME=%q %q -noroot -from %q -dest %q' "$home" "$setup" "$medium/cdinst.dat" "$root"
echo "\$ $command"
HOME=$home "$setup" -noroot -from "$medium/cdinst.dat" -dest "$root"
status=$?
if [[ $status == 10 ]]; then
    # Setup's answer when the user quits it: the demo went as asked.
    echo "(exit status 10: setup was quit)"
    status=0
else
    echo "(exit status $status)"
fi
echo "The installation is in $root (remove $scratch when done)."
echo "Maintenance mode: $command"
exit $status
