#!/usr/bin/env bash
# Builds the benchmarks and runs them under Wine, on an X server and a Wine
# prefix of their own (build/mingw/wineprefix-bench, a virtual desktop with a
# taskbar), then prints every figure beside its floor and their ratio. Nothing
# here passes or fails: the machine is shared and noisy, so each figure is
# measured against its floor in the same run, and the table is to be read.
#
#   ./bench.sh
#
# It takes about 11 minutes here, 9 of them the soak, whose refreshes each
# wait for the shell (about 5 ms each on this machine). For a quick run:
#
#   BENCH_IDLE_SECONDS=10 BENCH_SOAK_REFRESHES=5000 ./bench.sh
#
#   BENCH_IDLE_SECONDS    idle measurement, seconds (default 60)
#   BENCH_SOAK_REFRESHES  refreshes in the soak (default 100000)
#   BENCH_X_RESOURCES=1   give the X server a resource database, as a desktop
#                         session's xrdb does; without one, Xlib looks for
#                         ~/.Xdefaults again on every new Wine DC, which
#                         slows all drawing a little (the default is a bare
#                         Xvfb, like the test suite's)
# Everything each part printed stays in build/mingw/bench-results.
set -euo pipefail
cd "$(dirname "$0")"

IDLE_SECONDS=${BENCH_IDLE_SECONDS:-60}
SOAK_REFRESHES=${BENCH_SOAK_REFRESHES:-100000}
X_RESOURCES=${BENCH_X_RESOURCES:-0}

. tools/install-deps.sh
# strace counts the idle programs' wake-ups.
extra=(strace)
[ "$X_RESOURCES" = 1 ] && extra+=(x11-utils)
install_missing_packages "${BUILD_PACKAGES[@]}" "${RUN_PACKAGES[@]}" "${extra[@]}"

BUILD=$PWD/build/mingw
OUT=$BUILD/bench-results
BENCH=$BUILD/bench/tolvane_bench.exe
FLOOR=$BUILD/bench/bench_idle_floor.exe
TOLVANE=$BUILD/tolvane.exe
PREFIX=$BUILD/wineprefix-bench
DESKTOP=tolvane-bench
mkdir -p "$OUT"
rm -f "$OUT"/*.out "$OUT/rows"

echo "Building tolvane.exe and the benchmarks..."
# A build folder that already exists keeps its settings (the tests' too).
configure=(cmake --preset mingw)
[ -f "$BUILD/CMakeCache.txt" ] || configure+=(-DBUILD_TESTING=OFF)
if ! { "${configure[@]}" && cmake --build --preset mingw --target tolvane tolvane_bench \
        bench_idle_floor; } >"$OUT/build.log" 2>&1; then
    cat "$OUT/build.log"
    exit 1
fi

. tools/wine-session.sh
# From here on every wine and wineserver call, the clean-up's too, is for
# this prefix and display only.
export WINEPREFIX=$PREFIX
SOAK_PID=
cleanup() {
    if [ -n "$SOAK_PID" ]; then kill "$SOAK_PID" 2>/dev/null || true; fi
    stop_wine_session >>"$OUT/wine.log" 2>&1 || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# Whatever an interrupted earlier run left in this prefix goes first.
if [ -f "$PREFIX/system.reg" ]; then
    wineserver -k >/dev/null 2>&1 || true
fi
start_headless_display 1024x768x24
start_wine_prefix "$PREFIX" >"$OUT/wine.log" 2>&1
if [ "$X_RESOURCES" = 1 ]; then
    xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER $'Xft.dpi:\t96\n'
fi

# Every program of this prefix lands in one virtual desktop with a taskbar,
# so each redraw really reaches a tray that shows it.
cat >"$OUT/session.reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="$DESKTOP"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"$DESKTOP"="800x600"
EOF
wine regedit /S "Z:${OUT//\//\\}\\session.reg" >>"$OUT/wine.log" 2>&1

# Wine's notes about a missing 32-bit Wine are no part of any figure.
without_wine_notes() {
    tr -d '\r' | grep -v -e "wine32 is missing" -e "multiarch needs" \
        -e "dpkg --add-architecture" -e "apt-get install wine32" || true
}

# run_part NAME ARGS...: one part of tolvane_bench; its details are shown,
# its table rows kept for the end. Output goes through a file: Wine's helper
# processes would hold a pipe open.
run_part() {
    local name=$1 status=0
    shift
    wine "$BENCH" "$@" >"$OUT/$name.out" 2>&1 || status=$?
    show_part "$name" "$status"
}

show_part() {
    echo
    without_wine_notes <"$OUT/$1.out" | grep -v '^ROW|' || true
    without_wine_notes <"$OUT/$1.out" | grep '^ROW|' >>"$OUT/rows" || true
    if [ "$2" -ne 0 ]; then echo "(the $1 part ended with exit code $2)"; fi
}

row() {
    local IFS='|'
    echo "ROW|$*" >>"$OUT/rows"
}

now_ms() {
    local now=${EPOCHREALTIME//[.,]/}
    echo $((now / 1000))
}

echo "Wine $(wine --version 2>/dev/null | without_wine_notes), $(nproc) cores," \
    "load average $(cut -d' ' -f1-3 /proc/loadavg), display $DISPLAY," \
    "X resources: $([ "$X_RESOURCES" = 1 ] && echo set || echo none)"

run_part hook hook
run_part refresh refresh
run_part latency latency

# ------------------------------------------------------------------ idle
# The real tolvane.exe and the floor (same window, loop and timer, nothing
# else) side by side and untouched, with nothing else running for the CPU
# figures. Their wake-ups are counted while the soak runs next to them: it
# sends them nothing. Figures come from Linux: each Wine process is a Unix
# process.

# Unix PIDs of a Windows program: `wine` execs into the process itself.
wine "$TOLVANE" >>"$OUT/wine.log" 2>&1 &
TOLVANE_PID=$!
wine "$FLOOR" >>"$OUT/wine.log" 2>&1 &
FLOOR_PID=$!

# CPU in ns (every thread's run time) and context switches of one process.
cpu_ns() {
    local total=0 run task
    for task in /proc/"$1"/task/*/schedstat; do
        read -r run _ <"$task" 2>/dev/null || continue
        total=$((total + run))
    done
    echo "$total"
}

