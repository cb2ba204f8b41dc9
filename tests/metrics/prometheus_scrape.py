#!/usr/bin/env python3
"""A real Prometheus scrapes `hwsnap --listen` on a simulated machine every second; the values it
stores must be the machine's. Both processes are started here and stopped at the end."""
import json
import pathlib
import re
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

DEADLINE = time.monotonic() + 50


def start_hwsnap(*command):
    """Starts the hwsnap command on a free loopback port; returns the process and its address."""
    process = subprocess.Popen([*command, "--listen", "127.0.0.1:0"],
                               stderr=subprocess.PIPE, text=True, errors="replace")
    line = ""
    for line in process.stderr:  # Wine may say something first
        found = re.search(r"http://(127\.0\.0\.1:\d+)/metrics", line)
        if found:
            return process, found.group(1)
    process.kill()
    sys.exit(f"hwsnap did not start: {line}")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def stop(process):
    process.terminate()
    try:
        return process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        process.kill()
        return None


def query(address, expression):
    url = f"http://{address}/api/v1/query?" + urllib.parse.urlencode({"query": expression})
    try:
        with urllib.request.urlopen(url, timeout=2) as response:
            result = json.load(response)["data"]["result"]
    except OSError:
        return None
    return float(result[0]["value"][1]) if len(result) == 1 else None


def wait_for(address, expression, expected):
    """Polls until the query gives the expected value; False when the deadline passes first."""
    value = None
    while time.monotonic() < DEADLINE:
        value = query(address, expression)
        if value == expected:
            return True
        time.sleep(0.5)
    print(f"{expression}: {value}, expected {expected}")
    return False


if __name__ == "__main__":
    hwsnap, machine = sys.argv[1], sys.argv[2]
    server, target = start_hwsnap(hwsnap, "--machine", machine)
    web = f"127.0.0.1:{free_port()}"
    failures = 0
    checks = {
        'up{job="hwsnap"}': 1,
        # The machine's last step, where the scrapes leave it.
        'systemmonitor_cpu_temperature_celsius{package="0"}': 47,
        'systemmonitor_volume_used_bytes{volume="C"}': 256060514304 - 56060514304,
        'systemmonitor_cpu_core_usage_ratio{package="0",core="1"}': 0.75,
    }
    with tempfile.TemporaryDirectory() as directory:
        config = pathlib.Path(directory) / "prometheus.yml"
        config.write_text(
            "global: {scrape_interval: 1s, scrape_timeout: 1s}\n"
            f"scrape_configs: [{{job_name: hwsnap, static_configs: [{{targets: ['{target}']}}]}}]\n")
        prometheus = subprocess.Popen(
            ["prometheus", f"--config.file={config}", f"--storage.tsdb.path={directory}/data",
             f"--web.listen-address={web}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            for expression, expected in checks.items():
                failures += 0 if wait_for(web, expression, expected) else 1
        finally:
            prometheus_status = stop(prometheus)
            server_status = stop(server)
    if prometheus_status is None or server_status != 0:
        print(f"stopping: prometheus {prometheus_status}, hwsnap {server_status}")
        failures += 1
    print(f"{len(checks) + 1 - failures} passed, {failures} failed")
    sys.exit(1 if failures else 0)
