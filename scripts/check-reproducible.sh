#!/usr/bin/env bash
# Builds the release package a second time, from an empty build directory
# (build/package-check), and compares it with the one given (by default
# dist/hearthpad-<version>-win64.zip), and the installer and the Debian
# package beside each: the same commit must give the same bytes. On a
# difference in the zip or the Debian package it names the files inside that
# differ.
#
#   scripts/check-reproducible.sh [path/to/hearthpad-<version>-win64.zip]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

version="$(tr -d ' \t\r\n' < VERSION)"
first="${1:-dist/hearthpad-$version-win64.zip}"
if [[ ! -f $first ]]; then
    echo "no package at $first: run scripts/package.sh first" >&2
    exit 2
fi
check=build/package-check
mkdir -p build
second="$(scripts/package.sh --clean --build-dir "$check" --out "$check/dist" 2>"$check.log" | tail -n 1)" || {
    cat "$check.log" >&2
    exit 1
}

status=0
setup_name="hearthpad-$version-setup.exe"
a="$(sha256sum "$(dirname "$first")/$setup_name" | cut -d' ' -f1)"
b="$(sha256sum "$(dirname "$second")/$setup_name" | cut -d' ' -f1)"
echo "installer:     $a"
echo "rebuilt clean: $b"
if [[ $a != "$b" ]]; then
    echo "NOT reproducible: the installers differ" >&2
    cmp -l "$(dirname "$first")/$setup_name" "$(dirname "$second")/$setup_name" | head -n 10 >&2 || true
    status=1
fi

deb_name="hearthpad_${version}_amd64.deb"
a="$(sha256sum "$(dirname "$first")/$deb_name" | cut -d' ' -f1)"
b="$(sha256sum "$(dirname "$second")/$deb_name" | cut -d' ' -f1)"
echo "deb:           $a"
echo "rebuilt clean: $b"
if [[ $a != "$b" ]]; then
    echo "NOT reproducible: the Debian packages differ" >&2
    rm -rf "$check/unpacked-deb"
    mkdir -p "$check/unpacked-deb"
    for side in first second; do
        deb="$(dirname "$first")/$deb_name"
        [[ $side == second ]] && deb="$(dirname "$second")/$deb_name"
        dpkg-deb -R "$deb" "$check/unpacked-deb/$side"
        dpkg-deb -c "$deb" > "$check/unpacked-deb/$side.contents"
    done
    diff -rq "$check/unpacked-deb/first" "$check/unpacked-deb/second" >&2 || true
    diff "$check/unpacked-deb/first.contents" "$check/unpacked-deb/second.contents" | head -n 20 >&2 || true
    status=1
fi

a="$(sha256sum "$first" | cut -d' ' -f1)"
b="$(sha256sum "$second" | cut -d' ' -f1)"
echo "package:       $a  $first"
echo "rebuilt clean: $b  $second"
if [[ $a == "$b" ]]; then
    ((status == 0)) && echo "reproducible: the two builds are byte-identical"
    exit $status
fi
echo "NOT reproducible: the packages differ" >&2
rm -rf "$check/unpacked"
mkdir -p "$check/unpacked/first" "$check/unpacked/second"
unzip -q "$first" -d "$check/unpacked/first"
unzip -q "$second" -d "$check/unpacked/second"
diff -rq "$check/unpacked/first" "$check/unpacked/second" >&2 || true
zipinfo -v "$first" > "$check/unpacked/first.zipinfo" 2>&1 || true
zipinfo -v "$second" > "$check/unpacked/second.zipinfo" 2>&1 || true
diff "$check/unpacked/first.zipinfo" "$check/unpacked/second.zipinfo" | head -n 20 >&2 || true
exit 1
