"""The module on the fixture machines: the CLI prints hwsnap's goldens, and the dataclass tree
walked through the accessors equals the JSON the library writes. A machine is once per process,
so each fixture runs in its own interpreter."""

import json
import os
import subprocess
import sys
from pathlib import Path

import pytest

MACHINES = Path(os.environ.get("SM_MACHINES_DIR", Path(__file__).resolve().parents[2] / "tests/machines"))
FIXTURES = sorted(MACHINES.glob("*.json"))

# For every step: the tree from the accessors, as JSON, against the library's own text.
WALK = """
import json, sys, systemmonitor
with systemmonitor.Machine(sys.argv[1]) as machine:
    for step in range(machine.step_count):
        machine.step(step)
        tree = json.dumps(systemmonitor.snapshot().to_dict(), ensure_ascii=False)
        text = json.dumps(json.loads(systemmonitor.snapshot_json()), ensure_ascii=False)
        assert tree == text, (step, tree, text)
"""


def run(*args):
    return subprocess.run([sys.executable, *args], capture_output=True, text=True,
                          encoding="utf-8", timeout=60, env=os.environ)


@pytest.mark.parametrize("machine", FIXTURES, ids=lambda path: path.stem)
def test_fixture_machine(machine):
    result = run("-m", "systemmonitor", "--machine", str(machine))
    error_text = machine.with_suffix(".error.txt")
    if error_text.exists():
        assert result.returncode == 2
        assert error_text.read_text().strip() in result.stderr
        assert result.stderr.count("\n") == 1
        return
    assert result.returncode == 0, result.stderr
    assert result.stdout == machine.with_suffix(".golden.jsonl").read_text(encoding="utf-8")
    walked = run("-c", WALK, str(machine))
    assert walked.returncode == 0, walked.stderr


def test_live_machine_and_errors():
    import systemmonitor
    root = systemmonitor.snapshot()
    assert (root.type, root.key) == ("SYSTEM_ROOT", "SYSROOT")
    assert {child.type for child in root.children} >= {"SYSTEM_CPU", "SYSTEM_MEMORY"}
    with pytest.raises(systemmonitor.SystemMonitorError, match="before the first snapshot"):
        systemmonitor.Machine(FIXTURES[0])
