#!/usr/bin/env bash
# The shipped tolvane.exe in a Wine desktop with a taskbar, driven through X. It runs after
# the unit tests, and first reads the prefix's real Run keys back as prefix.reg set them.
exe=$1 failed=0
check() { local end=$((SECONDS + 3)) # WHAT COMMAND...: the command succeeds within 3 s
    until "${@:2}"; do ((SECONDS < end)) && sleep 0.2 || { echo "FAIL $1"; failed=1; return; }; done; echo "ok   $1"; }
# It runs from a folder whose name its Run value must keep exactly.
dir="$(dirname "$exe")/e2e/Ünïcödé Ψ 日本 dir"
mkdir -p "$dir" && cp "$exe" "$dir/" || exit 1
export LC_ALL=C.UTF-8
values() { for key in Run Explorer\\StartupApproved\\Run; do wine regedit /E "$dir/key.reg" "$cv\\$key" >/dev/null 2>&1
    iconv -f UTF-16 "$dir/key.reg" | tr -d '\r' | grep '^"'; done | sort; } # both Run keys' values
cv='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion' seeded=$(dirname "$0")/prefix.reg
check "the unit tests left the real Run keys alone" eval \
    '[ "$(values)" = "$(grep -E "^\"(Other|TolvaneIcon)\"" "$seeded" | sort)" ]'
wine reg add 'HKCU\Software\Wine\AppDefaults\tolvane.exe\Explorer' /v Desktop /d e2e /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v e2e /d 800x600 /f >/dev/null
# Colours at X,Y..., the fills L(it) and d(ark); cells read at their outer corners.
at() { import -window root -depth 8 -format "$(printf '%%[hex:p{%s}] ' "$@")" info: |
    sed 's/82DC64/L/g; s/1E1E1E/d/g'; }
shows() { [ "$(at 783,583 783,596 796,596)" = "$(sed 's/[NCS]/L/g; s/[ncs]/d/g' <<<"$1 ")" ]; }
bare() { [ "$(at "$1")" = "256F95 " ]; } # the desktop, where a menu or box would be
step() { xdotool $1 && check "${@:2}"; } # XDOTOOL_ACTION WHAT COMMAND...

wine "$dir/tolvane.exe" >/dev/null 2>&1 & pid=$!
check "the icon shows the locks all off" shows "n c s"
cpu() { sed 's/.*) //' "/proc/$pid/stat" | cut -d' ' -f12,13 | tr ' ' +; } # user + system, in 1/100 s
idle=$((-($(cpu)))) && sleep 3 # a 1-second timer costs next to nothing; a busy loop, a whole core
check "idle for 3 s, it used under 0.15 s of CPU" eval '((idle + $(cpu) < 15))'
xdotool search --name '^e2e - Wine desktop$' windowfocus --sync # X keys go to the focus
step "mousemove 790 590 click 3" "a right click on the icon opens the menu" eval '! bare 700,560'
step "key Escape" "Escape closes it" bare 700,560
step "click 3" "the next right click opens it again" eval '! bare 700,560'
ours="\"TolvaneIcon\"=\"\\\"$(sed 's|/|\\\\|g' <<<"Z:$dir")\\\\tolvane.exe\\\"\"" # as regedit writes it
step "key Down Return" "switched off in Startup apps, its first item sets our Run value and clears that" \
    eval '[ "$(values | grep TolvaneIcon)" = "$ours" ]'
step "click 3" "the menu opens again" eval '! bare 700,560'
step "key Down Down Return" "its second item opens About" eval '! bare 400,300'
step "key Caps_Lock" "with About open, Caps Lock lights its cell" shows "n C s"
# Wine gives About X's keyboard focus with an old time, which X can refuse: OK is clicked.
step "key Caps_Lock mousemove 402 351 click 1" "it goes out; a click on OK closes About" eval \
    'shows "n c s" && bare 400,300'
step "mousemove 790 590 click 3" "the menu opens again" eval '! bare 700,560'
step "key Up Return" "its last item ends the program with exit code 0" eval \
    'timeout 5 tail --pid=$pid -f /dev/null || kill $pid; wait $pid'
wine regedit /S "$seeded" # as the next run's unit tests will find them
exit $failed
