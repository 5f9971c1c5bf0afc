#!/usr/bin/python3
"""Draws harbolink's embedded artwork and writes the resource bundle.

Every picture is drawn from simple vector shapes at four times its final size
and scaled down with a Lanczos filter, so edges come out antialiased. The
output is fully deterministic: running the script twice gives the same bytes.

Writes into src/resources/common/ (pictures, animation, font, style sheet) and
rewrites src/resources/harbolink.qrc. Needs Pillow (Debian: python3-pil) and
the Quicksand fonts (Debian: fonts-quicksand).
"""

import math
import os
import shutil
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
RES_DIR = os.path.join(ROOT, "src", "resources")
COMMON = os.path.join(RES_DIR, "common")
IMAGES = os.path.join(COMMON, "images")

FONT_DIR = "/usr/share/fonts/truetype/quicksand"
FONT_REGULAR = os.path.join(FONT_DIR, "Quicksand-Regular.ttf")
FONT_BOLD = os.path.join(FONT_DIR, "Quicksand-Bold.ttf")

SS = 4  # supersampling factor

# Palette of the forms.
BLUE = (12, 128, 190)  # #0C80BE
BLUE_DARK = (35, 97, 205)  # rgb(35, 97, 205)
BLUE_LIGHT = (74, 170, 230)
BLUE_PRESSED = (8, 92, 140)
NAVY = (37, 40, 71)  # #252847
NAVY_DARK = (31, 32, 53)  # #1f2035
GREEN = (11, 161, 35)  # #0ba123
GREEN_DARK = (80, 144, 5)  # rgb(80, 144, 5)
RED = (176, 31, 31)  # #b01f1f
RED_ORANGE = (241, 75, 0)  # rgb(241, 75, 0)
ORANGE = (227, 124, 41)  # #e37c29
ORANGE_LIGHT = (247, 164, 50)
VIOLET = (123, 79, 214)
LIGHT = (234, 243, 246)  # rgb(234, 243, 246)
WHITE = (255, 255, 255)
GREY = (150, 156, 168)
GREY_LIGHT = (196, 201, 210)
MENU_FG = (174, 177, 194)
MENU_ACTIVE = (69, 176, 245)


# ---------------------------------------------------------------------------
# Drawing helpers
# ---------------------------------------------------------------------------


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


class Canvas:
    """An RGBA picture drawn in design units.

    `w` x `h` is the design box; one design unit becomes `scale` output pixels,
    and drawing happens at `scale * SS` pixels per unit.
    """

    def __init__(self, w, h, scale=1):
        self.w, self.h = w, h
        self.scale = scale
        # Large backdrops have no fine detail; a lower factor keeps memory modest.
        ss = SS if w * h * scale * scale <= 250000 else 2
        self.k = scale * ss
        self.size = (int(round(w * self.k)), int(round(h * self.k)))
        self.out_size = (int(round(w * scale)), int(round(h * scale)))
        self.img = Image.new("RGBA", self.size, (0, 0, 0, 0))

    # -- masks -------------------------------------------------------------
    def mask(self):
        return Shape(self)

    def paint(self, shape, fill, opacity=1.0):
        """Composites `fill` (an RGB tuple or an RGB image) through the shape."""
        alpha = shape.im if isinstance(shape, Shape) else shape
        if opacity < 1.0:
            alpha = alpha.point(lambda v: int(round(v * opacity)))
        if isinstance(fill, tuple):
            layer = Image.new("RGBA", self.size, fill[:3] + (255,))
        else:
            layer = fill.convert("RGBA")
        layer.putalpha(alpha)
        self.img = Image.alpha_composite(self.img, layer)

    def shadow(self, shape, dx, dy, blur, opacity, colour=(0, 0, 0)):
        m = shape.im
        m = m.transform(self.size, Image.AFFINE, (1, 0, -dx * self.k, 0, 1, -dy * self.k))
        m = m.filter(ImageFilter.GaussianBlur(blur * self.k))
        self.paint(m, colour, opacity)

    def vgradient(self, top, bottom, y0=0.0, y1=None):
        """A vertical gradient image from design row y0 to y1."""
        y1 = self.h if y1 is None else y1
        col = Image.new("RGB", (1, self.size[1]))
        px = col.load()
        for y in range(self.size[1]):
            t = (y / self.k - y0) / max(1e-6, (y1 - y0))
            px[0, y] = mix(top, bottom, min(1.0, max(0.0, t)))
        return col.resize(self.size, Image.NEAREST)

    def result(self):
        return self.img.resize(self.out_size, Image.LANCZOS)


