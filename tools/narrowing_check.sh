#!/usr/bin/env bash
# What cl.exe at /W4 /WX stops on and clang-cl lets through: a 64-bit integer
# converted implicitly to a narrower one (tools/narrowing.query). Fails
# naming each one's file and line. Usage: narrowing_check.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/mingw}
cd "$root"
. tools/mingw-clang-args.sh

# Warnings off (the build's -Werror would make them errors), but clang-query
# exits 0 and matches what it could parse even after a compile error.
if ! out=$(clang-query -p "$build" "${CLANG_MINGW_ARGS[@]}" --extra-arg=-w -f tools/narrowing.query \
               app/*.cpp status/*.cpp menu/*.cpp 2>&1) ||
   grep -q ' error: ' <<<"$out" || ! grep -qE '^[0-9]+ match(es)?\.$' <<<"$out"; then
    echo "$out"
    echo "narrowing check: clang-query failed"
    exit 1
fi
found=$(sed -nE 's#^.*/((app|status|menu|platform)/[^/:]+:[0-9]+):[0-9]+: note: "narrowed" binds here$#\1#p' <<<"$out" | sort -u)
for at in $found; do
    echo "$at: a 64-bit integer converted implicitly to a narrower type (cl.exe: C4267/C4244):"
    sed -n "${at##*:}p" "${at%:*}"
done
if [ -n "$found" ]; then
    echo "narrowing check: $(wc -l <<<"$found") found; cast explicitly or use the narrower type"
    exit 1
fi
echo "narrowing check: none in the program's sources"
