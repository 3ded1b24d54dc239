#!/usr/bin/env bash
# Checks that the program's dynamic symbol table holds every name listed in
# the given directory's *.txt files (one name a line, '#' starts a comment).
set -euo pipefail
bin=$1
dir=$2
exported=$(nm -D --defined-only "$bin" | awk '{print $NF}' | sort -u)
missing=0
for list in "$dir"/*.txt; do
    while read -r name _; do
        [[ -z "$name" || "$name" == \#* ]] && continue
        if ! grep -qx -- "$name" <<<"$exported"; then
            echo "not exported: $name ($(basename "$list"))"
            missing=$((missing + 1))
        fi
    done <"$list"
done
if [[ $missing -gt 0 ]]; then
    echo "$missing name(s) missing from the dynamic symbol table of $bin"
    exit 1
fi
echo "all listed names are exported"