class Shape:
    """A coverage mask with drawing operations in design units."""

    def __init__(self, canvas):
        self.c = canvas
        self.k = canvas.k
        self.im = Image.new("L", canvas.size, 0)
        self.d = ImageDraw.Draw(self.im)

    def _b(self, x0, y0, x1, y1):
        k = self.k
        return [x0 * k, y0 * k, x1 * k - 1, y1 * k - 1]

    def _p(self, pts):
        return [(x * self.k, y * self.k) for x, y in pts]

    def circle(self, cx, cy, r, v=255):
        self.d.ellipse(self._b(cx - r, cy - r, cx + r, cy + r), fill=v)
        return self

    def ellipse(self, cx, cy, rx, ry, v=255):
        self.d.ellipse(self._b(cx - rx, cy - ry, cx + rx, cy + ry), fill=v)
        return self

    def ring(self, cx, cy, r, width, v=255):
        """Circle outline centred on radius r."""
        ro = r + width / 2.0
        self.d.ellipse(self._b(cx - ro, cy - ro, cx + ro, cy + ro), outline=v, width=max(1, int(round(width * self.k))))
        return self

    def rrect(self, x0, y0, x1, y1, r, v=255):
        self.d.rounded_rectangle(self._b(x0, y0, x1, y1), radius=r * self.k, fill=v)
        return self

    def rrect_outline(self, x0, y0, x1, y1, r, width, v=255):
        self.d.rounded_rectangle(
            self._b(x0, y0, x1, y1), radius=r * self.k, outline=v, width=max(1, int(round(width * self.k)))
        )
        return self

    def rect(self, x0, y0, x1, y1, v=255):
        self.d.rectangle(self._b(x0, y0, x1, y1), fill=v)
        return self

    def poly(self, pts, v=255):
        self.d.polygon(self._p(pts), fill=v)
        return self

    def stroke(self, pts, width, v=255, closed=False):
        """Polyline with round caps and joins."""
        if closed:
            pts = list(pts) + [pts[0]]
        w = max(1, int(round(width * self.k)))
        self.d.line(self._p(pts), fill=v, width=w)
        for x, y in pts:
            self.circle(x, y, width / 2.0, v)
        return self

    def arc(self, cx, cy, r, start, end, width, v=255, caps=True):
        """Arc centred on radius r; angles in degrees, clockwise from 3 o'clock."""
        ro = r + width / 2.0
        self.d.arc(
            self._b(cx - ro, cy - ro, cx + ro, cy + ro), start, end, fill=v, width=max(1, int(round(width * self.k)))
        )
        if caps:
            for a in (start, end):
                t = math.radians(a)
                self.circle(cx + r * math.cos(t), cy + r * math.sin(t), width / 2.0, v)
        return self

    def text(self, cx, cy, s, size, font=FONT_BOLD, v=255):
        f = ImageFont.truetype(font, int(round(size * self.k)))
        self.d.text((cx * self.k, cy * self.k), s, font=f, fill=v, anchor="mm")
        return self

    def cut(self, other):
        """Removes another shape from this one."""
        inv = other.im.point(lambda a: 255 - a)
        self.im = Image.composite(self.im, Image.new("L", self.c.size, 0), inv)
        self.d = ImageDraw.Draw(self.im)
        return self


def bezier(p0, p1, p2, n=24):
    pts = []
    for i in range(n + 1):
        t = i / n
        a, b, c = (1 - t) ** 2, 2 * (1 - t) * t, t * t
        pts.append((a * p0[0] + b * p1[0] + c * p2[0], a * p0[1] + b * p1[1] + c * p2[1]))
    return pts


def shield_points(x0, y0, x1, y1):
    """Outline of a heraldic shield inside the box."""
    w, h = x1 - x0, y1 - y0
    cx = (x0 + x1) / 2.0
    top_side = y0 + 0.13 * h
    waist = y0 + 0.52 * h
    left = bezier((x0, top_side), (cx - 0.2 * w, y0 + 0.06 * h), (cx, y0))
    right = bezier((cx, y0), (cx + 0.2 * w, y0 + 0.06 * h), (x1, top_side))[1:]
    down_r = bezier((x1, waist), (x1 - 0.02 * w, y1 - 0.16 * h), (cx, y1))
    down_l = bezier((cx, y1), (x0 + 0.02 * w, y1 - 0.16 * h), (x0, waist))[1:]
    return left + right + down_r + down_l


def star_points(cx, cy, ro, ri, n=5):
    pts = []
    for i in range(2 * n):
        r = ro if i % 2 == 0 else ri
        a = math.radians(-90 + i * 180.0 / n)
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def leaf_points(x, y, angle, length, width, n=10):
    """A lens-shaped leaf growing from (x, y) in direction `angle` (radians)."""
    dx, dy = math.cos(angle), math.sin(angle)
    nx, ny = -dy, dx
    side_a, side_b = [], []
    for i in range(n + 1):
        t = i / float(n)
        half = width / 2.0 * math.sin(math.pi * t)
        px, py = x + dx * length * t, y + dy * length * t
        side_a.append((px + nx * half, py + ny * half))
        side_b.append((px - nx * half, py - ny * half))
    return side_a + side_b[::-1]


def gear_points(cx, cy, ro, ri, teeth=8):
    pts = []
    step = 360.0 / teeth
    for i in range(teeth):
        base = -90 + i * step
        for off, r in ((-0.30, ri), (-0.17, ro), (0.17, ro), (0.30, ri)):
            a = math.radians(base + off * step)
            pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


# ---------------------------------------------------------------------------
# Glyphs shared by several pictures
# ---------------------------------------------------------------------------


def glyph_power(s, cx, cy, r, width):
    s.arc(cx, cy, r, -45, 225, width)
    s.stroke([(cx, cy - r - width * 0.35), (cx, cy - r * 0.15)], width)


def glyph_tick(s, cx, cy, r, width):
    s.stroke([(cx - 0.48 * r, cy + 0.02 * r), (cx - 0.12 * r, cy + 0.36 * r), (cx + 0.5 * r, cy - 0.34 * r)], width)


def glyph_cross(s, cx, cy, r, width):
    s.stroke([(cx - r, cy - r), (cx + r, cy + r)], width)
    s.stroke([(cx - r, cy + r), (cx + r, cy - r)], width)


