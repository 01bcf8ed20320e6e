#!/usr/bin/python3
"""Real carrier mail (every folder of shared/fixtures) through the glyphory command, checked as
a user would see it: which pictographs became which images in our HTML parts (Subject block
and body) and in the sender's own HTML parts, the text part byte for byte, the sender's HTML
otherwise unchanged once decoded, every attachment and inline image byte for byte, and mail
that is not converted left as it was.

Usage: fixtures_test.py GLYPHORY IMAGES_DIR FIXTURES_DIR   (exit 77: no fixtures, skipped)
"""
import base64
import os
import quopri
import re
import subprocess
import sys
import tempfile

# file -> (--carrier, outcome, images in our Subject block, in our body, in each sender HTML
# part). Images as carrier/CODE. The milter-manager mails are imitations sent from
# example.com: they are run with the carrier they imitate.
EXPECTED = {
    "MailCore+mailcore2/5231-emoji.eml": (None, "converted", [], ["au/F37E"], []),
    "jpmobile+jpmobile/au-attached.eml": (None, "converted", ["au/F659"], ["au/F6CD"], []),
    "jpmobile+jpmobile/au-decomail.eml": (None, "converted", ["au/F6CD"], ["au/F7B2"], [["au/F7B2"]]),
    "jpmobile+jpmobile/au-email.eml": (None, "converted", [], ["au/F6FB"], []),
    "jpmobile+jpmobile/au-emoji.eml": (None, "converted", ["au/F6DC"], ["au/F6FB"], []),
    "jpmobile+jpmobile/au-emoji2.eml": (None, "converted", ["au/F6CD"], ["au/F649"], []),
    "jpmobile+jpmobile/au-emoji5.eml": (None, "converted", ["au/F37A"], ["au/F36B"], []),
    "jpmobile+jpmobile/docomo-emoji.eml": (None, "converted", ["docomo/F8D7"], ["docomo/F987"], []),
    "jpmobile+jpmobile/docomo-gmail-sjis.eml": (None, "converted", ["docomo/F991"], ["docomo/F9D2"], [["docomo/F9D2"]]),
    "jpmobile+jpmobile/softbank-emoji.eml": (None, "converted", ["softbank/F97C"], ["softbank/F7BC"], []),
    "jpmobile+jpmobile/softbank-gmail-sjis.eml": (
        None, "converted", ["softbank/F7C1", "softbank/F7C3", "softbank/F7C1"], ["softbank/F958"], [["softbank/F7D1"]]),
    "jpmobile+jpmobile/softbank-emoji-utf8.eml": (None, "converted", ["softbank/F97C"], ["softbank/F7BC"], []),
    "jpmobile+jpmobile/softbank-gmail-utf8.eml": (None, "converted", ["softbank/F7C1"], ["softbank/F7C3"], [["softbank/F7C3"]]),
    "mikel+mail/japanese_shift_jis.eml": (None, "marked", [], [], []),
    # Codes the carrier's own set lacks in Unicode's EmojiSources.txt (docomo F9B1; au F794 from
    # JIS 7774; both are SoftBank codes): the generated image set has no picture, they stay text.
    "milter-manager+test-mails/emoji-docomo.eml": ("docomo", "marked", [], [], []),
    "milter-manager+test-mails/emoji-au.eml": ("au", "marked", [], [], []),
    "milter-manager+test-mails/emoji-softbank.eml": ("softbank", "converted", [], ["softbank/F983"], []),
    "milter-manager+test-mails/emoji-emobile.eml": ("au", "marked", [], [], []),
    "milter-manager+test-mails/decomail-docomo-iso-2022-jp.eml": ("docomo", "marked", [], [], []),
    "milter-manager+test-mails/decomail-au-iso-2022-jp.eml": ("au", "marked", [], [], []),
    "milter-manager+test-mails/decomail-emobile-shift_jis.eml": ("docomo", "marked", [], [], []),
    "milter-manager+test-mails/machine-dependent-docomo-shift-jis-extra-8bit.eml": ("docomo", "marked", [], [], []),
    "milter-manager+test-mails/machine-dependent-au-iso-2022-jp-extra-7bit.eml": ("au", "marked", [], [], []),
    "milter-manager+test-mails/machine-dependent-emobile-utf-8-extra-base64.eml": ("docomo", "marked", [], [], []),
    # A standard emoji (U+1F620) in UTF-8 base64 text: docomo's image of it.
    "milter-manager+test-mails/emoji-unicode.eml": ("docomo", "converted", [], ["docomo/F996"], []),
    "sisimai+set-of-emails/lhost-ezweb-01.eml": (None, "marked", [], [], []),
    # Declared ISO-2022-JP, but its text is EUC-JP: it cannot be read as it says, and stays as it came.
    "sisimai+set-of-emails/lhost-ezweb-02.eml": (None, "marked", [], [], []),
    "tmtysk+mbmail/docomo.eml": (None, "converted", ["docomo/F89F"], ["docomo/F89F"], []),
    "tmtysk+mbmail/ezweb.eml": (None, "converted", ["au/F660"], ["au/F660"], []),
    "tmtysk+mbmail/softbank.eml": (None, "converted", ["softbank/F98B"], ["softbank/F98B"], []),
    # Its only part is UTF-8 HTML without a pictograph: nothing to convert, nothing to mark.
    "ukkz+mailparser/sample_docomo.txt": ("docomo", "unchanged", [], [], []),
}
# An image of the set: a file (linked) or a part the message carries (cid:, the default).
TAG = re.compile(rb'<img src="(?:file://localhost/[^"]*/|cid:)([a-z]+)[/.]([0-9A-F]{4})\.gif(?:(?:\.\d+)?@pictograph\.glyphory\.invalid)?">')
OURS = re.compile(rb'--------_[0-9a-f]{32}_MULTIPART_ALTERNATIVE_')


