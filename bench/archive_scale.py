#!/usr/bin/python3
"""glyphory convert on a generated archive of small carrier messages, as a folder and as one
mbox, beside cp -r and cp of the same data on the same machine, with the largest resident
size of each run (an mbox is read a message at a time: that size must not grow with it).
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
    cp_dir, _ = timed(["cp", "-r", folder, os.path.join(work, "copy")])
    cp_box, _ = timed(["cp", box, os.path.join(work, "copy.mbox")])
    ours_dir, _ = timed([glyphory, "convert", "--images", images, folder, "--out-dir", os.path.join(work, "out")])
    ours_box, rss = timed([glyphory, "convert", "--images", images, box, "-o", os.path.join(work, "out.mbox")])
    print(f"{count} messages, {size / 1e6:.1f} MB as an mbox")
    print(f"  folder: cp -r {cp_dir:.2f} s, glyphory {ours_dir:.2f} s ({ours_dir / cp_dir:.2f}x)")
    print(f"  mbox:   cp {cp_box:.3f} s, glyphory {ours_box:.2f} s ({ours_box / cp_box:.1f}x, {size / 1e6 / ours_box:.1f} MB/s),"
          f" largest resident size {rss:.1f} MB")


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
