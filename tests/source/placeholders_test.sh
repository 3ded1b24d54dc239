#!/usr/bin/env bash
# Fails while any part of the program is still a placeholder: no source file
# of the program, its examples or its tests may hold the placeholder mark.
set -uo pipefail
cd "${QV_SOURCE_DIR:?}"
mark='NOT-YET-'"BUILT"
if hits=$(grep -rn --include='*.c' --include='*.cpp' --include='*.h' --include='*.py' --include='*.sh' \
              --include='CMakeLists.txt' --include='Makefile' -e "$mark" engine wizard examples tests bench Makefile 2>/dev/null); then
    echo "placeholders left in the program:"
    echo "$hits"
    exit 1
fi
echo "no placeholders"
