#!/usr/bin/env bash
# Builds everything and runs every test: the Windows cross build with its
# tests under Wine, the release package and installer (built a second time
# from scratch to show they are reproducible, and once more signed with a
# throwaway certificate), then the native build (AddressSanitizer and
# UndefinedBehaviorSanitizer) with the unit, integration and end-to-end tests,
# the packaged program's and the installer's among them.
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

# The same release signed with a certificate made for the run (its output
# in build/signing.log).
signing="$PWD/build/signing"
rm -rf "$signing"
password="$(openssl rand -hex 16)"
signed_setup=""
if printf '%s' "$password" | tests/package/make_test_certificate.sh "$signing/certificate" >"$signing.log" 2>&1 &&
    signed="$(HEARTHPAD_SIGN_PFX="$signing/certificate/signer.pfx" HEARTHPAD_SIGN_PASSWORD="$password" \
        scripts/package.sh --out "$signing/dist" 2>>"$signing.log" | tail -n 1)"; then
    signed_setup="${signed%-win64.zip}-setup.exe"
else
    echo "the signed release could not be built: see $signing.log" >&2
    status=1
fi

cmake --preset native -DHEARTHPAD_WIN_EXE="$PWD/build/windows/hearthpad.exe" \
    -DHEARTHPAD_PACKAGE="$package" -DHEARTHPAD_SIGNED_INSTALLER="$signed_setup" \
    -DHEARTHPAD_SIGNING_CA="$signing/certificate/ca.pem" >/dev/null
cmake --build --preset native -j "$jobs"

ctest --preset windows || status=1
ctest --preset native || status=1
exit $status