# Wake-ups of one process over some seconds: each time a thread returns
# from Wine's wait (a 16-byte read of its wait pipe; replies from the
# server are 64 bytes and more). Prints the count, the rate, and the system
# calls made per wake-up: the work each wake-up does, free of the noise
# that CPU time has here. Traced only after the CPU was measured, as
# tracing costs the traced process time.
wake_ups() {
    local trace=$OUT/wake-$1.trace
    timeout "$2" strace -f -p "$1" -o "$trace" >/dev/null 2>&1 || true
    awk -v secs="$2" '
        /^[0-9]+ +read\([0-9]+, .*, 16\) = 16$/ { n++ }
        /^[0-9]+ +[a-z_0-9]+\(/ { calls++ }
        END { printf "%d %.2f %.1f\n", n, n / secs, n ? calls / n : 0 }' "$trace" 2>/dev/null ||
        echo "0 0 0"
}

switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(non)?voluntary_ctxt_switches/ { n += $2 } END { print n + 0 }'
}

threads() {
    awk '/^Threads:/ { print $2 }' /proc/"$1"/status
}

# Resident (VmRSS, what Windows calls the working set), private resident
# (RssAnon, which Wine reports as the pagefile usage), and proportional
# (Pss: shared pages split between their users), all KiB.
memory_kib() {
    local rss anon pss
    rss=$(awk '/^VmRSS:/ { print $2 }' /proc/"$1"/status)
    anon=$(awk '/^RssAnon:/ { print $2 }' /proc/"$1"/status)
    pss=$(awk '/^Pss:/ { print $2 }' /proc/"$1"/smaps_rollup)
    echo "$rss $anon $pss"
}

is_running() {
    local state
    state=$(sed 's/.*) //' /proc/"$1"/stat 2>/dev/null | cut -d' ' -f1) || return 1
    [ -n "$state" ] && [ "$state" != Z ]
}

# Both must be up, their windows made and the tray entry added, before the
# clock starts.
sleep 5
for pid in "$TOLVANE_PID" "$FLOOR_PID"; do
    if ! is_running "$pid"; then
        echo "a program of the idle measurement did not start (pid $pid)"
        exit 1
    fi
done

t_cpu0=$(cpu_ns "$TOLVANE_PID"); f_cpu0=$(cpu_ns "$FLOOR_PID")
t_sw0=$(switches "$TOLVANE_PID"); f_sw0=$(switches "$FLOOR_PID")
start=$(now_ms)
sleep "$IDLE_SECONDS"
t_cpu1=$(cpu_ns "$TOLVANE_PID"); f_cpu1=$(cpu_ns "$FLOOR_PID")
t_sw1=$(switches "$TOLVANE_PID"); f_sw1=$(switches "$FLOOR_PID")
elapsed_ms=$(($(now_ms) - start))
read -r t_rss t_anon t_pss <<<"$(memory_kib "$TOLVANE_PID")"
read -r f_rss f_anon f_pss <<<"$(memory_kib "$FLOOR_PID")"
t_threads=$(threads "$TOLVANE_PID"); f_threads=$(threads "$FLOOR_PID")

wine "$BENCH" soak "$SOAK_REFRESHES" >"$OUT/soak.out" 2>&1 &
SOAK_PID=$!
SOAK_START=$(now_ms)

WAKE_SECONDS=$((IDLE_SECONDS < 20 ? IDLE_SECONDS : 20))
wake_ups "$FLOOR_PID" "$WAKE_SECONDS" >"$OUT/wake-floor.count" &
read -r t_wake t_wake_rate t_calls <<<"$(wake_ups "$TOLVANE_PID" "$WAKE_SECONDS")"
wait $!
read -r f_wake f_wake_rate f_calls <"$OUT/wake-floor.count"

