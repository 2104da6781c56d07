#!/usr/bin/env bash
# The shipped tolvane.exe: what its headers and resources promise, then the program in
# a Wine desktop with a taskbar on the test session's X server, driven through X.
exe=$1 map=$(dirname "$1")/tolvane.map failed=0
check() { # WHAT COMMAND...: the command succeeds within 3 s
    local end=$((SECONDS + 3))
    until "${@:2}"; do ((SECONDS < end)) && sleep 0.2 || { echo "FAIL $1"; failed=1; return; }; done
    echo "ok   $1"
}
pe=$(x86_64-w64-mingw32-objdump -p -h -w "$exe")
check "x64 GUI, ASLR with high-entropy addresses, DEP" grep -qzE \
    "Magic\s+020b.*Subsystem\s+0+2\s.*HIGH_ENTROPY_VA\s+DYNAMIC_BASE\s+NX_COMPAT" <<<"$pe"
check "no section writable and executable" eval '! grep CODE <<<"$pe" | grep -qv READONLY'
check "stack protector" eval 'grep -q __stack_chk_fail "$map" && grep -q __stack_chk_guard "$map"'
check "imports only system DLLs" eval '! grep "DLL Name" <<<"$pe" |
    grep -qviE "Name: (advapi32|gdi32|kernel32|msvcrt|shell32|user32)\.dll$"'
check "icon groups 107 and 108: 16, 32, 48 and 64 px, 32-bit" eval '[ "$(for group in 107 108; do
    wrestool -x -t 14 -n $group "$exe" | icotool -l -; done |
    grep -oP "width=\K(\d+)(?= --height=\1 --bit-depth=32)" | xargs)" = "16 32 48 64 16 32 48 64" ]'
check "manifest: asInvoker, no UI access, PerMonitorV2" eval \
    'wrestool -x -R -t 24 "$exe" | grep -qzE "level=.asInvoker. uiAccess=.false.*PerMonitorV2"'
check "at most 96 KiB" eval '(($(stat -c %s "$exe") <= 96 * 1024))'

# It runs from a folder whose name its Run value must keep exactly.
dir="$(dirname "$exe")/e2e/Ünïcödé Ψ 日本 dir"
mkdir -p "$dir" && cp "$exe" "$dir/" || exit 1
export LC_ALL=C.UTF-8
run='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run'
wine reg delete "$run" /v TolvaneIcon /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\AppDefaults\tolvane.exe\Explorer' /v Desktop /d e2e /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v e2e /d 800x600 /f >/dev/null
# Colours at X,Y..., the fills L(it) and d(ark); cells read at their outer corners.
at() { import -window root -depth 8 -format "$(printf '%%[hex:p{%s}] ' "$@")" info: |
    sed 's/82DC64/L/g; s/1E1E1E/d/g'; }
shows() { [ "$(at 783,583 783,596 796,596)" = "$(sed 's/[NCS]/L/g; s/[ncs]/d/g' <<<"$1 ")" ]; }
bare() { [ "$(at "$1")" = "256F95 " ]; } # the desktop, where a menu or box would be
covered() { ! bare "$@"; }
run_value_is() {
    wine regedit /E "$dir/run.reg" "$run" >/dev/null 2>&1
    [ "$(iconv -f UTF-16 -t UTF-8 "$dir/run.reg" | tr -d '\r' | grep '^"TolvaneIcon"=')" = "$1" ]
}
step() { xdotool $1 && check "${@:2}"; } # XDOTOOL_ACTION WHAT COMMAND...

wine "$dir/tolvane.exe" >/dev/null 2>&1 &
pid=$!
check "the icon shows the locks all off" shows "n c s"
xdotool search --name '^e2e - Wine desktop$' windowfocus --sync # X keys go to the focus
for key in Num_Lock/"N c s" Caps_Lock/"n C s" Scroll_Lock/"n c S" alt+Caps_Lock/"n C s"; do
    step "key ${key%/*}" "${key%/*} lights its own cell" shows "${key#*/}"
    step "key ${key%/*}" "${key%/*} again puts it out" shows "n c s"
done
step "mousemove 790 590 click 3" "a right click on the icon opens the menu" covered 700,560
step "key Escape" "Escape closes it" bare 700,560
step "click 3" "the next right click opens it again" covered 700,560
step "key Down Return" "its first item sets the Run value to the quoted path" run_value_is \
    "\"TolvaneIcon\"=\"\\\"$(sed 's|/|\\\\|g' <<<"Z:$dir")\\\\tolvane.exe\\\"\""
step "click 3" "the menu opens again" covered 700,560
step "key Down Down Return" "its second item opens About" covered 400,300
step "key Caps_Lock" "with About open, Caps Lock lights its cell" shows "n C s"
step "key Caps_Lock Return" "it goes out; OK closes About" eval 'shows "n c s" && bare 400,300'
step "click 3" "the menu opens again" covered 700,560
step "key Up Return" "its last item ends the program with exit code 0" eval \
    'timeout 5 tail --pid=$pid -f /dev/null || kill $pid; wait $pid'
check "and the icon leaves the taskbar" eval '! at 783,583 783,596 796,596 | grep -q "[Ld]"'
exit $failed
