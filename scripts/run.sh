#!/usr/bin/env bash
# Builds Hearthpad and starts it.
#
# With a display (DISPLAY set) and no options, and when this tree builds the
# desktop program, that is what starts: the tray icon and its windows
# (hearthpad, with hearthpad-windows beside it).
#
# Otherwise, or with --console, the Linux console host starts, with the
# options given passed on (see the README): --virtual-pad, --no-mdns,
# --tailscale-api <host:port>. Commands on standard input: pair, unpair,
# devices, remove <index>, status, endpoints, check, update, quit.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

console=0
if [[ ${1:-} == --console ]]; then
    console=1
    shift
fi
if (($#)); then console=1; fi
if [[ -z ${DISPLAY:-} ]]; then console=1; fi

scripts/install-deps.sh
cmake --preset release >/dev/null
if ((console == 0)) && cmake --build --preset release --target help | grep -q '^hearthpad: '; then
    targets=(hearthpad)
    if cmake --build --preset release --target help | grep -q '^hearthpad-windows: '; then
        targets+=(hearthpad-windows)
    fi
    cmake --build --preset release -j "$(nproc)" --target "${targets[@]}" >&2
    exec build/release/hearthpad
fi
cmake --build --preset release -j "$(nproc)" --target hearthpad-console >&2
exec build/release/hearthpad-console "$@"
