#!/usr/bin/python3
"""The glyphory command on whole archives: mbox files (LF and CR LF, mboxrd quoting,
Content-Length), Maildirs and folders, with their summary and their failures.
Usage: archive_test.py GLYPHORY IMAGES_DIR FIXTURES_DIR (exits 77 without FIXTURES_DIR)"""
import glob
import os
import re
import subprocess
import sys
import tempfile
import unittest

CLI, IMAGES, FIXTURES = sys.argv[1], sys.argv[2], sys.argv[3]
FROM_LINE = b"From sender@example.jp Mon Mar  4 10:00:00 2024"
MARKER = b"CreateZaverGlyphory: true"
# Not a carrier's sender: it comes back byte for byte, quoted lines and all.
PLAIN = (b"From: someone@example.com\nSubject: hello\nContent-Length: 999\n\n"
         b">From the start\n>>From deeper\nFrom-ish line\n")
# A carrier's text in base64 whose decoded lines begin with "From ": quoted once written.
ENCODED = (b"From: hanako@docomo.ne.jp\nSubject: x\nContent-Type: text/plain; charset=Shift_JIS\n"
           b"Content-Transfer-Encoding: base64\nContent-Length: 1\n\n"
           b"RnJvbSBoZXJlIPifCj5Gcm9tIHF1b3RlZAo=\n")  # "From here \xF8\x9F\n>From quoted\n"


def run(*args):
    return subprocess.run([CLI, "convert", "--images", IMAGES, *args], capture_output=True)


def quote(message):
    return b"\n".join(b">" + line if re.match(rb">*From ", line) else line for line in message.split(b"\n"))


def fixtures():
    """The twelve jpmobile carrier mails, in file name order (docomo-emoji.eml is the seventh)."""
    messages = []
    for name in sorted(glob.glob(os.path.join(FIXTURES, "jpmobile+jpmobile", "*.eml"))):
        with open(name, "rb") as f:
            messages.append(f.read())
    return messages


def as_nobody_in_mail():
    """Run as nobody, also in the group mail (8)."""
    os.setgroups([8])
    os.setgid(65534)
    os.setuid(65534)


def mbox(messages, crlf=False):
    out = b""
    for m in messages:
        m = quote(m.replace(b"\r\n", b"\n"))
        if not m.endswith(b"\n"):
            m += b"\n"
        out += FROM_LINE + b"\n" + m + b"\n"
    return out.replace(b"\n", b"\r\n") if crlf else out


def split_mbox(data):
    """(From line, message) pairs, as an mbox reader sees them."""
    eol = b"\r\n" if b"\r\n" in data else b"\n"
    parts = re.split(rb"(?:^|(?<=\n))(From [^\n]*\n)", data)
    return [(parts[i].rstrip(b"\r\n"), parts[i + 1]) for i in range(1, len(parts), 2)], eol


def body_length(message, eol):
    body = message.split(eol + eol, 1)[1]
    return len(body) - (len(eol) if body.endswith(eol + eol) else 0)


