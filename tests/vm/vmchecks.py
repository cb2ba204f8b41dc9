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


CHECKS = {'memory': check_memory}


def check(kind, boot, snapshots, sections):
    return CHECKS[kind](boot, snapshots, sections)
