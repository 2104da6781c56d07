#!/usr/bin/env bash
# Builds tolvane.exe and runs it under Wine, installing whatever is missing
# first. With a desktop (DISPLAY set) the icon appears in your own tray; with
# none, it runs in a headless Wine desktop and saves a screenshot of the
# taskbar. Ctrl+C ends it.
#
#   ./run.sh --states FILE   (headless) saves the tray icon in its states,
#                            enlarged, side by side, to FILE and stops.
set -euo pipefail
cd "$(dirname "$0")"
states_file=""
if [ "${1:-}" = "--states" ]; then
    states_file=$(realpath -m "${2:?--states needs a file name}")
    unset DISPLAY
fi

. tools/install-deps.sh
install_missing_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" xdotool

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

if [ -n "$states_file" ]; then
    # Keys typed into the Wine desktop reach the program's keyboard hook.
    # Each step toggles keys: all off, Scroll, Num, Caps, all on, off again.
    # Scroll Lock is no X modifier, so Wine forgets it at the next key typed
    # into X: it comes last where it should stay on.
    xdotool mousemove 320 200 click 1
    sleep 0.5
    frames=()
    for keys in "" "Scroll_Lock" "Num_Lock" "Num_Lock Caps_Lock" "Num_Lock Scroll_Lock" \
                "Num_Lock Caps_Lock"; do
        [ -n "$keys" ] && xdotool key $keys
        sleep 1.5
        frame=$PWD/build/mingw/state-${#frames[@]}.png
        # The icon sits at the right end of the taskbar, shown at 16x16.
        import -window root -crop 20x20+620+460 +repage "$frame"
        frames+=("$frame")
    done
    mkdir -p "$(dirname "$states_file")"
    convert "${frames[@]:0:5}" -scale 800% -bordercolor white -border 8 +append "$states_file"
    rm -f "${frames[@]}"
    echo "Icon states (all off; Scroll; Num; Caps; all on): $states_file"
    exit 0
fi

echo "Ctrl+C ends it."
wait "$desktop"
