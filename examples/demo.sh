#!/usr/bin/env bash
# Installs the demo medium into a scratch folder with the command-line
# installer, shows what it left behind, then runs it a second time on the
# same destination, where the installer finds the history of the first run.
set -uo pipefail
build=${1:-build}
setup=$build/setup
medium=$build/demo-medium
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quorvanta-demo.XXXXXX")
home=$scratch/home
root=$scratch/root
product=$root/QuorvantaDemo
mkdir -p "$home" "$root"

section() { printf '\n=== %s\n' "$*"; }

run_setup() {
    echo "\$ HOME=$home $setup -cmdline -noroot -from $medium/cdinst.dat -dest $root/"
    HOME=$home "$setup" -cmdline -noroot -from "$medium/cdinst.dat" -dest "$root/"
    echo "(exit status $?)"
}

section "First installation"
run_setup

section "Installed tree: $root"
(cd "$root" && find . -mindepth 1 | sort | while read -r f; do
    if [[ -L $f ]]; then
        printf '%s  %s -> %s\n' "$(stat -c %A "$f")" "$f" "$(readlink "$f")"
    else
        printf '%s  %8s  %s\n' "$(stat -c %A "$f")" "$(stat -c %s "$f")" "$f"
    fi
done)

section "Site configuration written by the setup module: etc/site.conf"
cat "$product/etc/site.conf"

section "History file: SetupFiles/.QuorvantaDemo.his"
cat "$product/SetupFiles/.QuorvantaDemo.his"

section "Log file: SetupFiles/setup.log"
cat "$product/SetupFiles/setup.log"

section "Registry: Application/registry"
if [[ -n ${DISPLAY:-} ]]; then
    (cd "$product/Application/registry" && find . -type f | sort | while read -r f; do
        printf '%s = %s\n' "$f" "$(cat "$f")"
    done)
else
    echo "(DISPLAY is not set: the registry steps were skipped with a warning)"
fi

section "Menu include line in \$HOME/.auxchestrc"
cat "$home/.auxchestrc"

section "Second run on the same destination (the history is found)"
run_setup

section "History file after the second run"
cat "$product/SetupFiles/.QuorvantaDemo.his"

section "Log file after the second run"
cat "$product/SetupFiles/setup.log"

section "Menu include line after the second run (added once)"
cat "$home/.auxchestrc"

rm -rf "$scratch"
