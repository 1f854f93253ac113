#!/usr/bin/env bash
# Builds the Linux programs and packs them as a Debian package:
#
#   dist/hearthpad_<version>_amd64.deb   (package version <version>-1)
#       /usr/bin/hearthpad                      the desktop program (tray)
#       /usr/bin/hearthpad-console              the console host
#       /usr/bin/hearthpad-client               the reference client
#       /usr/libexec/hearthpad/hearthpad-windows  the windows, started by the desktop program
#       /usr/share/applications/hearthpad.desktop
#       /usr/share/icons/hicolor/<n>x<n>/apps/hearthpad.png
#       /usr/share/man/man1/*.1.gz
#       /usr/lib/firewalld/services/hearthpad.xml   (enabled only by the connection check's fix)
#       /etc/ufw/applications.d/hearthpad           (likewise)
#       /usr/share/doc/hearthpad/{copyright,changelog.Debian.gz,README-Linux.txt}
#
# The desktop program and the windows program are packed when the build has
# them (their targets exist); the desktop entry, its icons and hearthpad.1
# come with the desktop program. Nothing is installed for start at login:
# the program writes ~/.config/autostart/hearthpad.desktop when the user asks.
#
# Programs are built as the release preset builds them (RelWithDebInfo),
# with Debian's hardening flags, and stripped; their debug
# information stays in the build directory as <program>.debug. Depends comes
# from dpkg-shlibdeps. The same commit gives the same package byte for byte:
# paths of the build are mapped away, every file carries the time of the last
# commit (or SOURCE_DATE_EPOCH), and dpkg-deb packs in name order.
#
#   scripts/package-deb.sh                     build in build/deb, write dist/
#   scripts/package-deb.sh --build-dir DIR     build in DIR
#   scripts/package-deb.sh --out DIR           write the package to DIR
#   scripts/package-deb.sh --clean             empty the build directory first
#
# The last line printed is the package's path.
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$PWD"

build_dir=build/deb
out_dir=dist
clean=0
while (($#)); do
    case "$1" in
        --build-dir) build_dir="${2:?--build-dir needs a directory}"; shift 2 ;;
        --out) out_dir="${2:?--out needs a directory}"; shift 2 ;;
        --clean) clean=1; shift ;;
        -h|--help) sed -n '2,31p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done

version="$(tr -d ' \t\r\n' < VERSION)"
if [[ ! $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
    echo "VERSION must hold major.minor.patch, not \"$version\"" >&2
    exit 1
fi
package_version="$version-1"

if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
    SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)"
fi
if [[ ! ${SOURCE_DATE_EPOCH:-} =~ ^[0-9]+$ ]]; then
    echo "no commit time found: run inside the git checkout or set SOURCE_DATE_EPOCH" >&2
    exit 1
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022

# ------------------------------------------------------------- build
if ((clean)); then rm -rf "$build_dir"; fi
mkdir -p "$build_dir"
build_abs="$(cd "$build_dir" && pwd)"
# Debian's flags (hardening, and the source folder mapped to "."), and the
# build folder mapped away too, so that two build folders give the same
# bytes. GCC tries the last mapping first.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
prefix_map="-ffile-prefix-map=$build_abs=."
cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS) $prefix_map"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHEARTHPAD_TESTS=OFF -DHEARTHPAD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$cflags" -DCMAKE_C_FLAGS="$cflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" >/dev/null

# The desktop program and its windows program, when this tree has them.
targets="$(cmake --build "$build_dir" --target help)"
has_target() { grep -qE "^$1: " <<<"$targets"; }
programs=(hearthpad-console hearthpad-client)
desktop=0
if has_target hearthpad; then programs+=(hearthpad); desktop=1; fi
windows=0
if has_target hearthpad-windows; then programs+=(hearthpad-windows); windows=1; fi
cmake --build "$build_dir" -j "$(nproc)" --target "${programs[@]}" hearthpad_icons >&2

# ------------------------------------------------------------- stage
stage="$build_dir/deb-root"
rm -rf "$stage"
install -d "$stage/DEBIAN" "$stage/usr/bin" "$stage/usr/share/man/man1" "$stage/usr/share/doc/hearthpad" \
    "$stage/usr/lib/firewalld/services" "$stage/etc/ufw/applications.d" "$stage/usr/share/lintian/overrides"

