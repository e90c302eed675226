#!/usr/bin/python3
"""Paints the background templates of resources/template procedurally: studio
backdrops, bokeh, paper and linen, a simple interior, sky and landscape, stone and
wood for products. Every picture is seeded, so a run reproduces the committed files.

Each background n gets a 76 x 76 thumbnail template_n.png cut from its centre.
Number 1 is the "no background" choice of the program, so it is the transparency
checkerboard rather than a scene.
"""
import os

import cv2
import numpy as np

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
OUT = os.path.join(ROOT, "resources", "template")
THUMB = 76


def hex_rgb(h):
    h = h.lstrip("#")
    return np.array([int(h[i:i + 2], 16) for i in (0, 2, 4)], np.float32) / 255.0


def grid(w, h):
    y, x = np.mgrid[0:h, 0:w].astype(np.float32)
    return x / (w - 1), y / (h - 1)


def mix(a, b, t):
    t = np.clip(t, 0.0, 1.0)[..., None]
    return a * (1.0 - t) + b * t


def vertical(w, h, stops):
    """Gradient from top to bottom through (position, colour) stops."""
    _, y = grid(w, h)
    img = np.zeros((h, w, 3), np.float32)
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        seg = (y >= p0) & (y <= p1)
        t = (y - p0) / max(p1 - p0, 1e-6)
        img[seg] = mix(hex_rgb(c0), hex_rgb(c1), t)[seg]
    return img


def radial(w, h, cx, cy, inner, outer, radius):
    x, y = grid(w, h)
    aspect = w / h
    d = np.sqrt(((x - cx) * aspect) ** 2 + (y - cy) ** 2) / radius
    return mix(hex_rgb(inner), hex_rgb(outer), d ** 1.4)


def vignette(img, strength=0.35, softness=1.6):
    h, w, _ = img.shape
    x, y = grid(w, h)
    d = np.sqrt((x - 0.5) ** 2 + (y - 0.5) ** 2) / 0.7071
    return img * (1.0 - strength * d ** softness)[..., None]


def fractal(w, h, rng, base=4, octaves=5, persistence=0.5):
    """Smooth value noise in [0, 1] built from upscaled random grids."""
    total = np.zeros((h, w), np.float32)
    amp, norm = 1.0, 0.0
    for o in range(octaves):
        cells = base * 2 ** o
        small = rng.random((max(2, int(cells * h / w)) + 1, cells + 1)).astype(np.float32)
        total += amp * cv2.resize(small, (w, h), interpolation=cv2.INTER_CUBIC)
        norm += amp
        amp *= persistence
    total /= norm
    return np.clip((total - total.min()) / (np.ptp(total) + 1e-6), 0, 1)


def grain(img, rng, amount=0.012):
    return img + rng.normal(0.0, amount, img.shape[:2]).astype(np.float32)[..., None]


