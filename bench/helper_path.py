"""The installer placing through the polkit helper, as it does on most desktops, where the
applications folder belongs to root.

The package is built from the bench's own tree and installed; a system bus and polkitd of the
bench's own run, and a person of its own is allowed by a polkit rule, as in the privileged
end-to-end test (whose System class does that work). All of it is machine-wide, so the bench holds
that test's lock for as long as it lasts and removes everything afterwards, also on failure.
"""

import fcntl
import os
import shutil
import subprocess
import tempfile
from pathlib import Path

from harness import minisign_pair, write_info_plist
from measure import BenchError
from privileged import INSTALLED_BUNDLE, System, launch_as, person_env

LOCK = "/run/tiny-installer-privileged-test.lock"


class HelperPath:
    def __init__(self, box, build_dir):
        self.box = box
        self.build_dir = Path(build_dir)
        self.lock = None
        self.system = None
        self.person = None
        self.launched = []

    def __enter__(self):
        if os.geteuid() != 0:
            raise BenchError("the helper's part needs root (a package, a system bus, polkitd, a user)")
        self.lock = open(LOCK, "w")
        fcntl.flock(self.lock, fcntl.LOCK_EX)
        self.system = System(None, self.box.artifacts)
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
                self.system.deb = debs[0]
                self.system.install_package()
            self.person = self.system.add_person(self.box.home)
            self.system.allow_person()
            self.system.start_bus()
            self.system.start_polkitd()
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
        proc = launch_as(self.box, self.person)
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
        if self.system:
            for proc in self.launched:  # the person's processes first, or the user cannot be removed
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
            problems = self.system.close()
            shutil.rmtree(self.box.apps / "Corvala.app", ignore_errors=True)
        if self.lock:
            fcntl.flock(self.lock, fcntl.LOCK_UN)
            self.lock.close()
        if problems and exc[0] is None:
            raise BenchError(f"cleaning up after the helper's part: {problems}")
        return False
