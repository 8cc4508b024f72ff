#!/usr/bin/python3
"""DXF files of sheets and drawings, read back with ezdxf: audited, and compared entity by entity
with what the drawing's records say (tests/dxf_expect.cpp).

usage: check_dxf.py KELVANE EXPECT WORKDIR [CORPUS]"""
import json
import pathlib
import re
import shutil
import subprocess
import sys

import ezdxf

KELVANE, EXPECT, WORK = sys.argv[1], sys.argv[2], pathlib.Path(sys.argv[3])
CORPUS = pathlib.Path(sys.argv[4]) if len(sys.argv) > 4 else None
TOLERANCE = 1e-6
failures = []


def run(*args):
    r = subprocess.run([str(a) for a in args], capture_output=True)
    if r.returncode != 0:
        failures.append(f"{' '.join(map(str, args))}: exit {r.returncode}: {r.stderr.decode(errors='replace')}")
    return r


def unescape(s):
    """Readers turn \\U+XXXX back into characters; a pair of halves is one character."""
    s = re.sub(r"\\U\+([0-9A-Fa-f]{4})", lambda m: chr(int(m.group(1), 16)), s)
    return s.encode("utf-16", "surrogatepass").decode("utf-16")


def shown_text(s):
    """A TEXT's characters as AutoCAD shows them: \\U+XXXX, "^ " a caret, "%%%" a percent sign,
    %%c/%%d/%%p symbols, %%u/%%o/%%k strokes (no characters)."""
    s = unescape(s)
    out, k = "", 0
    while k < len(s):
        if s.startswith("%%", k) and k + 2 < len(s):
            code = s[k + 2].lower()
            if code in "%cdp":
                out += {"%": "%", "c": "\u2300", "d": "\u00b0", "p": "\u00b1"}[code]
                k += 3
                continue
            if code in "uok":
                k += 3
                continue
        if s[k] == "^" and k + 1 < len(s):
            out += "^" if s[k + 1] == " " else chr((ord(s[k + 1]) - 64) % 128)
            k += 2
            continue
        out += s[k]
        k += 1
    return out


def layer_shows(doc, name):
    layer = doc.layers.get(name)
    return layer is None or (layer.is_on() and not layer.is_frozen())


def members_show(doc, name, block, where, seen=()):
    """Every member of an insert that shows shows with it, as Jw_cad prints a block."""
    for m in doc.blocks.get(block):
        if m.dxf.layer != "0" and not layer_shows(doc, m.dxf.layer) and not m.dxf.layer.endswith("補助"):
            failures.append(f"{name}: {where}: a member of {block} on the hidden layer {m.dxf.layer}")
            return
        if m.dxftype() == "INSERT" and m.dxf.name not in seen:
            members_show(doc, name, m.dxf.name, where, seen + (block,))


def positions(e):
    kind = e.dxftype()
    if kind == "LINE":
        return [e.dxf.start, e.dxf.end]
    if kind in ("POINT",):
        return [e.dxf.location]
    if kind in ("CIRCLE", "ARC", "ELLIPSE"):
        return [e.dxf.center]
    if kind in ("TEXT", "INSERT", "IMAGE"):
        return [e.dxf.insert]
    if kind == "SOLID":
        return [e.dxf.vtx0, e.dxf.vtx1, e.dxf.vtx2, e.dxf.vtx3]
    return []


