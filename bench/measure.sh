#!/bin/sh
# Builds the release console host and the measuring tools, runs both tools at
# low priority, and keeps their output in build/release/measure-<time>.txt.
# Arguments go to hearthpad_load (for example --samples 1000).
set -eu
cd "$(dirname "$0")/.."
nice -n 10 cmake --preset release >/dev/null
nice -n 10 cmake --build --preset release -j2 --target hearthpad-console hearthpad_load hearthpad_idle_cost
out="build/release/measure-$(date -u +%Y%m%dT%H%M%SZ).txt"
{
    echo "commit $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- src || echo ' with changes in src/')"
    echo "$(nproc) cores; $(uname -srm)"
    echo "\$ nice -n 10 build/release/hearthpad_load $*"
    nice -n 10 build/release/hearthpad_load "$@" || echo "hearthpad_load failed"
    echo "\$ nice -n 10 build/release/hearthpad_idle_cost"
    nice -n 10 build/release/hearthpad_idle_cost || echo "hearthpad_idle_cost failed"
} 2>&1 | tee "$out"
echo "saved in $out"
