#!/usr/bin/env python3
"""End-to-end cases: the built installer under Xvfb, driven with the keyboard as a person would.

    e2e.py --case NAME --bundle DIR --service EXE --archive ZIP --artifacts DIR

Each case leaves its screenshots, console output, run log and server files in
<artifacts>/<case>/ and exits non-zero with the reason when the installer misbehaves.
"""

import functools
import getpass
import io
import json
import os
import stat
import subprocess
import threading
import sys
import time
import urllib.request
import zipfile
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from harness import BINARY_NAME, Sandbox, minisign, parse_batch, parse_events, wait_for, run_cases  # noqa: E402
from harness import minisign_pair as harness_minisign_pair  # noqa: E402

SEPARATOR = "\n----- end of analytics batch -----\n"


def analytics_batches(box):
    if not box.analytics_file.exists():
        return []
    text = box.analytics_file.read_bytes().decode()  # keeps the CR LF between event lines
    return [parse_batch(body) for body in text.split(SEPARATOR) if body.strip()]


def uploaded_logs(box):
    return sorted(box.collected.rglob("tiny-*.log"))


def names(events):
    return [name for name, _ in events]


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def start(box, config_extra=(), archive_bytes=None, download_path="/download/Corvala.zip", upload_to_nginx=True,
          limit_rate=None, **settings):
    """nginx serves the archive; the run log goes to nginx (WebDAV PUT, answered 201 Created) or
    to the demo service's collector (answered 200, after which the installer deletes its log)."""
    box.start_display()
    start_servers_and_launch(box, config_extra, archive_bytes, download_path, upload_to_nginx, limit_rate, **settings)


def start_servers_and_launch(box, config_extra=(), archive_bytes=None, download_path="/download/Corvala.zip",
                             upload_to_nginx=True, limit_rate=None, **settings):
    nginx = box.start_nginx(archive_bytes, limit_rate)
    upload = ("--log-upload-url", nginx + "/logs/") if upload_to_nginx else ()
    service = box.start_service("--download-url", nginx + download_path, *upload, *config_extra)
    box.make_bundle(service + "/config/prod", **settings)
    box.launch()
    box.wait_log("Show Welcome screen")
    time.sleep(1.0)
    box.screenshot("welcome")


def confirm_quit(box, timeout=30):
    """Escape asks to quit; the confirmation starts on "No, stay", so Tab to Exit, then Return."""
    main_window = box.key("Escape")
    box.key("Tab", other_than=main_window, timeout=timeout)
    box.key("Return", other_than=main_window, timeout=timeout)


def install_until_finished(box):
    box.key("Return")
    box.wait_log('"EVT":"Config"', timeout=30)
    time.sleep(0.5)
    box.screenshot("downloading")
    box.wait_log('"EVT":"Install"', timeout=60)
    time.sleep(2.0)
    box.screenshot("finished")


# ---------------------------------------------------------------------------------------------
def case_full(box):
    start(box, upload_to_nginx=False)
    install_until_finished(box)
    box.key("Return")  # Launch
    check(box.wait_exit() == 0, "installer did not exit cleanly after Launch")

    product = box.apps / BINARY_NAME
    check((product / "Contents" / "MacOS" / "Corvala").is_file(), "product not placed in the applications folder")
    version_file = box.home / ".local/share/Brightmoor/CorvalaInstaller/mirolan_version.json"
    check(json.loads(version_file.read_text()) == {"version": "2.4.1"}, "version file wrong")
    wait_for(box.args_file.exists, 10, "the product to start")
    args = json.loads(box.args_file.read_text())["arguments"]
    check(args == ["en-US"], f"launch arguments {args}")
    # The product is in the person's menu, and the entry starts the placed copy.
    entry = box.home / ".local/share/applications/Corvala.desktop"
    check(entry.is_file(), "no menu entry for the placed product")
    validation = subprocess.run(["desktop-file-validate", str(entry)], capture_output=True, text=True)
    check(validation.returncode == 0 and not validation.stdout, f"menu entry not valid: {validation.stdout}")
    check(f'\nExec="{product}/Contents/MacOS/Corvala"\n' in entry.read_text(), "menu entry starts something else")

    batches = analytics_batches(box)
    check(len(batches) == 1, f"expected one analytics POST, got {len(batches)}")
    order = names(batches[0])
    check(order == ["Start", "Config", "Download", "Extract", "Install", "LaunchApp", "End"], f"event order {order}")
    check(all(fields.get("RSLT", "PASS") == "PASS" for _, fields in batches[0]), "an event failed")
    check(not box.log_path.exists(), "run log kept after an accepted upload")
    logs = uploaded_logs(box)
    check(len(logs) == 1, f"uploaded logs: {logs}")
    text = logs[0].read_bytes().decode()
    last = [line for line in text.split("\r\n") if line][-1]
    check("Tiny Installer end" in last, "uploaded log does not end with the end record")
    check(getpass.getuser() not in text, "login name not masked in the uploaded log")
    requests = box.request_log.read_text()
    for header in ("appName", "ci", "os", "osVer", "country", "locale"):
        check(header in requests, f"configuration request lacks header {header}")


