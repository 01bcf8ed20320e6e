#!/usr/bin/python3
"""Pages of the export and of preview -o made from mail that anyone could have sent: nothing of
the sender's runs or loads, the page shows only the HTML part that the conversion made (or
the sender's HTML, sanitized), and nothing is written outside the export folder.

Usage: hostile_test.py GLYPHORY IMAGES_DIR"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

CLI, IMAGES = sys.argv[1], sys.argv[2]
CHROMIUM = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync"]
SUN = b"\xF8\x9F"  # Docomo's sun in Shift-JIS
HOSTILE_HTML = (b"<html><head><base href=\"http://remote.example/\"><meta http-equiv=\"refresh\" content=\"0;url=http://remote.example/\">"
                b"<link rel=stylesheet href=\"http://remote.example/s.css\"><style>body{background:url(http://remote.example/b.png)}</style>"
                b"</head><body onload=\"document.title='pwned'\"><div style=\"position:fixed;inset:0;z-index:9\">fake</div>"
                b"<p style=\"background:url(http://remote.example/c.png)\">sun " + SUN +
                b"</p><img src=\"http://remote.example/track.gif\"><img src=x onerror=\"document.title='pwned'\">"
                b"<img src=\"file://localhost/etc/docomo/../../passwd\"><a href=\"javascript:document.title='pwned'\">link</a>"
                b"<a href=\"jav&#x61;script:alert(1)\">x</a><iframe src=\"http://remote.example/\"></iframe>"
                b"<form action=\"http://remote.example/\"><input name=q></form><svg><script>document.title='pwned'</script></svg>"
                b"<object data=\"x.swf\"></object><script>document.title='pwned'</script></body></html>")
FORGED_BOUNDARY = b"--------_0123456789abcdef0123456789abcdef_MULTIPART_ALTERNATIVE_"
MESSAGES = {
    # A sender's own "converted" form, with a boundary of the converter's form: not ours.
    "forged": (b"From: a@docomo.ne.jp\nSubject: s\nContent-Type: multipart/alternative; boundary=\"" + FORGED_BOUNDARY + b"\"\n\n"
               b"--" + FORGED_BOUNDARY + b"\nContent-Type: text/plain; charset=Shift_JIS\n\nsun " + SUN + b"\n"
               b"--" + FORGED_BOUNDARY + b"\nContent-Type: text/html; charset=Shift_JIS\n\n" + HOSTILE_HTML + b"\n"
               b"--" + FORGED_BOUNDARY + b"--\n"),
    # A decorated mail whose pictograph is in its HTML only: the page shows that HTML, sanitized.
    "decorated": (b"From: a@docomo.ne.jp\nSubject: s\nContent-Type: multipart/alternative; boundary=\"a\"\n\n"
                  b"--a\nContent-Type: text/plain; charset=Shift_JIS\n\nsun\n"
                  b"--a\nContent-Type: text/html; charset=Shift_JIS\n\n" + HOSTILE_HTML + b"\n--a--\n"),
    # A boundary of the converter's form inside a text body, before any part of ours.
    "in the text": (b"From: a@docomo.ne.jp\nSubject: s\nContent-Type: text/plain; charset=Shift_JIS\n\n"
                    b"Content-Type: multipart/alternative; boundary=\"" + FORGED_BOUNDARY + b"\"\n--" + FORGED_BOUNDARY +
                    b"\n\n--" + FORGED_BOUNDARY + b"\n\n<script>document.title='pwned'</script>" + SUN + b"\n"),
}
# Nothing of these may stand in a page (as markup: a text shows them escaped).
FORBIDDEN = [rb"<script", rb"\bon[a-z]+\s*=", rb"remote\.example", rb"javascript:", rb"<base", rb"url\(", rb"<iframe",
             rb"<form", rb"<object", rb"<link", rb"<svg", rb"refresh", rb"passwd", rb"position", rb"z-index"]


class Hostile(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.mail = os.path.join(self.dir.name, "mail")
        os.makedirs(self.mail)
        for name, message in MESSAGES.items():
            with open(os.path.join(self.mail, name.replace(" ", "-") + ".eml"), "wb") as f:
                f.write(message)
        self.sentinel = os.path.join(self.dir.name, "sentinel.txt")
        with open(self.sentinel, "wb") as f:
            f.write(b"untouched")

    def check_page(self, page, name):
        self.assertIn(b"Content-Security-Policy\" content=\"default-src 'none'; img-src 'self'", page, name)
        self.assertIn(b"<meta name=\"referrer\" content=\"no-referrer\">", page, name)
        body = page.split(b"</head>", 1)[1]
        for pattern in FORBIDDEN:
            self.assertIsNone(re.search(pattern, body, re.I), f"{name}: {pattern} in {body!r}")
        self.assertIn(b"docomo/F89F.gif", body, name)  # the sun shows all the same

    def test_pages_of_the_export_hold_nothing_of_the_senders_that_runs_or_loads(self):
        out = os.path.join(self.dir.name, "export")
        r = subprocess.run([CLI, "preview", "--images", IMAGES, self.mail, "--out-dir", out], capture_output=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        pages = sorted(os.listdir(os.path.join(out, "messages")))
        self.assertEqual(len(pages), len(MESSAGES))
        for page in pages:
            with open(os.path.join(out, "messages", page), "rb") as f:
                self.check_page(f.read(), page)
        with open(os.path.join(out, "index.html"), "rb") as f:
            self.assertIn(b"Content-Security-Policy", f.read())
        # Only images of the set, by carrier and code; nothing outside the export folder.
        copied = sorted(os.path.relpath(os.path.join(d, f), out) for d, _, fs in os.walk(out) for f in fs)
        self.assertEqual([c for c in copied if not c.startswith("messages/")], ["images/docomo/F89F.gif", "index.html"])
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["export", "mail", "sentinel.txt"])
        with open(self.sentinel, "rb") as f:
            self.assertEqual(f.read(), b"untouched")
        # In the browser: nothing ran.
        for page in pages:
            dom = subprocess.run(CHROMIUM + [f"--user-data-dir={tempfile.mkdtemp(dir=self.dir.name)}", "--virtual-time-budget=2000",
                                             "--dump-dom", "file://" + os.path.join(out, "messages", page)],
                                 capture_output=True, timeout=120).stdout
            self.assertIn(b"<title>s</title>", dom, page)

    def test_links_left_in_the_export_folder_lead_nowhere_outside_it(self):
        outside = os.path.join(self.dir.name, "outside")
        os.makedirs(outside)
        # A file that is a link gives way to the export's own; a folder that is one is refused by name.
        # A pipe gives way too, instead of holding the export up.
        for link, target, status in [("images/docomo/F89F.gif", self.sentinel, 0), ("images/docomo", outside, 1),
                                     ("messages", outside, 1), ("index.html", None, 0)]:
            with self.subTest(link):
                out = tempfile.mkdtemp(dir=self.dir.name)
                os.makedirs(os.path.dirname(os.path.join(out, link)), exist_ok=True)
                os.symlink(target, os.path.join(out, link)) if target else os.mkfifo(os.path.join(out, link))
                r = subprocess.run([CLI, "preview", "--images", IMAGES, self.mail, "--out-dir", out], capture_output=True,
                                   timeout=60)
                refused = os.path.join(out, link).encode() + b" is a symbolic link" in r.stderr
                self.assertEqual((r.returncode, refused), (status, status == 1), r.stderr)
                self.assertEqual(os.listdir(outside), [])
                with open(self.sentinel, "rb") as f:
                    self.assertEqual(f.read(), b"untouched")
                image = os.path.join(out, "images/docomo/F89F.gif")
                self.assertEqual(os.path.isfile(image) and not os.path.islink(image), status == 0)

    def test_html_that_would_exhaust_the_parser_shows_the_text(self):
        nested = os.path.join(self.mail, "nested.eml")
        with open(nested, "wb") as f:
            f.write(MESSAGES["decorated"].replace(b"<p style", b"<marquee>" * 20000 + b"<p style"))
        page = os.path.join(self.dir.name, "n.html")
        r = subprocess.run([CLI, "preview", "--images", IMAGES, nested, "-o", page], capture_output=True, timeout=30)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(page, "rb") as f:
            self.assertIn(b"<p>sun", f.read())  # the text part, escaped

    def test_preview_pages_too(self):
        for name in MESSAGES:
            page = os.path.join(self.dir.name, "p.html")
            r = subprocess.run([CLI, "preview", "--images", IMAGES, os.path.join(self.mail, name.replace(" ", "-") + ".eml"),
                                "-o", page], capture_output=True)
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(page, "rb") as f:
                self.check_page(f.read(), name)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