class Archives(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, *names, content=None):
        p = os.path.join(self.dir.name, *names)
        if content is not None:
            os.makedirs(os.path.dirname(p), exist_ok=True)
            with open(p, "wb") as f:
                f.write(content)
        return p

    def read(self, *names):
        with open(self.path(*names), "rb") as f:
            return f.read()

    def check_mbox_round_trip(self, crlf):
        source = mbox(fixtures() + [PLAIN, ENCODED], crlf)
        r = run(self.path("in.mbox", content=source), "-o", self.path("out.mbox"))
        self.assertEqual(r.returncode, 0, r.stderr)
        before, eol = split_mbox(source)
        after, _ = split_mbox(self.read("out.mbox"))
        self.assertEqual([f for f, _ in after], [f for f, _ in before])
        converted = 0
        for (_, old), (_, new) in zip(before, after):
            if MARKER not in new.replace(b"\r\n", b"\n"):
                self.assertEqual(new, old)  # not converted: byte for byte
                continue
            converted += 1
            self.assertTrue(new.endswith(eol + eol))  # the blank line before the next "From "
            self.assertEqual(crlf, b"\r\n" in new)
            for line in new.split(eol):
                self.assertFalse(line.startswith(b"From "), line)  # quoted, every one
            if b"Content-Length:" in new:
                self.assertIn(b"Content-Length: %d" % body_length(new, eol), new)
        self.assertEqual(converted, 13)
        self.assertEqual(after[-2][1], before[-2][1])  # PLAIN, quoted lines and all
        self.assertIn(b">From here", after[-1][1])
        self.assertIn(b">>From quoted", after[-1][1])
        self.assertIn(b"pictographs replaced", r.stderr)
        # Converting again changes nothing.
        again = run(self.path("out.mbox"), "-o", self.path("again.mbox"))
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertEqual(self.read("again.mbox"), self.read("out.mbox"))
        self.assertIn(b"already converted: 13", again.stderr)

    def test_mbox_with_lf(self):
        self.check_mbox_round_trip(False)

    def test_mbox_with_crlf(self):
        self.check_mbox_round_trip(True)

    def test_mbox_in_place_keeps_the_old_one_and_its_mode(self):
        source = mbox(fixtures()[:2])
        box = self.path("box", content=source)
        os.chmod(box, 0o600)
        r = run(box, "--in-place")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(self.read("box~"), source)
        self.assertIn(MARKER, self.read("box"))
        self.assertEqual(os.stat(box).st_mode & 0o777, 0o600)
        self.assertEqual([f for f in os.listdir(self.dir.name) if "glyphory" in f], [])

    def test_mbox_cut_off_and_empty_messages(self):
        docomo = fixtures()[6]  # docomo-emoji.eml
        cut = mbox([docomo])[:-200]
        r = run(self.path("cut", content=cut + b"\n" + FROM_LINE + b"\n"), "-o", self.path("out"))
        self.assertEqual(r.returncode, 0, r.stderr)
        pairs, _ = split_mbox(self.read("out"))
        self.assertEqual(len(pairs), 2)
        self.assertEqual(pairs[1][1], b"")

    def test_maildir_and_folders(self):
        docomo = fixtures()[6].split(b"\n", 1)[1]  # without its "From " line, as a Maildir keeps it
        self.path("mail", "cur", "1.host:2,S", content=docomo)
        self.path("mail", "new", "2.host", content=PLAIN)
        self.path("mail", "tmp", "3.host", content=docomo)  # being delivered: left alone
        self.path("mail", "notes.txt", content=b"not a message\n")
        self.path("mail", "empty.eml", content=b"")
        self.path("mail", "sent", "cur", "4.host:2,S", content=docomo)  # a Maildir with nothing new
        os.makedirs(self.path("mail", "sent", "new"))
        os.makedirs(self.path("mail", "sent", "tmp"))
        os.symlink("..", self.path("mail", "loop"))
        r = run(self.path("mail"), "--out-dir", self.path("out"))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(MARKER, self.read("out", "mail", "cur", "1.host:2,S"))
        self.assertEqual(self.read("out", "mail", "new", "2.host"), PLAIN)
        self.assertEqual(self.read("out", "mail", "notes.txt"), b"not a message\n")
        self.assertEqual(os.listdir(self.path("out", "mail", "tmp")), [])  # made for writing, and empty
        self.assertEqual(os.listdir(self.path("out", "mail", "sent", "new")), [])  # still a Maildir
        self.assertIn(b"files that are not messages, left as they are: 2", r.stderr)
        self.assertIn(b"a symbolic link: 1", r.stderr)
        # One message to -o: nothing of a Maildir is made for it.
        r = run(self.path("mail", "cur", "1.host:2,S"), "-o", self.path("one.eml"))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertFalse(os.path.exists(self.path("tmp")))
        # In place (through "cur/."): each message replaced under a new name that keeps its
        # flags, no FILE~ for a Maildir to take for a message.
        r = run(self.path("mail", "cur", "."), "--in-place")
        self.assertEqual(r.returncode, 0, r.stderr)
        r = run(self.path("mail"), "--in-place")
        self.assertEqual(r.returncode, 0, r.stderr)
        [name] = os.listdir(self.path("mail", "cur"))
        self.assertRegex(name, r",S=%d:2,S$" % os.path.getsize(self.path("mail", "cur", name)))
        self.assertIn(MARKER, self.read("mail", "cur", name))
        self.assertEqual(self.read("mail", "tmp", "3.host"), docomo)

    def test_progress_on_a_terminal_and_lines_when_verbose(self):
        box = self.path("box", content=mbox(fixtures()))
        import pty
        primary, secondary = pty.openpty()
        r = subprocess.run([CLI, "convert", "--images", IMAGES, box, "-o", self.path("out")], stderr=secondary,
                           stdout=subprocess.DEVNULL)
        os.close(secondary)
        said = b""
        while True:
            try:
                chunk = os.read(primary, 65536)
            except OSError:
                break
            if not chunk:
                break
            said += chunk
        os.close(primary)
        self.assertEqual(r.returncode, 0)
        self.assertRegex(said, rb"\r\d+ messages, [\d.]+ of [\d.]+ MB, [\d.]+ MB/s, \d+ s left")
        self.assertIn(b"12 messages read", said)
        self.assertNotIn(b": converted (", said)  # no line per message
        verbose = run("--verbose", box, "-o", self.path("out"))
        self.assertEqual(verbose.stderr.count(b": converted ("), 12)
        self.assertNotIn(b"MB/s", verbose.stderr)  # not a terminal: no progress line

    def test_failures_are_said_and_the_rest_goes_on(self):
        self.path("mail", "a", "1.eml", content=fixtures()[6])
        self.path("mail", "b", "2.eml", content=fixtures()[6])
        self.path("out", "mail", "a", content=b"a file where a folder must go")
        r = run(self.path("mail"), "--out-dir", self.path("out"))
        self.assertEqual(r.returncode, 1)
        self.assertIn(MARKER, self.read("out", "mail", "b", "2.eml"))
        self.assertIn(b"could not be read or written: 1", r.stderr)
        inside = run(self.path("mail"), "--out-dir", self.path("mail", "converted"))
        self.assertEqual(inside.returncode, 1)
        self.assertIn(b"is inside", inside.stderr)
        self.assertFalse(os.path.exists(self.path("mail", "converted")))

    def test_in_place_keeps_modes_and_follows_a_symbolic_link(self):
        docomo = fixtures()[6].split(b"\n", 1)[1]
        real = self.path("real.eml", content=docomo)
        os.chmod(real, 0o600)
        os.symlink("real.eml", self.path("link.eml"))
        r = run(self.path("link.eml"), "--in-place")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(os.path.islink(self.path("link.eml")))  # the link stays, its message is converted
        self.assertIn(MARKER, self.read("real.eml"))
        self.assertEqual(self.read("real.eml~"), docomo)
        os.symlink("target.eml", self.path("out-link.eml"))  # -o through a link: the link stays too
        self.path("target.eml", content=b"")
        self.assertEqual(run(real, "-o", self.path("out-link.eml")).returncode, 0)
        self.assertTrue(os.path.islink(self.path("out-link.eml")))
        self.assertIn(MARKER, self.read("target.eml"))
        box = self.path("box", content=mbox([fixtures()[6]]))
        os.chmod(box, 0o600)
        self.assertEqual(run(box, "--out-dir", self.path("out")).returncode, 0)
        for name in ("real.eml", "real.eml~", "out/box"):
            self.assertEqual(os.stat(self.path(name)).st_mode & 0o777, 0o600, name)

    def test_a_user_keeps_the_group_of_mail_it_replaces_or_gives_no_group_more(self):
        if os.geteuid() != 0:
            self.skipTest("needs root to run as another user")
        os.chmod(self.dir.name, 0o1777)
        docomo = fixtures()[6].split(b"\n", 1)[1]
        # Group and mode before and after, for a run in the group mail (8) but not users (100).
        cases = [("mail.eml", 8, 0o660, 8, 0o660), ("users.eml", 100, 0o640, 65534, 0o600)]
        for name, group, mode, _, _ in cases:
            os.chown(self.path(name, content=docomo), 65534, group)
            os.chmod(self.path(name), mode)

        r = subprocess.run([CLI, "convert", "--images", IMAGES, *(self.path(c[0]) for c in cases), "--in-place"],
                           capture_output=True, preexec_fn=as_nobody_in_mail)
        self.assertEqual(r.returncode, 0, r.stderr)
        for name, _, _, group, mode in cases:
            st = os.stat(self.path(name))
            self.assertIn(MARKER, self.read(name))
            self.assertEqual((st.st_gid, st.st_mode & 0o777), (group, mode), name)

    def test_a_folder_that_cannot_be_read_is_said(self):
        if os.geteuid() != 0:
            self.skipTest("needs root to run as another user")
        os.chmod(self.dir.name, 0o1777)
        for name in ("1.eml", "closed/2.eml"):
            self.path("mail", name, content=fixtures()[6].split(b"\n", 1)[1])
        os.chmod(self.path("mail", "closed"), 0)
        r = subprocess.run([CLI, "convert", "--images", IMAGES, self.path("mail"), "--out-dir", self.path("out")],
                           capture_output=True, preexec_fn=as_nobody_in_mail)
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn(b"closed: Permission denied", r.stderr)
        self.assertIn(MARKER, self.read("out", "mail", "1.eml"))  # the rest goes on
        r = subprocess.run([CLI, "convert", "--images", IMAGES, self.path("mail", "closed"), "--out-dir", self.path("out")],
                           capture_output=True, preexec_fn=as_nobody_in_mail)
        self.assertEqual((r.returncode, b"closed: Permission denied" in r.stderr), (1, True), r.stderr)

    def test_outputs_go_where_they_belong(self):
        message = fixtures()[6].split(b"\n", 1)[1]
        a, b = self.path("a", "m.eml", content=message), self.path("b", "m.eml", content=message)
        cases = [  # arguments, what is said
            ([a, b, "--out-dir", self.path("out")], b"would both be written"),
            ([a, "--out-dir", self.path("a")], b"over itself"),
            ([a, "-o", a], b"use --in-place"),
        ]
        for args, said in cases:
            r = run(*args)
            self.assertEqual(r.returncode, 1, args)
            self.assertIn(said, r.stderr)
        stdin = run("-", "--out-dir", self.path("out"))  # no name to write it under
        self.assertEqual(stdin.returncode, 2)
        self.assertIn(b"standard input has no name", stdin.stderr)
        self.assertFalse(os.path.exists(self.path("out")))
        self.assertEqual(self.read("a", "m.eml"), message)
        # A folder named through ".." keeps its real name; a missing output folder is made.
        self.path("mail", "sub", "x", content=b"")
        r = run(self.path("mail", "sub", ".."), "--out-dir", self.path("new", "deeper"))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(os.path.exists(self.path("new", "deeper", "mail", "sub", "x")))
        missing = run(self.path("nothing.eml"), "-o", self.path("o.eml"))
        self.assertIn(b"nothing.eml: No such file or directory", missing.stderr)

    def test_o_naming_standard_output_is_written_as_the_shell_opened_it(self):
        os.symlink("/dev/stdout", self.path("link"))
        for name in ("/dev/stdout", "/proc/thread-self/fd/1", self.path("link")):
            with open(self.path("log"), "wb") as log:
                log.write(b"EARLIER\n")
            with open(self.path("log"), "ab") as log:
                r = subprocess.run([CLI, "convert", "--images", IMAGES, self.path("m.eml", content=fixtures()[6].split(b"\n", 1)[1]),
                                    "-o", name], stdout=log, stderr=subprocess.PIPE)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertTrue(self.read("log").startswith(b"EARLIER\n"), name)
            self.assertIn(MARKER, self.read("log"))

    def test_a_pipe_named_by_o_is_written_to_and_stays_a_pipe(self):
        import stat
        import threading
        for name, content in (("m.eml", fixtures()[6].split(b"\n", 1)[1]), ("box", mbox(fixtures()[6:8]))):
            fifo = self.path(name + ".fifo")
            os.mkfifo(fifo)
            got = []
            reader = threading.Thread(target=lambda: got.append(open(fifo, "rb").read()))
            reader.start()
            r = run(self.path(name, content=content), "-o", fifo)
            reader.join(timeout=30)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertTrue(stat.S_ISFIFO(os.stat(fifo).st_mode), name)
            self.assertIn(MARKER, got[0])

    def test_a_failure_for_want_of_memory_leaves_nothing_behind(self):
        import resource
        large = b"From: someone@example.com\n\n" + (b"x" * 127 + b"\n") * (384 << 10)  # 48 MB
        box = mbox([fixtures()[6], large, fixtures()[6]])
        self.path("mail", "box", content=box)
        self.path("mail", "other.eml", content=fixtures()[6].split(b"\n", 1)[1])
        # Room for the mbox's message, not for the copies of it that the run makes.
        limit = lambda: resource.setrlimit(resource.RLIMIT_AS, (160 << 20, 160 << 20))
        r = subprocess.run([CLI, "convert", "--images", IMAGES, self.path("mail"), "--in-place"], capture_output=True,
                           preexec_fn=limit)
        if b"AddressSanitizer" in r.stderr:
            self.skipTest("a build with AddressSanitizer cannot run under an address-space limit")
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn(b"out of memory", r.stderr)
        self.assertIn(b"messages read", r.stderr)  # the summary all the same
        self.assertEqual(self.read("mail", "box"), box)
        self.assertEqual(sorted(os.listdir(self.path("mail"))), ["box", "other.eml"])
        self.assertIn(MARKER, self.read("mail", "other.eml"))

    def test_an_mbox_on_standard_input_and_control_bytes_said_as_text(self):
        source = mbox(fixtures()[:3]).replace(FROM_LINE, b"From \x1b]0;evil\x07x@example.jp Mon Mar  4 10:00:00 2024", 1)
        r = subprocess.run([CLI, "convert", "--images", IMAGES, "--verbose", "-", "-o", "-"], input=source,
                           capture_output=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        pairs, _ = split_mbox(r.stdout)
        self.assertEqual(len(pairs), 3)
        self.assertEqual(r.stdout.count(MARKER), 3)
        self.assertIn(b"3 messages read", r.stderr)  # the summary, as for a file
        self.assertNotIn(b"\x1b", r.stderr)
        self.assertIn(b"From \\x1b]0;evil\\x07x@example.jp", r.stderr)


if __name__ == "__main__":
    if not os.path.isdir(FIXTURES):
        print("no fixtures at", FIXTURES, "- skipped")
        sys.exit(77)
    unittest.main(argv=sys.argv[:1])