def glyph_arrow_right(s, cx, cy, r, width):
    s.stroke([(cx - r, cy), (cx + r, cy)], width)
    s.stroke([(cx + r * 0.25, cy - r * 0.72), (cx + r, cy), (cx + r * 0.25, cy + r * 0.72)], width)


def glyph_arrow_vertical(s, cx, cy, r, width, down=True):
    sign = 1 if down else -1
    tip = cy + sign * r
    s.stroke([(cx, cy - sign * r), (cx, tip)], width)
    s.stroke([(cx - r * 0.68, tip - sign * r * 0.68), (cx, tip), (cx + r * 0.68, tip - sign * r * 0.68)], width)


def glyph_exclamation(s, cx, cy, h, width):
    s.stroke([(cx, cy - h * 0.5), (cx, cy + h * 0.18)], width)
    s.circle(cx, cy + h * 0.46, width * 0.62)


def glyph_globe(s, cx, cy, r, width):
    s.ring(cx, cy, r, width)
    s.d.ellipse(
        s._b(cx - r * 0.42 - width / 2, cy - r - width / 2, cx + r * 0.42 + width / 2, cy + r + width / 2),
        outline=255,
        width=max(1, int(round(width * s.k))),
    )
    s.stroke([(cx - r, cy), (cx + r, cy)], width * 0.9)
    for dy in (-0.5, 0.5):
        half = r * math.sqrt(1 - dy * dy) * 0.93
        s.stroke([(cx - half, cy + dy * r), (cx + half, cy + dy * r)], width * 0.8)


def glyph_keyhole(s, cx, cy, h):
    s.circle(cx, cy - h * 0.18, h * 0.26)
    s.poly([(cx - h * 0.12, cy - h * 0.1), (cx + h * 0.12, cy - h * 0.1), (cx + h * 0.2, cy + h * 0.5),
            (cx - h * 0.2, cy + h * 0.5)])


# ---------------------------------------------------------------------------
# Pictures. Each function draws into a canvas whose design box is the normal size.
# ---------------------------------------------------------------------------


def draw_logo_mark(c, x0, y0, x1, y1):
    """The product mark: a blue shield with a white keyhole."""
    s = c.mask().poly(shield_points(x0, y0, x1, y1))
    c.paint(s, c.vgradient(BLUE_LIGHT, BLUE_DARK, y0, y1))
    h = y1 - y0
    w = x1 - x0
    inner = c.mask().poly(shield_points(x0 + w * 0.09, y0 + h * 0.08, x1 - w * 0.09, y1 - h * 0.09))
    rim = c.mask().poly(shield_points(x0, y0, x1, y1)).cut(inner)
    c.paint(rim, WHITE, 0.18)
    k = c.mask()
    glyph_keyhole(k, (x0 + x1) / 2.0, y0 + h * 0.46, h * 0.42)
    c.paint(k, WHITE)


def logo_update(c):
    # Tall shield that fills the picture; keeps its proportions in both sizes.
    sh_h = c.h * 0.94
    sh_w = min(c.w * 0.86, sh_h * 0.84)
    x0 = (c.w - sh_w) / 2.0
    y0 = (c.h - sh_h) / 2.0
    draw_logo_mark(c, x0, y0, x0 + sh_w, y0 + sh_h)


def logo(c):
    draw_logo_mark(c, 12, 8, 12 + 54, 8 + 64)
    t = c.mask().text(206, 38, "harbolink", 50)
    c.paint(t, BLUE_DARK)


def logo_notifications(c):
    tile = c.mask().rrect(2, 2, c.w - 2, c.h - 2, 10)
    c.shadow(tile, 0, 1, 1.2, 0.25)
    c.paint(tile, WHITE)
    draw_logo_mark(c, 12, 8, c.w - 12, c.h - 8)


def switch(c, on):
    pill = c.mask().rrect(0, 0, c.w, c.h, c.h / 2.0)
    if on:
        c.paint(pill, c.vgradient(mix(GREEN, WHITE, 0.12), GREEN))
    else:
        c.paint(pill, c.vgradient(GREY_LIGHT, mix(GREY_LIGHT, GREY, 0.35)))
    r = c.h / 2.0 - 2
    cx = c.w - 2 - r if on else 2 + r
    knob = c.mask().circle(cx, c.h / 2.0, r)
    c.shadow(knob, 0, 0.6, 0.8, 0.35)
    c.paint(knob, WHITE)


def power_button(c, face_top, face_bottom, halo, indicator, ring_style):
    cx, cy, r = c.w / 2.0, 44.0, 36.0
    # Outer halo ring.
    outer = c.mask().circle(cx, cy, r + 6)
    c.paint(outer, halo, 0.35)
    face = c.mask().circle(cx, cy, r)
    c.shadow(face, 0, 2.5, 3, 0.35, mix(face_bottom, (0, 0, 0), 0.5))
    c.paint(face, c.vgradient(face_top, face_bottom, cy - r, cy + r))
    # Soft top highlight.
    gloss = c.mask().ellipse(cx, cy - r * 0.45, r * 0.72, r * 0.42)
    c.paint(gloss, WHITE, 0.12)
    if ring_style == "arc":
        arc = c.mask().arc(cx, cy, r + 6, -90, 150, 2.6)
        c.paint(arc, face_bottom)
    p = c.mask()
    glyph_power(p, cx, cy + 1, r * 0.44, 5.2)
    c.paint(p, WHITE)
    # Status capsule below the button.
    cap = c.mask().rrect(cx - 15, 104, cx + 15, 110, 3)
    c.paint(cap, indicator)


