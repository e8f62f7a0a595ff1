#!/usr/bin/python3
"""A person with a screen reader installs: the built installer driven through the accessibility bus.

    accessibility.py --bundle DIR --service EXE --archive ZIP --artifacts DIR

Xvfb gives the window a screen; a private session bus and at-spi2-core's bus launcher (which starts
the accessibility bus and, on demand, its registry) are the bus Linux screen readers use; the
installer runs with Qt's accessibility always on and is driven with pyatspi, the client library of
those readers, alone: no key presses, except Escape to close the licence window. Runs in English
and in Hebrew, to the placed product and to a failed download, are checked screen by screen
against the one table SCREENS below. First the installer starts once with no bus at all.
Everything started here is stopped again, also on failure.
"""

import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import time
import urllib.request
import xml.etree.ElementTree as ElementTree
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from harness import BINARY_NAME, DATA_PATH, Sandbox, wait_for  # noqa: E402

TRANSLATIONS = Path(__file__).resolve().parents[2] / "resources" / "i18n"
LANGUAGES = {"en": ("en_US.UTF-8", "en_US", "en-US"), "he": ("he_IL.UTF-8", "he", "he-IL")}
VENDOR, PRODUCT = "Brightmoor", "Corvala"
DIRECTION_MARKS = dict.fromkeys(map(ord, "\u200e\u200f"))

# What a screen reader meets on every screen, in reading order: (role, name). A name is a key of
# the translation tables (a tuple: the keys' texts run together, as in a sentence with links);
# PAGES stands for the carousel's titles and descriptions from the configuration.
PAGES = ("pages", None)
QUIT = ("push button", "QSAccessibleQuit")
SCREENS = {
    "welcome": [QUIT, ("label", "QSDetailText"), ("label", "QSLandingInfoOne"), ("label", "QSLandingInfoTwo"),
                ("label", "QSLandingInfoThree"),
                ("label", ("QSLicenceTextPart1", "QSLicenceTextPart2", "QSLicenceTextPart3", "QSLicenceTextPart4")),
                ("link", "QSLicenceTextPart2"), ("link", "QSLicenceTextPart4"), ("push button", "QSInstallNow")],
    "confirmation": [("label", "QSQuitTitle"), ("label", "QSQuitMessage"), ("push button", "QSNo"),
                     ("push button", "QSExit")],
    "licence": [("label", "QSLicenceTextPart2"), ("push button", "MessageClose")],
    "downloading": [QUIT, PAGES, ("progress bar", "QSAccessibleDownloadProgress"), ("status bar", "QSInstalling")],
    "finished": [QUIT, PAGES, ("status bar", "QSWelcome_To_Brightmoor"), ("push button", "QSstarted")],
    "failed": [QUIT, ("label", "MessageInstallationFailed"),
               ("label", ("MessageInstallationFailedDescription", "MessageInstallationFailedDescription1",
                          "MessageInstallationFailedDescription2", "MessageInstallationFailedClickHere",
                          "MessageInstallationFailedDescription3")),
               ("link", "MessageInstallationFailedDescription1"), ("link", "QSAccessibleInstallationGuide"),
               ("label", ("ContactSupportText", "ContactSupportText1")), ("link", "ContactSupportText1"),
               ("push button", "MessageClose"), ("push button", "QSContactSupport")],
}
# Objects that only hold others; a reader passes through them.
CONTAINERS = {"filler", "panel", "frame", "dialog", "alert", "layered pane", "scroll pane", "viewport"}
# Read-only document views (the licence text): their content is the document, not a control.
DOCUMENTS = {"text", "document frame", "paragraph", "scroll bar"}


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def translations(language):
    root = ElementTree.parse(TRANSLATIONS / f"installer_{language}.ts").getroot()
    return {m.get("id"): m.findtext("translation") for m in root.iter("message")}


class Texts:
    """The localised texts of one language, as the installer shows them."""

    def __init__(self, language):
        self.table = translations(language)

    def __call__(self, key):
        if isinstance(key, tuple):
            return "".join(self(k) for k in key)
        text = self.table[key]
        return text.replace("%@", VENDOR if key == "QSLicenceTextPart2" else PRODUCT)


