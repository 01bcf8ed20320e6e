#!/usr/bin/python3
"""Each sample's preview in headless Chromium: every <img> of the HTML part loaded (natural
width above 0), and the text around them reads as the sample's own Japanese text.
Usage: browser_test.py GLYPHORY IMAGES_DIR SAMPLES_DIR [SCREENSHOT.png]"""
import json
import os
import re
import subprocess
import sys
import tempfile

CHROMIUM = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--allow-file-access-from-files"]
PROBE = (b'<script>window.addEventListener("load", () => { const p = document.createElement("pre");'
         b' p.id = "glyphory-result"; p.textContent = JSON.stringify({widths: [...document.images]'
         b'.map(i => i.naturalWidth), text: document.body.innerText}); document.body.appendChild(p); });</script>')


def sample_lines(message):
    """The lines of the sample's body as its charset reads them, pictographs left out."""
    header, _, body = message.partition(b"\r\n\r\n")
    if b"ISO-2022-JP" in header:
        body = re.sub(rb"\x1b\$B[\x75-\x7c][\x21-\x7e]\x1b\(B", b"", body)
        text = body.decode("iso-2022-jp")
    elif b"UTF-8" in header:
        text = body.decode("utf-8")
    else:
        text = body.decode("cp932")
    # Private-use pictographs (the carriers', Google's), emoji and their variation selectors.
    pictographs = [(0xE000, 0xF8FF), (0xFE000, 0xFEFFF), (0x1F000, 0x1FAFF), (0x2600, 0x27BF), (0xFE0F, 0xFE0F)]
    text = "".join(c for c in text if not any(lo <= ord(c) <= hi for lo, hi in pictographs))
    return [line for line in text.split("\r\n") if line]


def main():
    cli, images, samples = sys.argv[1:4]
    screenshot = sys.argv[4] if len(sys.argv) > 4 else None
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for name in sorted(os.listdir(samples)):
            page = os.path.join(work, name + ".html")
            subprocess.run([cli, "preview", "--images", images, os.path.join(samples, name), "-o", page],
                           check=True, capture_output=True)
            with open(page, "rb") as f:
                html = f.read()
            expected_images = html.count(b"<img src=")
            probe = os.path.join(work, name + ".probe.html")
            with open(probe, "wb") as f:
                # The probe is a script of the test's own: the page's policy, which forbids
                # scripts, is taken out for it.
                f.write(re.sub(rb'<meta http-equiv="Content-Security-Policy"[^>]*>', b"", html).replace(
                    b"</body>", PROBE + b"</body>"))
            profile = tempfile.mkdtemp(dir=work)
            dom = subprocess.run(CHROMIUM + [f"--user-data-dir={profile}", "--virtual-time-budget=3000",
                                             "--dump-dom", "file://" + probe],
                                 capture_output=True, timeout=120).stdout.decode("utf-8", "replace")
            m = re.search(r'<pre id="glyphory-result">(.*?)</pre>', dom, re.S)
            if not m:
                failures.append(f"{name}: the page did not load")
                continue
            seen = json.loads(m.group(1).replace("&quot;", '"').replace("&amp;", "&").replace("&lt;", "<").replace("&gt;", ">"))
            if len(seen["widths"]) != expected_images or not all(w > 0 for w in seen["widths"]):
                failures.append(f"{name}: images {seen['widths']}, {expected_images} expected, all loaded")
            shown = seen["text"].splitlines()
            with open(os.path.join(samples, name), "rb") as f:
                for line in sample_lines(f.read()):
                    if line not in shown:
                        failures.append(f"{name}: '{line}' is not shown as a line of its own: {shown}")
            print(f"{name}: {len(seen['widths'])} images loaded; text: {' / '.join(shown)}")
            if screenshot and name.startswith("docomo"):
                subprocess.run(CHROMIUM + [f"--user-data-dir={tempfile.mkdtemp(dir=work)}", "--window-size=520,160",
                                           "--hide-scrollbars", f"--screenshot={screenshot}", "file://" + page],
                               capture_output=True, timeout=120)
    for failure in failures:
        print("FAIL", failure)
    bad = len({f.split(':')[0] for f in failures})
    print(f"{len(os.listdir(samples)) - bad} passed, {bad} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
