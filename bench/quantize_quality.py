#!/usr/bin/python3
"""How close vorm-cli --colors N comes to the plain mosaic, next to other quantisers.

For each photo and N, the plain mosaic is made with vorm-cli, then quantised to N colours by
ImageMagick (-colors N +dither), Pillow's median cut and fast octree (no dither), and
libimagequant (pngquant --nofs, and Pillow's LIBIMAGEQUANT where it is built in); vorm-cli makes
its own N-colour mosaic. Each is scored by the mean CIEDE2000 to the plain mosaic, pixel by
pixel, in CIELAB (D65) from sRGB. The goal: VORM's at most 0.9 x the best of the others.

    bench/quantize_quality.py VORM_CLI PHOTO... [--colors 8,16,32] [--shape hexagon --cell 8]

Needs Debian's python3-pil, python3-numpy, imagemagick and pngquant; a tool that is missing is
left out of the table.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image


def srgb_to_lab(rgb):
    c = rgb.astype(np.float64) / 255.0
    lin = np.where(c <= 0.04045, c / 12.92, ((c + 0.055) / 1.055) ** 2.4)
    m = np.array([[0.4124564, 0.3575761, 0.1804375],
                  [0.2126729, 0.7151522, 0.0721750],
                  [0.0193339, 0.1191920, 0.9503041]])
    xyz = lin @ m.T
    white = m.sum(axis=1)
    t = xyz / white
    eps = 216 / 24389
    kappa = 24389 / 27
    f = np.where(t > eps, np.cbrt(t), (kappa * t + 16) / 116)
    return np.stack([116 * f[..., 1] - 16, 500 * (f[..., 0] - f[..., 1]),
                     200 * (f[..., 1] - f[..., 2])], axis=-1)


def delta_e2000(lab1, lab2):
    L1, a1, b1 = lab1[..., 0], lab1[..., 1], lab1[..., 2]
    L2, a2, b2 = lab2[..., 0], lab2[..., 1], lab2[..., 2]
    C1 = np.hypot(a1, b1)
    C2 = np.hypot(a2, b2)
    Cm7 = ((C1 + C2) / 2) ** 7
    G = 0.5 * (1 - np.sqrt(Cm7 / (Cm7 + 25.0 ** 7)))
    a1p, a2p = (1 + G) * a1, (1 + G) * a2
    c1, c2 = np.hypot(a1p, b1), np.hypot(a2p, b2)
    h1 = np.where((b1 == 0) & (a1p == 0), 0, np.degrees(np.arctan2(b1, a1p)) % 360)
    h2 = np.where((b2 == 0) & (a2p == 0), 0, np.degrees(np.arctan2(b2, a2p)) % 360)
    dL = L2 - L1
    dC = c2 - c1
    prod = c1 * c2
    dh = h2 - h1
    dh = np.where(dh > 180, dh - 360, np.where(dh < -180, dh + 360, dh))
    dh = np.where(prod == 0, 0, dh)
    dH = 2 * np.sqrt(prod) * np.sin(np.radians(dh) / 2)
    Lm = (L1 + L2) / 2
    Cm = (c1 + c2) / 2
    hs = h1 + h2
    hm = np.where(prod == 0, hs,
                  np.where(np.abs(h1 - h2) <= 180, hs / 2,
                           np.where(hs < 360, (hs + 360) / 2, (hs - 360) / 2)))
    T = (1 - 0.17 * np.cos(np.radians(hm - 30)) + 0.24 * np.cos(np.radians(2 * hm))
         + 0.32 * np.cos(np.radians(3 * hm + 6)) - 0.20 * np.cos(np.radians(4 * hm - 63)))
    dTheta = 30 * np.exp(-((hm - 275) / 25) ** 2)
    Cm7p = Cm ** 7
    RC = 2 * np.sqrt(Cm7p / (Cm7p + 25.0 ** 7))
    SL = 1 + 0.015 * (Lm - 50) ** 2 / np.sqrt(20 + (Lm - 50) ** 2)
    SC = 1 + 0.045 * Cm
    SH = 1 + 0.015 * Cm * T
    RT = -np.sin(np.radians(2 * dTheta)) * RC
    l, c, h = dL / SL, dC / SC, dH / SH
    return np.sqrt(np.maximum(0, l * l + c * c + h * h + RT * c * h))


def rgb_of(path):
    img = Image.open(path)
    if img.mode in ("RGBA", "LA", "P"):
        img = img.convert("RGBA")
        bg = Image.new("RGBA", img.size, (255, 255, 255, 255))
        img = Image.alpha_composite(bg, img)
    return np.asarray(img.convert("RGB"))


def score(plain_lab, path):
    return float(delta_e2000(plain_lab, srgb_to_lab(rgb_of(path))).mean())


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("cli")
    ap.add_argument("photos", nargs="+")
    ap.add_argument("--colors", default="8,16,32")
    ap.add_argument("--shape", default="hexagon")
    ap.add_argument("--cell", default="8")
    ap.add_argument("--keep", help="folder to keep the pictures in")
    args = ap.parse_args()
    counts = [int(n) for n in args.colors.split(",")]
    work = args.keep or tempfile.mkdtemp(prefix="vorm-quality-")
    os.makedirs(work, exist_ok=True)
    have_im = shutil.which("convert") is not None
    have_pq = shutil.which("pngquant") is not None
    pillow_liq = "LIBIMAGEQUANT" in Image.Quantize.__members__ and \
        Image.core.HAVE_LIBIMAGEQUANT if hasattr(Image.core, "HAVE_LIBIMAGEQUANT") else False
    worst_ratio = 0.0
    print(f"{'photo':<22} {'N':>3} {'VORM':>6} {'IM':>6} {'PIL-mc':>6} {'PIL-oct':>7} "
          f"{'pngquant':>8} {'PIL-liq':>7}  ratio")
    for photo in args.photos:
        base = os.path.splitext(os.path.basename(photo))[0]
        plain = os.path.join(work, f"{base}-plain.png")
        if os.path.exists(plain):
            os.remove(plain)
        subprocess.run([args.cli, "--quiet", "--shape", args.shape, "--cell", args.cell, photo,
                        plain], check=True, stderr=subprocess.DEVNULL)
        plain_rgb = rgb_of(plain)
        plain_lab = srgb_to_lab(plain_rgb)
        plain_img = Image.fromarray(plain_rgb)
        for n in counts:
            results = {}
            ours = os.path.join(work, f"{base}-vorm-{n}.png")
            if os.path.exists(ours):
                os.remove(ours)
            subprocess.run([args.cli, "--quiet", "--shape", args.shape, "--cell", args.cell,
                            "--colors", str(n), photo, ours], check=True,
                           stderr=subprocess.DEVNULL)
            results["VORM"] = score(plain_lab, ours)
            if have_im:
                out = os.path.join(work, f"{base}-im-{n}.png")
                subprocess.run(["convert", plain, "-alpha", "off", "+dither", "-colors", str(n),
                                out], check=True)
                results["IM"] = score(plain_lab, out)
            for name, method in (("PIL-mc", Image.Quantize.MEDIANCUT),
                                 ("PIL-oct", Image.Quantize.FASTOCTREE)):
                out = os.path.join(work, f"{base}-{name}-{n}.png")
                plain_img.quantize(n, method=method, dither=Image.Dither.NONE).save(out)
                results[name] = score(plain_lab, out)
            if have_pq:
                out = os.path.join(work, f"{base}-pq-{n}.png")
                subprocess.run(["pngquant", "--force", "--nofs", "--speed", "1", "--output", out,
                                str(n), plain], check=True)
                results["pngquant"] = score(plain_lab, out)
            if pillow_liq:
                out = os.path.join(work, f"{base}-liq-{n}.png")
                plain_img.quantize(n, method=Image.Quantize.LIBIMAGEQUANT,
                                   dither=Image.Dither.NONE).save(out)
                results["PIL-liq"] = score(plain_lab, out)
            best = min(v for k, v in results.items() if k != "VORM")
            ratio = results["VORM"] / best
            worst_ratio = max(worst_ratio, ratio)
            cell = lambda k, w: f"{results[k]:>{w}.3f}" if k in results else f"{'-':>{w}}"
            print(f"{base:<22} {n:>3} {cell('VORM', 6)} {cell('IM', 6)} {cell('PIL-mc', 6)} "
                  f"{cell('PIL-oct', 7)} {cell('pngquant', 8)} {cell('PIL-liq', 7)}  {ratio:.3f}")
    print(f"worst ratio VORM / best other: {worst_ratio:.3f} (goal: at most 0.900)")
    return 0 if worst_ratio <= 0.9 else 1


if __name__ == "__main__":
    sys.exit(main())
