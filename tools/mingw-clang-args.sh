# Sourced by the build checks that run clang's tools (static_analysis.sh,
# narrowing_check.sh): CLANG_MINGW_ARGS makes clang parse the sources for
# the Windows target, with the cross compiler's C++ library and Windows
# headers but its own compiler intrinsics.
CLANG_MINGW_ARGS=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-Wno-unknown-warning-option)
while read -r dir; do
    CLANG_MINGW_ARGS+=(--extra-arg=-isystem"$dir")
done < <(echo | x86_64-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
         sed -n '/#include <...> search starts here:/,/End of search list./p' | sed -n 's/^ //p' |
         grep -v -E '/include(-fixed)?$' || true)
CLANG_MINGW_ARGS+=(--extra-arg=-isystem/usr/x86_64-w64-mingw32/include)
