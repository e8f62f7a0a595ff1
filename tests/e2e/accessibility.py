#!/usr/bin/python3
"""A person with a screen reader installs: the built installer under Xvfb, with Qt's accessibility
always on, driven through at-spi2-core's bus with pyatspi, the client library of Linux screen
readers, alone. A run in Hebrew (right to left) to the placed product is checked screen by screen
against the one table SCREENS below.
"""

import json
import os
import subprocess
import sys
import urllib.request
import xml.etree.ElementTree as ElementTree
from contextlib import suppress
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from harness import check, run_cases, wait_for  # noqa: E402

TRANSLATIONS = Path(__file__).resolve().parents[2] / "resources" / "i18n"
VENDOR, PRODUCT = "Brightmoor", "Corvala"
DIRECTION_MARKS = dict.fromkeys(map(ord, "\u200e\u200f"))

# What a screen reader meets on every screen, in reading order: (role, name). A name is a key of
# the translation tables (a tuple: the keys' texts run together, as in a sentence with links);
# PAGES stands for the carousel's titles and descriptions from the configuration, and its closing text.
PAGES = ("pages", None)
QUIT = ("push button", "QSAccessibleQuit")
SCREENS = {
    "welcome": [QUIT, ("label", "QSDetailText"), ("label", "QSLandingInfoOne"), ("label", "QSLandingInfoTwo"),
                ("label", "QSLandingInfoThree"),
                ("label", ("QSLicenceTextPart1", "QSLicenceTextPart2", "QSLicenceTextPart3", "QSLicenceTextPart4")),
                ("link", "QSLicenceTextPart2"), ("link", "QSLicenceTextPart4"), ("push button", "QSInstallNow")],
    "confirmation": [("label", "QSQuitTitle"), ("label", "QSQuitMessage"), ("push button", "QSNo"),
                     ("push button", "QSExit")],
    "downloading": [QUIT, PAGES, ("progress bar", "QSAccessibleDownloadProgress"), ("status bar", "QSInstalling")],
    "finished": [QUIT, PAGES, ("status bar", "QSWelcome_To_Brightmoor"), ("push button", "QSstarted")],
}
# Objects that only hold others; a reader passes through them.
CONTAINERS = {"filler", "panel", "frame", "dialog", "alert", "layered pane", "scroll pane", "viewport"}
# Read-only document views (the licence text): their content is the document, not a control.
DOCUMENTS = {"text", "document frame", "paragraph", "scroll bar"}


def hebrew():
    """The texts of a key (or a tuple of keys, run together) as the installer shows them in Hebrew."""
    table = {m.get("id"): m.findtext("translation")
             for m in ElementTree.parse(TRANSLATIONS / "installer_he.ts").getroot().iter("message")}
    return lambda key: "".join(table[k].replace("%@", VENDOR if k == "QSLicenceTextPart2" else PRODUCT)
                               for k in (key if isinstance(key, tuple) else (key,)))


def start_buses(box):
    """A private session bus and the accessibility bus of at-spi2-core's launcher on it (which
    starts its registry); returns the session bus's address, also for pyatspi in this process."""
    session = box.start_process(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                stdout=subprocess.PIPE, text=True)
    address = session.stdout.readline().strip()
    check(address.startswith("unix:"), f"no session bus: {address!r}")
    box.start_process(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                      env=dict(box.env(), DBUS_SESSION_BUS_ADDRESS=address))
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
    return address


def spoken(text):
    return (text or "").translate(DIRECTION_MARKS)


