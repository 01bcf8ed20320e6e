#!/usr/bin/python3
"""The glyphory command as a user runs it: arguments, files, line ends, what it says.
Usage: cli_test.py GLYPHORY IMAGES_DIR"""
import os
import subprocess
import sys
import tempfile
import unittest

CLI, IMAGES = sys.argv[1], sys.argv[2]
DOCOMO = (b"From: hanako@docomo.ne.jp\nSubject: =?Shift_JIS?B?+J8=?=\nContent-Type: text/plain; charset=Shift_JIS\n\n"
          b"A\xf8\x9fB\n")


def run(*args, stdin=b""):
    return subprocess.run([CLI, *args], input=stdin, capture_output=True)


class Cli(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name, content=None):
        p = os.path.join(self.dir.name, name)
        if content is not None:
            with open(p, "wb") as f:
                f.write(content)
        return p

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def test_lf_only_file_comes_back_with_lf_only(self):
        r = run("convert", "--images", IMAGES, self.path("m.eml", DOCOMO), "-o", self.path("out.eml"))
        self.assertEqual(r.returncode, 0, r.stderr)
        out = self.read("out.eml")
        self.assertNotIn(b"\r", out)
        self.assertIn(b"cid:docomo.F89F.gif", out)
        self.assertIn(b"Subject:<img", out)  # the encoded-word Subject was decoded for the plug-in
        self.assertIn(b"\n\nA\xf8\x9fB\n\n\n", out)  # the text part as it came
        self.assertIn(b"converted (docomo, 2 pictographs replaced)", r.stderr)

    def test_mixed_line_ends_are_taken_as_they_are(self):
        mixed = DOCOMO.replace(b"Subject", b"X: 1\r\nSubject")
        r = run("convert", "--images", IMAGES, self.path("m.eml", mixed), "-o", self.path("out.eml"))
        self.assertEqual(r.returncode, 0)
        self.assertEqual(self.read("out.eml"), mixed)  # no CR LF CR LF: header lines only, no type
        self.assertIn(b"not a text message", r.stderr)

    def test_nul_byte_leaves_the_message_alone(self):
        data = DOCOMO + b"\0tail"
        r = run("convert", "--images", IMAGES, self.path("m.eml", data), "-o", self.path("out.eml"))
        self.assertEqual(r.returncode, 0)
        self.assertEqual(self.read("out.eml"), data)
        self.assertIn(b"NUL byte", r.stderr)

    def test_text_decoding_to_nul_keeps_the_attachment_after_it(self):
        head = b"From: a@docomo.ne.jp\r\nContent-Type: multipart/mixed; boundary=\"m\"\r\n"
        body = (b"--m\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\nc3VuIPifAGFmdGVy\r\n"
                b"--m\r\nContent-Type: image/jpeg\r\nContent-Transfer-Encoding: base64\r\n\r\n/9j/4AAQSkZJRgABAQ==\r\n"
                b"--m--\r\n")
        r = run("convert", "--images", IMAGES, self.path("m.eml", head + b"\r\n" + body), "-o", self.path("out.eml"))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(self.read("out.eml"), head + b"CreateZaverGlyphory: true\r\n\r\n" + body)
        self.assertIn(b"marked as converted", r.stderr)

    def test_reasons_for_leaving_a_message_alone(self):
        other = DOCOMO.replace(b"docomo.ne.jp", b"example.com")
        r = run("convert", "--images", IMAGES, self.path("a.eml", other), "-o", self.path("out.eml"))
        self.assertIn(b"no carrier", r.stderr)
        self.assertEqual(self.read("out.eml"), other)
        r = run("convert", "--images", IMAGES, "--force", self.path("a.eml"), "-o", self.path("out.eml"))
        self.assertIn(b"marked as converted", r.stderr)  # AU's map has no F89F
        r = run("convert", "--images", IMAGES, "--carrier", "docomo", self.path("a.eml"), "-o", self.path("out.eml"))
        self.assertIn(b"converted (docomo", r.stderr)
        r = run("convert", "--images", IMAGES, self.path("out.eml"), "-o", self.path("again.eml"))
        self.assertIn(b"already converted", r.stderr)
        self.assertEqual(self.read("again.eml"), self.read("out.eml"))

    def test_in_place_keeps_the_original(self):
        p = self.path("m.eml", DOCOMO)
        self.assertEqual(run("convert", "--images", IMAGES, p, "--in-place").returncode, 0)
        self.assertEqual(self.read("m.eml~"), DOCOMO)
        self.assertIn(b"CreateZaverGlyphory: true", self.read("m.eml"))
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["m.eml", "m.eml~"])

    def test_a_pipe_is_read_and_a_marked_message_stays_untouched_in_place(self):
        r = subprocess.run([CLI, "convert", "--images", IMAGES, "/dev/stdin", "-o", self.path("out.eml")], input=DOCOMO,
                           capture_output=True)  # a pipe, through its name: no size, no seeking
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(b"cid:docomo.F89F.gif", self.read("out.eml"))
        marked = b"From: a@docomo.ne.jp\nContent-Type: text/plain\nCreateZaverGlyphory: true\n\nno pictograph\n"
        self.path("marked.eml", marked)
        os.utime(self.path("marked.eml"), (1000000000, 1000000000))
        r = run("convert", "--images", IMAGES, "--force", self.path("marked.eml"), "--in-place")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual((self.read("marked.eml"), os.stat(self.path("marked.eml")).st_mtime), (marked, 1000000000))
        self.assertFalse(os.path.exists(self.path("marked.eml~")))

    def test_standard_input_and_output(self):
        r = run("convert", "--images", IMAGES, "-", "-o", "-", stdin=DOCOMO)
        self.assertEqual(r.returncode, 0)
        self.assertIn(b"cid:docomo.F89F.gif", r.stdout)

    def test_failures_are_said_and_leave_nothing_half_written(self):
        r = run("convert", self.path("missing.eml"), "-o", self.path("out.eml"))
        self.assertEqual(r.returncode, 1)
        self.assertIn(b"cannot read", r.stderr)
        r = run("convert", self.path("m.eml", DOCOMO), "-o", os.path.join(self.dir.name, "no", "out.eml"))
        self.assertEqual(r.returncode, 1)
        self.assertIn(b"cannot write", r.stderr)
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["m.eml"])
        for args in (["convert"], ["convert", "m.eml"], ["convert", "a", "b", "-o", "x"], ["frobnicate", "m"],
                     ["convert", "--carrier", "willcom", "m", "-o", "x"], ["preview", "m"], []):
            self.assertEqual(run(*args).returncode, 2, args)
        self.assertEqual(run("convert", "--images", self.path("nowhere"), "m", "-o", "x").returncode, 1)

    def test_help_and_version(self):
        self.assertEqual(run("--version").stdout, b"glyphory 1.1.0\n")
        r = run("--help")
        self.assertEqual(r.returncode, 0)
        self.assertIn(b"usage: glyphory convert", r.stdout)

    def test_preview_is_a_page_with_the_images(self):
        r = run("preview", "--images", IMAGES, self.path("m.eml", DOCOMO), "-o", self.path("p.html"))
        self.assertEqual(r.returncode, 0, r.stderr)
        page = self.read("p.html")
        self.assertTrue(page.startswith(b"<!DOCTYPE html>\n<html><head><meta charset=\"UTF-8\">\n"))
        self.assertIn(b"Content-Security-Policy", page)
        self.assertTrue(page.rstrip().endswith(b"</html>"))
        self.assertEqual(page.count(b"<img src="), 2)

    def test_preview_shows_what_a_mail_client_shows(self):
        html = b"--a\nContent-Type: text/html; charset=Shift_JIS\n\n<HTML><b>sender</b>%s</HTML>\n"
        text = b"--a\nContent-Type: text/plain; charset=Shift_JIS\n\nA\xf8\x9fB\n"
        cases = [  # the parts of an alternative; whether the page shows the sender's HTML
            (html % b"" + text, False),  # the part this run made; the sender's has nothing to convert
            (text + html % b"\xf8\x9f", True),  # a decorated mail: its HTML, converted, as a client prefers it
        ]
        for parts, senders in cases:
            message = b"From: a@docomo.ne.jp\nContent-Type: multipart/alternative; boundary=\"a\"\n\n" + parts + b"--a--\n"
            r = run("preview", "--images", IMAGES, self.path("m.eml", message), "-o", self.path("p.html"))
            self.assertEqual(r.returncode, 0, r.stderr)
            page = self.read("p.html")
            self.assertEqual(b"<b>sender</b>" in page, senders, page)
            self.assertIn(b"docomo/F89F.gif", page)

    def test_each_pictograph_is_counted_once(self):
        two_parts = (b"From: a@docomo.ne.jp\nSubject: =?Shift_JIS?B?+J8=?=\nContent-Type: multipart/mixed; boundary=\"m\"\n\n"
                     b"--m\nContent-Type: text/plain; charset=Shift_JIS\n\none\n"
                     b"--m\nContent-Type: text/plain; charset=Shift_JIS\n\ntwo\xf8\x9f\n--m--\n")
        r = run("convert", "--images", IMAGES, self.path("m.eml", two_parts), "-o", self.path("out.eml"))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(b"converted (docomo, 2 pictographs replaced)", r.stderr)  # the Subject's and the body's
        self.assertEqual(self.read("out.eml").count(b"src=\"cid:docomo.F89F.gif"), 3)  # the Subject block twice
        # A sender's HTML with images of its own (quoted-printable) and no pictograph: none replaced.
        own_images = (b"From: a@docomo.ne.jp\nContent-Type: multipart/alternative; boundary=\"a\"\n\n--a\n"
                      b"Content-Type: text/html; charset=\"ISO-2022-JP\"\nContent-Transfer-Encoding: quoted-printable\n\n"
                      b"<img src=3D\"cid:x\"><img src=3D\"cid:y\">\n--a--\n")
        r = run("convert", "--images", IMAGES, self.path("h.eml", own_images), "-o", self.path("out.eml"))
        self.assertIn(b"marked as converted: no known pictograph", r.stderr)

    def test_missing_images_are_an_error_not_a_marker(self):
        os.mkdir(self.path("empty"))
        r = run("convert", "--images", self.path("empty"), self.path("m.eml", DOCOMO), "--in-place")
        self.assertEqual(r.returncode, 1)
        self.assertIn(b"holds none of au/, softbank/, docomo/", r.stderr)
        self.assertEqual(self.read("m.eml"), DOCOMO)

    def test_replaced_file_keeps_its_permissions_and_leaves_no_temporary(self):
        self.path("m.eml", DOCOMO)
        os.chmod(self.path("m.eml"), 0o600)
        self.path("out.eml", b"old")
        os.chmod(self.path("out.eml"), 0o640)
        r = run("convert", "--images", IMAGES, self.path("m.eml"), "-o", self.path("out.eml"))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(os.stat(self.path("out.eml")).st_mode & 0o777, 0o640)
        self.assertEqual(run("convert", "--images", IMAGES, self.path("m.eml"), "--in-place").returncode, 0)
        self.assertEqual(os.stat(self.path("m.eml")).st_mode & 0o777, 0o600)
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["m.eml", "m.eml~", "out.eml"])

    def test_two_runs_at_once_write_whole_results(self):
        self.path("m.eml", DOCOMO)
        runs = [subprocess.Popen([CLI, "convert", "--images", IMAGES, self.path("m.eml"), "-o", self.path("out.eml")],
                                 stderr=subprocess.DEVNULL) for _ in range(8)]
        self.assertEqual([p.wait() for p in runs], [0] * 8)
        self.assertIn(b"cid:docomo.F89F.gif", self.read("out.eml"))
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["m.eml", "out.eml"])

    def test_relative_settings_and_the_installed_command_moved_elsewhere(self):
        self.path("s.ini", b"[Config]\nDocomo List=docomo.ne.jp\n")
        self.path("m.eml", DOCOMO)
        r = subprocess.run([os.path.abspath(CLI), "convert", "--images", os.path.abspath(IMAGES), "--settings", "s.ini", "m.eml", "-o",
                            "out.eml"], cwd=self.dir.name, capture_output=True)
        self.assertIn(b"converted (docomo", r.stderr)
        build = os.path.dirname(os.path.dirname(CLI))
        install = subprocess.run(["cmake", "--install", build, "--prefix", self.path("a")], capture_output=True)
        self.assertEqual(install.returncode, 0, install.stderr)
        os.rename(self.path("a"), self.path("b"))
        moved = os.path.join(self.path("b"), "bin", "glyphory")
        r = subprocess.run([moved, "convert", "--link-images", self.path("m.eml"), "-o", self.path("out.eml")], capture_output=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(b"converted (docomo, 2 pictographs replaced)", r.stderr)
        # A well-formed file URL: localhost and the absolute path, no doubled slash.
        self.assertIn(("<img src=\"file://localhost" + self.path("b") + "/share/glyphory/images/docomo/F89F.gif\">").encode(),
                      self.read("out.eml"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=1)
