"""A sandbox in which the built installer runs as a person meets it: one scratch folder for HOME,
TMPDIR, the applications folder, the bundle and the servers' files; Xvfb, nginx (downloads, WebDAV
log uploads, HTTPS), the demo service (configuration, analytics) and tinyproxy."""

import argparse
import fcntl
import json
import os
import plistlib
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import traceback
from contextlib import ExitStack, suppress
from pathlib import Path

DATA_PATH = "/.local/share/Brightmoor/CorvalaInstaller"
BINARY_NAME = "Corvala.app"
PROXY_VARIABLES = ("http_proxy", "https_proxy", "all_proxy", "no_proxy")
MAKE_CERTIFICATES = Path(__file__).resolve().parent.parent / "support" / "make-test-certificates"
BATCH_SEPARATOR = "\n----- end of analytics batch -----\n"  # how the demo service separates POST bodies
SYSTEM_LOCK = "/tmp/ti-system.lock"  # held while the machine has a test account of ours
sys.path.append("/usr/lib/python3/dist-packages")  # Debian's python3-xlib and pyatspi for a Python of its own


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def port_open(port):
    with suppress(OSError), socket.create_connection(("127.0.0.1", port), timeout=0.2):
        return True


def wait_for(predicate, timeout, what, interval=0.1, tolerate=()):
    """predicate's first true value; with tolerate, those exceptions count as false."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = None
        with suppress(*tolerate):
            value = predicate()
        if value:
            return value
        time.sleep(interval)
    raise AssertionError(f"timed out after {timeout}s waiting for {what}")


def forged(data):
    """The same bytes but the last one: no signature of the original holds for them."""
    return data[:-1] + bytes([data[-1] ^ 1])


def minisign_pair(folder):
    """A throwaway key pair made with the real minisign tool in folder: (key line, secret key, public key file)."""
    public, secret = Path(folder) / "archive.pub", Path(folder) / "archive.key"
    subprocess.run(["minisign", "-G", "-W", "-p", str(public), "-s", str(secret)], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return public.read_text().strip().splitlines()[-1], secret, public


def write_info_plist(bundle, identifier, config_url, apps, **settings):
    qsconfig = {
        "QSPortalType": "qs", "APP_NAME": "Corvala", "VENDOR_NAME": "Brightmoor",
        "AnalyticsProductName": "CORVALA", "BG_COLOR": "#F7F7F9",
        "QSConfigUrl": "http://127.0.0.1:9/privacy", "AppleM1Support": "NO",
        "PRODUCTION_URL": config_url, "kQSApplicationDataPathProd": DATA_PATH,
        "kQSInstallBinaryPathProd": BINARY_NAME, "kQSApplicationsDirectory": str(apps),
        "kQSProductBundleIdentifier": "com.brightmoor.corvala",
    }
    qsconfig.update(settings)
    info = {"CFBundleIdentifier": identifier, "CFBundleExecutable": "TinyInstaller",
            "CFBundleShortVersionString": "1.0.0", "QSEnv": "prod", "QSConfig": qsconfig}
    (Path(bundle) / "Contents" / "Info.plist").write_bytes(plistlib.dumps(info))


class Sandbox:
    def __init__(self, bundle, service, archive, artifacts, name):
        self.bundle_src, self.service_exe, self.archive = Path(bundle), Path(service), Path(archive)
        self.artifacts = Path(artifacts) / name
        shutil.rmtree(self.artifacts, ignore_errors=True)
        self.artifacts.mkdir(parents=True)
        self.root = Path(tempfile.mkdtemp(prefix=f"tiny-e2e-{name}-"))
        os.chmod(self.root, 0o755)
        self.home, self.tmp, self.apps = self.root / "home" / "person", self.root / "tmp", self.root / "Applications"
        self.www, self.collected = self.root / "www" / "download", self.root / "collected"
        for d in (self.home, self.tmp, self.apps, self.www, self.collected):
            d.mkdir(parents=True)
        self.runs_as = self.signing_key = self.public_key = None
        self.analytics_file, self.request_log, self.args_file = (self.root / name for name in (
            "analytics.txt", "requests.txt", "product-args.txt"))
        self.processes = []
        self.extra_env = {}  # for the installer: another platform, a scale factor, a proxy, an authority
        self.certs = self.installer = self.display = self.session_bus = None
        self.undo = ExitStack()  # what a case did to the machine, undone in reverse order whatever fails
        self.shots = 0

    def as_person(self):
        """The installer runs as a test person from now on when the tests run as root (root ignores the
        SSL_CERT_ variables): a new administrator (a member of sudo) who may write what a person
        writes: HOME, TMPDIR, the applications folder, the product's arguments file. The account
        goes with the sandbox."""
        if os.geteuid() != 0:
            return
        lock = open(SYSTEM_LOCK, "a")
        fcntl.flock(lock, fcntl.LOCK_EX)  # accounts are machine-wide
        self.undo.callback(lock.close)
        name = f"tie2e{os.getpid() % 100000}"
        check(subprocess.run(["id", name], capture_output=True).returncode != 0, f"user {name} exists already")
        subprocess.run(["useradd", "--no-create-home", "--home-dir", str(self.home), "--shell", "/bin/sh",
                        "--groups", "sudo", name], check=True)
        # The launched product may outlive the sandbox's processes by its own few seconds; the
        # account can only go once nothing runs as it.
        self.undo.callback(subprocess.run, ["userdel", name], check=True)
        self.undo.callback(wait_for, lambda: subprocess.run(["pgrep", "-u", name], capture_output=True).returncode != 0,
                           30, f"the processes of {name} to end")
        self.runs_as = pwd.getpwnam(name)
        for d in (self.root, self.home.parent, self.home, self.tmp, self.apps):
            os.chown(d, self.runs_as.pw_uid, self.runs_as.pw_gid)

    def signs(self):
        """As root the installer places only signed archives: the demo service signs with a key of
        the sandbox's and the bundle carries it, unless the installer runs as a person."""
        if os.geteuid() != 0 or self.runs_as is not None:
            return False
        if self.signing_key is None:
            self.public_key, self.signing_key, _ = minisign_pair(self.root)
        return True

    def start_display(self, size="1280x800"):
        read, write = os.pipe()
        # -noreset: the server stays as it is when its last client leaves (between two installers).
        self.start_process(["Xvfb", "-displayfd", str(write), "-screen", "0", f"{size}x24",
                            "-nolisten", "tcp", "-noreset"], pass_fds=(write,))
        os.close(write)
        with os.fdopen(read, "rb") as r:
            self.display = ":" + r.readline().decode().strip()
        self.start_session_bus()

    def start_session_bus(self):
        """A session bus of the sandbox's own, as a desktop session has one. Without it every Qt
        program that asks whether a screen reader listens makes libdbus autolaunch a bus on the X
        display, and that dbus-launch now and then held the installer's first window for good.
        Nothing is activated on it: no screen reader listens unless a case starts one."""
        if self.session_bus:
            return
        config = self.root / "session-bus.conf"
        config.write_text("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                          "<policy context=\"default\"><allow user=\"*\"/><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                          "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
        bus = self.start_process(["dbus-daemon", f"--config-file={config}", "--nofork", "--print-address=1"],
                                 stdout=subprocess.PIPE, text=True)
        self.session_bus = bus.stdout.readline().strip()
        check(self.session_bus.startswith("unix:"), f"no session bus: {self.session_bus!r}")

    def make_certificates(self, variable="SSL_CERT_FILE"):
        """The test authority and its certificates, named to the installer as behind an inspecting
        proxy: its file in SSL_CERT_FILE, or a folder of it alone in SSL_CERT_DIR; returns that file or folder."""
        self.certs = self.root / "certs"
        subprocess.run([str(MAKE_CERTIFICATES), str(self.certs)], check=True)
        named = self.certs / "authority.pem"
        if variable == "SSL_CERT_DIR":
            named = Path(shutil.copytree(self.certs, self.root / "authorities", ignore=lambda _, n: set(n) - {named.name}))
        self.extra_env[variable] = str(named)
        return named

    def start_nginx(self, archive_bytes=None, limit_rate=None, https_service_port=None, not_found_bytes=None):
        """The download host and the log folder over HTTP; with https_service_port (and certificates
        made), the same over HTTPS (on https_port) in front of the service on that port. With
        not_found_bytes, a missing download is answered 404 with an error page that long and a
        Retry-After of 3 seconds, as a content network's error pages come."""
        self.nginx_port, self.https_port, temp = free_port(), free_port(), self.root / "nginx-temp"
        (self.www / "Corvala.zip").write_bytes(archive_bytes if archive_bytes is not None else self.archive.read_bytes())
        temp.mkdir()
        not_found = missing = ""
        if not_found_bytes:
            (self.root / "errors").mkdir()
            (self.root / "errors" / "missing.html").write_bytes(
                b"<html><body><h1>404 Not Found</h1><!-- " + b"x" * not_found_bytes + b" --></body></html>")
            not_found = "error_page 404 /missing.html;"
            missing = (f"location = /missing.html {{ root {self.root}/errors; internal; "
                       "add_header Retry-After 3 always; }")
        files = (f"location /download/ {{ root {self.root}/www; {not_found} "
                 f"{f'limit_rate {limit_rate};' if limit_rate else ''} }}{missing}"
                 f"location /logs/ {{ root {self.collected}; dav_methods PUT; create_full_put_path on; "
                 "dav_access user:rw; client_max_body_size 64m; }")
        tls = (f"server {{ listen 127.0.0.1:{self.https_port} ssl; access_log {self.root}/nginx-tls-access.log;"
               f"ssl_certificate {self.certs}/good.pem; ssl_certificate_key {self.certs}/good.key; {files}"
               f"location / {{ proxy_pass http://127.0.0.1:{https_service_port}; client_max_body_size 64m; }} }}")
        conf = self.root / "nginx.conf"
        conf.write_text(f"""daemon off; master_process off; worker_processes 1; events {{ worker_connections 64; }}
error_log {self.root}/nginx-error.log; pid {self.root}/nginx.pid;
http {{ access_log {self.root}/nginx-access.log; client_body_temp_path {temp}/body; proxy_temp_path {temp}/proxy;
  fastcgi_temp_path {temp}/fcgi; uwsgi_temp_path {temp}/uwsgi; scgi_temp_path {temp}/scgi;
  server {{ listen 127.0.0.1:{self.nginx_port}; {files} }}
  {tls if https_service_port else ""} }}
""")
        self.start_process(["nginx", "-c", str(conf), "-p", str(self.root)])
        wait_for(lambda: port_open(self.nginx_port), 10, "nginx")
        return f"http://127.0.0.1:{self.nginx_port}"

    def start_tinyproxy(self, bind):
        """tinyproxy on 127.0.0.1, leaving from the address bind: a server's log tells what came through it."""
        port = free_port()
        conf = self.root / "tinyproxy.conf"
        conf.write_text(f"Port {port}\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\nLogLevel Info\n"
                        f"LogFile \"{self.root}/tinyproxy.log\"\nAllow 127.0.0.1\nBind {bind}\n")
        self.start_process(["tinyproxy", "-d", "-c", str(conf)])
        wait_for(lambda: port_open(port), 10, "tinyproxy")
        return f"http://127.0.0.1:{port}"

    def start_service(self, *extra, log=None):
        if "--sign-with" not in extra and self.signs():
            extra = (*extra, "--sign-with", str(self.signing_key))
        proc = self.start_process([str(self.service_exe), "--port", "0", "--archive", str(self.archive),
                                   "--analytics-file", str(self.analytics_file), "--log-dir", str(self.collected),
                                   "--request-log", str(self.request_log), *extra],
                                  stdout=subprocess.PIPE, stderr=open(log, "a") if log else subprocess.DEVNULL, text=True)
        line = proc.stdout.readline()
        check("listening on" in line, f"demo service did not start: {line!r}")
        self.service_url = line.strip().rsplit(" ", 1)[-1]
        return self.service_url

    def start_process(self, cmd, **kwargs):
        """A process in a session of its own, ended with everything it started (a compositor's
        clients, a bus's services, the launched product); output goes nowhere unless kwargs say."""
        proc = subprocess.Popen(cmd, start_new_session=True, **{"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL,
                                                                 **kwargs})
        self.processes.append(proc)
        return proc

    def make_bundle(self, config_url, **settings):
        bundle = self.root / "TinyInstaller.app"
        shutil.copytree(self.bundle_src, bundle, symlinks=True)
        if self.public_key and "kQSArchivePublicKey" not in settings:
            settings["kQSArchivePublicKey"] = self.public_key
        write_info_plist(bundle, "com.brightmoor.corvala.tinyinstaller.e2e", config_url, self.apps, **settings)
        self.executable = bundle / "Contents" / "MacOS" / "TinyInstaller"
        return bundle

    def env(self):
        # No proxy or authority of the machine running the tests, nor the sudo that may have started
        # them (which would make the installer take the person behind it for the HOME's owner).
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "XDG_", "LC_", "SSL_CERT_", "SUDO_", "PKEXEC_", "DISPLAY"))
               and k.lower() not in PROXY_VARIABLES}
        runtime = self.tmp / "runtime"
        runtime.mkdir(mode=0o700, exist_ok=True)
        if self.runs_as is not None:
            os.chown(runtime, self.runs_as.pw_uid, self.runs_as.pw_gid)
            env.update(USER=self.runs_as.pw_name, LOGNAME=self.runs_as.pw_name)
        env.update(HOME=str(self.home), TMPDIR=str(self.tmp), XDG_RUNTIME_DIR=str(runtime), LANG="en_US.UTF-8",
                   LANGUAGE="en_US", QT_QPA_PLATFORM="xcb", CORVALA_ARGS_FILE=str(self.args_file),
                   CORVALA_EXIT_AFTER_MS="3000")
        if self.display:
            env["DISPLAY"] = self.display
        if self.session_bus:
            env["DBUS_SESSION_BUS_ADDRESS"] = self.session_bus
        env.update(self.extra_env)
        return env

    def launch(self, *args, cmd=None, env=None, name=None):
        """The installer (the sandbox's copy, or cmd) with args; the first one is self.installer."""
        self.console_path = self.artifacts / f"console-{name or len(self.processes)}.txt"
        if cmd is None and self.runs_as is not None:
            cmd = ["setpriv", f"--reuid={self.runs_as.pw_uid}", f"--regid={self.runs_as.pw_gid}", "--init-groups", "--",
                   str(self.executable), *args]
        proc = self.start_process(cmd or [str(self.executable), *args], env=env or self.env(),
                                  stdout=open(self.console_path, "w"), stderr=subprocess.STDOUT)
        if self.installer is None:
            self.installer = proc
        return proc

    def start(self, upload_to_nginx=True):
        """A screen, nginx, the demo service, the installer on its Welcome screen; the run log goes
        to nginx (answered 201 Created) or to the service's collector (200: the installer deletes it)."""
        if self.display is None:
            self.start_display()
        nginx = self.start_nginx()
        upload = ("--log-upload-url", nginx + "/logs/") if upload_to_nginx else ()
        self.make_bundle(self.start_service("--download-url", nginx + "/download/Corvala.zip", *upload) + "/config/prod")
        proc = self.launch()
        self.wait_log("Show Welcome screen")
        self.screenshot("welcome", settle=1.0)
        return proc

    @property
    def log_path(self):
        return self.home / DATA_PATH.lstrip("/") / "Logs" / "tiny.log"

    def log_text(self):
        return self.log_path.read_text(errors="replace") if self.log_path.exists() else ""

    def wait_log(self, needle, timeout=30):
        return wait_for(lambda: needle in self.log_text(), timeout, f"run log line {needle!r}")

    def batches(self):
        """The analytics POSTs the demo service received, each a list of (name, fields)."""
        text = self.analytics_file.read_bytes().decode() if self.analytics_file.exists() else ""  # CR LF kept
        return [parse_batch(body) for body in text.split(BATCH_SEPARATOR) if body.strip()]

    def uploaded_lines(self):
        logs = sorted(self.collected.rglob("tiny-*.log"))
        check(len(logs) == 1, f"uploaded logs {logs}")
        return [line for line in logs[0].read_bytes().decode().split("\r\n") if line]

    def xdotool(self, *args):
        result = subprocess.run(["xdotool", *args], env={"DISPLAY": self.display}, capture_output=True, text=True)
        return result.stdout.strip() if result.returncode == 0 else ""

    def focused_window(self, pid, other_than=None):
        """The focused window if it is a mapped one of process pid, and not other_than."""
        window = self.xdotool("getwindowfocus")
        if not window or window == other_than or self.xdotool("getwindowpid", window) != str(pid):
            return None
        return window if window in self.xdotool("search", "--onlyvisible", "--pid", str(pid)).split() else None

    def key(self, name, proc=None, other_than=None, timeout=30):
        """Presses a key once a window of the installer is shown and focused, so that it cannot be
        lost to one still being mapped; returns that window (other_than for the next, when it opens one)."""
        pid = (proc or self.installer).pid
        self.xdotool("mousemove", "640", "400")
        window = wait_for(lambda: self.focused_window(pid, other_than), timeout, "a visible, focused installer window")
        self.xdotool("key", name)
        return window

    def confirm_quit(self, proc=None, window=None):
        """The quit confirmation (opened by Escape unless window says it is open over that window)
        starts on "No, stay": Tab to Exit, then Return."""
        main_window = window or self.key("Escape", proc=proc)
        self.key("Tab", proc=proc, other_than=main_window)
        self.key("Return", proc=proc, other_than=main_window)

    def install_until_finished(self):
        self.key("Return")
        self.wait_log('"EVT":"Config"', timeout=30)
        self.screenshot("downloading", settle=0.5)
        self.wait_log('"EVT":"Install"', timeout=90)
        self.screenshot("finished", settle=2.0)

    def window_geometry(self, window_id):
        values = dict(line.split("=", 1) for line in self.xdotool("getwindowgeometry", "--shell", window_id).split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def screenshot(self, label, settle=0.0):
        """The whole screen, settle seconds on, as a numbered picture among the artifacts (none before there is a screen)."""
        time.sleep(settle)
        self.shots += 1
        path = self.artifacts / f"{self.shots:02d}-{label}.png"
        if self.display:
            subprocess.run(["import", "-display", self.display, "-window", "root", str(path)], capture_output=True)
        return path

    def wait_exit(self, proc=None, timeout=30):
        return (proc or self.installer).wait(timeout=timeout)

    def stop_processes(self):
        """Ends everything the sandbox started, newest first, each with what it started and left running."""
        for proc in reversed(self.processes):
            for sig in (signal.SIGTERM, signal.SIGKILL):
                with suppress(ProcessLookupError):
                    os.killpg(proc.pid, sig)
                with suppress(subprocess.TimeoutExpired):
                    proc.wait(timeout=10)

    def close(self):
        """Stops everything (first: a user or a bus cannot go while processes of theirs run), undoes
        what was done to the machine and keeps the servers' files and the run log among the artifacts."""
        self.stop_processes()
        try:
            self.undo.close()
        finally:
            for path in [self.root / name for name in ("nginx-error.log", "requests.txt", "analytics.txt",
                                                       "nginx-tls-access.log", "tinyproxy.log")] + [self.log_path]:
                if path.exists():
                    shutil.copy(path, self.artifacts / path.name)
            shutil.rmtree(self.root, ignore_errors=True)


def desktop_action_argv(entry, action):
    """The command a desktop runs for an action of a menu entry: GLib reads the Exec value (its
    escapes undone), expands the field codes (none given: %% is %, the others go) and splits it as
    a shell would, without one. Debian's own python3 has GLib's bindings."""
    script = ("import json, re, sys\nfrom gi.repository import GLib\n"
              "keys = GLib.KeyFile()\nkeys.load_from_file(sys.argv[1], GLib.KeyFileFlags.NONE)\n"
              "line = keys.get_string('Desktop Action ' + sys.argv[2], 'Exec')\n"
              "line = re.sub('%(.)', lambda m: '%' if m.group(1) == '%' else '', line)\n"
              "print(json.dumps(GLib.shell_parse_argv(line)[1]))\n")
    done = subprocess.run(["/usr/bin/python3", "-c", script, str(entry), action], capture_output=True, text=True)
    check(done.returncode == 0, f"no action {action} in {entry}: {done.stderr}")
    return json.loads(done.stdout)


def parse_events(text):
    """The analytics events among run-log records: (name, fields)."""
    found = [json.loads(line[line.index('"message": ') + 11:line.index(', "lang": ')])
             for line in text.splitlines() if '"trace": "EVT"' in line]
    return [(fields.get("EVT"), fields) for fields in found]


def parse_batch(body):
    return [(fields.get("EVT"), fields) for fields in
            (json.loads(line.split(" ", 2)[2]) for line in body.split("\r\n") if line)]


def names(events):
    return [name for name, _ in events]


def darkest(shot, x, y, w, h, keep_out=None):
    """The brightness (0-255, the largest of red, green and blue) of the darkest pixel of the area
    of the screenshot, the rectangle keep_out painted white first."""
    paint = ["-fill", "white", "-draw", "rectangle {},{} {},{}".format(*keep_out)] if keep_out else []
    measure = ["-crop", f"{w}x{h}+{x}+{y}", "-grayscale", "Brightness", "-format", "%[fx:int(255*minima)]", "info:"]
    return int(subprocess.run(["convert", str(shot), *paint, *measure], capture_output=True, check=True, text=True).stdout)


def dark_share(shot, x, y, w, h):
    """The share (0 to 1) of the area's pixels darker than mid-grey: text and dark buttons."""
    measure = ["-crop", f"{w}x{h}+{x}+{y}", "-grayscale", "Brightness", "-threshold", "50%", "-format", "%[fx:1-mean]", "info:"]
    return float(subprocess.run(["convert", str(shot), *measure], capture_output=True, check=True, text=True).stdout)


def run_cases(cases, sandbox_prefix=""):
    """The command line of every end-to-end script: one case by name, in a sandbox of its own
    (box.args holds the options), a screenshot kept on failure. Returns the exit status."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=sorted(cases))
    parser.add_argument("--build")
    for option in ("--bundle", "--service", "--archive", "--artifacts"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    box = Sandbox(args.bundle, args.service, args.archive, args.artifacts, sandbox_prefix + args.case)
    box.args = args
    try:
        cases[args.case](box)
        print(f"passed {args.case}; artifacts in {box.artifacts}")
        return 0
    except Exception:  # a failed check, a time-out or a failed clean-up: keep the evidence
        box.screenshot("failure")
        traceback.print_exc()
        print(f"FAILED {args.case}", file=sys.stderr)
        return 1
    finally:
        box.close()