def case_retry(box):
    # The download host answers 404 to every attempt; the configuration allows three.
    start(box, download_path="/download/missing.zip")
    box.key("Return")
    box.wait_log("Next download attempt in", timeout=60)
    box.screenshot("waiting-to-retry")  # the status line says that another attempt is coming
    box.wait_log("Show generic error screen.", timeout=60)
    time.sleep(1.0)
    box.screenshot("download-error")
    downloads = [fields for name, fields in box.events() if name == "Download"]
    check([d.get("Tries") for d in downloads] == [1, 2, 3], f"tries {[d.get('Tries') for d in downloads]}")
    check(downloads[0]["RSN"] == "Current retry attempt 1, max download retry limit 3", downloads[0]["RSN"])
    check(downloads[2]["RSN"] == "HTTP Response with status code 404", downloads[2]["RSN"])
    install = [fields for name, fields in box.events() if name == "Install"]
    check(install and install[0]["RSLT"] == "FAIL" and install[0]["RSN"] == "Download Error", f"install {install}")
    box.key("Return")  # Close: ends the installer without a confirmation
    check(box.wait_exit() == 0, "installer did not exit after Close")
    check(names(analytics_batches(box)[0])[-1] == "End", "End is not last")


def case_retry_after(box):
    # The download host is busy and asks for two seconds each time: the installer waits that
    # long, says so on the status line, and keeps to the attempt count.
    start(box, download_path="/busy/Corvala.zip")
    box.key("Return")
    box.wait_log("Next download attempt in 2.0 seconds", timeout=60)
    time.sleep(0.7)
    box.screenshot("waiting-to-retry")
    box.wait_log("Show generic error screen.", timeout=60)
    time.sleep(1.0)  # the last "Download" event follows the error screen
    downloads = [fields for name, fields in box.events() if name == "Download"]
    check([d.get("Tries") for d in downloads] == [1, 2, 3], f"tries {[d.get('Tries') for d in downloads]}")
    check(downloads[2]["RSN"] == "HTTP Response with status code 503", downloads[2]["RSN"])
    busy = [line for line in (box.root / "nginx-access.log").read_text().splitlines() if "/busy/" in line]
    check(len(busy) == 3, f"requests {busy}")
    box.key("Return")
    check(box.wait_exit() == 0, "installer did not exit after Close")


def case_cut_body(box):
    box.start_display()
    nginx = box.start_nginx()
    service = box.start_service("--cut-body", "--log-upload-url", nginx + "/logs/")
    box.make_bundle(service + "/config/prod")
    box.launch()
    box.wait_log("Show Welcome screen")
    box.key("Return")
    box.wait_log("Show generic error screen.", timeout=90)
    time.sleep(1.0)
    box.screenshot("cut-body-error")
    downloads = [fields for name, fields in box.events() if name == "Download"]
    check(len(downloads) == 3 and all(d["RSLT"] == "FAIL" for d in downloads), f"downloads {downloads}")
    check("Frag" in downloads[0], "transport-error event without Frag")
    check(not (box.apps / BINARY_NAME).exists(), "a cut archive was installed")
    box.key("Return")
    check(box.wait_exit() == 0, "installer did not exit after Close")


