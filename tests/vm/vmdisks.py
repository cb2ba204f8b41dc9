"""Disk images and QEMU devices for the disks a boot describes."""


def qemu_devices(boot, work, stage):
    return []
