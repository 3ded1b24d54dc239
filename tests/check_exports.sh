#!/usr/bin/env bash
# Checks that the program's dynamic symbol table holds every name listed in
# the given directory's *.txt files (one name a line, '#' starts a comment).
set -euo pipefail
bin=$1
dir=$2
exported=$(mktemp)
wanted=$(mktemp)
trap 'rm -f "$exported" "$wanted"' EXIT
nm -D --defined-only "$bin" | awk '{print $NF}' | sort -u >"$exported"
for list in "$dir"/*.txt; do
    awk -v f="$(basename "$list")" '$1 !~ /^#/ && NF { print $1 "\t" f }' "$list"
done | sort -u >"$wanted"
missing=$(cut -f1 "$wanted" | sort -u | comm -23 - "$exported")
if [[ -n "$missing" ]]; then
    while read -r name; do
        printf 'not exported: %s (%s)\n' "$name" "$(awk -v n="$name" '$1 == n { print $2 }' "$wanted" | paste -sd,)"
    done <<<"$missing"
    echo "$(wc -l <<<"$missing") name(s) missing from the dynamic symbol table of $bin"
    exit 1
fi
echo "all $(cut -f1 "$wanted" | sort -u | wc -l) listed names are exported"