def case_hostile(box):
    hostile = io.BytesIO()
    with zipfile.ZipFile(hostile, "w") as z:
        z.writestr("Corvala.app/Contents/Info.plist", "<plist/>")
        z.writestr("../../escaped.txt", "outside")
    start(box, archive_bytes=hostile.getvalue())
    box.key("Return")
    box.wait_log("Show generic error screen.", timeout=60)
    time.sleep(1.0)
    box.screenshot("extract-error")
    extract = [fields for name, fields in box.events() if name == "Extract"]
    check(extract and extract[0]["RSLT"] == "FAIL", f"extract {extract}")
    check("Extract Corvala installer failed" in box.log_text(), "no extraction failure record")
    check(not list(box.root.rglob("escaped.txt")), "an entry escaped the extraction folder")
    check(not (box.apps / BINARY_NAME).exists(), "a refused archive was installed")
    box.key("Return")
    check(box.wait_exit() == 0, "installer did not exit after Close")


def case_quit(box):
    start(box)
    install_until_finished(box)
    main_window = box.key("Escape")
    time.sleep(1.0)
    box.screenshot("quit-confirmation")
    # The confirmation starts on "No, stay": Tab to Exit, then Return.
    box.key("Tab", other_than=main_window)
    box.key("Return", other_than=main_window)
    check(box.wait_exit() == 0, "installer did not exit after Exit")
    # nginx stored the upload and answered 201 Created: only 200 lets the installer delete its log.
    check(box.log_path.exists(), "run log deleted although the upload was not answered with 200")
    logs = uploaded_logs(box)
    check(len(logs) == 1, f"uploaded logs {logs}")
    lines = [line for line in logs[0].read_bytes().decode().split("\r\n") if line]
    check(len(lines) == 2, f"upload should carry only what followed the quit, got {len(lines)} lines")
    check('"EVT":"End"' in lines[0] and "Tiny Installer end" in lines[1], "upload content")


def archive_with(box, name, data, compress):
    """The demo archive plus one more entry inside the bundle."""
    out = io.BytesIO()
    with zipfile.ZipFile(box.archive) as src, zipfile.ZipFile(out, "w") as dst:
        for item in src.infolist():
            dst.writestr(item, src.read(item))
        dst.writestr(f"{BINARY_NAME}/Contents/Resources/{name}", data,
                     compress_type=zipfile.ZIP_DEFLATED if compress else zipfile.ZIP_STORED, compresslevel=1)
    return out.getvalue()


def uploaded_lines(box):
    logs = uploaded_logs(box)
    check(len(logs) == 1, f"uploaded logs {logs}")
    return [line for line in logs[0].read_bytes().decode().split("\r\n") if line]


def quit_during(box, stage, how):
    """Quits (SIGTERM, or Escape and the confirmation's Exit) once the run log shows the stage has
    begun. Whatever the moment: no product or a whole one recorded before "End", nothing of the
    flow after "End", no temporary files, and the exit within the two bounded requests."""
    if stage == "download":
        # About 8 s at 500 KiB/s: the quit lands in the middle.
        start(box, archive_bytes=archive_with(box, "noise.bin", os.urandom(4 << 20), False), limit_rate="500k")
        trigger = "Starting to download"
    elif stage == "extraction":
        # 300 MiB that deflate about fifteen to one: quick to fetch, a while to write out, and
        # within the bound on how far an archive may inflate (zeros alone would be refused).
        sparse = b"".join(os.urandom(64) + bytes(960) for _ in range(300 << 10))
        start(box, archive_bytes=archive_with(box, "sparse.bin", sparse, True))
        trigger = "Unzip from:"
    else:
        start(box)
        trigger = "Moved app [version:"
    box.key("Return")
    box.wait_log(trigger, timeout=60)
    if stage == "download":
        time.sleep(1.0)
    began = time.monotonic()
    if how == "sigterm":
        box.installer.terminate()
    else:
        confirm_quit(box)
    check(box.wait_exit(timeout=60) == 0, "installer did not exit 0")
    took = time.monotonic() - began
    check(took < 40, f"exit took {took:.1f} s")

    batches = analytics_batches(box)
    check(len(batches) == 1, f"expected one analytics POST, got {len(batches)}")
    batch = batches[0]
    check(names(batch).count("End") == 1 and names(batch)[-1] == "End", f"batch {names(batch)}")
    installed = any(name == "Install" and fields.get("RSLT") == "PASS" for name, fields in batch)
    product = box.apps / BINARY_NAME
    if installed:
        check((product / "Contents" / "MacOS" / "Corvala").is_file(), "Install PASS without a whole product")
    else:
        check(not product.exists(), "a product was placed although the installation was stopped")
    check(not [p.name for p in box.apps.iterdir() if p.name != BINARY_NAME], f"leftovers {list(box.apps.iterdir())}")
    leftovers = [str(p) for p in box.tmp.rglob("downloadedFile*")]
    check(not leftovers, f"temporary files left: {leftovers}")

    lines = uploaded_lines(box)
    end_at = max(i for i, line in enumerate(lines) if '"EVT":"End"' in line)
    after = lines[end_at + 1:]
    check(len(after) in (1, 2) and "Tiny Installer end" in after[0], f"records after End: {after}")
    logged = [name for name, _ in parse_events("\r\n".join(lines))]
    if how == "sigterm":
        # The log was kept, so it and the batch tell the same story, event by event.
        check(logged == names(batch), f"uploaded log events {logged} differ from the batch {names(batch)}")
    else:
        check(logged == ["End"], f"after a confirmed quit the upload holds only the end: {logged}")
    box.screenshot("after-exit")


