#!/usr/bin/env bash
# Builds the release into dist/: the zip and the setup, each with its .sha256 file, and the build
# record tolvane-<version>.buildinfo; signed when TOLVANE_SIGN_P12 names a certificate, with winget
# and Scoop manifests when TOLVANE_DOWNLOAD_URL is set (see docs/release.md). With --verify DIR, rebuilds
# both instead, puts the signatures in DIR on them, and compares them with the downloads in DIR,
# first naming what of this build differs from DIR's build record. It exits 0 when every file is
# identical; 3 when one differs though built as the record says, from the same source with the
# same packages (not what this source builds); 4 when one differs and this build is not the
# record's (other packages or another commit), or DIR holds no record to tell; 2 on a wrong
# command line, 1 when the build fails.
set -euo pipefail
if [ "${1:-}" = --verify ]; then
    [ -d "${2:-}" ] || { echo "Usage: bash release.sh [--verify DIR]" >&2; exit 2; }
    TOLVANE_VERIFY=$(cd "$2" && pwd) && export TOLVANE_VERIFY
fi
cd "$(dirname "$0")"
. tools/install-deps.sh
install_missing_packages "${BUILD_PACKAGES[@]}" "${RELEASE_PACKAGES[@]}"
cmake --preset mingw -DBUILD_TESTING=OFF >/dev/null
verdict=build/mingw/release/verdict # cmake/release.cmake's, when a check finds a difference
rm -f "$verdict"
cmake --build --preset mingw --target release && exit 0
case $(cat "$verdict" 2>/dev/null) in source) exit 3 ;; toolchain) exit 4 ;; *) exit 1 ;; esac