class Reader:
    """What a screen reader does: reads the tree of the installer's windows, hears its events and
    acts through the accessibility actions."""

    KINDS = ("object:property-change:accessible-name", "object:property-change:accessible-value", "object:text-changed",
             "focus:")

    def __init__(self, pid):
        import pyatspi  # after the bus is up: the library finds it on first use
        from gi.repository import Atspi, GLib
        self.pyatspi, self.context = pyatspi, GLib.MainContext.default()
        self.heard = []
        pyatspi.Registry.registerEventListener(self._hear, *self.KINDS)
        self.app = self.until(lambda: next((a for a in pyatspi.Registry.getDesktop(0)
                                            if a is not None and a.get_process_id() == pid), None),
                              30, "the installer on the accessibility bus")
        # Every question goes to the installer itself: what the test reads is what is there now.
        self.app.set_cache_mask(Atspi.Cache.NONE)

    def _hear(self, event):
        """(kind, role, name, value) of what was heard; an object gone before it was read is left out."""
        with suppress(Exception):
            role = event.source.getRoleName()
            value = event.source.queryValue().currentValue if role == "progress bar" else None
            if event.type.startswith("object:text-changed"):
                value = spoken(event.any_data)  # the text deleted or inserted
            self.heard.append((event.type, role, spoken(event.source.name), value))

    def last_focus(self):
        """(role, name) of the object a reader last heard take the focus."""
        return next(((role, name) for kind, role, name, _ in reversed(self.heard) if kind.startswith("focus")), None)

    def until(self, predicate, timeout, what):
        """wait_for, hearing the events in between; an object that went away while read counts as false."""
        def heard_then(predicate):
            while self.context.pending():
                self.context.iteration(False)
            return predicate()
        return wait_for(lambda: heard_then(predicate), timeout, what, interval=0.05, tolerate=(Exception,))

    def showing(self, node):
        return node.getState().contains(self.pyatspi.STATE_SHOWING)

    def window(self, role):
        return next((w for w in self.app if w is not None and w.getRoleName() == role and self.showing(w)), None)

    def items(self, root):
        """(role, name, object) of every shown object under root in reading order, containers left out."""
        found = []

        def visit(node):
            for child in node:
                if child is None or not self.showing(child):
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
        focused = self.pyatspi.STATE_FOCUSED
        return next(((r, n) for r, n, node in self.items(root) if node.getState().contains(focused)), None)

    def extents(self, node):
        e = node.queryComponent().getExtents(self.pyatspi.DESKTOP_COORDS)
        return e.x, e.y, e.x + e.width, e.y + e.height

    def press(self, node):
        actions = node.queryAction()
        names = [actions.getName(i) for i in range(actions.nActions)]
        check("Press" in names, f"{node.name!r} offers {names}, not Press")
        actions.doAction(names.index("Press"))

    def press_button(self, name):
        """Waits for a shown push button of that name, in any window, and presses it."""
        self.press(self.until(lambda: next((b for w in self.app if w is not None for b in [self.find(w, "push button", name)]
                                            if b), None), 30, f"the button {name!r}"))


def check_screen(reader, root, name, texts, page_texts):
    """The screen's objects against the table: roles and localised names in reading order (the
    carousel on its first page or one of the next), and no two controls with one name."""
    seen = [(role, name_) for role, name_, _ in reader.items(root) if role not in DOCUMENTS]
    pages = [item for item in seen if item[0] == "label"] if PAGES in SCREENS[name] else []
    check(all(n in page_texts for _, n in pages) and (pages or PAGES not in SCREENS[name]), f"carousel {pages}")
    expected = []
    for role, key in SCREENS[name]:
        expected.extend(pages if (role, key) == PAGES else [(role, texts(key))])
    check(seen == expected, f"{name}: read\n  {seen}\nexpected\n  {expected}")
    controls = [n for r, n in seen if r in ("push button", "link")]
    check(len(controls) == len(set(controls)), f"{name}: two controls share a name: {controls}")


