#!/usr/bin/env python3
"""The installer as a person installs it: from the .deb, as a non-root member of sudo, placing into a
root-owned applications folder through pkexec and the placement helper, with a real system bus and
polkitd. Needs root (it installs a package, adds a user and a polkit rule) and removes all of it
afterwards, also when a check fails.

  privileged.py --build DIR --service EXE --archive ZIP --artifacts DIR

Cases, in one run (the package, the bus and the user are set up once):
  refusal  no polkit rule allows the person: "Install error", nothing placed, no temporary files.
  sudo     root started through sudo -E with the person's HOME, twice: a hard link at the run log or
           the Logs folder a link, and links at ~/.cache and the version file, all to root-only
           files and folders: they stay as they are and are not uploaded; the product runs as the
           person.
  person   a rule allows the person: the product lands root-owned with normalised modes, the version
           file in the person's data folder, and the product starts as the person.
"""

import argparse
import fcntl
import io
import json
import os
import pwd
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from harness import BINARY_NAME, DATA_PATH, Sandbox, wait_for, write_info_plist  # noqa: E402

PACKAGE = "tiny-installer"
INSTALLED_BUNDLE = Path("/usr/lib/tiny-installer/TinyInstaller.app")
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

    def configure_installed_bundle(self, box, config_url):
        """The installed Info.plist, pointed at the sandbox's servers and applications folder."""
        write_info_plist(INSTALLED_BUNDLE, "com.brightmoor.corvala.tinyinstaller", config_url, box.apps)

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

        env = person_env(box, person)
        env.update(USER="root", LOGNAME="root", SUDO_UID=str(person.pw_uid), SUDO_GID=str(person.pw_gid),
                   SUDO_USER=person.pw_name, CORVALA_ARGS_FILE="", CORVALA_EXIT_AFTER_MS="")
        box.console_path = box.artifacts / f"console-sudo-{plants.replace(' ', '-')}.txt"
        proc = subprocess.Popen(["/usr/bin/tiny-installer"], env=env, stdout=open(box.console_path, "w"),
                                stderr=subprocess.STDOUT)
        box.processes.append(proc)
        box.installer = proc
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
        with tempfile.TemporaryDirectory(prefix="tiny-deb-") as packages:
            run("cpack", "-G", "DEB", "-B", packages, "--config", args.build + "/CPackConfig.cmake", cwd=packages)
            debs = sorted(Path(packages).glob("*.deb"))
            check(len(debs) == 1, f"cpack made {debs}")
            system.deb = debs[0]
            system.install_package()
        box.start_display()
        box.args_file = box.home / "product-args.txt"
        nginx = box.start_nginx(hostile_modes(args.archive, {"argsFile": str(box.args_file), "exitAfterMs": "3000"}))
        service = box.start_service("--download-url", nginx + "/download/Corvala.zip")
        os.chmod(box.apps, 0o755)  # root's, as /opt is
        person = system.add_person(box.home)
        for folder in (box.home.parent, box.home, box.tmp):
            os.chown(folder, person.pw_uid, person.pw_gid)
        system.configure_installed_bundle(box, service + "/config/prod")
        system.start_bus()
        system.start_polkitd()
        case_refusal(box, person)
        case_sudo(box, person)
        case_person(box, person, system)
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
