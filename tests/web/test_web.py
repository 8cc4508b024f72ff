#!/usr/bin/python3
"""The page in a real browser: headless Chromium, driven by Selenium, against the built site served
on 127.0.0.1. Opens the example drawing through the file picker, checks the sheet list against
the command line's dry run, downloads a sheet and the ZIP and compares them byte for byte with the
command line's sheets, checks the print page size, that no request left 127.0.0.1, and that a file
that is not a drawing is refused with a message; saves screenshots of the plan (desktop and tablet)
and of a sheet.

With a corpus folder, also splits every drawing in it under five option sets in the page and with
the command line, and compares every sheet byte for byte.

Usage: test_web.py KELVANE_EXE SITE_DIR WORK_DIR [CORPUS_DIR FRAME_TOOL]. The corpus drawings hold no
frames: FRAME_TOOL (kelvane_frame_drawing) gives each a 2 x 2 grid of them first. Exit 77 (skipped) when the site, chromium or
selenium is missing."""
import functools
import hashlib
import http.server
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

SKIP = 77


def main():
    exe, site, work = sys.argv[1:4]
    corpus = sys.argv[4] if len(sys.argv) > 5 else ""
    frame_tool = sys.argv[5] if len(sys.argv) > 5 else ""
    if not os.path.exists(os.path.join(site, "kelvane.wasm")):
        print("web: skipped, no build of the page in", site)
        return SKIP
    chromium = shutil.which("chromium")
    driver_path = shutil.which("chromedriver")
    try:
        from selenium import webdriver
        from selenium.webdriver.common.by import By
    except ImportError:
        chromium = None
    if not chromium or not driver_path:
        print("web: skipped, chromium, chromedriver or python3-selenium missing")
        return SKIP

    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    example_dir = os.path.join(work, "example")
    subprocess.run([exe, "--make-example", example_dir], check=True, stdout=subprocess.DEVNULL)
    drawing = os.path.join(example_dir, "example.jww")
    cli_out = os.path.join(work, "cli")
    os.makedirs(cli_out)
    dry = subprocess.run([exe, "--dry-run", "-o", cli_out, drawing], check=True, capture_output=True, text=True).stdout
    subprocess.run([exe, "-o", cli_out, drawing], check=True, capture_output=True)
    expected = []
    for line in dry.splitlines():
        m = re.match(r"frame \d+ sheet \d+: number (\S+), rect .*, paper (\d+), name (\".*\"), layers .*, file (.*)$", line)
        if m:
            file = m.group(4)
            expected.append((m.group(1), json.loads(m.group(3)), int(m.group(2)),
                             os.path.basename(file) if not file.startswith("(") else ""))

    # The site on 127.0.0.1, every request logged.
    requests = []

    class Handler(http.server.SimpleHTTPRequestHandler):
        def log_message(self, fmt, *args):
            requests.append(self.path)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Handler, directory=site))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d/" % server.server_port

    downloads = os.path.join(work, "downloads")
    os.makedirs(downloads)
    profile = tempfile.mkdtemp(prefix="kelvane-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for arg in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--no-first-run", "--user-data-dir=" + profile,
                "--window-size=1400,900", "--lang=ja"]:
        options.add_argument(arg)
    options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
    from selenium.webdriver.chrome.service import Service
    service = Service(executable_path=driver_path)
    browser = webdriver.Chrome(service=service, options=options)
    failures = []

    def check(ok, what):
        print(("ok   " if ok else "FAIL ") + what)
        if not ok:
            failures.append(what)

    def wait(condition, seconds=60):
        end = time.time() + seconds
        while time.time() < end:
            value = condition()
            if value:
                return value
            time.sleep(0.1)
        return None

    try:
        browser.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
        started = time.time()
        browser.get(url)
        check(wait(lambda: browser.execute_script("return document.body.dataset.ready === '1'")), "the core loads")
        print("page and core ready in %.0f ms" % ((time.time() - started) * 1000))
        browser.find_element(By.ID, "files").send_keys(drawing)
        rows = wait(lambda: browser.find_elements(By.CSS_SELECTOR, "#sheets tbody tr[data-sheet]"))
        shown = []
        for row in rows or []:
            cells = row.find_elements(By.TAG_NAME, "td")
            shown.append((cells[0].text, cells[1].text, cells[2].text, cells[3].text))
        plans = browser.execute_script("return plans")
        listed = [(s["number"], s["name"], s["paper"], s["file"]) for p in plans for s in p["sheets"]]
        check(listed == expected, "the sheet list is the dry run's (%d sheets)" % len(expected))
        check([(r[0], r[1], r[3]) for r in shown if r[3] and not r[3].startswith("（")] ==
              [(e[0], e[1], e[3]) for e in expected if e[3]], "the table shows number, name and file name")
        print("timings:", browser.execute_script("return window.kelvaneTimings"))
        compare_plan(browser, exe, drawing, work, check)
        time.sleep(0.5)
        browser.save_screenshot(os.path.join(work, "plan-desktop.png"))
        # The wheel zooms about the cursor and the plan is drawn again from its vectors.
        before = browser.execute_script("return viewer.scale")
        browser.execute_script("""
          const c = document.getElementById('canvas'), r = c.getBoundingClientRect();
          for (let i = 0; i < 6; ++i)
            c.dispatchEvent(new WheelEvent('wheel', {deltaY: -300, clientX: r.left + r.width * 0.2,
                                                     clientY: r.top + r.height * 0.25, bubbles: true, cancelable: true}));""")
        time.sleep(0.5)
        after = browser.execute_script("return viewer.scale")
        check(after > before * 10, "six wheel steps zoom the plan in (scale %.2f to %.2f)" % (before, after))
        browser.save_screenshot(os.path.join(work, "plan-zoomed.png"))
        browser.find_element(By.ID, "fit").click()
        # English, and back.
        browser.find_element(By.ID, "lang").click()
        heads = [h.text for h in browser.find_elements(By.CSS_SELECTOR, "#sheets th")]
        browser.find_element(By.ID, "lang").click()
        check(heads[:4] == ["No.", "Name", "Paper", "File name"], "the English switch: %s" % heads[:4])

        # One sheet through its download button, then everything as a ZIP.
        first = next(i for i, e in enumerate(expected) if e[3])
        name = expected[first][3]
        rows = browser.find_elements(By.CSS_SELECTOR, "#sheets tbody tr[data-sheet]")
        rows[first].find_element(By.CSS_SELECTOR, "button[data-action=jww]").click()
        got = wait(lambda: os.path.exists(os.path.join(downloads, name)) and os.path.join(downloads, name))
        same = bool(got) and open(got, "rb").read() == open(os.path.join(cli_out, name), "rb").read()
        check(same, "the downloaded sheet %s is the command line's byte for byte" % name)
        browser.find_element(By.ID, "zipAll").click()
        archive = wait(lambda: [f for f in os.listdir(downloads) if f.endswith(".zip")])
        all_same = False
        if archive:
            time.sleep(0.5)
            with zipfile.ZipFile(os.path.join(downloads, archive[0])) as z:
                sheets = sorted(n for n in z.namelist() if n.endswith(".jww"))
                all_same = sheets == sorted(e[3] for e in expected if e[3]) and all(
                    z.read(n) == open(os.path.join(cli_out, n), "rb").read() for n in sheets)
                # Every sheet has its DXF, and every image file a DXF names is beside it.
                names = set(z.namelist())
                dxfs = [n[:-4] + ".dxf" for n in sheets]
                missing = [n for n in dxfs if n not in names]
                images = []
                for n in dxfs:
                    if n in names:
                        text = z.read(n).decode("cp932", "replace")
                        images += re.findall(r"\n *1 *\r?\n([^\r\n]+\.(?:png|bmp|jpg|gif|bin))\r?\n", text)
                missing += [f for f in images if f not in names]
                # The example embeds one image, on sheet 5.
                check(not missing and len(images) == 1, "the ZIP holds a DXF for every sheet and the image "
                      "they name%s" % (": missing " + ", ".join(missing) if missing else ""))
        check(all_same, "the ZIP holds every sheet, each the command line's byte for byte")

        # A sheet on its paper, and its print page.
        rows = browser.find_elements(By.CSS_SELECTOR, "#sheets tbody tr[data-sheet]")
        rows[first].find_element(By.CSS_SELECTOR, "button[data-action=view]").click()
        time.sleep(0.5)
        browser.save_screenshot(os.path.join(work, "sheet-desktop.png"))
        browser.execute_script("window.print = () => { window.printed = true; }")
        browser.find_element(By.ID, "printSheet").click()
        printed = wait(lambda: browser.execute_script("return window.printed && window.kelvanePrint"))
        page_rule = browser.execute_script("return document.getElementById('pageSize').textContent")
        sheet = plans[0]["sheets"][first]
        want = "@page { size: %gmm %gmm; margin: 0; }" % (sheet["pageWidth"], sheet["pageHeight"])
        check(bool(printed) and page_rule == want, "the print page is the sheet's paper: " + page_rule)
        pdf = browser.execute_cdp_cmd("Page.printToPDF", {"preferCSSPageSize": True})
        import base64
        with open(os.path.join(work, "print.pdf"), "wb") as f:
            f.write(base64.b64decode(pdf["data"]))
        box = re.search(rb"/MediaBox \[0 0 ([\d.]+) ([\d.]+)\]", base64.b64decode(pdf["data"]))
        mm = (float(box.group(1)) / 72 * 25.4, float(box.group(2)) / 72 * 25.4) if box else (0, 0)
        check(abs(mm[0] - sheet["pageWidth"]) < 1 and abs(mm[1] - sheet["pageHeight"]) < 1,
              "the printed PDF page is %.1f x %.1f mm" % mm)

        # A file that is not a drawing.
        bad = os.path.join(work, "not-a-drawing.jww")
        with open(bad, "wb") as f:
            f.write(b"this is no drawing" * 10)
        browser.find_element(By.ID, "files").send_keys(bad)
        msg = wait(lambda: [p.text for p in browser.find_elements(By.CSS_SELECTOR, "#messages p.error")])
        check(bool(msg) and "not-a-drawing.jww" in msg[0], "a file that is no drawing is refused: %s" % (msg or [""])[0])
        # A damaged drawing (cut in half) and a hostile one the fuzzer found: a message each, and
        # the page answers afterwards.
        damaged = os.path.join(work, "damaged.jww")
        with open(damaged, "wb") as f:
            f.write(open(drawing, "rb").read()[: os.path.getsize(drawing) // 2])
        browser.find_element(By.ID, "files").send_keys(damaged)
        msg = wait(lambda: [p.text for p in browser.find_elements(By.CSS_SELECTOR, "#messages p.error")
                            if "damaged.jww" in p.text])
        check(bool(msg) and re.search(r"at byte \d+", msg[0]) is not None, "a damaged drawing is refused with where: %s" %
              (msg or [""])[0])
        fuzz = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz_regressions", "load"))
        for name in sorted(os.listdir(fuzz)) if os.path.isdir(fuzz) else []:
            browser.find_element(By.ID, "files").send_keys(os.path.join(fuzz, name))
            said = wait(lambda: [p.text for p in browser.find_elements(By.CSS_SELECTOR, "#messages p") if name in p.text])
            check(bool(said), "a hostile input (%s) is answered: %s" % (name, (said or [""])[0]))

        # Tablet size.
        browser.set_window_size(820, 1180)
        browser.find_element(By.ID, "showPlan").click()
        time.sleep(0.5)
        browser.save_screenshot(os.path.join(work, "plan-tablet.png"))

        # The corpus under five option sets: the page's sheets against the command line's.
        if corpus and os.path.isdir(corpus):
            compare_corpus(browser, exe, corpus, frame_tool, work, check)

        # Nothing but the page's own files was asked for, all from 127.0.0.1.
        hosts = set()
        for entry in browser.get_log("performance"):
            m = json.loads(entry["message"])["message"]
            if m["method"] == "Network.requestWillBeSent":
                u = m["params"]["request"]["url"]
                if not u.startswith(("blob:", "data:", "chrome:", "chrome-untrusted:", "about:")):
                    hosts.add(re.sub(r"^(\w+://[^/]+).*", r"\1", u))
        check(hosts <= {url.rstrip("/")}, "no request left the page's own server: %s" % sorted(hosts))
        for entry in browser.get_log("browser"):
            if entry["level"] == "SEVERE":
                print("browser:", entry["message"])
    finally:
        browser.quit()
        server.shutdown()
        shutil.rmtree(profile, ignore_errors=True)
    print("web: %d failed" % len(failures))
    return 1 if failures else 0


# The plan as the page draws it at the size of the command line's plan PNG, against that PNG:
# both reduced to 16-pixel cells with or without ink; answers the cells' intersection over union.
COMPARE_PLAN = r"""
const [pngBase64, done] = arguments;
(async () => {
  const png = await createImageBitmap(new Blob([Uint8Array.from(atob(pngBase64), (c) => c.charCodeAt(0))]));
  const list = readPicture(await call('planPicture', '', 0, 150));
  await list.ready;
  const mine = new OffscreenCanvas(png.width, png.height), theirs = new OffscreenCanvas(png.width, png.height);
  const scale = png.width / list.width;
  KvDisplayList.draw(mine.getContext('2d'), list, scale, 0, list.height * scale, 1);
  theirs.getContext('2d').drawImage(png, 0, 0);
  const cells = (canvas) => {
    const data = canvas.getContext('2d').getImageData(0, 0, png.width, png.height).data;
    const w = Math.ceil(png.width / 16), ink = new Uint8Array(w * Math.ceil(png.height / 16));
    for (let y = 0; y < png.height; ++y)
      for (let x = 0; x < png.width; ++x) {
        const i = (y * png.width + x) * 4;
        if (data[i] < 160 || data[i + 1] < 160 || data[i + 2] < 160) ink[(y >> 4) * w + (x >> 4)] = 1;
      }
    return ink;
  };
  const a = cells(mine), b = cells(theirs);
  let both = 0, either = 0;
  for (let i = 0; i < a.length; ++i) { both += a[i] & b[i]; either += a[i] | b[i]; }
  done({width: png.width, height: png.height, listWidth: list.width, iou: both / Math.max(either, 1)});
})();
"""


def compare_plan(browser, exe, drawing, work, check):
    import base64
    png = os.path.join(work, "plan-cli.png")
    subprocess.run([exe, "--plan", png, "-o", work, drawing], check=True, stdout=subprocess.DEVNULL)
    browser.set_script_timeout(120)
    r = browser.execute_async_script(COMPARE_PLAN, base64.b64encode(open(png, "rb").read()).decode())
    check(r["iou"] > 0.8, "the page's plan inks the cells the command line's plan PNG inks (%d x %d px, "
          "intersection over union %.2f)" % (r["width"], r["height"], r["iou"]))


OPTION_SETS = [
    {"pattern": "0", "separator": "_", "start": "0", "zeros": "0", "direction": "0", "frame": "0", "margin": "0", "compact": "0"},
    {"pattern": "3", "separator": "-", "start": "1", "zeros": "1", "direction": "0", "frame": "0", "margin": "0", "compact": "0"},
    {"pattern": "5", "separator": "_", "start": "0", "zeros": "0", "direction": "1", "frame": "0", "margin": "0", "compact": "1"},
    {"pattern": "2", "separator": "__", "start": "0", "zeros": "0", "direction": "0", "frame": "1", "margin": "5", "compact": "0"},
    {"pattern": "6", "separator": "＿", "start": "10", "zeros": "1", "direction": "1", "frame": "1", "margin": "2.5", "compact": "1"},
]

# Splits one drawing in the page with the given options; answers {file name: SHA-256}.
SPLIT_IN_PAGE = r"""
const [name, b64, options, done] = arguments;
(async () => {
  await call('reset', '');
  const opened = await call('open', '', name, Uint8Array.from(atob(b64), (c) => c.charCodeAt(0)), '/in/corpus');
  if (opened.error !== undefined) return done({error: opened.error});
  const plan = JSON.parse(await call('plan', '', options))[0];
  const written = await call('writeSheets', '', 0);
  const out = {};
  for (const [k, bytes] of written.files.entries()) {
    if (!bytes) continue;
    const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
    out[plan.sheets[k].file] = [...digest].map((b) => b.toString(16).padStart(2, '0')).join('');
  }
  done(out);
})().catch((e) => done({error: String(e)}));
"""


def compare_corpus(browser, exe, corpus, frame_tool, work, check):
    import base64
    framed = os.path.join(work, "framed")
    os.makedirs(framed)
    drawings = []
    for name in sorted(f for f in os.listdir(corpus) if f.lower().endswith(".jww")):
        if subprocess.run([frame_tool, os.path.join(corpus, name), os.path.join(framed, name)]).returncode == 0:
            drawings.append(name)
    corpus = framed
    settings = os.path.join(work, "empty.dat")
    open(settings, "w").close()
    browser.set_script_timeout(120)
    for k, o in enumerate(OPTION_SETS):
        differing, sheets = [], 0
        for name in drawings:
            out = os.path.join(work, "corpus-%d-%s" % (k, hashlib.md5(name.encode()).hexdigest()[:8]))
            os.makedirs(out)
            flags = ["--settings", settings, "-o", out, "--pattern", o["pattern"], "--separator", o["separator"],
                     "--start", o["start"], "--leading-zeros" if o["zeros"] == "1" else "--no-leading-zeros",
                     "--direction", "columns" if o["direction"] == "1" else "rows",
                     "--frame" if o["frame"] == "1" else "--no-frame", "--margin", o["margin"],
                     "--compact" if o["compact"] == "1" else "--no-compact"]
            if subprocess.run([exe] + flags + [os.path.join(corpus, name)], capture_output=True).returncode != 0:
                differing.append(name + " (the command line failed)")
            cli = {f: hashlib.sha256(open(os.path.join(out, f), "rb").read()).hexdigest() for f in os.listdir(out)}
            text = "\n".join("%s=%s" % kv for kv in o.items())
            b64 = base64.b64encode(open(os.path.join(corpus, name), "rb").read()).decode()
            page = browser.execute_async_script(SPLIT_IN_PAGE, name, b64, text)
            sheets += len(cli)
            if page != cli:
                differing.append(name)
                only_cli = sorted(set(cli) - set(page)) if "error" not in page else page
                print("  %s: command line %d files, page %d; only the command line's: %s" %
                      (name, len(cli), len(page), only_cli))
        check(not differing and sheets > 0, "option set %d: %d corpus sheets of %d drawings are the command line's byte for byte%s" %
              (k + 1, sheets, len(drawings), (", not: " + ", ".join(differing)) if differing else ""))


if __name__ == "__main__":
    sys.exit(main())
