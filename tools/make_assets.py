#!/usr/bin/python3
"""Draws every picture, icon and cursor of Brisquel into assets/.

Everything is drawn here from shapes, gradients and text; nothing is copied in.
Run with Debian's python3 and python3-pil:

    /usr/bin/python3 tools/make_assets.py [--out DIR] [--sheet FILE.png] [--check]

The output is deterministic: the same Pillow and FreeType give the same bytes on
every run (no timestamps, no randomness). Every run reads its files back and checks
their kinds, sizes and bit depths; --check does only that. --sheet also writes a
contact sheet for looking the pictures over; it is not an asset.
"""

import argparse
import io
import math
import os
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFont

# Song-style CJK face (fonts-arphic-uming) and DejaVu for Latin (fonts-dejavu-core).
CJK_FONT = "/usr/share/fonts/truetype/arphic/uming.ttc"
LATIN_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
LATIN = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

# Shapes are drawn this many times larger and reduced by area averaging.
SS = 4

# The pictures the window shows are drawn once per output scale: 1, and 2 for the "@2x"
# files that Qt prefers on a screen with more than one device pixel per window pixel.
# Drawers work in the 1x sizes; the canvas multiplies. Set only by at_scale().
_scale = [1]


class at_scale:
    """Within this block every Canvas and crisp_text draws k times larger."""

    def __init__(self, k):
        self.k = k

    def __enter__(self):
        self.saved, _scale[0] = _scale[0], self.k

    def __exit__(self, *exc):
        _scale[0] = self.saved


def at2x(name):
    stem, dot, ext = name.rpartition(".")
    return "%s@2x.%s" % (stem, ext)

# The palette: flat blue and teal on white, dark blue text, one warm accent.
WHITE = (255, 255, 255)
BLUE = (37, 117, 230)
BLUE_DARK = (22, 84, 184)
BLUE_DEEP = (16, 63, 145)
SKY = (94, 163, 247)
TEAL = (18, 178, 160)
NAVY = (12, 46, 112)
PALE_EDGE = (150, 188, 232)
AMBER = (255, 186, 48)
RED = (230, 62, 62)
GREEN = (46, 184, 92)
GREY = (150, 162, 178)
INK = (30, 41, 59)


# --------------------------------------------------------------------------------------
# Drawing surface


def font(path, px, index=0):
    return ImageFont.truetype(path, max(1, int(round(px))), index=index)


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c0, c1, t):
    return tuple(int(round(lerp(a, b, t))) for a, b in zip(c0, c1))


class Canvas:
    """An RGBA surface addressed in design units, rendered SS times finer.

    render() reduces it to any output size, so a picture that the window shows
    stretched can be drawn in the proportions it is seen in."""

    def __init__(self, w, h, bg=(0, 0, 0, 0), ss=SS):
        self.k = _scale[0]
        self.w, self.h, self.ss = w, h, ss * self.k
        self.size = (int(round(w * self.ss)), int(round(h * self.ss)))
        self.img = Image.new("RGBA", self.size, bg if len(bg) == 4 else bg + (255,))

    # masks -----------------------------------------------------------------------
    def s(self, v):
        return v * self.ss

    def pts(self, points):
        return [(self.s(x), self.s(y)) for x, y in points]

    def blank(self):
        return Image.new("L", self.size, 0)

    def rect(self, x0, y0, x1, y1, r=0):
        m = self.blank()
        box = [self.s(x0), self.s(y0), self.s(x1) - 1, self.s(y1) - 1]
        d = ImageDraw.Draw(m)
        if r > 0:
            d.rounded_rectangle(box, radius=self.s(r), fill=255)
        else:
            d.rectangle(box, fill=255)
        return m

    def ellipse(self, cx, cy, rx, ry=None):
        ry = rx if ry is None else ry
        m = self.blank()
        ImageDraw.Draw(m).ellipse(
            [self.s(cx - rx), self.s(cy - ry), self.s(cx + rx) - 1, self.s(cy + ry) - 1], fill=255)
        return m

    def poly(self, points):
        m = self.blank()
        ImageDraw.Draw(m).polygon(self.pts(points), fill=255)
        return m

    def line(self, points, width, caps=True):
        m = self.blank()
        d = ImageDraw.Draw(m)
        d.line(self.pts(points), fill=255, width=max(1, int(round(self.s(width)))), joint="curve")
        if caps:
            r = width / 2
            for x, y in (points[0], points[-1]):
                d.ellipse([self.s(x - r), self.s(y - r), self.s(x + r) - 1, self.s(y + r) - 1], fill=255)
        return m

    def arc(self, cx, cy, r, start, end, width):
        """An arc of a circle with radius r measured to the middle of the stroke; angles in
        degrees, clockwise from three o'clock. Round ends."""
        m = self.blank()
        d = ImageDraw.Draw(m)
        ro = r + width / 2
        d.arc([self.s(cx - ro), self.s(cy - ro), self.s(cx + ro) - 1, self.s(cy + ro) - 1],
              start, end, fill=255, width=max(1, int(round(self.s(width)))))
        for a in (start, end):
            x = cx + r * math.cos(math.radians(a))
            y = cy + r * math.sin(math.radians(a))
            hw = width / 2
            d.ellipse([self.s(x - hw), self.s(y - hw), self.s(x + hw) - 1, self.s(y + hw) - 1], fill=255)
        return m

    def text_mask(self, x, y, text, path, px, weight=0.0, anchor="la", index=0):
        """Text as a mask; weight thickens the strokes by that many design units."""
        m = self.blank()
        f = font(path, self.s(px), index)
        sw = int(round(self.s(weight)))
        ImageDraw.Draw(m).text((self.s(x), self.s(y)), text, font=f, fill=255, anchor=anchor,
                               stroke_width=sw, stroke_fill=255)
        return m

    # painting --------------------------------------------------------------------
    def paint(self, mask, paint, opacity=1.0):
        """Composite paint (an RGB(A) colour or an RGBA image of the canvas size) through mask."""
        if isinstance(paint, Image.Image):
            layer = paint.copy()
            alpha = ImageChops.multiply(mask, paint.getchannel("A"))
        else:
            layer = Image.new("RGBA", self.size, tuple(paint[:3]) + (255,))
            alpha = mask
            if len(paint) == 4:
                opacity *= paint[3] / 255.0
        if opacity < 1.0:
            alpha = alpha.point(lambda v: int(round(v * opacity)))
        layer.putalpha(alpha)
        self.img = Image.alpha_composite(self.img, layer)

    def gradient(self, stops, x0, y0, x1, y1):
        """A linear gradient image from (x0, y0) to (x1, y1) in design units. stops are
        (t, colour) pairs. Worked out at design resolution and enlarged: it is smooth anyway."""
        gw, gh = max(2, int(math.ceil(self.w))), max(2, int(math.ceil(self.h)))
        dx, dy = x1 - x0, y1 - y0
        den = dx * dx + dy * dy or 1.0
        cache = {}
        data = []
        for j in range(gh):
            for i in range(gw):
                t = ((i + 0.5 - x0) * dx + (j + 0.5 - y0) * dy) / den
                t = min(1.0, max(0.0, t))
                key = round(t, 4)
                c = cache.get(key)
                if c is None:
                    c = _stop_colour(stops, t)
                    cache[key] = c
                data.append(c + (255,))
        g = Image.new("RGBA", (gw, gh))
        g.putdata(data)
        return g.resize(self.size, Image.BILINEAR)

    def radial(self, stops, cx, cy, r):
        gw, gh = max(2, int(math.ceil(self.w))), max(2, int(math.ceil(self.h)))
        data = []
        for j in range(gh):
            for i in range(gw):
                t = min(1.0, math.hypot(i + 0.5 - cx, j + 0.5 - cy) / r)
                data.append(_stop_colour(stops, t) + (255,))
        g = Image.new("RGBA", (gw, gh))
        g.putdata(data)
        return g.resize(self.size, Image.BILINEAR)

    def render(self, ow=None, oh=None):
        ow = int(round(self.w)) if ow is None else ow
        oh = int(round(self.h)) if oh is None else oh
        return self.img.resize((ow * self.k, oh * self.k), Image.BOX)


