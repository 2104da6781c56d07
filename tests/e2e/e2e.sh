#!/usr/bin/env bash
# End-to-end tests of the real tolvane.exe. It runs in a Wine virtual desktop
# with a taskbar, on an X server and a Wine prefix of this script's own, and
# is driven from outside: by e2e_probe.exe (a Windows program in the same
# desktop) and by xdotool clicks.
# Usage: e2e.sh TOLVANE_EXE E2E_PROBE_EXE BUILD_DIR
set -euo pipefail

if [ $# -ne 3 ] || [ -z "$3" ]; then
    echo "usage: $0 TOLVANE_EXE E2E_PROBE_EXE BUILD_DIR" >&2
    exit 2
fi
TOLVANE=$1
PROBE=$2
BUILD=$3
SOURCE=$(cd "$(dirname "$0")/../.." && pwd)
OUT=$BUILD/e2e
PREFIX=$BUILD/wineprefix-e2e
DESKTOP=tolvane-e2e
SIZE=800x600
RUN_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
RUN_VALUE=TolvaneIcon
# Nothing has touched the lock keys of a new X server and wineserver.
ALL_OFF="n c s"

# From here on every wine and wineserver call, the clean-up's too, is for
# this script's prefix and display, never the suite's.
export WINEPREFIX=$PREFIX
XVFB_PID=

mkdir -p "$OUT"
rm -f "$OUT"/*.png
LOG=$OUT/wine.log
: >"$LOG"

now_ms() {
    local now=${EPOCHREALTIME//[.,]/}
    echo $((now / 1000))
}
START_MS=$(now_ms)

. "$SOURCE/tools/wine-session.sh"

cleanup() {
    stop_wine_session >>"$LOG" 2>&1 || true
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

# Ends whatever an interrupted earlier run left in this prefix, so the
# session starts with its own wineserver and untouched lock keys.
if [ -f "$PREFIX/system.reg" ]; then
    wineserver -k >>"$LOG" 2>&1 || true
fi

start_headless_display "${SIZE}x24"

# A copy of the suite's prefix is much quicker than a new one.
if [ ! -f "$PREFIX/.e2e-ready" ]; then
    rm -rf "$PREFIX"
    if [ -f "$BUILD/wineprefix/system.reg" ]; then
        cp -a "$BUILD/wineprefix" "$PREFIX"
        rm -f "$PREFIX/wineserver"
    fi
fi
start_wine_prefix "$PREFIX" >>"$LOG" 2>&1
touch "$PREFIX/.e2e-ready"

# Every Wine program of this prefix, the probe too, lands in one virtual
# desktop with a taskbar; a Run value from an interrupted run goes.
cat >"$OUT/session.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="$DESKTOP"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"$DESKTOP"="$SIZE"

[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]
"$RUN_VALUE"=-
EOF
wine regedit /S "Z:${OUT//\//\\}\\session.reg" >>"$LOG" 2>&1

# Wine output goes through files: its helper processes would hold a pipe.
wine winepath -w "$TOLVANE" >"$OUT/winepath.out" 2>>"$LOG"
WIN_TOLVANE=$(tr -d '\r\n' <"$OUT/winepath.out")

# ------------------------------------------------------------------ helpers

passed=0
failed=0
WHY=

# check DESCRIPTION COMMAND...: one test, passed when the command succeeds;
# the command may leave the reason of a failure in WHY.
check() {
    local what=$1
    shift
    WHY=
    if "$@"; then
        passed=$((passed + 1))
        echo "ok      $what"
    else
        failed=$((failed + 1))
        echo "FAILED  $what${WHY:+: $WHY}"
        import -window root "$OUT/failed-$failed.png" 2>/dev/null || true
    fi
}

screenshot() {
    import -window root "$OUT/$1.png"
}

# The right end of the taskbar around the icon, four times as large.
tray_closeup() {
    local width=120
    local left=$((DESK_X + ICON_X + ICON_W + 2 - width)) top=$((DESK_Y + ICON_Y - 2))
    import -window root -crop "${width}x$((ICON_H + 4))+$left+$top" +repage \
        -filter point -resize 400% "$OUT/$1.png"
}

# Runs the probe in the program's desktop; its output lands in PROBE_OUT.
probe() {
    local status=0
    wine "$PROBE" "$@" >"$OUT/probe.out" 2>>"$LOG" || status=$?
    PROBE_OUT=$(tr -d '\r' <"$OUT/probe.out")
    return $status
}

# within MS COMMAND...: runs the command until it succeeds, for MS ms at most.
within() {
    local deadline=$(($(now_ms) + $1))
    shift
    until "$@"; do
        (($(now_ms) > deadline)) && return 1
        sleep 0.1
    done
}

absent() {
    ! "$@"
}

start_tolvane() {
    wine "$TOLVANE" >>"$LOG" 2>&1 &
    TOLVANE_PID=$!
}

tolvane_running() {
    local state
    state=$(sed 's/.*) //' "/proc/$TOLVANE_PID/stat" 2>/dev/null | cut -d' ' -f1) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

# ends_with CODE MS: the program's process ends within MS ms with CODE.
ends_with() {
    local status=0
    within "$2" absent tolvane_running || { WHY="still running after $2 ms"; return 1; }
    wait "$TOLVANE_PID" || status=$?
    if [ "$status" -ne "$1" ]; then
        WHY="exit code $status, expected $1"
        return 1
    fi
}

still_running() {
    tolvane_running || WHY="the program ended"
    tolvane_running
}

# shows_within CELLS MS: the icon in the taskbar shows CELLS ("N c s",
# upper case lit) in a reading that starts within MS ms.
shows_within() {
    local expected=$1 limit=$2 since
    since=$(now_ms)
    PROBE_OUT=
    while (($(now_ms) - since <= limit)); do
        if probe cells && [ "$PROBE_OUT" = "$expected" ]; then
            return 0
        fi
    done
    WHY="the icon shows '${PROBE_OUT}' after $limit ms, expected '$expected'"
    return 1
}

# appears_within MS: the icon is in the taskbar; sets ICON_X/Y/W/H.
appears_within() {
    within "$1" probe rect || { WHY="no icon in the taskbar after $1 ms"; return 1; }
    read -r ICON_X ICON_Y ICON_W ICON_H <<<"$PROBE_OUT"
}

gone_within() {
    within "$1" absent probe rect ||
        { WHY="the icon is still in the taskbar at $PROBE_OUT after $1 ms"; return 1; }
}

# xdotool works in X coordinates; Wine's screen is the desktop window.
click() {
    xdotool mousemove $((DESK_X + $2)) $((DESK_Y + $3)) click "$1"
}

right_click_icon() {
    CLICK_X=$((ICON_X + ICON_W / 2))
    CLICK_Y=$((ICON_Y + ICON_H / 2))
    click 3 "$CLICK_X" "$CLICK_Y"
}

# menu_opens: the program's menu is open; sets MENU_L/T/R/B and, per item,
# ITEMS (texts) and ITEM_X/ITEM_Y (a point on it).
menu_opens() {
    local l t r b text
    within 2000 probe menu ||
        { WHY="no menu 2 s after a right click on the icon (probe: $PROBE_OUT)"; return 1; }
    ITEMS=()
    ITEM_X=()
    ITEM_Y=()
    {
        read -r _ MENU_L MENU_T MENU_R MENU_B
        while read -r l t r b text; do
            ITEMS+=("$text")
            # Left of centre: the icon's tooltip may cover the right end.
            ITEM_X+=($((l + (r - l) / 4)))
            ITEM_Y+=($(((t + b) / 2)))
        done
    } <<<"$PROBE_OUT"
}

menu_closes() {
    within 2000 absent probe menu || { WHY="the menu is still open after 2 s"; return 1; }
}

# Windows puts a menu's corner at the given point; Wine moves one that
# would cover the taskbar up into the work area, so the menu is only
# required to reach within a taskbar's height of the click.
menu_at_cursor() {
    local dx=0 dy=0
    if ((CLICK_X < MENU_L)); then dx=$((MENU_L - CLICK_X)); fi
    if ((CLICK_X > MENU_R)); then dx=$((CLICK_X - MENU_R)); fi
    if ((CLICK_Y < MENU_T)); then dy=$((MENU_T - CLICK_Y)); fi
    if ((CLICK_Y > MENU_B)); then dy=$((CLICK_Y - MENU_B)); fi
    if ((dx > 24 || dy > 24)); then
        WHY="menu at ($MENU_L,$MENU_T)-($MENU_R,$MENU_B), clicked at ($CLICK_X,$CLICK_Y)"
        return 1
    fi
}

items_are() {
    local got
    got=$(IFS='|' && echo "${ITEMS[*]}")
    if [ "$got" != "$1" ]; then
        WHY="items '$got', expected '$1'"
        return 1
    fi
}

choose() {
    local i
    for i in "${!ITEMS[@]}"; do
        if [ "${ITEMS[$i]}" = "$1" ]; then
            click 1 "${ITEM_X[$i]}" "${ITEM_Y[$i]}"
            return 0
        fi
    done
    WHY="no item '$1' to choose"
    return 1
}

# Sets RUN_TYPE and RUN_DATA from `reg query`, both empty without a value.
read_run_value() {
    wine reg query "$RUN_KEY" >"$OUT/reg.out" 2>>"$LOG" || true
    RUN_TYPE=
    RUN_DATA=
    read -r RUN_TYPE RUN_DATA < <(tr -d '\r' <"$OUT/reg.out" | sed -n "s/^ *$RUN_VALUE  *//p") ||
        true
}

