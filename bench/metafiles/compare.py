# compare.py BINARY WORKDIR FILES...: draws each metafile with zindrel-convert
# --save-picture, has LibreOffice draw it at the same size (kept in
# WORKDIR/ref for the next run), and prints the correlation of the two grey
# pictures after a slight blur; 0.9 or more counts as matching. The two
# pictures may sit a pixel apart (the renderers round the placement of the
# picture differently), so the best correlation over shifts of up to one
# pixel each way counts; the unshifted one is printed beside it.
import sys, os, subprocess
import numpy as np
from PIL import Image, ImageFilter
binary, out = sys.argv[1], sys.argv[2]
files = sys.argv[3:]
os.makedirs(out + "/ours", exist_ok=True)
refdir = out + "/ref"
os.makedirs(refdir, exist_ok=True)
todo = []
results = {}
for f in files:
    name = os.path.basename(f)
    png = f"{out}/ours/{name}.png"
    try:
        r = subprocess.run([binary, "-s", "30", "-o", "/dev/null", "--save-picture", png, f], capture_output=True, timeout=120)
        err = r.stderr.decode(errors="replace").strip()
    except subprocess.TimeoutExpired:
        err = "timeout"
    if not os.path.exists(png):
        results[f] = (None, err); continue
    w, h = Image.open(png).size
    ref = f"{refdir}/{name}.{w}x{h}.png"
    if not os.path.exists(ref): todo.append(f"{os.path.abspath(f)} {ref} {w} {h}")
    results[f] = (png, err)
if todo:
    open(out + "/lo.txt", "w").write("\n".join(todo) + "\n")
    subprocess.run([sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), "lo_render.py"),
                    out + "/lo.txt"], timeout=3000)
def grey(path, size=None, over_white=False):
    # LibreOffice's PNGs hold in their colour channels the picture already
    # drawn over white, and in their alpha channel the coverage besides:
    # laying them over white once more would pale every smoothed edge and
    # every translucent fill a second time, so their colours are read as
    # they are.
    im = Image.open(path)
    if over_white:
        im = im.convert("RGB").convert("L")
    else:
        im = im.convert("RGBA")
        bg = Image.new("RGBA", im.size, (255, 255, 255, 255))
        im = Image.alpha_composite(bg, im).convert("L")
    if size and im.size != size: im = im.resize(size)
    return np.asarray(im.filter(ImageFilter.GaussianBlur(1.5)), dtype=np.float64)
match = 0
for f, (png, err) in results.items():
    name = os.path.basename(f)
    if png is None:
        print(f"{name}\tFAIL\t{err}"); continue
    w, h = Image.open(png).size
    ref = f"{refdir}/{name}.{w}x{h}.png"
    if not os.path.exists(ref):
        print(f"{name}\tNOREF\t{err}"); continue
    # LibreOffice keeps its pictures under about half a million pixels
    # whatever size is asked for; ours is brought down to the size it gave
    # rather than its picture blown up to ours.
    size = Image.open(ref).size
    a = grey(png, size if size[0] * size[1] < w * h else (w, h))
    b = grey(ref, (a.shape[1], a.shape[0]), over_white=True)
    def corr(a, b):
        if a.std() < 1 or b.std() < 1:
            return 1.0 if abs(a.mean() - b.mean()) < 8 and a.std() < 1 and b.std() < 1 else 0.0
        return float(np.corrcoef(a.ravel(), b.ravel())[0, 1])
    plain = corr(a, b)
    c = plain
    h, w = a.shape
    if h > 4 and w > 4:
        for dy in (-1, 0, 1):
            for dx in (-1, 0, 1):
                if dx or dy:
                    c = max(c, corr(a[max(0, dy):h + min(0, dy), max(0, dx):w + min(0, dx)],
                                    b[max(0, -dy):h + min(0, -dy), max(0, -dx):w + min(0, -dx)]))
    match += c >= 0.9
    print(f"{name}\t{c:.3f}\t{plain:.3f}\t{err}")
print(f"matching {match} of {len(results)}")
