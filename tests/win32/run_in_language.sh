#!/usr/bin/env bash
# Runs the Windows test program under Wine in a display language:
#   tests/win32/run_in_language.sh <locale> <expected catalogue> <program.exe> [arguments...]
# e.g. de_DE.UTF-8 de. Wine takes the user's display language from the Unix
# locale (LC_ALL / LANG), which must exist: it is compiled once into
# <program's folder>/locales from Debian's locale sources (package locales)
# and found through LOCPATH, so that the machine's own locales stay as they
# are. HP_EXPECT_UI_LANGUAGE tells the test what to expect.
set -euo pipefail
locale=$1 expected=$2 exe=$3
shift 3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
dir=$(cd "$(dirname "$exe")" && pwd)/locales
name=${locale%%.*}
if [[ ! -d $dir/$locale ]]; then
    if [[ ! -f /usr/share/i18n/locales/$name ]]; then
        echo "run_in_language: no locale source for $name (apt-get install locales)" >&2
        exit 77
    fi
    mkdir -p "$dir"
    localedef -i "$name" -f UTF-8 "$dir/$locale" >/dev/null 2>&1 || [[ -d $dir/$locale ]]
fi
export LOCPATH=$dir
export LANG=$locale LC_ALL=$locale HP_EXPECT_UI_LANGUAGE=$expected
unset HEARTHPAD_UI_LANGUAGE
exec "$root/scripts/wine-run.sh" "$exe" "$@"