def compare(jww, dxf, paper=False):
    """Audit the DXF and check its model space against the records of `jww`."""
    name = dxf.name
    args = [EXPECT, jww] + (["paper"] if paper else [])
    expected = [json.loads(line) for line in run(*args).stdout.decode().splitlines()]
    doc = ezdxf.readfile(dxf)
    auditor = doc.audit()
    if auditor.has_errors:
        failures.append(f"{name}: audit: {[str(x) for x in auditor.errors[:3]]}")
    for lt in doc.linetypes:
        runs = [t.value for t in lt.pattern_tags.tags if t.code == 49]
        # One period, dash first, dashes and gaps in turn: readers that drop a wrap draw it right.
        if runs and (runs[0] <= 0 or runs[-1] >= 0 or any((a > 0) == (b > 0) for a, b in zip(runs, runs[1:]))):
            failures.append(f"{name}: line type {lt.dxf.name}: pattern {runs}")
    got = list(doc.modelspace())
    kinds = lambda items: sorted(items)
    if kinds(e.dxftype() for e in got) != kinds(x["kind"] for x in expected):
        failures.append(f"{name}: kinds differ")
        return
    for k, (e, x) in enumerate(zip(got, expected)):
        where = f"{name}: entity {k} ({x['kind']})"
        if e.dxftype() != x["kind"]:
            failures.append(f"{where}: is {e.dxftype()}")
            return
        if not (e.dxf.layer == x["layer"] or e.dxf.layer.startswith(x["layer"] + "_")):
            failures.append(f"{where}: layer {e.dxf.layer}, not {x['layer']}")
        if x.get("auxiliary") and (doc.layers.get(e.dxf.layer).dxf.plot != 0):
            failures.append(f"{where}: auxiliary, on the plotted layer {e.dxf.layer}")
        if "text" in x and e.dxftype() == "TEXT" and shown_text(e.dxf.text) != x["text"]:
            failures.append(f"{where}: text {e.dxf.text!r} shows as {shown_text(e.dxf.text)!r}, not {x['text']!r}")
        if e.dxftype() == "INSERT" and layer_shows(doc, e.dxf.layer):
            members_show(doc, name, e.dxf.name, where)
        flat = [v for p in positions(e) for v in (p[0], p[1])]
        if len(x["points"]) and any(abs(a - b) > TOLERANCE for a, b in zip(flat, x["points"])):
            failures.append(f"{where}: at {flat}, not {x['points']}")
    check_texts(dxf, doc, [x["text"] for x in expected if "text" in x])


def check_texts(dxf, doc, texts):
    """Every text comes back from the bytes decoded as the file's declared code page."""
    raw = dxf.read_bytes()
    if doc.dxfversion >= "AC1021":
        decoded = raw.decode("utf-8")
    else:
        page = doc.header.get("$DWGCODEPAGE", "ANSI_1252")
        decoded = raw.decode("cp" + page.split("_")[1])
    decoded = unescape(decoded)
    for t in texts:
        if t and t not in decoded:
            failures.append(f"{dxf.name}: text {t!r} not found")


def sheets(folder, drawing, *options):
    """Split `drawing` into `folder` with a DXF beside every sheet; check each against its sheet."""
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    run(KELVANE, "--settings", WORK / "none.dat", "-o", folder, "--dxf", *options, drawing)
    written = sorted(folder.glob("*.jww"))
    for jww in written:
        dxf = jww.with_suffix(".dxf")
        if not dxf.exists():
            failures.append(f"{dxf.name}: not written")
            continue
        compare(jww, dxf, paper="paper" in options)
    return len(written)


def failures_are_reported():
    """A DXF that cannot be written fails the run, the sheet stays; no DXF replaces an input."""
    folder = WORK / "blocked"
    folder.mkdir()
    example = WORK / "example.jww"
    (folder / "1_example.dxf").mkdir()  # a folder where the DXF would go
    r = subprocess.run([KELVANE, "--settings", WORK / "none.dat", "-o", folder, "--dxf", example], capture_output=True)
    if r.returncode != 1 or b"1_example.dxf: DXF not written" not in r.stderr:
        failures.append(f"unwritable DXF: exit {r.returncode}, {r.stderr!r}")
    if not (folder / "1_example.jww").is_file() or not (folder / "2_example.dxf").is_file():
        failures.append("unwritable DXF: the sheet or the other sheets' DXF files are missing")
    before = example.read_bytes()
    r = subprocess.run([KELVANE, "--export", example, example], capture_output=True)
    if r.returncode != 1 or example.read_bytes() != before or (WORK / "example-1.png").exists():
        failures.append(f"--export over its input: exit {r.returncode}, input changed: {example.read_bytes() != before}")


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    run(KELVANE, "--make-example", WORK)
    example = WORK / "example.jww"
    count = sheets(WORK / "sheets", example)
    count += sheets(WORK / "sheets2007", example, "--dxf-version", "2007", "--dxf-units", "paper")
    if count < 4:
        failures.append(f"only {count} example sheets")
    # One whole drawing, as --export writes it.
    run(KELVANE, "--export", example, WORK / "whole.dxf")
    compare(example, WORK / "whole.dxf")
    failures_are_reported()
    drawings = sorted(CORPUS.rglob("*.jww")) if CORPUS and CORPUS.is_dir() else []
    for k, drawing in enumerate(drawings):
        out = WORK / f"corpus{k}.dxf"
        run(KELVANE, "--export", drawing, out)
        if out.exists():
            compare(drawing, out)
        sheets(WORK / f"corpus{k}", drawing)
    print(f"{count} example sheets, {len(drawings)} corpus drawings checked")
    for f in failures:
        print("FAIL", f)
    sys.exit(1 if failures else 0)


main()