def _stop_colour(stops, t):
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            u = 0.0 if t1 == t0 else (t - t0) / (t1 - t0)
            return mix(c0, c1, u)
    return tuple(stops[-1][1])


def union(*masks):
    out = masks[0]
    for m in masks[1:]:
        out = ImageChops.lighter(out, m)
    return out


def minus(a, b):
    return ImageChops.subtract(a, b)


def flatten(img, bg=WHITE):
    base = Image.new("RGBA", img.size, bg + (255,))
    return Image.alpha_composite(base, img).convert("RGB")


def rotate_pts(points, cx, cy, deg):
    a = math.radians(deg)
    ca, sa = math.cos(a), math.sin(a)
    return [(cx + (x - cx) * ca - (y - cy) * sa, cy + (x - cx) * sa + (y - cy) * ca) for x, y in points]


def chevron(c, x, y, r, width):
    """A small right-pointing arrowhead centred on (x, y)."""
    return c.line([(x - r / 2, y - r), (x + r / 2, y), (x - r / 2, y + r)], width)


def star4(cx, cy, r, waist=0.28):
    """A four-pointed sparkle."""
    pts = []
    for k in range(8):
        a = math.radians(-90 + 45 * k)
        rr = r if k % 2 == 0 else r * waist
        pts.append((cx + rr * math.cos(a), cy + rr * math.sin(a)))
    return pts


def crisp_text(img, xy, text, px, fill, bold=False, anchor="la", path=CJK_FONT):
    """Small CJK text drawn straight at output size, where the face has hand-tuned bitmap
    strikes (12 to 16 px): sharper than any anti-aliased rendering at that size."""
    k = _scale[0]
    d = ImageDraw.Draw(img)
    f = font(path, px * k)
    x, y = xy[0] * k, xy[1] * k
    d.text((x, y), text, font=f, fill=fill, anchor=anchor)
    if bold:
        d.text((x + k, y), text, font=f, fill=fill, anchor=anchor)


def text_width(text, path, px):
    f = font(path, px * SS)
    l, _, r, _ = f.getbbox(text)
    return (r - l) / SS


# --------------------------------------------------------------------------------------
# Glyphs shared by several pictures (design units; c is the canvas)


def broom_masks(c, top, head, bristle_len, w_head, w_end, handle_w):
    """Handle, binding and bristles of a broom whose handle runs from top to head."""
    ux, uy = head[0] - top[0], head[1] - top[1]
    n = math.hypot(ux, uy)
    ux, uy = ux / n, uy / n
    px, py = -uy, ux
    end = (head[0] + ux * bristle_len, head[1] + uy * bristle_len)
    handle = c.line([top, head], handle_w)
    bristles = c.poly([
        (head[0] + px * w_head / 2, head[1] + py * w_head / 2),
        (end[0] + px * w_end / 2, end[1] + py * w_end / 2),
        (end[0] - px * w_end / 2, end[1] - py * w_end / 2),
        (head[0] - px * w_head / 2, head[1] - py * w_head / 2),
    ])
    bl = bristle_len * 0.22
    band = c.poly([
        (head[0] + px * (w_head / 2 + 0.6) - ux * bl * 0.3, head[1] + py * (w_head / 2 + 0.6) - uy * bl * 0.3),
        (head[0] + px * (w_head / 2 + 0.6) + ux * bl, head[1] + py * (w_head / 2 + 0.6) + uy * bl),
        (head[0] - px * (w_head / 2 + 0.6) + ux * bl, head[1] - py * (w_head / 2 + 0.6) + uy * bl),
        (head[0] - px * (w_head / 2 + 0.6) - ux * bl * 0.3, head[1] - py * (w_head / 2 + 0.6) - uy * bl * 0.3),
    ])
    # strands: lines along the bristles, from just under the band to the end
    strands = []
    for k in (-1, 0, 1):
        f0 = k * w_head / 4.2
        f1 = k * w_end / 3.4
        strands.append(((head[0] + ux * bl * 1.6 + px * f0, head[1] + uy * bl * 1.6 + py * f0),
                        (end[0] + px * f1, end[1] + py * f1)))
    return handle, band, bristles, strands


def monitor_glyph(c, x0, y0, x1, y1, stroke, screen_paint, body=WHITE):
    """A small flat monitor: body, inset screen, neck and foot. Returns the screen box."""
    h = y1 - y0
    sy1 = y0 + h * 0.70
    c.paint(c.rect(x0, y0, x1, sy1, r=stroke * 1.2), body)
    sx0, sy0, sx1, sy1i = x0 + stroke, y0 + stroke, x1 - stroke, sy1 - stroke * 1.25
    c.paint(c.rect(sx0, sy0, sx1, sy1i, r=stroke * 0.4), screen_paint)
    cx = (x0 + x1) / 2
    nw = (x1 - x0) * 0.16
    c.paint(c.rect(cx - nw / 2, sy1 - 0.5, cx + nw / 2, y0 + h * 0.88), body)
    fw = (x1 - x0) * 0.52
    c.paint(c.rect(cx - fw / 2, y0 + h * 0.86, cx + fw / 2, y1, r=stroke * 0.5), body)
    return sx0, sy0, sx1, sy1i


def headset_glyph(c, cx, cy, r, colour):
    """Headband, two ear cups and a microphone boom, centred on (cx, cy), radius r."""
    band_w = r * 0.2
    c.paint(c.arc(cx, cy, r * 0.78, 180, 360, band_w), colour)
    cup_w, cup_h = r * 0.36, r * 0.62
    for side in (-1, 1):
        x = cx + side * r * 0.78
        c.paint(c.rect(x - cup_w / 2, cy - cup_h * 0.25, x + cup_w / 2, cy + cup_h * 0.75, r=cup_w * 0.45), colour)
    # the boom curls from the right cup to the mouth
    c.paint(c.arc(cx + r * 0.1, cy + r * 0.38, r * 0.68, 12, 100, band_w * 0.7), colour)
    mx = cx + r * 0.1 + r * 0.68 * math.cos(math.radians(100))
    my = cy + r * 0.38 + r * 0.68 * math.sin(math.radians(100))
    c.paint(c.rect(mx - r * 0.26, my - r * 0.11, mx + r * 0.08, my + r * 0.11, r=r * 0.11), colour)


def cube_faces(c, cx, cy, e):
    """The three visible faces of an isometric cube with edge e centred on (cx, cy)."""
    k = e * math.sqrt(3) / 2
    top, bot = (cx, cy - e), (cx, cy + e)
    ur, lr = (cx + k, cy - e / 2), (cx + k, cy + e / 2)
    ul, ll = (cx - k, cy - e / 2), (cx - k, cy + e / 2)
    ctr = (cx, cy)
    return c.poly([top, ur, ctr, ul]), c.poly([ul, ctr, bot, ll]), c.poly([ctr, ur, lr, bot])