awk -v s="$elapsed_ms" -v tc=$((t_cpu1 - t_cpu0)) -v fc=$((f_cpu1 - f_cpu0)) \
    -v tw=$((t_sw1 - t_sw0)) -v fw=$((f_sw1 - f_sw0)) -v tt="$t_threads" -v ft="$f_threads" '
BEGIN {
    secs = s / 1000
    printf "\nidle: %.1f s untouched, side by side, alone (threads: tolvane %d, floor %d)\n", secs, tt, ft
    printf "  CPU          tolvane.exe %8.2f ms   floor %8.2f ms\n", tc / 1e6, fc / 1e6
    printf "  switches/s   tolvane.exe %8.2f      floor %8.2f   (context switches, all threads:" \
        " every server call that waits counts too)\n", tw / secs, fw / secs
}'
echo "  wake-ups     tolvane.exe $t_wake, floor $f_wake in $WAKE_SECONDS s (returns from" \
    "Wine's wait, counted by strace while the soak ran)"
echo "  syscalls     tolvane.exe $t_calls, floor $f_calls per wake-up"
echo "  memory KiB   tolvane.exe VmRSS $t_rss, RssAnon $t_anon, Pss $t_pss;" \
    "floor VmRSS $f_rss, RssAnon $f_anon, Pss $f_pss"

ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "-" }'
}
row "3 idle CPU over ${IDLE_SECONDS} s" \
    "$(awk -v n=$((t_cpu1 - t_cpu0)) 'BEGIN { printf "%.1f ms", n / 1e6 }')" \
    "$(awk -v n=$((f_cpu1 - f_cpu0)) 'BEGIN { printf "%.1f ms", n / 1e6 }')" \
    "$(ratio $((t_cpu1 - t_cpu0)) $((f_cpu1 - f_cpu0)))" "<= 1.1"
row "3 idle wake-ups per second (over ${WAKE_SECONDS} s)" "$t_wake_rate" "$f_wake_rate" \
    "$(ratio "$t_wake" "$f_wake")" "<= 1 a second"
row "3 idle system calls per wake-up" "$t_calls" "$f_calls" "$(ratio "$t_calls" "$f_calls")" \
    "(info)"
row "3 idle context switches per second" \
    "$(awk -v n=$((t_sw1 - t_sw0)) -v s="$elapsed_ms" 'BEGIN { printf "%.2f", n * 1000 / s }')" \
    "$(awk -v n=$((f_sw1 - f_sw0)) -v s="$elapsed_ms" 'BEGIN { printf "%.2f", n * 1000 / s }')" \
    "$(ratio $((t_sw1 - t_sw0)) $((f_sw1 - f_sw0)))" "(info)"
row "3 idle resident memory (VmRSS = working set)" "$t_rss KiB" "$f_rss KiB" \
    "$(ratio "$t_rss" "$f_rss")" "<= 1.1"
row "3 idle private resident (RssAnon = private)" "$t_anon KiB" "$f_anon KiB" \
    "$(ratio "$t_anon" "$f_anon")" "<= 1.1"
row "3 idle proportional set (Pss)" "$t_pss KiB" "$f_pss KiB" "$(ratio "$t_pss" "$f_pss")" \
    "(info)"

# ------------------------------------------------------------- exe size
size=$(stat -c %s "$TOLVANE")
row "4 tolvane.exe size" "$(awk -v n="$size" 'BEGIN { printf "%.1f KiB", n / 1024 }')" \
    "96 KiB" "$(ratio "$size" $((96 * 1024)))" "<= 1 (96 KiB)"

# ----------------------------------------------------------------- soak
soak_status=0
wait "$SOAK_PID" || soak_status=$?
SOAK_PID=
# Closed only now, so that the soak's handle counts, taken by filling the
# tables the whole prefix shares, see the same programs before and after.
wine "$BENCH" close TolvaneClass >>"$OUT/wine.log" 2>&1 || kill "$TOLVANE_PID" 2>/dev/null || true
wine "$BENCH" close TolvaneBenchFloor >>"$OUT/wine.log" 2>&1 || kill "$FLOOR_PID" 2>/dev/null || true
wait "$TOLVANE_PID" "$FLOOR_PID" 2>/dev/null || true
echo
echo "(the soak took $((($(now_ms) - SOAK_START) / 1000)) s)"
show_part soak "$soak_status"

# ---------------------------------------------------------------- table
echo
awk -F'|' '
BEGIN {
    printf "%-52s %16s %16s %18s  %s\n", "figure", "measured", "floor", "ratio", "goal"
    line = sprintf("%130s", ""); gsub(/ /, "-", line); print line
}
{ printf "%-52s %16s %16s %18s  %s\n", $2, $3, $4, $5, $6 }' "$OUT/rows"
