#!/usr/bin/env python3
"""The installer end to end on this machine, against the bundled demo service.

    scripts/demo [--headless] [--no-build]      (the shell wrapper runs this file)

Runs scripts/bootstrap (packages, then a build in build/), starts the demo service on 127.0.0.1,
makes a copy of build/TinyInstaller.app whose Info.plist points at it, and runs the installer with
HOME, TMPDIR and the applications folder inside build/demo-run/ (cleared at the start of each run;
nothing outside it is touched).

With a reachable display the window opens for you to use and the script waits until the installer
exits. Without one (or with --headless) it runs under Xvfb, presses Install, waits for the finished
screen, presses Launch, saves a screenshot of each screen and checks what the run left behind.
Either way it ends by printing where the run log, the analytics batch, the uploaded log, the
installed product and the screenshots are.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build"
RUN_DIR = BUILD / "demo-run"
sys.dont_write_bytecode = True  # no __pycache__ folders in the source tree
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from harness import BINARY_NAME, Sandbox, minisign_pair, parse_batch, parse_events, wait_for  # noqa: E402

BATCH_END = "\n----- end of analytics batch -----\n"  # how the demo service separates POST bodies
PRODUCT_SHOWN_MS = 3000
# Screens after which the flow goes no further without the person (as the run log names them).
DEAD_END_SCREENS = re.compile(r"Show (AlreadyInstalled|NoInternet|NotEnoughSpace|OSNotCompatible|generic error) screen")  # the demo product closes itself this long after Launch when headless


class DemoFailure(Exception):
    pass


def say(text):
    print(f"demo: {text}", flush=True)


class DemoSandbox(Sandbox):
    """The end-to-end sandbox, kept after the run so that its results can be looked at."""

    def __init__(self, *args, interactive, **kwargs):
        super().__init__(*args, **kwargs)
        self.interactive = interactive
        self.runtime = self.root / "runtime"
        self.runtime.mkdir(mode=0o700)
        self.log_at_finish = self.root / "tiny-at-finish.log"
        self.service_log = self.root / "demo-service.log"

    def env(self):
        env = super().env()
        env["XDG_RUNTIME_DIR"] = str(self.runtime)  # otherwise Qt falls back to a folder in /tmp
        if self.interactive:
            env.pop("CORVALA_EXIT_AFTER_MS", None)  # the launched product stays open for the person
            # HOME moves into the sandbox, so the X authority file has to be named explicitly.
            authority = Path(os.environ.get("HOME", "~")).expanduser() / ".Xauthority"
            if "XAUTHORITY" not in env and authority.exists():
                env["XAUTHORITY"] = str(authority)
        return env

    def stop(self):
        self.stop_processes()

    def window_visible(self):
        result = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.installer.pid)],
                                env={"DISPLAY": self.display}, capture_output=True, text=True)
        return result.returncode == 0 and bool(result.stdout.strip())

    def uploaded_logs(self):
        return sorted(self.collected.rglob("*.log"))


def bootstrap():
    say("scripts/bootstrap: installing what is missing and building into build/")
    result = subprocess.run([str(ROOT / "scripts" / "bootstrap")])
    if result.returncode != 0:
        raise DemoFailure(f"scripts/bootstrap failed (exit {result.returncode}); its output above says why")


def built_parts():
    parts = {
        "installer bundle": BUILD / "TinyInstaller.app",
        "installer executable": BUILD / "TinyInstaller.app" / "Contents" / "MacOS" / "TinyInstaller",
        "demo service": BUILD / "tools" / "demo-service" / "demo-service",
        "demo product archive": BUILD / "demo" / "Corvala.zip",
    }
    missing = [f"{name} ({path})" for name, path in parts.items() if not path.exists()]
    if missing:
        raise DemoFailure("not built: " + "; ".join(missing))
    return parts


def display_reachable():
    if not os.environ.get("DISPLAY"):
        return False
    try:
        return subprocess.run(["xdpyinfo"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=10).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def start(box):
    # Signed as the maker signs: a throwaway key pair in the run folder, the service signs the
    # archive and serves the signature, and the bundle carries the public key.
    key, secret, _ = minisign_pair(box.root)
    service = box.start_service("--sign-with", str(secret), log=box.service_log)
    box.make_bundle(service + "/config/prod", kQSArchivePublicKey=key)
    say(f"demo service on {service}; sandbox {box.root}; archives signed with {key}")
    box.launch()


def refused(box):
    if "Non-admin user launched" in box.log_text():
        return ("the installer refused to run: it needs an administrator (root, or a member of the "
                "admin, sudo or wheel group)")
    return None


def dead_end(box, text):
    """The screen that ends the demo early (no network, no space, an error...), if one is shown."""
    screen = DEAD_END_SCREENS.search(text)
    if not screen:
        return None
    time.sleep(1.0)
    shot(box, "stopped")
    failed = [fields for _, fields in parse_events(box.log_text()) if fields.get("RSLT") == "FAIL"]
    reason = f" ({failed[-1]['EVT']}: {failed[-1].get('RSN', 'no reason given')})" if failed else ""
    return f"the installer shows its {screen.group(1)} screen{reason}"


def wait_log(box, needle, timeout, what):
    """Waits for a run-log record, failing early and clearly if the installer has gone or is stuck."""
    deadline = time.monotonic() + timeout
    while needle not in (text := box.log_text()):
        if problem := dead_end(box, text):
            raise DemoFailure(problem)
        if box.installer.poll() is not None:
            raise DemoFailure(refused(box) or f"the installer exited (code {box.installer.returncode}) "
                                              f"while waiting for {what}")
        if time.monotonic() > deadline:
            raise DemoFailure(f"no {what} after {timeout}s")
        time.sleep(0.1)


def shot(box, label):
    path = box.screenshot(label)
    if not path.exists():
        raise DemoFailure(f"could not save the screenshot {path}")
    say(f"screenshot {path.name}")


def drive(box):
    """Welcome -> Install -> finished -> Launch, as a person with a keyboard would."""
    wait_log(box, "Show Welcome screen", 60, "welcome screen")
    wait_for(box.window_visible, 30, "the installer's window")
    time.sleep(1.0)
    shot(box, "welcome")
    box.key("Return")  # Install
    wait_log(box, '"EVT":"Config"', 60, "configuration")
    time.sleep(0.3)
    shot(box, "installing")
    wait_log(box, '"EVT":"Install"', 180, "finished installation")
    install = [fields for name, fields in parse_events(box.log_text()) if name == "Install"]
    shutil.copy(box.log_path, box.log_at_finish)
    if install[-1].get("RSLT", "PASS") != "PASS":
        time.sleep(1.0)
        shot(box, "error")
        raise DemoFailure(f"the installation failed: {install[-1].get('RSN', install[-1])}")
    time.sleep(1.5)
    shot(box, "finished")
    box.key("Return")  # Launch
    launched = time.monotonic()
    wait_for(box.args_file.exists, 30, "Corvala to start")
    time.sleep(1.0)
    shot(box, "corvala")
    code = box.wait_exit(timeout=60)
    if code != 0:
        raise DemoFailure(f"the installer exited with code {code} after Launch")
    # Corvala closes itself; let it, so that nothing is cut off when the display goes.
    time.sleep(max(0.0, PRODUCT_SHOWN_MS / 1000 + 0.5 - (time.monotonic() - launched)))


def check_results(box):
    problems = []
    if not (box.apps / BINARY_NAME / "Contents" / "MacOS" / "Corvala").is_file():
        problems.append(f"Corvala is not in the applications folder {box.apps}")
    if not box.analytics_file.exists() or not box.analytics_file.read_text().strip():
        problems.append("the demo service received no analytics batch")
    else:
        # Bytes, not read_text(): its newline translation would turn the CR LF between events into LF.
        batch = box.analytics_file.read_bytes().decode().split(BATCH_END)[0]
        say(f"analytics batch: {', '.join(str(name) for name, _ in parse_batch(batch))}")
    if not box.uploaded_logs():
        problems.append("the demo service received no run log")
    served = [line for line in tail(box.service_log, 50).splitlines() if "with the archive's signature" in line]
    if not served:
        problems.append(f"the demo service served no signature ({box.service_log})")
    else:
        say(served[-1].removeprefix("demo-service: "))
    run_log = box.log_at_finish.read_text(errors="replace") if box.log_at_finish.exists() else box.log_text()
    if "Archive signature verified" not in run_log:
        problems.append("the run log does not say that the archive's signature was verified")
    if box.args_file.exists():
        args = json.loads(box.args_file.read_text()).get("arguments")
        say(f"Corvala was launched with {args}")
    else:
        problems.append("Corvala was not launched")
    if problems:
        raise DemoFailure("; ".join(problems))


def describe(box):
    def where(path, missing="(none)"):
        return str(path) if path and Path(path).exists() else missing

    run_log = box.log_path
    if run_log.exists():
        run_log_text = str(run_log)
    elif box.log_at_finish.exists():
        run_log_text = (f"{box.log_at_finish} (copy taken when the installation ended; the installer "
                        f"deletes {run_log.name} once its upload is accepted)")
    elif box.uploaded_logs():
        run_log_text = f"(deleted by the installer once its upload was accepted; was {run_log})"
    else:
        run_log_text = f"(none; it would be {run_log})"
    uploads = box.uploaded_logs()
    shots = sorted(box.artifacts.glob("*.png"))
    print()
    print(f"Run log:           {run_log_text}")
    print(f"Analytics batch:   {where(box.analytics_file)}")
    print(f"Uploaded log:      {', '.join(map(str, uploads)) if uploads else '(none)'}")
    print(f"Installed product: {where(box.apps / BINARY_NAME)}")
    if shots:
        print(f"Screenshots:       {box.artifacts} ({', '.join(p.name for p in shots)})")
    else:
        print(f"Screenshots:       (none{': the window was on your display' if box.interactive else ''})")
    print(f"Installer output:  {where(box.console_path if box.installer else None)}")
    print(f"Requests served:   {where(box.request_log)}")
    print(f"Service's report:  {where(box.service_log)}")


def tail(path, lines=8):
    try:
        return "\n".join(Path(path).read_text(errors="replace").splitlines()[-lines:])
    except OSError:
        return ""


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--headless", action="store_true", help="run under Xvfb even when a display is available")
    parser.add_argument("--no-build", action="store_true", help="skip scripts/bootstrap and use build/ as it is")
    args = parser.parse_args()

    box = None
    try:
        if not args.no_build:
            bootstrap()
        parts = built_parts()
        interactive = not args.headless and display_reachable()
        if not interactive and os.environ.get("DISPLAY") and not args.headless:
            say(f"the display {os.environ['DISPLAY']} cannot be reached; running under Xvfb instead")
        shutil.rmtree(RUN_DIR, ignore_errors=True)
        RUN_DIR.mkdir(parents=True)
        tempfile.tempdir = str(RUN_DIR)  # the sandbox is made inside the run folder
        box = DemoSandbox(parts["installer bundle"], parts["demo service"], parts["demo product archive"],
                          RUN_DIR, "screenshots", interactive=interactive)
        if interactive:
            box.display = os.environ["DISPLAY"]
            start(box)
            say(f"the installer's window is open on {box.display}; this waits until it exits")
            code = box.installer.wait()
            if code != 0:
                raise DemoFailure(refused(box) or f"the installer exited with code {code}")
            if box.args_file.exists():
                say("Corvala was launched; it stays open until you close it")
        else:
            box.start_display()
            say(f"no display: running under Xvfb on {box.display}")
            start(box)
            drive(box)
            check_results(box)
        box.stop()
        describe(box)
        say("done")
        return 0
    except (DemoFailure, AssertionError, subprocess.TimeoutExpired) as error:
        if box is not None:
            if box.display and box.installer and not box.interactive:
                box.screenshot("failure")
            box.stop()
            describe(box)
            sys.stdout.flush()
            if box.installer:
                print(f"--- last lines of the installer's output ({box.console_path}):\n{tail(box.console_path)}",
                      file=sys.stderr)
        print(f"demo: FAILED: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print("demo: interrupted", file=sys.stderr)
        return 130
    finally:
        # Whatever happened (an unexpected error, a closed output pipe), no process outlives the demo.
        if box is not None:
            box.stop()


if __name__ == "__main__":
    sys.exit(main())
