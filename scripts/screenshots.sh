#!/usr/bin/env bash
# Takes the README's screenshots of hearthpad.exe under Wine: the tray menu,
# the pairing window and the gamepad mapping window, written to
# docs/screenshots/.
#
#   scripts/screenshots.sh [build/windows]
#
# Needs the Windows build (hearthpad.exe and stub/schtasks.exe in the given
# build directory) and xdotool, ImageMagick's import and Xvfb
# (scripts/install-deps.sh installs them). Everything runs on a private Xvfb
# display with a private Wine prefix under <build>/screenshots; the taskbar
# is set to the light theme, so the icon shows dark on Wine's white
# notification area. The host runs on a fresh data directory whose two
# markers are already there (no question, no balloon in the pictures).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$PWD"

build="$(cd "${1:-build/windows}" && pwd)"
exe="$build/hearthpad.exe"
stub="$build/stub/schtasks.exe"
for f in "$exe" "$stub"; do
    [[ -f $f ]] || { echo "screenshots: $f is missing; build the windows preset first" >&2; exit 1; }
done
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[[ -x $wine ]] || wine="$(command -v wine64 || command -v wine)"
[[ -x $wineserver ]] || wineserver="$(command -v wineserver)"

work="$build/screenshots"
mkdir -p "$work"
# schtasks.exe=n: the stand-in below, not Wine's built-in program.
export WINEPREFIX="$work/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=;schtasks.exe=n"
export WINELOADER="$wine" WINESERVER="$wineserver"
out="$root/docs/screenshots"
mkdir -p "$out"

tmp="$(mktemp -d "${TMPDIR:-/tmp}/hearthpad-shots.XXXXXX")"
xvfb_pid=""
cleanup() {
    "$wineserver" -k 2>/dev/null || true
    [[ -n $xvfb_pid ]] && { kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; }
    rm -rf "$tmp"
}
trap cleanup EXIT

# A display of our own; Xvfb reports its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do [[ -s $tmp/display ]] && break; sleep 0.1; done
[[ -s $tmp/display ]] || { echo "screenshots: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -dc '0-9' <"$tmp/display")"

if [[ ! -f $WINEPREFIX/.hearthpad-ready ]]; then
    "$wine" wineboot --init >/dev/null 2>&1
    timeout 120 "$wineserver" -w || true
    touch "$WINEPREFIX/.hearthpad-ready"
fi
"$wine" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize' \
    /v SystemUsesLightTheme /t REG_DWORD /d 1 /f >/dev/null 2>&1

mkdir -p "$tmp/program" "$tmp/data"
cp "$exe" "$tmp/program/"
# The program starts the system's schtasks.exe: the stand-in ("no such
# task") takes its place in this prefix's system folder.
cp "$stub" "$WINEPREFIX/drive_c/windows/system32/schtasks.exe"
printf 1 >"$tmp/data/startup_prompted"
printf 1 >"$tmp/data/vigem_notified"
RC_DATA_DIR="Z:${tmp//\//\\}\\data" \
    "$wine" "$tmp/program/hearthpad.exe" >"$tmp/hearthpad.log" 2>&1 &

# Geometry of a window as "X Y WIDTH HEIGHT".
geometry() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    echo "$X $Y $WIDTH $HEIGHT"
}
# The first visible window of hearthpad.exe named $1 (empty: the menu).
find_window() {
    local id
    for id in $(xdotool search --onlyvisible --class '^hearthpad.exe$' 2>/dev/null); do
        if [[ $(xdotool getwindowname "$id" 2>/dev/null) == "$1" ]]; then echo "$id"; return 0; fi
    done
    return 1
}
wait_window() {
    local id
    for _ in $(seq 1 300); do
        if id="$(find_window "$1")"; then echo "$id"; return 0; fi
        sleep 0.2
    done
    echo "screenshots: no window \"$1\"; see $tmp/hearthpad.log" >&2
    return 1
}

tray=""
for _ in $(seq 1 300); do
    tray="$(xdotool search --onlyvisible --name '^Wine System Tray$' 2>/dev/null | head -n 1)" && [[ -n $tray ]] && break
    sleep 0.2
done
[[ -n $tray ]] || { echo "screenshots: the notification area did not appear" >&2; exit 1; }
sleep 2
read -r tx ty tw th < <(geometry "$tray")

# The menu, opened with the right button on the icon.
xdotool mousemove $((tx + 10)) $((ty + th / 2)) click 3
menu="$(wait_window "")"
sleep 0.5
read -r mx my mw mh < <(geometry "$menu")
right=$((mx + mw > tx + tw ? mx + mw : tx + tw))
bottom=$((my + mh > ty + th ? my + mh : ty + th))
import -window root -crop "$((right + 12))x$((bottom + 12))+0+0" +repage "$out/tray-menu.png"

