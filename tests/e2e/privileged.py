#!/usr/bin/env python3
"""The installer from the .deb, as a member of sudo, placing into a root-owned folder through pkexec,
the helper, a real system bus and polkitd. Needs root (it installs a package, adds a user and a
polkit rule, all undone afterwards whatever fails); the helper's rules are its unit tests' business.
"""

import fcntl
import json
import os
import pwd
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from harness import (BINARY_NAME, DATA_PATH, check, desktop_action_argv, forged, minisign_pair, parse_events,  # noqa: E402
                     run_cases, wait_for, write_info_plist)

PACKAGE = "tiny-installer"
INSTALLED_BUNDLE = Path("/usr/lib/tiny-installer/TinyInstaller.app")
POLKITD = "/usr/lib/polkit-1/polkitd"
ACTION = "com.brightmoor.corvala.tinyinstaller.place-bundle"
REMOVE_ACTION = "com.brightmoor.corvala.tinyinstaller.remove-bundle"
SYSTEM_MENU_ENTRY = Path("/usr/local/share/applications/Corvala.desktop")
PRODUCT_EXECUTABLE = Path(BINARY_NAME) / "Contents" / "MacOS" / "Corvala"
ROOT = Path(__file__).resolve().parents[2]


def run(*cmd):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def install_package(undo, deb):
    check(subprocess.run(["dpkg-query", "-W", PACKAGE], capture_output=True).returncode != 0,
          f"{PACKAGE} is already installed on this machine; not touching it")
    check(not SYSTEM_MENU_ENTRY.exists(), f"{SYSTEM_MENU_ENTRY} exists already; not touching it")
    if not SYSTEM_MENU_ENTRY.parent.exists():  # with the cache that the package's trigger leaves there
        undo.callback(shutil.rmtree, SYSTEM_MENU_ENTRY.parent, ignore_errors=True)
    undo.callback(SYSTEM_MENU_ENTRY.unlink, missing_ok=True)
    undo.callback(run, "dpkg", "--purge", PACKAGE)
    run("dpkg", "-i", str(deb))


def start_system_bus(undo):
    socket = Path("/run/dbus/system_bus_socket")
    check(not socket.exists(), "a system bus is already running here")
    socket.parent.mkdir(parents=True, exist_ok=True)
    pid = int(run("dbus-daemon", "--system", "--fork", "--print-pid").stdout.split()[0])
    for path in (socket, Path("/run/dbus/pid")):  # undone last: after the bus has stopped
        undo.callback(path.unlink, missing_ok=True)
    undo.callback(wait_for, lambda: not Path(f"/proc/{pid}").exists(), 10, "the system bus to stop")
    undo.callback(os.kill, pid, 15)


def start_polkitd(box):
    """polkitd afresh (it reads the rules when it starts), stopped with the sandbox's processes."""
    for old in [p for p in box.processes if p.args[0] == POLKITD and p.poll() is None]:
        old.terminate()
        old.wait(timeout=10)
    box.start_process([POLKITD, "--no-debug"], stdout=open(box.artifacts / "polkitd.txt", "a"), stderr=subprocess.STDOUT)
    wait_for(lambda: "boolean true" in subprocess.run(
        ["dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
         "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.PolicyKit1"], capture_output=True, text=True).stdout,
        30, "polkitd on the system bus")


def configure(box, config_url, **settings):  # the installed Info.plist, pointed at the sandbox
    write_info_plist(INSTALLED_BUNDLE, "com.brightmoor.corvala.tinyinstaller", config_url, box.apps, **settings)


def launch_as(box, person, name, through_sudo=False, args=(), command=("/usr/bin/tiny-installer",)):
    """The installed installer (or command) as the person, or as root started through sudo -E with the
    person's HOME; with args, such as --unattended, and no display at all."""
    env = {k: v for k, v in box.env().items() if not args or k not in ("DISPLAY", "QT_QPA_PLATFORM")}
    os.chown(env["XDG_RUNTIME_DIR"], person.pw_uid, person.pw_gid)
    env.update(USER=person.pw_name, LOGNAME=person.pw_name, SHELL="/bin/sh", PATH="/usr/local/bin:/usr/bin:/bin")
    cmd = ["setpriv", f"--reuid={person.pw_uid}", f"--regid={person.pw_gid}", "--init-groups", "--", *command, *args]
    if through_sudo:
        env.update(USER="root", LOGNAME="root", SUDO_UID=str(person.pw_uid), SUDO_GID=str(person.pw_gid),
                   SUDO_USER=person.pw_name, CORVALA_ARGS_FILE="", CORVALA_EXIT_AFTER_MS="")
        cmd = [*command, *args]
    box.installer = None
    return box.launch(cmd=cmd, env=env, name=name)


