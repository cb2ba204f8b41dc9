#!/usr/bin/env python3
"""Every fixture machine's exposition, step by step, must pass `promtool check metrics`."""
import pathlib
import subprocess
import sys
import tempfile

hwsnap, machines = sys.argv[1], pathlib.Path(sys.argv[2])
failures = 0
checked = 0
for machine in sorted(machines.glob("*.json")):
    if machine.with_suffix(".error.txt").exists():
        continue
    run = subprocess.run([hwsnap, "--machine", str(machine), "--format", "openmetrics"],
                         capture_output=True, timeout=60)
    if run.returncode != 0:
        print(f"{machine.name}: hwsnap failed: {run.stderr.decode(errors='replace')}")
        failures += 1
        continue
    steps = run.stdout.split(b"# EOF\n")
    if steps[-1] != b"" or len(steps) < 2:
        print(f"{machine.name}: the output does not end with '# EOF'")
        failures += 1
        continue
    for index, step in enumerate(steps[:-1]):
        lint = subprocess.run(["promtool", "check", "metrics"], input=step + b"# EOF\n",
                              capture_output=True, timeout=60)
        checked += 1
        if lint.returncode != 0:
            print(f"{machine.name} step {index}: {(lint.stdout + lint.stderr).decode(errors='replace')}")
            failures += 1

# --output replaces the file whole, for a textfile collector; nothing is left beside it.
def without_duration(text):
    return [line for line in text.splitlines() if "snapshot_duration" not in line]

machine = machines / "metrics-hostile-texts.json"
last = subprocess.run([hwsnap, "--machine", str(machine), "--format", "openmetrics"],
                      capture_output=True, check=True, timeout=60).stdout.decode().split("# EOF\n")[-2]
with tempfile.TemporaryDirectory() as directory:
    for extra in ([], ["--watch", "0.01", "--count", "3"]):
        target = pathlib.Path(directory) / "hwsnap.prom"
        source = [] if extra else ["--machine", str(machine)]
        subprocess.run([hwsnap, *source, "--format", "openmetrics", "--output", str(target),
                        *extra], check=True, timeout=60)
        checked += 1
        names = [path.name for path in pathlib.Path(directory).iterdir()]
        written = target.read_text()
        if names != ["hwsnap.prom"] or not written.endswith("# EOF\n") or \
                (not extra and without_duration(written) != without_duration(last + "# EOF\n")):
            print(f"--output {extra}: files {names}, content:\n{written}")
            failures += 1
        target.unlink()

print(f"{checked - failures} passed, {failures} failed")
sys.exit(1 if failures else 0)
