#!/usr/bin/env bash
# Builds tolvane.exe twice from scratch, from two copies of the sources in
# differently named folders, and requires byte-identical results: nothing of
# the time or the place of a build may end up in the executable.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT

build_copy() {
    local copy=$1
    mkdir -p "$copy"
    tar -C "$source_dir" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$copy" -xf -
    cmake -S "$copy" -B "$copy/out" -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >"$copy.log" 2>&1
    cmake --build "$copy/out" --target tolvane -j 2 >>"$copy.log" 2>&1 || { cat "$copy.log"; exit 1; }
}

build_copy "$work/first"
sleep 1 # a different second, should a timestamp slip in
build_copy "$work/second build/somewhere else"

a="$work/first/out/tolvane.exe"
b="$work/second build/somewhere else/out/tolvane.exe"
sha256sum "$a" "$b" | sed "s|$work/||"
if cmp -s "$a" "$b"; then
    echo "1 passed, 0 failed"
else
    cmp -l "$a" "$b" | head -20
    echo "0 passed, 1 failed"
    exit 1
fi
