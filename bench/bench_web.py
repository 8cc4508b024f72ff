#!/usr/bin/python3
"""The page's reading, planning and splitting of one drawing in headless Chromium beside the
command line's processor time for the same work, and the module's memory against the file.
The page's times are wall times of calls to its worker, so they include handing the bytes over.
Usage: bench/bench_web.py KELVANE_EXE SITE_DIR DRAWING.jww  (build the site with scripts/web.sh)"""
import functools
import http.server
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import threading

MEASURE = r"""
const [name, done] = arguments;
(async () => {
  const bytes = new Uint8Array(await (await fetch(name)).arrayBuffer());
  const size = bytes.length;
  await call('reset', '');
  const t0 = performance.now();
  const opened = await call('open', '', name, bytes, '/in/bench');
  if (opened.error !== undefined) return done({error: opened.error});
  const t1 = performance.now();
  await call('plan', '', 'pattern=0');
  const t2 = performance.now();
  const planned = await call('memory', '');
  const written = await call('writeSheets', '', 0);
  const t3 = performance.now();
  await call('planPicture', '', 0, 96);
  const t4 = performance.now();
  done({size, loadMs: t1 - t0, planMs: t2 - t1, writeMs: t3 - t2, planPictureMs: t4 - t3,
        sheets: written.files.filter((f) => f).length, planned, memory: await call('memory', '')});
})();
"""


def cpu_of(args):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime) * 1000


def main():
    exe, site, drawing = sys.argv[1:4]
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    serve = tempfile.mkdtemp()
    for f in os.listdir(site):
        shutil.copy(os.path.join(site, f), serve)
    shutil.copy(drawing, os.path.join(serve, "bench.jww"))
    class Quiet(http.server.SimpleHTTPRequestHandler):
        def log_message(self, *args):
            pass

    handler = functools.partial(Quiet, directory=serve)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    options = webdriver.ChromeOptions()
    profile = tempfile.mkdtemp()
    for arg in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--no-first-run", "--user-data-dir=" + profile]:
        options.add_argument(arg)
    browser = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
    try:
        browser.get("http://127.0.0.1:%d/" % server.server_port)
        browser.set_script_timeout(600)
        import time
        while not browser.execute_script("return document.body.dataset.ready === '1'"):
            time.sleep(0.1)
        runs = [browser.execute_async_script(MEASURE, "bench.jww") for _ in range(3)]
    finally:
        browser.quit()
        server.shutdown()
    out = tempfile.mkdtemp()
    dry = min(cpu_of([exe, "--dry-run", "-j", "1", "-o", out, drawing]) for _ in range(3))
    split = min(cpu_of([exe, "-j", "1", "-o", out, drawing]) for _ in range(3))
    best = lambda k: min(r[k] for r in runs)
    print("drawing %s: %.1f MB, %d sheets" % (drawing, runs[0]["size"] / 1e6, runs[0]["sheets"]))
    print("page (best of 3, wall): read %.0f ms, plan %.0f ms, write sheets %.0f ms, plan picture %.0f ms" %
          (best("loadMs"), best("planMs"), best("writeMs"), best("planPictureMs")))
    print("command line (processor, best of 3): dry run (read + plan) %.0f ms, split %.0f ms" % (dry, split))
    print("read + plan: page / command line = %.2f" % ((best("loadMs") + best("planMs")) / dry))
    first = runs[0]
    print("module memory after read + plan %.0f MB = %.1f x the file; after writing every sheet and the plan "
          "picture %.0f MB" % (first["planned"] / 1e6, first["planned"] / first["size"], first["memory"] / 1e6))
    shutil.rmtree(out, ignore_errors=True)
    shutil.rmtree(serve, ignore_errors=True)
    shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    main()
