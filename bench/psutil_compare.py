#!/usr/bin/python3
"""A warm snapshot of this library against psutil's hot snapshot, in one Python process.

psutil's snapshot is what a monitoring loop calls: cpu_percent(percpu=True), virtual_memory(),
cpu_freq() and sensors_temperatures(). Ours is sm_snapshot_take() plus sm_snapshot_free() of the
C library (the whole tree, as a C host gets it), called through ctypes; the same snapshot turned
into Python objects (systemmonitor.snapshot()) is shown too. The two sides take turns, round by
round, so both see the same machine; the medians of the rounds and how many times faster than
psutil each is are printed, by elapsed and by processor time (the steadier on a shared machine).

    bench/psutil_compare.py [--build DIR] [--rounds N] [--calls N]

Needs the C library built (cmake --build --preset native --target systemmonitor-c); installs
python3-psutil when it is missing. Not run by ctest or CI.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def import_psutil():
    try:
        import psutil
    except ImportError:
        subprocess.run(["bash", "-c", f"source '{ROOT}/scripts/setup-common.sh' && "
                        "sm_install_missing python3-psutil"], check=True)
        try:
            import psutil
        except ImportError:
            # Debian's package serves Debian's interpreter, not another one found first.
            if sys.executable == "/usr/bin/python3":
                raise
            os.execv("/usr/bin/python3", ["/usr/bin/python3", *sys.argv])
    return psutil


def per_call(function, calls):
    """Wall and processor time of one call, in microseconds, averaged over `calls` calls."""
    wall, cpu = time.perf_counter(), time.process_time()
    for _ in range(calls):
        function()
    return ((time.perf_counter() - wall) * 1e6 / calls,
            (time.process_time() - cpu) * 1e6 / calls)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build" / "native"))
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--calls", type=int, default=200)
    args = parser.parse_args()

    library = Path(args.build) / "capi" / "libsystemmonitor-c.so"
    if not library.exists():
        sys.exit(f"{library} is missing: cmake --build --preset native --target systemmonitor-c")
    os.environ["SYSTEMMONITOR_LIBRARY"] = str(library)
    sys.path.insert(0, str(ROOT / "python"))
    import systemmonitor
    psutil = import_psutil()

    lib = systemmonitor._library()

    def ours():
        snapshot = lib.sm_snapshot_take()
        if not snapshot:
            raise systemmonitor.SystemMonitorError(lib.sm_last_error().decode())
        lib.sm_snapshot_free(snapshot)

    def theirs():
        psutil.cpu_percent(percpu=True)
        psutil.virtual_memory()
        psutil.cpu_freq()
        psutil.sensors_temperatures()

    cases = {"psutil": theirs, "systemmonitor C": ours,
             "systemmonitor Python": systemmonitor.snapshot}
    for function in cases.values():  # warm: the first call of each sets itself up
        function()
    times = {name: [] for name in cases}
    for _ in range(args.rounds):
        for name, function in cases.items():
            times[name].append(per_call(function, args.calls))

    print(f"psutil {psutil.__version__}; median of {args.rounds} rounds of {args.calls} calls")
    print(f"{'case':22} {'time (us)':>10} {'CPU (us)':>10} {'psutil/x':>9} {'CPU':>6}")
    base_wall = statistics.median(wall for wall, _ in times["psutil"])
    base_cpu = statistics.median(cpu for _, cpu in times["psutil"])
    for name, rounds in times.items():
        wall = statistics.median(w for w, _ in rounds)
        cpu = statistics.median(c for _, c in rounds)
        print(f"{name:22} {wall:10.1f} {cpu:10.1f} {base_wall / wall:9.2f} "
              f"{base_cpu / max(cpu, 1e-3):6.2f}")


if __name__ == "__main__":
    main()
