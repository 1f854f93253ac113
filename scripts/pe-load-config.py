#!/usr/bin/env python3
"""Points a PE32+ program's load-configuration entry at its _load_config_used.

    scripts/pe-load-config.py program.exe

The program defines its load-configuration directory as the object
_load_config_used (src/platform/win32/dll_search.cpp); its DependentLoadFlags
make the loader take the DLLs the program imports from the system directory
only. Microsoft's linker and LLD point the optional header's
IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG (data directory 10) at that object by
themselves; GNU ld (binutils 2.40) leaves the entry empty, so this step sets
it after linking: virtual address = the object's RVA, size = the directory's
own Size field. The header checksum is computed again. The program must
still have its COFF symbol table (strip afterwards, not before). Running it
again on a patched program changes nothing.
"""
import struct
import sys

SYMBOL = b"_load_config_used"
LOAD_CONFIG = 10


def fail(text):
    print(f"pe-load-config: {text}", file=sys.stderr)
    sys.exit(1)


def pe_checksum(data, checksum_offset):
    """The optional header's CheckSum as the image helper library computes it."""
    total = 0
    padded = data + b"\0" * (len(data) % 2)
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    # The CheckSum field itself counts as zero.
    for (word,) in struct.iter_unpack("<H", data[checksum_offset:checksum_offset + 4]):
        total -= word
        if total < 0:
            total += 0xFFFF
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main():
    if len(sys.argv) != 2:
        fail("usage: pe-load-config.py program.exe")
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = bytearray(f.read())

    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        fail(f"{path} is not a PE image")
    coff = pe + 4
    sections, _, symbols_at, symbol_count, optional_size = struct.unpack_from("<HIIIH", data, coff + 2)
    optional = coff + 20
    if struct.unpack_from("<H", data, optional)[0] != 0x20B:
        fail(f"{path} is not a PE32+ image")
    (directories,) = struct.unpack_from("<I", data, optional + 108)
    if directories <= LOAD_CONFIG:
        fail(f"{path} has no room for a load-configuration entry")
    entry = optional + 112 + 8 * LOAD_CONFIG
    checksum_at = optional + 64

    headers = optional + optional_size
    section_list = []
    for i in range(sections):
        at = headers + 40 * i
        virtual_size, virtual_address, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
        section_list.append((virtual_address, virtual_size, raw_at, raw_size))

    if symbols_at == 0 or symbol_count == 0:
        fail(f"{path} has no symbol table: run this before stripping")
    strings_at = symbols_at + 18 * symbol_count
    rva = None
    i = 0
    while i < symbol_count:
        at = symbols_at + 18 * i
        name = bytes(data[at:at + 8])
        value, section, _, _, aux = struct.unpack_from("<IhHBB", data, at + 8)
        if name[:4] == b"\0\0\0\0":
            (offset,) = struct.unpack_from("<I", name, 4)
            end = data.index(b"\0", strings_at + offset)
            name = bytes(data[strings_at + offset:end])
        else:
            name = name.rstrip(b"\0")
        if name == SYMBOL and section > 0:
            rva = section_list[section - 1][0] + value
            break
        i += 1 + aux
    if rva is None:
        fail(f"{path} defines no {SYMBOL.decode()}")

    file_at = None
    for virtual_address, virtual_size, raw_at, raw_size in section_list:
        if virtual_address <= rva < virtual_address + min(virtual_size, raw_size):
            file_at = raw_at + rva - virtual_address
    if file_at is None:
        fail(f"{SYMBOL.decode()} lies outside the image's initialised data")
    (size,) = struct.unpack_from("<I", data, file_at)
    if size < 0x50:
        fail(f"{SYMBOL.decode()} is too small ({size} bytes) to hold DependentLoadFlags")

    current = struct.unpack_from("<II", data, entry)
    if current == (rva, size):
        return
    if current != (0, 0):
        fail(f"{path} already names another load-configuration directory {current}")
    struct.pack_into("<II", data, entry, rva, size)
    struct.pack_into("<I", data, checksum_at, pe_checksum(bytes(data), checksum_at))
    with open(path, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