class Buses:
    """A private session bus and the accessibility bus of at-spi2-core's launcher on it."""

    def __init__(self, box):
        self.box = box
        self.session = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                        stdout=subprocess.PIPE, text=True, start_new_session=True)
        self.address = self.session.stdout.readline().strip()
        check(self.address.startswith("unix:"), f"no session bus: {self.address!r}")
        env = dict(box.env(), DBUS_SESSION_BUS_ADDRESS=self.address)
        # The launcher starts the accessibility bus as its own child, and that bus starts the
        # registry: one process group to stop.
        self.launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=env,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                         start_new_session=True)

    def stop(self):
        """Each group whole: the launcher's holds the accessibility bus and the registry."""
        groups = (self.launcher.pid, self.session.pid)
        for sig in (signal.SIGTERM, signal.SIGKILL):
            for group in groups:
                try:
                    os.killpg(group, sig)
                except ProcessLookupError:
                    pass
            time.sleep(0.3)
        self.launcher.wait(timeout=10)
        self.session.wait(timeout=10)
        for group in groups:
            wait_for(lambda: subprocess.run(["pgrep", "-g", str(group)], capture_output=True).returncode != 0, 10,
                     f"process group {group} to end")


class Reader:
    """What a screen reader does: reads the tree of the installer's windows, hears its events and
    acts through the accessibility actions."""

    KINDS = ("object:state-changed:showing", "object:state-changed:focused", "object:property-change:accessible-name",
             "object:property-change:accessible-value", "object:text-changed")

    def __init__(self, pid):
        import pyatspi  # after the bus is up: the library finds it on first use
        from gi.repository import Atspi, GLib
        self.pyatspi, self.context = pyatspi, GLib.MainContext.default()
        self.heard = []
        pyatspi.Registry.registerEventListener(self._hear, *self.KINDS)
        self.app = self.until(lambda: self._application(pid), 30, "the installer on the accessibility bus")
        # Every question goes to the installer itself: what the test reads is what is there now.
        self.app.set_cache_mask(Atspi.Cache.NONE)

    def close(self):
        self.pyatspi.Registry.deregisterEventListener(self._hear, *self.KINDS)

    def _application(self, pid):
        desktop = self.pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.get_process_id() == pid:
                return app
        return None

    def _hear(self, event):
        try:
            source = event.source
            self.heard.append({"type": event.type, "detail": event.detail1, "role": source.getRoleName(),
                               "name": spoken(source.name), "description": spoken(source.description),
                               "value": value_of(source) if source.getRoleName() == "progress bar" else None})
        except Exception as error:  # an object gone before it was read: heard, but nameless
            self.heard.append({"type": event.type, "detail": event.detail1, "error": str(error)})

    def pump(self, seconds=0.05):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            while self.context.pending():
                self.context.iteration(False)
            time.sleep(0.01)

    def until(self, predicate, timeout, what):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                value = predicate()
            except Exception:  # an object that went away while it was read
                value = None
            if value:
                return value
            self.pump()
        raise AssertionError(f"timed out after {timeout}s waiting for {what}")

    def window(self, role, name=None):
        for window in self.app:
            if window is not None and window.getRoleName() == role and showing(self.pyatspi, window) \
                    and (name is None or spoken(window.name) == name):
                return window
        return None

    def items(self, root):
        """(role, name, object) of every shown object under root in reading order, containers left out."""
        found = []

        def visit(node):
            for child in node:
                if child is None or not showing(self.pyatspi, child):
                    continue
                role, name = child.getRoleName(), spoken(child.name)
                # A container a reader would name (a named picture, a named panel) counts too.
                if role not in CONTAINERS or (role in ("filler", "panel") and name):
                    found.append((role, name, child))
                if role not in DOCUMENTS:
                    visit(child)
        visit(root)
        return found

    def find(self, root, role, name):
        return next((node for r, n, node in self.items(root) if r == role and n == name), None)

    def focused(self, root):
        return next(((r, n) for r, n, node in self.items(root)
                     if node.getState().contains(self.pyatspi.STATE_FOCUSED)), None)

    def extents(self, node):
        e = node.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        return e.x, e.y, e.x + e.width, e.y + e.height

    def inside(self, inner, outer):
        (x1, y1, x2, y2), (ox1, oy1, ox2, oy2) = self.extents(inner), self.extents(outer)
        return x2 - x1 > 0 and y2 - y1 > 0 and ox1 <= x1 and oy1 <= y1 and x2 <= ox2 and y2 <= oy2

    def act(self, node, action):
        actions = node.queryAction()
        names = [actions.getName(i) for i in range(actions.nActions)]
        check(action in names, f"{node.name!r} offers {names}, not {action}")
        actions.doAction(names.index(action))


