#!/usr/bin/env bash
# What the shipped tolvane.exe's headers and resources promise, read with binutils
# and icoutils. Usage: exe_checks.sh EXE VERSION (the project's, e.g. 1.1.0)
exe=$1 version=$2 map=$(dirname "$1")/tolvane.map failed=0
check() { if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failed=1; fi; } # WHAT COMMAND...
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
# Windows reads an exe's manifest from resource 1 of type 24 alone.
check "manifest: resource 1 of type 24, and no other" eval \
    '[ "$(wrestool -l -t 24 "$exe" | grep -o -- "--name=[^ ]*")" = "--name=1" ]'
manifest=$(mktemp) && trap 'rm -f "$manifest"' EXIT
wrestool -x -R -t 24 -n 1 "$exe" >"$manifest"
python3 "$(dirname "$0")/manifest_check.py" "$manifest" "$version" || failed=1
check "at most 96 KiB" eval '(($(stat -c %s "$exe") <= 96 * 1024))'
exit $failed
