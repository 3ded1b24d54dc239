#!/usr/bin/env bash
# Installs the demo medium into a scratch folder with the command-line
# installer and shows what it left behind.
set -euo pipefail
build=${1:-build}
echo "demo: the command-line installation is not built yet; it will run"
echo "  $build/setup -cmdline -noroot -from $build/demo-medium/cdinst.dat -dest <scratch>"