def wrench_mask(c, cx, cy, size):
    """A flat open-end wrench laid from upper left to lower right, in a box of size."""
    s = size / 100.0
    hx, hy = cx - 22 * s, cy - 22 * s
    head = c.ellipse(hx, hy, 21 * s)
    handle = c.line([(hx, hy), (cx + 30 * s, cy + 30 * s)], 15 * s)
    m = union(head, handle)
    # the jaw: a slot cut into the head, opening towards the upper left
    jaw = rotate_pts([(hx - 7 * s, hy - 30 * s), (hx + 7 * s, hy - 30 * s),
                      (hx + 7 * s, hy + 1 * s), (hx - 7 * s, hy + 1 * s)], hx, hy, -45)
    m = minus(m, c.poly(jaw))
    m = minus(m, c.ellipse(hx, hy, 7 * s))
    # a hole in the handle end
    m = minus(m, c.ellipse(cx + 28 * s, cy + 28 * s, 3.6 * s))
    return m


# --------------------------------------------------------------------------------------
# Navigation tabs: one tile style, a white glyph on a blue-to-teal tile. Drawn in a
# 100-unit square; each tab is shown stretched to the same square on screen.


def tab_tile(c):
    c.paint(c.rect(0, 0, 100, 100), WHITE)
    tile = c.rect(4, 4, 96, 96, r=20)
    c.paint(tile, c.gradient([(0, SKY), (0.45, BLUE), (1, TEAL)], 4, 4, 96, 96))
    # a soft light over the upper half gives the flat tile a little depth
    shine = minus(c.ellipse(50, -18, 78, 62), minus(c.blank(), tile))
    c.paint(ImageChops.multiply(shine, tile), WHITE, 0.10)


def draw_tab_sysinfo(c):
    tab_tile(c)
    sx0, sy0, sx1, sy1 = monitor_glyph(c, 16, 17, 84, 84, 6.5, BLUE_DARK)
    c.paint(c.ellipse(50, sy0 + 7, 4.4), WHITE)
    c.paint(c.rect(45.6, sy0 + 13.5, 54.4, sy1 - 3.5, r=1.5), WHITE)


def draw_tab_junk(c):
    tab_tile(c)
    # lid and its handle
    c.paint(c.rect(40, 16, 60, 26, r=3.5), WHITE)
    c.paint(c.rect(44.5, 20, 55.5, 26), BLUE)
    c.paint(c.rect(22, 24, 78, 32, r=3), WHITE)
    # the can, narrowing to the foot
    body = c.poly([(27, 36), (73, 36), (68, 80), (32, 80)])
    body = union(body, c.rect(32, 72, 68, 84, r=6))
    c.paint(body, WHITE)
    for x in (39, 50, 61):
        c.paint(c.line([(x, 44), (x - (x - 50) * 0.1, 72)], 5), mix(BLUE, TEAL, 0.55))
    # a sparkle: clean
    c.paint(c.poly(star4(81, 17, 11)), AMBER)


def draw_tab_traces(c):
    tab_tile(c)
    e = 15
    k = e * math.sqrt(3) / 2
    faces = (WHITE, (205, 226, 252), (160, 200, 246))
    for cx, cy in ((27, 66), (27 + 2 * k, 66), (27 + k, 66 - 1.5 * e)):
        for m, col in zip(cube_faces(c, cx, cy, e), faces):
            c.paint(m, col)
        # thin seams between the faces, so the cubes read at small sizes
        c.paint(c.line([(cx, cy), (cx, cy + e)], 1.6, caps=False), BLUE)
        c.paint(c.line([(cx - k, cy - e / 2), (cx, cy), (cx + k, cy - e / 2)], 1.6, caps=False), BLUE)
    handle, band, bristles, strands = broom_masks(c, (90, 11), (76, 50), 27, 11, 25, 5.5)
    c.paint(handle, AMBER)
    c.paint(bristles, (255, 221, 120))
    for a, b in strands:
        c.paint(c.line([a, b], 1.6), (214, 146, 20))
    c.paint(band, (214, 120, 20))


def draw_tab_tools(c):
    tab_tile(c)
    c.paint(wrench_mask(c, 50, 50, 92), WHITE)


def draw_tab_support(c):
    tab_tile(c)
    headset_glyph(c, 50, 52, 34, WHITE)


# --------------------------------------------------------------------------------------
# Banners


def logo_mark(c, cx, cy, r, mark=BLUE, sparkle=AMBER, strand=WHITE):
    """Brisquel's mark, a broom with a sparkle, sized to sit on a disc of radius r."""
    s = r / 23.0
    handle, band, bristles, strands = broom_masks(
        c, (cx + 10 * s, cy - 17 * s), (cx - 0.5 * s, cy - 0.5 * s), 15 * s, 9 * s, 18 * s, 3.8 * s)
    c.paint(union(handle, bristles, band), mark)
    for a, b in strands:
        c.paint(c.line([a, b], 1.0 * s), strand)
    c.paint(c.poly(star4(cx - 10 * s, cy - 9 * s, 7 * s)), sparkle)


def logo_disc(c, cx, cy, r, disc=WHITE, mark=BLUE, sparkle=AMBER):
    c.paint(c.ellipse(cx, cy, r), disc)
    logo_mark(c, cx, cy, r, mark, sparkle, strand=disc)


def banner_background(c, w, h, r):
    c.paint(c.rect(0, 0, w, h), WHITE)
    card = c.rect(0, 0, w, h, r=r)
    c.paint(card, c.gradient([(0, BLUE_DARK), (0.55, BLUE), (1, TEAL)], 0, 0, w, h * 0.6))
    # two large faint circles on the right: the flat style's decoration
    deco = union(c.ellipse(w * 0.92, h * 0.05, h * 0.95), c.ellipse(w * 0.78, h * 1.25, h * 0.7))
    c.paint(ImageChops.multiply(deco, card), WHITE, 0.09)
    return card


def draw_banner_top():
    # Shown stretched to 258 x 57: drawn in those proportions, stored at 258 x 48.
    W, H = 258, 57
    c = Canvas(W, H)
    banner_background(c, W, H, 9)
    logo_disc(c, 29, H / 2, 20)
    c.paint(c.text_mask(58, 10, "Brisquel", LATIN_BOLD, 21), WHITE)
    bw = text_width("Brisquel", LATIN_BOLD, 21)
    c.paint(c.text_mask(58 + bw + 8, 12.5, "技术论坛", CJK_FONT, 18, weight=0.55), WHITE)
    c.paint(c.rect(58, 36, 60.5, 48), AMBER)
    c.paint(c.text_mask(65, 35, "让电脑轻装上阵", CJK_FONT, 13.5, weight=0.25), (222, 240, 255))
    c.paint(c.text_mask(W - 20, 35, "进入", CJK_FONT, 12.5, weight=0.25, anchor="ra"), (222, 240, 255))
    c.paint(chevron(c, W - 14, 41.5, 3.2, 1.5), (222, 240, 255))
    return flatten(c.render(258, 48))


