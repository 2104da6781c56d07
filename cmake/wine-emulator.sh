#!/bin/sh
# Runs a Windows program under Wine for ctest. The output goes through a file,
# not a pipe: Wine's own helper processes (explorer, services) inherit the
# standard handles and outlive the program, so a pipe would never close.
out=$(mktemp) || exit 1
wine "$@" >"$out" 2>&1
status=$?
grep -v -e "wine32 is missing" -e "multiarch needs" -e "dpkg --add-architecture" \
        -e "apt-get install wine32" "$out"
rm -f "$out"
exit $status