def btn_disconnect(c):  # picture of the Connect button: idle
    power_button(c, BLUE_LIGHT, BLUE, BLUE, GREY_LIGHT, "none")


def btn_connect(c):  # picture of the Disconnect button: connected
    power_button(c, (58, 196, 74), GREEN, GREEN, GREEN, "none")


def btn_connecting(c):
    power_button(c, ORANGE_LIGHT, ORANGE, ORANGE_LIGHT, ORANGE, "arc")


def round_arrow_button(c, colour, shadow=True):
    cx, cy, r = c.w / 2.0, c.h / 2.0, c.w / 2.0 - 2
    face = c.mask().circle(cx, cy, r)
    if shadow:
        c.shadow(face, 0, 1, 1, 0.25)
    c.paint(face, c.vgradient(mix(colour, WHITE, 0.12), colour, 2, c.h - 2))
    a = c.mask()
    glyph_arrow_right(a, cx, cy, r * 0.42, 3.2)
    c.paint(a, WHITE)


def btn_enter(c):
    round_arrow_button(c, BLUE)


def btn_enter_disabled(c):
    round_arrow_button(c, GREY_LIGHT, shadow=False)


def btn_enter_on_press(c):
    round_arrow_button(c, BLUE_PRESSED, shadow=False)


def store_tile(c, pressed):
    tile = c.mask().rrect(1, 1, c.w - 1, c.h - 1, 9)
    if not pressed:
        c.shadow(tile, 0, 1, 1, 0.25)
        c.paint(tile, c.vgradient(mix(NAVY, WHITE, 0.12), NAVY))
    else:
        c.paint(tile, c.vgradient(NAVY_DARK, NAVY_DARK))
    return tile


def app_store_btn(c, pressed=False):
    store_tile(c, pressed)
    g = c.mask().text(c.w / 2.0, c.h / 2.0 - 1, "A", 26)
    c.paint(g, mix(WHITE, BLUE_LIGHT, 0.3 if pressed else 0.0))
    base = c.mask().rrect(c.w / 2.0 - 9, c.h - 10, c.w / 2.0 + 9, c.h - 8, 1)
    c.paint(base, BLUE_LIGHT)


def google_play_btn(c, pressed=False):
    store_tile(c, pressed)
    cx, cy = c.w / 2.0 + 2, c.h / 2.0
    tri = c.mask()
    pts = [(cx - 8, cy - 11), (cx + 11, cy), (cx - 8, cy + 11)]
    tri.poly(pts)
    tri.stroke(pts, 3, closed=True)
    c.paint(tri, c.vgradient((92, 214, 112), GREEN, cy - 12, cy + 12) if not pressed else GREEN_DARK)


def chevron_button(c, direction, pressed):
    cx, cy, r = c.w / 2.0, c.h / 2.0, c.w / 2.0 - 1.5
    if pressed:
        c.paint(c.mask().circle(cx, cy, r), BLUE)
    else:
        c.paint(c.mask().ring(cx, cy, r - 0.6, 1.4), BLUE)
    s = c.mask()
    d = 3.5 * direction
    s.stroke([(cx - d, cy - 7), (cx + d, cy), (cx - d, cy + 7)], 2.6)
    c.paint(s, WHITE if pressed else BLUE)


def btn_more(c, pressed=False):
    cx, cy = c.w / 2.0, c.h / 2.0
    if pressed:
        c.paint(c.mask().circle(cx, cy, c.w / 2.0 - 1), mix(BLUE, WHITE, 0.78))
    s = c.mask()
    for dx in (-8, 0, 8):
        s.circle(cx + dx, cy, 2.6)
    c.paint(s, BLUE_PRESSED if pressed else BLUE)


def btn_remove_app(c, pressed=False):
    cx, cy, r = c.w / 2.0, c.h / 2.0, c.w / 2.0 - 1
    c.paint(c.mask().circle(cx, cy, r), RED if pressed else GREY_LIGHT)
    s = c.mask()
    glyph_cross(s, cx, cy, r * 0.35, 2.2)
    c.paint(s, WHITE)


def check(c, colour):
    cx, cy, r = c.w / 2.0, c.h / 2.0, c.w / 2.0 - c.w * 0.04
    c.paint(c.mask().circle(cx, cy, r), c.vgradient(mix(colour, WHITE, 0.15), colour))
    s = c.mask()
    glyph_tick(s, cx, cy, r, c.w * 0.11)
    c.paint(s, WHITE)


def dropdown_shevron(c):
    s = c.mask().stroke([(1.8, 2), (6, 6), (10.2, 2)], 1.8)
    c.paint(s, mix(NAVY, WHITE, 0.35))


def ic_shevron(c, colour):
    s = c.mask().stroke([(2, 1.8), (6, 6), (2, 10.2)], 1.8)
    c.paint(s, colour)


def ic_close(c, colour, width):
    s = c.mask()
    r = c.w / 2.0 - width / 2.0 - c.w * 0.12
    glyph_cross(s, c.w / 2.0, c.h / 2.0, r, width)
    c.paint(s, colour)