def images(html):
    return [f"{m.group(1).decode()}/{m.group(2).decode()}" for m in TAG.finditer(html)]


class Entity:
    """One MIME entity as raw bytes: its header fields (names lower case, values unfolded),
    its body, and its parts when it is multipart."""

    def __init__(self, raw):
        self.raw = raw
        m = re.search(rb"\r?\n\r?\n", raw)
        head, self.body = (raw[:m.start()], raw[m.end():]) if m else (raw, b"")
        self.fields = {}
        for name, value in re.findall(rb"(?m)^([^\s:]+):[ \t]*(.*(?:\r?\n[ \t].*)*)", head):
            self.fields.setdefault(name.lower().decode(), re.sub(rb"\r?\n", b"", value).strip())
        ctype = self.fields.get("content-type", b"")
        self.type = re.match(rb"[^;\s]*", ctype).group(0).lower().decode()
        self.charset = (re.search(rb'(?i);\s*charset\s*=\s*"?([^";\s]+)', ctype) or [None, b""])[1].lower().decode()
        boundary = re.search(rb'(?i);\s*boundary\s*=\s*(?:"([^"]*)"|([^;\s]+))', ctype)
        self.boundary = (boundary.group(1) or boundary.group(2)) if boundary else None
        self.parts = []
        if self.type.startswith("multipart/") and self.boundary:
            body = self.body.split(b"--" + self.boundary + b"--")[0]
            for chunk in body.split(b"--" + self.boundary)[1:]:
                self.parts.append(Entity(re.sub(rb"^[ \t]*\r?\n", b"", chunk)))

    def leaves(self):
        if not self.parts:
            yield self
        for part in self.parts:
            yield from part.leaves()

    def decoded(self):
        encoding = self.fields.get("content-transfer-encoding", b"").strip().lower()
        if encoding == b"base64":
            return base64.b64decode(re.sub(rb"\s", b"", self.body))
        if encoding == b"quoted-printable":
            return quopri.decodestring(self.body)
        return self.body

    def sender_html(self):
        """The text/html leaves that are not in an alternative of ours."""
        if OURS.fullmatch(self.boundary or b""):
            return
        if self.type == "text/html":
            yield self
        for part in self.parts:
            yield from part.sender_html()