def spoken(text):
    return (text or "").translate(DIRECTION_MARKS)


def showing(pyatspi, node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def value_of(node):
    return node.queryValue().currentValue


def expected_screen(name, texts, pages):
    expected = []
    for role, key in SCREENS[name]:
        expected.extend(pages if (role, key) == PAGES else [(role, texts(key))])
    return expected


def check_screen(reader, root, name, texts):
    """The screen's objects against the table: roles and localised names in reading order, and no
    two controls with one name."""
    seen = [(role, name_) for role, name_, _ in reader.items(root) if role not in DOCUMENTS]
    pages = [item for item in seen if item[0] == "label"] if PAGES in SCREENS[name] else []
    # The carousel shows its first page, or already one of the next.
    check(PAGES not in SCREENS[name] or pages and all(n in PAGE_TEXTS for _, n in pages), f"carousel {pages}")
    expected = expected_screen(name, texts, pages)
    check(seen == expected, f"{name}: read\n  {seen}\nexpected\n  {expected}")
    controls = [n for r, n in seen if r in ("push button", "link")]
    check(len(controls) == len(set(controls)), f"{name}: two controls share a name: {controls}")


PAGE_TEXTS = set()


def carousel_texts(box, locale):
    with urllib.request.urlopen(box.service_url + "/config/prod", timeout=10) as answer:
        document = json.load(answer)
    entry = next(e for e in document["config"] if e.get("appName") == PRODUCT)
    screens = next(s["content"] for s in entry["screens"] if s["locale"] == locale)
    return {text for page in screens for text in (page["text1"], page["text2"])}


def prepare(box, language, outcome, buses):
    """A fresh person (nothing installed) and the installer's environment for one run."""
    shutil.rmtree(box.apps / BINARY_NAME, ignore_errors=True)
    shutil.rmtree(box.root / "TinyInstaller.app", ignore_errors=True)
    shutil.rmtree(box.home / DATA_PATH.lstrip("/"), ignore_errors=True)
    box.args_file.unlink(missing_ok=True)
    lang, languages, _ = LANGUAGES[language]
    extra = {"LANG": lang, "LANGUAGE": languages, "PATH": f"{box.root / 'bin'}:{os.environ['PATH']}",
             "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
             "DBUS_SESSION_BUS_ADDRESS": buses.address if buses else f"unix:path={box.root}/no-bus"}
    box.env = lambda: dict(Sandbox.env(box), **extra)
    # The download host has the archive, or (for a failed download) answers 404 to every attempt.
    download = "Corvala.zip" if outcome == "installed" else "missing.zip"
    box.make_bundle(box.start_service("--download-url", f"{box.nginx_url}/download/{download}") + "/config/prod")


def opened_urls(box):
    path = box.root / "opened.txt"
    return path.read_text().split() if path.exists() else []


def walk(box, buses, language, outcome):
    """One run, as a screen-reader user goes through it."""
    texts = Texts(language)
    prepare(box, language, outcome, buses)
    PAGE_TEXTS.clear()
    PAGE_TEXTS.update(carousel_texts(box, LANGUAGES[language][2]))
    box.installer = None
    installer = box.launch()
    reader = Reader(installer.pid)
    try:
        frame = reader.until(lambda: reader.window("frame"), 30, "the main window")
        check(spoken(frame.name) == PRODUCT, f"main window named {frame.name!r}")
        reader.until(lambda: reader.find(frame, "push button", texts("QSInstallNow")), 30, "Install")
        welcome = box.screenshot(f"{language}-welcome")
        check_screen(reader, frame, "welcome", texts)
        check(reader.focused(frame) == ("push button", texts("QSInstallNow")), f"welcome focus {reader.focused(frame)}")

        # The links: named for where they go, their addresses as descriptions; the licence link
        # opens its page as a click does.
        links = [node for role, _, node in reader.items(frame) if role == "link"]
        targets = [node.description for node in links]
        check(all(t.startswith("https://") for t in targets), f"link targets {targets}")
        # Where each link is drawn: a part of its sentence, for readers that follow the pointer.
        for link in links:
            check(reader.inside(link, link.parent), f"link {link.name!r} drawn outside its text")
        check(len({reader.extents(link) for link in links}) == len(links), "two links in one place")
        reader.act(links[0], "Press")
        wait_for(lambda: opened_urls(box)[-1:] == targets[:1], 10, "the licence link's page to open")

        if outcome == "installed":
            confirm_and_stay(box, reader, frame, texts)
            licence_window(box, reader, texts)

        heard_before = len(reader.heard)
        reader.act(reader.find(frame, "push button", texts("QSInstallNow")), "Press")
        if outcome == "installed":
            install(box, reader, frame, texts, heard_before)
        else:
            fail(box, reader, frame, texts, heard_before)
        check(box.wait_exit(installer, timeout=30) == 0, "installer did not exit 0")
    finally:
        reader.close()
        if installer.poll() is None:
            installer.terminate()
            installer.wait(timeout=30)
    return welcome


def confirm_and_stay(box, reader, frame, texts):
    """The cross asks first: an alert window, heard with its title and message, the keyboard on
    "No, stay", which keeps the installer."""
    reader.act(reader.find(frame, *QUIT[:1], texts(QUIT[1])), "Press")
    alert = reader.until(lambda: reader.window("alert"), 20, "the quit confirmation")
    check((spoken(alert.name), spoken(alert.description)) == (texts("QSQuitTitle"), texts("QSQuitMessage")),
          f"confirmation heard as {alert.name!r} / {alert.description!r}")
    check_screen(reader, alert, "confirmation", texts)
    reader.until(lambda: reader.focused(alert) == ("push button", texts("QSNo")), 10, "the keyboard on 'No, stay'")
    box.screenshot("confirmation")
    reader.act(reader.find(alert, "push button", texts("QSNo")), "Press")
    reader.until(lambda: not reader.window("alert"), 20, "the confirmation to close")


def licence_window(box, reader, texts):
    """The licence window (opened by the command URL, as from the maker's page): a dialog named by
    its title with a close control of its own; Escape closes it."""
    title = texts("QSLicenceTextPart2")
    second = box.launch("qsd://licenseAgreement")
    check(box.wait_exit(second, timeout=30) == 0, "second instance did not exit 0")
    dialog = reader.until(lambda: reader.window("dialog", title), 20, "the licence window")
    check_screen(reader, dialog, "licence", texts)
    box.screenshot("licence")
    box.key("Escape", title=title)
    reader.until(lambda: not reader.window("dialog", title), 20, "Escape to close the licence window")


def install(box, reader, frame, texts, heard_before):
    """The download heard as it goes: the status line's text and the bar's value, read and heard."""
    bar = reader.until(lambda: reader.find(frame, "progress bar", texts("QSAccessibleDownloadProgress")), 30,
                       "the progress bar")
    status = reader.find(frame, "status bar", texts("QSInstalling"))
    check(status is not None and spoken(status.queryText().getText(0, -1)) == texts("QSInstalling"),
          "the status line's text is not exposed")
    box.screenshot("downloading")
    check_screen(reader, frame, "downloading", texts)
    values = [value_of(bar)]
    reader.until(lambda: values.append(value_of(bar)) or not showing(reader.pyatspi, bar), 120,
                 "the download to end")
    check(any(0 < v < 100 for v in values) and values == sorted(values), f"bar values read {values}")
    finished = texts("QSWelcome_To_Brightmoor")
    reader.until(lambda: reader.find(frame, "status bar", finished), 30, "the finished status")
    heard = reader.heard[heard_before:]
    valued = [e["value"] for e in heard if e["type"].endswith("accessible-value") and e.get("role") == "progress bar"]
    check(len(valued) >= 3 and valued == sorted(valued), f"value changes heard {valued}")
    statuses = {e.get("name") for e in heard if e.get("role") == "status bar" and
                e["type"].startswith(("object:property-change:accessible-name", "object:text-changed"))}
    check({texts("QSInstalling"), finished} <= statuses, f"status changes heard {statuses}")
    check_screen(reader, frame, "finished", texts)
    reader.until(lambda: reader.focused(frame) == ("push button", texts("QSstarted")), 10, "the keyboard on Launch")
    box.screenshot("finished")
    reader.act(reader.find(frame, "push button", texts("QSstarted")), "Press")
    wait_for(box.args_file.exists, 30, "the product to start")


def fail(box, reader, frame, texts, heard_before):
    """A failed download: the failure screen heard as an alert, the keyboard on its first action."""
    title = texts("MessageInstallationFailed")
    reader.until(lambda: any(e["type"] == "object:state-changed:showing" and e["detail"] == 1 and
                             e.get("role") == "alert" and e.get("name") == title
                             for e in reader.heard[heard_before:]), 90, "the failure to be announced")
    announced = next(e for e in reader.heard[heard_before:] if e.get("role") == "alert" and e.get("name") == title)
    message = texts(SCREENS["failed"][2][1])
    check(announced["description"] == message, f"failure heard with {announced['description']!r}")
    box.screenshot("failed")
    check_screen(reader, frame, "failed", texts)
    close = ("push button", texts("MessageClose"))
    reader.until(lambda: reader.focused(frame) == close, 10, "the keyboard on Close")
    shown = {(r, n) for r, n, _ in reader.items(frame)}
    focused = [(e["role"], e["name"]) for e in reader.heard[heard_before:]
               if e["type"] == "object:state-changed:focused" and e["detail"] == 1 and e.get("role") == "push button"]
    check(all(f in shown for f in focused[-2:]), f"the keyboard went to a hidden action: {focused}")
    reader.act(reader.find(frame, *close), "Press")


def differing_pixels(first, second):
    result = subprocess.run(["compare", "-metric", "AE", str(first), str(second), "null:"],
                            capture_output=True, text=True)
    return int(float(result.stderr.split()[0]))


def start_without_bus(box):
    """No session bus, no accessibility bus, accessibility asked for all the same: the installer
    starts as fast and shows the same welcome screen."""
    prepare(box, "en", "installed", None)
    started = time.monotonic()
    box.installer = None
    installer = box.launch()
    box.wait_log("Show Welcome screen", timeout=30)
    wait_for(lambda: box.focused_window(installer.pid), 30, "the installer's window")
    print(f"welcome window after {time.monotonic() - started:.2f} s without an accessibility bus")
    time.sleep(1.0)
    shot = box.screenshot("en-welcome-without-bus")
    installer.terminate()
    check(installer.wait(timeout=30) == 0, "installer without a bus did not end on SIGTERM")
    return shot


def main():
    parser = argparse.ArgumentParser()
    for option in ("--bundle", "--service", "--archive", "--artifacts"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    box = Sandbox(args.bundle, args.service, args.archive, args.artifacts, "accessibility")
    buses = None
    try:
        box.start_display()
        os.environ["DISPLAY"] = box.display
        (box.root / "bin").mkdir()
        fake_browser = box.root / "bin" / "xdg-open"
        fake_browser.write_text(f'#!/bin/sh\necho "$1" >> {box.root}/opened.txt\n')
        fake_browser.chmod(0o755)
        # Slow enough that the download is read and heard on its way.
        box.nginx_url = box.start_nginx(limit_rate="200k")
        without_bus = start_without_bus(box)
        buses = Buses(box)
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = buses.address
        for language, outcome in (("en", "installed"), ("he", "failed"), ("he", "installed"), ("en", "failed")):
            welcome = walk(box, buses, language, outcome)
            if without_bus:  # the same screen, to the pixel, whether a reader listens or not
                check(differing_pixels(without_bus, welcome) == 0, "the welcome screen differs with a reader")
                without_bus = None
    except Exception as error:
        box.screenshot("failure")
        print(f"FAILED accessibility: {error}", file=sys.stderr)
        return finish(box, buses, 1)
    return finish(box, buses, 0)


def finish(box, buses, status):
    try:
        box.stop_processes()
        if buses:
            buses.stop()
    except Exception as error:
        print(f"FAILED accessibility: {error}", file=sys.stderr)
        status = 1
    finally:
        box.close()
    if status == 0:
        print(f"passed accessibility; artifacts in {box.artifacts}")
    return status


if __name__ == "__main__":
    sys.exit(main())
