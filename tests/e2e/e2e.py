#!/usr/bin/env python3
"""End-to-end cases: the built installer under Xvfb, driven with the keyboard as a person would.
The integration tests prove the engine stage by stage, the shell's process test the hand-over and
the signals; these, what needs the whole installation under X: the window and its keys, an orderly
end after a crash with its exit reports, HTTPS. Evidence goes to <artifacts>/<case>/.
"""

import json
from contextlib import suppress
import os
import plistlib
import pty
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from harness import (BINARY_NAME, DATA_PATH, check, darkest, desktop_action_argv, forged, free_port, minisign_pair,  # noqa: E402
                     names, parse_events, run_cases, wait_for, write_info_plist)

EVENT_ORDER = ["Start", "Config", "Download", "Extract", "Install", "LaunchApp", "End"]
PRODUCT_EXECUTABLE = Path(BINARY_NAME) / "Contents" / "MacOS" / "Corvala"
PROXY_SOURCE = "127.0.0.3"  # any loopback address works; nothing else on the machine uses this one
# The five kinds of request, as paths in nginx's access log.
REQUESTS = {"configuration": "GET /config/prod ", "download": "GET /download/Corvala.zip ",
            "page image": "GET /images/", "analytics": "POST /analytics ", "log upload": "PUT /logs/"}


def launched_whole(box):
    """Launch on the finished screen: the installer ends, the product starts, one batch in order."""
    box.install_until_finished()
    box.key("Return")
    check(box.wait_exit() == 0, "installer did not exit cleanly after Launch")
    check((box.apps / PRODUCT_EXECUTABLE).is_file(), "product not placed in the applications folder")
    wait_for(box.args_file.exists, 10, "the product to start")
    batches = box.batches()
    check(len(batches) == 1 and names(batches[0]) == EVENT_ORDER, f"analytics POSTs {[names(b) for b in batches]}")
    check(all(fields.get("RSLT", "PASS") == "PASS" for _, fields in batches[0]), "an event failed")


def case_full(box):
    box.start(upload_to_nginx=False)
    launched_whole(box)
    args = json.loads(box.args_file.read_text())["arguments"]
    check(args == ["en-US"], f"launch arguments {args}")
    # The collector answered 200: the log was handed over whole and deleted here.
    check(not box.log_path.exists(), "run log kept after an accepted upload")
    lines = box.uploaded_lines()
    check("Tiny Installer end" in lines[-1], "uploaded log does not end with the end record")


def case_remove(box):
    """Installed in the person's own folder, then removed through the menu entry's "Remove" action
    started as a desktop starts it. In German with no configuration server: the product, its entry
    and the version file go all the same, the bundle beside it stays, and the run log says that
    nothing could be sent. In Hebrew online: nothing is left to remove, and "Remove" alone is sent."""
    box.start(upload_to_nginx=False)
    launched_whole(box)
    entry = box.home / ".local/share/applications/Corvala.desktop"
    validated = subprocess.run(["desktop-file-validate", str(entry)], capture_output=True, text=True)
    check(validated.returncode == 0 and not validated.stdout.strip(), f"desktop-file-validate: {validated.stdout}")
    argv = desktop_action_argv(entry, "Remove")
    check(argv[-1] == "--remove" and Path(argv[0]).is_file(), f"the action runs {argv}")
    (box.apps / "Other.app").mkdir()
    info_path = box.executable.parents[1] / "Info.plist"
    online = plistlib.loads(info_path.read_bytes())
    offline = {**online, "QSConfig": {**online["QSConfig"], "PRODUCTION_URL": f"http://127.0.0.1:{free_port()}/config/prod"}}
    sent = len(box.batches())
    for language, locale, info, reason in (("de", "de_DE.UTF-8", offline, None), ("he", "he_IL.UTF-8", online, "Nothing to remove")):
        info_path.write_bytes(plistlib.dumps(info))
        box.log_path.unlink(missing_ok=True)
        proc = box.launch(cmd=argv, env={**box.env(), "LANG": locale, "LANGUAGE": language}, name=f"remove-{language}")
        wait_for(lambda: box.focused_window(proc.pid), 30, "the removal window")
        box.screenshot(f"remove-confirmation-{language}", settle=1.0)
        box.key("Return", proc=proc)
        box.wait_log('"EVT":"Remove"', timeout=30)
        box.screenshot(f"remove-outcome-{language}", settle=1.0)
        event = dict(parse_events(box.log_text()))["Remove"]
        check(event.get("RSLT") == "PASS" and event.get("RSN") == reason, f"Remove {event}")
        box.key("Return", proc=proc)
        check(box.wait_exit(proc) == 0, f"the removal ({language}) did not exit after Close")
        batches = box.batches()[sent:]
        sent += len(batches)
        expected = [["Remove"]] if info is online else []
        check([names(b) for b in batches] == expected, f"analytics POSTs {[names(b) for b in batches]}")
        check(info is online or "The removal's records cannot be sent" in box.log_text(), "no record that nothing was sent")
        check(sorted(p.name for p in box.apps.iterdir()) == ["Other.app"], f"applications folder: {list(box.apps.iterdir())}")
        check(not entry.exists() and not (box.home / DATA_PATH.lstrip("/") / "mirolan_version.json").exists(),
              "the menu entry or the version file stayed")


