#!/usr/bin/env bash
# Builds the release: dist/tolvane-<version>-win64.zip and its .sha256 file.
set -euo pipefail
cd "$(dirname "$0")"
. tools/install-deps.sh
install_missing_packages "${BUILD_PACKAGES[@]}" "${RELEASE_PACKAGES[@]}"
cmake --preset mingw -DBUILD_TESTING=OFF >/dev/null
cmake --build --preset mingw --target release
