"""The installer placing through the polkit helper, as it does on most desktops, where the
applications folder belongs to root.

The package is built from the bench's own tree and installed; a system bus and polkitd of the
bench's own run, and a person of its own is allowed by a polkit rule, as in the privileged
end-to-end test (whose functions do that work). All of it is machine-wide, so the bench holds
that test's lock for as long as it lasts and removes everything afterwards, also on failure.
"""

import fcntl
import os
import pwd
import shutil
import subprocess
import tempfile
from contextlib import ExitStack
from pathlib import Path

from harness import minisign_pair, write_info_plist
from measure import BenchError
from privileged import (ACTION, INSTALLED_BUNDLE, POLKITD, install_package, launch_as, run, start_polkitd,
                        start_system_bus)

LOCK = "/run/tiny-installer-privileged-test.lock"


class HelperPath:
    def __init__(self, box, build_dir):
        self.box = box
        self.build_dir = Path(build_dir)
        self.lock = None
        self.undo = None  # the machine-wide changes, undone in reverse order
        self.person = None
        self.launched = []

    def __enter__(self):
        if os.geteuid() != 0:
            raise BenchError("the helper's part needs root (a package, a system bus, polkitd, a user)")
        self.lock = open(LOCK, "w")
        fcntl.flock(self.lock, fcntl.LOCK_EX)
        self.undo = ExitStack()
        try:
            with tempfile.TemporaryDirectory(prefix="tiny-bench-deb-") as packages:
                # The package needs a key; configure() puts the archives' own key in its place.
                _, _, public_key = minisign_pair(packages)
                subprocess.run(["cpack", "-G", "DEB", "-B", packages, "--config", str(self.build_dir / "CPackConfig.cmake")],
                               cwd=packages, check=True, stdout=subprocess.DEVNULL,
                               env={**os.environ, "TI_ARCHIVE_PUBLIC_KEY_FILE": str(public_key)})
                debs = sorted(Path(packages).glob("*.deb"))
                if len(debs) != 1:
                    raise BenchError(f"cpack made {debs}")
                install_package(self.undo, debs[0])
            name = f"tinyb{os.getpid() % 100000}"  # a member of sudo whose HOME is the sandbox's
            if subprocess.run(["id", name], capture_output=True).returncode == 0:
                raise BenchError(f"user {name} exists already")
            run("useradd", "--no-create-home", "--home-dir", str(self.box.home), "--shell", "/bin/sh", "--groups", "sudo", name)
            self.undo.callback(run, "userdel", name)
            self.person = pwd.getpwnam(name)
            rule = Path(f"/etc/polkit-1/rules.d/49-tiny-installer-bench-{name}.rules")
            self.undo.callback(rule.unlink, missing_ok=True)
            rule.write_text("polkit.addRule(function(action, subject) {\n"
                            f'    if (action.id == "{ACTION}" && subject.user == "{name}")\n'
                            "        return polkit.Result.YES;\n});\n")
            start_system_bus(self.undo)
            start_polkitd(self.box)
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def configure(self, config_url, public_key):
        """The installed bundle's Info.plist (root's, as the helper requires): the bench's service,
        the sandbox's applications folder and the archives' signing key."""
        write_info_plist(INSTALLED_BUNDLE, "com.brightmoor.corvala.tinyinstaller", config_url, self.box.apps,
                         kQSArchivePublicKey=public_key)

    def reset(self):
        """A person who has never run the installer; the applications folder is root's."""
        box = self.box
        box.reset_person()
        os.chmod(box.apps, 0o755)
        for folder in (box.home.parent, box.home, box.tmp, box.runtime):
            os.chown(folder, self.person.pw_uid, self.person.pw_gid)

    def launch(self):
        proc = launch_as(self.box, self.person, None)
        self.launched.append(proc)
        return proc

    def reset_own_folder(self):
        """The same person installing the sandbox's installer into an applications folder of their
        own, as over HTTP and HTTPS: no helper, and the archive extracted while it arrives, which
        the installer never does as root."""
        self.reset()
        os.chown(self.box.apps, self.person.pw_uid, self.person.pw_gid)

    def launch_own(self):
        box = self.box
        cmd = ["setpriv", f"--reuid={self.person.pw_uid}", f"--regid={self.person.pw_gid}", "--init-groups", "--",
               str(box.executable)]
        box.console_path = box.artifacts / f"console-{len(box.processes)}.txt"
        proc = subprocess.Popen(cmd, env=person_env(box, self.person), stdout=open(box.console_path, "w"),
                                stderr=subprocess.STDOUT)
        box.processes.append(proc)
        self.launched.append(proc)
        return proc

    def __exit__(self, *exc):
        problems = []
        if self.undo:
            # The person's processes first, or the user cannot be removed; polkitd before its bus.
            polkitd = [p for p in self.box.processes if p.args[0] == POLKITD]
            for proc in self.launched + polkitd:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
            try:
                self.undo.close()
            except Exception as error:  # what could not be undone is reported, the rest still is
                problems.append(str(error))
            shutil.rmtree(self.box.apps / "Corvala.app", ignore_errors=True)
        if self.lock:
            fcntl.flock(self.lock, fcntl.LOCK_UN)
            self.lock.close()
        if problems and exc[0] is None:
            raise BenchError(f"cleaning up after the helper's part: {problems}")
        return False


def person_env(box, person):
    """The sandbox's environment as the person's own."""
    env = box.env()
    os.chown(env["XDG_RUNTIME_DIR"], person.pw_uid, person.pw_gid)
    env.update(USER=person.pw_name, LOGNAME=person.pw_name, SHELL="/bin/sh", PATH="/usr/local/bin:/usr/bin:/bin")
    return env
