#!/usr/bin/env python3
"""The installer as a person installs it: from the .deb, as a non-root member of sudo, placing into a
root-owned applications folder through pkexec and the placement helper, with a real system bus and
polkitd. Needs root (it installs a package, adds a user and a polkit rule) and removes all of it
afterwards, also when a check fails.

  privileged.py --build DIR --service EXE --archive ZIP --artifacts DIR

Cases, in one run (the package, the bus and the user are set up once):
  package  `cpack -G DEB` refuses to make a package without the maker's archive key; with a throwaway
           key it makes one whose installed Info.plist holds the key. The demo service signs the
           archive with it.
  refusal  no polkit rule allows the person: "Install error", nothing placed, no temporary files.
  sudo     root started through sudo -E with the person's HOME: without a key in its Info.plist it
           refuses to place ("Download Error"); with one, twice: a hard link at the run log or the
           Logs folder a link, and links at ~/.cache and the version file, all to root-only files
           and folders: they stay as they are and are not uploaded; the product runs as the person.
  person   a rule allows the person: the product lands root-owned with normalised modes, the version
           file in the person's data folder, the product starts as the person, and the run log holds
           the records of the installer's own placement in their order.
  helper   the installed helper run directly as root, as pkexec runs it: no key, no placement; no
           older build over a newer one; `ulimit -f` lifted; a length above the maximum refused
           before a byte is read; a killed helper's staging folder swept; on a small tmpfs as the
           applications folder, a lying-header bomb and a 150,000-file archive refused with the
           free margin kept and nothing left.
"""

import argparse
import base64
import fcntl
import hashlib
import io
import json
import os
import pwd
import re
import resource
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from harness import BINARY_NAME, DATA_PATH, Sandbox, minisign, minisign_pair, wait_for, write_info_plist  # noqa: E402

PACKAGE = "tiny-installer"
INSTALLED_BUNDLE = Path("/usr/lib/tiny-installer/TinyInstaller.app")
INSTALLED_HELPER = INSTALLED_BUNDLE / "Contents" / "MacOS" / "tiny-installer-helper"
FREE_MARGIN = 64 << 20  # what the helper keeps free on the applications folder's file system
POLKITD = "/usr/lib/polkit-1/polkitd"
BUS_PID_FILE = Path("/run/dbus/pid")
ACTION = "com.brightmoor.corvala.tinyinstaller.place-bundle"
SYSTEM_MENU_ENTRY = Path("/usr/local/share/applications/Corvala.desktop")
SKIP = 77


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def run(*cmd, **kwargs):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kwargs)


def hostile_modes(archive, settings):
    """The demo archive with modes no honest tool writes (world-writable, set-gid and sticky), and
    launch settings for the product, which may start with a clean environment."""
    out = io.BytesIO()
    with zipfile.ZipFile(archive) as src, zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            data = src.read(info)
            mode = (info.external_attr >> 16) & 0o177777
            if stat.S_ISDIR(mode) or info.filename.endswith("/"):
                mode = stat.S_IFDIR | 0o1777
            elif stat.S_ISREG(mode) or not stat.S_IFMT(mode):
                mode = stat.S_IFREG | (0o2777 if mode & 0o111 else 0o666)
            info.external_attr = (mode << 16) | (info.external_attr & 0xFFFF)
            info.create_system = 3  # Unix, so the mode bits are read
            dst.writestr(info, data)
        dst.writestr(f"{BINARY_NAME}/Contents/Resources/launch-settings.json", json.dumps(settings))
    return out.getvalue()


