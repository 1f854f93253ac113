#!/usr/bin/env bash
# Builds the Linux console host and starts it (options are passed on, see the
# README). Commands on standard input: pair, unpair, devices, remove <index>,
# status, endpoints, update, quit.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target hearthpad-console >&2
exec build/release/hearthpad-console "$@"