# The six quit cases: each stage, ended by SIGTERM and by the confirmed quit.
for _stage in ("download", "extraction", "placement"):
    for _how, _way in (("sigterm", "sigterm"), ("confirmed", "confirm")):
        globals()[f"case_quit_{_stage}_{_how}"] = functools.partial(quit_during, stage=_stage, how=_way)


def case_crash_extraction(box):
    """A thread of the program throws (the test hook of a test build, on the extraction thread): the
    run ends as after any crash, in order and within the exit's bounded waits: the crash record,
    "End" last in the one batch, the log uploaded, exit status 70, nothing placed or left behind."""
    os.environ["TINY_INSTALLER_TEST_THROW_ON"] = "extraction"
    try:
        start(box)
    finally:
        del os.environ["TINY_INSTALLER_TEST_THROW_ON"]
    box.key("Return")
    box.wait_log("Unzip from:", timeout=60)
    began = time.monotonic()
    status = box.wait_exit(timeout=60)
    took = time.monotonic() - began
    check(status == 70, f"exit status {status} after a crash, not 70")
    check(took < 40, f"exit took {took:.1f} s")

    batches = analytics_batches(box)
    check(len(batches) == 1, f"expected one analytics POST, got {len(batches)}")
    batch = batches[0]
    check(names(batch).count("End") == 1 and names(batch)[-1] == "End", f"batch {names(batch)}")
    check(not [name for name, fields in batch if name in ("Extract", "Install") and fields.get("RSLT") == "PASS"],
          f"an extraction or placement passed after the crash: {batch}")
    lines = uploaded_lines(box)
    crashed = [i for i, line in enumerate(lines) if "Application crashed with [reason: thrown on purpose" in line]
    check(len(crashed) == 1 and '"thread":"Extraction"' in lines[crashed[0]], f"crash records {[lines[i] for i in crashed]}")
    end_at = max(i for i, line in enumerate(lines) if '"EVT":"End"' in line)
    check(crashed[0] < end_at, "the crash record comes after End")
    check("Tiny Installer end" in lines[end_at + 1], f"records after End: {lines[end_at + 1:]}")
    check(not (box.apps / BINARY_NAME).exists(), "a product was placed after the crash")
    leftovers = [str(p) for p in box.tmp.rglob("downloadedFile*")]
    check(not leftovers, f"temporary files left: {leftovers}")