def failed_then_closed(box, proc, label):
    """Install, the error screen, Close; returns the run log before Close and its last event of each name."""
    box.key("Return", proc=proc)
    box.wait_log("Show generic error screen.", timeout=60)
    box.screenshot(label, settle=1.0)
    text = box.log_text()
    check(not list(box.apps.iterdir()), f"applications folder changed: {list(box.apps.iterdir())}")
    box.key("Return", proc=proc)
    check(box.wait_exit(proc) == 0, f"installer did not exit after Close ({label})")
    return text, dict(parse_events(text))


def case_refusals(box, person):
    """Errors before anything is placed: no polkit rule allows the person (asked once the configuration
    is in, before any download: the refusal reaches the maker), and root through sudo with no
    kQSArchivePublicKey in its Info.plist (an unverified archive)."""
    _, events = failed_then_closed(box, launch_as(box, person, "refusal"), "refusal-install-error")
    check("authorisation refused" in events.get("Install", {}).get("RSN", ""), f"events {events}")
    names = list(events)
    check("Config" in names and names.index("Config") < names.index("Install") and events["Config"]["RSLT"] == "PASS",
          f"events {events}")
    check("Download" not in events and "Extract" not in events, "downloaded after a refusal")
    sent = [fields for batch in box.batches() for name, fields in batch if name == "Install"]
    check(any("authorisation refused" in fields.get("RSN", "") for fields in sent), f"the maker heard {sent}")
    text, events = failed_then_closed(box, launch_as(box, person, "sudo-unsigned", through_sudo=True), "sudo-unsigned-error")
    check(events["Download"]["RSN"] == "Signature verification failed", f"events {events}")
    check("carries no kQSArchivePublicKey" in text, "the run log does not name the missing key")


def root_state(folder):
    """Every file and folder under folder with its owner, mode and content: what root's must keep."""
    return {str(p.relative_to(folder)): (p.lstat().st_uid, p.lstat().st_gid, p.lstat().st_mode,
                                         p.read_bytes() if stat.S_ISREG(p.lstat().st_mode) else None)
            for p in [folder, *folder.rglob("*")]}


def case_sudo(box, person):
    """Root started through sudo places in process, after the person's run: root-only files that the
    person's HOME leads to (the Logs folder and ~/.cache links, a hard link at the version file, as
    where fs.protected_hardlinks is 0) stay as they are and nothing of them is uploaded."""
    secrets, data = box.root / "root-only", box.home / DATA_PATH.lstrip("/")
    # A FIFO at the run log's name: the window comes and takes keys all the same.
    (data / "Logs").mkdir(parents=True, exist_ok=True)
    os.mkfifo(data / "Logs" / "tiny.log")
    for path in (data / "Logs", data / "Logs" / "tiny.log"):
        os.chown(path, person.pw_uid, person.pw_gid)
    proc = launch_as(box, person, "sudo-fifo", through_sudo=True)
    box.confirm_quit(proc=proc)
    check(box.wait_exit(proc) == 0, "the installer through sudo with a FIFO at its run log did not start and quit")
    planted = {data / "Logs": "logs", box.home / ".cache": "cache", data / "mirolan_version.json": "version.txt"}
    run("rm", "-rf", *map(str, planted), str(box.apps / BINARY_NAME), str(box.args_file), *map(str, box.collected.iterdir()))
    for name in ("version.txt", "logs/tiny.log", "cache/com.brightmoor.softwareInstaller/keep.txt",
                 "cache/com.brightmoor.corvala.tinyinstaller/keep.txt"):
        (secrets / name).parent.mkdir(mode=0o700, parents=True, exist_ok=True)
        (secrets / name).write_text(f"root-only {name}\n")
        (secrets / name).chmod(0o600)
    for path, target in planted.items():
        (os.link if target == "version.txt" else os.symlink)(secrets / target, path)
    before = root_state(secrets)
    proc = launch_as(box, person, "sudo", through_sudo=True)
    box.key("Return", proc=proc)  # Install; the run log cannot be read here: it is a planted link
    wait_for((box.apps / PRODUCT_EXECUTABLE).exists, 120, "the product to be placed")
    box.screenshot("sudo-finished", settle=5.0)  # 0.8 s and 0.3 s to the finished state, with room for a loaded machine
    box.key("Return", proc=proc)  # Launch
    check(box.wait_exit(proc) == 0, "installer run through sudo did not exit after Launch")
    after = root_state(secrets)
    check(before == after, f"root's files changed: {[n for n in set(before) | set(after) if before.get(n) != after.get(n)]}")
    check(b"root-only" not in b"".join(p.read_bytes() for p in box.collected.rglob("*") if p.is_file()),
          "a root-only file was uploaded")
    wait_for(box.args_file.exists, 15, "the product to start")
    check(json.loads(box.args_file.read_text()).get("uid") == person.pw_uid, "product through sudo not the person's")


