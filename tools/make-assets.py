#!/usr/bin/env python3
"""Draws every picture of Dovetrak3.exe and writes it into res/art/.

    python3 tools/make-assets.py

Pure Python 3 (standard library only). The text in the splash pictures and in
some drive icons is drawn from the DejaVu fonts (looked up in the usual
/usr/share/fonts folders); the script has its own small TrueType rasteriser,
so every run with the same fonts writes the same bytes. Rerun it after changing a drawing and
commit the files it writes.

All pictures share one look: flat shapes, the program's dark blue (#1F3A68)
and its green, a disk with a green arrow landing on it as the logo.

Icons (16, 24, 32 and 48 pixels, 32-bit with alpha):
  Dovetrak3.ico     116  the program: dark blue disk, green arrow landing on it
  TrayIdle.ico      128  the tray at rest: the same picture drawn for small sizes
  TrayFrame1-5.ico  181-185  the tray while copying: the arrow of TrayIdle.ico
                    moves down into the disk in even steps (frame 1 above its
                    resting place, 2 at it, 3 and 4 lower, over the disk); in
                    frame 5 the arrow has landed and the disk glows. The disk
                    stays in place so the tray icon does not jump.
  DriveUsbStick.ico 119  USB flash drive: grey plug, blue body, green light
  DriveSdCard.ico   120  SD memory card: cut corner, gold contacts, label
  DriveUsbDisk.ico  121  external USB hard disk: box with a platter and a cable
  DriveCartridge.ico 122 removable disk cartridge: metal shutter and label
  DriveCardReader.ico 123 card reader: a green card standing in a slot
  DriveCfCard.ico   124  CompactFlash card: label and a row of pin holes
  DrivePortableSsd.ico 125 portable SSD: slim rounded slab with a memory chip
  DriveRemovable.ico 126 any other removable drive: a drive with an eject sign

Bitmaps:
  background.bmp    209  1280 x 41, 24-bit: the band at the top of every
                    dialog. Dark blue gradient with the logo at x = 6; the
                    program writes the title from x = 42 and draws a close
                    button at the right, so the band is plain (44, 84, 146)
                    from x = 640. Its two bottom rows are a lighter edge.
  splash24/8/4.bmp  "IDB_SPLASH24/8/4": the splash in 24-bit, 8-bit
                    (256-colour palette) and 4-bit (the 16 VGA colours).
  splish24/8/4.bmp  "IDB_SPLISH24/8/4": the same splash in green and teal.
                    Splashes are 420 x 260. Magenta (255, 0, 255) marks the
                    transparent pixels outside the rounded corners and appears
                    nowhere else. Below a thin line at y = 214 the foot is one
                    plain light colour inside the 1-pixel border: the program
                    writes the version in its right part. x 220-418, y 215-258
                    is plain but for the rounded corner (x > 403 and y > 243).

Animation:
  copy.avi          194  260 x 56, 15 frames at 10 frames/s, uncompressed
                    8-bit: sheets of paper fly from a folder into a disk.
                    The background is the dialog colour (240, 240, 240).
"""
import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ART = os.path.normpath(os.path.join(HERE, '..', 'res', 'art'))
FONT_DIRS = ('/usr/share/fonts/truetype/dejavu', '/usr/share/fonts/dejavu',
             '/usr/share/fonts/TTF', '/usr/local/share/fonts')

ICON_SIZES = (16, 24, 32, 48)
MAGENTA = (255, 0, 255)

# The program's colours.
NAVY = (31, 58, 104)         # #1F3A68, the dialog band and the text
DISK = (28, 56, 120)         # the logo's disk
DISK_DARK = (18, 36, 78)
SKY = (58, 100, 170)         # lighter blue: highlights, second text colour
SLOT = (150, 180, 230)       # the disk's slot
GREEN = (64, 200, 96)        # the arrow and the lights
GREEN_DARK = (30, 130, 60)
METAL = (206, 211, 220)
METAL_DARK = (112, 122, 140)
LABEL = (228, 236, 248)
GOLD = (236, 190, 72)
WHITE = (255, 255, 255)
DIALOG = (240, 240, 240)     # the face of the dialogs the animation plays on


def mix(a, b, t):
    """The colour t of the way from a to b."""
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# ---------------------------------------------------------------- shapes
# A shape is a signed distance function (negative inside) with a bounding box.
# Painting turns the distance at each pixel centre into coverage, which gives
# smooth edges at any size without supersampling.

class Shape:
    __slots__ = ('dist', 'box')

    def __init__(self, dist, box):
        self.dist = dist
        self.box = box


def rect(x0, y0, x1, y1, r=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def dist(x, y):
        qx = abs(x - cx) - hx
        qy = abs(y - cy) - hy
        if qx > 0 and qy > 0:
            return math.hypot(qx, qy) - r
        return max(qx, qy) - r
    return Shape(dist, (x0, y0, x1, y1))


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r, (cx - r, cy - r, cx + r, cy + r))


def polygon(*points):
    pts = list(points)

    def dist(x, y):
        best = float('inf')
        inside = False
        ax, ay = pts[-1]
        for bx, by in pts:
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = (wx * ex + wy * ey) / (ex * ex + ey * ey)
            t = 0.0 if t < 0 else 1.0 if t > 1 else t
            dx, dy = wx - ex * t, wy - ey * t
            best = min(best, dx * dx + dy * dy)
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
                inside = not inside
            ax, ay = bx, by
        d = math.sqrt(best)
        return -d if inside else d
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    return Shape(dist, (min(xs), min(ys), max(xs), max(ys)))


def line(x0, y0, x1, y1, width):
    """A stroke with round ends."""
    ex, ey = x1 - x0, y1 - y0
    ll = ex * ex + ey * ey
    h = width / 2

    def dist(x, y):
        t = ((x - x0) * ex + (y - y0) * ey) / ll
        t = 0.0 if t < 0 else 1.0 if t > 1 else t
        return math.hypot(x - x0 - ex * t, y - y0 - ey * t) - h
    return Shape(dist, (min(x0, x1) - h, min(y0, y1) - h, max(x0, x1) + h, max(y0, y1) + h))


