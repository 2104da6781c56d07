#!/usr/bin/env bash
# Builds tolvane.exe again from a copy of the sources in another, oddly named
# folder, and requires the same bytes as EXE: nothing of the time or the
# place of a build may end up in the executable. Usage: reproducible_build.sh EXE
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
copy=$(mktemp -d "${TMPDIR:-/tmp}/tolvane other build.XXXXXX")
trap 'rm -rf "$copy"' EXIT
tar -C "$source_dir" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$copy" -xf -
if ! { cmake -S "$copy" -B "$copy/out" --toolchain "$copy/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF &&
       cmake --build "$copy/out" --target tolvane -j 2; } >"$copy/build.log" 2>&1; then
    cat "$copy/build.log"
    exit 1
fi
sha256sum "$1" "$copy/out/tolvane.exe"
cmp "$1" "$copy/out/tolvane.exe"