def case_person(box, person, undo):
    """A rule allows the person: a forged archive is refused; the product lands root's alone, the version
    file and the product are the person's."""
    allow(box, person, undo, ACTION)
    # A forged archive: only the helper checks it, and its refusal is told as the installer's own.
    served = box.www / "Corvala.zip"
    genuine = served.read_bytes()
    served.write_bytes(forged(genuine))
    box.log_path.unlink(missing_ok=True)
    _, events = failed_then_closed(box, launch_as(box, person, "forged"), "forged-error")
    served.write_bytes(genuine)
    check(events["Download"]["RSN"] == "Signature verification failed" and "Extract" not in events, f"events {events}")
    box.log_path.unlink(missing_ok=True)
    # Another account holds a shared lock on the applications folder, which anyone may open: root
    # takes no lock there, so the placement does not wait for it.
    box.start_process(["setpriv", f"--reuid={person.pw_uid}", f"--regid={person.pw_gid}", "--clear-groups", "--",
                       "flock", "-s", str(box.apps), "sleep", "600"])
    proc = launch_as(box, person, "person")
    box.key("Return", proc=proc)
    box.wait_log('"EVT":"Install"', timeout=120)
    box.screenshot("person-finished", settle=2.0)
    install = dict(parse_events(box.log_text())).get("Install", {})
    check(install.get("RSLT") == "PASS", f"Install {install}; see {box.console_path}")
    check(f"Moved app [version: 2.4.1 ] from path: {box.apps}/.Corvala.app.staging-" in box.log_text(),
          "no record of the placement through the helper")
    box.key("Return", proc=proc)  # Launch
    check(box.wait_exit(proc) == 0, "installer did not exit after Launch")

    check(sorted(p.name for p in box.apps.iterdir()) == [BINARY_NAME], f"applications folder: {list(box.apps.iterdir())}")
    wrong = [p for p in [box.apps / BINARY_NAME, *(box.apps / BINARY_NAME).rglob("*")]
             if not p.is_symlink() and (p.lstat().st_uid != 0 or p.lstat().st_mode & (stat.S_IWGRP | stat.S_IWOTH))]
    check(not wrong, f"not root's alone: {wrong}")
    check((box.home / DATA_PATH.lstrip("/") / "mirolan_version.json").stat().st_uid == person.pw_uid,
          "version file not the person's")
    check(f"{box.apps / PRODUCT_EXECUTABLE}" in SYSTEM_MENU_ENTRY.read_text(), "the menu entry does not start the product")
    wait_for(box.args_file.exists, 15, "the product to start")
    check(json.loads(box.args_file.read_text()).get("uid") == person.pw_uid, "product did not run as the person")
    # Unattended and without a display, the same path: pkexec, which the rule lets through, and the helper.
    shutil.rmtree(box.apps / BINARY_NAME)
    proc = launch_as(box, person, "unattended", args=("--unattended", "--accept-license", "--json"))
    check(box.wait_exit(proc, timeout=120) == 0, f"unattended run as the person; see {box.console_path}")
    check((box.apps / PRODUCT_EXECUTABLE).stat().st_uid == 0, "not placed by the helper")


