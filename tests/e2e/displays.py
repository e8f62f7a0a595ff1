#!/usr/bin/env python3
"""The installer on the displays people have: X11 at scale factors from 1 to 2, and weston (headless,
driven through the accessibility bus: it has no keyboard)."""

import os
import re
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from accessibility import Reader, start_buses  # noqa: E402
from harness import check, dark_share, parse_events, run_cases, wait_for  # noqa: E402

# Each screen with the factors that show something of it, as QT_SCALE_FACTOR sets them and as KDE
# Plasma does (QT_SCREEN_SCALE_FACTORS, plain and by the screen's name): at 1366x768 from 1.25 on,
# at 1920x1080 from 1.75 on, the window no longer fits and is drawn at a lower scale, never below 1.
SCALES = [("QT_SCALE_FACTOR", "{}", screen, factor) for screen, factors in
          {(1920, 1080): (1, 1.25, 2), (1366, 768): (1.5, 2)}.items() for factor in factors]
SCALES += [("QT_SCREEN_SCALE_FACTORS", form, screen, factor) for screen in ((1920, 1080), (1366, 768))
           for factor in (1.25, 1.75, 2, 3) for form in ("{}", "screen={};")]


def drawn_scale(screen, factor):
    """The scale the window is drawn at: the screen's own, or the largest multiple of 1/8 at which
    the 1000 x 640 panel and 16 points around it fit (Xvfb has no compositor: the window is the panel),
    but never below 1."""
    width, height = screen
    if 1032 * factor <= width and 672 * factor <= height:
        return factor
    return max(1, int(min(width / 1032, height / 672) * 8) / 8)


def case_scales(box):
    """Each screen and factor: the window inside the screen at the size it is drawn at, its texts
    drawn, with the desktop entry's window class; the quit confirmation inside the screen too, with
    both its buttons; the screen's size reported in the desktop's points."""
    box.make_bundle("http://127.0.0.1:9/config/prod")  # nothing is installed: no configuration needed
    for screen in ((1920, 1080), (1366, 768)):
        box.start_display(f"{screen[0]}x{screen[1]}")
        for variable, form, _, factor in (row for row in SCALES if row[2] == screen):
            one_scale(box, screen, variable, form.format(factor), factor)


def inside_screen(geometry, screen):
    x, y, w, h = geometry
    return 0 <= x and 0 <= y and x + w <= screen[0] and y + h <= screen[1]