def draw_banner_support():
    W, H = 349, 100
    c = Canvas(W, H)
    banner_background(c, W, H, 12)
    # headset on a white disc
    c.paint(c.ellipse(52, 50, 35), (0, 0, 0, 40))  # faint shadow ring
    c.paint(c.ellipse(51, 49, 34), WHITE)
    headset_glyph(c, 51, 51, 21, BLUE)
    c.paint(c.text_mask(102, 14, "Brisquel", LATIN_BOLD, 30), WHITE)
    c.paint(c.text_mask(103, 52, "在线技术支持", CJK_FONT, 22, weight=0.7), WHITE)
    img = flatten(c.render())
    # the invitation line is small: use the face's own bitmap strike
    crisp_text(img, (103, 80), "点击进入技术论坛", 13, (214, 236, 255))
    arrow = Canvas(W, H)
    arrow.paint(chevron(arrow, 215, 86.5, 3.5, 1.6), (214, 236, 255))
    img.paste(arrow.render().convert("RGB"), (0, 0), arrow.render())
    return img


# --------------------------------------------------------------------------------------
# Start button: one layout in 167 x 54 units for both looks, so the text stays put when
# the pressed picture replaces the normal one in the same place.


def start_button(pressed):
    W, H = 167, 54
    c = Canvas(W, H)
    c.paint(c.rect(0, 0, W, H), WHITE)
    off = 1.0 if pressed else 0.0
    if pressed:
        c.paint(c.rect(2, 2, W - 2, H - 2, r=11), BLUE_DEEP)
        c.paint(c.rect(3, 3, W - 3, H - 3, r=10),
                c.gradient([(0, BLUE_DARK), (0.35, BLUE), (1, (44, 128, 238))], 0, 3, 0, H - 3))
        # inner shadow along the top edge: pushed in
        c.paint(minus(c.rect(3, 3, W - 3, H - 3, r=10), c.rect(3, 6, W - 3, H - 3, r=10)), BLUE_DEEP, 0.55)
        disc, strand, ink = WHITE, WHITE, WHITE
        mark = BLUE
    else:
        # a soft drop shadow, then the light button with a hairline edge
        c.paint(c.rect(3, 4, W - 1, H - 1, r=11), (120, 150, 190), 0.28)
        c.paint(c.rect(2, 2, W - 2, H - 2, r=11), PALE_EDGE)
        c.paint(c.rect(3, 3, W - 3, H - 3, r=10),
                c.gradient([(0, (250, 252, 255)), (1, (214, 232, 252))], 0, 3, 0, H - 3))
        c.paint(c.rect(6, 4, W - 6, 7, r=2), WHITE, 0.8)
        disc, strand, ink = c.gradient([(0, SKY), (1, TEAL)], 10, 12, 40, 44), TEAL, NAVY
        mark = WHITE
    cx, cy = 26 + off, H / 2 + off
    c.paint(c.ellipse(cx, cy, 15.5), disc)
    logo_mark(c, cx, cy, 15.5, mark, AMBER, strand)
    c.paint(c.text_mask(49 + off, H / 2 + off + 0.5, "立刻开始清理", CJK_FONT, 18.5, weight=0.6, anchor="lm"), ink)
    return c


def draw_start_normal():
    return flatten(start_button(False).render(167, 54))


def draw_start_pressed():
    return flatten(start_button(True).render(169, 54))


# --------------------------------------------------------------------------------------
# Monitor and OEM placeholder


def draw_monitor():
    # Shown stretched to 153 x 153 with the OEM link icon (105 x 73) at (24, 32) over it:
    # in this picture's own pixels the screen is x 19-101, y 25-82.
    c = Canvas(120, 120)
    c.paint(c.rect(0, 0, 120, 120), WHITE)
    # foot and neck behind the body
    c.paint(c.rect(33, 104, 87, 111, r=3.5), c.gradient([(0, (120, 134, 156)), (1, (84, 98, 120))], 0, 104, 0, 111))
    c.paint(c.poly([(53, 92), (67, 92), (70, 105), (50, 105)]), (104, 118, 140))
    # body with a thicker chin
    c.paint(c.rect(11, 17, 109, 95, r=7), c.gradient([(0, (70, 84, 106)), (1, (40, 52, 72))], 0, 17, 0, 95))
    c.paint(c.rect(12, 18, 108, 20, r=1), WHITE, 0.12)
    # the empty screen: a pale blue glow with a diagonal sheen
    c.paint(c.rect(18, 24, 102, 83), c.gradient([(0, (236, 245, 255)), (1, (196, 222, 250))], 18, 24, 102, 83))
    sheen = c.poly([(18, 24), (64, 24), (36, 83), (18, 83)])
    c.paint(ImageChops.multiply(sheen, c.rect(18, 24, 102, 83)), WHITE, 0.35)
    # power light on the chin
    c.paint(c.ellipse(97, 89, 1.6), TEAL)
    return flatten(c.render())


def draw_oem_placeholder():
    W, H = 123, 46
    c = Canvas(W, H)
    c.paint(c.rect(0, 0, W, H), WHITE)
    red = (255, 0, 0)
    text = "获取失败"
    tw = text_width(text, CJK_FONT, 21)
    xw = 14
    x0 = (W - (xw + 4 + tw)) / 2
    # the cross is drawn, not set: the face's × is too small beside the hanzi
    cx, cy = x0 + xw / 2, H / 2
    a = xw * 0.36
    c.paint(c.line([(cx - a, cy - a), (cx + a, cy + a)], 2.6), red)
    c.paint(c.line([(cx - a, cy + a), (cx + a, cy - a)], 2.6), red)
    c.paint(c.text_mask(x0 + xw + 4, H / 2 + 0.5, text, CJK_FONT, 21, weight=0.55, anchor="lm"), red)
    return flatten(c.render())


def draw_demo_oem_logo():
    """The demo prefix's maker logo: our own mark and name, sized to the picture box."""
    W, H = 153, 57
    c = Canvas(W, H)
    c.paint(c.rect(0, 0, W, H), WHITE)
    c.paint(c.rect(1, 1, W - 1, H - 1, 6), mix(BLUE, WHITE, 0.88))
    logo_disc(c, 26, H / 2, 19, disc=BLUE, mark=WHITE)
    img = flatten(c.render())
    crisp_text(img, (52, 12), "Brisquel", 17, BLUE_DEEP, bold=True, path=LATIN_BOLD)
    crisp_text(img, (53, 34), "演示电脑", 13, INK)
    return img


# The demo prefix's maker text, as a maker writes it: GB18030, lines ended by CR LF.
DEMO_OEM_INFO = [
    "[General]",
    "Manufacturer=Brisquel 演示电脑",
    "Model=Brisquel 演示机 2026",
    "",
    "[Support Information]",
    "Line1=这是演示用的 OEM 信息，由 Brisquel 自己绘制。",
    "Line2=真实的品牌机在这里显示厂商的名称和支持信息。",
]