def ic_connection_error(c):
    cx = c.w / 2.0
    pts = [(cx, 5), (c.w - 3, c.h - 5), (3, c.h - 5)]
    t = c.mask().poly(pts).stroke(pts, 5, closed=True)
    c.paint(t, c.vgradient(ORANGE_LIGHT, RED_ORANGE, 3, c.h - 3))
    e = c.mask()
    glyph_exclamation(e, cx, 23.5, 17, 3.6)
    c.paint(e, WHITE)


def ic_error_big(c):
    cx, cy, r = c.w / 2.0, c.h / 2.0, c.w / 2.0 - 3
    face = c.mask().circle(cx, cy, r)
    c.shadow(face, 0, 1.5, 2, 0.25)
    c.paint(face, c.vgradient(mix(RED, WHITE, 0.15), RED))
    e = c.mask()
    glyph_exclamation(e, cx, cy, 40, 7.5)
    c.paint(e, WHITE)


def ic_favorite(c, colour):
    pts = star_points(c.w / 2.0, c.h / 2.0 + 0.8, c.w * 0.47, c.w * 0.2)
    s = c.mask().poly(pts).stroke(pts, 1.2, closed=True)
    c.paint(s, colour)


def ic_install(c):
    s = c.mask()
    glyph_arrow_vertical(s, 12, 9.5, 6.5, 2.4, down=True)
    s.stroke([(4, 15), (4, 20), (20, 20), (20, 15)], 2.4)
    c.paint(s, BLUE)


def log_disc(c, tint):
    c.paint(c.mask().circle(17, 17, 16), tint)


def ic_log_ip(c):
    log_disc(c, mix(BLUE, WHITE, 0.86))
    s = c.mask()
    glyph_globe(s, 17, 17, 9, 1.9)
    c.paint(s, BLUE)


def ic_log_session(c):
    log_disc(c, mix(BLUE, WHITE, 0.86))
    s = c.mask().ring(17, 17, 9, 2.2)
    s.stroke([(17, 11.5), (17, 17), (21.5, 19.5)], 2.2)
    c.paint(s, BLUE)


def ic_log_downloaded(c):
    log_disc(c, mix(GREEN, WHITE, 0.85))
    s = c.mask()
    glyph_arrow_vertical(s, 17, 17, 8, 3, down=True)
    c.paint(s, GREEN)


def ic_log_sent(c):
    log_disc(c, mix(RED, WHITE, 0.86))
    s = c.mask()
    glyph_arrow_vertical(s, 17, 17, 8, 3, down=False)
    c.paint(s, RED)


def ic_log_vpn_protocol(c):
    log_disc(c, mix(BLUE, WHITE, 0.86))
    sh = c.mask().poly(shield_points(10, 7, 24, 27))
    c.paint(sh, BLUE)
    k = c.mask()
    glyph_keyhole(k, 17, 15.8, 8)
    c.paint(k, WHITE)


def ic_no_connection(c):
    cx = c.w / 2.0
    plug = c.mask()
    plug.rect(cx - 6.5, 6, cx - 3.5, 14)  # prongs
    plug.rect(cx + 3.5, 6, cx + 6.5, 14)
    plug.rrect(cx - 11, 13, cx + 11, 27, 4)  # body
    plug.poly([(cx - 8, 26), (cx + 8, 26), (cx + 3, 32), (cx - 3, 32)])
    plug.stroke([(cx, 31), (cx, 40)], 3)  # cable
    slash_pts = [(5, 6), (c.w - 5, c.h - 6)]
    gap = c.mask().stroke(slash_pts, 8)
    plug.cut(gap)
    plug.stroke(slash_pts, 3)
    c.paint(plug, GREY)


# Menu icons: outline glyphs on a 24-unit box.
MENU_W = 1.7


def menu_main(s):
    glyph_globe(s, 12, 12, 8.2, MENU_W)


def menu_settings(s):
    s.poly(gear_points(12, 12, 9.6, 7.0, teeth=8))
    hole = s.c.mask().circle(12, 12, 3.2)
    s.cut(hole)


def menu_about(s):
    s.ring(12, 12, 8.6, MENU_W)
    s.circle(12, 7.8, 1.35)
    s.stroke([(12, 11), (12, 16.4)], 2.1)


def menu_profile(s):
    s.ring(12, 8.3, 3.9, MENU_W)
    s.arc(12, 21.5, 7.6, 200, 340, MENU_W)


def menu_help(s):
    s.ring(12, 12, 8.6, MENU_W)
    s.arc(12, 9.6, 2.9, 180, 405, 2.0, caps=True)
    t = math.radians(45)
    s.stroke([(12 + 2.9 * math.cos(t), 9.6 + 2.9 * math.sin(t)), (12, 13.2), (12, 13.8)], 2.0)
    s.circle(12, 16.8, 1.25)


def menu_logout(s):
    s.stroke([(13.5, 4.5), (5, 4.5), (5, 19.5), (13.5, 19.5)], MENU_W)
    s.stroke([(10, 12), (20, 12)], MENU_W)
    s.stroke([(16.5, 8.5), (20, 12), (16.5, 15.5)], MENU_W)


def menu_prices(s):
    pts = [(4.5, 4.5), (12.5, 4.5), (20.5, 12.5), (12.5, 20.5), (4.5, 12.5)]
    s.stroke(pts, MENU_W, closed=True)
    s.ring(8.8, 8.8, 1.4, 1.3)


def menu_system_log(s):
    s.rrect_outline(5, 3.5, 19, 20.5, 2.2, MENU_W)
    for y in (8.5, 12, 15.5):
        s.stroke([(8.5, y), (15.5, y)], 1.5)


