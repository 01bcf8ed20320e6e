#!/usr/bin/python3
"""`glyphory preview ARCHIVE|FOLDER --out-dir DIR` opened in headless Chromium: the index lists
every message by date, every link of it resolves, and two pages show every image they hold.
Usage: export_test.py GLYPHORY IMAGES_DIR FIXTURES_DIR [SCREENSHOT.png] (exits 77 without
FIXTURES_DIR)"""
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

CHROMIUM = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--allow-file-access-from-files"]
PROBE = ('<script>window.addEventListener("load", () => { const p = document.createElement("pre");'
         ' p.id = "glyphory-result"; p.textContent = JSON.stringify({widths: [...document.images]'
         '.map(i => i.naturalWidth), links: [...document.links].map(a => a.href)});'
         ' document.body.appendChild(p); });</script>')


def seen_in_chromium(page, work):
    """What Chromium loaded of the page: each image's natural width, each link."""
    with open(page, encoding="utf-8") as f:
        html = f.read()
    probe = page + ".probe.html"
    with open(probe, "w", encoding="utf-8") as f:
        # The probe is a script of the test's own: the page's policy, which forbids scripts, is
        # taken out for it.
        f.write(re.sub(r'<meta http-equiv="Content-Security-Policy"[^>]*>', "", html).replace("</body>", PROBE + "</body>"))
    dom = subprocess.run(CHROMIUM + [f"--user-data-dir={tempfile.mkdtemp(dir=work)}", "--virtual-time-budget=3000",
                                     "--dump-dom", "file://" + probe], capture_output=True, timeout=120).stdout.decode()
    os.remove(probe)
    m = re.search(r'<pre id="glyphory-result">(.*?)</pre>', dom, re.S)
    if not m:
        return None
    return json.loads(m.group(1).replace("&quot;", '"').replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">"))


def main():
    cli, images, fixtures = sys.argv[1:4]
    screenshot = sys.argv[4] if len(sys.argv) > 4 else None
    if not os.path.isdir(fixtures):
        print("no fixtures at", fixtures, "- skipped")
        return 77
    failures = []
    with tempfile.TemporaryDirectory() as work:
        # An mbox of the jpmobile mails and a folder of the tmtysk ones, as a user keeps them.
        mails = sorted(glob.glob(os.path.join(fixtures, "jpmobile+jpmobile", "*.eml")))
        with open(os.path.join(work, "phone.mbox"), "wb") as box:
            for name in mails:
                with open(name, "rb") as f:
                    message = f.read().replace(b"\r\n", b"\n")
                message = b"\n".join(b">" + l if re.match(rb">*From ", l) else l for l in message.split(b"\n"))
                box.write(b"From someone Mon Mar  4 10:00:00 2024\n" + message.rstrip(b"\n") + b"\n\n")
        folder = os.path.join(work, "folder")
        shutil.copytree(os.path.join(fixtures, "tmtysk+mbmail"), folder)
        out = os.path.join(work, "export")
        r = subprocess.run([cli, "preview", "--images", images, os.path.join(work, "phone.mbox"), folder, "--out-dir", out],
                           capture_output=True)
        if r.returncode != 0:
            failures.append(f"preview failed: {r.stderr.decode()}")
        index = os.path.join(out, "index.html")
        with open(index, encoding="utf-8") as f:
            html = f.read()
        pages = re.findall(r'<a href="(messages/[^"]+)"', html)
        expected = len(mails) + len(glob.glob(os.path.join(folder, "*.eml")))
        if len(pages) != expected:
            failures.append(f"the index lists {len(pages)} messages, {expected} expected")
        dates = re.findall(r"<tr><td>([^<]*)</td>", html)
        if dates != sorted(dates, key=lambda d: subprocess.run(["date", "-u", "-d", re.sub(r"\s*\(.*\)", "", d), "+%s"],
                                                               capture_output=True, text=True).stdout.strip().zfill(12)):
            failures.append(f"the index is not by date: {dates}")
        for relative in re.findall(r'(?:href|src)="([^"]+)"', html):
            if not os.path.exists(os.path.join(out, relative)):
                failures.append(f"index: {relative} does not resolve")
        seen = seen_in_chromium(index, work)
        if not seen or not all(w > 0 for w in seen["widths"]) or len(seen["links"]) != expected:
            failures.append(f"index in Chromium: {seen}")
        checked = 0
        for page in pages:
            path = os.path.join(out, page)
            with open(path, encoding="utf-8") as f:
                count = f.read().count("<img src=")
            if count == 0:
                continue
            seen = seen_in_chromium(path, work)
            if not seen or len(seen["widths"]) != count or not all(w > 0 for w in seen["widths"]):
                failures.append(f"{page}: images {seen and seen['widths']}, {count} expected, all loaded")
            if not seen or not any(link.endswith("/index.html") for link in seen["links"]):
                failures.append(f"{page}: no link back to the index")
            print(f"{page}: {count} images loaded")
            checked += 1
            if checked == 2:
                break
        if checked < 2:
            failures.append("fewer than two pages with images")
        # Every image file is one a page shows, and the folder stands on its own.
        for image in glob.glob(os.path.join(out, "images", "*", "*.gif")):
            relative = os.path.relpath(image, out)
            if not any(("../" + relative) in open(os.path.join(out, p), encoding="utf-8").read() for p in pages):
                failures.append(f"{relative} is shown by no page")
        if screenshot:
            subprocess.run(CHROMIUM + [f"--user-data-dir={tempfile.mkdtemp(dir=work)}", "--window-size=900,420",
                                       "--hide-scrollbars", f"--screenshot={screenshot}", "file://" + index],
                           capture_output=True, timeout=120)
    for failure in failures:
        print("FAIL", failure)
    print("passed" if not failures else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
