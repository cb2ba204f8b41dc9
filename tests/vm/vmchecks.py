"""Expectations for each kind of machine, from the QEMU command line and the guest's own view."""
import vmdisks


def nodes(tree, kind):
    found = [tree] if tree['type'] == kind else []
    for child in tree['children']:
        found += nodes(child, kind)
    return found


def props(node):
    return {p['key']: p['value'] for p in node['properties']}


def expect(problems, what, expected, got):
    if expected != got:
        problems.append(f'{what}: expected {expected!r}, got {got!r}')


def meminfo(sections):
    values = {}
    for line in sections['meminfo'].splitlines():
        key, _, rest = line.partition(':')
        values[key] = int(rest.split()[0])
    return values


def check_memory(boot, snapshots, sections):
    problems = []
    memory = nodes(snapshots[0], 'SYSTEM_MEMORY')
    if len(memory) != 1:
        return [f'{len(memory)} memory nodes']
    p = props(memory[0])
    total_kb = meminfo(sections)['MemTotal']
    expect(problems, 'TotalCapacityMB (guest MemTotal / 1024)', total_kb / 1024,
           p.get('TotalCapacityMB'))
    # The kernel and its initramfs keep some of -m for themselves, well under 64 MiB.
    if not boot['memory'] - 64 < total_kb / 1024 <= boot['memory']:
        problems.append(f'MemTotal {total_kb} kB does not fit -m {boot["memory"]}')
    if not 0 <= p.get('UsedCapacityMB', -1) <= p.get('TotalCapacityMB', 0):
        problems.append(f'UsedCapacityMB {p.get("UsedCapacityMB")} out of range')
    if not 0 < p.get('PercentCapacityUsed', -1) < 100:
        problems.append(f'PercentCapacityUsed {p.get("PercentCapacityUsed")} out of range')
    return problems


def cpuinfo(sections):
    values = {}
    for line in sections['cpuinfo'].splitlines():
        key, _, rest = line.partition(':')
        values.setdefault(key.strip(), rest.strip())
    return values


def signature_properties(family, model, stepping):
    # How CPUID leaf 1 splits what /proc/cpuinfo shows as family and model.
    base_family, ext_family = (0xF, family - 0xF) if family >= 0xF else (family, 0)
    eax = stepping | (model & 0xF) << 4 | base_family << 8 | (model >> 4) << 16 | ext_family << 20
    return {'CPUID': f'{eax:X}h', 'Family': f'{base_family:X}h', 'Model': f'{model & 0xF:X}h',
            'Stepping': f'{stepping:X}h', 'ExtFamily': f'{ext_family:X}h',
            'ExtModel': f'{model >> 4:X}h'}


