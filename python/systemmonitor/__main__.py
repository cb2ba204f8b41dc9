"""python3 -m systemmonitor [--machine FILE]: the snapshot as `hwsnap --json` prints it."""

import argparse
import sys

import systemmonitor


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m systemmonitor",
                                     description="Prints a snapshot of the machine as JSON lines.")
    parser.add_argument("--machine", metavar="FILE",
                        help="read a simulated machine (JSON) instead: one snapshot per step")
    parser.add_argument("--version", action="store_true", help="print the library's version")
    options = parser.parse_args(argv)
    try:
        if options.version:
            print("systemmonitor " + systemmonitor.version())
            return 0
        if options.machine is None:
            print(systemmonitor.snapshot_json(), flush=True)
            return 0
        with systemmonitor.Machine(options.machine) as machine:
            for step in range(machine.step_count):
                machine.step(step)
                print(systemmonitor.snapshot_json(), flush=True)
    except systemmonitor.SystemMonitorError as error:
        print(f"systemmonitor: {error}", file=sys.stderr)
        return 2 if options.machine is not None else 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
