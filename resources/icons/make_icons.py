#!/usr/bin/env python3
"""Draws Hearthpad's icons and writes them as .ico files.

The artwork is defined here, as shapes given by signed distance functions on a
32 x 32 unit canvas: a gamepad (body, two grips, a d-pad and two buttons cut
out) and, for the "controlled" state, a round badge in the upper right corner
with a clear ring around it. Every pixel is covered analytically from the
distance at its centre, so each size is drawn for itself (small sizes use
larger cut-outs) instead of being scaled from a large bitmap.

    make_icons.py OUTPUT_DIR
    make_icons.py --sni-pixmaps HEADER

The first form writes
    hearthpad.ico               the program's icon (windows, Explorer)
    tray_idle_dark.ico          notification area, nobody in control, dark taskbar
    tray_controlled_dark.ico    a device controls the PC, dark taskbar
    tray_idle_light.ico         as above for a light taskbar
    tray_controlled_light.ico
    hicolor/<n>x<n>/apps/hearthpad.png
                                the program's icon for Linux desktops, in the
                                freedesktop.org icon theme's layout

The second writes only a C++ header with the four tray images as raw pixels
(ARGB32, most significant byte first) at SNI_SIZES, for the Linux desktop's
notification area, which takes pixel data rather than icon files.

Sizes below 256 pixels are stored as 32-bit DIBs, 256 as PNG. The output
depends only on this file (no time stamps), so builds are reproducible.
"""

import math
import os
import struct
import sys
import zlib

TRAY_SIZES = (16, 20, 24, 32, 40, 48, 64)
APP_SIZES = (16, 20, 24, 32, 40, 48, 64, 128, 256)
SNI_SIZES = (22, 32, 48)
# The sizes the hicolor icon theme has folders for.
HICOLOR_SIZES = (16, 24, 32, 48, 64, 128, 256)

# Colours (r, g, b).
LIGHT_GLYPH = (0xF4, 0xF4, 0xF4)   # on a dark taskbar
DARK_GLYPH = (0x1F, 0x1F, 0x1F)    # on a light taskbar
BADGE_ON_DARK = (0x4C, 0xD9, 0x64)
BADGE_ON_LIGHT = (0x13, 0x8A, 0x36)
TILE_TOP = (0xFF, 0x9A, 0x3C)      # the program icon's tile, a warm hearth orange
TILE_BOTTOM = (0xD9, 0x4F, 0x14)
TILE_GLYPH = (0xFF, 0xFF, 0xFF)


# ------------------------------------------------------------ distances

def length(x, y):
    return math.sqrt(x * x + y * y)


