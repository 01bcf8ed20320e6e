#!/usr/bin/python3
"""Converted mail in a real mail client: each message, converted by the command (images carried
in the message), is opened in Thunderbird on a virtual display and photographed, once as it is
and once with its image references broken on purpose (its images under other Content-IDs); the pictographs are drawn when the two
photographs differ in the message's body (a reference that does not resolve shows a broken
image and a bar that says remote content was blocked).

Usage: thunderbird_test.py GLYPHORY IMAGES_DIR SAMPLES_DIR FIXTURES_DIR [PHOTO.png]"""
import os
import signal
import subprocess
import sys
import tempfile
import time

CLI, IMAGES, SAMPLES, FIXTURES = sys.argv[1:5]
PHOTO = sys.argv[5] if len(sys.argv) > 5 else None
USER_JS = """user_pref("mail.provider.enabled", false);
user_pref("mailnews.start_page.enabled", false);
user_pref("mail.shell.checkDefaultClient", false);
user_pref("mail.rights.override", true);
user_pref("mail.spotlight.firstRunDone", true);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
"""


# Titles of Thunderbird's own windows (its main window, its account setup, a window still
# loading): the message window is titled by the message's Subject.
OWN_WINDOWS = ("Home - ", "Account Setup - ", "Loading", "Mozilla Thunderbird")


def photograph(display, profile, message, out):
    """The message window of Thunderbird showing message, as a PNG at out."""
    env = dict(os.environ, DISPLAY=display)
    env.pop("MOZ_HEADLESS", None)
    run = subprocess.Popen(["thunderbird", "--no-remote", "-profile", profile, "-file", message], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        window = None
        for _ in range(120):
            time.sleep(0.5)
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", " - Mozilla Thunderbird$"], env=env,
                                   capture_output=True, text=True).stdout.split()
            for w in found:
                name = subprocess.run(["xdotool", "getwindowname", w], env=env, capture_output=True, text=True).stdout
                if not name.startswith(OWN_WINDOWS):
                    window = w
            if window:
                break
        if not window:
            return False
        time.sleep(4)  # the message's images are decoded and drawn
        xwd = subprocess.run(["xwd", "-silent", "-id", window], env=env, capture_output=True).stdout
        subprocess.run(["convert", "xwd:-", out], input=xwd, check=True)
        return True
    finally:
        os.killpg(run.pid, signal.SIGTERM)
        try:
            run.wait(timeout=20)
        except subprocess.TimeoutExpired:
            os.killpg(run.pid, signal.SIGKILL)
            run.wait()


def differing_pixels(a, b):
    """The pixels that differ between two photographs in the message's body: below the header
    (175 pixels) and above the status bar (40 pixels), where only the message is drawn."""
    bodies = []
    for shot in (a, b):
        body = shot + ".body.png"
        subprocess.run(["convert", shot, "-gravity", "North", "-chop", "0x175", "-gravity", "South", "-chop", "0x40", body],
                       check=True)
        bodies.append(body)
    r = subprocess.run(["compare", "-metric", "AE", "-fuzz", "10%", *bodies, "null:"], capture_output=True, text=True)
    return int(float(r.stderr.split()[0]))


def main():
    messages = [os.path.join(SAMPLES, name) for name in sorted(os.listdir(SAMPLES))]
    for name in ("au-decomail.eml", "docomo-gmail-sjis.eml", "softbank-gmail-utf8.eml"):  # sender HTML, related or not
        path = os.path.join(FIXTURES, "jpmobile+jpmobile", name)
        if os.path.exists(path):
            messages.append(path)
    failures = []
    with tempfile.TemporaryDirectory() as work:
        display = ":%d" % (70 + os.getpid() % 50)
        xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1000x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            time.sleep(1)
            profile = os.path.join(work, "profile")
            os.makedirs(profile)
            with open(os.path.join(profile, "user.js"), "w") as f:
                f.write(USER_JS)
            for n, message in enumerate(messages):
                converted = os.path.join(work, f"{n}.eml")
                r = subprocess.run([CLI, "convert", "--images", IMAGES, "--force", message, "-o", converted], capture_output=True)
                if r.returncode != 0 or b"images carried" not in r.stderr:
                    failures.append(f"{message}: not converted with its images: {r.stderr!r}")
                    continue
                with open(converted, "rb") as f:
                    data = f.read()
                broken = os.path.join(work, f"{n}-broken.eml")
                with open(broken, "wb") as f:
                    # The images' parts get other Content-IDs: no reference of ours resolves, in
                    # whatever transfer encoding the HTML stands.
                    f.write(data.replace(b"@pictograph.glyphory.invalid>", b"@broken.invalid>"))
                shots = [os.path.join(work, f"{n}.png"), os.path.join(work, f"{n}-broken.png")]
                if not (photograph(display, profile, converted, shots[0]) and photograph(display, profile, broken, shots[1])):
                    failures.append(f"{message}: no message window appeared")
                    continue
                changed = differing_pixels(*shots)
                print(f"{os.path.basename(message)}: {changed} pixels differ from the message with broken image references")
                if changed < 100:
                    failures.append(f"{message}: the pictographs are not drawn ({changed} pixels differ)")
                if PHOTO and os.path.basename(message) == "docomo.eml":
                    subprocess.run(["convert", shots[0], "-crop", "860x290+0+0", PHOTO], check=True)
        finally:
            xvfb.terminate()
            xvfb.wait()
    for f in failures:
        print("FAIL", f)
    print(f"{len(messages) - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
