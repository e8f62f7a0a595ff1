#!/usr/bin/env python3
"""The installer on the displays people have: screens at every common scale factor under X11, and a
Wayland compositor.

    displays.py --case NAME --bundle DIR --service EXE --archive ZIP --artifacts DIR

Cases:
  scales   1920x1080 and 1366x768 screens at scale factors 1, 1.25, 1.5, 1.75 and 2: the window lies
           inside the screen, at the size it is drawn at; Install works by keyboard and the page
           images asked for carry the suffix of the window's device pixel ratio, rounded up; the quit
           confirmation works by keyboard.
  wayland  weston (headless) as the compositor: the window's application id, the geometry it gives
           the compositor, the quit confirmation as its child window; a whole installation and the
           launch, driven through the accessibility bus (a headless compositor has no keyboard).
"""

import json
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from harness import BINARY_NAME, Sandbox, wait_for, run_cases  # noqa: E402


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def start_servers(box):
    nginx = box.start_nginx()
    service = box.start_service("--download-url", nginx + "/download/Corvala.zip", "--log-upload-url", nginx + "/logs/")
    box.make_bundle(service + "/config/prod")


def image_requests(box, since):
    """Paths of the page images the service was asked for, after the first `since` requests."""
    if not box.request_log.exists():
        return []
    lines = box.request_log.read_text().splitlines()[since:]
    return [json.loads(line)["path"] for line in lines if '"/images/' in line]


def request_count(box):
    return len(box.request_log.read_text().splitlines()) if box.request_log.exists() else 0


# ---------------------------------------------------------------------------------------------
# The scale the window is drawn at: the screen's own, or the largest multiple of 1/8 at which the
# 1000 x 640 panel and 16 points around it fit (Xvfb has no compositor: the window is the panel).
def drawn_scale(screen, factor):
    width, height = screen
    if 1032 * factor <= width and 672 * factor <= height:
        return factor
    return int(min(width / 1032, height / 672) * 8) / 8


def case_scales(box):
    for screen in ((1920, 1080), (1366, 768)):
        box.start_display(f"{screen[0]}x{screen[1]}")
        if not hasattr(box, "service_url"):
            start_servers(box)
        for factor in (1, 1.25, 1.5, 1.75, 2):
            one_scale(box, screen, factor)
        box.stop_display()


def one_scale(box, screen, factor):
    label = f"{screen[0]}x{screen[1]}-at-{factor}"
    scale = drawn_scale(screen, factor)
    suffix = "" if scale <= 1 else "@2x" if scale <= 2 else "@3x"
    box.extra_env = {"QT_SCALE_FACTOR": str(factor)}
    box.installer = None
    shutil.rmtree(box.apps / BINARY_NAME, ignore_errors=True)  # the run before may have finished placing it
    proc = box.launch()
    box.wait_log("Show Welcome screen")
    window = wait_for(lambda: box.focused_window(proc.pid), 30, f"the installer's window ({label})")
    time.sleep(0.5)
    box.screenshot(f"welcome-{label}")
    x, y, w, h = window_geometry(box, window)
    check(0 <= x and 0 <= y and x + w <= screen[0] and y + h <= screen[1],
          f"{label}: the window {w}x{h}+{x}+{y} is not inside the screen")
    check((w, h) == (round(1000 * scale), round(640 * scale)),
          f"{label}: the window is {w}x{h}, not drawn at scale {scale}")
    wm_class = subprocess.run(["xprop", "-display", box.display, "-id", window, "WM_CLASS"],
                              capture_output=True, text=True).stdout
    check('"TinyInstaller"' in wm_class, f"WM_CLASS {wm_class!r} does not match the desktop entry's StartupWMClass")

    # Install by keyboard; the carousel asks for the pictures of this scale.
    before = request_count(box)
    box.key("Return", proc=proc)
    box.wait_log('"EVT":"Config"', timeout=30)
    wait_for(lambda: len(image_requests(box, before)) >= 1, 20, f"{label}: page image requests")
    time.sleep(1.0)
    box.screenshot(f"downloading-{label}")
    asked = image_requests(box, before)
    expected = re.compile(r"/images/page\d" + re.escape(suffix) + r"\.png$")
    check(all(expected.search(path) for path in asked), f"{label}: asked for {asked}, expected the {suffix or '1x'} images")

    # The quit confirmation, by keyboard: Escape asks, Tab to Exit, Return.
    main_window = box.key("Escape", proc=proc)
    confirmation = wait_for(lambda: box.focused_window(proc.pid, other_than=main_window), 30, "the quit confirmation")
    cx, cy, cw, ch = window_geometry(box, confirmation)
    check(0 <= cx and 0 <= cy and cx + cw <= screen[0] and cy + ch <= screen[1], f"{label}: the confirmation is off screen")
    box.screenshot(f"confirmation-{label}")
    box.key("Tab", proc=proc, other_than=main_window)
    box.key("Return", proc=proc, other_than=main_window)
    check(box.wait_exit(proc) == 0, f"{label}: the installer did not end after Exit")


def window_geometry(box, window_id):
    values = dict(line.split("=", 1) for line in box._xdotool_out("getwindowgeometry", "--shell", window_id).split())
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