def allow(box, person, undo, action):
    """A polkit rule that lets the person do action without a password; polkitd restarted to read it."""
    rule = Path(f"/etc/polkit-1/rules.d/49-tiny-installer-test-{person.pw_name}-{action.rsplit('.', 1)[-1]}.rules")
    undo.callback(rule.unlink, missing_ok=True)
    rule.write_text("polkit.addRule(function(action, subject) {\n"
                    f'    if (action.id == "{action}" && subject.user == "{person.pw_name}")\n'
                    "        return polkit.Result.YES;\n});\n")
    start_polkitd(box)


def removal_by(box, person, command, label):
    """A removal window as the person: its confirmation, Remove, the outcome, Close; the "Remove" event
    and the run log before Close (the upload at exit may take it away)."""
    box.log_path.unlink(missing_ok=True)
    proc = launch_as(box, person, label, command=command)
    wait_for(lambda: box.focused_window(proc.pid), 30, "the removal window")
    box.screenshot(f"{label}-confirmation", settle=1.0)
    box.key("Return", proc=proc)
    box.wait_log('"EVT":"Remove"', timeout=60)
    box.screenshot(f"{label}-outcome", settle=1.0)
    text = box.log_text()
    box.key("Return", proc=proc)
    check(box.wait_exit(proc) == 0, f"the removal window ({label}) did not exit after Close")
    return dict(parse_events(text))["Remove"], text


def case_removal(box, person, undo):
    """After case_person: the system menu entry passes desktop-file-validate and its "Remove" action
    runs the installed installer. Polkit allows placing, not removing: the removal changes nothing.
    Allowed: the bundle, its entry and the version file go through the removal helper; another bundle
    and another entry beside them stay."""
    validated = subprocess.run(["desktop-file-validate", str(SYSTEM_MENU_ENTRY)], capture_output=True, text=True)
    check(validated.returncode == 0 and not validated.stdout.strip(), f"desktop-file-validate: {validated.stdout}")
    command = desktop_action_argv(SYSTEM_MENU_ENTRY, "Remove")
    check(command == [str(INSTALLED_BUNDLE / "Contents" / "MacOS" / "TinyInstaller"), "--remove"], f"the action runs {command}")
    other_entry = SYSTEM_MENU_ENTRY.parent / "Untouched-by-tiny-installer.desktop"
    undo.callback(other_entry.unlink, missing_ok=True)
    other_entry.write_text("[Desktop Entry]\nType=Application\nName=Other\nExec=true\n")
    (box.apps / "Other.app" / "Contents").mkdir(parents=True)
    version_file = box.home / DATA_PATH.lstrip("/") / "mirolan_version.json"
    before = root_state(box.apps), SYSTEM_MENU_ENTRY.read_bytes(), version_file.read_bytes()

    refused, _ = removal_by(box, person, command, "remove-not-allowed")
    check(refused == {**refused, "RSLT": "FAIL", "RSN": "Remove error: authorisation refused"}, f"Remove {refused}")
    check((root_state(box.apps), SYSTEM_MENU_ENTRY.read_bytes(), version_file.read_bytes()) == before,
          "a removal that polkit refused changed something")

    allow(box, person, undo, REMOVE_ACTION)
    removed, text = removal_by(box, person, command, "remove")
    check(removed.get("RSLT") == "PASS" and "RSN" not in removed, f"Remove {removed}; see {box.console_path}")
    check(sorted(p.name for p in box.apps.iterdir()) == ["Other.app"], f"applications folder: {list(box.apps.iterdir())}")
    check(not SYSTEM_MENU_ENTRY.exists() and other_entry.exists() and not version_file.exists(),
          "the entry or the version file stayed, or the other entry went")
    check(f"Removed {box.apps / BINARY_NAME}" in text, "no record of the bundle's removal")