def union(*shapes):
    dists = [s.dist for s in shapes]
    return Shape(lambda x, y: min(d(x, y) for d in dists),
                 (min(s.box[0] for s in shapes), min(s.box[1] for s in shapes),
                  max(s.box[2] for s in shapes), max(s.box[3] for s in shapes)))


def subtract(a, b):
    da, db = a.dist, b.dist
    return Shape(lambda x, y: max(da(x, y), -db(x, y)), a.box)


def grow(s, amount):
    d = s.dist
    x0, y0, x1, y1 = s.box
    return Shape(lambda x, y: d(x, y) - amount, (x0 - amount, y0 - amount, x1 + amount, y1 + amount))


def turned(s, degrees, cx, cy):
    """The shape turned clockwise (y points down) about (cx, cy)."""
    c, sn = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))
    d = s.dist

    def dist(x, y):
        x, y = x - cx, y - cy
        return d(cx + x * c + y * sn, cy - x * sn + y * c)
    x0, y0, x1, y1 = s.box
    corners = [(cx + (px - cx) * c - (py - cy) * sn, cy + (px - cx) * sn + (py - cy) * c)
               for px, py in ((x0, y0), (x1, y0), (x0, y1), (x1, y1))]
    return Shape(dist, (min(p[0] for p in corners), min(p[1] for p in corners),
                        max(p[0] for p in corners), max(p[1] for p in corners)))


# ---------------------------------------------------------------- canvas

class Canvas:
    """RGBA pixels, premultiplied, as floats (colour 0-255, alpha 0-1)."""

    def __init__(self, w, h, colour=None):
        self.w, self.h = w, h
        n = w * h
        r, g, b = colour or (0, 0, 0)
        a = 1.0 if colour else 0.0
        self.r, self.g, self.b, self.a = [r * a] * n, [g * a] * n, [b * a] * n, [a] * n

    def blend(self, i, colour, a):
        k = 1.0 - a
        self.r[i] = colour[0] * a + self.r[i] * k
        self.g[i] = colour[1] * a + self.g[i] * k
        self.b[i] = colour[2] * a + self.b[i] * k
        self.a[i] = a + self.a[i] * k

    def paint(self, shape, colour, scale=1.0, ox=0.0, oy=0.0, grow_px=0.0, opacity=1.0):
        """Paints shape (in design units: pixel = ox + unit * scale) over the
        canvas. colour is an (r, g, b) or a function of the pixel (x, y).
        grow_px widens the shape by that many pixels whatever the scale."""
        x0, y0, x1, y1 = shape.box
        m = grow_px + 1
        px0 = max(0, int(math.floor(ox + x0 * scale - m)))
        py0 = max(0, int(math.floor(oy + y0 * scale - m)))
        px1 = min(self.w, int(math.ceil(ox + x1 * scale + m)))
        py1 = min(self.h, int(math.ceil(oy + y1 * scale + m)))
        dist = shape.dist
        fixed = not callable(colour)
        for py in range(py0, py1):
            uy = (py + 0.5 - oy) / scale
            for px in range(px0, px1):
                cover = 0.5 - (dist((px + 0.5 - ox) / scale, uy) * scale - grow_px)
                if cover <= 0:
                    continue
                if cover > 1:
                    cover = 1.0
                self.blend(py * self.w + px, colour if fixed else colour(px, py), cover * opacity)

    def fill(self, colour, x0=0, y0=0, x1=None, y1=None):
        """Fills a pixel rectangle; colour may be a function of (x, y)."""
        x1 = self.w if x1 is None else x1
        y1 = self.h if y1 is None else y1
        for py in range(y0, y1):
            for px in range(x0, x1):
                c = colour(px, py) if callable(colour) else colour
                i = py * self.w + px
                self.r[i], self.g[i], self.b[i], self.a[i] = float(c[0]), float(c[1]), float(c[2]), 1.0

    def paint_coverage(self, mask, colour):
        x0, y0, w, h, cover = mask
        for j in range(h):
            py = y0 + j
            if not 0 <= py < self.h:
                continue
            for i in range(w):
                px = x0 + i
                c = cover[j * w + i]
                if c > 0 and 0 <= px < self.w:
                    self.blend(py * self.w + px, colour, c)

    def rgba(self):
        """Rows of (r, g, b, a) as integers 0-255, colour not premultiplied."""
        rows = []
        for y in range(self.h):
            row = []
            for i in range(y * self.w, (y + 1) * self.w):
                a = self.a[i]
                if a <= 0.0:
                    row.append((0, 0, 0, 0))
                    continue
                row.append((min(255, int(self.r[i] / a + 0.5)), min(255, int(self.g[i] / a + 0.5)),
                            min(255, int(self.b[i] / a + 0.5)), min(255, int(a * 255 + 0.5))))
            rows.append(row)
        return rows

    def rgb(self):
        """Rows of (r, g, b), for a canvas without transparency."""
        return [[p[:3] for p in row] for row in self.rgba()]


def paint_scene(canvas, scene, scale, ox=0.0, oy=0.0):
    for item in scene:
        shape, colour = item[0], item[1]
        opts = item[2] if len(item) > 2 else {}
        canvas.paint(shape, colour, scale, ox, oy, **opts)


# ------------------------------------------------------------------ text
# A TrueType reader and rasteriser: enough of the format (cmap format 4,
# simple and composite glyphs, the 'kern' table) for the DejaVu fonts.