run_value_set() {
    read_run_value
    [ -n "$RUN_TYPE" ]
}

run_value_is_quoted_path() {
    within 2000 run_value_set || true
    if [ "$RUN_TYPE" != REG_SZ ] || [ "$RUN_DATA" != "\"$WIN_TOLVANE\"" ]; then
        WHY="$RUN_VALUE is '$RUN_TYPE $RUN_DATA', expected 'REG_SZ \"$WIN_TOLVANE\"'"
        return 1
    fi
}

run_value_absent() {
    within 2000 absent run_value_set || true
    if [ -n "$RUN_TYPE" ]; then
        WHY="$RUN_VALUE is still there: $RUN_TYPE $RUN_DATA"
        return 1
    fi
}

# messagebox_shows CAPTION TEXT_START: the program's message box is up;
# sets OK_X/OK_Y, the centre of its OK button.
messagebox_shows() {
    local caption text
    within 2000 probe messagebox || { WHY="no message box after 2 s"; return 1; }
    caption=$(sed -n 's/^caption //p' <<<"$PROBE_OUT")
    text=$(sed -n 's/^text //p' <<<"$PROBE_OUT")
    read -r OK_X OK_Y < <(sed -n 's/^ok //p' <<<"$PROBE_OUT") || true
    if [ "$caption" != "$1" ] || [[ "$text" != "$2"* ]]; then
        WHY="caption '$caption', text '$text'"
        return 1
    fi
}