def menu_icon(glyph, colour):
    def draw(c):
        s = c.mask()
        glyph(s)
        c.paint(s, colour)

    return draw


def bg_gradient(c, top, bottom):
    c.paint(c.mask().rect(0, 0, c.w, c.h), c.vgradient(top, bottom))


def main_bg(c):
    bg_gradient(c, WHITE, LIGHT)
    blobs = c.mask()
    blobs.circle(c.w * 0.95, c.h * 0.05, c.w * 0.42)
    blobs.circle(c.w * 0.05, c.h * 1.0, c.w * 0.32)
    c.paint(blobs, BLUE, 0.05)


def notifications_bg(c):
    card = c.mask().rrect(0, 0, c.w, c.h, 8)
    c.paint(card, c.vgradient(mix(NAVY, WHITE, 0.08), NAVY))
    band = c.mask().rrect(0, 0, 4, c.h, 2)
    c.paint(band, BLUE_LIGHT)


def snake_background(c):
    bg_gradient(c, LIGHT, mix(LIGHT, WHITE, 0.5))
    for i, (amp, phase, y) in enumerate(((14, 0.0, 0.35), (18, 1.4, 0.55), (12, 2.6, 0.75))):
        pts = []
        for x in range(0, int(c.w) + 9, 4):
            pts.append((x, c.h * y + amp * math.sin(x / c.w * 2 * math.pi * 1.5 + phase)))
        s = c.mask().stroke(pts, 2.0)
        c.paint(s, BLUE, 0.10 + 0.03 * i)


def app_name_bg(c):
    outer = c.mask().rrect(0, 0, c.w, c.h, 10)
    c.paint(outer, (214, 228, 236))
    inner = c.mask().rrect(1, 1, c.w - 1, c.h - 1, 9)
    c.paint(inner, c.vgradient(WHITE, (245, 249, 251)))


def popup(c):
    card = c.mask().rrect(4, 3, c.w - 4, c.h - 5, 8)
    c.shadow(card, 0, 1.5, 2.2, 0.22, (20, 50, 80))
    c.paint(card, WHITE)


# Rough continents for the dotted world backdrop, in fractions of the picture.
CONTINENTS = [
    (0.20, 0.30, 0.11, 0.11), (0.13, 0.24, 0.07, 0.07), (0.26, 0.42, 0.05, 0.06), (0.30, 0.14, 0.05, 0.04),
    (0.31, 0.63, 0.05, 0.12), (0.29, 0.53, 0.05, 0.05), (0.33, 0.76, 0.025, 0.07),
    (0.50, 0.26, 0.05, 0.06), (0.54, 0.20, 0.04, 0.05),
    (0.53, 0.52, 0.07, 0.10), (0.56, 0.65, 0.05, 0.08), (0.50, 0.45, 0.06, 0.05),
    (0.68, 0.28, 0.12, 0.10), (0.80, 0.24, 0.09, 0.08), (0.72, 0.42, 0.05, 0.06), (0.80, 0.46, 0.03, 0.05),
    (0.84, 0.70, 0.06, 0.05),
]


def about_bg(c):
    bg_gradient(c, (247, 250, 252), (231, 240, 245))
    region = c.mask()
    for fx, fy, rx, ry in CONTINENTS:
        region.ellipse(fx * c.w, fy * c.h, rx * c.w, ry * c.h)
    dots = c.mask()
    step = 12.0
    y = step / 2
    while y < c.h:
        x = step / 2
        while x < c.w:
            if region.im.getpixel((int(x * c.k), int(y * c.k))) > 128:
                dots.circle(x, y, 1.9)
            x += step
        y += step
    c.paint(dots, BLUE, 0.12)


def flag_un(c):
    un_blue = (91, 146, 229)
    c.paint(c.mask().rect(0, 0, c.w, c.h), un_blue)
    cx, cy = c.w / 2.0, c.h / 2.0 - 0.5
    s = c.mask()
    glyph_globe(s, cx, cy, 5.6, 0.9)
    # Two leafy branches curving up around the globe, open at the bottom.
    r = 8.0
    s.arc(cx, cy, r, 100, 205, 0.8, caps=False)
    s.arc(cx, cy, r, -25, 80, 0.8, caps=False)
    for a in (118, 150, 182):
        for side in (1, -1):
            ang = a if side == 1 else 180 - a
            t = math.radians(ang)
            # Leaf leans outwards and towards the top of the branch.
            tip = t + side * math.radians(55)
            s.poly(leaf_points(cx + r * math.cos(t), cy + r * math.sin(t), tip, 3.0, 1.3))
    c.paint(s, WHITE)


# ---------------------------------------------------------------------------
# The bundle
# ---------------------------------------------------------------------------