def one_scale(box, screen, variable, value, factor):
    label = f"{screen[0]}x{screen[1]}-{variable}-{value.replace(';', '')}"
    scale = drawn_scale(screen, factor)
    box.extra_env = {variable: value}
    box.installer = None
    proc = box.launch()
    window = wait_for(lambda: box.focused_window(proc.pid), 30, f"the installer's window ({label})")
    shot = box.screenshot(f"welcome-{label}", settle=0.5)
    geometry = box.window_geometry(window)
    check(inside_screen(geometry, screen), f"{label}: the window {geometry} is not inside the screen")
    check(geometry[2:] == (round(1000 * scale), round(640 * scale)), f"{label}: the window {geometry}, not drawn at {scale}")
    # Drawn, not blank: the texts and the Install button are dark on the light panel.
    check(dark_share(shot, *geometry) > 0.01, f"{label}: the window is drawn blank")
    wm_class = subprocess.run(["xprop", "-display", box.display, "-id", window, "WM_CLASS"],
                              capture_output=True, text=True).stdout
    check('"TinyInstaller"' in wm_class, f"WM_CLASS {wm_class!r} does not match the desktop entry's StartupWMClass")

    main_window = box.key("Escape", proc=proc)
    confirmation = wait_for(lambda: box.focused_window(proc.pid, other_than=main_window), 30, "the quit confirmation")
    x, y, w, h = box.window_geometry(confirmation)
    check(inside_screen((x, y, w, h), screen), f"{label}: the confirmation is off screen")
    shot = box.screenshot(f"confirmation-{label}", settle=0.3)
    # Its two buttons side by side at the bottom: dark pixels in each half of the bottom row.
    row = y + h * 3 // 4, h // 4
    check(dark_share(shot, x, row[0], w // 2, row[1]) > 0.01 and dark_share(shot, x + w // 2, row[0], w // 2, row[1]) > 0.01,
          f"{label}: the confirmation's buttons are not both drawn")
    box.confirm_quit(proc=proc, window=main_window)
    check(box.wait_exit(proc) == 0, f"{label}: the installer did not end after Exit")
    # The screen as the desktop has it, whatever scale the window is drawn at.
    sizes = [fields.get("SR") for name, fields in parse_events(box.log_text()) if name == "End"][-1:]
    points = f"{int(screen[0] / factor + 0.5)}x{int(screen[1] / factor + 0.5)}"
    check(sizes == [points], f"{label}: the screen's size reported as {sizes}, not {points}")


# The desktop behind the windows in one colour no window draws: a pixel of it inside a window is
# one the window left transparent.
BACKDROP = "#FF00FF"


def start_weston(box, socket, *options):
    """Weston's headless compositor on its own socket, its screen capture open to clients, the
    desktop behind the windows in the backdrop's colour; returns the environment of its clients."""
    runtime = Path(box.env()["XDG_RUNTIME_DIR"])
    config = box.root / f"{socket}.ini"
    config.write_text(f"[shell]\nbackground-color=0xff{BACKDROP[1:]}\n")
    compositor = {**os.environ, "XDG_RUNTIME_DIR": str(runtime), "WAYLAND_DISPLAY": socket}
    box.start_process(["weston", "--backend=headless-backend.so", f"--socket={socket}", "--use-pixman", "--idle-time=0",
                       f"--config={config}", "--debug", *options],
                      env=compositor, stdout=open(box.artifacts / f"{socket}.txt", "w"), stderr=subprocess.STDOUT)
    wait_for(lambda: (runtime / socket).exists(), 20, "weston's socket")
    return compositor


def wayland_screenshot(box, compositor, label):
    """What the compositor shows, as a numbered picture among the artifacts."""
    before = set(box.root.glob("wayland-screenshot-*.png"))
    subprocess.run(["weston-screenshooter"], env=compositor, cwd=box.root, check=True, capture_output=True)
    taken = wait_for(lambda: set(box.root.glob("wayland-screenshot-*.png")) - before, 10, "the compositor's screenshot")
    box.shots += 1
    path = box.artifacts / f"{box.shots:02d}-{label}.png"
    taken.pop().rename(path)
    return path


def see_through_pixels(shot, colour):
    """The backdrop's pixels inside the area drawn in `colour` (a window's body, its rounded
    corners left out): rows a repaint cleared and never drew."""
    bounds = subprocess.run(["convert", str(shot), "-fill", "black", "+opaque", colour, "-fill", "white", "-opaque", colour,
                             "-format", "%@", "info:"], capture_output=True, check=True, text=True).stdout
    w, h, x, y = map(int, re.match(r"(\d+)x(\d+)\+(\d+)\+(\d+)", bounds).groups())
    check(w > 200 and h > 100, f"no window body of {colour} on {shot.name}: {bounds}")
    inside = f"{w - 40}x{h - 40}+{x + 20}+{y + 20}"
    count = subprocess.run(["convert", str(shot), "-crop", inside, "-fill", "black", "+opaque", BACKDROP, "-fill", "white",
                            "-opaque", BACKDROP, "-format", "%[fx:int(mean*w*h+0.5)]", "info:"],
                           capture_output=True, check=True, text=True).stdout
    return int(count)


def case_wayland(box):
    start_weston(box, "tiny-wayland", "--width=1280", "--height=800")
    buses = start_buses(box)
    box.extra_env = {"QT_QPA_PLATFORM": "wayland", "WAYLAND_DISPLAY": "tiny-wayland", "WAYLAND_DEBUG": "1",
                     "DBUS_SESSION_BUS_ADDRESS": buses, "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}
    box.make_bundle(box.start_service("--download-url", box.start_nginx() + "/download/Corvala.zip") + "/config/prod")
    scaled_output(box, buses)
    box.installer = None
    proc = box.launch()
    box.wait_log("Show Welcome screen")
    protocol = lambda: box.console_path.read_text(errors="replace")  # noqa: E731

    # The application id is the desktop entry's name; the geometry is the panel, not its shadow.
    wait_for(lambda: ".set_app_id(" in protocol(), 20, "the application id")
    app_ids = re.findall(r'xdg_toplevel@(\d+)\.set_app_id\("([^"]*)"\)', protocol())
    check(app_ids and app_ids[0][1] == "tiny-installer", f"application ids {app_ids}")
    geometry = wait_for(lambda: re.findall(r"xdg_surface@\d+\.set_window_geometry\((-?\d+), (-?\d+), (\d+), (\d+)\)",
                                           protocol()), 20, "the window geometry")
    check(geometry[0] == ("24", "24", "1000", "640"), f"window geometries given to the compositor: {geometry}")

    reader = Reader(proc.pid)
    # The quit confirmation is the main window's child window.
    reader.press_button("Quit the installer")
    wait_for(lambda: re.search(r"xdg_toplevel@\d+\.set_parent\(xdg_toplevel@" + app_ids[0][0] + r"\)", protocol()),
             20, "the quit confirmation with the main window as its parent")
    # Its geometry too is the body, not the band of its shadow (24, 20, 24 and 28 points).
    surfaces = lambda: re.findall(r"xdg_surface@(\d+)\.set_window_geometry\((-?\d+), (-?\d+), (\d+), (\d+)\)", protocol())  # noqa: E731
    main_surface = surfaces()[0][0]
    alert = wait_for(lambda: [g for g in surfaces() if g[0] != main_surface], 20, "the confirmation's geometry")
    check(alert[-1][1:3] == ("24", "20"), f"the confirmation's geometries given to the compositor: {alert}")
    reader.press_button("No, stay")
    time.sleep(1.0)
    check(proc.poll() is None, "No, stay ended the installer")
    # A whole installation and the launch.
    reader.press_button("Install now")
    box.wait_log('"EVT":"Install"', timeout=90)
    reader.press_button("Get started")
    check(box.wait_exit(proc) == 0, "the installer did not end after the launch")
    wait_for(box.args_file.exists, 10, "the product to start")


def scaled_output(box, buses):
    """An output at scale 2 too small for the window (960 x 540 points): the window is drawn at
    1.5 pixels per point, a fraction of the output's 2. Its labels repaint after the first frame;
    no row of the window, nor of the quit confirmation, is left see-through."""
    compositor = start_weston(box, "tiny-wayland-2x", "--width=960", "--height=540", "--scale=2")
    env = {**box.env(), "QT_QPA_PLATFORM": "wayland", "WAYLAND_DISPLAY": "tiny-wayland-2x", "WAYLAND_DEBUG": "1",
           "DBUS_SESSION_BUS_ADDRESS": buses, "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}
    proc = box.launch(env=env, name="scale-2")
    box.wait_log("Show Welcome screen")
    time.sleep(1.5)  # the labels' repaint after their texts are set
    shot = wayland_screenshot(box, compositor, "welcome-wayland-scale-2")
    check(see_through_pixels(shot, "rgb(247,247,249)") == 0, f"{shot.name}: see-through rows inside the window")
    # Whole repaints only when something changed: an idle window sends the compositor no frames.
    commits = lambda: box.console_path.read_text(errors="replace").count("wl_surface@")  # noqa: E731
    idle = commits()
    time.sleep(1.0)
    check(commits() == idle, f"the idle window kept repainting ({commits() - idle} requests in a second)")
    Reader(proc.pid).press_button("Quit the installer")
    time.sleep(1.0)
    shot = wayland_screenshot(box, compositor, "confirmation-wayland-scale-2")
    check(see_through_pixels(shot, "rgb(255,255,255)") == 0, f"{shot.name}: see-through rows inside the confirmation")
    proc.terminate()
    box.wait_exit(proc)


if __name__ == "__main__":
    sys.exit(run_cases({"scales": case_scales, "wayland": case_wayland}, "display-"))