def write_demo_oem(folder):
    """OEMINFO.INI, OEMLOGO.BMP and OEMLINKICON.ICO for the demo's Wine prefix
    (tools/prepare_demo.sh)."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "OEMINFO.INI"), "wb") as fh:
        fh.write("".join(line + "\r\n" for line in DEMO_OEM_INFO).encode("gb18030"))
    draw_demo_oem_logo().convert("RGB").save(os.path.join(folder, "OEMLOGO.BMP"), format="BMP")
    # The maker's link icon: our mark on a disc, one large truecolour image.
    c = Canvas(96, 96)
    logo_disc(c, 48, 48, 44, disc=BLUE, mark=WHITE)
    data, _ = truecolour_entry(c.render().convert("RGBA"))
    with open(os.path.join(folder, "OEMLINKICON.ICO"), "wb") as fh:
        fh.write(icon_file([(96, 96, 0, 32, data)]))


# --------------------------------------------------------------------------------------
# Icons


# The 16-colour program icon keeps to its own colours and their half tones, so a
# median cut cannot blend the sparkle into the disc.
APP_ICON_16 = [WHITE, BLUE, SKY, BLUE_DARK, TEAL, AMBER, mix(BLUE, WHITE, 0.5), mix(SKY, WHITE, 0.5),
               mix(BLUE, WHITE, 0.25), mix(BLUE, WHITE, 0.75), mix(AMBER, WHITE, 0.5), mix(AMBER, BLUE, 0.35),
               mix(BLUE, BLUE_DARK, 0.5), mix(BLUE, SKY, 0.5), mix(BLUE, TEAL, 0.5)]


def draw_app_icon(size, flat):
    """The program icon: a white broom and an amber sparkle on a blue disc."""
    c = Canvas(48, 48, ss=SS * size / 48.0)
    small = size <= 16
    if flat:
        c.paint(c.ellipse(24, 24, 23), BLUE)
        c.paint(minus(c.ellipse(24, 24, 23), c.ellipse(27, 27, 23)), SKY)
    else:
        c.paint(c.ellipse(24, 24, 23), c.gradient([(0, SKY), (0.5, BLUE), (1, TEAL)], 6, 4, 42, 46))
        c.paint(c.ellipse(24, 24, 23), c.radial([(0, WHITE), (1, BLUE)], 17, 12, 30), 0.18)
    hw = 5.0 if small else 4.0
    handle, band, bristles, strands = broom_masks(
        c, (35, 7), (24, 25), 15, 11 if small else 10, 22 if small else 20, hw)
    c.paint(union(handle, bristles, band), WHITE)
    if size >= 32:
        for a, b in strands:
            c.paint(c.line([a, b], 1.3), BLUE)
        c.paint(band, AMBER)
    c.paint(c.poly(star4(13, 14, 9 if small else 8, 0.3)), AMBER)
    return c.render(size, size)


def draw_shredder(size=32):
    """The file shredder: a sheet of paper going in, strips coming out."""
    c = Canvas(32, 32, ss=SS * size / 32.0)
    # the sheet, with a folded corner and text lines
    c.paint(c.poly([(8, 1), (20, 1), (24, 5), (24, 14), (8, 14)]), INK)
    c.paint(c.poly([(9, 2), (19.5, 2), (23, 5.5), (23, 14), (9, 14)]), WHITE)
    c.paint(c.poly([(19, 1.5), (19, 6), (23.5, 6)]), (200, 210, 224))
    for y in (5, 8, 11):
        c.paint(c.rect(11, y, 18 if y == 5 else 21, y + 1), SKY)
    # the machine
    c.paint(c.rect(2, 12, 30, 22, r=2.5), BLUE_DEEP)
    c.paint(c.rect(3, 13, 29, 21, r=1.8), BLUE)
    c.paint(c.rect(3, 13, 29, 15, r=1), SKY)
    c.paint(c.rect(6, 17, 26, 19), BLUE_DEEP)
    c.paint(c.rect(25, 19, 27, 21), TEAL)
    # the strips
    for i, x in enumerate(range(8, 24, 3)):
        y1 = 30 if i % 2 == 0 else 28
        c.paint(c.rect(x, 22, x + 2, y1), INK)
        c.paint(c.rect(x + 0, 22, x + 1.5, y1 - 1), WHITE)
    return c.render(size, size)


def draw_skin_icon(size):
    """The skin changer: a painter's palette with a brush. Small sizes drop the thumb
    hole and two of the paints, and thicken what is left."""
    c = Canvas(128, 128, ss=SS * size / 128.0)
    small = size <= 24
    ol = max(5.0, 128.0 / size * 1.15)  # the outline stays at least about a pixel wide

    def palette_shape(grow):
        shape = minus(c.ellipse(58, 70, 54 + grow, 46 + grow), c.ellipse(104, 100, 20 - grow, 18 - grow))
        if not small:
            shape = minus(shape, c.ellipse(44, 92, 10 - grow, 9 - grow))
        return shape

    c.paint(palette_shape(0), BLUE_DEEP)
    c.paint(palette_shape(-ol), (252, 246, 234))
    if small:
        dots, dr = [((32, 70), BLUE), ((52, 44), TEAL), ((80, 44), AMBER)], 14
    else:
        dots, dr = [((30, 62), BLUE), ((48, 42), TEAL), ((74, 38), AMBER), ((94, 58), RED), ((72, 70), GREEN)], 10.5
    for (x, y), col in dots:
        c.paint(c.ellipse(x, y, dr), col)
    # the brush, lying across from upper right to the middle
    c.paint(c.line([(123, 6), (92, 50)], 18 if small else 12), BLUE_DEEP)
    c.paint(c.line([(121, 8.5), (94, 47)], 9 if small else 7), SKY)
    c.paint(c.poly(rotate_pts([(82, 46), (96, 46), (96, 62), (82, 62)], 89, 54, 35)), GREY)
    c.paint(c.poly([(80, 55), (92, 63), (80, 82), (72, 86), (74, 74)]), BLUE_DEEP)
    c.paint(c.poly([(81, 58), (89, 63.5), (79, 79), (75.5, 82), (76.5, 74)]), TEAL)
    return c.render(size, size)


# --------------------------------------------------------------------------------------
# Cursors: 32 x 32, 'X' black, 'o' white, '.' clear. Hot spot at the fingertip (6, 0).

HAND = [
    ".....XXX........................",
    "....XoooX.......................",
    "....XoooX.......................",
    "....XoooX.......................",
    "....XoooX.......................",
    "....XoooX.......................",
    "....XoooXXXX....................",
    "....XoooXoooXXX.................",
    "....XoooXoooXooXXX..............",
    "....XoooXoooXooXooXX............",
    ".XX.XoooXoooXooXoooX............",
    "XooXXoooooooooooooooX...........",
    "XoooXoooooooooooooooX...........",
    ".XoooXooooooooooooooX...........",
    ".XooooXoooooooooooooX...........",
    "..XooooooooooooooooX............",
    "...XoooooooooooooooX............",
    "....XooooooooooooooX............",
    ".....XoooooooooooooX............",
    "......XoooooooooooX.............",
    ".......XoooooooooX..............",
    ".......XXXXXXXXXXX..............",
] + ["." * 32] * 10

# The second drawing, for the registry page's start button: the same hand in a cuff.
HAND_CUFF = HAND[:19] + [
    "......XoooooooooooX.............",
    ".......XoooooooooX..............",
    ".......XXXXXXXXXXX..............",
    ".......XoXoXoXoXoX..............",
    ".......XXXXXXXXXXX..............",
] + ["." * 32] * 8

HOTSPOT = (6, 0)


def hand_check(rows):
    assert len(rows) == 32 and all(len(r) == 32 for r in rows), "cursor art must be 32 x 32"
    assert rows[HOTSPOT[1]][HOTSPOT[0]] == "X", "the hot spot must sit on the fingertip"


def hand_png(rows):
    img = Image.new("RGBA", (32, 32), (0, 0, 0, 0))
    px = img.load()
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch == "X":
                px[x, y] = (0, 0, 0, 255)
            elif ch == "o":
                px[x, y] = (255, 255, 255, 255)
    return img


# --------------------------------------------------------------------------------------
# File writers. Pillow's ICO writer stores PNGs and has no cursor writer, so the
# BMP-in-ICO entries are packed here.


def _row_stride(w, bpp):
    return ((w * bpp + 31) // 32) * 4


def _and_mask(alpha, w, h):
    """1 bpp mask, bottom-up: 1 where the pixel is clear."""
    stride = _row_stride(w, 1)
    out = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if alpha[y * w + x] < 128:
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def _bitmap_header(w, h, bpp, image_bytes, colours):
    # height counts the XOR and the AND bitmap together
    return struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, bpp, 0, image_bytes, 0, 0, colours, 0)


def quantize_rgba(img, ncolours, fixed=None):
    """Palette (list of RGB, index 0 black for clear pixels) and one index per pixel.

    Clear pixels (alpha < 128) take index 0, black, so AND-then-XOR leaves the screen
    as it was. Opaque pixels keep their own colour, unblended, and share the other
    ncolours - 1 entries: the fixed ones if given, else a median cut (no dithering
    either way: flat areas stay flat)."""
    rgb = img.convert("RGB")
    alpha = list(img.getchannel("A").getdata())
    if fixed:
        assert len(fixed) <= ncolours - 1
        colours = [(0, 0, 0)] + [tuple(c) for c in fixed]
    else:
        opaque = [p for p, a in zip(rgb.getdata(), alpha) if a >= 128] or [(0, 0, 0)]
        sample = Image.new("RGB", (len(opaque), 1))
        sample.putdata(opaque)
        q = sample.quantize(colors=ncolours - 1, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
        pal = q.getpalette()
        used = len(set(q.getdata()))
        colours = [(0, 0, 0)] + [tuple(pal[3 * i: 3 * i + 3]) for i in range(used)]
    # map every pixel to its nearest palette colour (indices 1.. for opaque pixels)
    cache = {}
    indices = []
    for p, a in zip(rgb.getdata(), alpha):
        if a < 128:
            indices.append(0)
            continue
        k = cache.get(p)
        if k is None:
            best, bd = 1, None
            for i in range(1, len(colours)):
                c = colours[i]
                d = (c[0] - p[0]) ** 2 + (c[1] - p[1]) ** 2 + (c[2] - p[2]) ** 2
                if bd is None or d < bd:
                    best, bd = i, d
            k = cache[p] = best
        indices.append(k)
    colours += [(0, 0, 0)] * (ncolours - len(colours))
    return colours, indices, alpha


def indexed_entry(img, bpp, fixed=None):
    """A BMP-in-ICO image at 1, 4 or 8 bits per pixel with its palette and AND mask."""
    w, h = img.size
    ncol = 1 << bpp
    colours, indices, alpha = quantize_rgba(img, ncol, fixed)
    stride = _row_stride(w, bpp)
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            v = indices[y * w + x]
            if bpp == 8:
                row[x] = v
            elif bpp == 4:
                row[x >> 1] |= v << (4 if x % 2 == 0 else 0)
            else:
                row[x >> 3] |= (v & 1) << (7 - (x & 7))
        xor += row
    andm = _and_mask(alpha, w, h)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    data = _bitmap_header(w, h, bpp, len(xor) + len(andm), ncol) + palette + bytes(xor) + andm
    return data, (ncol if ncol < 256 else 0)


def truecolour_entry(img):
    """A 32 bpp BGRA BMP-in-ICO image with its AND mask."""
    w, h = img.size
    px = list(img.getdata())
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = px[y * w + x]
            xor += bytes((b, g, r, a))
    andm = _and_mask([p[3] for p in px], w, h)
    return _bitmap_header(w, h, 32, len(xor) + len(andm), 0) + bytes(xor) + andm, 0


def mono_entry(rows):
    """1 bpp cursor image: XOR 1 = white, AND 1 = clear."""
    w = h = 32
    stride = _row_stride(w, 1)
    xor = bytearray()
    andm = bytearray()
    for y in range(h - 1, -1, -1):
        xr, ar = bytearray(stride), bytearray(stride)
        for x in range(w):
            ch = rows[y][x]
            bit = 0x80 >> (x & 7)
            if ch == "o":
                xr[x >> 3] |= bit
            elif ch == ".":
                ar[x >> 3] |= bit
        xor += xr
        andm += ar
    palette = struct.pack("<BBBB", 0, 0, 0, 0) + struct.pack("<BBBB", 255, 255, 255, 0)
    return _bitmap_header(w, h, 1, len(xor) + len(andm), 2) + palette + bytes(xor) + bytes(andm)


def icon_file(entries, kind=1, hotspots=None):
    """ICONDIR + entries. entries: (width, height, colour count, bpp, data). kind 1 is an
    icon, 2 a cursor (planes and bit count then hold the hot spot)."""
    out = struct.pack("<HHH", 0, kind, len(entries))
    offset = 6 + 16 * len(entries)
    body = b""
    for i, (w, h, ncol, bpp, data) in enumerate(entries):
        if kind == 2:
            f1, f2 = hotspots[i]
        else:
            f1, f2 = 1, bpp
        out += struct.pack("<BBBBHHII", w % 256, h % 256, ncol, 0, f1, f2, len(data), offset)
        offset += len(data)
        body += data
    return out + body


def bmp32(img):
    """A bottom-up 32 bpp BI_RGB bitmap, every pixel opaque (the fourth byte 255)."""
    img = img.convert("RGB")
    w, h = img.size
    px = list(img.getdata())
    data = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b = px[y * w + x]
            data += bytes((b, g, r, 255))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 32, 0, len(data), 3780, 3780, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return head + info + bytes(data)


def jpeg(img):
    buf = io.BytesIO()
    # 4:4:4 keeps coloured text sharp; optimize only shrinks the Huffman tables
    img.convert("RGB").save(buf, "JPEG", quality=94, subsampling=0, optimize=True, dpi=(96, 96))
    return buf.getvalue()


def png(img):
    buf = io.BytesIO()
    img.save(buf, "PNG", optimize=True)
    return buf.getvalue()


# --------------------------------------------------------------------------------------


def tab(drawer, w, h):
    c = Canvas(100, 100, ss=SS * max(w, h) / 100.0)
    drawer(c)
    return flatten(c.render(w, h))


def in_resources(name):
    """Whether the program compiles the file in (the menu icons are installed instead)."""
    return not name.startswith("hicolor/")


def build():
    """Every asset as (file name, bytes, picture for the contact sheet)."""
    out = []

    def add(name, data, preview):
        out.append((name, data, preview))

    # The window's pictures at 1x and 2x: the same drawing, never an enlargement.
    for k in (1, 2):
        named = (lambda n: n) if k == 1 else at2x
        with at_scale(k):
            for name, drawer, w, h in (
                ("tab_sysinfo.jpg", draw_tab_sysinfo, 48, 48),
                ("tab_junk.jpg", draw_tab_junk, 52, 53),
                ("tab_traces.jpg", draw_tab_traces, 64, 64),
                ("tab_tools.jpg", draw_tab_tools, 32, 32),
                ("tab_support.jpg", draw_tab_support, 48, 48),
            ):
                img = tab(drawer, w, h)
                add(named(name), jpeg(img), img)

            for name, drawer in (("banner_top.jpg", draw_banner_top),
                                 ("start_normal.jpg", draw_start_normal),
                                 ("start_pressed.jpg", draw_start_pressed),
                                 ("monitor.jpg", draw_monitor)):
                img = drawer()
                add(named(name), jpeg(img), img)

            img = draw_banner_support()
            add(named("banner_support.bmp"), bmp32(img), img)
            img = draw_oem_placeholder()
            add(named("oem_placeholder.bmp"), bmp32(img), img)

    # Largest first: a picture control shows an icon's first image, stretched.
    sizes = (128, 96, 72, 64, 60, 48, 40, 32, 24, 20, 16)
    imgs = [draw_skin_icon(s) for s in sizes]
    entries = []
    for im in imgs:
        data, ncol = truecolour_entry(im)
        entries.append((im.width, im.height, ncol, 32, data))
    add("tool_skin.ico", icon_file(entries), imgs)

    # The skin icon's first image is already 128 px; the shredder's is 32, so it gets a twin.
    for name, s in (("tool_shredder.ico", 32), ("tool_shredder@2x.ico", 64)):
        im = draw_shredder(s)
        data, ncol = indexed_entry(im, 4)
        add(name, icon_file([(s, s, ncol, 4, data)]), [im])

    entries, previews = [], []
    for s in (48, 32, 24, 16):
        for bpp in (8, 4):
            im = draw_app_icon(s, flat=(bpp == 4))
            data, ncol = indexed_entry(im, bpp, APP_ICON_16 if bpp == 4 else None)
            entries.append((s, s, ncol, bpp, data))
            previews.append(im)
    add("brisquel.ico", icon_file(entries), previews)

    for rows, stem in ((HAND, "hand"), (HAND_CUFF, "hand2")):
        hand_check(rows)
        add(stem + ".cur", icon_file([(32, 32, 2, 1, mono_entry(rows))], kind=2, hotspots=[HOTSPOT]),
            hand_png(rows))
        img = hand_png(rows)
        add(stem + ".png", png(img), img)
        # The pixel art doubled: a hand cursor is drawn in whole pixels at any scale.
        img = img.resize((64, 64), Image.NEAREST)
        add(stem + "@2x.png", png(img), img)

    # The desktop's menu icons (hicolor theme), installed under the programs' ids; the
    # window has its .ico, so these stay out of the resources.
    for stem, drawer in (("brisquel", lambda s: draw_app_icon(s, flat=False)), ("shredder", draw_shredder)):
        for s in DESKTOP_ICON_SIZES:
            img = drawer(s)
            add("hicolor/%s_%d.png" % (stem, s), png(img), img)
        for s in DESKTOP_ICON_SIZES_2X:
            img = drawer(2 * s)
            add("hicolor/%s_%d@2.png" % (stem, s), png(img), img)

    names = [n for n, _, _ in out if in_resources(n)]
    qrc = ['<!DOCTYPE RCC>', '<RCC version="1.0">', '<qresource prefix="/assets">']
    qrc += ["    <file>%s</file>" % n for n in names]
    qrc += ["</qresource>", "</RCC>", ""]
    add("assets.qrc", "\n".join(qrc).encode("utf-8"), None)
    return out


def contact_sheet(assets, path):
    """Every picture at twice its size over a grey checker, plus the tabs and buttons as
    the window shows them (stretched to their boxes)."""
    tiles = []
    for name, _, preview in assets:
        if preview is None:
            continue
        for i, im in enumerate(preview if isinstance(preview, list) else [preview]):
            tiles.append(("%s%s" % (name, "" if not isinstance(preview, list) else "#%d" % i), im))
    label_font = font(LATIN, 11)
    z = 2
    pad = 10
    x = y = pad
    row_h = 0
    width = 1220
    placed = []
    for name, im in tiles:
        w, h = im.width * z, im.height * z + 14
        if x + w + pad > width:
            x, y = pad, y + row_h + pad
            row_h = 0
        placed.append((x, y, name, im))
        x += max(w, 70) + pad
        row_h = max(row_h, h)
    y += row_h + pad
    # as seen in the window: top band and the start button slot, at 2x
    band_y = y
    sheet_h = band_y + 260
    sheet = Image.new("RGBA", (width, sheet_h), (236, 238, 242, 255))
    d = ImageDraw.Draw(sheet)
    for x, y, name, im in placed:
        big = im.convert("RGBA").resize((im.width * z, im.height * z), Image.NEAREST)
        checker = Image.new("RGBA", big.size, (200, 200, 200, 255))
        cd = ImageDraw.Draw(checker)
        for cy in range(0, big.height, 8):
            for cx in range(0, big.width, 8):
                if (cx // 8 + cy // 8) % 2:
                    cd.rectangle([cx, cy, cx + 7, cy + 7], fill=(255, 255, 255, 255))
        sheet.alpha_composite(Image.alpha_composite(checker, big), (x, y))
        d.text((x, y + big.height + 1), name, font=label_font, fill=(0, 0, 0, 255))
    window = Image.new("RGB", (601, 130), WHITE)
    pics = dict((n, p) for n, _, p in assets)
    for n, left in (("tab_sysinfo.jpg", 120), ("tab_junk.jpg", 1080), ("tab_traces.jpg", 2040),
                    ("tab_tools.jpg", 3000), ("tab_support.jpg", 3960)):
        window.paste(pics[n].resize((57, 57), Image.BILINEAR), (left // 15, 8))
    window.paste(pics["banner_top.jpg"].resize((258, 57), Image.BILINEAR), (4920 // 15, 8))
    ImageDraw.Draw(window).rectangle([8, 8, 8 + 56, 8 + 56], outline=(0, 0, 0))
    window.paste(pics["start_normal.jpg"].resize((161, 49), Image.BILINEAR), (8, 72))
    window.paste(pics["start_pressed.jpg"].resize((161, 49), Image.BILINEAR), (180, 72))
    mon = pics["monitor.jpg"].resize((153, 153), Image.BILINEAR)
    mon.paste(pics["oem_placeholder.bmp"].resize((105, 73), Image.BILINEAR), (24, 32))
    sheet.paste(window.resize((1202, 260), Image.NEAREST), (0, band_y))
    sheet = sheet.convert("RGB")
    big_mon = mon.resize((306, 306), Image.NEAREST)
    final = Image.new("RGB", (width, sheet_h + 316), (236, 238, 242))
    final.paste(sheet, (0, 0))
    final.paste(big_mon, (pad, sheet_h + 5))
    final.save(path)


DESKTOP_ICON_SIZES = (16, 32, 48, 64, 128, 256)
# The hicolor "@2" folders a 2x desktop looks in: twice the pixels for the same size.
DESKTOP_ICON_SIZES_2X = (16, 24, 32, 48, 64, 128)

# What each file must be: kind, then size or (size, bits per pixel) per image.
EXPECTED = {
    "tab_sysinfo.jpg": ("jpeg", (48, 48)),
    "tab_junk.jpg": ("jpeg", (52, 53)),
    "tab_traces.jpg": ("jpeg", (64, 64)),
    "tab_tools.jpg": ("jpeg", (32, 32)),
    "tab_support.jpg": ("jpeg", (48, 48)),
    "banner_top.jpg": ("jpeg", (258, 48)),
    "start_normal.jpg": ("jpeg", (167, 54)),
    "start_pressed.jpg": ("jpeg", (169, 54)),
    "monitor.jpg": ("jpeg", (120, 120)),
    "banner_support.bmp": ("bmp32", (349, 100)),
    "oem_placeholder.bmp": ("bmp32", (123, 46)),
    "tool_skin.ico": ("ico", [(s, 32) for s in (128, 96, 72, 64, 60, 48, 40, 32, 24, 20, 16)]),
    "tool_shredder.ico": ("ico", [(32, 4)]),
    "brisquel.ico": ("ico", [(s, b) for s in (48, 32, 24, 16) for b in (8, 4)]),
    "hand.cur": ("cur", [(32, 1)]),
    "hand2.cur": ("cur", [(32, 1)]),
    "hand.png": ("png", (32, 32)),
    "hand2.png": ("png", (32, 32)),
}
EXPECTED.update(("hicolor/%s_%d.png" % (stem, s), ("png", (s, s)))
                for stem in ("brisquel", "shredder") for s in DESKTOP_ICON_SIZES)
EXPECTED.update(("hicolor/%s_%d@2.png" % (stem, s), ("png", (2 * s, 2 * s)))
                for stem in ("brisquel", "shredder") for s in DESKTOP_ICON_SIZES_2X)
# The 2x twins of the window's pictures: the same kind at twice the size.
EXPECTED.update((at2x(name), (kind, (want[0] * 2, want[1] * 2)))
                for name, (kind, want) in list(EXPECTED.items())
                if kind in ("jpeg", "bmp32") or name in ("hand.png", "hand2.png"))
EXPECTED["tool_shredder@2x.ico"] = ("ico", [(64, 4)])


def decode_mono_cursor(data):
    """The first image of a 1 bpp cursor as RGBA (clear where the AND bit is set)."""
    off = struct.unpack_from("<I", data, 6 + 12)[0]
    _, w, h2, _, bpp = struct.unpack_from("<IiiHH", data, off)
    h = h2 // 2
    assert bpp == 1
    pal = [struct.unpack_from("<BBB", data, off + 40 + 4 * i)[::-1] for i in range(2)]
    stride = _row_stride(w, 1)
    xor_at = off + 48
    and_at = xor_at + stride * h
    img = Image.new("RGBA", (w, h))
    px = img.load()
    for y in range(h):
        row = h - 1 - y
        for x in range(w):
            bit = 0x80 >> (x & 7)
            xv = data[xor_at + row * stride + (x >> 3)] & bit
            av = data[and_at + row * stride + (x >> 3)] & bit
            px[x, y] = (0, 0, 0, 0) if av else pal[1 if xv else 0] + (255,)
    return img


def check(folder):
    """Reads the written files back, with a parser of its own and with Pillow, and
    returns a list of problems (empty when all is well)."""
    problems = []

    def fail(name, msg):
        problems.append("%s: %s" % (name, msg))

    for name, (kind, want) in EXPECTED.items():
        path = os.path.join(folder, name)
        try:
            with open(path, "rb") as fh:
                data = fh.read()
        except OSError as e:
            fail(name, str(e))
            continue
        try:
            Image.open(path).load()  # Pillow must read every file
        except Exception as e:  # noqa: BLE001 - any reader failure is the finding
            fail(name, "Pillow cannot read it: %s" % e)
            continue
        if kind in ("jpeg", "png"):
            im = Image.open(path)
            if im.format != kind.upper() or im.size != want:
                fail(name, "is %s %s, want %s %s" % (im.format, im.size, kind, want))
            if kind == "png" and im.mode != "RGBA":
                fail(name, "mode %s, want RGBA" % im.mode)
        elif kind == "bmp32":
            magic, fsize, _, _, off = struct.unpack_from("<2sIHHI", data, 0)
            hsize, w, h, planes, bpp, comp = struct.unpack_from("<IiiHHI", data, 14)
            if (magic, fsize, hsize, (w, h), planes, bpp, comp) != (b"BM", len(data), 40, want, 1, 32, 0):
                fail(name, "header %r" % ((magic, fsize, hsize, w, h, planes, bpp, comp),))
            if off + w * h * 4 != len(data):
                fail(name, "pixel data does not fill the file")
        else:
            _, typ, count = struct.unpack_from("<HHH", data, 0)
            if typ != (2 if kind == "cur" else 1) or count != len(want):
                fail(name, "type %d with %d images" % (typ, count))
                continue
            got = []
            for i in range(count):
                w, h, ncol, _, f1, f2, size, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
                hs, bw, bh, planes, bpp, comp, _, _, _, used, _ = struct.unpack_from("<IiiHHIIiiII", data, off)
                w, h = w or 256, h or 256
                if (hs, bw, bh, planes, comp) != (40, w, 2 * h, 1, 0) or off + size > len(data):
                    fail(name, "image %d: bad bitmap header" % i)
                ncolours = (1 << bpp) if bpp <= 8 else 0
                body = 40 + 4 * ncolours + (_row_stride(w, bpp) + _row_stride(w, 1)) * h
                if size != body:
                    fail(name, "image %d: %d bytes, want %d" % (i, size, body))
                if kind == "cur":
                    if (f1, f2) != HOTSPOT:
                        fail(name, "hot spot %d,%d" % (f1, f2))
                elif (f1, f2) != (1, bpp) or ncol != (ncolours if ncolours < 256 else 0):
                    fail(name, "image %d: directory entry disagrees with its bitmap" % i)
                got.append((w, bpp))
            if got != want:
                fail(name, "images %s, want %s" % (got, want))
    # the cursors and their PNG twins are the same drawing (Pillow reads only the XOR
    # bitmap of a cursor, so the masks are decoded here)
    for stem in ("hand", "hand2"):
        try:
            with open(os.path.join(folder, stem + ".cur"), "rb") as fh:
                cur = decode_mono_cursor(fh.read())
            twin = Image.open(os.path.join(folder, stem + ".png")).convert("RGBA")
            if any(a != b and not (a[3] == 0 and b[3] == 0) for a, b in zip(cur.getdata(), twin.getdata())):
                fail(stem + ".png", "differs from %s.cur" % stem)
        except Exception as e:  # noqa: BLE001
            fail(stem, str(e))
    try:
        with open(os.path.join(folder, "assets.qrc"), encoding="utf-8") as fh:
            qrc = fh.read()
        listed = [part.split("</file>")[0] for part in qrc.split("<file>")[1:]]
        if sorted(listed) != sorted(filter(in_resources, EXPECTED)) or '<qresource prefix="/assets">' not in qrc:
            fail("assets.qrc", "lists %s" % listed)
    except OSError as e:
        fail("assets.qrc", str(e))
    return problems


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description="Draw Brisquel's pictures, icons and cursors.")
    ap.add_argument("--out", default=os.path.join(here, "..", "assets"), help="output folder")
    ap.add_argument("--sheet", help="also write a contact sheet PNG here")
    ap.add_argument("--check", action="store_true", help="only check the files already in --out")
    args = ap.parse_args(argv)
    if args.check:
        problems = check(args.out)
        for p in problems:
            print(p, file=sys.stderr)
        print("%d files checked, %d problems" % (len(EXPECTED) + 1, len(problems)))
        sys.exit(1 if problems else 0)
    for f in (CJK_FONT, LATIN_BOLD, LATIN):
        if not os.path.exists(f):
            sys.exit("missing font %s (install fonts-arphic-uming and fonts-dejavu-core)" % f)
    assets = build()
    os.makedirs(os.path.join(args.out, "hicolor"), exist_ok=True)
    for name, data, _ in assets:
        with open(os.path.join(args.out, name), "wb") as fh:
            fh.write(data)
    write_demo_oem(os.path.join(args.out, "demo"))
    if args.sheet:
        contact_sheet(assets, args.sheet)
    print("wrote %d files to %s" % (len(assets), os.path.normpath(args.out)))
    problems = check(args.out)
    for p in problems:
        print(p, file=sys.stderr)
    if problems:
        sys.exit(1)


if __name__ == "__main__":
    main(sys.argv[1:])
