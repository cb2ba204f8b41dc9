#!/usr/bin/env python3
"""Records this machine with `COMMAND... --record`, replays the file with `--machine` and compares
the snapshots, once and as steps (--watch/--count). Values that move on their own between the
snapshot and the facts read for the recording are left out of the comparison. Also: without
--keep-identity no serial or volume label of the machine is left in the file, and a truncated
recording is refused like any bad machine file.
Usage: roundtrip.py WORKDIR COMMAND...   (COMMAND: hwsnap, or wine hwsnap.exe)"""
import json
import os
import subprocess
import sys

# The processor's clock is read again for the recording, after the snapshot.
MOVING = {"CurrentSpeed", "Multiplier", "CPUBusSpeed", "CPUFSBSpeed", "CpuCoreVID"}
work, command = sys.argv[1], sys.argv[2:]
os.makedirs(work, exist_ok=True)
failures = []


def hwsnap(*arguments, check=True):
    # Relative file names: hwsnap.exe under Wine reads Windows paths.
    run = subprocess.run(command + list(arguments), cwd=work, capture_output=True, text=True,
                         timeout=240)
    if check and run.returncode != 0:
        sys.exit(f"{' '.join(arguments)}: exit {run.returncode}\n{run.stderr}")
    return run


def comparable(line):
    def strip(node):
        node["properties"] = [p for p in node["properties"] if p["key"] not in MOVING]
        for child in node["children"]:
            strip(child)
        return node
    return strip(json.loads(line))


def round_trip(name, *options):
    live = hwsnap("--json", "--record", f"{name}.json", "--keep-identity", *options).stdout
    replay = hwsnap("--json", "--machine", f"{name}.json").stdout
    live, replay = live.splitlines(), replay.splitlines()
    if len(live) != len(replay):
        failures.append(f"{name}: {len(live)} snapshots live, {len(replay)} replayed")
    for i, (a, b) in enumerate(zip(live, replay)):
        if comparable(a) != comparable(b):
            failures.append(f"{name}: snapshot {i} differs\nlive:   {a}\nreplay: {b}")


def identities(machine):
    """Serials and labels as the recording states them, trimmed."""
    found = set()
    for disk in (machine.get("disks") or {}).values():
        found.add(((disk.get("descriptor") or {}).get("serialNumber") or "").strip())
        found.add(((disk.get("scsi") or {}).get("serial") or "").strip())
    for drive in (machine.get("drives") or {}).values():
        found.add(((drive.get("volume") or {}).get("label") or "").strip())
    return {text for text in found if len(text) >= 4}


round_trip("once")
round_trip("steps", "--watch", "0.2", "--count", "2")

hwsnap("--json", "--record", "hidden.json")
with open(os.path.join(work, "once.json"), encoding="utf-8") as kept:
    secrets = identities(json.load(kept))
with open(os.path.join(work, "hidden.json"), encoding="utf-8") as hidden:
    text = hidden.read().lower()
failures += [f"hidden.json still holds {s!r}" for s in secrets if s.lower() in text]

with open(os.path.join(work, "once.json"), encoding="utf-8") as whole:
    cut = whole.read()
with open(os.path.join(work, "truncated.json"), "w", encoding="utf-8") as truncated:
    truncated.write(cut[: len(cut) * 2 // 3])
refused = hwsnap("--json", "--machine", "truncated.json", check=False)
if refused.returncode != 2 or refused.stderr.count("\n") != 1 or ": $" not in refused.stderr:
    failures.append(f"truncated recording: exit {refused.returncode}, {refused.stderr!r}")

print("\n".join(failures))
print(f"identities hidden: {len(secrets)}; {len(failures)} failed")
sys.exit(1 if failures else 0)
