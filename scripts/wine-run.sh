#!/usr/bin/env bash
# Runs a cross-built Windows program under 64-bit Wine and passes its exit
# status through. CMake uses this as the cross-compiling emulator, so CTest
# runs the Windows test programs through it.
#
#   scripts/wine-run.sh path/to/program.exe [arguments...]
#
# The Wine prefix lives in the build directory (the nearest parent of the
# program holding CMakeCache.txt, as <build>/wineprefix) unless HP_WINEPREFIX
# names one; it is created on first use. Without a DISPLAY, a private Xvfb
# server runs for the duration of the command. HP_WINEDEBUG overrides the
# default WINEDEBUG=-all when Wine's own diagnostics are wanted.
set -uo pipefail

if (($# < 1)); then
    echo "usage: $0 program.exe [arguments...]" >&2
    exit 2
fi
exe="$1"
shift
if [[ ! -f $exe ]]; then
    echo "wine-run: no such program: $exe" >&2
    exit 2
fi
exe="$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")"

# ------------------------------------------------------------ find Wine
wine=""
for candidate in "${HP_WINE:-}" /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [[ -n $candidate && -x $candidate ]]; then wine="$candidate"; break; fi
done
wineserver=""
for candidate in "${HP_WINESERVER:-}" /usr/lib/wine/wineserver64 "$(command -v wineserver || true)"; do
    if [[ -n $candidate && -x $candidate ]]; then wineserver="$candidate"; break; fi
done
if [[ -z $wine || -z $wineserver ]]; then
    echo "wine-run: 64-bit Wine not found (apt-get install wine64)" >&2
    exit 127
fi

# ---------------------------------------------------------- environment
if [[ -z ${HP_WINEPREFIX:-} ]]; then
    dir="$(dirname "$exe")"
    build=""
    while [[ $dir != / ]]; do
        if [[ -f $dir/CMakeCache.txt ]]; then build="$dir"; break; fi
        dir="$(dirname "$dir")"
    done
    HP_WINEPREFIX="${build:-$(dirname "$exe")}/wineprefix"
fi
mkdir -p "$HP_WINEPREFIX"
export WINEPREFIX="$(cd "$HP_WINEPREFIX" && pwd)"
export WINEARCH=win64
export WINEDEBUG="${HP_WINEDEBUG:--all}"
export WINELOADER="$wine"
export WINESERVER="$wineserver"
# No Mono or Gecko installer dialogs; nothing here needs .NET or a browser engine.
export WINEDLLOVERRIDES="mscoree=;mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"

xvfb_pid=""
xvfb_dir=""
cleanup() {
    # Let the prefix's system processes finish, then make sure none is left.
    if ! timeout 30 "$wineserver" -w 2>/dev/null; then
        "$wineserver" -k 2>/dev/null || true
    fi
    if [[ -n $xvfb_pid ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    [[ -n $xvfb_dir ]] && rm -rf "$xvfb_dir"
}
on_signal() {
    trap - INT TERM
    [[ -n ${child:-} ]] && kill "$child" 2>/dev/null
    "$wineserver" -k 2>/dev/null || true
    cleanup
    exit 130
}
trap on_signal INT TERM

# ------------------------------------------------------ virtual display
if [[ -z ${DISPLAY:-} ]]; then
    if ! command -v Xvfb >/dev/null; then
        echo "wine-run: DISPLAY is not set and Xvfb is missing (apt-get install xvfb)" >&2
        exit 127
    fi
    xvfb_dir="$(mktemp -d "${TMPDIR:-/tmp}/wine-run.XXXXXX")"
    # Xvfb picks a free display number itself and reports it once it accepts clients.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
        3>"$xvfb_dir/display" >"$xvfb_dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
        [[ -s $xvfb_dir/display ]] && break
        if ! kill -0 "$xvfb_pid" 2>/dev/null; then break; fi
        sleep 0.1
    done
    if [[ ! -s $xvfb_dir/display ]]; then
        echo "wine-run: Xvfb did not start:" >&2
        cat "$xvfb_dir/xvfb.log" >&2
        xvfb_pid=""
        cleanup
        exit 1
    fi
    export DISPLAY=":$(tr -dc '0-9' <"$xvfb_dir/display")"
fi

# ------------------------------------------------------ prefix creation
# Serialised so that parallel tests in one build directory create it once.
if [[ ! -f $WINEPREFIX/.hearthpad-ready ]]; then
    (
        flock 9
        if [[ ! -f $WINEPREFIX/.hearthpad-ready ]]; then
            "$wine" wineboot --init >/dev/null 2>&1
            timeout 120 "$wineserver" -w 2>/dev/null || "$wineserver" -k 2>/dev/null
            touch "$WINEPREFIX/.hearthpad-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
fi

# ------------------------------------------------------------------- run
"$wine" "$exe" "$@" &
child=$!
wait "$child"
status=$?
child=""
cleanup
exit "$status"
