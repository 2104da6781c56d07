#!/usr/bin/env bash
# Builds the bench and runs it under Wine on an X server and a Wine prefix of
# its own, in a virtual desktop with a taskbar so each redraw reaches a shell.
# It ends with a table of each figure beside its floor from the same run: the
# machine is shared and noisy, so read the ratios. Nothing passes or fails.
#   ./bench.sh                              6 to 12 minutes, most of it the soak
#   BENCH_SOAK_REFRESHES=5000 ./bench.sh    a quick run
set -euo pipefail
cd "$(dirname "$0")"

. tools/install-deps.sh
install_missing_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}"

BUILD=$PWD/build/mingw
# A build folder that already exists keeps its settings (the tests' too).
configure=(cmake --preset mingw)
[ -f "$BUILD/CMakeCache.txt" ] || configure+=(-DBUILD_TESTING=OFF)
"${configure[@]}" >/dev/null
cmake --build --preset mingw --target tolvane tolvane_bench

. tools/wine-session.sh
# Every wine and wineserver call from here on, the clean-up's too, is for
# this prefix only; whatever an interrupted run left in it goes first.
export WINEPREFIX=$BUILD/wineprefix-bench
trap stop_wine_session EXIT
trap 'exit 130' INT TERM
if [ -f "$WINEPREFIX/system.reg" ]; then wineserver -k 2>/dev/null || true; fi
start_headless_display 1024x768x24
start_wine_prefix "$WINEPREFIX"
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d tolvane-bench /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v tolvane-bench /d 800x600 /f >/dev/null 2>&1

echo "$(date -u +%F), $(nproc) cores $(uname -m), Debian $(cat /etc/debian_version)," \
    "$(wine --version 2>/dev/null), load average $(cut -d' ' -f1-3 /proc/loadavg)"
started=$SECONDS status=0
bench=$BUILD/bench/tolvane_bench.exe

# Idle cost, read from Linux, where each Wine process is one: tolvane.exe, the
# floor and the poller idle together, so all three see the same machine.
wine "$BUILD/tolvane.exe" >/dev/null 2>&1 & launchers=($!)
for mode in floor poller; do wine "$bench" --idle-$mode >/dev/null 2>&1 & launchers+=($!); done
sleep 5 # they start, and the first of them starts the desktop
# This prefix's process started as $1 (its arguments, joined by spaces).
pid_of() { for p in /proc/[0-9]*; do grep -qzx "WINEPREFIX=$WINEPREFIX" "$p/environ" 2>/dev/null &&
    [ "$(tr '\0' ' ' <"$p/cmdline" | sed 's/ *$//')" = "$1" ] && echo "${p#/proc/}"; done; true; }
pids=($(pid_of "$BUILD/tolvane.exe") $(pid_of "$bench --idle-floor")
    $(pid_of "$bench --idle-poller"))
[ ${#pids[@]} = 3 ] || { echo "not the three idle processes: ${pids[*]}"; exit 1; }
# Each one's CPU ns and context switches (a wait or a preemption) over all its
# threads; utime and stime come in 10 ms ticks, too coarse for a few ms a minute.
counts() { for pid in "${pids[@]}"; do awk 'FILENAME ~ /schedstat$/ {ns += $1}
    /ctxt_switches/ {n += $2} END {print ns, n}' /proc/"$pid"/task/*/{schedstat,status}; done; }
before=$(counts) from=$(date +%s%N) && sleep 30
ms=$((($(date +%s%N) - from) / 1000000))
# Per process: CPU ms a minute, wake-ups a second.
idle=($(counts | paste -d' ' - <(echo "$before") |
    awk -v ms="$ms" '{printf "%.2f %.3f ", ($1 - $3) / 1e6 * 60000 / ms, ($2 - $4) * 1000 / ms}'))
echo "idle for $ms ms; tolvane.exe, floor, poller: ${idle[*]}"
kill "${pids[@]}" && wait "${launchers[@]}" 2>/dev/null || true

# Through a file (kept): Wine's helper processes would hold a pipe open.
wine "$bench" "${BENCH_SOAK_REFRESHES:-100000}" "$(stat -c %s "$BUILD/tolvane.exe")" \
    "${idle[@]}" >"$BUILD/bench.out" 2>&1 || status=$?
tr -d '\r' <"$BUILD/bench.out" | grep -v -e wine32 -e multiarch -e add-architecture || true
echo "(took $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s)"
exit "$status"
