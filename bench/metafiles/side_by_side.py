# side_by_side.py WORKDIR OUT.png NAME...: our picture, LibreOffice's and
# where they differ (red: ink only in ours, blue: ink only in LibreOffice's),
# one row per file, each panel fitted into 240 x 240, for looking at
# mismatches (run compare.py first; it leaves WORKDIR/ours and WORKDIR/ref).
import sys, os, glob
import numpy as np
from PIL import Image, ImageDraw
work, out, names = sys.argv[1], sys.argv[2], sys.argv[3:]
S = 240
rows = []
for name in names:
    ours = f"{work}/ours/{name}.png"
    refs = glob.glob(f"{work}/ref/{name}.*.png")
    if not os.path.exists(ours) or not refs: continue
    def load(p, over_white=False):
        # LibreOffice's colours are already laid over white (compare.py)
        if over_white: return Image.open(p).convert("RGB")
        im = Image.open(p).convert("RGBA")
        bg = Image.new("RGBA", im.size, (255, 255, 255, 255))
        return Image.alpha_composite(bg, im).convert("RGB")
    a = load(ours); b = load(refs[0], True).resize(a.size)
    ga = np.asarray(a.convert("L"), dtype=np.int32); gb = np.asarray(b.convert("L"), dtype=np.int32)
    d = np.full(ga.shape + (3,), 255, dtype=np.uint8)
    only_a = (ga < 200) & (gb >= 200); only_b = (gb < 200) & (ga >= 200); both = (ga < 200) & (gb < 200)
    d[both] = (170, 170, 170); d[only_a] = (220, 0, 0); d[only_b] = (0, 0, 220)
    diff = Image.fromarray(d)
    row = Image.new("RGB", (3 * S + 20, S + 16), "white")
    for i, im in enumerate((a, b, diff)):
        f = S / max(im.size)
        t = im.resize((max(1, round(im.size[0] * f)), max(1, round(im.size[1] * f))), Image.NEAREST if f > 1 else Image.LANCZOS)
        row.paste(t, (i * (S + 10), 16))
    ImageDraw.Draw(row).text((2, 2), f"{name}  {a.size[0]}x{a.size[1]}  ours | LibreOffice | red ours only, blue LO only", fill="black")
    rows.append(row)
sheet = Image.new("RGB", (3 * S + 20, max(1, len(rows)) * (S + 20)), "white")
for i, r in enumerate(rows): sheet.paste(r, (0, i * (S + 20)))
sheet.save(out)