def case_accessibility(box):
    """The run in Hebrew (right to left) as a screen-reader user goes through it; what the links
    open is written down by an xdg-open of the test's own instead of shown."""
    box.start_display("1920x1080")
    os.environ["DISPLAY"] = box.display
    (box.root / "bin").mkdir()
    (box.root / "bin" / "xdg-open").write_text(f'#!/bin/sh\necho "$1" >> {box.root}/opened.txt\n')
    (box.root / "bin" / "xdg-open").chmod(0o755)
    box.extra_env = {"LANG": "he_IL.UTF-8", "LANGUAGE": "he", "PATH": f"{box.root / 'bin'}:{os.environ['PATH']}",
                     "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "DBUS_SESSION_BUS_ADDRESS": start_buses(box),
                     "QT_SCALE_FACTOR": "1.25"}  # positions are given in device pixels, where a magnifier looks
    # Slow enough that the download is read and heard; an error page as long as an archive.
    nginx = box.start_nginx(limit_rate="200k", not_found_bytes=600_000)
    service = box.start_service("--download-url", nginx + "/download/Corvala.zip")
    box.make_bundle(service + "/config/prod")
    with urllib.request.urlopen(service + "/config/prod", timeout=10) as answer:
        entry = next(e for e in json.load(answer)["config"] if e.get("appName") == PRODUCT)
    texts = hebrew()
    pages = {text for page in next(s["content"] for s in entry["screens"] if s["locale"] == "he-IL")
             for text in (page["text1"], page["text2"])} | {texts("MessageContent")}  # the carousel's closing text
    installer = box.launch()
    reader = Reader(installer.pid)
    frame = reader.until(lambda: reader.window("frame"), 30, "the main window")
    x, y, w, h = box.window_geometry(wait_for(lambda: box.focused_window(installer.pid), 30, "the installer's window"))
    check(reader.extents(frame) == (x, y, x + w, y + h), f"the window at {reader.extents(frame)}, on screen at {x, y, w, h}")
    check(spoken(frame.name) == PRODUCT and spoken(reader.app.name) == PRODUCT,
          f"main window named {frame.name!r}, the application {reader.app.name!r}")
    install = ("push button", texts("QSInstallNow"))
    reader.until(lambda: reader.find(frame, *install), 30, "Install")
    box.screenshot("welcome")
    check_screen(reader, frame, "welcome", texts, pages)
    check(reader.focused(frame) == install, f"welcome focus {reader.focused(frame)}")

    # The links: named for where they go, their addresses as descriptions, each drawn on a part
    # of its own sentence (for readers that follow the pointer); a press opens the page.
    links = [node for role, _, node in reader.items(frame) if role == "link"]
    targets, spans = [n.description for n in links], [(reader.extents(n), reader.extents(n.parent)) for n in links]
    check(all(t.startswith("https://") for t in targets) and len({s for s, _ in spans}) == len(links),
          f"links {targets} at {spans}")
    check(all(p[0] <= x1 < x2 <= p[2] and p[1] <= y1 < y2 <= p[3] for (x1, y1, x2, y2), p in spans), f"off: {spans}")
    reader.press(links[0])
    opened = box.root / "opened.txt"
    wait_for(lambda: opened.exists() and opened.read_text().split()[-1:] == targets[:1], 10, "the licence link's page")

    # The licence, as a reader meets it: the keyboard in a document whose text is offered, its
    # three links as links that Tab reaches one by one; closed, the keyboard is back on Install.
    check(box.wait_exit(box.launch("qsd://licenseAgreement"), timeout=20) == 0, "the second start did not exit 0")
    dialog = reader.until(lambda: reader.window("dialog"), 30, "the licence window")
    document = reader.until(lambda: next(n for r, _, n in reader.items(dialog) if r == "document frame"), 10, "the document")
    reader.until(lambda: document.getState().contains(reader.pyatspi.STATE_FOCUSED), 10, "the keyboard in the document")
    content = document.queryText().getText(0, -1)
    doc_links = [child for child in document if child.getRoleName() == "link"]
    check(len(content) > 1000 and [spoken(n.name) for n in doc_links] ==
          ["Privacy Statement", "brightmoor.example/corvala/terms", "Brightmoor Support"]
          and all(n.description.startswith("https://") for n in doc_links),
          f"licence read as {len(content)} characters with links {[(n.name, n.description) for n in doc_links]}")
    box.screenshot("licence")
    for link in doc_links[:2]:
        box.xdotool("key", "Tab")
        reader.until(lambda: link.getState().contains(reader.pyatspi.STATE_FOCUSED), 10, f"the keyboard on {link.name!r}")
        reader.until(lambda: reader.last_focus() == ("link", spoken(link.name)), 10, f"{link.name!r} heard last")
    reader.press(reader.find(dialog, "push button", texts("MessageClose")))
    reader.until(lambda: not reader.window("dialog") and reader.focused(frame) == install, 20, "the keyboard back on Install")
    # Tab onto the sentence's first link: the link is what is heard, not the sentence.
    box.xdotool("key", "shift+Tab")
    reader.until(lambda: reader.last_focus() == ("link", texts("QSLicenceTextPart4")), 10, "the sentence's last link heard")

    # The cross asks first: an alert, heard with its title and message, the keyboard on "No, stay".
    cross = reader.find(frame, QUIT[0], texts(QUIT[1]))
    check(spoken(cross.description) in ("", texts(QUIT[1])), f"the cross described as {cross.description!r}")
    reader.press(cross)
    alert = reader.until(lambda: reader.window("alert"), 20, "the quit confirmation")
    check((spoken(alert.name), spoken(alert.description)) == (texts("QSQuitTitle"), texts("QSQuitMessage")),
          f"confirmation heard as {alert.name!r} / {alert.description!r}")
    check_screen(reader, alert, "confirmation", texts, pages)
    stay = ("push button", texts("QSNo"))
    reader.until(lambda: reader.focused(alert) == stay, 10, "the keyboard on 'No, stay'")
    reader.press(reader.find(alert, *stay))
    reader.until(lambda: not reader.window("alert"), 20, "the confirmation to close")

    # The download heard as it goes: the bar's value and the status line; then Launch. The first
    # answer is the long error page (the archive is away): the bar is not moved by it, and the
    # retry it asks for after 3 seconds brings the archive.
    archive = box.www / "Corvala.zip"
    archive.rename(archive.with_suffix(".away"))
    heard_before = len(reader.heard)
    reader.press(reader.find(frame, *install))
    bar = reader.until(lambda: reader.find(frame, "progress bar", texts("QSAccessibleDownloadProgress")), 30, "the bar")
    # The keyboard goes from Install straight to the bar, which says how far the installer is.
    reader.until(lambda: reader.focused(frame) == ("progress bar", texts("QSAccessibleDownloadProgress")), 10, "the focus on the bar")
    moves = [(role, name) for kind, role, name, _ in reader.heard[heard_before:] if kind.startswith("focus")]
    check(moves == [("progress bar", texts("QSAccessibleDownloadProgress"))], f"the focus went {moves}")
    retrying = texts("QSRetryingDownload").replace(PRODUCT, "3")
    reader.until(lambda: any(role == "status bar" and retrying in (name, value) for _, role, name, value in reader.heard),
                 30, "the retry heard")
    archive.with_suffix(".away").rename(archive)
    failed = [value for kind, role, _, value in reader.heard[heard_before:] if kind.endswith("accessible-value") and role == "progress bar"]
    check(not any(failed) and bar.queryValue().currentValue == 0, f"values heard for the error page {failed}")
    reader.until(lambda: reader.find(frame, "status bar", texts("QSInstalling")), 30, "the second attempt")
    box.screenshot("downloading")
    check_screen(reader, frame, "downloading", texts, pages)
    finished = texts("QSWelcome_To_Brightmoor")
    reader.until(lambda: not reader.showing(bar) and reader.find(frame, "status bar", finished), 120, "the finished status")
    heard = reader.heard[heard_before:]
    values = [value for kind, role, _, value in heard if kind.endswith("accessible-value") and role == "progress bar"]
    check(len(values) >= 3 and values == sorted(values) and any(0 < v < 100 for v in values), f"values heard {values}")
    statuses = {name for kind, role, name, _ in heard if role == "status bar" and not kind.endswith("accessible-value")}
    check({texts("QSInstalling"), finished} <= statuses, f"status changes heard {statuses}")
    # Each change is told once, as the old text deleted and the new one inserted.
    changes = [(kind.rsplit(":", 1)[1], text) for kind, role, _, text in heard
               if role == "status bar" and kind.startswith("object:text-changed")]
    check(changes == [("insert", retrying), ("delete", retrying), ("insert", texts("QSInstalling")),
                      ("delete", texts("QSInstalling")), ("insert", finished)],
          f"status text changes heard {changes}")
    check_screen(reader, frame, "finished", texts, pages)
    launch = ("push button", texts("QSstarted"))
    reader.until(lambda: reader.focused(frame) == launch, 10, "the keyboard on Launch")
    # "Welcome to Brightmoor!" is heard before the keyboard reaches the launch button.
    order = [(kind, name) for kind, role, name, _ in reader.heard[heard_before:]
             if (role == "status bar" and name == finished) or (kind.startswith("focus") and (role, name) == launch)]
    check(order and order[0][1] == finished and order[-1][0].startswith("focus"), f"the end heard as {order}")
    box.screenshot("finished")
    reader.press(reader.find(frame, *launch))
    wait_for(box.args_file.exists, 30, "the product to start")
    check(box.wait_exit(timeout=30) == 0, "installer did not exit 0")


if __name__ == "__main__":
    sys.exit(run_cases({"accessibility": case_accessibility}))
