#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine, installing
# whatever is missing first. Ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")"

# The tests sign with a throwaway certificate of their own, never with one named here.
unset TOLVANE_SIGN_P12 TOLVANE_SIGN_PASSWORD TOLVANE_TIMESTAMP_URL TOLVANE_DOWNLOAD_URL TOLVANE_VERIFY

. tools/install-deps.sh
install_missing_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
# npm comes with Debian's nodejs and npm, or with a nodejs from elsewhere.
command -v npm >/dev/null || install_missing_packages nodejs npm

# The X server and the Wine prefix come up while the build runs.
. tools/wine-session.sh
trap stop_wine_session EXIT
start_headless_display
export WINEPREFIX=$PWD/build/mingw/wineprefix
start_wine_prefix "$WINEPREFIX" &
prefix_ready=$!

cmake --preset mingw -DBUILD_TESTING=ON
cmake --build --preset mingw
# The sources in cl.exe's dialect, warnings as errors: clang-cl against Wine's SDK headers.
cmake --workflow --preset msvc-check --fresh
# What cl.exe also stops on by type alone, and clang-cl lets through where the
# value fits: 64-bit integers narrowed implicitly. Fails here, before the Wine tests.
tools/narrowing_check.sh

wait "$prefix_ready"
start_wine_prefix "$WINEPREFIX"
ctest --preset mingw
