"""One measurement each of the installer and of its peers, on the end-to-end sandbox.

The installer runs as in the end-to-end suite (copied bundle, HOME, TMPDIR and the applications
folder in a scratch folder, Xvfb, nginx as the download host, over HTTP or HTTPS); the peers run on
the same display, against the same nginx and the same archive, on the same file system. Every peer
syncs what it unpacked before its mv, as the installer syncs the bundle it places.
"""

import ctypes
import os
import select
import shutil
import signal
import subprocess
import time
from dataclasses import dataclass
from pathlib import Path

from harness import Sandbox, parse_events, wait_for
try:
    from Xlib import X, XK
except ImportError:  # a Python of its own (pyenv, venv) does not see Debian's python3-xlib
    import sys
    sys.path.append("/usr/lib/python3/dist-packages")
    from Xlib import X, XK
from Xlib import display as xdisplay
from Xlib import error as xerror
from Xlib.ext import damage, xtest

INSTALL_EVENT = '"EVT":"Install"'
DOWNLOAD_EVENT = '"EVT":"Download"'
WELCOME_RECORD = "Show Welcome screen"
POLL = 0.002


class BenchError(Exception):
    pass


@dataclass
class StartupRun:
    mapped: float  # process start to the window's MapNotify
    drawn: float  # process start to the first drawing into it