def case_own_folder(box, person):
    """The person's own applications folder: placed and then removed in process, without asking for
    authorisation, with the person's own menu entry; the bundle beside it stays."""
    os.chown(box.apps, person.pw_uid, person.pw_gid)
    box.log_path.unlink(missing_ok=True)
    proc = launch_as(box, person, "own-folder")
    box.key("Return", proc=proc)
    box.wait_log('"EVT":"Install"', timeout=120)
    box.screenshot("own-folder-finished", settle=2.0)  # the Launch button comes 1.1 s after the event
    box.key("Return", proc=proc)  # Launch
    check(box.wait_exit(proc) == 0, "installer did not exit after Launch (own folder)")
    entry = box.home / ".local/share/applications/Corvala.desktop"
    check(entry.exists() and (box.apps / BINARY_NAME).stat().st_uid == person.pw_uid, "not placed in process")
    removed, text = removal_by(box, person, desktop_action_argv(entry, "Remove"), "remove-own-folder")
    check(removed.get("RSLT") == "PASS" and "Asking for authorisation" not in text, f"Remove {removed}")
    check(sorted(p.name for p in box.apps.iterdir()) == ["Other.app"] and not entry.exists(), "left behind in process")
    os.chown(box.apps, 0, 0)


def case_unattended_removal(box, person):
    """After case_sudo, as root through sudo: --remove --unattended takes the bundle, the system menu
    entry and the version file (the person's own: the installation replaced the planted hard link);
    a second run finds nothing to remove. Root's files that HOME leads to stay as they were."""
    secrets = box.root / "root-only"
    before = root_state(secrets)
    env = {**box.env(), "USER": "root", "LOGNAME": "root", "SUDO_UID": str(person.pw_uid),
           "SUDO_GID": str(person.pw_gid), "SUDO_USER": person.pw_name}
    for status, outcome in ((0, "removed"), (3, "nothing_to_remove")):
        done = subprocess.run(["/usr/bin/tiny-installer", "--remove", "--unattended", "--json"], env=env, text=True,
                              capture_output=True, timeout=120)
        (box.artifacts / f"unattended-removal-{status}.txt").write_text(done.stderr + done.stdout)
        result = json.loads(done.stdout.strip().splitlines()[-1])
        check(done.returncode == status and result["outcome"] == outcome, f"{done.returncode}: {done.stdout} {done.stderr}")
    version_file = box.home / DATA_PATH.lstrip("/") / "mirolan_version.json"
    check(not (box.apps / BINARY_NAME).exists() and not SYSTEM_MENU_ENTRY.exists() and not version_file.exists(),
          "the bundle, its entry or the version file stayed")
    check(root_state(secrets) == before, "root's files changed")


