#pragma once
// Test input: sysfs trees laid out as the kernel lays them out for each kind of disk (libata
// SATA and PATA, USB mass storage, NVMe, virtio, SAS, CD-ROM, partitions, device-mapper), written
// into a TestTree, and a whole workstation built from them. Attribute values follow what those
// drivers print, newline included.

#include "platform/linux/StorageView.h"
#include "platform/linux/testing/RecordedImage.h"
#include "platform/testing/TestTree.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace platform::test {

// The recorded inputs of the Linux backend (the build passes the platform folder's testdata).
inline std::filesystem::path linuxTestData() {
    return std::filesystem::path(SM_TEST_DATA_DIR).parent_path() / "linux" / "testdata";
}

// Every member has an initializer, so that the makers below name only what they set.
struct FakeDisk {
    std::string name{};      // "sda"
    std::string parent{};    // device path of what the disk hangs off
    std::string subsystem{}; // "scsi", "nvme", "virtio"
    std::string driver{};    // "sd", "nvme", "virtio_blk"
    std::string dev{};       // "8:0"
    std::uint64_t sectors = 0;
    bool removable = false;
    std::uint32_t logicalBlockSize = 512;
    std::string vendor{}, model{}, rev{}, serial{}; // written where the subsystem keeps them
    std::vector<std::uint8_t> vpd80{};
    std::vector<int> temperatures{}; // millidegrees, one hwmon input each
};

// NVMe namespaces sit right under their controller; other disks in its block/ directory.
inline std::string blockDirOf(const FakeDisk& disk) {
    return disk.subsystem == "nvme" ? disk.parent + "/" + disk.name
                                    : disk.parent + "/block/" + disk.name;
}

inline std::string upTo(const std::string& from) {
    std::string up;
    for (const char c : from) {
        if (c == '/') {
            up += "../";
        }
    }
    return up + "../";
}

// A block node at `dir`, found through /sys/class/block and /sys/dev/block, and whole devices
// through /sys/block too.
inline void addNode(const TestTree& sys, const std::string& name, const std::string& dev,
                    const std::string& dir, std::uint64_t sectors, bool whole = true) {
    if (whole) {
        sys.link("block/" + name, "../" + dir);
    }
    sys.link("class/block/" + name, "../../" + dir);
    sys.link("dev/block/" + dev, "../../" + dir);
    sys.file(dir + "/dev", dev + "\n");
    sys.file(dir + "/size", std::to_string(sectors) + "\n");
}

inline void addDisk(const TestTree& sys, const FakeDisk& disk) {
    const std::string block = blockDirOf(disk);
    const std::string& device = disk.parent; // where /sys/block/<name>/device points
    addNode(sys, disk.name, disk.dev, block, disk.sectors);
    sys.file(block + "/removable", disk.removable ? "1\n" : "0\n");
    sys.file(block + "/ro", "0\n");
    sys.file(block + "/hidden", "0\n");
    sys.file(block + "/queue/logical_block_size", std::to_string(disk.logicalBlockSize) + "\n");
    // device -> the parent directory, relative to the block directory
    sys.link(block + "/device", disk.subsystem == "nvme"
                                    ? "../../" + disk.parent.substr(disk.parent.rfind('/') + 1)
                                    : std::string("../.."));
    sys.link(device + "/subsystem", upTo(device) + "bus/" + disk.subsystem);
    if (!disk.driver.empty()) {
        sys.link(device + "/driver",
                 upTo(device) + "bus/" + disk.subsystem + "/drivers/" + disk.driver);
    }
    if (disk.subsystem == "scsi") {
        sys.file(device + "/vendor", disk.vendor + "\n");
        sys.file(device + "/model", disk.model + "\n");
        sys.file(device + "/rev", disk.rev + "\n");
        sys.file(device + "/scsi_level", "6\n");
        sys.file(device + "/queue_depth", "32\n");
        sys.file(device + "/type", disk.name.starts_with("sr") ? "5\n" : "0\n");
        if (!disk.vpd80.empty()) {
            sys.bytes(device + "/vpd_pg80", disk.vpd80);
        }
    } else if (disk.subsystem == "nvme") {
        sys.file(device + "/model", disk.model + "\n");
        sys.file(device + "/serial", disk.serial + "\n");
        sys.file(device + "/firmware_rev", disk.rev + "\n");
    } else if (disk.subsystem == "virtio" && !disk.serial.empty()) {
        sys.file(block + "/serial", disk.serial + "\n");
    }
    for (std::size_t i = 0; i < disk.temperatures.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        sys.file(device + "/hwmon/hwmon" + std::to_string(7) + "/temp" + n + "_input",
                 std::to_string(disk.temperatures[i]) + "\n");
    }
}

inline void addPartition(const TestTree& sys, const FakeDisk& disk, int number,
                         const std::string& dev, std::uint64_t sectors) {
    const std::string name = disk.name +
                             (disk.name.back() >= '0' && disk.name.back() <= '9' ? "p" : "") +
                             std::to_string(number);
    const std::string dir = blockDirOf(disk) + "/" + name;
    addNode(sys, name, dev, dir, sectors, false);
    sys.file(dir + "/partition", std::to_string(number) + "\n");
}

