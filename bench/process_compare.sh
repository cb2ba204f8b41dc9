#!/bin/bash
# A whole `hwsnap --json` process against `lsblk -J` and `lscpu`: each command run many times,
# the commands taking turns, then the median elapsed and processor time of each and how many
# times hwsnap's that is. Output goes to /dev/null. Not run by ctest or CI.
#
#   bench/process_compare.sh [HWSNAP] [RUNS]     (defaults: build/native/tools/hwsnap/hwsnap, 41)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/setup-common.sh"
sm_install_missing util-linux python3
hwsnap=${1:-$here/build/native/tools/hwsnap/hwsnap}
runs=${2:-41}
[[ -x $hwsnap ]] || { echo "$hwsnap is missing: cmake --build --preset native --target hwsnap" >&2; exit 1; }

# The child's own processor time comes from wait4, to the microsecond.
exec /usr/bin/python3 - "$runs" "$hwsnap --json" "lsblk -J" "lscpu" <<'PY'
import os, shlex, statistics, sys, time
runs, commands = int(sys.argv[1]), sys.argv[2:]
times = {c: [] for c in commands}
null = os.open(os.devnull, os.O_WRONLY)
for _ in range(runs):
    for command in commands:
        argv = shlex.split(command)
        start = time.perf_counter()
        pid = os.fork()
        if pid == 0:
            os.dup2(null, 1)
            os.execvp(argv[0], argv)
        _, status, usage = os.wait4(pid, 0)
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit(f"{command} failed")
        times[command].append((time.perf_counter() - start, usage.ru_utime + usage.ru_stime))
ours = commands[0]
base = {f: statistics.median(t[i] for t in times[ours]) for i, f in enumerate(("wall", "cpu"))}
print(f"median of {runs} runs      time (ms)   CPU (ms)  hwsnap/x  CPU h/x")
for command, samples in times.items():
    wall = statistics.median(t[0] for t in samples)
    cpu = statistics.median(t[1] for t in samples)
    name = os.path.basename(shlex.split(command)[0]) + " " + " ".join(shlex.split(command)[1:])
    print(f"{name:24} {wall * 1e3:10.2f} {cpu * 1e3:10.2f} {base['wall'] / wall:9.2f} "
          f"{base['cpu'] / cpu if cpu else float('nan'):8.2f}")
PY
