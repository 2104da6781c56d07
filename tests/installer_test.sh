#!/usr/bin/env bash
# The setup under Wine, in a fresh prefix on an X server of its own, HOME in the build folder:
# install, upgrade over a running copy that starts at logon, a move, each failure's exit code,
# uninstall as a package manager runs it, and what is left; a portable copy runs throughout.
# Usage: installer_test.sh SETUP EXE VERSION WORK_DIR HOLD (tests/hold.c)
setup=$1 exe=$2 version=$3 work=$4 hold=$5 src=$(cd "$(dirname "$0")/.." && pwd) failed=0
check() { if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failed=1; fi; } # WHAT COMMAND...
rm -rf "$work" && mkdir -p "$work/home" "$work/older" || exit 1
. "$src/tools/wine-session.sh"
trap stop_wine_session EXIT
export HOME=$work/home
start_headless_display
start_wine_prefix "$work/prefix" >/dev/null
c=$WINEPREFIX/drive_c
mkdir -p "$c/test/portable" && cp "$exe" "$c/test/portable/" && cp "$setup" "$c/test/setup.exe" &&
    cp "$hold" "$c/test/" || exit 1

build_setup() { cmake -DMAKENSIS="$(command -v makensis)" -DSOURCE_DIR="$src" -DVERSION="$1" \
    -DEXE="$2" -DOUT="$3" -P "$src/cmake/setup.cmake" >/dev/null; } # VERSION EXE OUT
build_setup "$version" "$exe" "$work/again-setup.exe" || exit 1
check "the setup builds again byte for byte" cmp -s "$setup" "$work/again-setup.exe"
check "it asks for no administrator rights" eval 'wrestool -x -R -t 24 "$setup" | grep -q "level=.asInvoker."'
# The older version the upgrade starts from: its exe has one byte more at the end.
cat "$exe" <(printf '\0') >"$work/older/tolvane.exe"
build_setup 1.1.0 "$work/older/tolvane.exe" "$work/older-setup.exe" || exit 1
cp "$work/older-setup.exe" "$c/test/"

# A command line run as a package manager runs it, not split and quoted again; its exit code.
run() { printf '@%s\r\n' "$1" >"$c/test/run.bat"; timeout 30 wine cmd /c 'C:\test\run.bat' >/dev/null 2>&1; }
exits() { run "$2"; [ $? = "$1" ]; } # CODE COMMAND_LINE
cv='HKCU\Software\Microsoft\Windows\CurrentVersion'
value() { wine reg query "$cv\\$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z]* *//p"; }
# Start at logon for the copy in FOLDER; with SWITCH, Startup apps' switch for it too (binary, as hex).
set_logon() { wine reg add "$cv\\Run" /v TolvaneIcon /d "\"$1\\tolvane.exe\"" /f >/dev/null
    [ -z "${2:-}" ] || wine reg add "$cv\\Explorer\\StartupApproved\\Run" /v TolvaneIcon \
                                    /t REG_BINARY /d "$2" /f >/dev/null; }