no_messagebox() {
    if probe messagebox; then
        WHY="a message box is open: $PROBE_OUT"
        return 1
    fi
}

# lock_key_turns KEY CELLS: pressing KEY shows CELLS, pressing it again
# shows all off again, each within a second.
lock_key_turns() {
    local turned=0 why=
    if probe press "$1" && shows_within "$2" 1000; then turned=1; else why=$WHY; fi
    # Always toggled back: the keys must end as they started.
    if probe press "$1" && shows_within "$ALL_OFF" 1000; then
        WHY=$why
        [ "$turned" -eq 1 ]
    else
        WHY=${why:-$WHY}
        return 1
    fi
}

# Leaves neither the menu nor a message box open after a failed step.
dismiss_leftovers() {
    if probe menu; then probe press escape || true; fi
    if probe messagebox; then probe press escape || true; fi
}

find_desktop_window() {
    local geometry
    geometry=$(xdotool search --name "^$DESKTOP - Wine desktop\$" getwindowgeometry --shell) ||
        true
    DESK_X=$(sed -n 's/^X=//p' <<<"$geometry")
    DESK_Y=$(sed -n 's/^Y=//p' <<<"$geometry")
    if [ -z "$DESK_X" ] || [ -z "$DESK_Y" ]; then
        echo "no X window for the Wine desktop; clicking as if at 0,0"
        DESK_X=0
        DESK_Y=0
    fi
}

