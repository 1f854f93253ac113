#!/usr/bin/env bash
# The Debian package as a user gets it: lintian finds nothing (no error, no
# warning), the control data and the file list are as they should be, and it
# installs into a scratch root with dpkg --root, where its programs start
# (every library found) and from which it uninstalls without a trace.
#
#   tests/package/deb_test.sh [hearthpad_<version>_amd64.deb] [work folder]
#
# Without a package (or with one that does not exist) it builds one with
# scripts/package-deb.sh in <work folder>/build. Every check is reported,
# not only the first failure.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
root="$PWD"

deb="${1:-}"
work="${2:-$root/build/deb-test}"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
if [[ -z $deb || ! -f $deb ]]; then
    echo "building the package in $work/build"
    deb="$(scripts/package-deb.sh --build-dir "$work/build" --out "$work/dist" 2>"$work/package.log" | tail -n 1)" || {
        tail -n 40 "$work/package.log"
        echo "FAIL: the package could not be built"
        exit 1
    }
fi
version="$(tr -d ' \t\r\n' < VERSION)"
echo "package: $deb"

failures=0
check() {  # check <description> <command...>
    local what="$1"
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

# ------------------------------------------------------------- lintian
# Every tag of severity warning or error fails; informational tags are
# printed for the record. The package's overrides
# (packaging/linux/lintian-overrides) each say why they hold.
lintian_out="$work/lintian.txt"
lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb" >"$lintian_out" 2>&1
lintian_rc=$?
sed 's/^/  lintian: /' "$lintian_out"
check "lintian: no errors or warnings" test "$lintian_rc" -eq 0

# ------------------------------------------------------------- control
field() { dpkg-deb -f "$deb" "$1"; }
check "package name" test "$(field Package)" = hearthpad
check "version $version-1" test "$(field Version)" = "$version-1"
check "architecture" test "$(field Architecture)" = amd64
depends="$(field Depends)"
echo "  Depends: $depends"
check "Depends from dpkg-shlibdeps (libc6, libsodium23)" \
    bash -c '[[ $1 == *"libc6 (>= "* && $1 == *libsodium23* ]]' _ "$depends"
check "extended description" bash -c '[[ $(dpkg-deb -f "$1" Description | wc -l) -gt 5 ]]' _ "$deb"
check "only the ufw profile is a conffile" \
    bash -c 'diff <(dpkg-deb --ctrl-tarfile "$1" | tar -xO ./conffiles) <(echo /etc/ufw/applications.d/hearthpad)' _ "$deb"

# ------------------------------------------------------------- contents
listing="$work/contents.txt"
dpkg-deb -c "$deb" >"$listing"
files="$(awk '{print $6}' "$listing" | sed 's|^\./|/|' | grep -v '/$')"
desktop=0
if grep -qx /usr/bin/hearthpad <<<"$files"; then desktop=1; fi
expected=(/usr/bin/hearthpad-console /usr/bin/hearthpad-client
    /usr/share/man/man1/hearthpad-console.1.gz /usr/share/man/man1/hearthpad-client.1.gz
    /usr/lib/firewalld/services/hearthpad.xml /etc/ufw/applications.d/hearthpad
    /usr/share/doc/hearthpad/copyright /usr/share/doc/hearthpad/changelog.Debian.gz
    /usr/share/doc/hearthpad/README-Linux.txt)
if ((desktop)); then
    expected+=(/usr/share/man/man1/hearthpad.1.gz /usr/share/applications/hearthpad.desktop)
    for size in 16 24 32 48 64 128 256; do expected+=("/usr/share/icons/hicolor/${size}x$size/apps/hearthpad.png"); done
else
    echo "  (no desktop program in this build: the package holds the console host and the client)"
fi
for f in "${expected[@]}"; do
    check "contains $f" grep -qx "$f" <<<"$files"
done
check "nothing for start at login in /etc/xdg/autostart" bash -c '! grep -q "^/etc/xdg" <<<"$1"' _ "$files"
check "every file and folder owned by root:root" bash -c '! awk "{print \$2}" "$1" | grep -vqx root/root' _ "$listing"
check "one time stamp for every entry" test "$(awk '{print $4, $5}' "$listing" | sort -u | wc -l)" -eq 1
check "programs 0755, other files 0644" bash -c '
    while read -r mode _ _ _ _ name; do
        case "$mode:$name" in
            d*) [[ $mode == drwxr-xr-x ]] || { echo "  $mode $name"; exit 1; } ;;
            *:./usr/bin/*|*:./usr/libexec/*) [[ $mode == -rwxr-xr-x ]] || { echo "  $mode $name"; exit 1; } ;;
            *) [[ $mode == -rw-r--r-- ]] || { echo "  $mode $name"; exit 1; } ;;
        esac
    done < "$1"' _ "$listing"

# ------------------------------------------------------------- install
# What "sudo apt install ./hearthpad_<version>_amd64.deb" would do here,
# simulated: every dependency can be met from the system's sources.
deb_abs="$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"
check "apt can install it with its dependencies (simulated)" \
    bash -c 'apt-get -s -q install "$1" >"$2" 2>&1 && grep -q "^Inst hearthpad " "$2"' _ "$deb_abs" "$work/apt.txt"

scratch="$work/root"
rm -rf "$scratch"
mkdir -p "$scratch/var/lib/dpkg/info" "$scratch/var/lib/dpkg/updates" "$scratch/var/log"
touch "$scratch/var/lib/dpkg/status" "$scratch/var/lib/dpkg/available"
# The scratch root has no libraries of its own: the programs run against
# this system's, and the dependencies are not checked there.
check "dpkg --root installs it" dpkg --root="$scratch" --force-depends --force-not-root -i "$deb"
check "dpkg knows it as installed" bash -c '[[ $(dpkg --root="$1" -s hearthpad | sed -n "s/^Status: //p") == "install ok installed" ]]' _ "$scratch"
for program in hearthpad-console hearthpad-client; do
    check "$program is stripped" bash -c '[[ $(file -b "$1") == *", stripped"* ]]' _ "$scratch/usr/bin/$program"
    check "$program finds every library" bash -c '! ldd "$1" | grep -q "not found"' _ "$scratch/usr/bin/$program"
done
# The client prints its usage with exit status 2 when given nothing to do;
# the console host rejects an unknown option with 2 before it starts.
"$scratch/usr/bin/hearthpad-client" >"$work/client.out" 2>&1
check "the installed client starts (usage, exit status 2)" test $? -eq 2
"$scratch/usr/bin/hearthpad-console" --no-such-option >"$work/console.out" 2>&1
check "the installed console host starts (unknown option, exit status 2)" test $? -eq 2
check "README-Linux.txt names the package's install command" \
    grep -q "sudo apt install ./hearthpad_<version>_amd64.deb" "$scratch/usr/share/doc/hearthpad/README-Linux.txt"
check "the firewalld service is well-formed XML with the host's ports" python3 - "$scratch/usr/lib/firewalld/services/hearthpad.xml" <<'EOF'
import sys, xml.etree.ElementTree as ET
svc = ET.parse(sys.argv[1]).getroot()
ports = sorted((p.get("protocol"), p.get("port")) for p in svc.findall("port"))
includes = [i.get("service") for i in svc.findall("include")]
sys.exit(0 if svc.tag == "service" and ports == [("tcp", "49182-49192"), ("udp", "49182-49192")] and includes == ["mdns"] else 1)
EOF
check "the ufw profile names the host's ports and mDNS" python3 - "$scratch/etc/ufw/applications.d/hearthpad" <<'EOF'
import configparser, sys
p = configparser.ConfigParser()
p.read(sys.argv[1])
sys.exit(0 if p.get("Hearthpad", "ports") == "49182:49192/tcp|49182:49192/udp|5353/udp" else 1)
EOF
if ((desktop)); then
    if command -v desktop-file-validate >/dev/null; then
        check "desktop-file-validate accepts the desktop entry" \
            desktop-file-validate "$scratch/usr/share/applications/hearthpad.desktop"
    else
        echo "skip: desktop-file-validate is not installed (package desktop-file-utils)"
    fi
    check "the desktop entry starts hearthpad with its icon" \
        bash -c 'grep -qx "Exec=hearthpad" "$1" && grep -qx "Icon=hearthpad" "$1"' _ \
        "$scratch/usr/share/applications/hearthpad.desktop"
    check "hearthpad is stripped" bash -c '[[ $(file -b "$1") == *", stripped"* ]]' _ "$scratch/usr/bin/hearthpad"
fi
check "dpkg --root purges it" dpkg --root="$scratch" --force-not-root --purge hearthpad
left="$(find "$scratch" -path "$scratch/var" -prune -o -type f -print)"
check "nothing left behind" test -z "$left"
[[ -z $left ]] || sed 's/^/  left: /' <<<"$left"

if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