class System:
    """The package, the system bus, polkitd, the person and the polkit rule; each undone in close()."""

    def __init__(self, deb, artifacts):
        self.deb = deb
        self.artifacts = artifacts
        self.installed = False
        self.bus_pid = None
        self.polkitd = None
        self.user = None
        self.rule = None
        self.menu_folder_existed = True

    def install_package(self):
        check(subprocess.run(["dpkg-query", "-W", PACKAGE], capture_output=True).returncode != 0,
              f"{PACKAGE} is already installed on this machine; not touching it")
        check(not SYSTEM_MENU_ENTRY.exists(), f"{SYSTEM_MENU_ENTRY} exists already; not touching it")
        self.menu_folder_existed = SYSTEM_MENU_ENTRY.parent.exists()
        self.installed = True
        run("dpkg", "-i", str(self.deb))

    def configure_installed_bundle(self, box, config_url, apps=None, **settings):
        """The installed Info.plist, pointed at the sandbox's servers and applications folder."""
        write_info_plist(INSTALLED_BUNDLE, "com.brightmoor.corvala.tinyinstaller", config_url, apps or box.apps, **settings)

    def start_bus(self):
        check(not Path("/run/dbus/system_bus_socket").exists(), "a system bus is already running here")
        Path("/run/dbus").mkdir(parents=True, exist_ok=True)
        result = run("dbus-daemon", "--system", "--fork", "--print-pid")
        self.bus_pid = int(result.stdout.split()[0])

    def start_polkitd(self):
        log = open(self.artifacts / "polkitd.txt", "a")
        self.polkitd = subprocess.Popen([POLKITD, "--no-debug"], stdout=log, stderr=subprocess.STDOUT)

        def owned():
            result = subprocess.run(["dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.DBus",
                                     "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                                     "string:org.freedesktop.PolicyKit1"], capture_output=True, text=True)
            return "boolean true" in result.stdout
        wait_for(owned, 30, "polkitd on the system bus")

    def stop_polkitd(self):
        if self.polkitd and self.polkitd.poll() is None:
            self.polkitd.terminate()
            try:
                self.polkitd.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.polkitd.kill()
                self.polkitd.wait()
        self.polkitd = None

    def add_person(self, home):
        name = f"tinyp{os.getpid() % 100000}"
        check(subprocess.run(["id", name], capture_output=True).returncode != 0, f"user {name} exists already")
        self.user = name
        run("useradd", "--no-create-home", "--home-dir", str(home), "--shell", "/bin/sh", "--groups", "sudo", name)
        return pwd.getpwnam(name)

    def allow_person(self):
        self.rule = Path(f"/etc/polkit-1/rules.d/49-tiny-installer-test-{self.user}.rules")
        self.rule.write_text(
            "polkit.addRule(function(action, subject) {\n"
            f'    if (action.id == "{ACTION}" && subject.user == "{self.user}")\n'
            "        return polkit.Result.YES;\n"
            "});\n")

    def close(self):
        problems = []

        def attempt(what, action):
            try:
                action()
            except Exception as error:  # keep cleaning up; report at the end
                problems.append(f"{what}: {error}")
        if self.rule:
            attempt("rule", lambda: self.rule.unlink(missing_ok=True))
        attempt("polkitd", self.stop_polkitd)
        if self.bus_pid:
            def stop_bus():
                os.kill(self.bus_pid, 15)
                wait_for(lambda: not Path(f"/proc/{self.bus_pid}").exists(), 10, "the system bus to stop")
                BUS_PID_FILE.unlink(missing_ok=True)
                Path("/run/dbus/system_bus_socket").unlink(missing_ok=True)
            attempt("bus", stop_bus)
        if self.user:
            attempt("user", lambda: run("userdel", self.user))
        if self.installed:
            attempt("package", lambda: run("dpkg", "--purge", PACKAGE))
            attempt("menu entry", lambda: SYSTEM_MENU_ENTRY.unlink(missing_ok=True))
            if not self.menu_folder_existed:  # with the cache that the package's trigger left there
                attempt("menu folder", lambda: shutil.rmtree(SYSTEM_MENU_ENTRY.parent, ignore_errors=True))
        return problems


def person_env(box, person):
    env = box.env()
    os.chown(env["XDG_RUNTIME_DIR"], person.pw_uid, person.pw_gid)
    env.update(USER=person.pw_name, LOGNAME=person.pw_name, SHELL="/bin/sh",
               PATH="/usr/local/bin:/usr/bin:/bin")
    return env


def launch_as(box, person):
    cmd = ["setpriv", f"--reuid={person.pw_uid}", f"--regid={person.pw_gid}", "--init-groups", "--",
           "/usr/bin/tiny-installer"]
    box.console_path = box.artifacts / f"console-{len(box.processes)}.txt"
    proc = subprocess.Popen(cmd, env=person_env(box, person), stdout=open(box.console_path, "w"),
                            stderr=subprocess.STDOUT)
    box.processes.append(proc)
    box.installer = proc
    return proc


def files_under(folder):
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*") if not p.is_dir() or p.is_symlink())


def case_refusal(box, person):
    proc = launch_as(box, person)
    box.wait_log("Show Welcome screen")
    time.sleep(1.0)
    box.screenshot("refusal-welcome")
    box.key("Return", proc=proc)
    box.wait_log("Show generic error screen.", timeout=60)
    time.sleep(1.0)
    box.screenshot("refusal-install-error")
    installs = [fields for name, fields in box.events() if name == "Install"]
    check(installs and installs[-1]["RSLT"] == "FAIL" and "authorisation refused" in installs[-1]["RSN"],
          f"Install events {installs}")
    check(not [name for name, _ in box.events() if name in ("Download", "Extract")], "downloaded after a refusal")
    check(list(box.apps.iterdir()) == [], f"applications folder changed: {list(box.apps.iterdir())}")
    box.key("Return", proc=proc)  # Close
    check(box.wait_exit(proc) == 0, "installer did not exit after Close")
    box.installer = None
    leftovers = [f for f in files_under(box.tmp) if not f.startswith("runtime")]
    check(not leftovers, f"temporary files left: {leftovers}")


def launch_through_sudo(box, person, name):
    """The installed installer as root, started through sudo -E with the person's HOME."""
    env = person_env(box, person)
    env.update(USER="root", LOGNAME="root", SUDO_UID=str(person.pw_uid), SUDO_GID=str(person.pw_gid),
               SUDO_USER=person.pw_name, CORVALA_ARGS_FILE="", CORVALA_EXIT_AFTER_MS="")
    box.console_path = box.artifacts / f"console-{name}.txt"
    proc = subprocess.Popen(["/usr/bin/tiny-installer"], env=env, stdout=open(box.console_path, "w"),
                            stderr=subprocess.STDOUT)
    box.processes.append(proc)
    box.installer = proc
    return proc


def case_sudo_unsigned(box, person, system, config_url, key):
    """Root through sudo places in process, and without a key in its Info.plist it places nothing."""
    system.configure_installed_bundle(box, config_url)
    box.log_path.unlink(missing_ok=True)
    proc = launch_through_sudo(box, person, "sudo-unsigned")
    box.key("Return", proc=proc)  # Install
    box.wait_log("Show generic error screen.", timeout=60)
    time.sleep(1.0)
    box.screenshot("sudo-unsigned-error")
    downloads = [fields for name, fields in box.events() if name == "Download"]
    check(len(downloads) == 1 and downloads[0]["RSN"] == "Signature verification failed", f"downloads {downloads}")
    check("carries no kQSArchivePublicKey" in box.log_text(), "the run log does not name the missing key")
    check(not list(box.apps.iterdir()), f"placed without a key: {list(box.apps.iterdir())}")
    box.key("Return", proc=proc)  # Close
    check(box.wait_exit(proc) == 0, "installer run through sudo did not exit after Close")
    box.installer = None
    system.configure_installed_bundle(box, config_url, kQSArchivePublicKey=key)


def root_state(folder):
    """Every file and folder under folder with its owner, mode and content: what root's must keep."""
    state = {}
    for path in [folder, *folder.rglob("*")]:
        info = path.lstat()
        content = path.read_bytes() if stat.S_ISREG(info.st_mode) else None
        state[str(path.relative_to(folder))] = (info.st_uid, info.st_gid, stat.S_IMODE(info.st_mode), stat.S_IFMT(info.st_mode), content)
    return state


def plant_sudo_case(box, person, secrets, plants):
    """Root-only files and folders in secrets, and names in the person's HOME that lead to them:
    symbolic links at the version file and at ~/.cache, and either a hard link at the run log (as on
    a system where fs.protected_hardlinks is 0) or the Logs folder itself a link."""
    data = box.home / DATA_PATH.lstrip("/")
    data.mkdir(parents=True, exist_ok=True)
    for folder in [data, *data.parents]:
        if folder == box.home:
            break
        os.chown(folder, person.pw_uid, person.pw_gid)
    secrets.mkdir(mode=0o700)
    for name in ("log.txt", "version.txt", "logs/tiny.log", "cache/com.brightmoor.softwareInstaller/keep.txt",
                 "cache/com.brightmoor.corvala.tinyinstaller/keep.txt"):
        path = secrets / name
        path.parent.mkdir(mode=0o700, parents=True, exist_ok=True)
        path.write_text(f"root-only {name}\n")
        path.chmod(0o600)
    logs = data / "Logs"
    shutil.rmtree(logs, ignore_errors=True)  # the refusal's run log
    if logs.is_symlink():
        logs.unlink()
    if plants == "hard link":
        logs.mkdir()
        os.chown(logs, person.pw_uid, person.pw_gid)
        os.link(secrets / "log.txt", logs / "tiny.log")
    else:
        logs.symlink_to(secrets / "logs")
    for link, target in ((data / "mirolan_version.json", secrets / "version.txt"), (box.home / ".cache", secrets / "cache")):
        link.unlink(missing_ok=True)
        link.symlink_to(target)
    return [logs, data / "mirolan_version.json", box.home / ".cache"]


def case_sudo(box, person):
    """Root started through sudo -E with the person's HOME, twice: with a hard link at the run log and
    with the Logs folder a link, and with ~/.cache and the version file links, all to root-only
    files and folders. Each root file and folder stays as it was (content, owner, mode, presence),
    nothing of them is uploaded, and the product runs as the person."""
    for plants in ("hard link", "linked Logs"):
        secrets = box.root / f"root-only-{plants.replace(' ', '-')}"
        planted = plant_sudo_case(box, person, secrets, plants)
        before = root_state(secrets)
        for old in box.collected.rglob("*"):
            if old.is_file():
                old.unlink()

        proc = launch_through_sudo(box, person, f"sudo-{plants.replace(' ', '-')}")
        box.key("Return", proc=proc)  # Install; the run log cannot be read here: it is a planted link
        wait_for((box.apps / BINARY_NAME / "Contents" / "MacOS" / "Corvala").exists, 120, "the product to be placed")
        time.sleep(5.0)  # 0.8 s and 0.3 s to the finished state, with room for a loaded machine
        box.screenshot(f"sudo-finished-{plants.replace(' ', '-')}")
        box.key("Return", proc=proc)  # Launch
        check(box.wait_exit(proc) == 0, f"installer run through sudo ({plants}) did not exit after Launch")

        after = root_state(secrets)
        changed = sorted(name for name in set(before) | set(after) if before.get(name) != after.get(name))
        check(not changed, f"root's files changed ({plants}): {changed}")
        uploaded = b"".join(p.read_bytes() for p in box.collected.rglob("*") if p.is_file())
        check(b"root-only" not in uploaded, f"a root-only file was uploaded ({plants})")
        wait_for(box.args_file.exists, 15, "the product to start")
        record = json.loads(box.args_file.read_text())
        check(record.get("uid") == person.pw_uid, f"product started through sudo ran as uid {record.get('uid')}")

        # The next run starts from a clean slate.
        shutil.rmtree(box.apps / BINARY_NAME)
        for path in planted:
            if path.is_symlink() or path.is_file():
                path.unlink()
            else:
                shutil.rmtree(path)
        box.args_file.unlink(missing_ok=True)
        shutil.rmtree(secrets)


def case_person(box, person, system):
    system.allow_person()
    system.stop_polkitd()  # the rule is read when polkitd starts
    system.start_polkitd()
    box.log_path.unlink(missing_ok=True)
    proc = launch_as(box, person)
    box.wait_log("Show Welcome screen")
    time.sleep(1.0)
    box.key("Return", proc=proc)
    box.wait_log('"EVT":"Install"', timeout=120)
    time.sleep(2.0)
    box.screenshot("person-finished")
    installs = [fields for name, fields in box.events() if name == "Install"]
    check(installs and installs[-1]["RSLT"] == "PASS", f"Install events {installs}; see {box.console_path}")
    # Through the helper, the records of the installer's own placement, before "Install" PASS.
    log = box.log_text()
    moved = re.search(r"Moved app \[version: 2\.4\.1 \] from path: (\S+/\.Corvala\.app\.staging-\w+/content) to (\S+)\"", log)
    check(moved and moved.group(2) == str(box.apps), "no \"Moved app [version: ... ] from path: ... to ...\" record")
    check(log.index(moved.group(0)) < log.index('"EVT":"Install"'), "\"Moved app\" follows the Install event")
    check(log.index('"EVT":"Download"') < log.index('"EVT":"Extract"') < log.index(moved.group(0)), "records out of order")
    check(f"Path: [{moved.group(1)}]" in box.console_path.read_text(), "no \"Path: [...]\" console line")
    box.key("Return", proc=proc)  # Launch
    check(box.wait_exit(proc) == 0, "installer did not exit after Launch")

    product = box.apps / BINARY_NAME
    check(sorted(p.name for p in box.apps.iterdir()) == [BINARY_NAME], f"applications folder: {list(box.apps.iterdir())}")
    for path in [product, *product.rglob("*")]:
        info = path.lstat()
        if stat.S_ISLNK(info.st_mode):
            continue
        check(info.st_uid == 0 and info.st_gid == 0, f"{path} owned by {info.st_uid}:{info.st_gid}")
        mode = stat.S_IMODE(info.st_mode)
        allowed = (0o755,) if stat.S_ISDIR(info.st_mode) else (0o644, 0o755)
        check(mode in allowed, f"{path} has mode {oct(mode)}")
    version_file = box.home / DATA_PATH.lstrip("/") / "mirolan_version.json"
    check(json.loads(version_file.read_text()) == {"version": "2.4.1"}, "version file wrong")
    check(version_file.stat().st_uid == person.pw_uid, "version file not the person's")
    check(SYSTEM_MENU_ENTRY.is_file(), f"the helper wrote no menu entry at {SYSTEM_MENU_ENTRY}")
    check(f"{product}/Contents/MacOS/Corvala" in SYSTEM_MENU_ENTRY.read_text(), "the menu entry does not start the product")
    check(subprocess.run(["desktop-file-validate", str(SYSTEM_MENU_ENTRY)]).returncode == 0, "the menu entry is not valid")
    wait_for(box.args_file.exists, 15, "the product to start")
    record = json.loads(box.args_file.read_text())
    check(record.get("uid") == person.pw_uid, f"product ran as uid {record.get('uid')}")


def make_package(build, packages, public_key=None):
    """cpack -G DEB into packages, with the archive key file in the environment when given."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("TI_ARCHIVE_PUBLIC_KEY")}
    if public_key:
        env["TI_ARCHIVE_PUBLIC_KEY_FILE"] = str(public_key)
    return subprocess.run(["cpack", "-G", "DEB", "-B", packages, "--config", build + "/CPackConfig.cmake"], cwd=packages,
                          env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def case_package(build, system, key, public_key):
    with tempfile.TemporaryDirectory(prefix="tiny-deb-") as packages:
        unsigned = make_package(build, packages)
        check(unsigned.returncode != 0 and "archive key" in unsigned.stdout,
              f"cpack without a key: status {unsigned.returncode}\n{unsigned.stdout[-2000:]}")
        check(not list(Path(packages).glob("*.deb")), "cpack without a key made a package")
        signed = make_package(build, packages, public_key)
        check(signed.returncode == 0, f"cpack with a key failed:\n{signed.stdout[-2000:]}")
        debs = sorted(Path(packages).glob("*.deb"))
        check(len(debs) == 1, f"cpack made {debs}")
        system.deb = debs[0]
        system.install_package()
    installed = (INSTALLED_BUNDLE / "Contents" / "Info.plist").read_text()
    check(re.search(r"<key>kQSArchivePublicKey</key>\s*<string>" + re.escape(key) + "</string>", installed),
          "the installed Info.plist does not hold the key")


def with_version(archive, version):
    """The archive's bytes with the product's CFBundleShortVersionString set to version."""
    out = io.BytesIO()
    with zipfile.ZipFile(io.BytesIO(archive)) as src, zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            data = src.read(info)
            if info.filename == f"{BINARY_NAME}/Contents/Info.plist":
                data = re.sub(rb"(<key>CFBundleShortVersionString</key>\s*<string>)[^<]*", rb"\g<1>" + version.encode(), data)
            dst.writestr(info, data)
    return out.getvalue()


def lying_bomb():
    """600 MiB of zeros whose local header and central directory both claim 1,000 bytes."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(f"{BINARY_NAME}/Contents/Info.plist", b"<plist/>")
        with z.open(f"{BINARY_NAME}/Contents/Resources/bomb.bin", "w", force_zip64=False) as f:
            block = bytes(1 << 20)
            for _ in range(600):
                f.write(block)
    data = bytearray(out.getvalue())
    for signature, offset in ((b"PK\x03\x04", 22), (b"PK\x01\x02", 24)):
        start = 0
        while (start := data.find(signature, start)) >= 0:
            name_length = struct.unpack_from("<H", data, start + (26 if signature == b"PK\x03\x04" else 28))[0]
            name_at = start + (30 if signature == b"PK\x03\x04" else 46)
            if data[name_at:name_at + name_length].endswith(b"bomb.bin"):
                struct.pack_into("<I", data, start + offset, 1000)
            start += 4
    return bytes(data)


def many_files(count):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as z:
        for i in range(count):
            z.writestr(f"{BINARY_NAME}/Contents/Resources/f{i}", b"")
    return out.getvalue()


class Helper:
    """The installed helper, run directly as root with a request on its standard input."""

    def __init__(self, box, system, secret):
        self.box, self.system, self.secret = box, system, secret

    def configure(self, apps, **settings):
        self.apps = Path(apps)
        self.system.configure_installed_bundle(self.box, "http://127.0.0.1:9/config", apps=apps,
                                               kQSApplicationsMenuDirectory=str(self.box.root / "helper-menu"), **settings)

    def request(self, archive, length=None):
        signature = minisign(archive, self.secret, self.box.root)
        header = f"length {len(archive) if length is None else length}\nsignature {base64.b64encode(signature.encode()).decode()}\n\n"
        return header.encode() + archive

    def run(self, data, file_limit=None, timeout=300):
        def limit():
            if file_limit:
                resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit, file_limit))
        result = subprocess.run([str(INSTALLED_HELPER)], input=data, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                preexec_fn=limit, timeout=timeout)
        return result.returncode, result.stdout.decode(errors="replace")

    def staging(self):
        return sorted(p.name for p in self.apps.glob(".Corvala.app.staging-*"))

    def tree_digest(self):
        digest = hashlib.sha256()
        for path in sorted((self.apps / BINARY_NAME).rglob("*")):
            digest.update(str(path).encode())
            if path.is_file() and not path.is_symlink():
                digest.update(path.read_bytes())
        return digest.hexdigest()