def bokeh(img, rng, count, colours, rmin, rmax, blur, alpha=(0.15, 0.45)):
    h, w, _ = img.shape
    layer = np.zeros_like(img)
    weight = np.zeros((h, w), np.float32)
    for _ in range(count):
        c = hex_rgb(colours[rng.integers(len(colours))])
        r = int(rng.uniform(rmin, rmax))
        cx, cy = int(rng.uniform(0, w)), int(rng.uniform(0, h))
        a = rng.uniform(*alpha)
        disc = np.zeros((h, w), np.float32)
        cv2.circle(disc, (cx, cy), r, 1.0, -1, cv2.LINE_AA)
        # Brighter rim, like a real out-of-focus highlight.
        cv2.circle(disc, (cx, cy), r, 1.35, max(2, r // 12), cv2.LINE_AA)
        disc *= a
        layer += disc[..., None] * c
        weight += disc
    k = blur | 1
    layer = cv2.GaussianBlur(layer, (k, k), 0)
    weight = cv2.GaussianBlur(weight, (k, k), 0)
    return img * (1 - np.clip(weight, 0, 1)[..., None]) + layer


def checkerboard(w, h, cell=16):
    y, x = np.mgrid[0:h, 0:w]
    light = ((x // cell + y // cell) % 2 == 0)
    img = np.empty((h, w, 3), np.float32)
    img[:] = hex_rgb("#FFFFFF")
    img[~light] = hex_rgb("#E3E7EE")
    return img


# --- the backgrounds ---------------------------------------------------------------

def studio_warm(w, h, rng):
    img = radial(w, h, 0.5, 0.42, "#F4E6D4", "#9C7B5E", 1.1)
    img = mix(img, img * 0.92, fractal(w, h, rng, base=3) * 0.8)
    return grain(vignette(img, 0.3), rng, 0.01)


def bokeh_teal(w, h, rng):
    img = vertical(w, h, [(0, "#0F3B47"), (0.6, "#175E63"), (1, "#0B2A33")])
    img = bokeh(img, rng, 70, ["#9FE3D6", "#E9F7C8", "#6CC3D5", "#FFFFFF"], 25, 110, 31)
    return vignette(img, 0.25)


def pastel_dream(w, h, rng):
    x, y = grid(w, h)
    img = mix(hex_rgb("#FBD3E0"), hex_rgb("#C9C6F6"), (x * 0.4 + y * 0.8))
    img = mix(img, hex_rgb("#FFF1D6"), np.exp(-((x - 0.2) ** 2 + (y - 0.15) ** 2) / 0.05) * 0.8)
    img = bokeh(img, rng, 30, ["#FFFFFF", "#FFE3EE"], 40, 160, 61, (0.12, 0.3))
    return grain(img, rng, 0.006)


def linen(w, h, rng):
    base = hex_rgb("#EDE4D3")
    fx = cv2.resize(rng.random((1, w // 2)).astype(np.float32), (w, h), interpolation=cv2.INTER_LINEAR)
    fy = cv2.resize(rng.random((h // 2, 1)).astype(np.float32), (w, h), interpolation=cv2.INTER_LINEAR)
    weave = (fx + fy) * 0.5 - 0.5
    fine = rng.normal(0, 1, (h, w)).astype(np.float32)
    fine = cv2.GaussianBlur(fine, (3, 3), 0)
    blotch = fractal(w, h, rng, base=3) - 0.5
    shade = 1 + 0.06 * weave + 0.025 * fine + 0.05 * blotch
    img = base[None, None, :] * shade[..., None]
    return vignette(img, 0.18)


def sky(w, h, rng):
    img = vertical(w, h, [(0, "#3F86D9"), (0.55, "#8EC2F0"), (1, "#E3F1FB")])
    x, y = grid(w, h)
    clouds = fractal(w, h, rng, base=3, octaves=6, persistence=0.55)
    clouds = np.clip((clouds - 0.52) * 3.2, 0, 1) * np.clip(1.2 - y, 0, 1)
    img = mix(img, hex_rgb("#FFFFFF"), clouds * 0.9)
    return grain(img, rng, 0.005)


def mountains(w, h, rng):
    img = vertical(w, h, [(0, "#F6C9A5"), (0.45, "#F3DEC9"), (1, "#DCE6EE")])
    x, _ = grid(w, h)
    layers = [("#AEB9CC", 0.50, 0.10), ("#8494AE", 0.60, 0.09), ("#5E6F8C", 0.72, 0.08), ("#3D4B63", 0.84, 0.06)]
    yy = np.arange(h, dtype=np.float32)[:, None] / (h - 1)
    haze = np.broadcast_to(np.exp(-((yy - 0.62) ** 2) / 0.004), (h, w))
    for i, (colour, level, amp) in enumerate(layers):
        if i == 2:
            # Haze between the far and the near ranges.
            img = mix(img, hex_rgb("#F4E7DA"), haze * 0.5)
        ridge = cv2.resize(rng.random((1, 9)).astype(np.float32), (w, 1), interpolation=cv2.INTER_CUBIC)[0]
        detail = cv2.resize(rng.random((1, 60)).astype(np.float32), (w, 1), interpolation=cv2.INTER_CUBIC)[0]
        line = level - amp * ridge - amp * 0.25 * detail
        mask = (yy > line[None, :]).astype(np.float32)
        mask = cv2.GaussianBlur(mask, (5, 5), 0)
        img = mix(img, hex_rgb(colour), mask)
    return grain(img, rng, 0.006)


def interior(w, h, rng):
    x, y = grid(w, h)
    wall = vertical(w, h, [(0, "#EFE8DF"), (1, "#E2D6C6")])
    wall = wall * (1 + 0.03 * (fractal(w, h, rng, base=4) - 0.5))[..., None]
    floor_top = 0.78
    img = wall.copy()
    # Panelled wainscoting below the chair rail.
    rail = 0.55
    panel = (y > rail) & (y < floor_top)
    img[panel] = img[panel] * 0.96
    xs = (x * 6) % 1.0
    frame = panel & ((np.abs(xs - 0.06) < 0.006) | (np.abs(xs - 0.94) < 0.006) |
                     (np.abs(y - rail - 0.03) < 0.003) | (np.abs(y - floor_top + 0.03) < 0.003))
    frame &= (xs > 0.055) & (xs < 0.945)
    img[frame] = img[frame] * 0.88
    img[np.abs(y - rail) < 0.006] = hex_rgb("#F7F2EA")
    # Wooden floor.
    fl = y >= floor_top
    planks = fractal(w, h, rng, base=2, octaves=3)
    wood = mix(hex_rgb("#A97E57"), hex_rgb("#7C5638"), planks * 0.8 + (y - floor_top) * 1.2)
    seams = (np.abs(((x + (np.floor((y - floor_top) * 20) % 2) * 0.1) * 5) % 1.0) < 0.004)
    wood[seams] *= 0.8
    img[fl] = wood[fl]
    img[np.abs(y - floor_top) < 0.004] = hex_rgb("#FAF6F0")
    # Window light falling on the wall.
    beam = np.exp(-(((x - 0.72) - (y - 0.3) * 0.35) ** 2) / 0.012) * np.clip(1.0 - y, 0, 1)
    img = img + beam[..., None] * 0.12
    return grain(vignette(img, 0.3), rng, 0.008)


def id_blue(w, h, rng):
    img = radial(w, h, 0.5, 0.35, "#8CC0F7", "#3C7FD6", 1.0)
    return grain(img, rng, 0.005)


def golden_bokeh(w, h, rng):
    img = vertical(w, h, [(0, "#3A2414"), (0.5, "#6B4020"), (1, "#2A170C")])
    img = bokeh(img, rng, 90, ["#FFD27A", "#FFB347", "#FFE7B3", "#F7A35C"], 20, 90, 25)
    return vignette(img, 0.3)


def turbulence(w, h, rng, base, octaves):
    """Sum of folded noise octaves: sharp creases like the veins in stone."""
    total = np.zeros((h, w), np.float32)
    amp = 1.0
    for o in range(octaves):
        cells = base * 2 ** o
        small = rng.random((max(2, int(cells * h / w)) + 1, cells + 1)).astype(np.float32)
        total += amp * np.abs(cv2.resize(small, (w, h), interpolation=cv2.INTER_CUBIC) * 2 - 1)
        amp *= 0.5
    return total


def marble(w, h, rng):
    x, y = grid(w, h)
    turb = turbulence(w, h, rng, base=3, octaves=6)
    veins = 1.0 - np.abs(np.sin((x * 1.2 + y * 0.8 + turb * 0.9) * np.pi * 2.0)) ** 0.35
    faint = 1.0 - np.abs(np.sin((x * 0.6 - y * 1.1 + turb * 1.4) * np.pi * 3.0)) ** 0.2
    cloud = fractal(w, h, rng, base=4, octaves=6, persistence=0.6)
    img = mix(hex_rgb("#F8F7F4"), hex_rgb("#E6E2DC"), cloud * 0.8)
    img = mix(img, hex_rgb("#9E978C"), veins * 0.55)
    img = mix(img, hex_rgb("#C4BEB5"), faint * 0.3)
    img = cv2.GaussianBlur(img, (0, 0), 0.8)
    return grain(vignette(img, 0.12), rng, 0.004)


def wood_table(w, h, rng):
    x, y = grid(w, h)
    horizon = 0.6
    img = vertical(w, h, [(0, "#D9DFE3"), (horizon, "#F2F3F1"), (1, "#F2F3F1")])
    depth = np.clip((y - horizon) / (1 - horizon), 0, 1)
    # Grain: noise stretched along the boards, which run towards the viewer's sides.
    streaks = cv2.resize(rng.random((120, 6)).astype(np.float32), (w, h), interpolation=cv2.INTER_CUBIC)
    streaks = np.clip(streaks, 0, 1)
    knots = fractal(w, h, rng, base=3, octaves=3)
    tone = streaks * 0.6 + knots * 0.4
    wood = mix(hex_rgb("#D2A577"), hex_rgb("#8E5F38"), tone)
    boards = np.abs(((y - horizon) * 9.0 / (0.4 + depth)) % 1.0) < 0.02
    wood[boards] *= 0.82
    wood = wood * (0.9 + 0.15 * depth)[..., None]
    table = y >= horizon
    img[table] = wood[table]
    img[np.abs(y - horizon) < 0.003] = hex_rgb("#F7E9D7")
    shadow = np.exp(-((y - horizon) ** 2) / 0.002) * (y < horizon)
    img *= (1 - 0.18 * shadow)[..., None]
    return grain(vignette(img, 0.22), rng, 0.006)


def kraft(w, h, rng):
    n = fractal(w, h, rng, base=6, octaves=6, persistence=0.55)
    fibres = cv2.GaussianBlur(rng.normal(0, 1, (h, w)).astype(np.float32), (0, 0), 0.8)
    img = mix(hex_rgb("#C9A77C"), hex_rgb("#B38D60"), n)
    img = img * (1 + 0.035 * fibres)[..., None]
    return vignette(img, 0.22)


def garden(w, h, rng):
    img = vertical(w, h, [(0, "#CFE7B4"), (0.5, "#6FA657"), (1, "#2F5A2C")])
    img = bokeh(img, rng, 80, ["#E8F6C8", "#A9D98A", "#FFFFFF", "#5E9A48"], 30, 120, 41)
    return vignette(img, 0.3)


def abstract_waves(w, h, rng):
    x, y = grid(w, h)
    img = mix(hex_rgb("#FFE2C6"), hex_rgb("#F6A6A0"), y)
    for i, colour in enumerate(["#F9C7A8", "#F29C9C", "#E5879F", "#C97AA4"]):
        phase = rng.uniform(0, 2 * np.pi)
        line = 0.45 + 0.13 * i + 0.05 * np.sin(x * np.pi * 2.2 + phase)
        mask = cv2.GaussianBlur((y > line).astype(np.float32), (0, 0), 3)
        img = mix(img, hex_rgb(colour), mask * 0.85)
    return grain(img, rng, 0.006)


def grey_studio(w, h, rng):
    img = radial(w, h, 0.5, 0.38, "#E9ECEF", "#5D636B", 1.05)
    return grain(vignette(img, 0.25), rng, 0.01)


# number, width, height, painter; the sizes vary so portrait and landscape both fit.
BACKGROUNDS = [
    (2, 1500, 1000, studio_warm),
    (3, 1500, 1000, bokeh_teal),
    (4, 1500, 2250, pastel_dream),
    (5, 1500, 1125, linen),
    (6, 1500, 1000, sky),
    (7, 1500, 911, mountains),
    (8, 1500, 1000, interior),
    (9, 1500, 2000, id_blue),
    (10, 1500, 1000, golden_bokeh),
    (11, 1500, 1125, marble),
    (12, 1500, 1000, wood_table),
    (13, 1500, 1500, kraft),
    (14, 1500, 1000, garden),
    (15, 1500, 2250, abstract_waves),
]


def to_bgr8(img):
    return (np.clip(img, 0, 1)[..., ::-1] * 255 + 0.5).astype(np.uint8)


def thumbnail(bgr):
    h, w = bgr.shape[:2]
    side = min(w, h)
    y0, x0 = (h - side) // 2, (w - side) // 2
    return cv2.resize(bgr[y0:y0 + side, x0:x0 + side], (THUMB, THUMB), interpolation=cv2.INTER_AREA)


def main():
    os.makedirs(OUT, exist_ok=True)
    first = to_bgr8(checkerboard(747, 525, 21))
    cv2.imwrite(os.path.join(OUT, "bg1.png"), first, [cv2.IMWRITE_PNG_COMPRESSION, 9])
    cv2.imwrite(os.path.join(OUT, "template_1.png"), to_bgr8(checkerboard(THUMB, THUMB, 9)))
    for number, w, h, painter in BACKGROUNDS:
        rng = np.random.default_rng(1000 + number)
        bgr = to_bgr8(painter(w, h, rng))
        cv2.imwrite(os.path.join(OUT, f"bg{number}.jpg"), bgr, [cv2.IMWRITE_JPEG_QUALITY, 86])
        cv2.imwrite(os.path.join(OUT, f"template_{number}.png"), thumbnail(bgr))


if __name__ == "__main__":
    main()
