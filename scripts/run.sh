#!/usr/bin/env bash
# Builds the Linux console host and starts it. Commands on standard input:
# pair, unpair, devices, remove <index>, status, quit.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target hearthpad-console >&2
exec build/release/hearthpad-console "$@"