def rounded_box(px, py, cx, cy, hx, hy, r):
    qx = abs(px - cx) - hx + r
    qy = abs(py - cy) - hy + r
    return length(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r


def circle(px, py, cx, cy, r):
    return length(px - cx, py - cy) - r


def capsule(px, py, ax, ay, bx, by, r):
    pax, pay = px - ax, py - ay
    bax, bay = bx - ax, by - ay
    h = max(0.0, min(1.0, (pax * bax + pay * bay) / (bax * bax + bay * bay)))
    return length(pax - bax * h, pay - bay * h) - r


def smooth_union(a, b, k):
    h = max(k - abs(a - b), 0.0) / k
    return min(a, b) - h * h * k * 0.25


class Detail:
    """Cut-out sizes: small icons get bolder details so they stay readable."""

    def __init__(self, size):
        # At 16 pixels a unit is half a pixel: the d-pad's arms are one pixel
        # wide on pixel centres (odd units) and each button is one pixel.
        small = size <= 20
        self.dpad_centre = (9.0, 13.0) if small else (10.0, 14.0)
        self.dpad_arm = 3.0                          # half length of a d-pad arm
        self.dpad_half = 1.0                         # half thickness
        self.button_r = 1.15 if small else 1.5
        self.buttons = ((21.0, 15.0), (25.0, 13.0)) if small else ((22.0, 16.0), (25.0, 13.0))


def gamepad(px, py, detail):
    # Edges on even units, so they meet whole pixels at 16 and 32 pixels.
    body = rounded_box(px, py, 16.0, 14.0, 12.0, 6.0, 5.6)
    left = capsule(px, py, 8.8, 16.0, 7.0, 23.7, 4.3)
    right = capsule(px, py, 23.2, 16.0, 25.0, 23.7, 4.3)
    d = smooth_union(body, smooth_union(left, right, 0.01), 2.0)
    # Cut-outs.
    arm = detail.dpad_arm
    thick = detail.dpad_half
    cx, cy = detail.dpad_centre
    dpad = min(rounded_box(px, py, cx, cy, arm, thick, 0.2), rounded_box(px, py, cx, cy, thick, arm, 0.2))
    d = max(d, -dpad)
    for bx, by in detail.buttons:
        d = max(d, -circle(px, py, bx, by, detail.button_r))
    return d


BADGE = (26.5, 5.5, 5.0)   # centre and radius of the "controlled" badge
BADGE_GAP = 1.6           # clear ring between badge and gamepad


# ------------------------------------------------------------- drawing

def coverage(d_units, scale):
    """Pixel coverage from the distance (in canvas units) at its centre."""
    return max(0.0, min(1.0, 0.5 - d_units * scale))


def over(dst, src, alpha):
    """Straight-alpha 'source over' of colour src with alpha onto dst (r, g, b, a in 0..1)."""
    if alpha <= 0.0:
        return dst
    r, g, b, a = dst
    out_a = alpha + a * (1.0 - alpha)
    if out_a <= 0.0:
        return (0.0, 0.0, 0.0, 0.0)
    mix = lambda s, t: (s * alpha + t * a * (1.0 - alpha)) / out_a
    return (mix(src[0] / 255.0, r), mix(src[1] / 255.0, g), mix(src[2] / 255.0, b), out_a)


def draw_tray(size, glyph, badge):
    detail = Detail(size)
    scale = size / 32.0
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            px = (x + 0.5) / scale
            py = (y + 0.5) / scale
            d = gamepad(px, py, detail)
            colour = (0.0, 0.0, 0.0, 0.0)
            if badge is not None:
                ring = circle(px, py, BADGE[0], BADGE[1], BADGE[2] + BADGE_GAP)
                d = max(d, -ring)
            colour = over(colour, glyph, coverage(d, scale))
            if badge is not None:
                colour = over(colour, badge, coverage(circle(px, py, BADGE[0], BADGE[1], BADGE[2]), scale))
            row.append(colour)
        pixels.append(row)
    return pixels


def draw_app(size):
    detail = Detail(size)
    scale = size / 32.0
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            px = (x + 0.5) / scale
            py = (y + 0.5) / scale
            t = py / 32.0
            tile = tuple(TILE_TOP[i] + (TILE_BOTTOM[i] - TILE_TOP[i]) * t for i in range(3))
            colour = over((0.0, 0.0, 0.0, 0.0), tile, coverage(rounded_box(px, py, 16, 16, 15.5, 15.5, 6.0), scale))
            # The gamepad, a little smaller, centred on the tile.
            gx = (px - 16.0) / 0.8 + 16.0
            gy = (py - 16.5) / 0.8 + 14.0 + 1.0
            colour = over(colour, TILE_GLYPH, coverage(gamepad(gx, gy, detail) * 0.8, scale))
            row.append(colour)
        pixels.append(row)
    return pixels


# -------------------------------------------------------------- files

def to_bgra(pixels):
    """Rows of (b, g, r, a) bytes, straight alpha, top row first."""
    out = []
    for row in pixels:
        data = bytearray()
        for r, g, b, a in row:
            data += bytes((round(b * 255), round(g * 255), round(r * 255), round(a * 255)))
        out.append(bytes(data))
    return out


def dib(pixels):
    size = len(pixels)
    rows = to_bgra(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, size * size * 4, 0, 0, 0, 0)
    colour = b"".join(reversed(rows))            # bottom-up
    mask_row = ((size + 31) // 32) * 4             # AND mask: all zero, alpha decides
    return header + colour + bytes(mask_row * size)


def png(pixels):
    size = len(pixels)
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((round(r * 255), round(g * 255), round(b * 255), round(a * 255)))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + \
        chunk(b"IEND", b"")


def write_ico(path, images):
    """images: list of pixel grids, one per size."""
    entries = []
    blobs = []
    offset = 6 + 16 * len(images)
    for pixels in images:
        size = len(pixels)
        blob = png(pixels) if size >= 256 else dib(pixels)
        dim = 0 if size >= 256 else size
        entries.append(struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    data = struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def write_sni_pixmaps(path):
    """The tray images for a StatusNotifierItem's IconPixmap: a header with
    one byte array per role and size, ARGB32 in network byte order."""
    roles = (("idle_dark", LIGHT_GLYPH, None), ("controlled_dark", LIGHT_GLYPH, BADGE_ON_DARK),
             ("idle_light", DARK_GLYPH, None), ("controlled_light", DARK_GLYPH, BADGE_ON_LIGHT))
    lines = ["// Generated by resources/icons/make_icons.py --sni-pixmaps; do not edit.",
             "#pragma once", "#include <array>", "#include <cstdint>", "",
             "namespace hp::app::sni_pixmaps {", "",
             "struct Image {", "    int size;", "    const std::uint8_t* argb;  // size * size * 4 bytes", "};", ""]
    for name, glyph, badge in roles:
        refs = []
        for size in SNI_SIZES:
            data = bytearray()
            for row in draw_tray(size, glyph, badge):
                for r, g, b, a in row:
                    data += bytes((round(a * 255), round(r * 255), round(g * 255), round(b * 255)))
            array = "%s_%d" % (name, size)
            lines.append("inline constexpr std::uint8_t %s[] = {" % array)
            for i in range(0, len(data), 24):
                lines.append("    " + ", ".join(str(v) for v in data[i:i + 24]) + ",")
            lines.append("};")
            refs.append("Image{%d, %s}" % (size, array))
        lines.append("inline constexpr std::array<Image, %d> %s = {%s};" % (len(refs), name, ", ".join(refs)))
        lines.append("")
    lines.append("}  // namespace hp::app::sni_pixmaps")
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(tmp, path)


def write_app_pngs(out):
    """The program's icon as PNG files under out/hicolor, one per size."""
    for size in HICOLOR_SIZES:
        folder = os.path.join(out, "hicolor", "%dx%d" % (size, size), "apps")
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "hearthpad.png")
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(png(draw_app(size)))
        os.replace(tmp, path)


def main(argv):
    if len(argv) == 3 and argv[1] == "--sni-pixmaps":
        write_sni_pixmaps(argv[2])
        return 0
    if len(argv) != 2:
        print("usage: make_icons.py OUTPUT_DIR", file=sys.stderr)
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, "tray_idle_dark.ico"), [draw_tray(s, LIGHT_GLYPH, None) for s in TRAY_SIZES])
    write_ico(os.path.join(out, "tray_controlled_dark.ico"),
              [draw_tray(s, LIGHT_GLYPH, BADGE_ON_DARK) for s in TRAY_SIZES])
    write_ico(os.path.join(out, "tray_idle_light.ico"), [draw_tray(s, DARK_GLYPH, None) for s in TRAY_SIZES])
    write_ico(os.path.join(out, "tray_controlled_light.ico"),
              [draw_tray(s, DARK_GLYPH, BADGE_ON_LIGHT) for s in TRAY_SIZES])
    write_ico(os.path.join(out, "hearthpad.ico"), [draw_app(s) for s in APP_SIZES])
    write_app_pngs(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
