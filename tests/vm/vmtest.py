#!/usr/bin/env python3
"""Boots Debian's kernel under QEMU (TCG) with hwsnap in an initramfs and checks its snapshots
against what the QEMU command line and the guest's own view (sysfs, /proc, statvfs) say.

usage: vmtest.py --hwsnap PATH --work DIR MACHINE.json
Exits 0 when every check holds, 1 on a failed check, 77 when QEMU or a kernel is missing.
"""
import argparse
import glob
import json
import os
import shutil
import subprocess
import sys
import time

import vmchecks
import vmdisks

SKIP = 77


def find_kernel():
    for image in sorted(glob.glob('/boot/vmlinuz-*'), reverse=True):
        version = image[len('/boot/vmlinuz-'):]
        if os.access(image, os.R_OK) and os.path.isfile(f'/lib/modules/{version}/modules.dep'):
            return image, version
    return None, None


def module_files(version, names):
    """The .ko files of `names` and of everything they need, each after its dependencies."""
    base = f'/lib/modules/{version}'
    deps = {}
    with open(f'{base}/modules.dep') as f:
        for line in f:
            path, _, rest = line.partition(':')
            deps[path] = rest.split()
    by_name = {os.path.basename(p).split('.ko')[0].replace('-', '_'): p for p in deps}
    with open(f'{base}/modules.builtin') as f:
        builtin = {os.path.basename(l.strip()).split('.ko')[0].replace('-', '_') for l in f}
    order = []

    def visit(path):
        if path in order:
            return
        for dep in deps[path]:
            visit(dep)
        order.append(path)

    for name in names:
        key = name.replace('-', '_')
        if key in by_name:
            visit(by_name[key])
        elif key not in builtin:
            raise SystemExit(f'kernel {version} has no module {name}')
    return [f'{base}/{p}' for p in order]


