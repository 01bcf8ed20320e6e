#!/usr/bin/python3
"""The glyphory command on stores that mail systems keep and serve, with the real programs:
procmail delivering into an mbox while it is converted in place, and Dovecot's imap serving a
Maildir, and an mbox of its own writing, before and after they are converted in place.

Usage: store_test.py GLYPHORY IMAGES_DIR   (as root: Dovecot's imap runs as uid 65534)"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest

CLI, IMAGES = sys.argv[1], sys.argv[2]
MARKER = b"CreateZaverGlyphory: true"
FROM_LINE = b"From hanako@docomo.ne.jp Mon Mar  4 10:00:00 2024\n"


def docomo(n, body_lines=40):
    """A Docomo text of some size with a pictograph (F8 9F) on every line."""
    body = b"".join(b"line %d of message %d \xF8\x9F\n" % (i, n) for i in range(body_lines))
    return (b"From: hanako@docomo.ne.jp\nSubject: m%d\nMessage-ID: <m%d@example.jp>\n"
            b"Content-Type: text/plain; charset=Shift_JIS\n\n" % (n, n) + body)


def message_ids(data):
    return re.findall(rb"^Message-ID: <([^>]+)>\r?$", data, re.M)


class Mbox(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.box = os.path.join(self.dir.name, "box")
        with open(self.box, "wb") as f:
            for n in range(15000):
                f.write(FROM_LINE + docomo(n) + b"\n")
        self.rc = os.path.join(self.dir.name, "rc")
        with open(self.rc, "w") as f:
            f.write("LOCKSLEEP=1\nLOCKTIMEOUT=3600\n")

    def start_conversion(self):
        """glyphory converting the mbox in place, once it holds both locks and has noted the mbox's
        state: it begins its temporary file only then (a write between the dotlock and the kernel
        lock is part of what it reads, not a change behind its back)."""
        run = subprocess.Popen([CLI, "convert", "--images", IMAGES, self.box, "--in-place"], stderr=subprocess.PIPE)
        lock = self.box + ".lock"
        while not (os.path.exists(lock) and any(".glyphory-" in f for f in os.listdir(self.dir.name))):
            self.assertIsNone(run.poll(), "the conversion ended before it locked the mbox")
            time.sleep(0.005)
        return run

    def check_deliveries_during_a_conversion_are_all_kept(self, rc):
        run = self.start_conversion()
        env = dict(os.environ, ORGMAIL=self.box, DEFAULT=self.box)
        deliveries = []
        for n in range(20000, 20005):
            p = subprocess.Popen(["procmail", "-f", "sender@example.jp", "DEFAULT=" + self.box, rc],
                                 stdin=subprocess.PIPE, env=env)
            p.stdin.write(docomo(n, 2))
            p.stdin.close()
            deliveries.append(p)
        # The deliveries overlapped the conversion: it was still running when they had started.
        self.assertIsNone(run.poll(), "the conversion did not last beyond the deliveries' start")
        _, said = run.communicate(timeout=600)
        self.assertEqual(run.returncode, 0, said)
        for p in deliveries:
            self.assertEqual(p.wait(timeout=120), 0)
        with open(self.box, "rb") as f:
            data = f.read()
        ids = message_ids(data)
        self.assertEqual(sorted(ids), sorted(b"m%d@example.jp" % n for n in list(range(15000)) + list(range(20000, 20005))))
        self.assertEqual(data.count(MARKER), 15000)  # the old ones converted, each once; the new ones came after
        with open(self.box + "~", "rb") as f:  # the old mbox (where a late writer appended too)
            self.assertEqual(message_ids(f.read())[:15000], [b"m%d@example.jp" % n for n in range(15000)])
        self.assertFalse(os.path.exists(self.box + ".lock"))
        print(f"mbox ({os.path.basename(rc)}): 5 procmail deliveries started while the conversion ran; "
              f"{len(ids)} messages after it")

    def test_deliveries_during_a_conversion_are_all_kept(self):
        self.check_deliveries_during_a_conversion_are_all_kept(self.rc)

    def test_deliveries_that_take_only_the_kernel_lock_are_kept_too(self):
        kernel_only = os.path.join(self.dir.name, "kernel-lock-only-rc")
        with open(kernel_only, "w") as f:
            f.write(f"LOCKSLEEP=1\n:0\n{self.box}\n")  # a recipe without a lockfile: fcntl alone
        self.check_deliveries_during_a_conversion_are_all_kept(kernel_only)

    def test_a_writer_that_ignores_the_locks_leaves_the_mbox_untouched(self):
        run = self.start_conversion()
        with open(self.box, "ab") as f:
            f.write(FROM_LINE + docomo(9999, 2) + b"\n")
        _, said = run.communicate(timeout=600)
        self.assertEqual(run.returncode, 1)
        self.assertIn(b"changed while it was converted", said)
        with open(self.box, "rb") as f:
            data = f.read()
        self.assertNotIn(MARKER, data)
        self.assertIn(b"m9999@example.jp", data)
        self.assertEqual([f for f in os.listdir(self.dir.name) if "glyphory" in f or f.endswith(".lock")], [])


    def test_an_interrupted_conversion_leaves_no_lock_and_no_temporary_file(self):
        with open(self.box, "rb") as f:
            before = f.read()
        run = self.start_conversion()
        run.send_signal(signal.SIGTERM)
        run.communicate(timeout=60)
        self.assertEqual(run.returncode, -signal.SIGTERM)
        self.assertEqual(sorted(os.listdir(self.dir.name)), ["box", "rc"])
        with open(self.box, "rb") as f:
            self.assertEqual(f.read(), before)


class Dovecot(unittest.TestCase):
    """Dovecot's imap, pre-authenticated over a pipe as uid 65534, on a store of its own."""
    location, save_crlf = "maildir:{home}/Maildir", "yes"

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        os.chmod(self.dir.name, 0o755)
        self.home = os.path.join(self.dir.name, "home")
        self.maildir = os.path.join(self.home, "Maildir")
        for sub in ("cur", "new", "tmp"):
            os.makedirs(os.path.join(self.maildir, sub))
        for sub in ("run", "state"):
            os.makedirs(os.path.join(self.dir.name, sub))
        subprocess.run(["chown", "-R", "65534:65534", self.home], check=True)
        self.conf = os.path.join(self.dir.name, "dovecot.conf")
        self.log = os.path.join(self.dir.name, "dovecot.log")
        with open(self.conf, "w") as f:
            f.write(f"""protocols =
mail_location = {self.location.format(home=self.home)}
mail_save_crlf = {self.save_crlf}
log_path = {self.log}
info_log_path = {self.log}
base_dir = {self.dir.name}/run
state_dir = {self.dir.name}/state
ssl = no
mail_uid = 65534
mail_gid = 65534
first_valid_uid = 0
first_valid_gid = 0
passdb {{
  driver = static
  args = password=unused
}}
userdb {{
  driver = static
  args = uid=65534 gid=65534 home={self.home}
}}
""")

    def imap(self, commands):
        """The server's whole answer to the commands, and what it wrote on standard error."""
        script = b"".join(commands) + b"z LOGOUT\r\n"
        env = {"USER": "tester", "HOME": self.home, "MAIL": self.location.format(home=self.home), "PATH": os.environ["PATH"]}
        r = subprocess.run(["/usr/lib/dovecot/imap", "-c", self.conf], input=script, capture_output=True, env=env,
                           timeout=60)
        return r.stdout, r.stderr

    def fetch_all(self):
        out, err = self.imap([b"s SELECT INBOX\r\n", b"f FETCH 1:* (FLAGS INTERNALDATE RFC822.SIZE BODY.PEEK[])\r\n"])
        self.assertIn(b"\r\nf OK", out, out[-500:] + err)
        self.assertNotIn(b"BYE", out.split(b"\r\nf OK")[0])
        fetched = []
        pattern = rb"\* \d+ FETCH \(FLAGS \(([^)]*)\) INTERNALDATE \"([^\"]*)\" RFC822.SIZE (\d+) BODY\[\] \{(\d+)\}\r\n"
        for m in re.finditer(pattern, out):
            start = m.end()
            self.assertEqual(m.group(2), b"01-Jan-2020 10:00:00 +0000")  # the date it came, kept
            fetched.append((m.group(1), int(m.group(3)), out[start:start + int(m.group(4))]))
        return fetched, err