def check_processors(boot, snapshots, sections):
    problems = []
    smp, sig = boot['smp'], boot['signature']
    threads, cores = smp.get('threads', 1), smp.get('cores', 1)
    count = smp['sockets'] * cores * threads
    online = [n for n in range(count) if n not in boot.get('offline', [])]
    # QEMU numbers CPUs thread first, then core, then socket.
    placed = [(n, n // (cores * threads), n // threads % cores) for n in online]
    guest = [tuple(int(w) for w in l.split()) for l in sections['cpus'].splitlines()]
    expect(problems, 'guest CPU placement (cpu, package, core)', placed, sorted(guest))
    expected = []
    for socket in sorted({s for _, s, _ in placed}):
        expected.append(sorted({c for _, s, c in placed if s == socket}))
    packages = nodes(snapshots[0], 'CPU_PACKAGE')
    got = [[c['name'] for c in p['children']] for p in packages]
    expect(problems, 'packages and their cores', [[f'Core {c}' for c in e] for e in expected], got)
    info = cpuinfo(sections)
    expect(problems, 'guest family/model/stepping',
           (sig['family'], sig['model'], sig['stepping']),
           (int(info['cpu family']), int(info['model']), int(info['stepping'])))
    identity = signature_properties(sig['family'], sig['model'], sig['stepping'])
    for index, package in enumerate(packages):
        p = props(package)
        expect(problems, f'package {index} name', boot['brand'], package['name'])
        expect(problems, f'package {index} signature', identity, {k: p.get(k) for k in identity})
    expect(problems, 'guest model name', boot['brand'], info['model name'])
    return problems


def normalized(text):
    return ' '.join(text.split())


def id_text(text, width):
    out = ''.join('_' if c <= ' ' or c in ',&\\#/' else c.upper() for c in text.strip())
    return out.ljust(width, '_')


# QEMU's ATA SMART data: attribute 194 (temperature) has the raw value 1Fh.
QEMU_ATA_CELSIUS = 31


def expected_disk(disk, guest):
    """What a disk node says, by bus: (name, model, firmware, celsius at the first and the later
    snapshots). None where the node has no such property."""
    bus = disk['bus']
    if bus == 'ide':
        # The IDE enumerator reads the whole IDENTIFY texts, and SMART from the start.
        return disk['model'].strip(), disk['model'], disk['ver'], QEMU_ATA_CELSIUS, QEMU_ATA_CELSIUS
    if bus == 'ahci':
        # A SATA disk behind a SCSI enumerator is identified by its INQUIRY data: libata's
        # vendor "ATA", the model's first 16 characters, the firmware's last 4.
        product = disk['model'][:16]
        return (product.strip(), normalized('ATA     ' + product), disk['ver'][4:], None,
                QEMU_ATA_CELSIUS)
    if bus in ('virtio-scsi', 'lsi', 'megasas'):
        # The vendor keeps its padding to 8 characters; QEMU's SCSI disk has no temperature.
        return (disk['vendor'] + ' ' + disk['product'],
                normalized(disk['vendor'].ljust(8) + disk['product']), disk['ver'], None, None)
    if bus == 'nvme':
        # Identified through the SCSI translation, whose INQUIRY holds 4 firmware characters;
        # a SCSI-kind disk reads its temperature only at its first refresh.
        celsius = round(int(guest['temps']['nvme0n1']) / 1000)
        return (guest['nvme_model'], guest['nvme_model'], guest['nvme_firmware'][:4], None,
                celsius)
    if bus == 'virtio-blk':
        # virtio-blk answers no INQUIRY: no model, no firmware.
        return 'Virtio Block Device', None, None, None, None
    raise SystemExit(f'no expectation for bus {bus}')


def volume_serial(fs_entry):
    if fs_entry['fs'] == 'ext4':
        return fs_entry['uuid'][:4].upper() + '-' + fs_entry['uuid'][4:8].upper()
    return fs_entry['serial'][:4] + '-' + fs_entry['serial'][4:]


def check_disks(boot, snapshots, sections):
    problems = []
    guest = {'temps': dict(l.split() for l in sections['temps'].splitlines())}
    for line in sections['blocks'].splitlines():
        name, _, _, model, firmware = line.split('|')
        if name.startswith('nvme'):
            guest['nvme_model'], guest['nvme_firmware'] = model.strip(), firmware.strip()
    statvfs = {}
    for line in sections['statvfs'].splitlines():
        point, _, numbers = line.split('|')
        statvfs[point] = [int(w) for w in numbers.split()]
    hard = [d for d in boot['disks'] if d['bus'] != 'ide-cd']
    for index, snapshot in enumerate(snapshots):
        found = nodes(snapshot, 'DISK')
        # The CD-ROM drive is no disk node.
        expect(problems, f'snapshot {index}: disk nodes', len(hard), len(found))
        by_serial = {props(n).get('SerialNumber', '').strip(): n for n in found}
        for disk in hard:
            node = by_serial.get(disk['serial'].strip())
            if node is None:
                problems.append(f'snapshot {index}: no disk with serial {disk["serial"]!r}')
                continue
            p, what = props(node), f'snapshot {index}: {disk["id"]}'
            name, model, firmware, first, later = expected_disk(disk, guest)
            expect(problems, f'{what} name', name, node['name'])
            expect(problems, f'{what} ModelNumber', model, p.get('ModelNumber'))
            expect(problems, f'{what} FirmwareRevision', firmware, p.get('FirmwareRevision'))
            expect(problems, f'{what} SerialNumber', disk['serial'], p.get('SerialNumber'))
            expect(problems, f'{what} TemperatureCelsius', later if index else first,
                   p.get('TemperatureCelsius'))
            expect(problems, f'{what} TotalCapacityMB', float(disk['size_mb']),
                   p.get('TotalCapacityMB'))
            if disk['bus'] == 'ide':
                key = 'DISK:IDE\\DISK' + id_text(disk['model'], 40) + id_text(disk['ver'], 8) + '\\'
                expect(problems, f'{what} key', key, node['key'][:len(key)])
    # Volumes: the root is C:, the others follow in mount order. The guest's statvfs ran after
    # the last snapshot, on file systems mounted noatime with nothing writing to them.
    disk_nodes = {props(n).get('SerialNumber', '').strip(): n for n in nodes(snapshots[-1], 'DISK')}
    letters = iter('DEFGHIJKLMNOPQRSTUVWXYZ')
    for disk, fs_entry in vmdisks.file_systems(boot):
        letter = 'C' if fs_entry.get('root') else next(letters)
        point = '/' if fs_entry.get('root') else '/mnt/' + fs_entry['label'].lower()
        what = f'volume {fs_entry["label"]}'
        node = disk_nodes.get(disk['serial'].strip())
        volumes = [v for v in (node['children'] if node else []) if v['key'] == 'VOLUME:' + letter]
        if len(volumes) != 1 or point not in statvfs:
            problems.append(f'{what}: {len(volumes)} volumes {letter}: on its disk, '
                            f'mounted: {point in statvfs}')
            continue
        p = props(volumes[0])
        frsize, blocks, free, _ = statvfs[point]
        total, used = blocks * frsize / 2**20, (blocks - free) * frsize / 2**20
        expect(problems, f'{what} node name', f'{fs_entry["label"]} - {letter}:', volumes[0]['name'])
        expect(problems, f'{what} Name', fs_entry['label'], p.get('Name'))
        expect(problems, f'{what} SerialNumber', volume_serial(fs_entry), p.get('SerialNumber'))
        expect(problems, f'{what} TotalCapacityMB', total, p.get('TotalCapacityMB'))
        expect(problems, f'{what} UsedCapacityMB', used, p.get('UsedCapacityMB'))
        expect(problems, f'{what} PercentCapacityUsed', int(used / total * 100),
               p.get('PercentCapacityUsed'))
    return problems


CHECKS = {'memory': check_memory, 'processors': check_processors, 'disks': check_disks}


def check(kind, boot, snapshots, sections):
    return CHECKS[kind](boot, snapshots, sections)
