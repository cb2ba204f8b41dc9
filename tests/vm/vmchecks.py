"""Expectations for each kind of machine, from the QEMU command line and the guest's own view."""


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


CHECKS = {'memory': check_memory, 'processors': check_processors}


def check(kind, boot, snapshots, sections):
    return CHECKS[kind](boot, snapshots, sections)
