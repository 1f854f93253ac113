#!/usr/bin/env python3
"""Checks the translations against the template: every text of
hearthpad.pot is translated in every catalogue (not fuzzy, not empty),
every placeholder {n} of the English is kept, a text with a plural has
every form the language's plural rule needs, the rule is the language's
own, a mnemonic (&x) stays a mnemonic and a trailing ellipsis stays. With
--sources, the template must also be what scripts/make-pot.sh makes from
the sources now. Prints one line per fault and exits 1 when there is one."""
import argparse
import glob
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import po  # noqa: E402

PLACEHOLDER = re.compile(r"\{\d+\}")
# A mnemonic: one "&" before a letter or digit ("&&" is a literal ampersand,
# "& " plain text).
MNEMONIC = re.compile(r"(?<!&)&(?!&)(?=\w)")
ELLIPSES = ("…", "...")


def placeholders(text):
    return sorted(PLACEHOLDER.findall(text))


def check_entry(lang, source, entry, nplurals, faults):
    where = f"{entry_path(lang)}:{entry.line}"
    wanted = sorted(set(placeholders(source.msgid)) | set(placeholders(source.msgid_plural or "")))
    if (source.msgid_plural is None) != (entry.msgid_plural is None):
        faults.append(f"{where}: {source.msgid!r}: plural does not match the template")
        return
    forms = entry.msgstr
    if source.msgid_plural is not None and len(forms) != nplurals:
        faults.append(f"{where}: {source.msgid!r}: {len(forms)} plural forms, the language has {nplurals}")
    for i, form in enumerate(forms):
        if form == "":
            faults.append(f"{where}: {source.msgid!r}: form {i} not translated")
            continue
        if sorted(set(placeholders(form))) != wanted:
            faults.append(f"{where}: {source.msgid!r}: placeholders {placeholders(form)}, expected {wanted}")
        if MNEMONIC.search(source.msgid) and len(MNEMONIC.findall(form)) != 1:
            faults.append(f"{where}: {source.msgid!r}: the mnemonic (&) is lost")
        if source.msgid.endswith(ELLIPSES) and not form.endswith(ELLIPSES):
            faults.append(f"{where}: {source.msgid!r}: the ellipsis is lost")


_paths = {}


def entry_path(lang):
    return _paths.get(lang, lang)


def check(pot_path, catalogues, faults):
    template = po.read(pot_path)
    sources = {e.msgid: e for e in template.entries}
    for path in catalogues:
        lang = po.language_of(path)
        _paths[lang] = path
        try:
            cat = po.read(path)
        except ValueError as e:
            faults.append(str(e))
            continue
        expected_rule = po.PLURAL_FORMS.get(lang)
        if expected_rule is None:
            faults.append(f"{path}: no plural rule is known for {lang}; add it to scripts/catalogue/po.py")
        elif cat.plural_forms().rstrip(";") != expected_rule.rstrip(";"):
            faults.append(f"{path}: Plural-Forms is {cat.plural_forms()!r}, {lang} needs {expected_rule!r}")
        entries = {e.msgid: e for e in cat.entries}
        for msgid, source in sources.items():
            entry = entries.get(msgid)
            if entry is None:
                faults.append(f"{path}: missing {msgid!r}")
            elif entry.fuzzy:
                faults.append(f"{path}:{entry.line}: {msgid!r} is fuzzy")
            else:
                check_entry(lang, source, entry, cat.nplurals(), faults)
        for msgid, entry in entries.items():
            if msgid not in sources:
                faults.append(f"{path}:{entry.line}: {msgid!r} is not in the template any more")


def check_template_current(root, pot_path, faults):
    with tempfile.TemporaryDirectory() as tmp:
        fresh = os.path.join(tmp, "hearthpad.pot")
        subprocess.run([os.path.join(root, "scripts", "make-pot.sh"), fresh], check=True)
        now = {(e.msgid, e.msgid_plural) for e in po.read(fresh).entries}
    kept = {(e.msgid, e.msgid_plural) for e in po.read(pot_path).entries}
    for msgid, _ in sorted(now - kept):
        faults.append(f"{pot_path}: the sources have {msgid!r}; run scripts/make-pot.sh")
    for msgid, _ in sorted(kept - now):
        faults.append(f"{pot_path}: {msgid!r} is no longer in the sources; run scripts/make-pot.sh")


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", default=os.path.join(root, "translations"),
                        help="the folder with hearthpad.pot and the <language>.po files")
    parser.add_argument("--sources", action="store_true", help="also compare the template with the sources")
    parser.add_argument("--languages", help="the languages that must have a catalogue (default: all of po.py's)")
    args = parser.parse_args()
    pot_path = os.path.join(args.dir, "hearthpad.pot")
    catalogues = sorted(glob.glob(os.path.join(args.dir, "*.po")))
    faults = []
    if args.sources:
        check_template_current(root, pot_path, faults)
    check(pot_path, catalogues, faults)
    required = set(args.languages.split(",")) if args.languages else set(po.PLURAL_FORMS)
    missing = sorted(required - {po.language_of(c) for c in catalogues})
    for lang in missing:
        faults.append(f"{args.dir}: no catalogue for {lang}")
    for f in faults:
        print(f)
    if not faults:
        print(f"catalogues: {len(catalogues)} languages, every text of {pot_path} translated")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
