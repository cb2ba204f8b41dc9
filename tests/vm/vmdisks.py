"""Disk images, their file systems and the QEMU devices for the disks a boot describes.

A disk holds either "partitions" (an MBR table, 1 MiB aligned) or one file system on the whole
disk ("whole"). File systems are made on the host in image files and copied into place, so no loop
devices or privileges are needed. The partition marked "root" carries the guest's own files.
"""
import os
import shutil
import subprocess

MIB = 1 << 20
CONTROLLERS = {'ahci': 'ich9-ahci', 'virtio-scsi': 'virtio-scsi-pci', 'lsi': 'lsi53c895a',
               'megasas': 'megasas'}


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def qemu_text(value):
    return str(value).replace(',', ',,')


def make_file_system(fs_entry, path, size, sector, stage):
    with open(path, 'wb') as f:
        f.truncate(size)
    fs = fs_entry['fs']
    if fs == 'ext4':
        command = ['mke2fs', '-q', '-F', '-t', 'ext4', '-L', fs_entry['label'], '-U', fs_entry['uuid'],
                   '-E', 'lazy_itable_init=0,lazy_journal_init=0']
        if sector > 1024:
            command += ['-b', str(sector)]
        if fs_entry.get('root'):
            command += ['-d', stage]
        run(*command, path)
    elif fs == 'vfat':
        run('mkfs.vfat', '-S', str(sector), '-i', fs_entry['serial'], '-n', fs_entry['label'], path)
    elif fs == 'ntfs':
        run('mkntfs', '-q', '-F', '-Q', '-s', str(sector), '-L', fs_entry['label'], path)
        with open(path, 'rb') as f:
            f.seek(72)
            # The volume serial mkntfs chose: the low half of the boot sector's 64-bit one.
            serial = int.from_bytes(f.read(4), 'little')
        fs_entry['serial'] = f'{serial:08X}'
    else:
        raise SystemExit(f'unknown file system {fs}')


def build_disk(disk, work, stage):
    """Writes the disk's image; returns its path."""
    image = os.path.join(work, disk['id'] + '.img')
    size = disk['size_mb'] * MIB
    sector = disk.get('sector', 512)
    with open(image, 'wb') as f:
        f.truncate(size)
    layout = []
    if 'partitions' in disk:
        table = ['label: dos', f'sector-size: {sector}']
        start = MIB
        for part in disk['partitions']:
            length = part['size_mb'] * MIB
            table.append(f'start={start // sector}, size={length // sector}, type=83')
            layout.append((part, start, length))
            start += length
        subprocess.run(['sfdisk', '-q', image], input='\n'.join(table) + '\n', text=True,
                       check=True, stdout=subprocess.DEVNULL)
    elif 'whole' in disk:
        layout.append((disk['whole'], 0, size))
    for fs_entry, offset, length in layout:
        piece = os.path.join(work, f'{disk["id"]}-{offset}.fs')
        make_file_system(fs_entry, piece, length, sector, stage)
        run('dd', f'if={piece}', f'of={image}', 'bs=1M', f'seek={offset // MIB}', 'conv=notrunc')
        os.remove(piece)
    return image


def qemu_devices(boot, work, stage):
    """QEMU arguments for the boot's disks. The root file system is copied from `stage`, so the
    stage must be complete before this runs."""
    args, controllers = [], set()
    for disk in boot.get('disks', []):
        bus = disk['bus']
        drive = f'drv-{disk["id"]}'
        if bus == 'ide-cd':
            args += ['-drive', f'if=none,id={drive},media=cdrom',
                     '-device', f'ide-cd,drive={drive},bus={disk["at"]}']
            continue
        image = build_disk(disk, work, stage)
        args += ['-drive', f'if=none,id={drive},file={image},format=raw,cache=unsafe']
        props = [f'drive={drive}']
        for key in ('serial', 'model', 'ver', 'vendor', 'product'):
            if key in disk:
                props.append(f'{key}={qemu_text(disk[key])}')
        if 'sector' in disk:
            props += [f'{side}_block_size={disk["sector"]}' for side in ('logical', 'physical')]
        if bus in CONTROLLERS:
            if bus not in controllers:
                controllers.add(bus)
                args += ['-device', f'{CONTROLLERS[bus]},id={bus}']
            kind = 'ide-hd' if bus == 'ahci' else 'scsi-hd'
            args += ['-device', f'{kind},bus={bus}.0,' + ','.join(props)]
        elif bus == 'ide':
            args += ['-device', f'ide-hd,bus={disk["at"]},' + ','.join(props)]
        elif bus == 'nvme':
            args += ['-device', 'nvme,' + ','.join(props)]
        elif bus == 'virtio-blk':
            args += ['-device', 'virtio-blk-pci,' + ','.join(props)]
        else:
            raise SystemExit(f'unknown bus {bus}')
    return args


def file_systems(boot):
    """Every file system of the boot's disks with the disk it is on, in description order."""
    for disk in boot.get('disks', []):
        for fs_entry in disk.get('partitions', [disk['whole']] if 'whole' in disk else []):
            yield disk, fs_entry


def mount_lines(boot):
    """Guest commands that mount every file system but the root, in description order: the
    order of their drive letters after C:."""
    lines = []
    for _, fs_entry in file_systems(boot):
        if fs_entry.get('root'):
            continue
        point = '/mnt/' + fs_entry['label'].lower()
        device = f'$(findfs LABEL={fs_entry["label"]})'
        # Controllers probe their disks in the background: wait up to 30 s for each.
        lines.append(f'for i in $(seq 300); do findfs LABEL={fs_entry["label"]} >/dev/null 2>&1 && break; '
                     'sleep 0.1; done')
        lines.append(f'mkdir -p {point}')
        if fs_entry['fs'] == 'ntfs':
            lines.append(f'ntfs-3g -o noatime {device} {point}')
        else:
            lines.append(f'mount -t {fs_entry["fs"]} -o noatime {device} {point}')
    return lines
