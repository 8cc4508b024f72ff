#!/usr/bin/python3
"""Whether two PDFs of one sheet agree: the same page size, every word at the same place and
every stroke's points at the same places, within a tolerance (default 0.1 mm).

Usage: pdf_agreement.py [--tolerance-mm T] A.pdf B.pdf
Exit 0 when they agree; 1 with the differences on standard output.

Words come from `pdftotext -bbox` (matched by text, then by xMin and yMax); strokes from the
page's content stream, decompressed with `qpdf --qdf --object-streams=disable`, every point of
a path that is stroked taken through the transformation in force (cm, q, Q). Fills, images and
texts are not strokes. Points are compared as sets, so a writer that repeats a point or splits
a line where the other does not still agrees, as long as no point lies apart from the other's.
"""
import re
import subprocess
import sys
import tempfile
from html import unescape

MM = 72 / 25.4


def page_size(pdf):
    out = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True, check=True).stdout
    m = re.search(r"Page size:\s+([\d.]+) x ([\d.]+) pts", out)
    return float(m.group(1)), float(m.group(2))


def words(pdf):
    out = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True, check=True).stdout
    found = []
    for m in re.finditer(r'<word xMin="([-\d.]+)" yMin="[-\d.]+" xMax="[-\d.]+" yMax="([-\d.]+)">(.*?)</word>', out):
        found.append((unescape(m.group(3)).strip(), float(m.group(1)), float(m.group(2))))
    return found


TOKEN = re.compile(rb"\((?:\\.|[^\\()])*\)|<<|>>|<[0-9A-Fa-f\s]*>|\[|\]|/[^\s/\[\]()<>{}%]+|"
                   rb"[-+]?(?:\d+\.?\d*|\.\d+)|[A-Za-z'\"*]+|%[^\r\n]*")


def content_streams(pdf):
    """The uncompressed content stream of every page, in page order."""
    with tempfile.NamedTemporaryFile(suffix=".pdf") as qdf:
        subprocess.run(["qpdf", "--qdf", "--object-streams=disable", pdf, qdf.name], check=True)
        data = open(qdf.name, "rb").read()
    streams = []
    for m in re.finditer(rb"%% Contents for page \d+\n%% Original object ID: [^\n]*\n\d+ 0 obj\n.*?\nstream\n", data, re.S):
        end = data.index(b"\nendstream", m.end())
        streams.append(data[m.end():end])
    return streams


def mul(a, b):
    return [a[0] * b[0] + a[1] * b[2], a[0] * b[1] + a[1] * b[3], a[2] * b[0] + a[3] * b[2],
            a[2] * b[1] + a[3] * b[3], a[4] * b[0] + a[5] * b[2] + b[4], a[4] * b[1] + a[5] * b[3] + b[5]]


def stroke_points(pdf):
    points = []
    for stream in content_streams(pdf):
        ctm, stack, path, operands = [1, 0, 0, 1, 0, 0], [], [], []
        at = lambda x, y: (ctm[0] * x + ctm[2] * y + ctm[4], ctm[1] * x + ctm[3] * y + ctm[5])
        for tok in TOKEN.findall(stream):
            if tok[:1] in b"-+.0123456789":
                operands.append(float(tok))
                continue
            if tok[:1] in b"(<[]/%" or tok == b">>":
                operands.append(None)  # strings, names and arrays are never path coordinates
                continue
            op = tok.decode("latin-1")
            n = [v for v in operands if v is not None]
            if op == "q":
                stack.append(ctm[:])
            elif op == "Q" and stack:
                ctm = stack.pop()
            elif op == "cm" and len(n) >= 6:
                ctm = mul(n[-6:], ctm)
            elif op in ("m", "l") and len(n) >= 2:
                path.append(at(*n[-2:]))
            elif op in ("c", "v", "y") and len(n) >= 4:
                path.append(at(*n[-2:]))
            elif op == "re" and len(n) >= 4:
                x, y, w, h = n[-4:]
                path += [at(x, y), at(x + w, y), at(x + w, y + h), at(x, y + h)]
            elif op in ("S", "s", "B", "B*", "b", "b*"):
                points += path
                path = []
            elif op in ("f", "F", "f*", "n"):
                path = []
            operands = []
    return points


def unmatched_points(a, b, tol):
    grid = {}
    for x, y in b:
        grid.setdefault((int(x // tol), int(y // tol)), []).append((x, y))
    missing = []
    for x, y in a:
        gx, gy = int(x // tol), int(y // tol)
        near = any(abs(x - u) <= tol and abs(y - v) <= tol
                   for i in (-1, 0, 1) for j in (-1, 0, 1) for u, v in grid.get((gx + i, gy + j), ()))
        if not near:
            missing.append((x, y))
    return missing


def unmatched_words(a, b, tol):
    left = list(b)
    missing = []
    for text, x, y in a:
        hit = next((w for w in left if w[0] == text and abs(w[1] - x) <= tol and abs(w[2] - y) <= tol), None)
        if hit:
            left.remove(hit)
        else:
            missing.append((text, x, y))
    return missing


def main(argv):
    tol_mm = 0.1
    if len(argv) > 2 and argv[0] == "--tolerance-mm":
        tol_mm, argv = float(argv[1]), argv[2:]
    if len(argv) != 2:
        print(__doc__)
        return 2
    a, b = argv
    tol = tol_mm * MM
    problems = []
    sa, sb = page_size(a), page_size(b)
    if abs(sa[0] - sb[0]) > tol or abs(sa[1] - sb[1]) > tol:
        problems.append(f"page sizes differ: {sa} and {sb}")
    wa, wb = words(a), words(b)
    for name, miss in (("first", unmatched_words(wa, wb, tol)), ("second", unmatched_words(wb, wa, tol))):
        for text, x, y in miss[:5]:
            problems.append(f"word only in the {name} at ({x:.2f}, {y:.2f}) pt: {text!r}")
    pa, pb = stroke_points(a), stroke_points(b)
    if not pa and not pb and (wa or wb):
        pass  # a sheet of texts only
    for name, miss in (("first", unmatched_points(pa, pb, tol)), ("second", unmatched_points(pb, pa, tol))):
        if miss:
            x, y = miss[0]
            problems.append(f"{len(miss)} stroke point(s) only in the {name}, e.g. ({x:.2f}, {y:.2f}) pt")
    for p in problems:
        print(p)
    if not problems:
        print(f"agree: page {sa[0]:.2f} x {sa[1]:.2f} pt, {len(wa)} words, {len(pa)}/{len(pb)} stroke points")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
