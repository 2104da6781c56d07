#!/usr/bin/env bash
# Builds tolvane.exe and runs it under Wine, installing whatever is missing
# first. With a desktop (DISPLAY set) the icon appears in your own tray; with
# none, it runs in a headless Wine desktop and saves a screenshot of the
# taskbar. Ctrl+C ends it.
set -euo pipefail
cd "$(dirname "$0")"

. tools/install-deps.sh
install_missing_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"

cmake --preset mingw -DBUILD_TESTING=OFF >/dev/null
cmake --build --preset mingw --target tolvane
exe=$PWD/build/mingw/tolvane.exe

. tools/wine-session.sh
trap stop_wine_session EXIT
trap 'exit 130' INT TERM

if [ -n "${DISPLAY:-}" ]; then
    start_wine_prefix "$PWD/build/mingw/wineprefix-run"
    echo "Tolvane is running in your notification area; Ctrl+C or its Exit item ends it."
    wine "$exe"
    exit 0
fi

start_headless_display 1024x768x24
start_wine_prefix "$PWD/build/mingw/wineprefix-run"
wine explorer /desktop=Tolvane,640x480 "$exe" >/dev/null 2>&1 &
desktop=$!
sleep 4
shot=$PWD/build/mingw/tolvane-taskbar.png
# The Wine desktop sits at the top left of the screen; its taskbar is the
# bottom strip of it.
import -window root -crop 640x24+0+456 +repage "$shot"
echo "Tolvane is running headless on display $DISPLAY; taskbar screenshot: $shot"
echo "Ctrl+C ends it."
wait "$desktop"
