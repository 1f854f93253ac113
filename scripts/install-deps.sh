#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and tests with. Quick
# when everything is already there: apt runs only for missing packages.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    libsodium-dev nlohmann-json3-dev libasio-dev libqrcodegencpp-dev libcurl4-openssl-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    autoconf automake libtool dpkg-dev
    wine wine64 xvfb xauth
    zbar-tools zip unzip
    openssl python3
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
if ((${#missing[@]} == 0)); then
    exit 0
fi
echo "installing: ${missing[*]}" >&2
sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
