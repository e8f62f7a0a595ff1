#!/usr/bin/env python3
"""End-to-end cases over HTTPS: the built installer under Xvfb, every request to nginx with a
certificate of the test authority (named to the installer by SSL_CERT_FILE).

    e2e_https.py --case NAME --bundle DIR --service EXE --archive ZIP --artifacts DIR

  https        the same installation over HTTP and over HTTPS (configuration, download, page
               images, analytics, log upload): the run logs and the events agree record for
               record, times and addresses aside.
  https_proxy  the installation over HTTPS through tinyproxy (https_proxy, CONNECT): every one of
               the five requests reaches nginx from the proxy's own address.
"""

import json
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e import analytics_batches, check, install_until_finished, uploaded_lines  # noqa: E402
from harness import BINARY_NAME, Sandbox, free_port, run_cases  # noqa: E402

# The five kinds of request, as paths in nginx's access log.
REQUESTS = {"configuration": "GET /config/prod ", "download": "GET /download/Corvala.zip ",
            "page image": "GET /images/", "analytics": "POST /analytics ", "log upload": "PUT /logs/"}
PROXY_SOURCE = "127.0.0.3"  # any loopback address works; nothing else on the machine uses this one


def install_and_launch(box, https, proxy_source=None):
    """One whole run: Install, the finished state, Launch; the service collects the batch and the
    log (answered 200, so the installer deletes its own copy). With proxy_source, every request
    goes through tinyproxy, whose connections leave from that address."""
    box.start_display()
    if proxy_source:
        box.extra_env.update(https_proxy=box.start_tinyproxy(bind=proxy_source), no_proxy="")
    box.make_certificates()  # over HTTP too, so both runs start with the same records
    service_port = free_port()
    nginx = box.start_nginx(https_service_port=service_port)
    if https:
        base = box.https_url()
        box.start_service("--port", str(service_port), "--public-base", base, "--download-url",
                          base + "/download/Corvala.zip")
        config_url = base + "/config/prod"
    else:
        service = box.start_service("--port", str(service_port), "--download-url", nginx + "/download/Corvala.zip")
        config_url = service + "/config/prod"
    box.make_bundle(config_url)
    box.launch()
    box.wait_log("Show Welcome screen")
    install_until_finished(box)
    box.key("Return")  # Launch
    check(box.wait_exit() == 0, "installer did not exit cleanly after Launch")
    check((box.apps / BINARY_NAME / "Contents" / "MacOS" / "Corvala").is_file(), "product not placed")
    batches = analytics_batches(box)
    check(len(batches) == 1, f"expected one analytics POST, got {len(batches)}")
    return uploaded_lines(box), batches[0]


ADDRESS = re.compile(r"https?://127\.0\.0\.1:\d+")
NUMBER = re.compile(r"\d+(\.\d+)?")


def record_shape(line, root):
    """A run-log record without what differs from run to run: its time, the sandbox's folder,
    addresses, and the numbers in messages (durations, ports); the source lines stay."""
    start = line.index('"message":')
    end = line.index(', "lang": ')
    message = ADDRESS.sub("URL", line[start:end].replace(str(root), "ROOT"))
    if '"trace": "EVT"' in line:
        fields = json.loads(message[len('"message":'):].strip())
        fields.pop("T", None)
        return "EVT " + json.dumps(fields, sort_keys=True)
    return line[line.index('"trace":'):start] + NUMBER.sub("N", message) + line[end:]


def event_shape(fields):
    shaped = {k: ADDRESS.sub("URL", v) if isinstance(v, str) else v for k, v in fields.items() if k != "T"}
    return json.dumps(shaped, sort_keys=True)


def case_https(box):
    plain = Sandbox(box.bundle_src, box.service_exe, box.archive, box.artifacts.parent, "https-plain")
    try:
        plain_log, plain_batch = install_and_launch(plain, https=False)
    finally:
        plain.close()
    log, batch = install_and_launch(box, https=True)
    requests = (box.root / "nginx-tls-access.log").read_text()
    for what, needle in REQUESTS.items():
        check(needle in requests, f"no {what} over HTTPS in nginx's log")
    # The carousel turns its pages by the clock: how many turns a run records is a matter of time.
    ours = [record_shape(line, box.root) for line in log if "PAGE CHANGED TO" not in line]
    theirs = [record_shape(line, plain.root) for line in plain_log if "PAGE CHANGED TO" not in line]
    check(any("Trusting 1 certificate authorities of SSL_CERT_FILE" in line for line in log),
          "no record of the authority that SSL_CERT_FILE names")
    for i, (a, b) in enumerate(zip(ours, theirs)):
        check(a == b, f"record {i + 1} differs:\n  https: {a}\n  http:  {b}")
    check(len(ours) == len(theirs), f"{len(ours)} records over HTTPS, {len(theirs)} over HTTP")
    check([event_shape(f) for _, f in batch] == [event_shape(f) for _, f in plain_batch],
          "the analytics batches differ")


def case_https_proxy(box):
    install_and_launch(box, https=True, proxy_source=PROXY_SOURCE)
    lines = (box.root / "nginx-tls-access.log").read_text().splitlines()
    for what, needle in REQUESTS.items():
        check(any(needle in line for line in lines), f"no {what} in nginx's log")
    direct = [line for line in lines if not line.startswith(PROXY_SOURCE + " ")]
    check(not direct, f"requests that did not come through the proxy: {direct}")
    check("CONNECT 127.0.0.1:" in (box.root / "tinyproxy.log").read_text(), "tinyproxy logged no CONNECT")


CASES = {"https": case_https, "https_proxy": case_https_proxy}


if __name__ == "__main__":
    sys.exit(run_cases(CASES))