class Font:
    def __init__(self, file_name):
        path = next((os.path.join(d, file_name) for d in FONT_DIRS
                     if os.path.exists(os.path.join(d, file_name))), None)
        if path is None:
            sys.exit('make-assets: font %s not found in %s' % (file_name, ', '.join(FONT_DIRS)))
        with open(path, 'rb') as f:
            self.data = d = f.read()
        count = struct.unpack_from('>H', d, 4)[0]
        self.tables = {}
        for i in range(count):
            tag, _, off, length = struct.unpack_from('>4sIII', d, 12 + 16 * i)
            self.tables[tag.decode('latin-1')] = (off, length)
        head = self.tables['head'][0]
        self.units = struct.unpack_from('>H', d, head + 18)[0]
        self.long_loca = struct.unpack_from('>h', d, head + 50)[0] == 1
        hhea = self.tables['hhea'][0]
        self.metrics = struct.unpack_from('>H', d, hhea + 34)[0]
        self._read_cmap()
        self._read_kern()

    def _read_cmap(self):
        d = self.data
        base = self.tables['cmap'][0]
        sub = None
        for i in range(struct.unpack_from('>H', d, base + 2)[0]):
            platform, encoding, off = struct.unpack_from('>HHI', d, base + 4 + 8 * i)
            if platform == 3 and encoding == 1:
                sub = base + off
        segs = struct.unpack_from('>H', d, sub + 6)[0] // 2
        p = sub + 14
        self.seg_end = struct.unpack_from('>%dH' % segs, d, p)
        self.seg_start = struct.unpack_from('>%dH' % segs, d, p + 2 * segs + 2)
        self.seg_delta = struct.unpack_from('>%dh' % segs, d, p + 4 * segs + 2)
        self.seg_range_at = p + 6 * segs + 2
        self.seg_range = struct.unpack_from('>%dH' % segs, d, self.seg_range_at)

    def _read_kern(self):
        self.kerning = {}
        if 'kern' not in self.tables:
            return
        d = self.data
        p = self.tables['kern'][0]
        count = struct.unpack_from('>H', d, p + 2)[0]
        p += 4
        for _ in range(count):
            _, length, coverage = struct.unpack_from('>HHH', d, p)
            if coverage >> 8 == 0 and coverage & 1:
                pairs = struct.unpack_from('>H', d, p + 6)[0]
                for k in range(pairs):
                    left, right, value = struct.unpack_from('>HHh', d, p + 14 + 6 * k)
                    self.kerning[(left, right)] = value
            p += length

    def glyph(self, char):
        c = ord(char)
        for i, end in enumerate(self.seg_end):
            if end >= c:
                if self.seg_start[i] > c:
                    return 0
                if self.seg_range[i] == 0:
                    return (c + self.seg_delta[i]) & 0xFFFF
                at = self.seg_range_at + 2 * i + self.seg_range[i] + 2 * (c - self.seg_start[i])
                g = struct.unpack_from('>H', self.data, at)[0]
                return (g + self.seg_delta[i]) & 0xFFFF if g else 0
        return 0

    def advance(self, gid):
        return struct.unpack_from('>H', self.data, self.tables['hmtx'][0] + 4 * min(gid, self.metrics - 1))[0]

    def _glyph_bytes(self, gid):
        loca = self.tables['loca'][0]
        if self.long_loca:
            start, end = struct.unpack_from('>II', self.data, loca + 4 * gid)
        else:
            start, end = (2 * v for v in struct.unpack_from('>HH', self.data, loca + 2 * gid))
        return self.tables['glyf'][0] + start, end - start

    def contours(self, gid):
        """The glyph's outline: a list of contours of (x, y, on_curve) in font units."""
        d = self.data
        at, length = self._glyph_bytes(gid)
        if length == 0:
            return []
        n = struct.unpack_from('>h', d, at)[0]
        if n < 0:
            return self._composite(at + 10)
        ends = struct.unpack_from('>%dH' % n, d, at + 10)
        points = ends[-1] + 1 if n else 0
        p = at + 10 + 2 * n
        p += 2 + struct.unpack_from('>H', d, p)[0]
        flags = []
        while len(flags) < points:
            f = d[p]
            p += 1
            flags.append(f)
            if f & 8:
                flags.extend([f] * d[p])
                p += 1
        coords = []
        for short, same in ((2, 16), (4, 32)):
            v, values = 0, []
            for f in flags:
                if f & short:
                    v += d[p] if f & same else -d[p]
                    p += 1
                elif not f & same:
                    v += struct.unpack_from('>h', d, p)[0]
                    p += 2
                values.append(v)
            coords.append(values)
        out, first = [], 0
        for end in ends:
            out.append([(coords[0][i], coords[1][i], bool(flags[i] & 1)) for i in range(first, end + 1)])
            first = end + 1
        return out

    def _composite(self, p):
        d = self.data
        out = []
        while True:
            flags, gid = struct.unpack_from('>HH', d, p)
            p += 4
            if flags & 1:
                dx, dy = struct.unpack_from('>hh', d, p)
                p += 4
            else:
                dx, dy = struct.unpack_from('>bb', d, p)
                p += 2
            if not flags & 2:
                dx = dy = 0  # anchored by point numbers: not used by the glyphs drawn here
            a, b, c, e = 1.0, 0.0, 0.0, 1.0
            if flags & 8:
                a = e = struct.unpack_from('>h', d, p)[0] / 16384
                p += 2
            elif flags & 0x40:
                a, e = (v / 16384 for v in struct.unpack_from('>hh', d, p))
                p += 4
            elif flags & 0x80:
                a, b, c, e = (v / 16384 for v in struct.unpack_from('>hhhh', d, p))
                p += 8
            for contour in self.contours(gid):
                out.append([(a * x + c * y + dx, b * x + e * y + dy, on) for x, y, on in contour])
            if not flags & 0x20:
                return out

    def layout(self, text, size):
        """(glyph, pen x) for each character and the width, at size pixels per em."""
        scale = size / self.units
        pen, prev, placed = 0.0, None, []
        for ch in text:
            gid = self.glyph(ch)
            if prev is not None:
                pen += self.kerning.get((prev, gid), 0) * scale
            placed.append((gid, pen))
            pen += self.advance(gid) * scale
            prev = gid
        return placed, pen

    def width(self, text, size):
        return self.layout(text, size)[1]

    def render(self, text, size, x, baseline, weight=1.0):
        """Coverage of the text with its pen starting at (x, baseline):
        (x0, y0, w, h, values). weight above 1 darkens thin antialiased
        strokes a little, which small text on a light ground needs."""
        scale = size / self.units
        edges = []
        placed, _ = self.layout(text, size)
        for gid, pen in placed:
            for contour in self.contours(gid):
                pts = [(x + pen + px * scale, baseline - py * scale, on) for px, py, on in contour]
                poly = flatten(pts)
                for i in range(len(poly)):
                    edges.append(poly[i - 1] + poly[i])
        return rasterise(edges, weight)