def case_helper(box, system, key, secret, archive):
    helper = Helper(box, system, secret)
    apps = box.root / "helper-apps"
    apps.mkdir(mode=0o755)

    # No key, no root.
    helper.configure(apps)
    status, output = helper.run(helper.request(archive))
    check(status == 2 and "kQSArchivePublicKey" in output and "ready" not in output, f"without a key: {status} {output}")
    check(not list(apps.iterdir()), "placed without a key")

    # No rollback: 9.0, then 1.0 refused with 9.0 kept byte for byte, then 9.0 again.
    helper.configure(apps, kQSArchivePublicKey=key)
    status, output = helper.run(helper.request(with_version(archive, "9.0")))
    check(status == 0 and "verified" in output and "staging " in output, f"9.0: {status} {output}")
    before = helper.tree_digest()
    status, output = helper.run(helper.request(with_version(archive, "1.0")))
    check(status == 7 and "1.0" in output and "9.0" in output, f"1.0 over 9.0: {status} {output}")
    check(helper.tree_digest() == before, "the installed 9.0 changed")
    status, output = helper.run(helper.request(with_version(archive, "9.0")))
    check(status == 0, f"9.0 again: {status} {output}")
    check(sorted(p.name for p in apps.iterdir()) == [BINARY_NAME], f"left in {apps}: {list(apps.iterdir())}")

    # ulimit -f of 4 MiB and a 12 MiB archive: the helper lifts the limit and places the archive
    # whole, or, where even root may not raise a hard limit (a container without
    # CAP_SYS_RESOURCE), fails cleanly instead of dying on SIGXFSZ. Either way no staging folder
    # stays, and the next run places it.
    padded = io.BytesIO(archive)
    with zipfile.ZipFile(padded, "a", zipfile.ZIP_STORED) as z:
        z.writestr(f"{BINARY_NAME}/Contents/Resources/padding.bin", os.urandom(12 << 20))
    request = helper.request(with_version(padded.getvalue(), "9.1"))
    status, output = helper.run(request, file_limit=4 << 20)
    check(status == 0 or (status == 6 and "File too large" in output), f"under ulimit -f: {status} {output}")
    check(not helper.staging(), f"staging left under ulimit -f: {helper.staging()}")
    status, output = helper.run(request)
    check(status == 0 and not helper.staging(), f"after ulimit -f: {status} {output} {helper.staging()}")
    check((apps / BINARY_NAME / "Contents" / "Resources" / "padding.bin").stat().st_size == 12 << 20, "padding cut")

    # A length above the maximum is refused with the pipe held open and not one byte sent.
    helper.configure(apps, kQSArchivePublicKey=key, kQSMaximumArchiveBytes="1000000")
    proc = subprocess.Popen([str(INSTALLED_HELPER)], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    proc.stdin.write(b"length 2000000\nsignature eA==\n\n")
    proc.stdin.flush()
    watchdog = threading.Timer(20, proc.kill)  # a helper waiting for the bytes would never answer
    watchdog.start()
    try:
        output = proc.stdout.read().decode()
        status = proc.wait()
    finally:
        watchdog.cancel()
        proc.stdin.close()
    check(status == 1 and "maximum" in output, f"above the maximum: {status} {output}")
    check(not helper.staging(), "a staging folder for a refused length")

    # A killed helper's staging folder is swept by the next helper, whatever that one is sent.
    helper.configure(apps, kQSArchivePublicKey=key)
    proc = subprocess.Popen([str(INSTALLED_HELPER)], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
    request = helper.request(padded.getvalue())
    proc.stdin.write(request[: len(request) // 2])
    proc.stdin.flush()
    wait_for(lambda: helper.staging() and any((apps / helper.staging()[0]).iterdir()), 20, "a staging folder")
    proc.kill()
    proc.wait()
    proc.stdin.close()
    check(helper.staging(), "the killed helper's staging folder is gone already")
    status, output = helper.run(b"")
    check(status == 1 and not helper.staging(), f"not swept: {helper.staging()} ({status} {output})")

    # On a small tmpfs: bombs refused, the margin kept, nothing left.
    small = box.root / "small-apps"
    small.mkdir(mode=0o755)
    run("mount", "-t", "tmpfs", "-o", "size=160m,mode=0755", "tiny-installer-test", str(small))
    try:
        helper.configure(small, kQSArchivePublicKey=key)
        for what, bomb in (("lying-header bomb", lying_bomb()), ("150,000 files", many_files(150_000))):
            status, output = helper.run(helper.request(bomb))
            free = shutil.disk_usage(small).free
            check(status == 4, f"{what}: {status} {output}")
            check(free >= FREE_MARGIN, f"{what}: only {free} bytes left free")
            check(not list(small.iterdir()), f"{what}: left {list(small.iterdir())}")
    finally:
        subprocess.run(["umount", str(small)], check=False)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--service", required=True)
    parser.add_argument("--archive", required=True)
    parser.add_argument("--artifacts", required=True)
    args = parser.parse_args()
    if os.geteuid() != 0:
        print("skipped: needs root to install the package, add a user and a polkit rule")
        return SKIP
    # The package, the system bus, polkitd and the test account are machine-wide: two runs from two
    # checkouts at once would remove each other's. The second waits for the first.
    lock = open("/run/tiny-installer-privileged-test.lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    box = Sandbox(args.build + "/TinyInstaller.app", args.service, args.archive, args.artifacts, "privileged")
    system = System(None, box.artifacts)
    failed = None
    try:
        # A throwaway key: the package carries it, the demo service signs with it.
        key, secret, public_key = minisign_pair(box.root)
        case_package(args.build, system, key, public_key)
        box.start_display()
        box.args_file = box.home / "product-args.txt"
        served = hostile_modes(args.archive, {"argsFile": str(box.args_file), "exitAfterMs": "3000"})
        nginx = box.start_nginx(served)
        served_file = box.root / "served-Corvala.zip"
        served_file.write_bytes(served)
        service = box.start_service("--download-url", nginx + "/download/Corvala.zip", "--archive", str(served_file),
                                    "--sign-with", str(secret), log=box.artifacts / "demo-service.txt")
        os.chmod(box.apps, 0o755)  # root's, as /opt is
        person = system.add_person(box.home)
        for folder in (box.home.parent, box.home, box.tmp):
            os.chown(folder, person.pw_uid, person.pw_gid)
        system.configure_installed_bundle(box, service + "/config/prod", kQSArchivePublicKey=key)
        system.start_bus()
        system.start_polkitd()
        case_refusal(box, person)
        case_sudo_unsigned(box, person, system, service + "/config/prod", key)
        case_sudo(box, person)
        case_person(box, person, system)
        case_helper(box, system, key, secret, Path(args.archive).read_bytes())
    except Exception as error:  # a failed check or a time-out: keep the evidence
        failed = error
        box.screenshot("failure")
    box.stop_processes()  # the person's processes first, or the user cannot be removed
    problems = system.close()
    box.close()
    if failed or problems:
        print(f"FAILED privileged: {failed}; cleanup: {problems}", file=sys.stderr)
        return 1
    print(f"passed privileged; artifacts in {box.artifacts}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
