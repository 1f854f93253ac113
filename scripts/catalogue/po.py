"""Reads gettext catalogues (.po and .pot) as the build and the checks need them."""
from __future__ import annotations

import re
from dataclasses import dataclass, field

# The plural rule each language's catalogue must carry (the rules gettext's
# manual gives for these languages).
PLURAL_FORMS = {
    "de": "nplurals=2; plural=(n != 1);",
    "es": "nplurals=2; plural=(n != 1);",
    "it": "nplurals=2; plural=(n != 1);",
    "fr": "nplurals=2; plural=(n > 1);",
    "pt_BR": "nplurals=2; plural=(n > 1);",
    "ru": "nplurals=3; plural=(n%10==1 && n%100!=11 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);",
    "ja": "nplurals=1; plural=0;",
    "ko": "nplurals=1; plural=0;",
    "zh_CN": "nplurals=1; plural=0;",
}


@dataclass
class Entry:
    msgid: str = ""
    msgid_plural: str | None = None
    msgstr: list[str] = field(default_factory=list)
    fuzzy: bool = False
    line: int = 0


@dataclass
class Catalogue:
    path: str
    header: dict[str, str]
    entries: list[Entry]

    def plural_forms(self) -> str:
        return self.header.get("Plural-Forms", "").strip()

    def nplurals(self) -> int:
        m = re.search(r"nplurals\s*=\s*(\d+)", self.plural_forms())
        return int(m.group(1)) if m else 1

    def plural_expression(self) -> str:
        m = re.search(r"plural\s*=\s*(.*?);?\s*$", self.plural_forms())
        return m.group(1).strip() if m else "0"


_ESCAPES = {"n": "\n", "t": "\t", '"': '"', "\\": "\\", "r": "\r"}


def _unquote(text: str, path: str, line: int) -> str:
    text = text.strip()
    if len(text) < 2 or text[0] != '"' or text[-1] != '"':
        raise ValueError(f"{path}:{line}: expected a quoted string")
    out, i, body = [], 0, text[1:-1]
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            out.append(_ESCAPES.get(body[i + 1], body[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def read(path: str) -> Catalogue:
    entries: list[Entry] = []
    current: Entry | None = None
    target: tuple[str, int] | None = None  # which field continuation lines extend
    fuzzy_next = False

    def finish():
        nonlocal current
        if current is not None:
            entries.append(current)
        current = None

    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            stripped = line.strip()
            if not stripped:
                finish()
                target = None
                continue
            if stripped.startswith("#~"):
                continue
            if stripped.startswith("#"):
                if stripped.startswith("#,") and "fuzzy" in stripped:
                    fuzzy_next = True
                continue
            if stripped.startswith('"'):
                if current is None or target is None:
                    raise ValueError(f"{path}:{number}: string outside an entry")
                value = _unquote(stripped, path, number)
                name, index = target
                if name == "msgid":
                    current.msgid += value
                elif name == "msgid_plural":
                    current.msgid_plural = (current.msgid_plural or "") + value
                else:
                    current.msgstr[index] += value
                continue
            keyword, _, rest = stripped.partition(" ")
            if keyword == "msgctxt":
                raise ValueError(f"{path}:{number}: contexts are not used by this catalogue")
            if keyword == "msgid":
                finish()
                current = Entry(msgid=_unquote(rest, path, number), fuzzy=fuzzy_next, line=number)
                fuzzy_next = False
                target = ("msgid", 0)
            elif keyword == "msgid_plural" and current is not None:
                current.msgid_plural = _unquote(rest, path, number)
                target = ("msgid_plural", 0)
            elif keyword == "msgstr" and current is not None:
                current.msgstr = [_unquote(rest, path, number)]
                target = ("msgstr", 0)
            elif (m := re.fullmatch(r"msgstr\[(\d+)\]", keyword)) and current is not None:
                index = int(m.group(1))
                while len(current.msgstr) <= index:
                    current.msgstr.append("")
                current.msgstr[index] = _unquote(rest, path, number)
                target = ("msgstr", index)
            else:
                raise ValueError(f"{path}:{number}: cannot read {stripped!r}")
    finish()

    header: dict[str, str] = {}
    body = []
    for e in entries:
        if e.msgid == "" and e.msgid_plural is None:
            for h in (e.msgstr[0] if e.msgstr else "").split("\n"):
                name, sep, value = h.partition(":")
                if sep:
                    header[name.strip()] = value.strip()
        else:
            body.append(e)
    return Catalogue(path, header, body)


def language_of(path: str) -> str:
    """The language code a catalogue's file name gives (translations/pt_BR.po: pt_BR)."""
    name = path.replace("\\", "/").rsplit("/", 1)[-1]
    return name[:-3] if name.endswith(".po") else name