# name: (normal width, normal height, draw function, has @2x)
FAMILIES = {
    "about_bg": (720, 520, about_bg, True),
    "app_name_bg": (280, 48, app_name_bg, True),
    "app_store_btn": (44, 44, app_store_btn, True),
    "app_store_btn_pressed": (44, 44, lambda c: app_store_btn(c, True), True),
    "btn_connect": (88, 119, btn_connect, True),
    "btn_connecting": (88, 119, btn_connecting, True),
    "btn_disconnect": (88, 119, btn_disconnect, True),
    "btn_enter": (44, 44, btn_enter, True),
    "btn_enter_disabled": (44, 44, btn_enter_disabled, True),
    "btn_enter_on_press": (44, 44, btn_enter_on_press, True),
    "btn_more": (32, 32, btn_more, True),
    "btn_more_on_press": (32, 32, lambda c: btn_more(c, True), True),
    "btn_next": (32, 32, lambda c: chevron_button(c, 1, False), True),
    "btn_next_on_press": (32, 32, lambda c: chevron_button(c, 1, True), True),
    "btn_prev": (32, 32, lambda c: chevron_button(c, -1, False), True),
    "btn_prev_on_press": (32, 32, lambda c: chevron_button(c, -1, True), True),
    "btn_remove_app": (24, 24, btn_remove_app, True),
    "btn_remove_app_on_press": (24, 24, lambda c: btn_remove_app(c, True), True),
    "check_green": (20, 20, lambda c: check(c, GREEN), True),
    "check_green_big": (64, 64, lambda c: check(c, GREEN), True),
    "check_orange": (20, 20, lambda c: check(c, ORANGE), True),
    "check_violet": (20, 20, lambda c: check(c, VIOLET), True),
    "dropdown_shevron": (12, 8, dropdown_shevron, True),
    "google_play_btn": (44, 44, google_play_btn, True),
    "google_play_btn_pressed": (44, 44, lambda c: google_play_btn(c, True), True),
    "ic_close": (16, 16, lambda c: ic_close(c, GREY, 2.0), True),
    "ic_close_notification": (12, 12, lambda c: ic_close(c, GREY_LIGHT, 1.6), True),
    "ic_connection_error": (40, 40, ic_connection_error, True),
    "ic_error_big": (80, 80, ic_error_big, True),
    "ic_favorite_grey": (20, 20, lambda c: ic_favorite(c, GREY_LIGHT), True),
    "ic_favorite_orange": (20, 20, lambda c: ic_favorite(c, ORANGE_LIGHT), True),
    "ic_install": (24, 24, ic_install, True),
    "ic_log_downloaded": (34, 34, ic_log_downloaded, False),
    "ic_log_ip": (34, 34, ic_log_ip, False),
    "ic_log_sent": (34, 34, ic_log_sent, False),
    "ic_log_session": (34, 34, ic_log_session, False),
    "ic_log_vpn_protocol": (34, 34, ic_log_vpn_protocol, False),
    "ic_menu copy 11": (24, 24, menu_icon(menu_help, MENU_ACTIVE), True),
    "ic_menu_about": (24, 24, menu_icon(menu_about, MENU_FG), True),
    "ic_menu_about_active": (24, 24, menu_icon(menu_about, MENU_ACTIVE), True),
    "ic_menu_help": (24, 24, menu_icon(menu_help, MENU_FG), True),
    "ic_menu_logout": (24, 24, menu_icon(menu_logout, MENU_FG), True),
    "ic_menu_logout_active": (24, 24, menu_icon(menu_logout, MENU_ACTIVE), True),
    "ic_menu_main": (24, 24, menu_icon(menu_main, MENU_FG), True),
    "ic_menu_main_active": (24, 24, menu_icon(menu_main, MENU_ACTIVE), True),
    "ic_menu_prices": (24, 24, menu_icon(menu_prices, MENU_FG), True),
    "ic_menu_prices_active": (24, 24, menu_icon(menu_prices, MENU_ACTIVE), True),
    "ic_menu_profile": (24, 24, menu_icon(menu_profile, MENU_FG), True),
    "ic_menu_profile_active": (24, 24, menu_icon(menu_profile, MENU_ACTIVE), True),
    "ic_menu_settings": (24, 24, menu_icon(menu_settings, MENU_FG), True),
    "ic_menu_settings_active": (24, 24, menu_icon(menu_settings, MENU_ACTIVE), True),
    "ic_menu_system_log": (24, 24, menu_icon(menu_system_log, MENU_FG), True),
    "ic_menu_system_log_active": (24, 24, menu_icon(menu_system_log, MENU_ACTIVE), True),
    "ic_no_connection": (40, 44, ic_no_connection, True),
    "ic_shevron_blue": (8, 12, lambda c: ic_shevron(c, BLUE), True),
    "ic_shevron_green": (8, 12, lambda c: ic_shevron(c, GREEN), True),
    "logo": (340, 80, logo, False),
    "logo_notifications": (48, 48, logo_notifications, True),
    "logo_update": (40, 40, logo_update, True),
    "main_bg": (400, 300, main_bg, True),
    "notifications_bg": (328, 120, notifications_bg, True),
    "popup": (328, 86, popup, True),
    "snake_background": (320, 240, snake_background, True),
    "switch_off": (44, 20, lambda c: switch(c, False), True),
    "switch_on": (44, 20, lambda c: switch(c, True), True),
}

# Double-resolution pictures whose size is not twice the normal one.
SIZE_2X_OVERRIDE = {
    "logo_update": (124, 136),
}

STYLESHEET_RULES = """#MainDialogWindow #listWidgetMenuItems,
#MainDialogWindow #listWidgetLogOut {
    border: none;
    background-color: #252847;
    font-size: 14px;
    color: #7e8095;
}

#MainDialogWindow #listWidgetMenuItems::item,
#MainDialogWindow #listWidgetLogOut::item {
    height: 48px;
}

#MainDialogWindow #listWidgetMenuItems::item:selected,
#MainDialogWindow #listWidgetLogOut::item:selected {
    background-color: #1f2035;
    color: #bdc0cd;
}

#MainDialogWindow #listWidgetMenuItems::item:hover,
#MainDialogWindow #listWidgetLogOut::item:hover {
    background-color: #1f2035;
    color: #7c808e;
}
"""