// A virtual node (loop, device-mapper, md) over `slaves` (block node names).
inline void addVirtual(const TestTree& sys, const std::string& name, const std::string& dev,
                       std::uint64_t sectors, const std::vector<std::string>& slaves = {}) {
    const std::string dir = "devices/virtual/block/" + name;
    addNode(sys, name, dev, dir, sectors);
    sys.directory(dir + "/slaves");
    for (const auto& slave : slaves) {
        sys.link(dir + "/slaves/" + slave, "../../../../../class/block/" + slave);
    }
}

inline std::vector<std::uint8_t> vpdSerialPage(const std::string& serial) {
    std::vector<std::uint8_t> page = {0x00, 0x80, 0x00, static_cast<std::uint8_t>(serial.size())};
    page.insert(page.end(), serial.begin(), serial.end());
    return page;
}

// The libata port of the AHCI controller every SATA disk here hangs off.
inline std::string ataPort(int port) {
    return "devices/pci0000:00/0000:00:1f.2/ata" + std::to_string(port);
}

// A SATA disk on an AHCI port: ata<port>/host<h>/target<h>:0:0/<h>:0:0:0.
inline FakeDisk sataDisk(const std::string& name, int port, const std::string& dev) {
    const std::string h = std::to_string(port - 1);
    return {.name = name,
            .parent = ataPort(port) + "/host" + h + "/target" + h + ":0:0/" + h + ":0:0:0",
            .subsystem = "scsi",
            .driver = "sd",
            .dev = dev,
            .sectors = 1953525168,
            .vendor = "ATA     ",
            .model = "Samsung SSD 860 ",
            .rev = "3B6Q",
            .vpd80 = vpdSerialPage("S3Z9NB0K123456A     ")};
}

inline void setSataSpeed(const TestTree& sys, int port, const std::string& speed) {
    const std::string p = std::to_string(port);
    sys.file(ataPort(port) + "/link" + p + "/ata_link/link" + p + "/sata_spd", speed + "\n");
}

// libata's `id` attribute: 256 words, eight to a line.
inline void setAtaId(const TestTree& sys, int port, int device,
                     const std::vector<std::uint16_t>& words) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        char word[6];
        std::snprintf(word, sizeof word, "%04x%c", words[i], i % 8 == 7 ? '\n' : ' ');
        text += word;
    }
    const std::string p = std::to_string(port);
    const std::string dev = "dev" + p + "." + std::to_string(device);
    sys.file(ataPort(port) + "/link" + p + "/" + dev + "/ata_device/" + dev + "/id", text);
}

inline FakeDisk nvmeDisk(const std::string& name, const std::string& controller,
                         const std::string& dev) {
    return {.name = name,
            .parent = "devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/" + controller,
            .subsystem = "nvme",
            .dev = dev,
            .sectors = 1000215216,
            .model = "Samsung SSD 970 EVO Plus 500GB",
            .rev = "2B2QEXM7",
            .serial = "S4EVNX0N812345K",
            .temperatures = {38850, 42850}};
}

inline FakeDisk virtioDisk(const std::string& name, const std::string& dev) {
    return {.name = name,
            .parent = "devices/pci0000:00/0000:00:05.0/virtio3",
            .subsystem = "virtio",
            .driver = "virtio_blk",
            .dev = dev,
            .sectors = 2097152,
            .serial = "vol-0a1b2c3d"};
}

inline FakeDisk usbDisk(const std::string& name, const std::string& dev) {
    return {.name = name,
            .parent = "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0",
            .subsystem = "scsi",
            .driver = "sd",
            .dev = dev,
            .sectors = 60063744,
            .removable = true,
            .vendor = "SanDisk ",
            .model = "Ultra           ",
            .rev = "1.00",
            .vpd80 = vpdSerialPage("4C530001230917117043")};
}

inline FakeDisk cdromDrive(const std::string& name, const std::string& dev) {
    return {.name = name,
            .parent = "devices/pci0000:00/0000:00:1f.2/ata3/host2/target2:0:0/2:0:0:0",
            .subsystem = "scsi",
            .driver = "sr",
            .dev = dev,
            .removable = true,
            .logicalBlockSize = 2048,
            .vendor = "HL-DT-ST",
            .model = "DVDRAM GH24NSD1 ",
            .rev = "LG00"};
}

// A whole workstation: /sys with a SATA disk (EFI and root partitions), an NVMe disk (btrfs home,
// an LVM volume), a USB stick, a virtio data disk and an idle DVD drive; /dev with the root and
// EFI partitions as images and udev links for the data disk; a mount table; mount points; the
// running program's link.
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
        addVirtual(sys, "dm-0", "253:0", 200000000, {"nvme0n1p2"});

        FakeDisk stick = usbDisk("sdc", "8:32");
        addDisk(sys, stick);
        addPartition(sys, stick, 1, "8:33", 60000000);

        addDisk(sys, virtioDisk("vdb", "252:16"));
        addDisk(sys, cdromDrive("sr0", "11:0"));
        addVirtual(sys, "loop0", "7:0", 2048);

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
