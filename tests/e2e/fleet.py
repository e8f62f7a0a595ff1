#!/usr/bin/env python3
"""A fleet: the playbook of docs/fleets.md, run by Debian's ansible-playbook with five forks against
four local hosts, each with a HOME, an applications folder and a bundle Info.plist of its own, the
package installed once. Needs root (the package), shares privileged.py's fixture and lock."""

import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from harness import BINARY_NAME, check, forged, minisign_pair, run_cases, write_info_plist  # noqa: E402
from privileged import INSTALLED_BUNDLE, case_package, hold_the_machine  # noqa: E402

DOC = Path(__file__).resolve().parents[2] / "docs" / "fleets.md"
HOSTS = ("desk1", "desk2", "desk3", "forged")


def playbook_of_the_doc():
    return re.search(r"```yaml\n(- name:.*?)```", DOC.read_text(), re.S).group(1)


def run_playbook(box, inventory, playbook):
    env = {**os.environ, "ANSIBLE_STDOUT_CALLBACK": "json", "ANSIBLE_LOCAL_TEMP": str(box.root / "ansible-local"),
           "ANSIBLE_REMOTE_TEMP": str(box.root / "ansible-remote"), "ANSIBLE_NOCOLOR": "1",
           "ANSIBLE_PYTHON_INTERPRETER": "/usr/bin/python3", "HOME": str(box.root)}
    done = subprocess.run(["ansible-playbook", "-i", str(inventory), "-f", "5", str(playbook)], env=env,
                          capture_output=True, text=True, timeout=300)
    with open(box.artifacts / "ansible.json", "a") as f:
        f.write(done.stdout + done.stderr)
    report = json.loads(done.stdout)
    failed = {host: result.get("msg", "") for task in report["plays"][0]["tasks"]
              for host, result in task["hosts"].items() if result.get("failed")}
    return {host: stats["changed"] for host, stats in report["stats"].items()}, failed


def case_fleet(box):
    hold_the_machine(box)
    key, secret, public_key = minisign_pair(box.root)
    deb = case_package(box.args.build, box.undo, key, public_key, keep_in=box.root)
    nginx = box.start_nginx()
    genuine = (box.www / "Corvala.zip").read_bytes()
    (box.www / "Forged.zip").write_bytes(forged(genuine))
    services = {name: box.start_service("--download-url", f"{nginx}/download/{name}.zip", "--sign-with", str(secret),
                                        "--log-upload-url", nginx + "/logs/") + "/config/prod"
                for name in ("Corvala", "Forged")}
    hosts = {}
    for name in HOSTS:
        folder = box.root / "hosts" / name
        bundle = Path(shutil.copytree(INSTALLED_BUNDLE, folder / "TinyInstaller.app", symlinks=True))
        for sub in ("home", "tmp", "Applications"):
            (folder / sub).mkdir(mode=0o700)
        write_info_plist(bundle, "com.brightmoor.corvala.tinyinstaller", services["Forged" if name == "forged" else "Corvala"],
                         folder / "Applications", kQSArchivePublicKey=key)
        hosts[name] = {"ansible_connection": "local", "ansible_become": False, "tiny_installer_deb": str(deb),
                       "tiny_installer": str(bundle / "Contents" / "MacOS" / "TinyInstaller"),
                       "tiny_installer_environment": {"HOME": str(folder / "home"), "TMPDIR": str(folder / "tmp")}}
    inventory, playbook = box.root / "inventory.json", box.root / "corvala.yml"
    inventory.write_text(json.dumps({"all": {"hosts": hosts}}))
    playbook.write_text(playbook_of_the_doc())

    for run, changed_expected in (("first", 1), ("second", 0)):
        changed, failed = run_playbook(box, inventory, playbook)
        check(set(failed) == {"forged"} and "signature" in failed["forged"] and "(exit status 12)" in failed["forged"],
              f"{run} run: failures {failed}")
        check(all(changed[h] == changed_expected for h in HOSTS[:3]), f"{run} run: changed {changed}")
        for name in HOSTS:
            placed = (box.root / "hosts" / name / "Applications" / BINARY_NAME).is_dir()
            check(placed == (name != "forged"), f"{run} run: {name} placed: {placed}")


if __name__ == "__main__":
    if os.geteuid() != 0 or not shutil.which("ansible-playbook"):
        print("skipped: needs root (the package) and ansible-playbook")
        sys.exit(77)
    sys.exit(run_cases({"fleet": case_fleet}))