OFF=030000000000000000000000
unix() { local path=${1#C:}; echo "$c${path//\\//}"; }
short() { printf '@for %%%%I in ("%s") do @echo %%%%~sI\r\n' "$1" >"$c/test/short.bat" # PATH in 8.3 form
    wine cmd /c 'C:\test\short.bat' | tr -d '\r'; }
# Running copies of FOLDER\tolvane.exe in this prefix, by pid.
copies() { for p in /proc/[0-9]*; do grep -qzx "WINEPREFIX=$WINEPREFIX" "$p/environ" 2>/dev/null &&
    [ "$(tr -d '\0"' <"$p/cmdline")" = "$1\\tolvane.exe" ] && echo "${p#/proc/}"; done; }
start() { wine "$1\\tolvane.exe" >/dev/null 2>&1 & sleep 3; } # FOLDER; its window is up by then
installed() { value 'Uninstall\Tolvane' "$1"; } # VALUE_NAME
ended() { timeout 10 tail --pid="$1" -f /dev/null && wait "$1"; } # PID, one of ours; its exit code
# Another program holds FOLDER\tolvane.exe for MS milliseconds from now on (hold.exe, pid $holder).
hold() { rm -f "$work/held"; wine 'C:\test\hold.exe' "$1\\tolvane.exe" "$2" >"$work/held" 2>/dev/null & holder=$!
    timeout 10 sh -c 'until [ -s "$0" ]; do sleep 0.1; done' "$work/held"; } # FOLDER MS

check "on Windows 7, setup stops with 5 and installs nothing" \
    eval 'exits 5 "C:\test\setup.exe /S" && [ -z "$(installed DisplayName)" ]'
wine winecfg -v win10
start 'C:\test\portable'
set_logon 'C:\test\portable' $OFF
switch=$(value 'Explorer\StartupApproved\Run' TolvaneIcon)
# HKEY_CURRENT_USER as lines, and what the user's folders hold, to compare at the end.
registry() { wine regedit /E "$1.reg" HKEY_CURRENT_USER &&
    iconv -f UTF-16 "$1.reg" | tr -d '\r' | sort >"$1"; } # FILE
registry "$work/before" && find "$c/users" | sort >"$work/files-before"

check "older version installed silently" exits 0 'C:\test\older-setup.exe /S'
inst=$(installed InstallLocation)
check "its size in Apps in KiB, its shortcut in the user's own Start menu only" eval \
    '(( $(installed EstimatedSize) - $(cat "$(unix "$inst")"/* | wc -c) / 1024 == 0 )) &&
     [ "$(find "$c" -name Tolvane.lnk)" = "$(find "$c"/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs -name Tolvane.lnk)" ]'
wine "$inst\\tolvane.exe" >/dev/null 2>&1 & start "$inst" # twice: two icons
copy=$(copies "$inst")
set_logon "$inst"
wine 'C:\test\setup.exe' >/dev/null 2>&1 & wizard=$!
window=$(timeout 20 xdotool search --sync --name '^Tolvane .* Setup' | head -1)
check "with a setup open, another stops with 4" exits 4 'C:\test\setup.exe /S'
xdotool windowfocus --sync "$window" key Escape
ended $wizard
check "the open one, cancelled, ends with 1" [ $? = 1 ]
kill $wizard 2>/dev/null

hold "$inst" 2000
check "upgraded silently over two running copies, the exe held for 2 s" exits 0 'C:\test\setup.exe /S'
check "both copies ended cleanly" eval 'ended ${copy%%[[:space:]]*} && ended ${copy##*[[:space:]]}'
check "and one runs again, the new version" eval \
    '[ "$(copies "$inst" | wc -l)" = 1 ] && cmp -s "$exe" "$(unix "$inst")/tolvane.exe"'
check "one entry in Apps, at the new version" eval '[ "$(installed DisplayVersion)" = "$version" ] &&
    [ "$(wine reg query "$cv\\Uninstall" /s | tr -d "\r" | grep -c "DisplayName *REG_SZ *Tolvane$")" = 1 ]'
check "start at logon and its switch unchanged" eval \
    '[ "$(value Run TolvaneIcon)" = "\"$inst\\tolvane.exe\"" ] &&
     [ "$(value "Explorer\\StartupApproved\\Run" TolvaneIcon)" = "$switch" ]'
check "a folder that cannot be used is refused with 2" eval 'touch "$c/file" &&
    exits 2 "C:\test\setup.exe /S /D=C:\file\Tolvane" && exits 2 "C:\test\setup.exe /S /D=Q:\Tolvane"'
hold "$inst" 600000 && copy=$(copies "$inst")
check "Wine enforces the hold: deleting the held exe fails with 32" [ "$(cat "$work/held")" = 32 ]
check "held throughout: setup, then the uninstaller, end with 2 after about 5 s each" eval \
    'SECONDS=0 && exits 2 "C:\test\setup.exe /S" && exits 2 "$(installed QuietUninstallString)" &&
     ((SECONDS >= 10 && SECONDS < 25))'
check "each started again the copy it closed" eval \
    '[ "$(copies "$inst" | grep -cvx "$copy")" = 1 ] && ! kill -0 $copy 2>/dev/null'
kill $holder
kill -STOP "$(copies "$inst")"
check "a copy that will not close: setup, then the uninstaller, end with 3 after about 10 s each" eval \
    'SECONDS=0 && exits 3 "C:\test\setup.exe /S /D=C:\test\moved" &&
     exits 3 "$(installed QuietUninstallString)" && ((SECONDS >= 18 && SECONDS < 50))'
check "and nothing changed" eval \
    '[ "$(installed InstallLocation)" = "$inst" ] && [ ! -e "$c/test/moved" ] && [ -n "$(find "$c" -name Tolvane.lnk)" ] &&
     [ "$(value Run TolvaneIcon)" = "\"$inst\\tolvane.exe\"" ] && ls "$(unix "$inst")"/{tolvane,uninstall}.exe >/dev/null'
kill -CONT "$(copies "$inst")" # it ends at the WM_CLOSE still queued
moved='C:\test\moved folder'
check "moved by /D= ending in a backslash, start at logon with it" eval 'exits 0 "C:\test\setup.exe /S /D=$moved\\" &&
    [ ! -e "$(unix "$inst")" ] && [ "$(value Run TolvaneIcon)" = "\"$moved\\tolvane.exe\"" ]'
dos=$(short "$moved\\tolvane.exe") && dos=${dos%\\*} && start "$dos" && copy=$(copies "$dos")
check "a plain update stays there, and closes a copy started by its 8.3 name" eval \
    'exits 0 "C:\test\setup.exe /S" && [ "$(installed InstallLocation)" = "$moved" ] && [ ! -e "$(unix "$inst")" ] &&
     [ -n "$copy" ] && ended "$copy"'

hold "$moved" 2000
check "uninstalled as a package manager does, the exe held for 2 s" exits 0 "$(installed QuietUninstallString)"
check "on its return, folder, entry, shortcut, start at logon and its switch are gone" eval \
    '[ -z "$(installed DisplayName)$(find "$c/users" -iname "tolvane*" ! -name Tolvane-uninstall.exe)" ] &&
     [ ! -e "$(unix "$moved")" ] && [ -z "$(value Run TolvaneIcon)$(value "Explorer\\StartupApproved\\Run" TolvaneIcon)" ]'
set_logon 'C:\test\portable' $OFF
check "installed and uninstalled again beside a portable copy that starts at logon" eval \
    'exits 0 "C:\test\setup.exe /S" && exits 0 "$(installed QuietUninstallString)" && [ ! -e "$(unix "$inst")" ]'
check "the portable copy still runs" [ -n "$(copies 'C:\test\portable')" ]
registry "$work/after" && find "$c/users" | sort >"$work/files-after"
left=$(diff "$work/before" "$work/after" | grep -i '^[<>].*tolvane'
       comm -13 "$work/files-before" "$work/files-after" | # the user's folder, the uninstaller's own file
       grep -v -e '/AppData/Local/Programs$' -e '/Temp/Tolvane-uninstall.exe$')
check "nothing else left, in the registry or the user's folders: ${left:-none}" [ -z "$left" ]
exit $failed
