#!/usr/bin/python3
"""The Debian package as a user meets it: installed with apt on a brand-new Debian root, run with
nothing but -o, and removed without a file of it left behind.
Usage (as root): package_test.py DEB WORK_DIR
WORK_DIR keeps the untouched root (debootstrap --variant=minbase, from the mirror this machine's
apt uses) between runs; each run installs into a fresh copy of it."""
import contextlib
import email
import email.policy
import glob
import os
import re
import shutil
import subprocess
import sys

DEB, WORK = (os.path.abspath(a) for a in sys.argv[1:3])
# From a Softbank phone: only the installed settings file names its sender's domain.
SAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "samples", "softbank.eml")
BASE, ROOT = os.path.join(WORK, "base"), os.path.join(WORK, "fresh")


def run(*args, **kwargs):
    return subprocess.run(args, check=True, **kwargs)


def mounts_under(root):
    with open("/proc/self/mounts") as f:
        points = [line.split()[1].replace("\\040", " ") for line in f]
    return [p for p in points if p.startswith(root + "/")]


def unmount_all(root):
    for point in sorted(mounts_under(root), key=len, reverse=True):
        run("umount", point)


def remove_root(root):
    # Never delete through a bind mount into this machine's /dev or /proc.
    unmount_all(root)
    if mounts_under(root):
        sys.exit(f"still mounted under {root}; not removing it")
    run("rm", "-rf", "--one-file-system", root)


@contextlib.contextmanager
def mounted(root):
    """/proc and /dev inside the root while apt, dpkg and the command run there."""
    try:
        for m in ("proc", "dev", "dev/pts"):
            run("mount", "--bind", "/" + m, os.path.join(root, m))
        yield
    finally:
        unmount_all(root)


def in_root(command, check=True):
    """Runs a shell command in ROOT as root with a clean environment, as a user's login would."""
    return subprocess.run(["chroot", ROOT, "/usr/bin/env", "-i", "HOME=/root", "PATH=/usr/sbin:/usr/bin:/sbin:/bin",
                           "bash", "-c", command], capture_output=True, text=True, check=check)


def mirror_and_suite():
    sources = glob.glob("/etc/apt/sources.list.d/*.sources") + ["/etc/apt/sources.list"]
    text = "".join(open(s).read() for s in sources if os.path.exists(s))
    found = re.search(r"^URIs: (\S+)", text, re.M) or re.search(r"^deb (\S+)", text, re.M)
    release = open("/etc/os-release").read()
    return found.group(1), re.search(r"^VERSION_CODENAME=(\S+)", release, re.M).group(1)


def make_base():
    done = BASE + ".done"
    if os.path.exists(done):
        return
    remove_root(BASE)
    mirror, suite = mirror_and_suite()
    print(f"making a Debian {suite} root from {mirror} (once)", flush=True)
    run("debootstrap", "--variant=minbase", suite, BASE, mirror, stdout=subprocess.DEVNULL)
    shutil.copyfile("/etc/resolv.conf", os.path.join(BASE, "etc/resolv.conf"))
    # A Debian machine a person uses reads manual pages: man-db, as the standard install has it.
    with mounted(BASE):
        run("chroot", BASE, "apt-get", "install", "-y", "-qq", "man-db", stdout=subprocess.DEVNULL)
    open(done, "w").close()


failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what, flush=True)
    if not ok:
        failures.append(what)


def use_the_command():
    shutil.copy(SAMPLE, os.path.join(ROOT, "root/sample.eml"))
    r = in_root("cd /root && glyphory convert sample.eml -o converted.eml", check=False)
    print("  " + r.stderr.strip())
    check(r.returncode == 0, f"glyphory convert sample.eml -o converted.eml (exit status {r.returncode})")
    if r.returncode != 0:
        return
    check("sample.eml: converted (softbank, 3 pictographs replaced)" in r.stderr, "converted with the installed Glyphory.ini")
    with open(os.path.join(ROOT, "root/converted.eml"), "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    images = [p for p in message.walk() if p.get_content_type() == "image/gif"]
    same = []
    for part in images:
        carrier, code = re.match(r"<(\w+)\.(\w+)\.gif@", part["Content-ID"]).groups()
        with open(os.path.join(ROOT, f"usr/share/glyphory/images/{carrier}/{code}.gif"), "rb") as f:
            same.append(part.get_content() == f.read())
    check(bool(images) and all(same), f"carries {len(images)} images, each the package's own GIF")

    r = in_root("glyphory --help && man glyphory")
    check("usage: glyphory convert" in r.stdout and "EXIT STATUS" in r.stdout and
          "/usr/share/glyphory/Glyphory.ini" in r.stdout, "glyphory --help and man glyphory")


def remove_the_package(listed):
    removed = in_root("apt-get remove -y -qq glyphory", check=False).returncode == 0
    status = in_root("dpkg-query -W -f='${Status}' glyphory", check=False).stdout
    check(removed and (status == "" or status.endswith("not-installed")),
          f"apt remove glyphory (dpkg's status: {status or 'unknown package'})")
    # What stays is only folders that other packages own too (/usr, /usr/share/man/man1, ...).
    left = [p for p in listed if os.path.lexists(ROOT + p) and
            not (os.path.isdir(ROOT + p) and in_root(f"dpkg-query -S '{p}'", check=False).returncode == 0)]
    check(not left, "nothing of it left behind" + (": " + " ".join(left) if left else ""))
    check(not os.path.exists(ROOT + "/usr/share/glyphory") and not os.path.exists(ROOT + "/usr/share/doc/glyphory"),
          "/usr/share/glyphory and /usr/share/doc/glyphory gone")


def main():
    os.makedirs(WORK, exist_ok=True)
    make_base()
    remove_root(ROOT)
    run("cp", "-a", BASE, ROOT)
    shutil.copyfile("/etc/resolv.conf", os.path.join(ROOT, "etc/resolv.conf"))
    shutil.copy(DEB, os.path.join(ROOT, "root"))
    with mounted(ROOT):
        install = f"apt install -y ./{os.path.basename(DEB)}"
        r = in_root(f"apt-get update -qq && cd /root && {install}", check=False)
        check(r.returncode == 0, install + ("" if r.returncode == 0 else "\n" + r.stdout + r.stderr))
        if r.returncode == 0:
            listed = [p for p in in_root("dpkg -L glyphory").stdout.splitlines() if p != "/."]
            use_the_command()
            remove_the_package(listed)
    print(f"package test: {len(failures)} failed" if failures else "package test: every check passed")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
