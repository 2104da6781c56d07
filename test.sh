#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine, installing
# whatever is missing first. Ends with ctest's summary.
set -euo pipefail
cd "$(dirname "$0")"

. tools/install-deps.sh
install_missing_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

cmake --preset mingw -DBUILD_TESTING=ON
cmake --build --preset mingw
cmake --workflow --preset msvc-check --fresh

. tools/wine-session.sh
trap stop_wine_session EXIT
start_headless_display
start_wine_prefix "$PWD/build/mingw/wineprefix"

ctest --preset mingw
