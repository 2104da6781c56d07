#!/usr/bin/env bash
# clang-tidy (configuration in .clang-tidy) and cppcheck (suppressions, each
# with its reason, in tools/cppcheck-suppressions.txt) over the program's own
# sources, as the mingw-w64 build compiles them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/mingw}
cd "$root"
sources=(app/*.cpp status/*.cpp menu/*.cpp)

. tools/mingw-clang-args.sh

failed=0
echo "clang-tidy: ${#sources[@]} files"
if ! clang-tidy --quiet -p "$build" "${CLANG_MINGW_ARGS[@]}" "${sources[@]}" 2>/dev/null; then
    failed=$((failed + 1))
fi

echo "cppcheck: ${#sources[@]} files"
if ! cppcheck --quiet --error-exitcode=1 --enable=warning,style,performance,portability \
        --std=c++17 --language=c++ --inline-suppr --platform=win64 -D_WIN64 -DUNICODE -D_UNICODE \
        --suppressions-list=tools/cppcheck-suppressions.txt \
        -I . "${sources[@]}"; then
    failed=$((failed + 1))
fi

echo "$((2 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