# Stripped as dh_strip does; the debug information kept beside the build.
put_program() {
    local from="$1" to="$2"
    objcopy --only-keep-debug "$from" "$from.debug"
    install -D -m 0755 "$from" "$to"
    strip --remove-section=.comment --remove-section=.note --strip-unneeded "$to"
}
put_program "$build_dir/hearthpad-console" "$stage/usr/bin/hearthpad-console"
put_program "$build_dir/hearthpad-client" "$stage/usr/bin/hearthpad-client"
if ((desktop)); then put_program "$build_dir/hearthpad" "$stage/usr/bin/hearthpad"; fi
if ((windows)); then
    put_program "$build_dir/hearthpad-windows" "$stage/usr/libexec/hearthpad/hearthpad-windows"
fi

man_pages=(hearthpad-console hearthpad-client)
if ((desktop)); then
    man_pages+=(hearthpad)
    install -D -m 0644 packaging/linux/hearthpad.desktop "$stage/usr/share/applications/hearthpad.desktop"
    for png in "$build_dir"/generated/icons/hicolor/*/apps/hearthpad.png; do
        size="$(basename "$(dirname "$(dirname "$png")")")"
        install -D -m 0644 "$png" "$stage/usr/share/icons/hicolor/$size/apps/hearthpad.png"
    done
fi
for page in "${man_pages[@]}"; do
    sed "s/@VERSION@/$version/" "packaging/linux/$page.1" | gzip -9n > "$stage/usr/share/man/man1/$page.1.gz"
done

install -m 0644 packaging/linux/hearthpad-firewalld.xml "$stage/usr/lib/firewalld/services/hearthpad.xml"
install -m 0644 packaging/linux/hearthpad-ufw "$stage/etc/ufw/applications.d/hearthpad"
install -m 0644 packaging/linux/copyright "$stage/usr/share/doc/hearthpad/copyright"
# Each override says why it holds; only those for files in the package.
while IFS= read -r line; do
    if [[ $line =~ \[(usr/[^]:]*) ]] && [[ ! -e $stage/${BASH_REMATCH[1]} && ${BASH_REMATCH[1]} != */changelog.Debian.gz ]]; then
        continue
    fi
    printf '%s\n' "$line"
done < packaging/linux/lintian-overrides > "$stage/usr/share/lintian/overrides/hearthpad"
chmod 0644 "$stage/usr/share/lintian/overrides/hearthpad"
install -m 0644 docs/README-Linux.txt "$stage/usr/share/doc/hearthpad/README-Linux.txt"
changes_date="$(date -u -d "@$SOURCE_DATE_EPOCH" -R)"
{
    printf 'hearthpad (%s) unstable; urgency=medium\n\n' "$package_version"
    printf '  * Hearthpad %s for Linux desktops: the desktop program, the console\n' "$version"
    printf '    host and the reference client.\n\n'
    printf ' -- The Hearthpad developers <developers@hearthpad.app>  %s\n' "$changes_date"
} | gzip -9n > "$stage/usr/share/doc/hearthpad/changelog.Debian.gz"
chmod 0644 "$stage/usr/share/doc/hearthpad/changelog.Debian.gz" "$stage"/usr/share/man/man1/*.gz

# ------------------------------------------------------------- control
# dpkg-shlibdeps reads the package's name from a control file.
shlib_dir="$build_dir/shlibdeps"
rm -rf "$shlib_dir"
mkdir -p "$shlib_dir/debian"
printf 'Source: hearthpad\n\nPackage: hearthpad\nArchitecture: amd64\n' > "$shlib_dir/debian/control"
elf_files=()
while IFS= read -r f; do elf_files+=("$(cd "$stage" && pwd)/$f"); done < <(cd "$stage" && find usr -type f -perm -0100 | sort)
depends="$(cd "$shlib_dir" && dpkg-shlibdeps -O "${elf_files[@]/#/-e}" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')"
if [[ -z $depends ]]; then
    echo "dpkg-shlibdeps found no dependencies" >&2
    exit 1
fi
installed_size="$(du -s -k --apparent-size --exclude=DEBIAN "$stage" | cut -f1)"
sed -e "s/@VERSION@/$package_version/" -e "s/@INSTALLED_SIZE@/$installed_size/" -e "s/@DEPENDS@/$depends/" \
    packaging/linux/control.in > "$stage/DEBIAN/control"
printf '/etc/ufw/applications.d/hearthpad\n' > "$stage/DEBIAN/conffiles"
(cd "$stage" && find usr -type f | LC_ALL=C sort | xargs md5sum) > "$stage/DEBIAN/md5sums"
chmod 0644 "$stage"/DEBIAN/*
find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +

# ------------------------------------------------------------- package
mkdir -p "$out_dir"
deb_path="$(cd "$out_dir" && pwd)/hearthpad_${version}_amd64.deb"
rm -f "$deb_path"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb_path" >&2

printf 'sha256 %s  %s\n' "$(sha256sum "$deb_path" | cut -d' ' -f1)" "$(basename "$deb_path")" >&2
echo "$deb_path"
