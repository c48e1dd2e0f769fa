# lo_render.py LISTFILE: renders metafiles with LibreOffice's own graphic
# filter to PNGs of a given pixel size (lines: input output.png width height).
import sys, time, subprocess, uno, os
from com.sun.star.beans import PropertyValue
def P(n, v):
    p = PropertyValue(); p.Name = n; p.Value = v; return p
pipe = "zindrel-render"
proc = subprocess.Popen(["soffice", "--headless", "--invisible", "--norestore", "--nologo",
                         f"--accept=pipe,name={pipe};urp;"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
for _ in range(60):
    try:
        ctx = resolver.resolve(f"uno:pipe,name={pipe};urp;StarOffice.ComponentContext"); break
    except Exception:
        time.sleep(0.5)
smgr = ctx.ServiceManager
gp = smgr.createInstanceWithContext("com.sun.star.graphic.GraphicProvider", ctx)
for line in open(sys.argv[1]):
    parts = line.split()
    if len(parts) != 4: continue
    src, dst, w, h = parts[0], parts[1], int(parts[2]), int(parts[3])
    try:
        g = gp.queryGraphic((P("URL", uno.systemPathToFileUrl(os.path.abspath(src))),))
        fd = uno.Any("[]com.sun.star.beans.PropertyValue", (P("PixelWidth", w), P("PixelHeight", h)))
        gp.storeGraphic(g, (P("URL", uno.systemPathToFileUrl(os.path.abspath(dst))), P("MimeType", "image/png"), P("FilterData", fd)))
    except Exception as e:
        print("failed", src, e, file=sys.stderr)
try:
    smgr.createInstanceWithContext("com.sun.star.frame.Desktop", ctx).terminate()
except Exception:
    pass
proc.wait(timeout=30)