def stylesheet_text():
    rule = "=" * 69
    banner = (
        "/* %s\n"
        " * Main Form\n"
        " *\n"
        " * Side menu of the main window: page list and log-out list.\n"
        " * %s */\n\n" % (rule, rule)
    )
    return banner + STYLESHEET_RULES


def render(draw, w, h, scale):
    c = Canvas(w, h, scale)
    draw(c)
    return c.result()


def save_png(img, path):
    img.save(path, "PNG", optimize=True)


def write_pictures(written):
    os.makedirs(IMAGES, exist_ok=True)
    for name, (w, h, draw, has_2x) in sorted(FAMILIES.items()):
        normal = render(draw, w, h, 1)
        if name == "about_bg":
            path = os.path.join(IMAGES, name + ".jpg")
            normal.convert("RGB").save(path, "JPEG", quality=90, subsampling=0, optimize=True)
        else:
            path = os.path.join(IMAGES, name + ".png")
            save_png(normal, path)
        written.append(path)
        if not has_2x:
            continue
        if name in SIZE_2X_OVERRIDE:
            tw, th = SIZE_2X_OVERRIDE[name]
            big = render(draw, tw / 2.0, th / 2.0, 2)
        else:
            big = render(draw, w, h, 2)
        if name == "about_bg":
            big = big.convert("RGB")
        path = os.path.join(IMAGES, name + "@2x.png")
        save_png(big, path)
        written.append(path)


def write_flags(written):
    flags = os.path.join(IMAGES, "Flags")
    os.makedirs(flags, exist_ok=True)
    for suffix, scale in (("", 1), ("@2x", 2)):
        img = render(flag_un, 32, 24, scale).convert("RGB")
        path = os.path.join(flags, "UN%s.png" % suffix)
        save_png(img, path)
        written.append(path)


def write_animation(written):
    """A spinner of twelve dots whose brightest dot runs clockwise.

    Every colour lies between the dot blue and the light window background, so
    a 256-colour palette holds all antialiased shades; index 0 is transparent.
    """
    width, height = 630, 637
    frames_n = 12
    ss = 2
    cx, cy = width / 2.0 * ss, height / 2.0 * ss
    ring_r = 0.34 * width * ss
    dot_r = 0.075 * width * ss
    palette = [0, 0, 0]
    for i in range(1, 256):
        palette += list(mix(LIGHT, BLUE, i / 255.0))
    frames = []
    for f in range(frames_n):
        cov = Image.new("L", (width * ss, height * ss), 0)
        d = ImageDraw.Draw(cov)
        for j in range(frames_n):
            lag = (f - j) % frames_n  # 0 for the leading dot
            fade = 1.0 - lag / float(frames_n)
            opacity = 0.16 + 0.84 * fade ** 1.6
            r = dot_r * (0.72 + 0.28 * fade)
            a = math.radians(-90 + j * 360.0 / frames_n)
            x, y = cx + ring_r * math.cos(a), cy + ring_r * math.sin(a)
            d.ellipse([x - r, y - r, x + r, y + r], fill=int(round(255 * opacity)))
        small = cov.resize((width, height), Image.LANCZOS)
        idx = small.point(lambda v: 0 if v < 8 else v)
        frame = Image.frombytes("P", (width, height), idx.tobytes())
        frame.putpalette(palette)
        frame.info["transparency"] = 0
        frames.append(frame)
    folder = os.path.join(IMAGES, "Animations")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "DefaultMacLoadingAnimation.gif")
    frames[0].save(
        path,
        "GIF",
        save_all=True,
        append_images=frames[1:],
        duration=70,
        loop=0,
        transparency=0,
        disposal=2,
        optimize=False,
    )
    written.append(path)


def write_font(written):
    folder = os.path.join(COMMON, "fonts")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "Quicksand-Regular.ttf")
    shutil.copyfile(FONT_REGULAR, path)
    written.append(path)


def write_stylesheet(written):
    path = os.path.join(COMMON, "stylesheet.css")
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(stylesheet_text())
    written.append(path)


def write_qrc(written):
    rel = sorted(os.path.relpath(p, RES_DIR).replace(os.sep, "/") for p in written)
    lines = ["<!DOCTYPE RCC>", '<RCC version="1.0">', '    <qresource prefix="/resources">']
    for r in rel:
        if r.endswith(".css"):
            # Text compresses well; threshold 0 makes rcc keep it compressed.
            lines.append('        <file compress="9" threshold="0">%s</file>' % r)
        else:
            lines.append("        <file>%s</file>" % r)
    lines += ["    </qresource>", "</RCC>", ""]
    with open(os.path.join(RES_DIR, "harbolink.qrc"), "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines))
    return rel


def main():
    for font in (FONT_REGULAR, FONT_BOLD):
        if not os.path.isfile(font):
            sys.exit("missing font %s (install fonts-quicksand)" % font)
    if os.path.isdir(COMMON):
        shutil.rmtree(COMMON)
    written = []
    write_font(written)
    write_stylesheet(written)
    write_pictures(written)
    write_flags(written)
    write_animation(written)
    rel = write_qrc(written)
    print("wrote %d files and harbolink.qrc" % len(rel))


if __name__ == "__main__":
    main()