def flatten(points, steps=6):
    """Turns a TrueType contour (quadratic curves) into a closed polyline."""
    if not any(p[2] for p in points):
        a, b = points[-1], points[0]
        points = [((a[0] + b[0]) / 2, (a[1] + b[1]) / 2, True)] + points
    start = next(i for i, p in enumerate(points) if p[2])
    points = points[start:] + points[:start] + [points[start]]
    out = [points[0][:2]]
    ctrl = None
    for x, y, on in points[1:]:
        if on:
            if ctrl is None:
                out.append((x, y))
            else:
                out.extend(quad(out[-1], ctrl, (x, y), steps))
            ctrl = None
        elif ctrl is None:
            ctrl = (x, y)
        else:
            mid = ((ctrl[0] + x) / 2, (ctrl[1] + y) / 2)
            out.extend(quad(out[-1], ctrl, mid, steps))
            ctrl = (x, y)
    return out[:-1]


def quad(a, c, b, steps):
    out = []
    for k in range(1, steps + 1):
        t = k / steps
        u = 1 - t
        out.append((u * u * a[0] + 2 * u * t * c[0] + t * t * b[0], u * u * a[1] + 2 * u * t * c[1] + t * t * b[1]))
    return out


def rasterise(edges, weight=1.0, sub=16):
    """Coverage of the area inside the edges (non-zero winding): exact across
    each scanline, sub samples down each pixel row."""
    if not edges:
        return (0, 0, 0, 0, [])
    x0 = int(math.floor(min(min(e[0], e[2]) for e in edges)))
    y0 = int(math.floor(min(min(e[1], e[3]) for e in edges)))
    x1 = int(math.ceil(max(max(e[0], e[2]) for e in edges))) + 1
    y1 = int(math.ceil(max(max(e[1], e[3]) for e in edges))) + 1
    w, h = x1 - x0, y1 - y0
    lines = [[] for _ in range(h * sub)]
    for ax, ay, bx, by in edges:
        if ay == by:
            continue
        winding = 1 if by > ay else -1
        if ay > by:
            ax, ay, bx, by = bx, by, ax, ay
        first = int(math.ceil((ay - y0) * sub - 0.5))
        last = int(math.ceil((by - y0) * sub - 0.5))
        for k in range(max(first, 0), min(last, h * sub)):
            sy = y0 + (k + 0.5) / sub
            lines[k].append((ax + (sy - ay) * (bx - ax) / (by - ay) - x0, winding))
    cover = [0.0] * (w * h)
    part = 1.0 / sub
    for k, crossings in enumerate(lines):
        if not crossings:
            continue
        crossings.sort()
        base = (k // sub) * w
        winding, left = 0, 0.0
        for x, step in crossings:
            if winding != 0 and x > left:
                a, b = int(left), int(x)
                if a == b:
                    cover[base + a] += (x - left) * part
                else:
                    cover[base + a] += (a + 1 - left) * part
                    for c in range(a + 1, b):
                        cover[base + c] += part
                    if b < w:
                        cover[base + b] += (x - b) * part
            winding += step
            left = x
    return (x0, y0, w, h, [min(1.0, c) ** (1.0 / weight) for c in cover])


# ------------------------------------------------------------------ grid

class Grid:
    """Design units for a picture of a given size. Shapes made through it
    have their edges moved to the nearest pixel boundary, which keeps the
    small icons sharp; circles get a whole number of pixels across."""

    def __init__(self, pixels, units):
        self.scale = pixels / units

    def snap(self, v):
        return math.floor(v * self.scale + 0.5) / self.scale

    def span(self, a, b):
        a, b = self.snap(a), self.snap(b)
        return a, max(b, a + 1 / self.scale)

    def rect(self, x0, y0, x1, y1, r=0.0):
        x0, x1 = self.span(x0, x1)
        y0, y1 = self.span(y0, y1)
        return rect(x0, y0, x1, y1, min(r, (x1 - x0) / 2, (y1 - y0) / 2))

    def circle(self, cx, cy, r):
        across = max(2, math.floor(2 * r * self.scale + 0.5))
        # An odd width is centred on a pixel, an even one on a pixel corner.
        shift = 0.5 if across % 2 else 0.0
        centre = [(math.floor(v * self.scale - shift + 0.5) + shift) / self.scale for v in (cx, cy)]
        return circle(centre[0], centre[1], across / 2 / self.scale)

    def polygon(self, *points):
        return polygon(*[(self.snap(x), self.snap(y)) for x, y in points])


# ------------------------------------------------------------------ logo
# The logo in unit coordinates (the icon's square is 0-1): a disk lying at the
# bottom with a slot and a light, and a green arrow pointing down onto it.

def logo(g, tray=False, colours=None, arrow_dy=0.0, arrow=True, glow=False):
    """The logo's shapes, back to front. colours overrides disk, slot, arrow
    and light. The tray's arrow is a little wider, for 16 pixels."""
    c = {'disk': DISK, 'slot': SLOT, 'arrow': GREEN, 'light': GREEN}
    c.update(colours or {})
    disk = g.rect(0.08, 0.55, 0.92, 0.92, 0.10)
    slot = g.rect(0.18, 0.71, 0.62, 0.76)
    # The light sits level with the slot, however the slot was snapped.
    light_y = (slot.box[1] + slot.box[3]) / 2
    light_r = max(0.05, 1 / g.scale)
    light = circle(g.snap(0.78 - 0.5 / g.scale) + 0.5 / g.scale, light_y, light_r)
    scene = []
    if glow:
        scene.append((grow(disk, 0.07), GREEN, {'opacity': 0.35}))
    scene += [(disk, c['disk']), (slot, c['slot']), (light, c['light'])]
    if arrow:
        shaft, head = (0.13, 0.28) if tray else (0.11, 0.25)
        dy = arrow_dy
        scene.append((union(g.rect(0.5 - shaft, 0.10 + dy, 0.5 + shaft, 0.40 + dy),
                            g.polygon((0.5 - head, 0.36 + dy), (0.5 + head, 0.36 + dy), (0.5, 0.62 + dy))),
                      c['arrow']))
    return scene


def logo_outline(g):
    """The logo's outer edge (disk and arrow), for a rim around it."""
    return union(*[s for s, *_ in logo(g)])


# ----------------------------------------------------------------- icons
# An icon's drawing is a function of the pixel size giving (units, shapes).

def icon_program(size):
    return 1, logo(Grid(size, 1))


def icon_tray(size):
    return 1, logo(Grid(size, 1), tray=True)


def icon_tray_frame(step):
    """Tray frame 1-5: the arrow high, level with the resting icon, sinking
    into the disk, deep in it, then gone with the disk lit. It moves by whole
    pixels so that it stays sharp."""
    def scene(size):
        g = Grid(size, 1)
        if step == 5:
            return 1, logo(g, tray=True, arrow=False, glow=True,
                           colours={'disk': (40, 82, 164), 'slot': (170, 240, 190), 'light': (150, 255, 170)})
        stride = max(1, math.floor(0.1 * size + 0.5))
        dy = (step - 2) * stride / size
        return 1, logo(g, tray=True, arrow_dy=dy)
    return scene


# The drive icons are drawn on a 16 unit grid. Outlines are given in pixels
# (grow_px) so that they stay one pixel wide at every size.

def outlined(shape, fill, edge):
    return [(shape, edge), (shape, fill, {'grow_px': -1.0})]


def icon_usb_stick(size):
    g = Grid(size, 16)
    scene = outlined(g.rect(1, 5, 6, 11, 0.4), METAL, METAL_DARK)
    scene += [(g.rect(2, 7, 3, 8), METAL_DARK), (g.rect(4, 7, 5, 8), METAL_DARK)]
    if size >= 32:
        scene += [(g.rect(2, 8.5, 3, 9.5), METAL_DARK), (g.rect(4, 8.5, 5, 9.5), METAL_DARK)]
    scene += outlined(g.rect(5, 3, 16, 13, 1.5), DISK, DISK_DARK)
    scene += [(g.rect(7, 6, 12, 10, 0.6), SKY),
              (g.circle(13.5, 8, 0.75), GREEN)]
    return 16, scene


def icon_sd_card(size):
    g = Grid(size, 16)
    scene = outlined(g.polygon((3, 0), (10, 0), (13, 3), (13, 16), (3, 16)), DISK, DISK_DARK)
    for x in (4.5, 6.5, 8.5):
        scene.append((g.rect(x, 1.5, x + 1, 4), GOLD))
    scene.append((g.rect(4, 7, 12, 15, 0.5), LABEL))
    scene.append((g.rect(4, 7, 12, 8, 0.5), GREEN))
    return 16, scene


def icon_usb_disk(size):
    g = Grid(size, 16)
    scene = [(g.rect(3, 11, 4, 14), METAL_DARK)]
    scene += outlined(g.rect(1.5, 13, 5.5, 16, 0.3), METAL, METAL_DARK)
    scene += outlined(g.rect(0, 1, 16, 12, 1.5), DISK, DISK_DARK)
    scene += [(g.circle(7, 6.5, 3.5), SLOT),
              (g.circle(7, 6.5, 1), DISK),
              (line(13, 3, 8.3, 7.7, 1.2), METAL),
              (g.circle(13.5, 9.5, 0.75), GREEN)]
    return 16, scene


def icon_cartridge(size):
    g = Grid(size, 16)
    scene = outlined(g.rect(1, 1, 15, 15, 1.2), DISK, DISK_DARK)
    scene += outlined(g.rect(5, 1, 11, 7, 0.3), METAL, METAL_DARK)
    scene += [(g.rect(7, 2, 9, 6), METAL_DARK),
              (g.rect(3, 9, 13, 14, 0.6), LABEL),
              (g.rect(3, 9, 13, 10), GREEN)]
    return 16, scene


def icon_card_reader(size):
    g = Grid(size, 16)
    scene = outlined(g.polygon((4, 1), (10, 1), (12, 3), (12, 10), (4, 10)), GREEN, GREEN_DARK)
    scene += [(g.rect(5.5, 2.5, 6.5, 4), WHITE), (g.rect(7.5, 2.5, 8.5, 4), WHITE)]
    scene += outlined(g.rect(0, 8, 16, 15, 1.5), DISK, DISK_DARK)
    scene += [(g.rect(2, 10, 14, 11), (8, 16, 36)),
              (g.circle(13.5, 12.5, 0.75), GREEN)]
    return 16, scene


def icon_cf_card(size):
    g = Grid(size, 16)
    scene = outlined(g.rect(0, 1, 16, 15, 0.8), DISK, DISK_DARK)
    scene.append((g.rect(2, 3, 14, 10, 0.5), LABEL))
    scene.append((g.rect(2, 3, 14, 4, 0.5), GREEN))
    if size >= 32:
        # Two rows of pin holes, the second row offset.
        for x in range(2, 14, 1):
            scene.append((g.rect(x + 0.25, 11.5 + (x % 2) * 1.25, x + 0.75, 12 + (x % 2) * 1.25), METAL))
    else:
        for x in range(2, 14, 2):
            scene.append((g.rect(x, 12, x + 1, 13), METAL))
    return 16, scene


def icon_portable_ssd(size):
    g = Grid(size, 16)
    scene = outlined(g.rect(0, 3, 16, 13, 2.5), DISK, DISK_DARK)
    scene.append((g.rect(2, 5, 14, 11, 1.0), SKY))
    if size >= 24:
        for y in (6, 7.75, 9.5):
            scene.append((g.rect(4.5, y, 11.5, y + 0.5), METAL))
    else:
        scene.append((g.rect(4, 7, 12, 9), METAL))
    scene += [(g.rect(5, 5, 11, 11, 0.3), (24, 30, 44)),
              (g.rect(7, 7, 9, 9), GREEN),
              (g.rect(15, 7, 16, 9), DISK_DARK)]
    return 16, scene


def icon_removable(size):
    g = Grid(size, 16)
    scene = outlined(g.rect(0, 8, 16, 15, 1.5), DISK, DISK_DARK)
    scene += [(g.rect(2, 11, 10, 12), SLOT),
              (g.circle(13, 11.5, 1), GREEN),
              (g.polygon((3, 5), (13, 5), (8, 0)), GREEN_DARK),
              (g.rect(3, 6, 13, 7), GREEN_DARK)]
    return 16, scene


def write_ico(name, scene_for, labels=None):
    """labels: size -> list of (font, text, size px, centre x, baseline, colour)
    written over the picture."""
    images = []
    for size in ICON_SIZES:
        units, scene = scene_for(size)
        canvas = Canvas(size, size)
        paint_scene(canvas, scene, size / units)
        for font, text, px, cx, baseline, colour in (labels or {}).get(size, ()):
            mask = font.render(text, px, cx - font.width(text, px) / 2, baseline)
            canvas.paint_coverage(mask, colour)
        images.append((size, ico_image(size, canvas.rgba())))
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    save(name, out)


def ico_image(size, pixels):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(stride)
        for col, p in enumerate(row):
            if p[3] == 0:
                bits[col // 8] |= 0x80 >> (col % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


# --------------------------------------------------------------- bitmaps

def bmp(width, height, bits, rows, palette=()):
    """A BMP file: rows top-down of (r, g, b) for 24 bits, of indices else."""
    stride = ((width * bits + 31) // 32) * 4
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        if bits == 24:
            for r, g, b in row:
                line += bytes((b, g, r))
        elif bits == 8:
            line += bytes(row)
        else:
            for i in range(0, width, 2):
                line.append(row[i] << 4 | (row[i + 1] if i + 1 < width else 0))
        data += line + bytes(stride - len(line))
    table = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0, len(data), 2835, 2835, len(palette), 0)
    offset = 14 + len(info) + len(table)
    return struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset) + info + table + bytes(data)


def median_cut(counts, n):
    """At most n colours standing for the colours counted (colour -> pixels)."""
    if len(counts) <= n:
        return sorted(counts)

    def spread(items):
        ranges = [max(c[k] for c, _ in items) - min(c[k] for c, _ in items) for k in range(3)]
        axis = max(range(3), key=lambda k: ranges[k])
        population = sum(v for _, v in items)
        return ranges[axis] * math.sqrt(population), axis

    boxes = [(sorted(counts.items()),) + spread(sorted(counts.items()))]
    while len(boxes) < n:
        pick = max(range(len(boxes)), key=lambda i: (boxes[i][1] if len(boxes[i][0]) > 1 else -1, -i))
        items, score, axis = boxes[pick]
        if len(items) < 2:
            break
        items = sorted(items, key=lambda cv: (cv[0][axis], cv[0]))
        half = sum(v for _, v in items) / 2
        run, cut = 0, 1
        for i, (_, v) in enumerate(items[:-1]):
            run += v
            cut = i + 1
            if run >= half:
                break
        boxes[pick:pick + 1] = [(items[:cut],) + spread(items[:cut]), (items[cut:],) + spread(items[cut:])]
    palette = []
    for items, _, _ in boxes:
        total = sum(v for _, v in items)
        palette.append(tuple(int(sum(c[k] * v for c, v in items) / total + 0.5) for k in range(3)))
    return palette


def nearest_mapper(palette, allowed=None):
    allowed = list(range(len(palette))) if allowed is None else allowed
    memo = {}

    def index(c):
        i = memo.get(c)
        if i is None:
            i = min(allowed, key=lambda k: ((palette[k][0] - c[0]) ** 2 * 3 + (palette[k][1] - c[1]) ** 2 * 4
                                            + (palette[k][2] - c[2]) ** 2 * 2, k))
            memo[c] = i
        return i
    return index


def count_colours(rows_list, skip=()):
    counts = {}
    for rows in rows_list:
        for row in rows:
            for c in row:
                if c not in skip:
                    counts[c] = counts.get(c, 0) + 1
    return counts


# The 16 colours of the VGA palette in their usual order.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def save(name, data):
    with open(os.path.join(ART, name), 'wb') as f:
        f.write(data)


# ---------------------------------------------------------- dialog band

BAND_W, BAND_H = 1280, 41
BAND_PLAIN_FROM = 640


def band_colour(x, y):
    t = min(x / BAND_PLAIN_FROM, 1.0)
    t = t * t * (3 - 2 * t)
    c = mix(NAVY, (44, 84, 146), t)
    if y == BAND_H - 2:
        c = mix(c, (120, 150, 200), 0.25)
    elif y == BAND_H - 1:
        c = mix(c, (120, 150, 200), 0.55)
    return c


def write_background():
    canvas = Canvas(BAND_W, BAND_H)
    canvas.fill(band_colour)
    # The logo's disk is the band's own blue: a light rim keeps it apart.
    g = Grid(28, 1)
    canvas.paint(logo_outline(g), (214, 226, 244), 28, 6, 6, grow_px=1.2)
    paint_scene(canvas, logo(g), 28, 6, 6)
    save('background.bmp', bmp(BAND_W, BAND_H, 24, canvas.rgb()))


# ---------------------------------------------------------- wizard side

WIZARD_W, WIZARD_H = 150, 300


def write_wizard_side():
    """The setup wizard's side picture: the band's blue running down into a
    lighter sky, the logo large near the top."""
    canvas = Canvas(WIZARD_W, WIZARD_H)
    canvas.fill(lambda x, y: mix(NAVY, (96, 140, 204), (y / (WIZARD_H - 1)) ** 1.5))
    g = Grid(84, 1)
    canvas.paint(logo_outline(g), (214, 226, 244), 84, 33, 28, grow_px=1.5)
    paint_scene(canvas, logo(g), 84, 33, 28)
    save('wizard.bmp', bmp(WIZARD_W, WIZARD_H, 24, canvas.rgb()))


# ---------------------------------------------------------------- splash

SPLASH_W, SPLASH_H = 420, 260
SPLASH_RADIUS = 16
SPLASH_FOOT = 214          # the light band at the foot starts here
PLAIN = (220, 215, 419, 259)   # the version's corner, left top right bottom

SCHEMES = {
    'splash': {'ink': NAVY, 'ink2': SKY, 'subtitle': (66, 80, 106), 'top': WHITE, 'bottom': (222, 231, 245),
               'foot': (240, 244, 250), 'rule': (196, 208, 228), 'accent': GREEN, 'border': NAVY,
               'logo': {}},
    'splish': {'ink': (16, 84, 80), 'ink2': (30, 140, 126), 'subtitle': (70, 104, 100), 'top': WHITE,
               'bottom': (218, 241, 234), 'foot': (238, 248, 244), 'rule': (186, 222, 212),
               'accent': (132, 204, 52), 'border': (16, 84, 80),
               'logo': {'disk': (18, 100, 94), 'slot': (150, 222, 206), 'arrow': (132, 204, 52),
                        'light': (132, 204, 52)}},
}

# The same schemes in VGA colours for the 16-colour pictures: flat fills,
# so that only the antialiased edges have to be matched to the palette.
VGA_SCHEMES = {
    'splash': {'ink': (0, 0, 128), 'ink2': (0, 0, 255), 'subtitle': (0, 0, 0), 'top': WHITE, 'bottom': WHITE,
               'foot': WHITE, 'rule': (192, 192, 192), 'accent': (0, 128, 0), 'border': (0, 0, 128),
               'logo': {'disk': (0, 0, 128), 'slot': (0, 255, 255), 'arrow': (0, 255, 0), 'light': (0, 255, 0)}},
    'splish': {'ink': (0, 128, 128), 'ink2': (0, 128, 0), 'subtitle': (0, 0, 0), 'top': WHITE, 'bottom': WHITE,
               'foot': WHITE, 'rule': (192, 192, 192), 'accent': (0, 128, 0), 'border': (0, 128, 128),
               'logo': {'disk': (0, 128, 128), 'slot': (0, 255, 255), 'arrow': (0, 255, 0), 'light': (0, 255, 0)}},
}


def draw_splash(c, fonts):
    bold, condensed = fonts
    canvas = Canvas(SPLASH_W, SPLASH_H)
    top, bottom = c['top'], c['bottom']
    canvas.fill(lambda x, y: mix(top, bottom, y / SPLASH_FOOT), 0, 0, SPLASH_W, SPLASH_FOOT)
    canvas.fill(c['rule'], 0, SPLASH_FOOT, SPLASH_W, SPLASH_FOOT + 1)
    canvas.fill(c['foot'], 0, SPLASH_FOOT + 1, SPLASH_W, SPLASH_H)
    # A strip of the program's colour along the top edge.
    canvas.fill(c['ink'], 0, 0, SPLASH_W, 8)
    canvas.fill(c['accent'], 0, 8, SPLASH_W, 10)

    paint_scene(canvas, logo(Grid(112, 1), colours=c['logo']), 112, 20, 56)

    left = 144
    canvas.paint_coverage(bold.render('Tavrix', 22, left, 86), c['ink2'])
    canvas.paint_coverage(bold.render('Dovetrak 3', 40, left - 1, 128), c['ink'])
    canvas.fill(c['accent'], left + 1, 140, left + 61, 143)
    canvas.paint_coverage(condensed.render('Continuous backup to your own removable disk', 12, left, 166, 1.25),
                          c['subtitle'])

    # The border, solid where it meets the transparent outside.
    outer = rect(0, 0, SPLASH_W, SPLASH_H, SPLASH_RADIUS)
    canvas.paint(subtract(grow(outer, 2), grow(outer, -1)), c['border'])
    rows = canvas.rgb()
    for y in range(SPLASH_H):
        for x in range(SPLASH_W):
            if outer.dist(x + 0.5, y + 0.5) > 0:
                rows[y][x] = MAGENTA
    return rows


def check_splash(rows, name):
    """Magenta only outside the corners, nothing near magenta inside, and the
    version's corner plain."""
    outer = rect(0, 0, SPLASH_W, SPLASH_H, SPLASH_RADIUS)
    plain = set()
    for y, row in enumerate(rows):
        for x, p in enumerate(row):
            outside = outer.dist(x + 0.5, y + 0.5) > 0
            if outside != (p == MAGENTA):
                sys.exit('make-assets: %s: pixel (%d, %d) is %r' % (name, x, y, p))
            if not outside:
                if (p[0] - 255) ** 2 + p[1] ** 2 + (p[2] - 255) ** 2 < 120 ** 2:
                    sys.exit('make-assets: %s: pixel (%d, %d) is close to magenta' % (name, x, y))
                if PLAIN[0] <= x < PLAIN[2] and PLAIN[1] <= y < PLAIN[3] and outer.dist(x + 0.5, y + 0.5) < -1.5:
                    plain.add(p)
    if len(plain) != 1:
        sys.exit('make-assets: %s: the version corner is not plain: %r' % (name, sorted(plain)[:4]))


def write_splash(name, fonts):
    rows = draw_splash(SCHEMES[name], fonts)
    check_splash(rows, name + '24')
    save(name + '24.bmp', bmp(SPLASH_W, SPLASH_H, 24, rows))

    palette = median_cut(count_colours([rows], skip={MAGENTA}), 255)
    if MAGENTA in palette:
        sys.exit('make-assets: %s8: magenta in the palette' % name)
    palette.append(MAGENTA)
    index = nearest_mapper(palette, list(range(len(palette) - 1)))
    indexed = [[len(palette) - 1 if p == MAGENTA else index(p) for p in row] for row in rows]
    check_splash([[palette[i] for i in row] for row in indexed], name + '8')
    save(name + '8.bmp', bmp(SPLASH_W, SPLASH_H, 8, indexed, palette))

    rows = draw_splash(VGA_SCHEMES[name], fonts)
    magenta = VGA.index(MAGENTA)
    index = nearest_mapper(VGA, [k for k in range(16) if k != magenta])
    indexed = [[magenta if p == MAGENTA else index(p) for p in row] for row in rows]
    check_splash([[VGA[i] for i in row] for row in indexed], name + '4')
    save(name + '4.bmp', bmp(SPLASH_W, SPLASH_H, 4, indexed, VGA))


# ------------------------------------------------------------- animation

CLIP_W, CLIP_H = 260, 56
CLIP_FRAMES = 15
CLIP_SHEETS = 3
FOLDER_BACK, FOLDER_FRONT, FOLDER_EDGE = (222, 168, 58), (248, 204, 96), (170, 118, 30)
PAPER_EDGE, PAPER_LINES = (104, 116, 140), (168, 184, 212)


def sheet(t):
    """A sheet of paper t of the way from the folder to the disk."""
    x = 30 + (229 - 30) * t
    y = 34 + (38 - 34) * t - 23 * math.sin(math.pi * t)
    angle = -30 + 60 * t + 8 * math.sin(2 * math.pi * t)
    paper = rect(x - 6, y - 7.5, x + 6, y + 7.5, 0.8)
    parts = [(turned(paper, angle, x, y), PAPER_EDGE),
             (turned(grow(paper, -1), angle, x, y), WHITE)]
    for k in range(3):
        ly = y - 4 + 3 * k
        parts.append((turned(rect(x - 3.5, ly - 0.5, x + (3.5 if k < 2 else 1), ly + 0.5), angle, x, y), PAPER_LINES))
    return parts


def clip_frame(frame):
    canvas = Canvas(CLIP_W, CLIP_H, DIALOG)
    # The folder's back, the sheets leaving it, then its front over them.
    back = union(rect(8, 16, 52, 48, 3), rect(8, 12, 26, 20, 3))
    canvas.paint(back, FOLDER_EDGE)
    canvas.paint(back, FOLDER_BACK, grow_px=-1)
    times = [((frame + k * CLIP_FRAMES / CLIP_SHEETS) / CLIP_FRAMES) % 1.0 for k in range(CLIP_SHEETS)]
    for t in sorted(times, reverse=True):
        for shape, colour in sheet(t):
            canvas.paint(shape, colour)
    front = polygon((6, 24), (54, 24), (51, 49), (9, 49))
    canvas.paint(grow(front, 0.5), FOLDER_EDGE)
    canvas.paint(grow(front, -0.5), FOLDER_FRONT)
    # The disk; its light flashes as a sheet goes in.
    disk = rect(202, 24, 256, 49, 4)
    canvas.paint(disk, DISK_DARK)
    canvas.paint(disk, DISK, grow_px=-1)
    canvas.paint(rect(210, 34, 236, 38), SLOT)
    arriving = any(t > 1 - 1.5 / CLIP_FRAMES for t in times)
    canvas.paint(circle(246, 36, 3), (150, 255, 170) if arriving else GREEN_DARK)
    return canvas.rgb()


def write_clip():
    frames = [clip_frame(f) for f in range(CLIP_FRAMES)]
    palette = [DIALOG] + median_cut(count_colours(frames, skip={DIALOG}), 255)
    index = nearest_mapper(palette)
    frame_bytes = []
    for rows in frames:
        data = bytearray()
        for row in reversed(rows):
            data += bytes(index(p) for p in row)
        frame_bytes.append(bytes(data))
    save('copy.avi', avi(CLIP_W, CLIP_H, 10, palette, frame_bytes))


def chunk(fourcc, data):
    return fourcc + struct.pack('<I', len(data)) + data + (b'\0' if len(data) % 2 else b'')


def avi(width, height, rate, palette, frames):
    """An AVI file with one stream of uncompressed 8-bit frames and an index."""
    size = len(frames[0])
    palette = list(palette) + [(0, 0, 0)] * (256 - len(palette))
    avih = struct.pack('<14I', 1000000 // rate, size * rate, 0, 0x10, len(frames), 0, 1, size,
                       width, height, 0, 0, 0, 0)
    strh = struct.pack('<4s4sIHHIIIIIIIIhhhh', b'vids', b'DIB ', 0, 0, 0, 0, 1, rate, 0, len(frames),
                       size, 0xFFFFFFFF, 0, 0, 0, width, height)
    strf = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0, size, 0, 0, 256, 0)
    strf += b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    strl = chunk(b'LIST', b'strl' + chunk(b'strh', strh) + chunk(b'strf', strf))
    hdrl = chunk(b'LIST', b'hdrl' + chunk(b'avih', avih) + strl)
    movi = bytearray(b'movi')
    index = bytearray()
    for data in frames:
        index += struct.pack('<4sIII', b'00db', 0x10, len(movi), len(data))
        movi += chunk(b'00db', data)
    body = b'AVI ' + hdrl + chunk(b'LIST', bytes(movi)) + chunk(b'idx1', bytes(index))
    return b'RIFF' + struct.pack('<I', len(body)) + body


