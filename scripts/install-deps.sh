#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds and tests with. Quick
# when everything is already there: apt runs only for missing packages.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    libsodium-dev nlohmann-json3-dev libasio-dev libqrcodegencpp-dev libavahi-client-dev libcurl4-openssl-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    autoconf automake libtool dpkg-dev
    wine wine64 xvfb xauth xdotool imagemagick
    libx11-dev libxtst-dev xclip xsel
    zbar-tools zip unzip libgtk-3-dev
    avahi-daemon avahi-utils python3-zeroconf dbus iproute2 util-linux openssl python3
    nsis osslsigncode python3-yaml gettext locales fonts-wqy-zenhei
    libsystemd-dev python3-dbus python3-gi gir1.2-gtk-3.0 libglib2.0-bin
    lintian desktop-file-utils
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

# avahi-daemon (and dbus) are installed for the mDNS test, which runs its own
# daemons inside network namespaces. Installing must not start a daemon on
# the machine's own network: while the packages go in, a policy-rc.d that
# refuses every service start is in place unless one already exists.
policy=/usr/sbin/policy-rc.d
own_policy=""
if [[ ! -e $policy ]]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
    $sudo chmod 755 "$policy"
    own_policy=1
    trap '$sudo rm -f "$policy"' EXIT
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
if [[ -n $own_policy ]]; then
    $sudo rm -f "$policy"
    trap - EXIT
fi
if pgrep -x avahi-daemon >/dev/null 2>&1 && [[ " ${missing[*]} " == *" avahi-daemon "* ]]; then
    echo "warning: an avahi-daemon is running on this machine's network" >&2
fi