def jis_to_sjis(text):
    """ISO-2022-JP as Shift-JIS bytes, with au's rows 75-7C as the host's codec reads them,
    so that a text and the host's round trip of it compare equal."""
    out, two_byte, i = bytearray(), False, 0
    while i < len(text):
        if text[i] == 0x1B:
            two_byte = text[i + 1:i + 3] in (b"$B", b"$@")
            i += 3
        elif two_byte and text[i] > 0x20 and i + 1 < len(text):
            row, cell = text[i], text[i + 1]
            if 0x75 <= row <= 0x78:
                lead = 0xF6 + (row - 0x75) // 2
            elif 0x79 <= row <= 0x7C:
                lead = 0xF3 + (row - 0x79) // 2
            else:
                lead = ((row + 1) >> 1) + (0x70 if row <= 0x5E else 0xB0)
            trail = cell + (0x20 if cell >= 0x60 else 0x1F) if row & 1 else cell + 0x7E
            out += bytes([lead, trail])
            i += 2
        else:
            out.append(text[i])
            i += 1
    return bytes(out)


def load_unicode_tables(data_dir):
    """The generator's own reading of the carrier data: {carrier: {(code points...): [codes]}}."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
    import make_unicode_tables
    return make_unicode_tables.read_tables(os.path.join(data_dir, "carrier-codes.md"),
                                           os.path.join(data_dir, "emoji4unicode", "google-pua.tsv"),
                                           "/usr/share/unicode/EmojiSources.txt")


def with_unicode_as_images(html, carrier, image_dir, tables):
    """The same for UTF-8 HTML: the longest sequence with an image for each of its codes
    (U+FE0F skipped inside and after it), outside markup; the rest as it is."""
    text, out, i = html.decode("utf-8", "surrogateescape"), [], 0
    table = tables[carrier]
    while i < len(text):
        if text[i] == "<":
            end = text.find(">", i)
            end = len(text) if end < 0 else end + 1
            out.append(text[i:end])
            i = end
            continue
        points, ends, j = [], [], i
        while len(points) < 4 and j < len(text) and text[j] != "\ufe0f":
            points.append(ord(text[j]))
            j += 1
            while j < len(text) and text[j] == "\ufe0f":
                j += 1
            ends.append(j)
        for n in range(len(points), 0, -1):
            codes = table.get(tuple(points[:n]))
            if codes and all(os.path.isfile(os.path.join(image_dir, carrier, f"{c:04X}.gif")) for c in codes):
                out.append("".join(f"[{carrier}/{c:04X}]" for c in codes))
                i = ends[n - 1]
                break
        else:
            out.append(text[i])
            i += 1
    return "".join(out).encode("utf-8", "surrogateescape")


def with_codes_as_images(sjis, carrier, image_dir):
    """The HTML with every code of the carrier's image set outside markup written as the
    image name, walked as the plug-in walks it."""
    out, i = bytearray(), 0
    while i < len(sjis):
        code = sjis[i:i + 2].hex().upper()
        if len(code) == 4 and os.path.isfile(os.path.join(image_dir, carrier, code + ".gif")):
            out += f"[{carrier}/{code}]".encode()
            i += 2
        elif sjis[i] == 0x3C:
            end = sjis.find(b">", i)
            end = len(sjis) if end < 0 else end + 1
            out += sjis[i:end]
            i = end
        else:
            width = 2 if (0x81 <= sjis[i] <= 0x9F or 0xE0 <= sjis[i] <= 0xFC) and i + 1 < len(sjis) else 1
            out += sjis[i:i + width]
            i += width
    return bytes(out)


def check(name, source, result, image_dir, tables, failures):
    _, outcome, subject, body, html_images = EXPECTED[name]
    fail = lambda what: failures.append(f"{name}: {what}")
    if outcome == "unchanged":
        if result != source:
            fail("changed, though it should stay byte for byte")
        return
    # Line ends as LF, for CR LF files and LF files alike (the command keeps them as they came).
    lf_source, lf_result = source.replace(b"\r\n", b"\n"), result.replace(b"\r\n", b"\n")
    header, _, rest = lf_result.partition(b"\n\n")
    if b"\nCreateZaverGlyphory: true" not in b"\n" + header:
        fail("no marker header")
    if outcome == "marked":
        if rest != lf_source.partition(b"\n\n")[2] or OURS.search(result):
            fail("more than the marker was changed")
        return
    before, after = Entity(source), Entity(result)
    texts = [leaf.decoded().replace(b"\r\n", b"\n") for leaf in before.leaves() if leaf.type == "text/plain"]
    for b in dict.fromkeys(OURS.findall(lf_result)):
        parts = lf_result.split(b"--" + b)
        text_part = parts[1].split(b"\n\n", 1)[1]  # parts[1]: the text part, parts[2]: the HTML part
        if not text_part.endswith(b"\n\n") or text_part[:-2] not in texts:
            fail("the text part is not the original text byte for byte")
        html = parts[2].split(b"\n\n", 1)[1]
        block, sep, html_body = html.partition(b"----------------------------------------<BR>")
        got_subject, got_body = (images(block), images(html_body)) if sep else ([], images(html))
        if got_subject != subject:
            fail(f"Subject block images {got_subject}, expected {subject}")
        if got_body != body:
            fail(f"body images {got_body}, expected {body}")
    if not OURS.search(result) and (subject or body):
        fail("no alternative part")

    # The sender's HTML parts: each code an image of its own, nothing else changed.
    old_html, new_html = list(before.sender_html()), list(after.sender_html())
    if len(old_html) != len(new_html):
        fail(f"{len(old_html)} HTML parts became {len(new_html)}")
    got_html = []
    for old, new in zip(old_html, new_html):
        if old.fields != new.fields:
            fail("an HTML part's header changed")
        text, replaced = old.decoded(), new.decoded()
        carrier = (TAG.search(replaced) or [None, b""])[1].decode()
        got_html.append(images(replaced))
        if old.charset in ("", "iso-2022-jp", "us-ascii"):
            text, replaced = jis_to_sjis(text), jis_to_sjis(replaced)
        expected = with_unicode_as_images(text, carrier, image_dir, tables) if old.charset in ("utf-8", "utf8") \
            else with_codes_as_images(text, carrier, image_dir)
        if carrier and TAG.sub(lambda m: b"[" + m.group(1) + b"/" + m.group(2) + b"]", replaced) != expected:
            fail("an HTML part changed in more than its pictographs")
        if not carrier and old.raw != new.raw:
            fail("an HTML part without pictographs changed")
    if [g for g in got_html if g] != html_images:
        fail(f"sender HTML images {got_html}, expected {html_images}")
    for image in subject + body + sum(html_images, []):
        if not os.path.isfile(os.path.join(image_dir, image + ".gif")):
            fail(f"{image}.gif is not in the image set")
    # Attachments and inline images, byte for byte.
    for leaf in before.leaves():
        if not leaf.type.startswith("text/") and leaf.raw not in result:
            fail(f"a part ({leaf.type or 'no type'}) was not kept byte for byte")


def main():
    cli, image_dir, fixtures = sys.argv[1:4]
    if not os.path.isdir(fixtures):
        print(f"skipped: no fixtures at {fixtures} (shared/ is absent)")
        return 77
    failures = []
    tables = load_unicode_tables(os.path.join(fixtures, "..", "data"))
    found = sorted(os.path.relpath(os.path.join(d, f), fixtures) for d, _, files in os.walk(fixtures) for f in files
                   if f.endswith((".eml", ".txt")) and not f.startswith("LICENSE"))
    for name in found:
        if name not in EXPECTED:
            failures.append(f"{name}: a mail the test does not know; add what a user should see")
    with tempfile.TemporaryDirectory() as out:
        for name in sorted(EXPECTED):
            path = os.path.join(fixtures, name)
            carrier = EXPECTED[name][0]
            target = os.path.join(out, name.replace("/", "_"))
            run = subprocess.run([cli, "convert", "--images", image_dir, *(["--carrier", carrier] if carrier else []),
                                  path, "-o", target], capture_output=True)
            if run.returncode != 0:
                failures.append(f"{name}: glyphory failed: {run.stderr.decode(errors='replace')}")
                continue
            with open(path, "rb") as f, open(target, "rb") as g:
                check(name, f.read(), g.read(), image_dir, tables, failures)
            said = run.stderr.decode(errors="replace").strip()
            print(said.replace(fixtures + "/", ""))
            if EXPECTED[name][1] == "converted" and "converted (" not in said:
                failures.append(f"{name}: said '{said}'")
    for failure in failures:
        print("FAIL", failure)
    bad = {f.split(":")[0] for f in failures}
    print(f"{len(EXPECTED) - len(bad & set(EXPECTED))} passed, {len(bad)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
