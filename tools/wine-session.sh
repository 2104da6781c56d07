# Sourced by run.sh, test.sh and bench.sh: a private headless X server and Wine prefix
# for this checkout, torn down again on exit. Never touches other sessions'
# displays or prefixes.

# Starts Xvfb on a free display number and exports DISPLAY.
start_headless_display() {
    local size=${1:-1280x800x24}
    local fifo
    fifo=$(mktemp -u) && mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    XVFB_PID=$!
    local display
    read -r display <"$fifo"
    rm -f "$fifo"
    export DISPLAY=":$display"
}

# Creates (once) and starts the Wine prefix; keeps its wineserver running
# so each Wine process starts quickly.
start_wine_prefix() {
    export WINEPREFIX=$1
    export WINEDEBUG=${WINEDEBUG:--all}
    # No Mono or Gecko prompts, and no menu entries under the Linux user's home
    # for the shortcuts that Windows programs make.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the Wine prefix in $WINEPREFIX (once)..."
        wine wineboot --init >/dev/null 2>&1
        wineserver -w 2>/dev/null || true
    fi
    wineserver -p 2>/dev/null || true # one may be running already
}

stop_wine_session() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k 2>/dev/null || true
    fi
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
}
