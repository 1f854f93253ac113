#!/usr/bin/env bash
# Builds the Windows release and packs it for users:
#
#   dist/hearthpad-<version>-win64.zip       the portable copy
#       hearthpad.exe            stripped; names its debug file in .gnu_debuglink
#       README-Windows.txt       (CRLF line ends, for Notepad)
#       docs/GAMEPAD.md
#       LICENSE
#       THIRD_PARTY_NOTICES.md
#       SHA256SUMS               of the files above
#   dist/hearthpad-<version>-setup.exe       the installer (NSIS, from
#       packaging/windows/hearthpad.nsi): the same files, hearthpad-client.exe
#       and the Ctrl+Alt+Del helper service hearthpad-sas.exe
#   dist/winget/                             the installer's winget manifest
#   dist/hearthpad_<version>_amd64.deb       the Linux programs as a Debian
#       package (scripts/package-deb.sh, built in <build dir>-deb)
#
# The programs are signed (scripts/sign.sh) after stripping when
# HEARTHPAD_SIGN_PFX names a certificate; the uninstaller is signed before
# makensis packs it and the installer after it is written. Without a
# certificate everything is left unsigned and the build says so.
#
# The debug information stays beside the build as <build>/<program>.debug
# and is not shipped. <version> is the VERSION file. The same commit gives the
# same archive and installer byte for byte: every file carries the time of
# the last commit (or SOURCE_DATE_EPOCH), the order is fixed, zip writes no
# extra fields, and makensis stores no build time.
#
#   scripts/package.sh                      build in build/windows, write dist/
#   scripts/package.sh --build-dir DIR      build in DIR (the windows preset, another directory)
#   scripts/package.sh --out DIR            write the archive to DIR
#   scripts/package.sh --clean              empty the build directory first
#
# The last line printed is the archive's path; the installer lies beside it.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$PWD"

build_dir=build/windows
out_dir=dist
clean=0
while (($#)); do
    case "$1" in
        --build-dir) build_dir="${2:?--build-dir needs a directory}"; shift 2 ;;
        --out) out_dir="${2:?--out needs a directory}"; shift 2 ;;
        --clean) clean=1; shift ;;
        -h|--help) sed -n '2,35p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done

version="$(tr -d ' \t\r\n' < VERSION)"
if [[ ! $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
    echo "VERSION must hold major.minor.patch, not \"$version\"" >&2
    exit 1
fi

if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
    SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)"
fi
if [[ ! ${SOURCE_DATE_EPOCH:-} =~ ^[0-9]+$ ]]; then
    echo "no commit time found: run inside the git checkout or set SOURCE_DATE_EPOCH" >&2
    exit 1
fi
# objcopy writes SOURCE_DATE_EPOCH as the PE time stamp of the stripped
# program (the current time otherwise). A zip stores times from 1980 on, as
# local time: both are pinned.
((SOURCE_DATE_EPOCH >= 315532800)) || SOURCE_DATE_EPOCH=315532800
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C

# ------------------------------------------------------------- build
scripts/install-deps.sh
HEARTHPAD_WIN_DEPS="$(scripts/build-win-deps.sh | tail -n 1)"
export HEARTHPAD_WIN_DEPS

if ((clean)); then rm -rf "$build_dir"; fi
cmake --preset windows -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target hearthpad hearthpad-client hearthpad-sas >&2

# ------------------------------------------------------------- strip
host=x86_64-w64-mingw32
stage="$build_dir/package"
rm -rf "$stage"
mkdir -p "$stage/docs"
programs=(hearthpad.exe hearthpad-client.exe hearthpad-sas.exe)
for program in "${programs[@]}"; do
    $host-objcopy --only-keep-debug "$build_dir/$program" "$build_dir/$program.debug"
    $host-objcopy --strip-all --add-gnu-debuglink="$build_dir/$program.debug" \
        "$build_dir/$program" "$stage/$program"
done
# Signing comes after stripping (stripping would drop the signature) and
# before the checksums.
for program in "${programs[@]}"; do
    chmod 0755 "$stage/$program"
done
scripts/sign.sh "${programs[@]/#/$stage/}"

# ------------------------------------------------------------- files
sed 's/\r$//; s/$/\r/' docs/README-Windows.txt > "$stage/README-Windows.txt"
cp docs/GAMEPAD.md "$stage/docs/GAMEPAD.md"
cp LICENSE THIRD_PARTY_NOTICES.md "$stage/"
files=(hearthpad.exe README-Windows.txt docs/GAMEPAD.md LICENSE THIRD_PARTY_NOTICES.md)
(cd "$stage" && sha256sum "${files[@]}") > "$stage/SHA256SUMS"
files+=(SHA256SUMS)

chmod 0644 "$stage"/*.txt "$stage"/*.md "$stage"/LICENSE "$stage"/SHA256SUMS "$stage"/docs/*
cp "$build_dir/generated/icons/hearthpad.ico" "$stage/hearthpad.ico"
chmod 0644 "$stage/hearthpad.ico"
find "$stage" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +

# ------------------------------------------------------------- archive
mkdir -p "$out_dir"
zip_path="$(cd "$out_dir" && pwd)/hearthpad-$version-win64.zip"
rm -f "$zip_path"
# -X: no extra attributes (owner, extended times); -D: no directory entries;
# the names in the order given.
(cd "$stage" && zip -q -X -D -9 "$zip_path" "${files[@]}")

# ------------------------------------------------------------- installer
setup_path="$(cd "$out_dir" && pwd)/hearthpad-$version-setup.exe"
rm -f "$setup_path"
nsis_defines=(-DVERSION="$version" -DSTAGE="$(cd "$stage" && pwd)" -DOUTFILE="$setup_path")
if [[ -n ${HEARTHPAD_SIGN_PFX:-} ]]; then
    nsis_defines+=(-DSIGN="\"$root/scripts/sign.sh\"")
else
    echo "warning: no signing certificate (HEARTHPAD_SIGN_PFX): the installer and its uninstaller left unsigned" >&2
fi
# -V2: warnings and errors only; -WX: a warning fails the build.
makensis -V2 -WX -NOCD "${nsis_defines[@]}" packaging/windows/hearthpad.nsi >&2
rm -rf "$out_dir/winget"
scripts/winget-manifest.py --installer "$setup_path" --out "$out_dir/winget" >&2

# ------------------------------------------------------------- Debian package
deb_args=(--build-dir "$build_dir-deb" --out "$out_dir")
if ((clean)); then deb_args+=(--clean); fi
deb_path="$(scripts/package-deb.sh "${deb_args[@]}" | tail -n 1)"

printf 'hearthpad.exe: %s bytes stripped (%s unstripped), debug information in %s\n' \
    "$(stat -c %s "$stage/hearthpad.exe")" "$(stat -c %s "$build_dir/hearthpad.exe")" "$build_dir/hearthpad.exe.debug" >&2
printf 'sha256 %s  %s\n' "$(sha256sum "$zip_path" | cut -d' ' -f1)" "$(basename "$zip_path")" >&2
printf 'sha256 %s  %s\n' "$(sha256sum "$setup_path" | cut -d' ' -f1)" "$(basename "$setup_path")" >&2
printf 'sha256 %s  %s\n' "$(sha256sum "$deb_path" | cut -d' ' -f1)" "$(basename "$deb_path")" >&2
echo "$zip_path"
