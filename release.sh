#!/usr/bin/env bash
# Builds the release into dist/: the zip and the setup, each with its .sha256 file; signed when
# TOLVANE_SIGN_P12 names a certificate, with winget and Scoop manifests when TOLVANE_DOWNLOAD_URL
# is set (see the README). With --verify DIR, rebuilds both instead, puts the signatures in DIR
# on them, and compares them with the downloads in DIR: exit 0 only when every file is identical.
set -euo pipefail
if [ "${1:-}" = --verify ]; then
    [ -d "${2:-}" ] || { echo "Usage: bash release.sh [--verify DIR]" >&2; exit 2; }
    TOLVANE_VERIFY=$(cd "$2" && pwd) && export TOLVANE_VERIFY
fi
cd "$(dirname "$0")"
. tools/install-deps.sh
install_missing_packages "${BUILD_PACKAGES[@]}" "${RELEASE_PACKAGES[@]}"
cmake --preset mingw -DBUILD_TESTING=OFF >/dev/null
cmake --build --preset mingw --target release
