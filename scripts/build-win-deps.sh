#!/usr/bin/env bash
# Builds the libraries the Windows x64 cross build links statically
# (libsodium, Nayuki's QR Code generator, GoogleTest/GMock) from Debian's own
# sources with mingw-w64, and a shim include directory for the header-only
# Asio and nlohmann-json. The result lives in a cache outside the repository and is
# reused: once everything is built, a run only checks the stamps.
#
#   scripts/build-win-deps.sh                 build what is missing, print the prefix
#   scripts/build-win-deps.sh --print-prefix  print the prefix and nothing else
#
# The prefix is ${HEARTHPAD_DEPS_CACHE:-/var/cache/hearthpad}/win64; hand it to
# CMake as HEARTHPAD_WIN_DEPS.
set -euo pipefail
shopt -s inherit_errexit

prefix="${HEARTHPAD_DEPS_CACHE:-/var/cache/hearthpad}/win64"

case "${1:-}" in
    --print-prefix) echo "$prefix"; exit 0 ;;
    "") ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
esac

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
toolchain="$here/../cmake/mingw-w64-x86_64.cmake"
host=x86_64-w64-mingw32
cc=$host-gcc-posix
stamps="$prefix/.stamps"

# Bump a recipe string to force that piece to be rebuilt.
declare -A recipe=(
    [sodium]="libsodium static mingw-posix r1"
    [qrcodegen]="qr-code-generator cpp static mingw-posix r1"
    [gtest]="googletest+gmock static mingw-posix r1"
    [shim]="asio asio.hpp nlohmann r1"
)
parts=(sodium qrcodegen gtest shim)

up_to_date() { [[ -f "$stamps/$1" && "$(cat "$stamps/$1")" == "${recipe[$1]}" ]]; }
mark_done() { mkdir -p "$stamps"; printf '%s' "${recipe[$1]}" > "$stamps/$1"; }
log() { printf '== %s\n' "$*" >&2; }
# Runs a build step with its chatter in a log file, shown only on failure.
quiet() {
    local logfile=$1
    shift
    if ! "$@" >>"$logfile" 2>&1; then
        tail -n 60 "$logfile" >&2
        echo "failed: $*" >&2
        exit 1
    fi
}

# ------------------------------------------------------------- fast path
all_done=1
for p in "${parts[@]}"; do up_to_date "$p" || all_done=0; done
if (( all_done )); then
    echo "$prefix"
    exit 0
fi

start=$SECONDS
if [[ $(id -u) -eq 0 ]]; then sudo=(); elif command -v sudo >/dev/null; then sudo=(sudo); else
    echo "installing packages needs root (or sudo)" >&2; exit 1
fi
export DEBIAN_FRONTEND=noninteractive
mkdir -p "$prefix" || { echo "cannot create $prefix; set HEARTHPAD_DEPS_CACHE" >&2; exit 1; }

# ------------------------------------------------------------ apt set-up
apt_updated=0
apt_update() { "${sudo[@]}" apt-get update -qq; apt_updated=1; }

# A deb-src entry for the same archive and suites as the binary packages.
ensure_deb_src() {
    if grep -rqsE '^[[:space:]]*(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 0
    fi
    local deb822=/etc/apt/sources.list.d/debian.sources
    if [[ -f $deb822 ]]; then
        log "adding deb-src entries next to $deb822"
        sed -E 's/^Types:.*/Types: deb-src/' "$deb822" |
            "${sudo[@]}" tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
    elif [[ -f /etc/apt/sources.list ]] && grep -qE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list; then
        log "adding deb-src lines next to /etc/apt/sources.list"
        sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' /etc/apt/sources.list |
            "${sudo[@]}" tee /etc/apt/sources.list.d/debian-src.list >/dev/null
    else
        echo "no Debian apt source found to derive a deb-src entry from" >&2
        exit 1
    fi
    added_src=1
}

needed_pkgs=(autoconf automake libtool make dpkg-dev cmake ninja-build g++-mingw-w64-x86-64-posix
             googletest libasio-dev nlohmann-json3-dev wine64 xvfb)