class BenchSandbox(Sandbox):
    """The end-to-end sandbox, reusable for many installer runs and with its own runtime folder."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.runtime = self.root / "runtime"
        self.runtime.mkdir(mode=0o700)
        self.x_keepalive = None
        self.discarded = self.root / "discarded"
        self.discard_count = 0

    def env(self):
        env = super().env()
        env["XDG_RUNTIME_DIR"] = str(self.runtime)  # otherwise Qt falls back to a folder in /tmp
        return env

    def start_session_bus(self):
        # Every figure in docs/benchmarks.md was taken without a session bus of the sandbox's own
        # (the tests have one since their first windows were held by libdbus's autolaunch): the
        # bench stays as it was measured, for both contenders alike.
        pass

    def https_url(self):
        return f"https://127.0.0.1:{self.https_port}"

    def hold_display(self):
        # Xvfb resets itself whenever its last client leaves, which takes ~20 ms and would land
        # inside the start-up timings; an idle connection of our own keeps it from doing so.
        xlib = ctypes.CDLL("libX11.so.6")
        xlib.XOpenDisplay.restype = ctypes.c_void_p
        xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x_keepalive = xlib.XOpenDisplay(self.display.encode())
        if not self.x_keepalive:
            raise BenchError(f"cannot connect to the display {self.display}")

    def serve(self, archive, https=False):
        """Make nginx answer /download/Corvala.zip with `archive` (a link, not a copy), over HTTP
        or over HTTPS."""
        link = self.www / "Corvala.zip"
        fresh = self.www / ".Corvala.zip.new"
        fresh.unlink(missing_ok=True)
        fresh.symlink_to(Path(archive).resolve())
        os.replace(fresh, link)
        base = self.https_url() if https else f"http://127.0.0.1:{self.nginx_port}"
        return f"{base}/download/Corvala.zip"

    def curl(self, url):
        """curl as a person would call it; told of the test authority as the installer is."""
        return ["curl", "-sS", "--fail", *(["--cacert", str(self.certs / "authority.pem")] if self.certs else []), url]

    def reset_person(self):
        """A person who has never run the installer: empty HOME, TMPDIR and applications folder."""
        for folder in (self.home, self.tmp, self.apps):
            self.discard(folder)
            folder.mkdir(parents=True)
        self.args_file.unlink(missing_ok=True)

    def discard(self, path):
        """Moves what a contender left out of the way instead of deleting it. Without a journal ext4
        passes over every inode deleted in the last one to six minutes when it allocates one, so
        2,000 files deleted by one contender slowed the next one's 2,000 creations by a varying
        second or more; on a journaled ext4, as people install on, that never happens. What was
        moved goes in drop_discarded(), between the parts."""
        path = Path(path)
        if not path.exists() and not path.is_symlink():
            return
        self.discarded.mkdir(exist_ok=True)
        self.discard_count += 1
        os.rename(path, self.discarded / str(self.discard_count))

    def drop_discarded(self):
        shutil.rmtree(self.discarded, ignore_errors=True)


class LogTail:
    """Reads what was appended to the run log since the last look."""

    def __init__(self, path):
        self.path = Path(path)
        self.offset = 0
        self.text = ""

    def skip_existing(self):
        self.offset = self.path.stat().st_size if self.path.exists() else 0
        self.text = ""

    def poll(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.offset)
                data = f.read()
        except FileNotFoundError:
            return self.text
        self.offset += len(data)
        self.text += data.decode(errors="replace")
        return self.text


def status_bytes(pid, field):
    """A size from /proc/<pid>/status (VmHWM, VmRSS), in bytes."""
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise BenchError(f"no {field} for process {pid}")


def peak_memory(pid):
    return status_bytes(pid, "VmHWM")


def resident(pid):
    return status_bytes(pid, "VmRSS")


def main_thread_cpu(pid):
    """CPU time the process's main thread (the window's thread) has used, in seconds; schedstat
    counts nanoseconds, where /proc/<pid>/stat would give whole clock ticks."""
    with open(f"/proc/{pid}/task/{pid}/schedstat") as stat:
        return int(stat.read().split()[0]) / 1e9


def as_person(box, cmd):
    """cmd as the person the installs are made for (box.person), when the bench runs as root and has
    one: a person, not root, unpacks into a folder of their own (bsdtar as root would also set every
    file's owner)."""
    person = getattr(box, "person", None)
    if person is None:
        return cmd
    return ["setpriv", f"--reuid={person.pw_uid}", f"--regid={person.pw_gid}", "--init-groups", "--", *cmd]


def run_peer(cmd, what):
    result = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if result.returncode != 0:
        raise BenchError(f"{what} failed (exit {result.returncode}): {result.stderr.decode(errors='replace').strip()}")


def curl_peak_memory(box, url):
    """curl's own VmHWM on the same download, sampled while it runs (an untimed run).

    Not from wait4: a child's maximum resident size there includes the forking Python's pages.
    """
    target = box.root / "curl-peak.zip"
    proc = subprocess.Popen(box.curl(url) + ["-o", str(target)], stderr=subprocess.DEVNULL)
    peak = 0
    while proc.poll() is None:
        try:
            peak = max(peak, peak_memory(proc.pid))
        except (OSError, BenchError, ValueError):
            pass  # exiting between the two looks
        time.sleep(0.001)
    target.unlink(missing_ok=True)
    if proc.returncode != 0:
        raise BenchError(f"curl failed (exit {proc.returncode}) on {url}")
    return peak


def stop(proc, what, timeout=60):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        raise BenchError(f"{what} did not end within {timeout}s of SIGTERM")


@dataclass
class PeerRun:
    seconds: float
    marks: dict  # step -> seconds after the start at which it ended


def run_peer_steps(box, steps_of, what, staging=None):
    """Times the steps of a peer that fetch and unpack the archive into the staging folder
    (default <work>/extract), then its sync -f and mv of Corvala.app into the applications folder.
    steps_of(work, staging) yields (name, action) pairs."""
    work = box.root / "peer"
    staging = staging or work / "extract"
    for folder in (work, staging):
        box.discard(folder)
        folder.mkdir(parents=True, mode=0o700)
        if getattr(box, "person", None) is not None:
            os.chown(folder, box.person.pw_uid, box.person.pw_gid)
    box.discard(box.apps / "Corvala.app")
    if getattr(box, "person", None) is not None:  # the person's own applications folder
        os.chown(box.apps, box.person.pw_uid, box.person.pw_gid)
    steps = {}
    start = time.monotonic()
    for name, action in steps_of(work, staging):
        action()
        steps[name] = time.monotonic()
    run_peer(as_person(box, ["sync", "-f", str(staging / "Corvala.app")]), "sync")
    steps["sync"] = time.monotonic()
    run_peer(as_person(box, ["mv", str(staging / "Corvala.app"), str(box.apps / "Corvala.app")]), "mv")
    steps["mv"] = time.monotonic()
    if not (box.apps / "Corvala.app" / "Contents" / "MacOS" / "Corvala").is_file():
        raise BenchError(f"{what} did not place Corvala.app")
    for folder in (work, staging, box.apps / "Corvala.app"):
        box.discard(folder)
    return PeerRun(steps["mv"] - start, {name: at - start for name, at in steps.items()})


def peer_install(box, url):
    """curl -o, bsdtar -x, sync -f and mv of the same archive from the same server into the same folder."""
    def steps(work, staging):
        zip_path = work / "Corvala.zip"
        yield "curl", lambda: run_peer(as_person(box, box.curl(url) + ["-o", str(zip_path)]), "curl")
        yield "bsdtar", lambda: run_peer(as_person(box, ["bsdtar", "-x", "-f", str(zip_path), "-C", str(staging)]),
                                         "bsdtar")
    return run_peer_steps(box, steps, "the peer")


def root_peer_install(box, url, public_key, signature):
    """What the helper does, by hand as root: curl -o, minisign -Vm, bsdtar -x into a root-owned
    staging folder inside the applications folder, sync -f and mv."""
    def steps(work, staging):
        zip_path = work / "Corvala.zip"
        yield "curl", lambda: run_peer(box.curl(url) + ["-o", str(zip_path)], "curl")
        yield "minisign", lambda: run_peer(["minisign", "-V", "-q", "-p", str(public_key), "-x", str(signature),
                                            "-m", str(zip_path)], "minisign")
        yield "bsdtar", lambda: run_peer(["bsdtar", "-x", "-f", str(zip_path), "-C", str(staging)], "bsdtar")
    return run_peer_steps(box, steps, "the root peer", staging=box.apps / ".peer-staging")


def curl_into_bsdtar(box, url, folder):
    curl = subprocess.Popen(as_person(box, box.curl(url)), stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    tar = subprocess.Popen(as_person(box, ["bsdtar", "-x", "-f", "-", "-C", str(folder)]), stdin=curl.stdout,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    curl.stdout.close()
    tar_error = tar.communicate()[1]
    curl_error = curl.communicate()[1]
    if curl.returncode != 0 or tar.returncode != 0:
        raise BenchError(f"curl | bsdtar failed (exit {curl.returncode}/{tar.returncode}): "
                         f"{(curl_error + tar_error).decode(errors='replace').strip()}")


def peer_stream_install(box, url):
    """curl | bsdtar -x, then sync -f and mv: extraction overlapped with the download, as a person
    piping the two tools would do it."""
    def steps(work, staging):
        yield "curl | bsdtar", lambda: curl_into_bsdtar(box, url, staging)
    return run_peer_steps(box, steps, "the streaming peer")


@dataclass
class InstallRun:
    seconds: float
    peak_before: int       # VmHWM on the welcome screen, before Install is pressed
    peak_at_download: int  # VmHWM when the download's event was seen
    peak_at_install: int   # VmHWM at the finished state (download, extraction and placement)
    marks: dict            # event name -> seconds after Install was pressed, as first seen
    resident_before: int   # VmRSS on the welcome screen
    main_cpu_share: float  # main thread's CPU time / wall time from the Config to the Download event


# Marks of an installation in the run log, in the order they come.
PHASE_MARKS = {"Connecting": "Show Connecting screen", "Config": '"EVT":"Config"', "Download": '"EVT":"Download"',
               "Extract": '"EVT":"Extract"', "Install": '"EVT":"Install"'}


class KeyPress:
    """Return pressed through XTEST on a connection opened beforehand: the clock starts at the press
    itself, not at the start of a helper process such as xdotool."""

    def __init__(self, display_name):
        self.connection = xdisplay.Display(display_name)
        self.code = self.connection.keysym_to_keycode(XK.string_to_keysym("Return"))

    def press(self):
        xtest.fake_input(self.connection, X.KeyPress, self.code)
        xtest.fake_input(self.connection, X.KeyRelease, self.code)
        self.connection.sync()

    def close(self):
        self.connection.close()


def installer_install(box, timeout, launch=None, reset=None):
    """Install pressed to the run log's "Install" event, with the installer's peak memory.
    launch() starts the installer (default: the sandbox's copy, as this user); reset() gives a
    person who has never run it (default: reset_person)."""
    reset = reset or box.reset_person
    reset()
    proc = (launch or box.launch)()
    try:
        box.wait_log(WELCOME_RECORD, timeout=60)
        if box.certs:
            # The authority that SSL_CERT_FILE names is read beside the welcome screen; a request
            # made before waits for it. A person takes longer than that to press Install.
            box.wait_log("certificate authorities of SSL_CERT_FILE", timeout=60)
        box.xdotool("mousemove", "640", "400")
        wait_for(lambda: box.focused_window(proc.pid), 30, "the installer's window to be shown and focused")
        tail = LogTail(box.log_path)
        tail.skip_existing()
        time.sleep(0.3)  # the welcome screen settles (fonts, pictures) before its size is read
        peak_before = peak_memory(proc.pid)
        resident_before = resident(proc.pid)
        key = KeyPress(box.display)
        start = time.monotonic()
        key.press()
        key.close()
        marks, cpu_at = {}, {}
        peak_download = None
        while INSTALL_EVENT not in tail.text:
            text = tail.poll()
            now = time.monotonic()
            for name, needle in PHASE_MARKS.items():
                if name not in marks and needle in text:
                    marks[name] = now - start
                    cpu_at[name] = main_thread_cpu(proc.pid)
            if peak_download is None and DOWNLOAD_EVENT in text:
                peak_download = peak_memory(proc.pid)
            if proc.poll() is not None:
                raise BenchError(f"the installer exited ({proc.returncode}) before finishing; see {box.console_path}")
            if now - start > timeout:
                raise BenchError(f"no Install event {timeout}s after Install was pressed; see {box.console_path}")
            if INSTALL_EVENT not in text:
                time.sleep(POLL)
        peak_install = peak_memory(proc.pid)
        install = [fields for name, fields in parse_events(box.log_text()) if name == "Install"]
        if not install or install[-1].get("RSLT", "PASS") != "PASS":
            raise BenchError(f"the installation failed: {install[-1] if install else 'no event'}")
        if not (box.apps / "Corvala.app" / "Contents" / "MacOS" / "Corvala").is_file():
            raise BenchError("the installer reported success but Corvala.app is not in place")
    finally:
        stop(proc, "the installer")
    # Like the peers, it leaves nothing for the next contender to pay for: its product and
    # scratch files go now, not at the start of its own next run.
    reset()
    wall = marks["Download"] - marks["Config"]
    share = (cpu_at["Download"] - cpu_at["Config"]) / wall if wall > 0 else float("nan")
    return InstallRun(marks["Install"], peak_before, peak_download or peak_install, peak_install, marks,
                      resident_before, share)


class WindowWatcher:
    """Tells when a process maps its first top-level window and when it first draws into it, from
    the X server's own MapNotify and DAMAGE events. Nothing polls: a polling helper would compete
    for the CPU with the program it times (and favour a program that does all its start-up on one
    thread)."""

    def __init__(self, display_name):
        self.display = xdisplay.Display(display_name)
        self.display.set_error_handler(lambda *args: None)  # a window may be gone before it is watched
        self.display.damage_query_version()
        self.display.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.pid_atom = self.display.intern_atom("_NET_WM_PID")
        self.display.sync()

    def close(self):
        self.display.close()

    def owned_by(self, window, pid):
        try:
            prop = window.get_full_property(self.pid_atom, X.AnyPropertyType)
        except xerror.XError:  # gone again already
            return False
        return prop is not None and len(prop.value) > 0 and int(prop.value[0]) == pid

    def wait_for_window(self, proc, what, timeout):
        """The monotonic times at which proc's first top-level window was mapped and first drawn."""
        deadline = time.monotonic() + timeout
        mapped, mapped_at = None, None
        while True:
            while self.display.pending_events():
                event = self.display.next_event()
                if event.type == X.CreateNotify:
                    # Every new top-level window is watched from its creation, so no drawing into
                    # it can come before the watch; the server sends one event when it is first
                    # drawn into (a window without a background is not drawn by its mapping).
                    event.window.damage_create(damage.DamageReportNonEmpty)
                    self.display.flush()
                elif event.type == X.MapNotify and mapped is None and self.owned_by(event.window, proc.pid):
                    mapped, mapped_at = event.window.id, time.monotonic()
                elif (event.type == self.display.extension_event.DamageNotify and mapped is not None
                      and event.drawable.id == mapped):
                    return mapped_at, time.monotonic()
            if proc.poll() is not None:
                raise BenchError(f"{what} exited ({proc.returncode}) before drawing a window")
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise BenchError(f"{what} drew no window within {timeout}s")
            select.select([self.display.fileno()], [], [], min(remaining, 0.05))


def time_to_window(box, cmd, what, timeout=60):
    """Process start to its first window being mapped, and to its first drawn frame."""
    box.reset_person()
    watcher = WindowWatcher(box.display)
    log = open(box.artifacts / f"startup-{Path(cmd[0]).name}.txt", "a")
    try:
        start = time.monotonic()
        # As most people start it: no authorities of their own to read (SSL_CERT_FILE).
        env = {k: v for k, v in box.env().items() if k != "SSL_CERT_FILE"}
        proc = subprocess.Popen(cmd, env=env, stdout=log, stderr=subprocess.STDOUT)
        log.close()
        try:
            mapped, drawn = watcher.wait_for_window(proc, what, timeout)
        finally:
            stop(proc, what)
    finally:
        log.close()
        watcher.close()
    return StartupRun(mapped - start, drawn - start)