# ------------------------------------------------------------------ main

def main():
    os.makedirs(ART, exist_ok=True)
    bold = Font('DejaVuSans-Bold.ttf')
    condensed = Font('DejaVuSansCondensed.ttf')
    condensed_bold = Font('DejaVuSansCondensed-Bold.ttf')

    write_ico('Dovetrak3.ico', icon_program)
    write_ico('TrayIdle.ico', icon_tray)
    for step in range(1, 6):
        write_ico('TrayFrame%d.ico' % step, icon_tray_frame(step))

    def label(text, colour, centre, baseline):
        # Text on the icon's label, only where it can be read.
        return {32: [(condensed_bold, text, 9, centre * 2, baseline * 2, colour)],
                48: [(condensed_bold, text, 13.5, centre * 3, baseline * 3, colour)]}
    write_ico('DriveUsbStick.ico', icon_usb_stick)
    write_ico('DriveSdCard.ico', icon_sd_card, label('SD', NAVY, 8, 13.4))
    write_ico('DriveUsbDisk.ico', icon_usb_disk)
    write_ico('DriveCartridge.ico', icon_cartridge)
    write_ico('DriveCardReader.ico', icon_card_reader)
    write_ico('DriveCfCard.ico', icon_cf_card, label('CF', NAVY, 8, 9.9))
    write_ico('DrivePortableSsd.ico', icon_portable_ssd)
    write_ico('DriveRemovable.ico', icon_removable)

    write_background()
    write_wizard_side()
    for name in ('splash', 'splish'):
        write_splash(name, (bold, condensed))
    write_clip()


if __name__ == '__main__':
    main()
