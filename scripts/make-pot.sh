#!/usr/bin/env bash
# Makes translations/hearthpad.pot, the template every translation starts
# from, out of the texts the sources mark for the catalogue:
#   texts.tr("...")               a text shown at once
#   texts.tr_plural("...", "...", n)
#   i18n("...")                   a text written down here, shown later
#   message("...", {...})         a text with arguments, shown later
# Usage: scripts/make-pot.sh [output] (default translations/hearthpad.pot).
# Then bring every language up to date with
#   msgmerge --update --no-fuzzy-matching translations/<lang>.po translations/hearthpad.pot
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=${1:-$root/translations/hearthpad.pot}
cd "$root"
# The desktop program's sources (the Linux edition's files are its own).
mapfile -t sources < <(find src -name '*.cpp' -o -name '*.h' | grep -v '^src/app/linux_' | LC_ALL=C sort)
LC_ALL=C.UTF-8 xgettext --language=C++ --from-code=UTF-8 --sort-output --add-location=file \
    --keyword= --keyword=tr --keyword=i18n --keyword=message --keyword=tr_plural:1,2 \
    --add-comments=TRANSLATORS: --output=- "${sources[@]}" > "$out.body" 2>/dev/null
{
    cat <<'HEADER'
# Hearthpad's texts, English, for translators.
# Made by scripts/make-pot.sh from the sources; do not edit.
msgid ""
msgstr ""
"Project-Id-Version: Hearthpad\n"
"MIME-Version: 1.0\n"
"Content-Type: text/plain; charset=UTF-8\n"
"Content-Transfer-Encoding: 8bit\n"
"Plural-Forms: nplurals=INTEGER; plural=EXPRESSION;\n"

HEADER
    # xgettext's own header (it writes one so that its output stays UTF-8) gives way to ours.
    sed '1,/^$/d' "$out.body"
} > "$out"
rm -f "$out.body"
