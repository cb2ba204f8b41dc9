#!/usr/bin/env python3
"""Starts `COMMAND... --listen 127.0.0.1:0` (hwsnap, or hwsnap.exe through Wine), scrapes
/metrics once, and stops it. Usage: scrape_once.py COMMAND..."""
import sys
import urllib.request

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from prometheus_scrape import start_hwsnap, stop  # noqa: E402

server, address = start_hwsnap(*sys.argv[1:])
try:
    with urllib.request.urlopen(f"http://{address}/metrics", timeout=60) as response:
        body = response.read()
        kind = response.headers["Content-Type"]
finally:
    stop(server)
ok = kind.startswith("application/openmetrics-text") and body.endswith(b"# EOF\n") \
    and b"systemmonitor_snapshot_duration_seconds" in body
print(body.decode(errors="replace")[-300:])
print(f"{int(ok)} passed, {int(not ok)} failed")
sys.exit(0 if ok else 1)