def vm_hwm_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def case_huge_upload_answer(box):
    """The log collector answers the upload with a 100 MiB body: the installer reads 64 KiB of it,
    its peak memory stays far below the body's size, and it exits at once."""
    sent = [0]

    class Collector(BaseHTTPRequestHandler):
        def do_PUT(self):
            self.rfile.read(int(self.headers.get("Content-Length", "0")))
            self.send_response(200)
            self.send_header("Content-Length", str(100 << 20))
            self.end_headers()
            chunk = bytes(1 << 20)
            try:
                for _ in range(100):
                    self.wfile.write(chunk)
                    sent[0] += len(chunk)
            except OSError:
                pass  # the installer stopped reading and closed the connection

        def log_message(self, *args):
            pass

    collector = ThreadingHTTPServer(("127.0.0.1", 0), Collector)
    threading.Thread(target=collector.serve_forever, daemon=True).start()
    try:
        box.start_display()
        nginx = box.start_nginx()
        service = box.start_service("--download-url", nginx + "/download/Corvala.zip",
                                    "--log-upload-url", f"http://127.0.0.1:{collector.server_address[1]}/logs/")
        box.make_bundle(service + "/config/prod")
        box.launch()
        box.wait_log("Show Welcome screen")
        install_until_finished(box)
        pid = box.installer.pid
        baseline = vm_hwm_kib(pid)
        began = time.monotonic()
        box.installer.terminate()
        peak = baseline
        while box.installer.poll() is None and time.monotonic() - began < 60:
            peak = max(peak, vm_hwm_kib(pid))
            time.sleep(0.01)
        check(box.wait_exit(timeout=5) == 0, "installer did not exit 0")
        took = time.monotonic() - began
        growth_mib = (peak - baseline) / 1024
        print(f"peak memory {peak / 1024:.1f} MiB, grew by {growth_mib:.1f} MiB while answered with 100 MiB; "
              f"exit after {took:.1f} s; collector sent {sent[0] >> 20} MiB")
        check(growth_mib < 32, f"memory grew by {growth_mib:.1f} MiB")
        check(took < 15, f"exit took {took:.1f} s")
        check(sent[0] < 100 << 20, "the whole answer was read")
        # The status is the answer; its oversized body does not change it.
        check(not box.log_path.exists(), "run log kept although the upload was answered with 200")
    finally:
        collector.shutdown()


LICENCE_TITLE = "Brightmoor Licence Agreement"  # "QSLicenceTextPart2" with the bundle's VENDOR_NAME


def case_second_instance(box):
    start(box)
    second = box.launch("qsd://licenseAgreement")
    check(box.wait_exit(second, timeout=20) == 0, "second instance did not exit 0")
    # The first instance opened its licence window for the forwarded URL.
    wait_for(lambda: box._xdotool_out("search", "--onlyvisible", "--pid", str(box.installer.pid), "--name", LICENCE_TITLE),
             20, f"a shown window titled {LICENCE_TITLE!r}")
    box.screenshot("licence-window")
    second_console = box.console_path.read_text()
    check("Removing app cache" not in second_console, "second instance wrote records")
    box.key("Escape", title=LICENCE_TITLE)
    time.sleep(0.5)
    box.installer.terminate()
    check(box.wait_exit() == 0, "first instance did not end on SIGTERM")


def case_non_admin(box):
    box.start_display()
    nginx = box.start_nginx()
    service = box.start_service("--log-upload-url", nginx + "/logs/")
    box.make_bundle(service + "/config/prod")
    for path in (box.root, box.home.parent, box.home, box.tmp):
        path.chmod(0o777)
    proc = box.launch(user=65534)
    # The gate's alert shows before any window and writes its record only once answered.
    wait_for(lambda: box.focused_window(proc.pid), 30, "the administrator alert")
    time.sleep(0.5)
    box.screenshot("administrator-gate")
    box.key("Return", proc=proc)
    check(box.wait_exit(proc) == 0, "non-administrator did not exit 0")
    text = box.log_text()
    check("Non-admin user launched Mirolan TI, exiting" in text, "gate record missing")
    check('"EVT":"End"' not in text, "End event written for a non-administrator")
    check(not analytics_batches(box), "analytics sent for a non-administrator")


def start_edited(box, edit, archive_bytes=None, **settings):
    """Like start(), with the demo service's configuration document changed by edit(document, nginx)
    and then served verbatim by a second service."""
    box.start_display()
    nginx = box.start_nginx(archive_bytes)
    built = box.start_service("--download-url", nginx + "/download/Corvala.zip", "--log-upload-url", nginx + "/logs/")
    with urllib.request.urlopen(built + "/config/prod", timeout=10) as answer:
        document = json.loads(answer.read())
    edit(document, nginx)
    edited = box.root / "config.json"
    edited.write_text(json.dumps(document))
    service = box.start_service("--config-file", str(edited))
    box.make_bundle(service + "/config/prod", **settings)
    box.launch()
    box.wait_log("Show Welcome screen")
    time.sleep(1.0)
    box.screenshot("welcome")


def minisign_pair(box):
    """A key pair made with the real minisign tool; returns (key line, secret key path)."""
    key, secret, _ = harness_minisign_pair(box.root)
    return key, secret


def signed(box, data, secret):
    return minisign(data, secret, box.root)


def with_signature(signature):
    def edit(document, _nginx):
        for entry in document["config"]:
            entry["latestBuildMacSignature"] = signature
    return edit