def after_the_exit(box, began):
    """What every ending leaves: the exit within the two bounded requests, one batch with "End" last
    and once, no temporary files; the run log uploaded to nginx, which answers 201 (only 200 lets
    the installer delete it), and nothing after "End" but the end record."""
    check(time.monotonic() - began < 40, f"exit took {time.monotonic() - began:.1f} s")
    batches = box.batches()
    check(len(batches) == 1 and names(batches[0]).count("End") == 1 and names(batches[0])[-1] == "End",
          f"analytics POSTs {[names(b) for b in batches]}")
    check(not list(box.tmp.rglob("downloadedFile*")), f"temporary files left: {list(box.tmp.rglob('downloadedFile*'))}")
    check(box.log_path.exists(), "run log deleted although the upload was not answered with 200")
    lines = box.uploaded_lines()
    end_at = max(i for i, line in enumerate(lines) if '"EVT":"End"' in line)
    check(len(lines) - end_at - 1 in (1, 2) and "Tiny Installer end" in lines[end_at + 1],
          f"records after End: {lines[end_at + 1:]}")
    return batches[0], lines


def case_crash_extraction(box):
    """A thread of the program throws (the test hook of a test build, on the extraction thread): the
    run ends as after any crash, with status 70, the crash record before "End", nothing placed."""
    box.extra_env["TINY_INSTALLER_TEST_THROW_ON"] = "extraction"
    box.start()
    box.key("Return")
    box.wait_log("Unzip from:", timeout=60)
    began = time.monotonic()
    status = box.wait_exit(timeout=60)
    check(status == 70, f"exit status {status} after a crash, not 70")
    batch, lines = after_the_exit(box, began)
    check(not list(box.apps.iterdir()), f"placed after the crash: {batch}")
    crashed = [i for i, line in enumerate(lines) if "Application crashed with [reason: thrown on purpose" in line]
    check(len(crashed) == 1 and '"thread":"Extraction"' in lines[crashed[0]], f"crash records {crashed}")
    check(crashed[0] < max(i for i, line in enumerate(lines) if '"EVT":"End"' in line), "the crash record follows End")


