#!/usr/bin/python3
"""glyphory convert on a generated archive of small carrier messages, as a folder and as one
mbox, beside cp -r and cp of the same data on the same machine, with the largest resident
size of each run (an mbox is read a message at a time: that size must not grow with it).
The folder and cp -r take turns, each into a fresh folder, five times: the best of each.
Then one 5 MB message dense with pictographs, whose largest resident size is set beside
twice the message and its result (the message, a working copy and the result).
Usage: archive_scale.py GLYPHORY IMAGES_DIR [MESSAGES (20000)] [WORK_DIR]"""
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

WORDS = ["\u304a\u306f\u3088\u3046", "\u4eca\u65e5", "\u5929\u6c17", "ok", "\u307e\u305f\u306d", "see you"]
CARRIERS = [("docomo.ne.jp", [b"\xf8\x9f", b"\xf8\xa0", b"\xf9\x40"]), ("ezweb.ne.jp", [b"\xf6\x59", b"\xf6\x60"]),
            ("softbank.ne.jp", [b"\xf9\x41", b"\xf7\x41"])]


def message(i, rng):
    domain, codes = CARRIERS[i % 3]
    body = b"".join(b" ".join(rng.choice(WORDS).encode("cp932") for _ in range(6)) + rng.choice(codes) + b"\n"
                    for _ in range(8))
    return (b"From: user%d@%s\nTo: me@example.jp\nSubject: message %d\nDate: Mon, 4 Mar 2024 10:00:00 +0900\n"
            b"MIME-Version: 1.0\nContent-Type: text/plain; charset=Shift_JIS\nContent-Transfer-Encoding: 8bit\n\n"
            % (i, domain.encode(), i)) + body


def dense_message(size, rng):
    """A message of about size bytes from a Docomo sender: Shift_JIS text as bench/sample_text.h
    makes it, a pictograph about every 20 bytes, kanji and ASCII words, lines of about 70 bytes."""
    codes = [bytes((c >> 8, c & 0xFF)) for c in range(0xF89F, 0xF9FD) if 0x40 <= c & 0xFF <= 0xFC and c & 0xFF != 0x7F]
    trails = [t for t in range(0x40, 0xFD) if t != 0x7F]
    words = [b"the ", b"message ", b"from ", b"phone ", b"see you ", b"10:30 ", b"ok! "]
    text, line = bytearray(), 0
    while len(text) < size:
        kind = rng.randrange(10)
        text += rng.choice(codes) if kind < 2 else bytes((0x88 + kind, rng.choice(trails))) if kind < 5 else words[kind % 7]
        if len(text) - line > 70:
            text += b"\r\n"
            line = len(text)
    return (b"From: hanako@docomo.ne.jp\r\nTo: taro@example.jp\r\nSubject: dense\r\nMIME-Version: 1.0\r\n"
            b"Content-Type: text/plain; charset=Shift_JIS\r\nContent-Transfer-Encoding: 8bit\r\n\r\n") + text


def timed(command):
    """Seconds and the largest resident size (MB) of the command, as /usr/bin/time tells it: what
    wait4 tells counts the memory of this script, from which the child was forked."""
    with tempfile.NamedTemporaryFile() as rss:
        start = time.perf_counter()
        status = subprocess.call(["/usr/bin/time", "-o", rss.name, "-f", "%M"] + command, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
        if status != 0:
            sys.exit(f"{command} failed: {status}")
        return seconds, int(rss.read().split()[-1]) / 1024


def run(glyphory, images, count, work):
    rng = random.Random(20240304)
    folder, box = os.path.join(work, "folder"), os.path.join(work, "archive.mbox")
    os.makedirs(folder)
    with open(box, "wb") as mbox:
        for i in range(count):
            m = message(i, rng)
            with open(os.path.join(folder, "%06d.eml" % i), "wb") as f:
                f.write(m)
            mbox.write(b"From user@example.jp Mon Mar  4 10:00:00 2024\n" + m + b"\n")
    size = os.path.getsize(box)
    best = {"cp -r": float("inf"), "glyphory": float("inf")}
    into = os.path.join(work, "into")
    for _ in range(5):
        for name, command in (("cp -r", ["cp", "-r", folder, into]),
                              ("glyphory", [glyphory, "convert", "--images", images, folder, "--out-dir", into])):
            os.sync()  # no run pays for the writes of the one before
            best[name] = min(best[name], timed(command)[0])
            shutil.rmtree(into)
    cp_box, _ = timed(["cp", box, os.path.join(work, "copy.mbox")])
    ours_box, rss = timed([glyphory, "convert", "--images", images, box, "-o", os.path.join(work, "out.mbox")])
    print(f"{count} messages, {size / 1e6:.1f} MB as an mbox")
    print(f"  folder: cp -r {best['cp -r']:.2f} s, glyphory {best['glyphory']:.2f} s ({best['glyphory'] / best['cp -r']:.2f}x),"
          " best of five each")
    print(f"  mbox:   cp {cp_box:.3f} s, glyphory {ours_box:.2f} s ({ours_box / cp_box:.1f}x, {size / 1e6 / ours_box:.1f} MB/s),"
          f" largest resident size {rss:.1f} MB")
    dense, dense_out = os.path.join(work, "dense.eml"), os.path.join(work, "dense-out.eml")
    with open(dense, "wb") as f:
        f.write(dense_message(5000000, rng))
    _, floor = timed([glyphory, "convert", "--images", images, os.path.join(folder, "000000.eml"), "-o", os.path.join(work, "one.eml")])
    _, rss = timed([glyphory, "convert", "--images", images, dense, "-o", dense_out])
    mb_in, mb_out = os.path.getsize(dense) / 2**20, os.path.getsize(dense_out) / 2**20  # MB as the resident size counts
    print(f"  dense:  {mb_in:.1f} MB in, {mb_out:.1f} MB out, largest resident size {rss:.1f} MB"
          f" ({rss / (2 * mb_in + mb_out):.2f}x 2 x in + out; {floor:.1f} MB for one small message)")


def main():
    glyphory, images = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 20000
    work = tempfile.mkdtemp(dir=sys.argv[4] if len(sys.argv) > 4 else None)
    try:
        run(glyphory, images, count, work)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