missing=()
for pkg in "${needed_pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q '^install ok installed' || missing+=("$pkg")
done
added_src=0
ensure_deb_src
if ((added_src || ${#missing[@]})); then apt_update; fi
if ((${#missing[@]})); then
    log "installing ${missing[*]}"
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/hearthpad-win-deps.XXXXXX")"
trap 'rm -rf "$work"' EXIT
jobs=$(nproc 2>/dev/null || echo 2)

# Unpacks a Debian source package (patches applied) into $work/<name>-src
# and prints the unpacked tree: the shallowest directory holding one of the
# marker files (by default a configure.ac or CMakeLists.txt). Should the
# archive miss the packaging tarball (some mirrors do), the upstream tarball
# it names is unpacked instead.
fetch_source() {
    local name=$1 dir="$work/$1-src" tree
    shift
    local markers=("$@")
    ((${#markers[@]})) || markers=(configure.ac CMakeLists.txt)
    local find_names=(-name "${markers[0]}") m
    for m in "${markers[@]:1}"; do find_names+=(-o -name "$m"); done
    mkdir -p "$dir"
    if ! (cd "$dir" && apt-get source -qq --download-only --only-source "$name" >/dev/null 2>"$dir/apt.log") &&
        ! compgen -G "$dir/*.orig.tar.*" >/dev/null && ((apt_updated == 0)); then
        apt_update
        (cd "$dir" && apt-get source -qq --download-only --only-source "$name" >/dev/null 2>"$dir/apt.log") || true
    fi
    local dsc
    dsc="$(compgen -G "$dir/*.dsc" | head -n1 || true)"
    if [[ -n $dsc ]] && (cd "$dir" && dpkg-source -q -x "$dsc" >/dev/null 2>>"$dir/apt.log"); then
        :
    elif compgen -G "$dir/*.orig.tar.*" >/dev/null; then
        log "$name: the Debian packaging tarball could not be fetched; using the upstream tarball as is"
        mkdir -p "$dir/upstream"
        tar -xf "$(compgen -G "$dir/*.orig.tar.*" | head -n1)" -C "$dir/upstream"
    else
        cat "$dir/apt.log" >&2
        echo "could not fetch the source package $name" >&2
        return 1
    fi
    tree="$(find "$dir" -mindepth 2 -maxdepth 4 -type f \( "${find_names[@]}" \) \
                -printf '%d %h\n' | sort -n | head -n1 | cut -d' ' -f2-)"
    [[ -n $tree ]] || { echo "no source tree found for $name" >&2; return 1; }
    echo "$tree"
}

# ------------------------------------------------------------- libsodium
if ! up_to_date sodium; then
    t=$SECONDS
    log "libsodium: fetching source"
    src="$(fetch_source libsodium)"
    log "libsodium: building in $src"
    (
        cd "$src"
        l="$work/libsodium.log"
        if [[ ! -x configure ]]; then
            if [[ -x autogen.sh ]]; then quiet "$l" ./autogen.sh -s
            else quiet "$l" autoreconf -fi; fi
        fi
        quiet "$l" ./configure --host=$host CC=$cc --prefix="$prefix" --disable-shared --enable-static \
            --disable-dependency-tracking
        quiet "$l" make -j"$jobs"
        quiet "$l" make install
    )
    rm -f "$prefix"/lib/libsodium.la
    mark_done sodium
    log "libsodium: done in $((SECONDS - t)) s"
fi

# ------------------------------------------------- QR Code generator (C++)
# Upstream ships one C++ file and a Makefile for it; the library is that
# file compiled and archived, the header installed where pkg-config puts it
# natively (include/qrcodegen).
if ! up_to_date qrcodegen; then
    t=$SECONDS
    log "qr-code-generator: fetching source"
    src="$(fetch_source qr-code-generator qrcodegen.cpp)"
    log "qr-code-generator: building in $src"
    l="$work/qrcodegen.log"
    [[ -f $src/qrcodegen.hpp ]] || { echo "qrcodegen.hpp is missing beside $src/qrcodegen.cpp" >&2; exit 1; }
    quiet "$l" $host-g++-posix -std=c++17 -O2 -DNDEBUG -c "$src/qrcodegen.cpp" -o "$work/qrcodegen.o"
    rm -f "$work/libqrcodegencpp.a"
    quiet "$l" $host-ar crsD "$work/libqrcodegencpp.a" "$work/qrcodegen.o"
    install -D -m 0644 "$work/libqrcodegencpp.a" "$prefix/lib/libqrcodegencpp.a"
    install -D -m 0644 "$src/qrcodegen.hpp" "$prefix/include/qrcodegen/qrcodegen.hpp"
    mark_done qrcodegen
    log "qr-code-generator: done in $((SECONDS - t)) s"
fi

# ------------------------------------------------------ GoogleTest/GMock
if ! up_to_date gtest; then
    t=$SECONDS
    log "googletest: building from /usr/src/googletest"
    l="$work/gtest.log"
    quiet "$l" cmake -S /usr/src/googletest -B "$work/gtest-build" -G Ninja --toolchain "$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
        -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -DCMAKE_CROSSCOMPILING_EMULATOR=
    quiet "$l" cmake --build "$work/gtest-build" -j"$jobs"
    quiet "$l" cmake --install "$work/gtest-build"
    mark_done gtest
    log "googletest: done in $((SECONDS - t)) s"
fi

# ------------------------------------------------------------------ shim
# Only these headers from /usr/include are visible to the cross compiler;
# /usr/include itself must never be on its path.
if ! up_to_date shim; then
    rm -rf "$prefix/shim"
    mkdir -p "$prefix/shim"
    for h in asio asio.hpp nlohmann; do
        [[ -e /usr/include/$h ]] || { echo "/usr/include/$h is missing" >&2; exit 1; }
        ln -s "/usr/include/$h" "$prefix/shim/$h"
    done
    mark_done shim
fi

log "Windows dependencies ready in $((SECONDS - start)) s"
echo "$prefix"