class DovecotMaildir(Dovecot):
    def test_a_maildir_converted_in_place_is_served_whole(self):
        messages = [docomo(n, 3).replace(b"\n", b"\r\n") for n in range(3)]
        appends = [b"a%d APPEND INBOX (%s) \"01-Jan-2020 10:00:00 +0000\" {%d+}\r\n%s\r\n" % (n, flags, len(m), m)
                   for n, (m, flags) in enumerate(zip(messages, [b"\\Seen", b"\\Flagged \\Seen", b""]))]
        out, err = self.imap(appends)
        self.assertEqual(out.count(b"Append completed"), 3, out)
        before, err_before = self.fetch_all()  # sizes now cached by the server
        self.assertEqual(len(before), 3)
        for name in os.listdir(os.path.join(self.maildir, "cur")):
            os.chmod(os.path.join(self.maildir, "cur", name), 0o600)

        r = subprocess.run([CLI, "convert", "--images", IMAGES, self.maildir, "--in-place"], capture_output=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(os.listdir(os.path.join(self.maildir, "tmp")), [])

        after, err = self.fetch_all()
        self.assertEqual(len(after), 3)
        names = sorted(os.listdir(os.path.join(self.maildir, "cur")))
        sizes = {}
        for name in names:
            path = os.path.join(self.maildir, "cur", name)
            st = os.stat(path)
            self.assertEqual((st.st_uid, st.st_mode & 0o777), (65534, 0o600), name)
            self.assertRegex(name, r",S=%d" % st.st_size)
            sizes[st.st_size] = name
        # The converted messages take new names, and with them new UIDs: matched by Message-ID.
        flags_of = {message_ids(body)[0]: set(flags.split()) - {b"\\Recent"} for flags, _, body in before}
        for flags, size, body in after:
            self.assertEqual(set(flags.split()) - {b"\\Recent"}, flags_of[message_ids(body)[0]])
            self.assertIn(size, sizes)  # RFC822.SIZE is the file's size
            self.assertIn(MARKER, body)
            self.assertEqual(size, len(body))
        # Run this way, imap logs on its standard error; the log file, should there be one, too.
        log = err_before + err
        if os.path.exists(self.log):
            with open(self.log, "rb") as f:
                log += f.read()
        self.assertNotRegex(log, rb"Error|Panic|Fatal|Warning", log)
        print("dovecot: every FETCH completed before and after; RFC822.SIZE",
              [s for _, s, _ in after], "= file sizes; flags", [f.decode() for f, _, _ in after])


class DovecotMbox(Dovecot):
    """Dovecot's own mbox: it ends each body by its Content-Length and quotes no "From " line."""
    location, save_crlf = "mbox:{home}/mail:INBOX={home}/inbox", "no"

    def test_an_mbox_of_dovecots_converted_in_place_is_served_whole(self):
        os.makedirs(os.path.join(self.home, "mail"))
        subprocess.run(["chown", "-R", "65534:65534", self.home], check=True)
        messages = [docomo(n, 3).replace(b"line 1 ", b"From the sender, line 1 ").replace(b"\n", b"\r\n") for n in range(2)]
        out, err = self.imap([b"a%d APPEND INBOX () \"01-Jan-2020 10:00:00 +0000\" {%d+}\r\n%s\r\n" % (n, len(m), m)
                              for n, m in enumerate(messages)])
        self.assertEqual(out.count(b"Append completed"), 2, out + err)
        inbox = os.path.join(self.home, "inbox")
        with open(inbox, "rb") as f:
            self.assertIn(b"\nFrom the sender", f.read())  # as Dovecot writes it, not quoted
        self.assertEqual(len(self.fetch_all()[0]), 2)
        r = subprocess.run([CLI, "convert", "--images", IMAGES, inbox, "--in-place"], capture_output=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(b"2 messages read", r.stderr)
        after, err = self.fetch_all()
        self.assertEqual(len(after), 2)
        for _, size, body in after:  # served whole, not as long as the message it replaced
            self.assertEqual(size, len(body))
            self.assertIn(MARKER, body)
            self.assertIn(b"_MULTIPART_ALTERNATIVE_--\r\n", body)
            self.assertEqual(body.count(b"\r\nFrom the sender, line 1 "), 1)  # in the text part, as it came
        self.assertNotRegex(err, rb"Error|Panic|Fatal|Warning", err)


if __name__ == "__main__":
    if os.geteuid() != 0:
        print("not root: Dovecot's imap cannot run as another user - skipped")
        sys.exit(77)
    unittest.main(argv=sys.argv[:1], verbosity=2)
