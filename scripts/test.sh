#!/usr/bin/env bash
# Builds everything and runs every test: the Windows cross build with its
# tests under Wine, the release package (built a second time from scratch to
# show it is reproducible), then the native build (AddressSanitizer and
# UndefinedBehaviorSanitizer) with the unit, integration and end-to-end tests,
# the packaged program's among them.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/install-deps.sh
HEARTHPAD_WIN_DEPS="$(scripts/build-win-deps.sh | tail -n 1)"
export HEARTHPAD_WIN_DEPS

jobs="$(nproc)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

status=0
package="$(scripts/package.sh | tail -n 1)"
scripts/check-reproducible.sh "$package" || status=1

cmake --preset native -DHEARTHPAD_WIN_EXE="$PWD/build/windows/hearthpad.exe" \
    -DHEARTHPAD_PACKAGE="$package" >/dev/null
cmake --build --preset native -j "$jobs"

ctest --preset windows || status=1
ctest --preset native || status=1
exit $status