def send_wm_delete_window(display, window_id):
    """What a window manager sends for Alt+F4 or its Close: a WM_PROTOCOLS client message."""
    from Xlib import X, display as xdisplay, protocol
    connection = xdisplay.Display(display)
    window = connection.create_resource_object("window", int(window_id))
    message = protocol.event.ClientMessage(window=window, client_type=connection.intern_atom("WM_PROTOCOLS"),
                                           data=(32, [connection.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
    window.send_event(message, event_mask=X.NoEventMask)
    connection.sync()  # a round trip: the server has the message before we hang up
    connection.close()


def case_window(box):
    """No compositor, a white desktop: the window draws nothing black around or at the corners of
    its panel; the window manager's close asks first, Return on "No, stay" keeps the installer, and
    after the installation Exit ends it in order."""
    box.start_display()
    subprocess.run(["xsetroot", "-display", box.display, "-solid", "white"], check=True)
    pid = box.start().pid
    main_window = wait_for(lambda: box.focused_window(pid), 30, "the installer's window")
    shot = box.screenshot("welcome-on-white")
    # The panel is 1000 x 640, centred in the window (which may carry a shadow margin around it);
    # nothing darker than any colour of the design in a band around it nor in its corners.
    x, y, w, h = box.window_geometry(main_window)
    x, y = x + (w - 1000) // 2, y + (h - 640) // 2
    check(darkest(shot, x - 24, y - 24, 1048, 688, keep_out=(x, y, x + 999, y + 639)) >= 40, "black pixels around the panel")
    for cx, cy in ((x, y), (x + 992, y), (x, y + 632), (x + 992, y + 632)):
        check(darkest(shot, cx, cy, 8, 8) >= 40, f"black pixels in the corner at {cx},{cy}")

    # The window manager's close: the confirmation, with the keyboard on "No, stay".
    send_wm_delete_window(box.display, main_window)
    wait_for(lambda: box.focused_window(pid, other_than=main_window), 30, "the quit confirmation")
    box.screenshot("confirmation-from-window-manager", settle=0.5)
    log_before = box.log_text()
    for key in ("Tab", "Tab", "Return"):  # to Exit, back to "No, stay", and press it
        box.key(key, other_than=main_window)
    box.screenshot("after-no-stay", settle=1.5)
    check(box.installer.poll() is None, "Return on 'No, stay' ended the installer")
    check(box.log_text() == log_before, "Return on 'No, stay' wrote to the run log")
    # A second start hands its command address over and ends; the first shows the licence window.
    check(box.wait_exit(box.launch("qsd://licenseAgreement"), timeout=20) == 0, "the second start did not exit 0")
    wait_for(lambda: box.focused_window(pid, other_than=main_window), 30, "the licence window")
    box.screenshot("licence-window", settle=0.5)
    box.key("Escape", other_than=main_window)
    wait_for(lambda: box.focused_window(pid) == main_window, 10, "the focus back on the main window")
    # Installed, then asked again, Tab to Exit and Return: the person's own choice ends the run
    # in order, and the upload carries only what followed it.
    box.install_until_finished()
    send_wm_delete_window(box.display, main_window)
    began = time.monotonic()
    box.confirm_quit(window=main_window)
    check(box.wait_exit() == 0, "installer did not exit after Exit")
    _, lines = after_the_exit(box, began)
    check(names(parse_events("\r\n".join(lines))) == ["End"], f"after a confirmed quit the upload holds {lines}")


def over_https(box, proxy_source=None):
    """The whole installation with every request to nginx over HTTPS, with a certificate of the
    test authority, in the file SSL_CERT_FILE names; with proxy_source, in the folder SSL_CERT_DIR
    names, and through tinyproxy's CONNECT, whose connections leave from that address. As a person:
    root trusts only the system's authorities."""
    box.as_person()
    box.start_display()
    if proxy_source:
        box.extra_env.update(https_proxy=box.start_tinyproxy(bind=proxy_source), no_proxy="")
    variable = "SSL_CERT_DIR" if proxy_source else "SSL_CERT_FILE"
    authority = box.make_certificates(variable)
    service_port = free_port()
    box.start_nginx(https_service_port=service_port)
    base = f"https://127.0.0.1:{box.https_port}"
    box.start_service("--port", str(service_port), "--public-base", base, "--download-url", base + "/download/Corvala.zip")
    box.make_bundle(base + "/config/prod")
    box.launch()
    launched_whole(box)
    check(f"Trusting 1 certificate authorities of {variable} {authority} besides" in "\n".join(box.uploaded_lines()),
          f"no record of the authority that {variable} names")
    lines = (box.root / "nginx-tls-access.log").read_text().splitlines()
    for what, needle in REQUESTS.items():
        check(any(needle in line for line in lines), f"no {what} over HTTPS in nginx's log")
    return lines


def case_https(box):
    over_https(box)
    check(not (box.root / "nginx-access.log").read_text().strip(), "a request went over plain HTTP")


def case_https_proxy(box):
    direct = [line for line in over_https(box, PROXY_SOURCE) if not line.startswith(PROXY_SOURCE + " ")]
    check(not direct, f"requests that did not come through the proxy: {direct}")
    check("CONNECT 127.0.0.1:" in (box.root / "tinyproxy.log").read_text(), "tinyproxy logged no CONNECT")


UNATTENDED = ("--unattended", "--accept-license", "--json")


def signed_sandbox(box, limit_rate=None):
    """nginx and the demo service signing the archive, a bundle that carries the key: root places only
    what is signed."""
    key, secret, _ = minisign_pair(box.root)
    nginx = box.start_nginx(limit_rate=limit_rate)
    service = box.start_service("--download-url", nginx + "/download/Corvala.zip", "--log-upload-url", nginx + "/logs/",
                                "--sign-with", str(secret))
    box.make_bundle(service + "/config/prod", kQSArchivePublicKey=key)


def unattended(box, *args, terminal=False, stop_when=None):
    """The installer with no display variable at all, stdout on a pipe and stderr on a pipe or a
    pseudo-terminal; stop_when(stderr so far) true sends SIGTERM. Returns (status, stdout, stderr)."""
    env = {k: v for k, v in box.env().items() if k not in ("QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY")}
    env["TERM"] = "xterm"
    master, slave = pty.openpty() if terminal else os.pipe()
    proc = subprocess.Popen([str(box.executable), *args], env=env, stdout=subprocess.PIPE, stderr=slave, text=True)
    os.close(slave)
    err = b""
    with suppress(OSError):  # EIO: the terminal's other end has gone
        while chunk := os.read(master, 4096):
            err += chunk
            if stop_when and stop_when(err.decode(errors="replace")):
                proc.send_signal(signal.SIGTERM)
                stop_when = None
    os.close(master)
    out = proc.stdout.read()
    status = proc.wait(timeout=60)
    with open(box.artifacts / "unattended.txt", "a") as f:
        f.write(f"$ {' '.join(args)}\n{err.decode(errors='replace')}{out}-> {status}\n")
    return status, out, err.decode(errors="replace")


def nothing_left(box, label):
    check(not list(box.apps.iterdir()), f"{label}: applications folder {list(box.apps.iterdir())}")
    check(not list(box.tmp.rglob("downloadedFile*")), f"{label}: temporary files left")


def case_unattended(box):
    """No display at all: the licence gate before any request; a signed install, placed, with the
    window's events but LaunchApp and its plain lines on a pipe; a second run changes nothing."""
    signed_sandbox(box)
    status, out, err = unattended(box, "--unattended")
    check(status == 18 and "terms-of-service" in err and "privacy-statement" in err, f"without --accept-license: {status} {err}")
    check(not box.log_path.exists() and not box.request_log.exists(), "a run log or a request before the licence")
    status, out, err = unattended(box, *UNATTENDED)
    result = json.loads(out.splitlines()[-1])
    check(status == 0 and result["outcome"] == "placed" and result["version"] == "2.4.1"
          and result["path"] == str(box.apps / BINARY_NAME), f"first run: {status} {out}")
    check((box.apps / PRODUCT_EXECUTABLE).is_file() and not box.args_file.exists(), "not placed, or the product started")
    lines = err.splitlines()
    done = [i for i, line in enumerate(lines) if re.match(r"Downloading +100%  0\.7 of 0\.7 MiB", line)]
    check("\x1b[K" not in err and len(done) == 1 and lines.index("Connecting") < lines.index("Downloading") < done[0]
          < lines.index("Installing"), f"plain lines: {err}")
    batches = box.batches()
    check([names(b) for b in batches] == [[n for n in EVENT_ORDER if n != "LaunchApp"]], f"batches {batches}")
    check("Show Welcome screen" in "\n".join(box.uploaded_lines()), "no Welcome screen record")
    status, out, _ = unattended(box, "--unattended", "--accept-license")
    check(status == 3 and out.startswith("Corvala 2.4.1 is already installed"), f"second run: {status} {out}")


def case_unattended_failures(box):
    """Each failure with its own status and sentence, nothing left behind: a forged archive, a full
    disk where the archive is written (a small tmpfs), a configuration server that is down."""
    signed_sandbox(box)
    served = box.www / "Corvala.zip"
    genuine = served.read_bytes()
    served.write_bytes(forged(genuine))
    status, out, _ = unattended(box, *UNATTENDED)
    check(status == 12 and json.loads(out)["outcome"] == "signature_refused", f"forged: {status} {out}")
    nothing_left(box, "forged")
    served.write_bytes(genuine)
    if os.geteuid() == 0:  # mounting needs root
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m,mode=0700", "tiny-e2e", str(box.tmp)], check=True)
        box.undo.callback(subprocess.run, ["umount", str(box.tmp)])
        status, out, _ = unattended(box, *UNATTENDED)
        check(status == 13 and json.loads(out)["outcome"] == "no_space", f"full disk: {status} {out}")
        nothing_left(box, "full disk")
    write_info_plist(box.executable.parents[2], "com.brightmoor.corvala.tinyinstaller.e2e",
                     f"http://127.0.0.1:{free_port()}/config/prod", box.apps)
    status, out, _ = unattended(box, *UNATTENDED)
    check(status == 10 and json.loads(out)["outcome"] == "no_configuration", f"server down: {status} {out}")
    nothing_left(box, "server down")
    # The removal's own thread throws (the test hook): the run ends as after any crash.
    box.extra_env["TINY_INSTALLER_TEST_THROW_ON"] = "removal"
    status, out, _ = unattended(box, "--remove", "--unattended", "--json")
    check(status == 70 and json.loads(out)["outcome"] == "crashed", f"removal thread crashed: {status} {out}")
    check('"thread":"Removal"' in box.log_text(), "no crash record of the removal's thread")


def case_unattended_signal(box):
    """On a terminal the progress line rewrites itself; a second run meanwhile installs nothing (19);
    SIGTERM mid-download ends with 143 in order: nothing placed or left, "End" sent, the log uploaded."""
    signed_sandbox(box, limit_rate="100k")
    began, second = time.monotonic(), []

    def stop(err):  # once the line shows the time left: a second run, then SIGTERM for the first
        if " left\x1b[K" in err and not second:
            second.append(unattended(box, "--unattended", "--accept-license"))
        return bool(second)
    status, out, err = unattended(box, *UNATTENDED, terminal=True, stop_when=stop)
    check(second[0][0] == 19 and "another installer runs" in second[0][2], f"second run: {second}")
    check(status == 143 and json.loads(out)["outcome"] == "interrupted", f"SIGTERM: {status} {out}")
    check(re.search(r"\rDownloading +\d+%  0\.\d of 0\.7 MiB  0\.\d MiB/s  0:\d\d left\x1b\[K", err), f"terminal: {err!r}")
    check(err.endswith("\n") and err.count("\rDownloading") >= 2, f"the progress line was not rewritten: {err!r}")
    after_the_exit(box, began)
    nothing_left(box, "SIGTERM")


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


if __name__ == "__main__":
    sys.exit(run_cases(CASES))
