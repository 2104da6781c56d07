#!/usr/bin/env bash
# clang-tidy (configuration in .clang-tidy) and cppcheck (suppressions, each
# with its reason, in tools/cppcheck-suppressions.txt) over the program's own
# sources, as the mingw-w64 build compiles them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/mingw}
cd "$root"
sources=(app/*.cpp status/*.cpp menu/*.cpp)

# clang parses the sources for the Windows target, with the cross compiler's
# C++ library and Windows headers but its own compiler intrinsics.
extra=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-Wno-unknown-warning-option)
while read -r dir; do
    extra+=(--extra-arg=-isystem"$dir")
done < <(echo | x86_64-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
         sed -n '/#include <...> search starts here:/,/End of search list./p' | sed -n 's/^ //p' |
         grep -v -E '/include(-fixed)?$' || true)
extra+=(--extra-arg=-isystem/usr/x86_64-w64-mingw32/include)

failed=0
echo "clang-tidy: ${#sources[@]} files"
if ! clang-tidy --quiet -p "$build" "${extra[@]}" "${sources[@]}" 2>/dev/null; then
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
