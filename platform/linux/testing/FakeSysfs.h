#pragma once
// Test input: sysfs trees laid out as the kernel lays them out for each kind of disk (libata
// SATA and PATA, USB mass storage, NVMe, virtio, SAS, CD-ROM, partitions, device-mapper), written
// into a TestTree. Attribute values follow what those drivers print, newline included.

#include "platform/linux/testing/TestTree.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::test {

struct FakeDisk {
    std::string name;      // "sda"
    std::string parent;    // device path of what the disk hangs off
    std::string subsystem; // "scsi", "nvme", "virtio", "mmc"
    std::string driver;    // "sd", "nvme", "virtio_blk"
    std::string dev;       // "8:0"
    std::uint64_t sectors = 0;
    bool removable = false;
    std::uint32_t logicalBlockSize = 512;
    std::string vendor, model, rev, serial; // written where the subsystem keeps them
    std::vector<std::uint8_t> vpd80;
    std::vector<int> temperatures; // millidegrees, one hwmon input each
};

// The device directory of the disk (what /sys/block/<name>/device points at), below the root.
inline std::string deviceDirOf(const FakeDisk& disk) {
    return disk.parent;
}

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

inline void addDisk(const TestTree& sys, const FakeDisk& disk) {
    const std::string block = blockDirOf(disk);
    const std::string device = deviceDirOf(disk);
    sys.link("block/" + disk.name, "../" + block);
    sys.link("class/block/" + disk.name, "../../" + block);
    sys.link("dev/block/" + disk.dev, "../../" + block);
    sys.file(block + "/dev", disk.dev + "\n");
    sys.file(block + "/size", std::to_string(disk.sectors) + "\n");
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
    } else if (disk.subsystem == "mmc") {
        sys.file(device + "/name", disk.model + "\n");
        sys.file(device + "/serial", disk.serial + "\n");
        sys.file(device + "/type", "SD\n");
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
    sys.link("class/block/" + name, "../../" + dir);
    sys.link("dev/block/" + dev, "../../" + dir);
    sys.file(dir + "/dev", dev + "\n");
    sys.file(dir + "/size", std::to_string(sectors) + "\n");
    sys.file(dir + "/partition", std::to_string(number) + "\n");
}

// A device-mapper node over `slaves` (block node names).
inline void addMapper(const TestTree& sys, const std::string& name, const std::string& dev,
                      std::uint64_t sectors, const std::vector<std::string>& slaves) {
    const std::string dir = "devices/virtual/block/" + name;
    sys.link("block/" + name, "../" + dir);
    sys.link("class/block/" + name, "../../" + dir);
    sys.link("dev/block/" + dev, "../../" + dir);
    sys.file(dir + "/dev", dev + "\n");
    sys.file(dir + "/size", std::to_string(sectors) + "\n");
    sys.directory(dir + "/slaves");
    for (const auto& slave : slaves) {
        sys.link(dir + "/slaves/" + slave, "../../../../../class/block/" + slave);
    }
}

inline void addLoop(const TestTree& sys, const std::string& name, const std::string& dev) {
    const std::string dir = "devices/virtual/block/" + name;
    sys.link("block/" + name, "../" + dir);
    sys.link("class/block/" + name, "../../" + dir);
    sys.link("dev/block/" + dev, "../../" + dir);
    sys.file(dir + "/dev", dev + "\n");
    sys.file(dir + "/size", "2048\n");
}

inline std::vector<std::uint8_t> vpdSerialPage(const std::string& serial) {
    std::vector<std::uint8_t> page = {0x00, 0x80, 0x00, static_cast<std::uint8_t>(serial.size())};
    page.insert(page.end(), serial.begin(), serial.end());
    return page;
}

inline std::string ataPort(const std::string& controller, int port) {
    return controller + "/ata" + std::to_string(port);
}