# ------------------------------------------------------------- the checks

untray_hides() {
    probe untray && gone_within 2000
}

# The entry must come back showing what the keys are now.
taskbar_created_restores() {
    probe taskbar-created && appears_within 2000 && shows_within "N c s" 2000
}

closes_from_outside() {
    if ! probe close || [ "$PROBE_OUT" != "exit code 0" ]; then
        WHY="probe close: $PROBE_OUT"
        return 1
    fi
    ends_with 0 2000
}

right_click_opens_menu() {
    right_click_icon && menu_opens && menu_at_cursor
}

choosing_sets_run_value() {
    choose "Set to run at startup" && menu_closes && run_value_is_quoted_path
}

menu_offers_stop() {
    right_click_icon && menu_opens && items_are "Stop running at startup|About|Exit"
}

choosing_removes_run_value() {
    choose "Stop running at startup" && menu_closes && run_value_absent
}

escape_changes_nothing() {
    right_click_icon && menu_opens && probe press escape && menu_closes &&
        sleep 0.3 && still_running && no_messagebox && appears_within 0 && run_value_absent
}

about_shows_box() {
    right_click_icon && menu_opens && choose About && messagebox_shows About Tolvane
}

ok_closes_about() {
    click 1 "$OK_X" "$OK_Y" && sleep 0.3 && no_messagebox && still_running && appears_within 0
}

exit_ends_program() {
    right_click_icon && menu_opens && choose Exit && ends_with 0 3000
}

# --------------------------------------------------------------- the run

echo "tolvane.exe in a Wine virtual desktop on $DISPLAY, prefix $PREFIX"
start_tolvane
check "the icon appears in the taskbar" appears_within 10000
find_desktop_window
check "it shows the lock keys as they are: $ALL_OFF" shows_within "$ALL_OFF" 2000
screenshot taskbar

# key    the icon after one press
KEY_ROWS=(
    "caps   n C s"
    "num    N c s"
    "scroll n c S"
)
for row in "${KEY_ROWS[@]}"; do
    read -r key cells <<<"$row"
    check "$key lights its cell alone, and a second press turns it off, each within 1 s" \
        lock_key_turns "$key" "$cells"
done

# Num stays on until after TaskbarCreated: the re-added icon must show it.
check "num on: N c s" eval 'probe press num && shows_within "N c s" 1000'
tray_closeup tray-num-on
check "removed from the tray behind its back, the icon disappears" untray_hides
check "TaskbarCreated brings the icon back, showing N c s" taskbar_created_restores
check "num off again: $ALL_OFF" eval 'probe press num && shows_within "$ALL_OFF" 1000'

check "WM_CLOSE from another program ends it with exit code 0" closes_from_outside
check "after WM_CLOSE the icon leaves the taskbar" gone_within 2000

# The menu, worked with the mouse.
start_tolvane
check "started again, the icon is back" appears_within 10000
check "a right click on the icon opens the menu at the cursor" right_click_opens_menu
screenshot menu
check "its items: Set to run at startup, About, Exit" \
    items_are "Set to run at startup|About|Exit"
check "'Set to run at startup' sets $RUN_VALUE to the exe's quoted path" \
    choosing_sets_run_value
check "the menu then offers: Stop running at startup, About, Exit" menu_offers_stop
check "'Stop running at startup' removes $RUN_VALUE" choosing_removes_run_value
dismiss_leftovers
check "Escape closes the menu and changes nothing" escape_changes_nothing
dismiss_leftovers
check "'About' shows the About box" about_shows_box
screenshot about
check "with the About box up, the icon follows caps" lock_key_turns caps "n C s"
check "OK closes the About box; the program goes on" ok_closes_about
dismiss_leftovers
check "'Exit' ends the program with exit code 0" exit_ends_program
check "after Exit the icon leaves the taskbar" gone_within 2000

echo "e2e took $((($(now_ms) - START_MS) / 1000)) s; screenshots in $OUT"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