# "Gamepad Mapping…" with the keyboard, from the open menu: four items below
# "Pair New Device…".
xdotool mousemove $((mx + 1)) $((my + 1))
sleep 0.3
for _ in 1 2 3 4 5 6 7 8 9; do xdotool key Down; sleep 0.1; done
xdotool key Return
window="$(wait_window "Hearthpad - Gamepad Mapping")"
sleep 1
read -r gx gy gw gh < <(geometry "$window")
import -window root -crop "${gw}x${gh}+$gx+$gy" +repage "$out/mapping-window.png"

# "Close" (at 827,521 of the 880 x 540 client area, which is all X shows of
# the window here) closes it; Wine without a window manager sometimes takes
# the first click for itself, so click until the window goes. It also takes
# a destroyed window off the screen only at the next X event: move the
# pointer away after each click.
for _ in 1 2 3 4 5; do
    xdotool mousemove $((gx + 827)) $((gy + 521)) click 1
    sleep 0.5
    xdotool mousemove 600 600
    sleep 0.3
    xdotool mousemove 610 610
    sleep 0.5
    find_window "Hearthpad - Gamepad Mapping" >/dev/null || break
done
xdotool mousemove $((tx + 10)) $((ty + th / 2)) click 3
menu="$(wait_window "")"
sleep 0.5
read -r mx my mw mh < <(geometry "$menu")

# "Pair New Device…" with the keyboard: nothing is selected with the pointer
# on the menu's border; Wine 8 steps through the four grey lines first.
xdotool mousemove $((mx + 1)) $((my + 1))
sleep 0.3
for _ in 1 2 3 4 5; do xdotool key Down; sleep 0.1; done
xdotool key Return
window="$(wait_window "Pair New Device")"
sleep 1
read -r px py pw ph < <(geometry "$window")
x0=$((px > 12 ? px - 12 : 0))
y0=$((py > 12 ? py - 12 : 0))
import -window root -crop "$((pw + 24))x$((ph + 24))+$x0+$y0" +repage "$out/pairing-window.png"

# The pairing window once more in each language of the catalogue, the
# program started again in that display language (Wine takes it from the
# locale, compiled here from Debian's locale sources into the work folder).
locales="$work/locales"
mkdir -p "$locales"
for pair in de:de_DE fr:fr_FR es:es_ES it:it_IT pt_BR:pt_BR ru:ru_RU ja:ja_JP ko:ko_KR zh_CN:zh_CN; do
    code=${pair%%:*} locale=${pair#*:}.UTF-8
    [[ -d $locales/$locale ]] || localedef -i "${locale%%.*}" -f UTF-8 "$locales/$locale" >/dev/null 2>&1 || true
    title="$(python3 -c 'import sys; sys.path.insert(0, "scripts/catalogue"); import po
print(next(e.msgstr[0] for e in po.read(sys.argv[1]).entries if e.msgid == "Pair New Device"))' "translations/$code.po")"
    "$wineserver" -k 2>/dev/null || true
    sleep 1
    LOCPATH="$locales" LANG="$locale" LC_ALL="$locale" RC_DATA_DIR="Z:${tmp//\//\\}\\data" \
        "$wine" "$tmp/program/hearthpad.exe" >"$tmp/hearthpad-$code.log" 2>&1 &
    tray=""
    for _ in $(seq 1 300); do
        tray="$(xdotool search --onlyvisible --name '^Wine System Tray$' 2>/dev/null | head -n 1)" && [[ -n $tray ]] && break
        sleep 0.2
    done
    [[ -n $tray ]] || { echo "screenshots: no notification area for $code" >&2; exit 1; }
    sleep 2
    read -r tx ty tw th < <(geometry "$tray")
    xdotool mousemove $((tx + 10)) $((ty + th / 2)) click 3
    menu="$(wait_window "")"
    sleep 0.5
    read -r mx my mw mh < <(geometry "$menu")
    xdotool mousemove $((mx + 1)) $((my + 1))
    sleep 0.3
    for _ in 1 2 3 4 5; do xdotool key Down; sleep 0.1; done
    xdotool key Return
    window="$(wait_window "$title")"
    sleep 1
    read -r px py pw ph < <(geometry "$window")
    x0=$((px > 12 ? px - 12 : 0))
    y0=$((py > 12 ? py - 12 : 0))
    import -window root -crop "$((pw + 24))x$((ph + 24))+$x0+$y0" +repage "$out/pairing-window-$code.png"
done

echo "screenshots: wrote $out/tray-menu.png, $out/pairing-window.png, $out/mapping-window.png and $out/pairing-window-<language>.png"