def copy_with_libraries(binary, stage, target):
    """Copies an ELF program to stage/target and its shared libraries to their own paths."""
    os.makedirs(os.path.dirname(stage + target), exist_ok=True)
    # Debug information would only slow the initramfs down.
    subprocess.run(['objcopy', '--strip-debug', binary, stage + target], check=True)
    out = subprocess.run(['ldd', binary], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        words = line.split()
        lib = words[2] if '=>' in words and len(words) > 2 else words[0]
        if lib.startswith('/'):
            os.makedirs(os.path.dirname(stage + lib), exist_ok=True)
            shutil.copy(lib, stage + lib)


# What the guest reports next to the snapshots, one section each.
GUEST_FACTS = r'''
section meminfo; cat /proc/meminfo
section cpuinfo; cat /proc/cpuinfo
section cpus
for c in /sys/devices/system/cpu/cpu[0-9]*; do
  [ "$(cat $c/online 2>/dev/null || echo 1)" = 1 ] || continue
  echo "${c##*cpu} $(cat $c/topology/physical_package_id) $(cat $c/topology/core_id)"
done
section blocks
a() { cat $1 2>/dev/null; }
for b in /sys/block/*; do
  d=$b/device
  echo "${b##*/}|$(a $b/size)|$(a $d/vendor)|$(a $d/model)|$(a $d/rev)$(a $d/firmware_rev)"
done
section temps
for b in /sys/block/*; do
  for t in $b/device/hwmon/hwmon*/temp1_input $b/device/hwmon*/temp1_input; do
    [ -r $t ] && echo "${b##*/} $(cat $t)"
  done
done
section dmesg; dmesg | tail -n 30
section statvfs
grep '^/dev/' /proc/mounts | while read dev dir rest; do
  echo "$dir|${dev#/dev/}|$(stat -f -c '%S %b %f %a' $dir)"
done
'''


def guest_script(boot, ntfs):
    lines = ['#!/bin/sh', 'export PATH=/bin:/sbin',
             'stty -F /dev/ttyS1 raw -echo 2>/dev/null', 'exec 3>/dev/ttyS1',
             'section() { echo "@@@ $1" >&3; }', 'exec 1>&3 2>&3']
    lines += [f'echo 0 > /sys/devices/system/cpu/cpu{n}/online' for n in boot.get('offline', [])]
    lines += vmdisks.mount_lines(boot)
    lines.append('sync')
    watch = boot.get('watch')
    # The same run records what the machine answered, for the host to replay.
    lines.append('section json; hwsnap --json --record /run/recorded.json --keep-identity 2>/run/err' +
                 (f' --watch {watch} --count 2' if watch else ''))
    lines.append('section json-stderr; cat /run/err')
    lines.append('section recorded; cat /run/recorded.json')
    lines.append(GUEST_FACTS)
    lines.append('section tree; hwsnap 2>&1 | head -c 100000')
    lines += ['section end', 'exec 1>/dev/null 2>&1 3>&-', 'poweroff -f']
    return '\n'.join(lines) + '\n'


INIT = '''#!/bin/sh
export PATH=/bin:/sbin
mkdir -p /proc /sys /dev /run /newroot
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for m in $(cat /modules.list); do insmod "$m" || echo "insmod $m failed"; done
# The root file system, when the machine has one on a disk: the guest then runs from it, as C:.
LABEL=__ROOT__
if [ -n "$LABEL" ]; then
  for i in $(seq 300); do ROOT=$(findfs LABEL=$LABEL) && break; sleep 0.1; done
  mount -o noatime "$ROOT" /newroot || echo "no root file system $LABEL"
  mount --move /proc /newroot/proc; mount --move /sys /newroot/sys; mount --move /dev /newroot/dev
  exec switch_root /newroot /bin/sh -c 'mount -t tmpfs run /run; exec /bin/sh /guest.sh'
fi
# Scratch files on a tmpfs under /run, which gets no drive letter.
mount -t tmpfs run /run
exec /bin/sh /guest.sh
'''


def build_stage(stage, hwsnap, version, modules, boot, ntfs):
    os.makedirs(stage + '/bin')
    shutil.copy('/bin/busybox', stage + '/bin/busybox')
    applets = subprocess.run([stage + '/bin/busybox', '--list'], capture_output=True, text=True,
                             check=True).stdout.split()
    for applet in applets:
        if applet != 'busybox':
            os.symlink('busybox', f'{stage}/bin/{applet}')
    copy_with_libraries(hwsnap, stage, '/bin/hwsnap')
    if ntfs:
        copy_with_libraries(shutil.which('ntfs-3g') or '/bin/ntfs-3g', stage, '/bin/ntfs-3g')
    for d in ('proc', 'sys', 'dev', 'run', 'newroot', 'mnt', 'lib/modules'):
        os.makedirs(f'{stage}/{d}', exist_ok=True)
    loaded = []
    for path in module_files(version, modules):
        shutil.copy(path, f'{stage}/lib/modules/')
        loaded.append('/lib/modules/' + os.path.basename(path))
    with open(stage + '/modules.list', 'w') as f:
        f.write('\n'.join(loaded) + '\n')
    with open(stage + '/guest.sh', 'w') as f:
        f.write(guest_script(boot, ntfs))
    with open(stage + '/init', 'w') as f:
        root = [s['label'] for _, s in vmdisks.file_systems(boot) if s.get('root')]
        f.write(INIT.replace('__ROOT__', root[0] if root else ''))
    os.chmod(stage + '/init', 0o755)


def make_cpio(stage, target):
    files = subprocess.run(['find', '.'], cwd=stage, capture_output=True, check=True).stdout
    with open(target, 'wb') as out:
        subprocess.run(['cpio', '--quiet', '-o', '-H', 'newc'], cwd=stage, input=files,
                       stdout=out, check=True)


def parse_sections(text):
    sections, name = {}, None
    for line in text.replace('\r', '').split('\n'):
        if line.startswith('@@@ '):
            name = line[4:].strip()
            sections[name] = []
        elif name is not None:
            sections[name].append(line)
    return {k: '\n'.join(v).strip('\n') for k, v in sections.items()}


def boot_guest(args, kernel, version, machine, boot, index):
    work = os.path.join(args.work, f'{index}')
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    stage = os.path.join(work, 'stage')
    ntfs = any(fs_entry['fs'] == 'ntfs' for _, fs_entry in vmdisks.file_systems(boot))
    modules = machine.get('modules', []) + boot.get('modules', [])
    build_stage(stage, args.hwsnap, version, modules, boot, ntfs)
    smp = boot.get('smp', {})
    cpus = smp.get('sockets', 1) * smp.get('cores', 1) * smp.get('threads', 1)
    # -nodefaults: no network card, no display and no CD-ROM drive unless described.
    qemu = ['qemu-system-x86_64', '-accel', 'tcg', '-nodefaults', '-nographic', '-no-reboot',
            '-display', 'none', '-M', boot.get('machine', 'q35'),
            '-m', str(boot.get('memory', 256)),
            '-smp', ','.join([str(cpus)] + [f'{k}={v}' for k, v in smp.items()]),
            '-cpu', boot.get('cpu', 'qemu64'), '-kernel', kernel,
            '-append', 'console=ttyS0 panic=-1 quiet loglevel=3',
            '-serial', f'file:{work}/console.txt', '-serial', f'file:{work}/out.txt']
    qemu += vmdisks.qemu_devices(boot, work, stage)
    make_cpio(stage, f'{work}/initrd.cpio')
    qemu += ['-initrd', f'{work}/initrd.cpio']
    with open(f'{work}/qemu.txt', 'w') as f:
        f.write(' '.join(qemu) + '\n')
    started = time.monotonic()
    with open(f'{work}/qemu-stderr.txt', 'w') as errors:
        try:
            subprocess.run(qemu, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=errors, timeout=args.timeout)
        except subprocess.TimeoutExpired:
            pass
    print(f'{boot["name"]}: guest ran {time.monotonic() - started:.1f} s', flush=True)
    with open(f'{work}/out.txt', errors='replace') as f:
        sections = parse_sections(f.read())
    if 'end' not in sections:
        with open(f'{work}/console.txt', errors='replace') as f:
            tail = f.read()[-3000:]
        raise SystemExit(f'{boot["name"]}: the guest did not finish; console:\n{tail}')
    if sections.get('json-stderr'):
        print(f'{boot["name"]}: hwsnap said: {sections["json-stderr"]}')
    return sections, work


# Read again for the recording, after the snapshot: the processor's clocks.
MOVING = {'CurrentSpeed', 'Multiplier', 'CPUBusSpeed', 'CPUFSBSpeed', 'CpuCoreVID'}


def replay(args, boot, work, sections, snapshots):
    """Replays the guest's recording on the host: the same snapshots, clocks aside."""
    recorded = f'{work}/recorded.json'
    with open(recorded, 'w') as f:
        f.write(sections.get('recorded', ''))
    run = subprocess.run([args.hwsnap, '--machine', recorded, '--json'], capture_output=True,
                         text=True, timeout=60)
    if run.returncode != 0:
        return [f'replay: exit {run.returncode}: {run.stderr.strip()}']

    def comparable(node):
        node['properties'] = [p for p in node['properties'] if p['key'] not in MOVING]
        for child in node['children']:
            comparable(child)
        return node

    replayed = [comparable(json.loads(l)) for l in run.stdout.splitlines() if l.strip()]
    live = [comparable(json.loads(json.dumps(s))) for s in snapshots]
    if replayed != live:
        return [f'replay of {recorded} differs from the guest\'s snapshots']
    if args.fixtures and boot.get('fixture'):
        shutil.copy(recorded, os.path.join(args.fixtures, boot['fixture'] + '.json'))
    return []


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--hwsnap', required=True)
    parser.add_argument('--work', required=True)
    parser.add_argument('--timeout', type=int, default=120, help='seconds per boot')
    parser.add_argument('--fixtures', help='copy each recording to DIR/<fixture>.json')
    parser.add_argument('machine')
    args = parser.parse_args()
    os.environ['PATH'] += ':/usr/sbin:/sbin'  # the mkfs tools, for a caller that is not root
    kernel, version = find_kernel()
    if not shutil.which('qemu-system-x86_64') or not kernel or not shutil.which('cpio'):
        print('SKIP: qemu-system-x86_64, cpio or a readable kernel in /boot is missing')
        return SKIP
    with open(args.machine) as f:
        machine = json.load(f)
    failures, works = [], []
    for index, boot in enumerate(machine['boots']):
        sections, work = boot_guest(args, kernel, version, machine, boot, index)
        works.append(work)
        snapshots = [json.loads(l) for l in sections.get('json', '').splitlines() if l.strip()]
        if not snapshots:
            failures.append(f'{boot["name"]}: no snapshot; stderr: {sections.get("json-stderr")}')
            continue
        if 'System Root' not in sections.get('tree', ''):
            failures.append(f'{boot["name"]}: the tree output has no root')
        for problem in vmchecks.check(machine['kind'], boot, snapshots, sections):
            failures.append(f'{boot["name"]}: {problem}')
        for problem in replay(args, boot, work, sections, snapshots):
            failures.append(f'{boot["name"]}: {problem}')
    for problem in failures:
        print('FAIL', problem)
    print(f'{len(machine["boots"])} boots, {len(failures)} failed checks')
    if failures:
        print(f'guest console, output and QEMU command line: {args.work}/<boot>/')
        return 1
    for work in works:
        # Only the logs of a passing run are worth keeping.
        shutil.rmtree(f'{work}/stage')
        for name in os.listdir(work):
            if name.endswith(('.img', '.cpio')):
                os.remove(f'{work}/{name}')
    return 0


if __name__ == '__main__':
    sys.exit(main())
