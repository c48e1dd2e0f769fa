# gen_docs.py OUTDIR: makes Draw pages with text in Windows faces, rotated
# text, Symbol and Wingdings text, Chinese text, text in other scripts,
# shapes, connectors with arrows, dashes, hatches, bitmap and gradient
# fills, transparency and shadows, and fifteen kinds of chart, and
# exports each page as EMF and WMF through LibreOffice's graphic export
# filter.
import sys, time, subprocess, uno, os
from com.sun.star.beans import PropertyValue
from com.sun.star.awt import Point, Size
def P(n, v):
    p = PropertyValue(); p.Name = n; p.Value = v; return p
out = sys.argv[1]; os.makedirs(out, exist_ok=True)
pipe = "zindrel-gen"
proc = subprocess.Popen(["soffice", "--headless", "--invisible", "--norestore", "--nologo", f"--accept=pipe,name={pipe};urp;"],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
local = uno.getComponentContext()
resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
for _ in range(60):
    try:
        ctx = resolver.resolve(f"uno:pipe,name={pipe};urp;StarOffice.ComponentContext"); break
    except Exception: time.sleep(0.5)
smgr = ctx.ServiceManager
desktop = smgr.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
doc = desktop.loadComponentFromURL("private:factory/sdraw", "_blank", 0, (P("Hidden", True),))

def text(page, x, y, w, h, s, font, size, rot=0, bold=False, italic=False, colour=0):
    sh = doc.createInstance("com.sun.star.drawing.TextShape")
    page.add(sh)
    sh.Position = Point(x, y); sh.Size = Size(w, h)
    sh.String = s
    sh.CharFontName = font; sh.CharFontNameAsian = font; sh.CharHeight = size; sh.CharHeightAsian = size
    sh.CharColor = colour
    if bold: sh.CharWeight = 150
    if italic:
        from com.sun.star.awt.FontSlant import ITALIC
        sh.CharPosture = ITALIC
    if rot: sh.RotateAngle = rot
    return sh

def shape(page, kind, x, y, w, h, fill=0x3366CC, line=0):
    sh = doc.createInstance("com.sun.star.drawing." + kind)
    page.add(sh)
    sh.Position = Point(x, y); sh.Size = Size(w, h)
    sh.FillColor = fill; sh.LineColor = line
    return sh

def chart(page, kind, titles=True, **props):
    sh = doc.createInstance("com.sun.star.drawing.OLE2Shape")
    page.add(sh)
    sh.CLSID = "12dcae26-281f-416f-a234-c3086127382e"
    sh.Position = Point(500, 500); sh.Size = Size(16000, 10000)
    model = sh.Model
    model.setDiagram(model.createInstance("com.sun.star.chart." + kind))
    d = model.Diagram
    for k, v in props.items(): setattr(d, k, v)
    model.HasMainTitle = True; model.Title.String = kind.replace("Diagram", " chart")
    if titles and kind not in ("PieDiagram", "DonutDiagram", "NetDiagram"):
        d.HasXAxisTitle = True; d.XAxisTitle.String = "Quarter"
        d.HasYAxisTitle = True; d.YAxisTitle.String = "Sales in units"
    model.Data.setData(((3.0, 5.0, 2.5), (4.5, 2.0, 3.5), (6.0, 4.0, 1.0), (2.0, 6.5, 4.2)))
    return sh

scenes = []
def scene(name):
    def wrap(f): scenes.append((name, f)); return f
    return wrap

@scene("text-faces")
def _(p):
    for i, f in enumerate(["Arial", "Times New Roman", "Courier New"]):
        text(p, 500, 500 + i * 1500, 15000, 1200, f"The quick brown fox jumps ({f})", f, 20)
@scene("text-styles")
def _(p):
    text(p, 500, 500, 15000, 1200, "Bold Arial heading 123", "Arial", 24, bold=True)
    text(p, 500, 2000, 15000, 1200, "Italic Times New Roman body text", "Times New Roman", 18, italic=True)
    text(p, 500, 3500, 15000, 1200, "Tahoma and Verdana, small print", "Tahoma", 14)
    text(p, 500, 5000, 15000, 1200, "Georgia serif line", "Georgia", 16, colour=0xAA2222)
@scene("text-rotated")
def _(p):
    text(p, 1000, 1000, 8000, 1000, "Up the axis", "Arial", 20, rot=9000)
    text(p, 4000, 1000, 8000, 1000, "Down the axis", "Arial", 20, rot=27000)
    text(p, 7000, 3000, 8000, 1000, "Slanted text", "Times New Roman", 20, rot=4500)
@scene("text-symbol")
def _(p):
    text(p, 500, 500, 15000, 1500, "abcdefgh pqrs", "Symbol", 28)
    text(p, 500, 2500, 15000, 1500, "Greek: ", "Arial", 20)
@scene("text-wingdings")
def _(p):
    text(p, 500, 500, 15000, 1500, "lnuv\u00a7\u00d8\u00fc", "Wingdings", 28)
@scene("text-chinese")
def _(p):
    text(p, 500, 500, 15000, 1500, "中文字符测试 Latin", "SimSun", 24)
    text(p, 500, 2500, 15000, 1500, "黑体标题", "SimHei", 24)
@scene("shapes-fills")
def _(p):
    from com.sun.star.drawing.FillStyle import GRADIENT, HATCH
    a = shape(p, "RectangleShape", 500, 500, 5000, 3000); a.FillStyle = GRADIENT
    b = shape(p, "EllipseShape", 6000, 500, 5000, 3000, 0xCC3333); b.FillTransparence = 50
    c = shape(p, "RectangleShape", 500, 4000, 5000, 3000); c.FillStyle = HATCH
    d = shape(p, "EllipseShape", 6000, 4000, 5000, 3000, 0x33AA33)
    d.LineWidth = 200
@scene("shapes-text")
def _(p):
    a = shape(p, "RectangleShape", 500, 500, 7000, 3000, 0xFFCC00); a.String = "Box with Arial"; a.CharFontName = "Arial"; a.CharHeight = 18
    b = shape(p, "EllipseShape", 8000, 500, 7000, 3000, 0x99CCFF); b.String = "Ellipse, Times"; b.CharFontName = "Times New Roman"; b.CharHeight = 18
    c = shape(p, "LineShape", 500, 5000, 14000, 2000); c.LineWidth = 100
@scene("shapes-dashes")
def _(p):
    from com.sun.star.drawing.LineStyle import DASH
    for i in range(4):
        l = shape(p, "LineShape", 500, 500 + i * 1200, 12000, 0); l.LineStyle = DASH; l.LineWidth = 30 * i
    e = shape(p, "PolyPolygonShape", 500, 6000, 8000, 3000, 0xFF8800)
    e.PolyPolygon = ((Point(500, 9000), Point(4500, 6000), Point(8500, 9000)),)

@scene("text-languages")
def _(p):
    text(p, 500, 500, 15000, 1200, "Ελληνικά κείμενο, Кириллица текст", "Arial", 20)
    text(p, 500, 2000, 15000, 1200, "日本語のテキスト、한국어 텍스트", "MS Mincho", 20)
    text(p, 500, 3500, 15000, 1200, "Œuvre, naïve façade, ﬁne ﬂow", "Times New Roman", 20)
    text(p, 500, 5000, 15000, 1200, "Verdana 12 pt body, Georgia heading", "Verdana", 12)
@scene("diagram-connectors")
def _(p):
    a = shape(p, "RectangleShape", 500, 500, 4000, 2000, 0xDDEEFF); a.String = "Start"
    b = shape(p, "RectangleShape", 9000, 500, 4000, 2000, 0xFFEEDD); b.String = "End"
    c = doc.createInstance("com.sun.star.drawing.ConnectorShape"); p.add(c)
    c.StartShape = a; c.EndShape = b; c.LineEndName = "Arrow"; c.LineWidth = 50
    for i, dash in enumerate((0, 1, 2)):
        from com.sun.star.drawing.LineStyle import DASH, SOLID
        l = shape(p, "LineShape", 500, 4000 + i * 1200, 12000, 0)
        l.LineStyle = DASH if dash else SOLID; l.LineWidth = 40 * (i + 1)
        l.LineStartName = "Circle"; l.LineEndName = "Arrow"; l.LineColor = 0x993300
@scene("diagram-hatches-bitmaps")
def _(p):
    from com.sun.star.drawing.FillStyle import HATCH, BITMAP, GRADIENT
    from com.sun.star.drawing.HatchStyle import SINGLE, DOUBLE
    from com.sun.star.drawing import Hatch
    for i, style in enumerate((SINGLE, DOUBLE)):
        r = shape(p, "RectangleShape", 500 + i * 5500, 500, 5000, 3000); r.FillStyle = HATCH
        h = Hatch(); h.Style = style; h.Color = 0x224488; h.Distance = 200; h.Angle = 450 * (i + 1); r.FillHatch = h
    b = shape(p, "EllipseShape", 500, 4000, 5000, 3000); b.FillStyle = BITMAP; b.FillBitmapName = "Painted White"
    g = shape(p, "RectangleShape", 6000, 4000, 5000, 3000); g.FillStyle = GRADIENT; g.FillGradientName = "Pastel Bouquet"
@scene("slide-transparency")
def _(p):
    from com.sun.star.drawing.FillStyle import GRADIENT
    for i, colour in enumerate((0xCC0000, 0x00AA00, 0x0000CC)):
        e = shape(p, "EllipseShape", 1000 + i * 2500, 1000 + (i % 2) * 1500, 5000, 4000, colour)
        e.FillTransparence = 40
    t = shape(p, "RectangleShape", 500, 6500, 14000, 2000, 0x333333); t.FillTransparence = 70
    t.String = "Translucent banner"; t.CharFontName = "Arial"; t.CharHeight = 24
    s = shape(p, "RectangleShape", 10000, 500, 4000, 4000, 0xFFCC00); s.Shadow = True; s.FillStyle = GRADIENT

charts = [("BarDiagram", {}), ("BarDiagram", {"Vertical": True}), ("BarDiagram", {"Stacked": True}),
          ("LineDiagram", {}), ("LineDiagram", {"SymbolType": 0}), ("PieDiagram", {}), ("DonutDiagram", {}),
          ("AreaDiagram", {}), ("XYDiagram", {}), ("NetDiagram", {}), ("BarDiagram", {"Dim3D": True}),
          ("PieDiagram", {"Dim3D": True}), ("StockDiagram", {}), ("BarDiagram", {"Percent": True}),
          ("LineDiagram", {"Stacked": True, "SymbolType": 0})]
for i, (kind, props) in enumerate(charts):
    scenes.append((f"chart{i:02d}-{kind[:-7].lower()}", lambda p, k=kind, pr=props: chart(p, k, **pr)))

pages = doc.DrawPages
ef = smgr.createInstanceWithContext("com.sun.star.drawing.GraphicExportFilter", ctx)
for i, (name, build) in enumerate(scenes):
    page = pages.getByIndex(0) if i == 0 else pages.insertNewByIndex(pages.Count - 1)
    page = pages.getByIndex(pages.Count - 1) if i else page
    try:
        build(page)
    except Exception as e:
        print("scene failed", name, e, file=sys.stderr); continue
    for ext, mt in (("emf", "image/x-emf"), ("wmf", "image/x-wmf")):
        try:
            ef.setSourceDocument(page)
            ef.filter((P("URL", uno.systemPathToFileUrl(f"{os.path.abspath(out)}/{name}.{ext}")), P("MediaType", mt)))
        except Exception as e:
            print("export failed", name, ext, e, file=sys.stderr)
doc.close(True)
try: desktop.terminate()
except Exception: pass
proc.wait(timeout=30)
