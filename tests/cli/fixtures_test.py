#!/usr/bin/python3
"""Real carrier mail (shared/fixtures/jpmobile+jpmobile) through the glyphory command, checked
as a user would: which pictographs became which images in the Subject block and in the body,
the text part byte for byte, every other part byte for byte, and unconverted mail unchanged.

Usage: fixtures_test.py GLYPHORY IMAGES_DIR FIXTURES_DIR   (exit 77: no fixtures, skipped)
"""
import os
import re
import subprocess
import sys
import tempfile

# file -> (outcome, images in the Subject block, images in the body); images as carrier/CODE.
EXPECTED = {
    "au-attached.eml": ("converted", ["au/F659"], ["au/F6CD"]),
    "au-decomail.eml": ("converted", ["au/F6CD"], ["au/F7B2"]),
    "au-email.eml": ("converted", [], ["au/F6FB"]),
    "au-emoji.eml": ("converted", ["au/F6DC"], ["au/F6FB"]),
    "au-emoji2.eml": ("converted", ["au/F6CD"], ["au/F649"]),
    "au-emoji5.eml": ("converted", ["au/F37A"], ["au/F36B"]),
    "docomo-emoji.eml": ("converted", ["docomo/F8D7"], ["docomo/F987"]),
    "docomo-gmail-sjis.eml": ("converted", ["docomo/F991"], ["docomo/F9D2"]),
    "softbank-emoji.eml": ("converted", ["softbank/F97C"], ["softbank/F7BC"]),
    # A UTF-8 body holds no Shift-JIS codes: only the marker is added.
    "softbank-emoji-utf8.eml": ("marked", [], []),
    # "Content-Type:" without a space after the colon is no Content-Type line: left alone.
    "softbank-gmail-sjis.eml": ("unchanged", [], []),
    "softbank-gmail-utf8.eml": ("unchanged", [], []),
}
TAG = re.compile(rb'<img src="file://localhost/[^"]*/([a-z]+)/([0-9A-F]{4})\.gif">')
OURS = re.compile(rb'--------_[0-9a-f]{32}_MULTIPART_ALTERNATIVE_')


def images(html):
    return [f"{m.group(1).decode()}/{m.group(2).decode()}" for m in TAG.finditer(html)]


def check_kept(name, entity, result, failures):
    """Every part of a multipart entity that holds no text part comes back byte for byte."""
    m = re.search(rb'boundary="?([^";\s]+)"?', entity.split(b"\n\n", 1)[0])
    if not m:
        return
    for part in entity.split(b"--" + m.group(1))[1:-1]:
        first_type = re.search(rb"(?m)^Content-Type: (\S+)", part.split(b"\n\n", 1)[0])
        kind = first_type.group(1) if first_type else b""
        if kind.startswith(b"text/plain"):
            continue
        if kind.lower().startswith(b"multipart/"):
            check_kept(name, part, result, failures)
        elif part not in result:
            failures.append(f"{name}: a part ({kind.decode() or 'no type'}) was not kept byte for byte")


def check(name, source, result, image_dir, failures):
    outcome, subject, body = EXPECTED[name]
    fail = lambda what: failures.append(f"{name}: {what}")
    if outcome == "unchanged":
        if result != source:
            fail("changed, though it should stay byte for byte")
        return
    header, _, rest = result.partition(b"\n\n")
    if b"\nCreateZaverGlyphory: true" not in b"\n" + header:
        fail("no marker header")
    if outcome == "marked":
        src_header, _, src_body = source.partition(b"\n\n")
        if rest != src_body or OURS.search(result):
            fail("more than the marker was changed")
        return
    boundaries = list(dict.fromkeys(OURS.findall(result)))
    if not boundaries:
        fail("no alternative part")
        return
    for b in boundaries:
        parts = result.split(b"--" + b)
        # parts[1]: the text part, parts[2]: the HTML part.
        text_part = parts[1].split(b"\n\n", 1)[1]
        if not text_part.endswith(b"\n\n\n") or text_part[:-3] not in source:
            fail("the text part is not the original text byte for byte")
        html = parts[2].split(b"\n\n", 1)[1]
        block, sep, html_body = html.partition(b"----------------------------------------<BR>")
        got_subject, got_body = (images(block), images(html_body)) if sep else ([], images(html))
        if got_subject != subject:
            fail(f"Subject block images {got_subject}, expected {subject}")
        if got_body != body:
            fail(f"body images {got_body}, expected {body}")
        for image in got_subject + got_body:
            if not os.path.isfile(os.path.join(image_dir, image + ".gif")):
                fail(f"{image}.gif is not in the image set")
    check_kept(name, source, result, failures)


def main():
    cli, image_dir, fixtures = sys.argv[1:4]
    if not os.path.isdir(fixtures):
        print(f"skipped: no fixtures at {fixtures} (shared/ is absent)")
        return 77
    failures = []
    with tempfile.TemporaryDirectory() as out:
        for name in sorted(EXPECTED):
            path = os.path.join(fixtures, name)
            run = subprocess.run([cli, "convert", "--images", image_dir, path, "--out-dir", out],
                                 capture_output=True)
            if run.returncode != 0:
                failures.append(f"{name}: glyphory failed: {run.stderr.decode(errors='replace')}")
                continue
            with open(path, "rb") as f, open(os.path.join(out, name), "rb") as g:
                check(name, f.read(), g.read(), image_dir, failures)
            said = run.stderr.decode(errors="replace").strip()
            print(said.replace(fixtures + "/", ""))
            if EXPECTED[name][0] == "converted" and "converted (" not in said:
                failures.append(f"{name}: said '{said}'")
    for failure in failures:
        print("FAIL", failure)
    print(f"{len(EXPECTED) - len({f.split(':')[0] for f in failures})} passed, "
          f"{len({f.split(':')[0] for f in failures})} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