# ---------------------------------------------------------------------------------------------
def start_weston(box):
    runtime = box.tmp / "runtime"
    runtime.mkdir(mode=0o700, exist_ok=True)
    log = open(box.artifacts / "weston.txt", "w")
    box.start_group(["weston", "--backend=headless-backend.so", "--socket=tiny-wayland", "--width=1280",
                     "--height=800", "--use-pixman", "--idle-time=0", "--no-config", "--debug"],  # pixels to see, screenshots allowed
                    env={**os.environ, "XDG_RUNTIME_DIR": str(runtime)}, stdout=log, stderr=subprocess.STDOUT)
    wait_for(lambda: (runtime / "tiny-wayland").exists(), 20, "weston's socket")
    return "tiny-wayland"


def wayland_screenshot(box, display, label):
    """What the compositor shows, through weston's own screenshot client."""
    before = set(box.artifacts.glob("wayland-screenshot-*.png"))
    subprocess.run(["weston-screenshooter"], cwd=box.artifacts, check=False, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, env={**os.environ, "XDG_RUNTIME_DIR": str(box.tmp / "runtime"),
                                                   "WAYLAND_DISPLAY": display}, timeout=20)
    for shot in set(box.artifacts.glob("wayland-screenshot-*.png")) - before:
        shot.rename(box.artifacts / f"wayland-{label}.png")


def start_session_bus(box):
    """A session bus of the test's own: the installer's accessibility bridge and the test meet there."""
    bus = box.start_group(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                          stdout=subprocess.PIPE, text=True)
    address = bus.stdout.readline().strip()
    check(address, "the session bus did not start")
    return address


def import_pyatspi():
    try:
        import pyatspi
    except ImportError:  # a Python of its own (pyenv, venv) does not see Debian's python3-pyatspi
        sys.path.append("/usr/lib/python3/dist-packages")
        import pyatspi
    return pyatspi


def accessible_app(pyatspi, pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def find_button(node, names):
    """The first showing push button whose name is one of names, depth first."""
    pyatspi = import_pyatspi()
    if node is None:
        return None
    try:
        if node.getRole() == pyatspi.ROLE_PUSH_BUTTON and node.name in names and \
                node.getState().contains(pyatspi.STATE_SHOWING):
            return node
        for child in node:
            found = find_button(child, names)
            if found is not None:
                return found
    except Exception:  # a node that went away while walking
        return None
    return None


def press(box, pid, names, what):
    pyatspi = import_pyatspi()

    def pressed():
        button = find_button(accessible_app(pyatspi, pid), names)
        if button is None:
            return False
        action = button.queryAction()
        for i in range(action.nActions):
            if action.getName(i).lower() in ("press", "click"):
                return action.doAction(i) or True
        return False
    wait_for(pressed, 30, what, interval=0.3)


def case_wayland(box):
    display = start_weston(box)
    address = start_session_bus(box)
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = address  # for pyatspi in this process
    box.extra_env = {"QT_QPA_PLATFORM": "wayland", "WAYLAND_DISPLAY": display, "WAYLAND_DEBUG": "1",
                     "DBUS_SESSION_BUS_ADDRESS": address, "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}
    start_servers(box)
    proc = box.launch()
    box.wait_log("Show Welcome screen")
    protocol = lambda: box.console_path.read_text(errors="replace")  # noqa: E731

    # The application id is the desktop entry's name; the geometry is the panel, not its shadow.
    wait_for(lambda: ".set_app_id(" in protocol(), 20, "the application id")
    app_ids = re.findall(r'xdg_toplevel@(\d+)\.set_app_id\("([^"]*)"\)', protocol())
    check(app_ids and app_ids[0][1] == "tiny-installer", f"application ids {app_ids}")
    main_toplevel = app_ids[0][0]
    geometry = lambda: re.findall(r"xdg_surface@\d+\.set_window_geometry\((-?\d+), (-?\d+), (\d+), (\d+)\)",  # noqa: E731
                                  protocol())
    wait_for(lambda: geometry(), 20, "the window geometry")
    check(geometry()[0] == ("24", "24", "1000", "640"), f"window geometries given to the compositor: {geometry()}")
    time.sleep(1.0)
    wayland_screenshot(box, display, "welcome")

    # The quit confirmation is the main window's child window.
    press(box, proc.pid, ("Quit the installer",), "the close control")
    wait_for(lambda: re.search(r"xdg_toplevel@\d+\.set_parent\(xdg_toplevel@" + main_toplevel + r"\)", protocol()),
             20, "the quit confirmation with the main window as its parent")
    time.sleep(1.0)
    wayland_screenshot(box, display, "confirmation")
    press(box, proc.pid, ("No, stay",), "No, stay")
    time.sleep(1.0)
    check(proc.poll() is None, "No, stay ended the installer")

    # A whole installation and the launch.
    press(box, proc.pid, ("Install now",), "Install")
    box.wait_log('"EVT":"Install"', timeout=90)
    press(box, proc.pid, ("Get started",), "the launch button")
    check(box.wait_exit(proc) == 0, "the installer did not end after the launch")
    wait_for(box.args_file.exists, 10, "the product to start")


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


if __name__ == "__main__":
    sys.exit(run_cases(CASES, "display-"))
