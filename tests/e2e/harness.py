"""A sandbox in which the built installer runs as a person meets it.

Everything lives in one scratch folder: HOME, TMPDIR, the applications folder, the copied bundle
with its own Info.plist, the servers' files and the screenshots. Xvfb gives the window a screen,
nginx is the download host and the log-upload target (WebDAV PUT), the demo service answers the
configuration and collects the analytics batch. With certificates, nginx also serves all of it over
HTTPS (the service behind it), and tinyproxy can stand in the way.
"""

import argparse
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from xml.sax.saxutils import escape

DATA_PATH = "/.local/share/Brightmoor/CorvalaInstaller"
BINARY_NAME = "Corvala.app"
PROXY_VARIABLES = ("http_proxy", "https_proxy", "all_proxy", "no_proxy")
MAKE_CERTIFICATES = Path(__file__).resolve().parent.parent / "support" / "make-test-certificates"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(predicate, timeout, what, interval=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    raise AssertionError(f"timed out after {timeout}s waiting for {what}")


def plist(value, indent=""):
    if isinstance(value, dict):
        inner = "".join(f"{indent}  <key>{escape(k)}</key>\n{plist(v, indent + '  ')}" for k, v in value.items())
        return f"{indent}<dict>\n{inner}{indent}</dict>\n"
    return f"{indent}<string>{escape(str(value))}</string>\n"


def minisign_pair(folder):
    """A throwaway key pair made with the real minisign tool in folder: (key line, secret key, public key file)."""
    public, secret = Path(folder) / "archive.pub", Path(folder) / "archive.key"
    subprocess.run(["minisign", "-G", "-W", "-p", str(public), "-s", str(secret)], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return public.read_text().strip().splitlines()[-1], secret, public


def minisign(data, secret, folder, comment="file:Corvala.zip build:2.4.1"):
    """The .minisig text of data, signed with the secret key by the real minisign tool."""
    path = Path(folder) / "signed-Corvala.zip"
    path.write_bytes(data)
    subprocess.run(["minisign", "-S", "-s", str(secret), "-m", str(path), "-t", comment],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return (Path(folder) / "signed-Corvala.zip.minisig").read_text()


def write_info_plist(bundle, identifier, config_url, apps, **settings):
    """The bundle's Info.plist: production pointed at config_url, the product placed in apps."""
    qsconfig = {
        "QSPortalType": "qs", "APP_NAME": "Corvala", "VENDOR_NAME": "Brightmoor",
        "AnalyticsProductName": "CORVALA", "BG_COLOR": "#F7F7F9",
        "QSConfigUrl": "http://127.0.0.1:9/privacy", "AppleM1Support": "NO",
        "PRODUCTION_URL": config_url, "kQSApplicationDataPathProd": DATA_PATH,
        "kQSInstallBinaryPathProd": BINARY_NAME, "kQSApplicationsDirectory": str(apps),
    }
    qsconfig.update(settings)
    info = {"CFBundleIdentifier": identifier, "CFBundleExecutable": "TinyInstaller",
            "CFBundleShortVersionString": "1.0.0", "QSEnv": "prod", "QSConfig": qsconfig}
    (Path(bundle) / "Contents" / "Info.plist").write_text(
        '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n' + plist(info) + "</plist>\n")


class Sandbox:
    def __init__(self, bundle, service, archive, artifacts, name):
        self.bundle_src = Path(bundle)
        self.service_exe = Path(service)
        self.archive = Path(archive)
        self.artifacts = Path(artifacts) / name
        shutil.rmtree(self.artifacts, ignore_errors=True)
        self.artifacts.mkdir(parents=True)
        self.root = Path(tempfile.mkdtemp(prefix=f"tiny-e2e-{name}-"))
        os.chmod(self.root, 0o755)
        self.home = self.root / "home" / "person"
        self.tmp = self.root / "tmp"
        self.apps = self.root / "Applications"
        self.www = self.root / "www" / "download"
        self.collected = self.root / "collected"
        for d in (self.home, self.tmp, self.apps, self.www, self.collected):
            d.mkdir(parents=True)
        self.analytics_file = self.root / "analytics.txt"
        self.request_log = self.root / "requests.txt"
        self.args_file = self.root / "product-args.txt"
        self.processes = []
        self.process_groups = []  # servers whose helpers (a compositor's clients, a bus's services) go with them
        self.extra_env = {}  # for the installer: another platform, a scale factor, a proxy, an authority
        self.certs = None
        self.installer = None
        self.display = None
        self.shots = 0

    # ----- servers -----
    def start_display(self, size="1280x800"):
        read, write = os.pipe()
        # -noreset: the server stays as it is when its last client leaves (between two installers).
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", f"{size}x24", "-nolisten", "tcp",
                                 "-noreset"],
                                pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        with os.fdopen(read, "rb") as r:
            while not number.endswith(b"\n"):
                chunk = r.read(1)
                if not chunk:
                    break
                number += chunk
        self.display = ":" + number.decode().strip()
        self.processes.append(proc)
        self.display_proc = proc

    def stop_display(self):
        """Ends the X server (its clients have gone); the next start_display makes another."""
        self.display_proc.terminate()
        self.display_proc.wait(timeout=10)
        self.display = None

    def make_certificates(self):
        """The test authority and its server certificates (make-test-certificates); the installer
        is told of the authority through SSL_CERT_FILE, as a machine behind an inspecting proxy is."""
        self.certs = self.root / "certs"
        subprocess.run([str(MAKE_CERTIFICATES), str(self.certs)], check=True)
        self.extra_env["SSL_CERT_FILE"] = str(self.certs / "authority.pem")
        return self.certs

    def tls_server(self, service_port):
        """An HTTPS server block with the good certificate: the download and log folders as over
        HTTP, everything else passed on to the demo service on service_port."""
        self.https_port = free_port()
        return f"""
  server {{
    listen 127.0.0.1:{self.https_port} ssl;
    ssl_certificate {self.certs}/good.pem; ssl_certificate_key {self.certs}/good.key;
    access_log {self.root}/nginx-tls-access.log;
    location /download/ {{ root {self.root}/www; }}
    location /logs/ {{ root {self.collected}; dav_methods PUT; create_full_put_path on; dav_access user:rw;
                       client_max_body_size 64m; }}
    location / {{ proxy_pass http://127.0.0.1:{service_port}; client_max_body_size 64m; }}
  }}"""

    def start_nginx(self, archive_bytes=None, limit_rate=None, https_service_port=None):
        """The download host over HTTP; with https_service_port (and certificates made), also the
        HTTPS front of the download host, the log folder and the service (https_url())."""
        self.nginx_port = free_port()
        (self.www / "Corvala.zip").write_bytes(archive_bytes if archive_bytes is not None else self.archive.read_bytes())
        conf = self.root / "nginx.conf"
        temp = self.root / "nginx-temp"
        temp.mkdir()
        conf.write_text(f"""
daemon off; master_process off; worker_processes 1;
error_log {self.root}/nginx-error.log; pid {self.root}/nginx.pid;
events {{ worker_connections 64; }}
http {{
  access_log {self.root}/nginx-access.log;
  client_body_temp_path {temp}/body; proxy_temp_path {temp}/proxy; fastcgi_temp_path {temp}/fcgi;
  uwsgi_temp_path {temp}/uwsgi; scgi_temp_path {temp}/scgi;
  server {{
    listen 127.0.0.1:{self.nginx_port};
    location /download/ {{ root {self.root}/www; {f"limit_rate {limit_rate};" if limit_rate else ""} }}
    location /busy/ {{ add_header Retry-After 2 always; return 503; }}
    location /logs/ {{ root {self.collected}; dav_methods PUT; create_full_put_path on; dav_access user:rw;
                       client_max_body_size 64m; }}
  }}{self.tls_server(https_service_port) if https_service_port else ""}
}}
""")
        proc = subprocess.Popen(["nginx", "-c", str(conf), "-p", str(self.root)],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(proc)
        wait_for(lambda: self._port_open(self.nginx_port), 10, "nginx")
        return f"http://127.0.0.1:{self.nginx_port}"

    def https_url(self):
        return f"https://127.0.0.1:{self.https_port}"

    def start_tinyproxy(self, bind=None):
        """tinyproxy on 127.0.0.1 (CONNECT to any port); bind: the address its own connections
        leave from, so that a server's log tells what came through it."""
        port = free_port()
        conf = self.root / "tinyproxy.conf"
        conf.write_text(f"Port {port}\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\nLogLevel Info\n"
                        f"LogFile \"{self.root}/tinyproxy.log\"\nAllow 127.0.0.1\n" + (f"Bind {bind}\n" if bind else ""))
        proc = subprocess.Popen(["tinyproxy", "-d", "-c", str(conf)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(proc)
        wait_for(lambda: self._port_open(port), 10, "tinyproxy")
        return f"http://127.0.0.1:{port}"

    def start_service(self, *extra, log=None):
        """Starts the demo service; its own report (standard error) goes to the file log, if given."""
        proc = subprocess.Popen([str(self.service_exe), "--port", "0", "--archive", str(self.archive),
                                 "--analytics-file", str(self.analytics_file), "--log-dir", str(self.collected),
                                 "--request-log", str(self.request_log), *extra],
                                stdout=subprocess.PIPE, stderr=open(log, "a") if log else subprocess.DEVNULL, text=True)
        self.processes.append(proc)
        line = proc.stdout.readline()
        if "listening on" not in line:
            raise AssertionError(f"demo service did not start: {line!r}")
        self.service_url = line.strip().rsplit(" ", 1)[-1]
        return self.service_url

    @staticmethod
    def _port_open(port):
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return True
        except OSError:
            return False

    # ----- the installer -----
    def make_bundle(self, config_url, **settings):
        bundle = self.root / "TinyInstaller.app"
        shutil.copytree(self.bundle_src, bundle, symlinks=True)
        write_info_plist(bundle, "com.brightmoor.corvala.tinyinstaller.e2e", config_url, self.apps, **settings)
        self.executable = bundle / "Contents" / "MacOS" / "TinyInstaller"
        return bundle

    def env(self):
        # The servers are on 127.0.0.1: no proxy of the machine running the tests is in the way,
        # and no authority it names is trusted unless the sandbox names it. Nor does the sudo that
        # may have started the tests make the installer one started through sudo (which would
        # refuse unsigned archives).
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("QT_", "XDG_", "LC_", "SSL_CERT_", "SUDO_", "PKEXEC_"))
               and k.lower() not in PROXY_VARIABLES}
        runtime = self.tmp / "runtime"
        runtime.mkdir(mode=0o700, exist_ok=True)
        env.pop("DISPLAY", None)
        env.update(HOME=str(self.home), TMPDIR=str(self.tmp), XDG_RUNTIME_DIR=str(runtime),
                   LANG="en_US.UTF-8",
                   LANGUAGE="en_US", QT_QPA_PLATFORM="xcb", CORVALA_ARGS_FILE=str(self.args_file),
                   CORVALA_EXIT_AFTER_MS="3000")
        if self.display:
            env["DISPLAY"] = self.display
        env.update(self.extra_env)
        return env

    def start_group(self, cmd, **kwargs):
        """A server in a session of its own, ended with everything it started."""
        proc = subprocess.Popen(cmd, start_new_session=True, **kwargs)
        self.process_groups.append(proc)
        return proc

    def launch(self, *args, user=None):
        cmd = [str(self.executable), *args]
        if user is not None:
            cmd = ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups", "--"] + cmd
        self.console_path = self.artifacts / f"console-{len(self.processes)}.txt"
        console = open(self.console_path, "w")
        proc = subprocess.Popen(cmd, env=self.env(), stdout=console, stderr=subprocess.STDOUT)
        self.processes.append(proc)
        if self.installer is None:
            self.installer = proc
        return proc

    @property
    def log_path(self):
        return self.home / DATA_PATH.lstrip("/") / "Logs" / "tiny.log"

    def log_text(self):
        try:
            return self.log_path.read_text(errors="replace")
        except FileNotFoundError:
            return ""

    def wait_log(self, needle, timeout=30):
        return wait_for(lambda: needle in self.log_text(), timeout, f"run log line {needle!r}")

    def events(self):
        """Analytics events of the run log, in order: (name, fields)."""
        return parse_events(self.log_text())

    # ----- as a person -----
    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env={"DISPLAY": self.display}, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def _xdotool_out(self, *args):
        result = subprocess.run(["xdotool", *args], env={"DISPLAY": self.display}, capture_output=True, text=True)
        return result.stdout.strip() if result.returncode == 0 else ""

    def focused_window(self, pid, title=None, other_than=None):
        """The window that has the keyboard focus when it is a mapped window of process pid (and,
        when given, its title contains title and it is not the window other_than); otherwise None."""
        window = self._xdotool_out("getwindowfocus")
        if not window or window == other_than or self._xdotool_out("getwindowpid", window) != str(pid):
            return None
        if title is not None and title not in self._xdotool_out("getwindowname", window):
            return None
        visible = self._xdotool_out("search", "--onlyvisible", "--pid", str(pid)).split()
        return window if window in visible else None

    def key(self, name, proc=None, title=None, other_than=None, timeout=30):
        """Presses a key as a person would: only once a window of the installer is shown and has
        the keyboard focus, so the key cannot be lost to a window that is still being mapped.
        Returns the window that received it (pass it as other_than to wait for a new one, such as
        a confirmation that the key opens)."""
        pid = (proc or self.installer).pid
        self.xdotool("mousemove", "640", "400")
        what = f"a visible, focused installer window{f' titled {title!r}' if title else ''}"
        window = wait_for(lambda: self.focused_window(pid, title, other_than), timeout, what)
        self.xdotool("key", name)
        return window

    def click(self, x, y):
        self.xdotool("mousemove", str(x), str(y), "click", "1")

    def screenshot(self, label):
        if self.display is None:  # failed before the display was started: nothing to take
            return None
        self.shots += 1
        path = self.artifacts / f"{self.shots:02d}-{label}.png"
        subprocess.run(["import", "-display", self.display, "-window", "root", str(path)], check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def wait_exit(self, proc=None, timeout=30):
        proc = proc or self.installer
        return proc.wait(timeout=timeout)

    def stop_processes(self):
        """Ends everything the sandbox started, newest first; the servers with their own helpers last."""
        for proc in reversed(self.processes):
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
                try:
                    proc.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        for proc in reversed(self.process_groups):
            try:
                os.killpg(proc.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
            try:  # what it started and left running
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    def close(self):
        self.stop_processes()
        for name in ("nginx-error.log", "requests.txt", "analytics.txt", "nginx-tls-access.log", "tinyproxy.log"):
            src = self.root / name
            if src.exists():
                shutil.copy(src, self.artifacts / name)
        if self.log_path.exists():
            shutil.copy(self.log_path, self.artifacts / "tiny.log")
        shutil.rmtree(self.root, ignore_errors=True)


def parse_events(text):
    events = []
    for line in text.splitlines():
        if '"trace": "EVT"' not in line:
            continue
        start = line.index('"message": ') + len('"message": ')
        end = line.index(', "lang": ')
        fields = json.loads(line[start:end])
        events.append((fields.get("EVT"), fields))
    return events


def parse_batch(body):
    """Analytics POST body: event lines joined by CR LF."""
    events = []
    for line in body.split("\r\n"):
        if not line:
            continue
        parts = line.split(" ", 2)
        fields = json.loads(parts[2])
        events.append((fields.get("EVT"), fields))
    return events


def run_cases(cases, sandbox_prefix=""):
    """The command line of every end-to-end script: one case by name, in a sandbox of its own,
    with a screenshot kept when a check fails or times out. Returns the exit status."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--case", required=True, choices=sorted(cases))
    parser.add_argument("--bundle", required=True)
    parser.add_argument("--service", required=True)
    parser.add_argument("--archive", required=True)
    parser.add_argument("--artifacts", required=True)
    args = parser.parse_args()
    box = Sandbox(args.bundle, args.service, args.archive, args.artifacts, sandbox_prefix + args.case)
    try:
        cases[args.case](box)
    except Exception as error:  # a failed check or a time-out: keep the evidence
        box.screenshot("failure")
        print(f"FAILED {args.case}: {error}", file=sys.stderr)
        box.close()
        return 1
    box.close()
    print(f"passed {args.case}; artifacts in {box.artifacts}")
    return 0
