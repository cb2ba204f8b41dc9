#pragma once
// Test input: a whole workstation laid out as the Linux backend reads it: /sys with a SATA disk
// (EFI and root partitions), an NVMe disk (btrfs home, an LVM volume), a USB stick, a virtio data
// disk and an idle DVD drive; /dev with the root and EFI partitions as images and udev links for
// the data disk; a mount table; mount points; the running program's link.

#include "platform/linux/StorageView.h"
#include "platform/linux/testing/FakeSysfs.h"
#include "platform/linux/testing/RecordedImage.h"
#include "platform/linux/testing/TestTree.h"

namespace platform::test {

// Letters: C sda2 (root), D sda1 (/boot/efi), E nvme0n1p1 (/home, and /snapshots of the same
// btrfs), F dm-0 (/var), G network (/net/share), H RAM (/tmp), I sdc1 (USB stick), J vdb (/data,
// read-only), K sr0 (idle). Disk numbers: 0 sda, 1 sdc, 2 vdb, 3 nvme0n1.
inline constexpr const char* kWorkstationMounts =
    "1 0 8:2 / / rw,relatime - ext4 /dev/sda2 rw,errors=remount-ro\n"
    "2 1 0:5 / /proc rw,nosuid - proc proc rw\n"
    "3 1 0:6 / /dev rw,nosuid - devtmpfs udev rw,size=8123456k\n"
    "4 3 0:22 / /dev/shm rw - tmpfs tmpfs rw\n"
    "5 1 8:1 / /boot/efi rw,relatime shared:5 - vfat /dev/sda1 rw,fmask=0077\n"
    "6 1 0:45 /@home /home rw,relatime - btrfs /dev/nvme0n1p1 rw,ssd,subvol=/@home\n"
    "7 1 253:0 / /var rw,relatime - xfs /dev/mapper/vg-var rw\n"
    "8 1 7:0 / /snap/core/1 ro,nodev - squashfs /dev/loop0 ro\n"
    "9 1 0:50 / /net/share rw - nfs4 server:/export rw,vers=4.2\n"
    "10 1 0:30 / /tmp rw - tmpfs tmpfs rw\n"
    "11 1 8:33 / /media/stick rw - vfat /dev/sdc1 rw\n"
    "12 1 252:16 / /data ro,relatime - ext4 /dev/vdb ro\n"
    "13 1 0:45 /@snapshots /snapshots rw - btrfs /dev/nvme0n1p1 rw\n"
    "14 1 0:31 / /sys rw - sysfs sysfs rw\n";

class FakeMachine {
public:
    FakeMachine() {
        FakeDisk sda = sataDisk("sda", 1, "8:0");
        sda.temperatures = {36000};
        addDisk(sys, sda);
        setSataSpeed(sys, 1, "6.0 Gbps");
        std::vector<std::uint16_t> id(256, 0);
        id[0] = 0x0040;
        id[255] = 0xA5;
        setAtaId(sys, 1, 0, id);
        addPartition(sys, sda, 1, "8:1", 1048576);
        addPartition(sys, sda, 2, "8:2", 1952474112);

        FakeDisk nvme = nvmeDisk("nvme0n1", "nvme0", "259:0");
        addDisk(sys, nvme);
        addPartition(sys, nvme, 1, "259:1", 800000000);
        addPartition(sys, nvme, 2, "259:2", 200000000);
        addMapper(sys, "dm-0", "253:0", 200000000, {"nvme0n1p2"});

        FakeDisk stick = usbDisk("sdc", "8:32");
        addDisk(sys, stick);
        addPartition(sys, stick, 1, "8:33", 60000000);

        addDisk(sys, virtioDisk("vdb", "252:16"));
        addDisk(sys, cdromDrive("sr0", "11:0"));
        addLoop(sys, "loop0", "7:0");

        loadRecordedImage(linuxTestData() / "superblocks" / "ext4-mke2fs-16M.hex")
            .writeSparse(dev / "sda2");
        loadRecordedImage(linuxTestData() / "superblocks" / "fat32-mkdosfs-64M.hex")
            .writeSparse(dev / "sda1");
        dev.file("sda", ""); // opens, but is no SCSI device
        dev.link("mapper/vg-var", "../dm-0");
        dev.link("disk/by-label/DATA\\x20DISK", "../../vdb");
        dev.link("disk/by-uuid/0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0", "../../vdb");
        dev.link("disk/by-uuid/5d2b7e2a-1c3f-4e5b-9a6d-7f8e9d0c1b2a", "../../sda2");

        files.file("mountinfo", kWorkstationMounts);
        for (const char* point : {"boot/efi", "home/user/bin", "var", "net/share", "tmp",
                                  "media/stick", "data", "snapshots", "usr/bin"}) {
            files.directory(point);
        }
        files.link("exe", "/home/user/bin/hwsnap");
    }

    StorageRoots roots() const {
        StorageRoots roots;
        roots.sys = sys.root();
        roots.dev = dev.root();
        roots.mountInfo = files / "mountinfo";
        roots.files = files.root();
        roots.exe = files / "exe";
        roots.cwd = "/usr/bin";
        return roots;
    }

    TestTree sys;
    TestTree dev;
    TestTree files;
};

} // namespace platform::test
