#!/usr/bin/env python3
"""Loopback load on `hwsnap --listen`: 2,000 requests from 32 concurrent clients, mixing good
scrapes with wrong paths, wrong methods, oversized headers and clients that hang up mid-request.
Every good scrape must be answered in full, snapshots must never overlap (the begin/end lines
that --log prints alternate), and the resident memory must not grow from one round to the next."""
import concurrent.futures
import http.client
import re
import socket
import subprocess
import sys
import threading

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from prometheus_scrape import start_hwsnap, stop  # noqa: E402

hwsnap, machine = sys.argv[1], sys.argv[2]
# A sanitizer's quarantine holds freed memory on purpose: RSS says nothing there.
CHECK_RSS = "--no-rss" not in sys.argv[3:]
ROUNDS, PER_ROUND, CLIENTS = 4, 500, 32
RSS_GROWTH_LIMIT_KIB = 4096


def request(host, port, method, path, headers=None):
    connection = http.client.HTTPConnection(host, port, timeout=10)
    try:
        connection.request(method, path, headers=headers or {})
        response = connection.getresponse()
        return response.status, response.read()
    finally:
        connection.close()


def raw(host, port, data):
    """Sends bytes and hangs up; returns the status line's code, or None if none came."""
    with socket.create_connection((host, port), timeout=10) as client:
        client.sendall(data)
        client.shutdown(socket.SHUT_WR)
        try:
            answer = client.recv(64)
        except OSError:
            return None
    found = re.match(rb"HTTP/1\.[01] (\d{3})", answer)
    return int(found.group(1)) if found else None


def one(host, port, index):
    """One request of the mix; returns a failure text or None."""
    kind = index % 5
    if kind == 0 or kind == 4 and index % 2:
        status, body = request(host, port, "GET", "/metrics",
                               {"Accept": "application/openmetrics-text; version=1.0.0"})
        ok = status == 200 and body.endswith(b"# EOF\n") and b"systemmonitor_snapshot" in body
        return None if ok else f"good scrape: {status} {body[-40:]!r}"
    if kind == 1:
        status, _ = request(host, port, "GET", "/nothing/here")
        return None if status == 404 else f"wrong path: {status}"
    if kind == 2:
        status, _ = request(host, port, "POST", "/metrics", {"Content-Length": "0"})
        return None if status == 405 else f"wrong method: {status}"
    if kind == 3:
        big = b"GET /metrics HTTP/1.1\r\nHost: x\r\nX-Big: " + b"a" * 65536 + b"\r\n\r\n"
        try:
            status = raw(host, port, big)
        except OSError:
            status = None  # the server may hang up while the header is still being sent
        return None if status in (None, 400, 413, 431) else f"oversized header: {status}"
    with socket.create_connection((host, port), timeout=10) as client:
        client.sendall(b"GET /metrics HTTP/1.1\r\nHost: x\r\nAcc")
    return None


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1))


if __name__ == "__main__":
    server, address = start_hwsnap(hwsnap, "--machine", machine, "--log")
    host, port = address.split(":")
    port = int(port)
    log = []
    reader = threading.Thread(target=lambda: log.extend(server.stderr), daemon=True)
    reader.start()
    failures = []
    rss = []
    with concurrent.futures.ThreadPoolExecutor(CLIENTS) as pool:
        for round_ in range(ROUNDS):
            base = round_ * PER_ROUND
            results = pool.map(lambda i: one(host, port, i), range(base, base + PER_ROUND))
            failures += [failure for failure in results if failure]
            rss.append(rss_kib(server.pid))
    status = stop(server)
    reader.join(timeout=10)

    checks = {
        "every request answered as expected": not failures,
        "stopped cleanly on SIGTERM": status == 0,
        f"rss flat after the first round {rss}":
            not CHECK_RSS or rss[-1] - rss[0] <= RSS_GROWTH_LIMIT_KIB,
    }
    events = [re.match(r"hwsnap: snapshot (\d+) (begins|ends)", line) for line in log]
    events = [(int(event.group(1)), event.group(2)) for event in events if event]
    expected = [(n // 2 + 1, "begins" if n % 2 == 0 else "ends") for n in range(len(events))]
    good = sum(1 for i in range(ROUNDS * PER_ROUND) if i % 5 == 0 or i % 5 == 4 and i % 2)
    checks["snapshots never overlap"] = events == expected
    checks[f"one snapshot per good scrape ({len(events) // 2} for {good})"] = len(events) == 2 * good
    for failure in failures[:10]:
        print(failure)
    for name, passed in checks.items():
        print(("ok   " if passed else "FAIL ") + name)
    failed = sum(1 for passed in checks.values() if not passed)
    print(f"{len(checks) - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)
