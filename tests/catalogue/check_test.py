#!/usr/bin/env python3
"""The catalogue check (scripts/catalogue/check.py) on a small template and
two catalogues: clean they pass; each broken entry below is reported."""
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHECK = os.path.join(ROOT, "scripts", "catalogue", "check.py")

HEADER = 'msgid ""\nmsgstr ""\n"Content-Type: text/plain; charset=UTF-8\\n"\n"Plural-Forms: {rule}\\n"\n\n'
POT = HEADER.format(rule="nplurals=INTEGER; plural=EXPRESSION;") + """msgid "Pair New Device…"
msgstr ""

msgid "&Close"
msgstr ""

msgid "Status: Controlled by {0}"
msgstr ""

msgid "{0} problem found."
msgid_plural "{0} problems found."
msgstr[0] ""
msgstr[1] ""
"""
RU_RULE = "nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);"
RU = HEADER.format(rule=RU_RULE) + """msgid "Pair New Device…"
msgstr "Связать новое устройство…"

msgid "&Close"
msgstr "&Закрыть"

msgid "Status: Controlled by {0}"
msgstr "Состояние: управляет {0}"

msgid "{0} problem found."
msgid_plural "{0} problems found."
msgstr[0] "Обнаружена {0} проблема."
msgstr[1] "Обнаружено {0} проблемы."
msgstr[2] "Обнаружено {0} проблем."
"""
JA = HEADER.format(rule="nplurals=1; plural=0;") + """msgid "Pair New Device…"
msgstr "新しいデバイスのペアリング..."

msgid "&Close"
msgstr "閉じる(&C)"

msgid "Status: Controlled by {0}"
msgstr "状態: {0} が操作中"

msgid "{0} problem found."
msgid_plural "{0} problems found."
msgstr[0] "{0} 件の問題が見つかりました。"
"""

# (what is broken, language, text replaced, replacement, the fault's words)
CASES = [
    ("an entry missing", "ru", 'msgid "&Close"\nmsgstr "&Закрыть"\n', "", "missing '&Close'"),
    ("an entry not translated", "ja", 'msgstr "閉じる(&C)"', 'msgstr ""', "form 0 not translated"),
    ("a fuzzy entry", "ja", 'msgid "&Close"', '#, fuzzy\nmsgid "&Close"', "is fuzzy"),
    ("a placeholder lost", "ru", "управляет {0}", "управляет", "placeholders [], expected ['{0}']"),
    ("a placeholder renumbered", "ja", "状態: {0}", "状態: {1}", "placeholders ['{1}']"),
    ("a plural form missing", "ru", 'msgstr[2] "Обнаружено {0} проблем."\n', "", "2 plural forms, the language has 3"),
    ("a plural form without its count", "ru", 'msgstr[1] "Обнаружено {0} проблемы."', 'msgstr[1] "Обнаружено несколько проблем."',
     "placeholders [], expected ['{0}']"),
    ("a wrong plural rule", "ru", RU_RULE, "nplurals=2; plural=(n != 1);", "ru needs"),
    ("the mnemonic lost", "ja", "閉じる(&C)", "閉じる", "the mnemonic (&) is lost"),
    ("the mnemonic doubled", "ru", "&Закрыть", "&За&крыть", "the mnemonic (&) is lost"),
    ("the ellipsis lost", "ru", "устройство…", "устройство", "the ellipsis is lost"),
    ("a text the template no longer has", "ja", 'msgid "&Close"', 'msgid "Old"\nmsgstr "古い"\n\nmsgid "&Close"',
     "'Old' is not in the template any more"),
]


def run(files):
    with tempfile.TemporaryDirectory() as tmp:
        for name, text in files.items():
            with open(os.path.join(tmp, name), "w", encoding="utf-8") as f:
                f.write(text)
        done = subprocess.run([sys.executable, CHECK, "--dir", tmp, "--languages", "ru,ja"],
                              capture_output=True, text=True)
        return done.returncode, done.stdout + done.stderr


def main():
    failures = []
    clean = {"hearthpad.pot": POT, "ru.po": RU, "ja.po": JA}
    code, out = run(clean)
    if code != 0:
        failures.append(f"clean catalogues refused:\n{out}")
    code, out = run({"hearthpad.pot": POT, "ru.po": RU})
    if code == 0 or "no catalogue for ja" not in out:
        failures.append(f"a missing catalogue not reported:\n{out}")
    for what, lang, old, new, expected in CASES:
        files = dict(clean)
        name = f"{lang}.po"
        if old not in files[name]:
            failures.append(f"{what}: the fixture lacks {old!r}")
            continue
        files[name] = files[name].replace(old, new, 1)
        code, out = run(files)
        if code == 0 or expected not in out:
            failures.append(f"{what}: expected a fault with {expected!r}, got exit {code}:\n{out}")
    for f in failures:
        print(f)
    if not failures:
        print("catalogue check: every broken entry reported, clean catalogues passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