def make_packages(build, folder, public_key, rpm):
    """cpack refuses without the maker's archive key; with it: the .deb and its -dbgsym (and with rpm
    the RPM), in a folder of each. Returns the .deb."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("TI_ARCHIVE_PUBLIC_KEY")}
    folder.mkdir()
    for name, generator in (("no-key", "DEB"), ("deb", "DEB"), *([("rpm", "RPM")] if rpm else [])):
        key = {} if name == "no-key" else {"TI_ARCHIVE_PUBLIC_KEY_FILE": str(public_key)}
        made = subprocess.run(["cpack", "-G", generator, "-B", str(folder / name), "--config", build + "/CPackConfig.cmake"],
                              cwd=folder, env={**env, **key}, text=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        files = sorted((folder / name).glob("*.*[bm]"))
        check(made.returncode == 0 and files if key else made.returncode != 0 and "archive key" in made.stdout
              and not files, f"cpack {name}: status {made.returncode}, {files}\n{made.stdout[-2000:]}")
    return next((folder / "deb").glob("*.deb"))


def case_package(build, undo, key, public_key, keep_in=None, rpm=False):
    """Makes and installs the .deb; returns its path when keep_in names a folder to keep it in."""
    with tempfile.TemporaryDirectory(prefix="tiny-deb-") as scratch:
        deb = make_packages(build, Path(keep_in or scratch) / "packages", public_key, rpm)
        install_package(undo, deb)
    installed = (INSTALLED_BUNDLE / "Contents" / "Info.plist").read_text()
    check(re.search(r"<key>kQSArchivePublicKey</key>\s*<string>" + re.escape(key) + "</string>", installed),
          "the installed Info.plist does not hold the key")
    return deb if keep_in else None


def check_packages(build, deb):
    """Size, lintian, AppStream, symbols through the -dbgsym package, rpmlint and the RPM's files. The
    sanitizers' instrumentation is not what ships: the size is the optimised build's (bench/run)."""
    sanitized = "TI_SANITIZE:BOOL=ON" in Path(build, "CMakeCache.txt").read_text()
    checked = subprocess.run([str(ROOT / "scripts" / "check-packages"), str(deb.parent), str(deb.parent.parent / "rpm"),
                              *(["--max-deb-bytes", "10000000"] if sanitized else [])],
                             text=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    check(checked.returncode == 0, checked.stdout)


def second_build(deb, folder):
    """The same package as a later build (revision 2), to upgrade to."""
    run("dpkg-deb", "--raw-extract", str(deb), str(folder))
    control = folder / "DEBIAN" / "control"
    control.write_text(re.sub(r"(?m)^(Version: .*)-1$", r"\1-2", control.read_text()))
    run("dpkg-deb", "-Zgzip", "--build", str(folder), str(folder.parent / "upgrade.deb"))
    return folder.parent / "upgrade.deb"


def case_package_life(box, upgrade):
    """An upgrade to a second build keeps the placed product and the person's files, as removing and
    purging the package do; those take every file of the package."""
    files = {p for p in run("dpkg-query", "-L", PACKAGE).stdout.split() if not Path(p).is_dir()}
    placed = lambda: (root_state(box.apps), root_state(box.home / DATA_PATH.lstrip("/")))  # noqa: E731
    before = placed()
    for step in (["--install", str(upgrade)], ["--remove", PACKAGE], ["--purge", PACKAGE]):
        run("dpkg", *step)
        left = {f for f in files if os.path.lexists(f)}
        check(left == (files if step[0] == "--install" else set()) and placed() == before, f"dpkg {step[0]}: {files ^ left}")
    check(not INSTALLED_BUNDLE.parent.exists() and subprocess.run(["dpkg-query", "-W", PACKAGE], capture_output=True).returncode,
          "the package is left after the purge")


def hold_the_machine(box):
    """The package, the system bus, polkitd and the test account are machine-wide: two runs from
    two checkouts at once would remove each other's. The second waits for the first."""
    lock = open("/run/tiny-installer-privileged-test.lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    box.undo.callback(lock.close)


def case_privileged(box):
    hold_the_machine(box)
    undo = box.undo
    key, secret, public_key = minisign_pair(box.root)  # the package carries it, the demo service signs with it
    deb = case_package(box.args.build, undo, key, public_key, keep_in=box.root, rpm=True)
    check_packages(box.args.build, deb)
    upgrade = second_build(deb, box.root / "upgrade")
    box.start_display()
    box.args_file = box.home / "product-args.txt"
    served_file = Path(shutil.copy(box.args.archive, box.root / "served-Corvala.zip"))
    with zipfile.ZipFile(served_file, "a", zipfile.ZIP_DEFLATED) as served:  # the product may start with a clean environment
        served.writestr(f"{BINARY_NAME}/Contents/Resources/launch-settings.json",
                        json.dumps({"argsFile": str(box.args_file), "exitAfterMs": "3000"}))
    nginx = box.start_nginx(served_file.read_bytes())
    config_url = box.start_service("--download-url", nginx + "/download/Corvala.zip", "--archive", str(served_file),
                                   "--sign-with", str(secret), log=box.artifacts / "demo-service.txt") + "/config/prod"
    os.chmod(box.apps, 0o755)  # root's, as /opt is
    name = f"tinyp{os.getpid() % 100000}"  # a new member of sudo whose HOME is the sandbox's
    check(subprocess.run(["id", name], capture_output=True).returncode != 0, f"user {name} exists already")
    run("useradd", "--no-create-home", "--home-dir", str(box.home), "--shell", "/bin/sh", "--groups", "sudo", name)
    undo.callback(run, "userdel", name)
    person = pwd.getpwnam(name)
    for folder in (box.home.parent, box.home, box.tmp):
        os.chown(folder, person.pw_uid, person.pw_gid)
    configure(box, config_url)
    start_system_bus(undo)
    start_polkitd(box)
    case_refusals(box, person)
    configure(box, config_url, kQSArchivePublicKey=key)
    case_person(box, person, undo)
    case_removal(box, person, undo)
    case_own_folder(box, person)
    case_sudo(box, person)
    case_unattended_removal(box, person)
    case_package_life(box, upgrade)


if __name__ == "__main__":
    if os.geteuid() != 0:
        print("skipped: needs root to install the package, add a user and a polkit rule")
        sys.exit(77)
    sys.exit(run_cases({"privileged": case_privileged}))
