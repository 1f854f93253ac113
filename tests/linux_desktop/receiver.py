#!/usr/bin/python3
"""An X client to type into: a window titled "hp-receiver" with one text
field, whose text is written to the file given as the argument whenever it
changes (to a temporary sibling, then renamed)."""
import os
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gtk  # noqa: E402


def main():
    out = sys.argv[1]
    window = Gtk.Window(title="hp-receiver")
    window.set_default_size(400, 80)
    entry = Gtk.Entry()
    window.add(entry)

    def changed(field):
        tmp = out + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            f.write(field.get_text())
        os.replace(tmp, out)

    entry.connect("changed", changed)
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    Gtk.main()


if __name__ == "__main__":
    main()