// A SATA disk on an AHCI port: ata<port>/host<h>/target<h>:0:0/<h>:0:0:0.
inline FakeDisk sataDisk(const std::string& name, int port, const std::string& dev) {
    const std::string h = std::to_string(port - 1);
    FakeDisk disk;
    disk.name = name;
    disk.parent = ataPort("devices/pci0000:00/0000:00:1f.2", port) + "/host" + h + "/target" + h +
                  ":0:0/" + h + ":0:0:0";
    disk.subsystem = "scsi";
    disk.driver = "sd";
    disk.dev = dev;
    disk.sectors = 1953525168;
    disk.vendor = "ATA     ";
    disk.model = "Samsung SSD 860 ";
    disk.rev = "3B6Q";
    disk.vpd80 = vpdSerialPage("S3Z9NB0K123456A     ");
    return disk;
}

inline void setSataSpeed(const TestTree& sys, int port, const std::string& speed) {
    const std::string p = std::to_string(port);
    sys.file(ataPort("devices/pci0000:00/0000:00:1f.2", port) + "/link" + p + "/ata_link/link" + p +
                 "/sata_spd",
             speed + "\n");
}

// libata's `id` attribute: 256 words, eight to a line.
inline void setAtaId(const TestTree& sys, int port, int device,
                     const std::vector<std::uint16_t>& words) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        for (int shift = 12; shift >= 0; shift -= 4) {
            text.push_back(digits[(words[i] >> shift) & 0xF]);
        }
        text.push_back(i % 8 == 7 ? '\n' : ' ');
    }
    const std::string p = std::to_string(port);
    const std::string dev = "dev" + p + "." + std::to_string(device);
    sys.file(ataPort("devices/pci0000:00/0000:00:1f.2", port) + "/link" + p + "/" + dev +
                 "/ata_device/" + dev + "/id",
             text);
}

inline FakeDisk nvmeDisk(const std::string& name, const std::string& controller,
                         const std::string& dev) {
    FakeDisk disk;
    disk.name = name;
    disk.parent = "devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/" + controller;
    disk.subsystem = "nvme";
    disk.dev = dev;
    disk.sectors = 1000215216;
    disk.model = "Samsung SSD 970 EVO Plus 500GB";
    disk.serial = "S4EVNX0N812345K";
    disk.rev = "2B2QEXM7";
    disk.temperatures = {38850, 42850};
    return disk;
}

inline FakeDisk virtioDisk(const std::string& name, const std::string& dev) {
    FakeDisk disk;
    disk.name = name;
    disk.parent = "devices/pci0000:00/0000:00:05.0/virtio3";
    disk.subsystem = "virtio";
    disk.driver = "virtio_blk";
    disk.dev = dev;
    disk.sectors = 2097152;
    disk.serial = "vol-0a1b2c3d";
    return disk;
}

inline FakeDisk usbDisk(const std::string& name, const std::string& dev) {
    FakeDisk disk;
    disk.name = name;
    disk.parent = "devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0";
    disk.subsystem = "scsi";
    disk.driver = "sd";
    disk.dev = dev;
    disk.sectors = 60063744;
    disk.removable = true;
    disk.vendor = "SanDisk ";
    disk.model = "Ultra           ";
    disk.rev = "1.00";
    disk.vpd80 = vpdSerialPage("4C530001230917117043");
    return disk;
}

inline FakeDisk cdromDrive(const std::string& name, const std::string& dev) {
    FakeDisk disk;
    disk.name = name;
    disk.parent = "devices/pci0000:00/0000:00:1f.2/ata3/host2/target2:0:0/2:0:0:0";
    disk.subsystem = "scsi";
    disk.driver = "sr";
    disk.dev = dev;
    disk.sectors = 0;
    disk.removable = true;
    disk.logicalBlockSize = 2048;
    disk.vendor = "HL-DT-ST";
    disk.model = "DVDRAM GH24NSD1 ";
    disk.rev = "LG00";
    return disk;
}

} // namespace platform::test