def case_signed(box):
    archive = box.archive.read_bytes()
    key, secret = minisign_pair(box)
    start_edited(box, with_signature(signed(box, archive, secret)), kQSArchivePublicKey=key)
    install_until_finished(box)
    check("Archive signature verified (trusted comment: file:Corvala.zip build:2.4.1)" in box.log_text(),
          "no record of the verified signature")
    install = [fields for name, fields in box.events() if name == "Install"]
    check(install and install[0]["RSLT"] == "PASS", f"install {install}")
    check((box.apps / BINARY_NAME / "Contents" / "MacOS" / "Corvala").is_file(), "signed product not placed")
    box.installer.terminate()
    check(box.wait_exit() == 0, "installer did not end on SIGTERM")


def case_signature_refused(box):
    # nginx serves the archive with one flipped byte; the signature is that of the original.
    archive = box.archive.read_bytes()
    key, secret = minisign_pair(box)
    signature = signed(box, archive, secret)
    flipped = bytearray(archive)
    flipped[len(flipped) // 2] ^= 0x01
    start_edited(box, with_signature(signature), archive_bytes=bytes(flipped), kQSArchivePublicKey=key)
    box.key("Return")
    box.wait_log("Show generic error screen.", timeout=60)
    time.sleep(1.0)
    box.screenshot("signature-error")
    downloads = [fields for name, fields in box.events() if name == "Download"]
    check(len(downloads) == 1 and downloads[0]["RSLT"] == "FAIL"
          and downloads[0]["RSN"] == "Signature verification failed", f"downloads {downloads}")
    install = [fields for name, fields in box.events() if name == "Install"]
    check(install and install[0]["RSN"] == "Download Error", f"install {install}")
    check(not [name for name, _ in box.events() if name == "Extract"], "a refused archive was extracted")
    check(not (box.apps / BINARY_NAME).exists(), "a refused archive was installed")
    check(not [p for p in box.tmp.rglob("*") if p.name not in ("runtime",) and "runtime" not in p.parts
               and p.is_file()], f"files left in the temporary folder: {list(box.tmp.rglob('*'))}")
    box.key("Return")  # Close
    check(box.wait_exit() == 0, "installer did not exit after Close")


def case_hostile_addresses(box):
    # Local addresses for the analytics batch, the log upload and a page image (a FIFO that a
    # reader would wait on for ever): none is used, and the window keeps answering.
    victim_analytics, victim_upload, fifo = box.root / "analytics-victim.txt", box.root / "upload-victim", box.root / "fifo.png"
    os.mkfifo(fifo)

    def edit(document, _nginx):
        document["analyticsUrl"] = f"file://{victim_analytics}#"
        document["logUploadUrl"] = f"file://{victim_upload}#"
        for entry in document["config"]:
            for page_set in entry.get("screens", []):
                for page in page_set.get("content", []):
                    page["image"] = f"file://{fifo}"

    start_edited(box, edit)
    install_until_finished(box)
    text = box.log_text()  # before quitting, which starts the log afresh
    confirm_quit(box, timeout=15)  # the confirmation answers at once
    check(box.wait_exit(timeout=20) == 0, "installer did not exit after Exit")
    refusals = [line for line in text.splitlines() if '"trace": "ERROR"' in line and "not an http or https address" in line]
    for key in ("analyticsUrl", "logUploadUrl"):
        check(any(key in line for line in refusals), f"no ERROR record for {key}")
    check("Ignoring the page image: not an http or https address" in text, "no ERROR record for the page image")
    check(not victim_analytics.exists() and not list(box.root.glob("upload-victim*")), "a file: address was written")
    check(stat.S_ISFIFO(os.stat(fifo).st_mode), "the FIFO was replaced")
    # Nobody holds the FIFO open for reading: opening it to write without blocking finds no reader.
    try:
        os.close(os.open(fifo, os.O_WRONLY | os.O_NONBLOCK))
        check(False, "the installer still reads the FIFO")
    except OSError:
        pass


def send_wm_delete_window(display, window_id):
    """What a window manager sends for Alt+F4 or its Close: a WM_PROTOCOLS client message."""
    try:
        from Xlib import X, display as xdisplay, protocol
    except ImportError:  # a Python of its own (pyenv, venv) does not see Debian's python3-xlib
        sys.path.append("/usr/lib/python3/dist-packages")
        from Xlib import X, display as xdisplay, protocol
    connection = xdisplay.Display(display)
    window = connection.create_resource_object("window", int(window_id))
    protocols = connection.intern_atom("WM_PROTOCOLS")
    delete = connection.intern_atom("WM_DELETE_WINDOW")
    message = protocol.event.ClientMessage(window=window, client_type=protocols,
                                           data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(message, event_mask=X.NoEventMask)
    connection.sync()  # a round trip: the server has the message before we hang up
    connection.close()


def window_geometry(box, window_id):
    values = dict(line.split("=", 1) for line in box._xdotool_out("getwindowgeometry", "--shell", window_id).split())
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def read_ppm(path):
    """(width, height, rgb bytes) of a screenshot, through ImageMagick's plain PPM."""
    data = subprocess.run(["convert", str(path), "ppm:-"], capture_output=True, check=True).stdout
    fields, position = [], 0
    while len(fields) < 4:  # P6 width height maxval, separated by white space
        while data[position:position + 1].isspace():
            position += 1
        end = position
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    return int(fields[1]), int(fields[2]), data[position + 1:]


def dark_pixels(image, area, keep_out=None):
    """Pixels of the area (x, y, w, h), outside keep_out, darker than any colour of the design."""
    width, height, rgb = image
    x0, y0, w, h = area
    found = []
    for y in range(max(0, y0), min(height, y0 + h)):
        for x in range(max(0, x0), min(width, x0 + w)):
            if keep_out and keep_out[0] <= x < keep_out[0] + keep_out[2] and keep_out[1] <= y < keep_out[1] + keep_out[3]:
                continue
            i = 3 * (y * width + x)
            if max(rgb[i:i + 3]) < 40:
                found.append((x, y))
    return found


def case_window(box):
    """No compositor, a white desktop: the window draws nothing black around or at the corners of
    its panel; the window manager's close asks first, and Return on "No, stay" keeps the installer."""
    box.start_display()
    subprocess.run(["xsetroot", "-display", box.display, "-solid", "white"], check=True)
    start_servers_and_launch(box)
    pid = box.installer.pid
    main_window = wait_for(lambda: box.focused_window(pid), 30, "the installer's window")
    shot = box.screenshot("welcome-on-white")
    x, y, w, h = window_geometry(box, main_window)
    # The panel is 1000 x 640, centred in the window (which may carry a shadow margin around it).
    panel = (x + (w - 1000) // 2, y + (h - 640) // 2, 1000, 640)
    image = read_ppm(shot)
    band = 24
    around = (panel[0] - band, panel[1] - band, panel[2] + 2 * band, panel[3] + 2 * band)
    dark = dark_pixels(image, around, keep_out=panel)
    check(not dark, f"{len(dark)} black pixels around the panel, first {dark[:5]}")
    corner = 8
    for cx, cy in ((panel[0], panel[1]), (panel[0] + 1000 - corner, panel[1]),
                   (panel[0], panel[1] + 640 - corner), (panel[0] + 1000 - corner, panel[1] + 640 - corner)):
        dark = dark_pixels(image, (cx, cy, corner, corner))
        check(not dark, f"black pixels in the corner at {cx},{cy}: {dark[:5]}")

    # The window manager's close: the confirmation, with the keyboard on "No, stay".
    send_wm_delete_window(box.display, main_window)
    wait_for(lambda: box.focused_window(pid, other_than=main_window), 30, "the quit confirmation")
    time.sleep(0.5)
    box.screenshot("confirmation-from-window-manager")
    log_before = box.log_text()
    box.key("Tab", other_than=main_window)  # to Exit
    box.key("Tab", other_than=main_window)  # back to "No, stay"
    box.key("Return", other_than=main_window)
    time.sleep(1.5)
    box.screenshot("after-no-stay")
    check(box.installer.poll() is None, "Return on 'No, stay' ended the installer")
    check(box.log_text() == log_before, "Return on 'No, stay' wrote to the run log")

    # Asked again, Tab to Exit and Return: the person's own choice ends the run.
    send_wm_delete_window(box.display, main_window)
    box.key("Tab", other_than=main_window)
    box.key("Return", other_than=main_window)
    check(box.wait_exit() == 0, "installer did not exit after Exit")
    check(box.events() and box.events()[-1][0] == "End", "the run did not end with the End event")


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


if __name__ == "__main__":
    sys.exit(run_cases(CASES))
