#pragma once
// Block devices as sysfs describes them: the scan of /sys/block, one device, and where a node
// lies. Windows' names for them are in WindowsNames.h, their temperatures in DriveTemperatures.h,
// their IDENTIFY and VPD pages in DriveIdentity.h.
//
// Every function takes the sysfs root ("/sys" on the live machine, a recorded tree in tests).

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class StorageBus {
    Unknown,
    Scsi,
    Pata,
    Sata,
    Sas,
    Usb,
    Nvme,
    Virtio,
    Xen,
    Sd,
    Mmc,
    Iscsi,
    Fibre
};

struct BlockDevice {
    std::string name;             // "sda", "nvme0n1", "vda", "sr0"
    std::filesystem::path sysDir; // the device's own sysfs directory, symbolic links resolved
    std::string devicePath;       // sysDir below the sysfs root: "devices/pci0000:00/.../block/sda"
    unsigned major = 0;
    unsigned minor = 0;
    std::uint64_t sectors = 0; // in 512-byte units, as sysfs counts them
    bool removable = false;
    bool readOnly = false;
    std::uint32_t logicalBlockSize = 512;
    std::string vendor; // blank-trimmed; empty where sysfs has none
    std::string model;
    std::string revision;
    std::string serial;
    std::string driver; // the bound driver: "sd", "sr", "virtio_blk", "nvme"
    StorageBus bus = StorageBus::Unknown;
    bool cdrom = false;
    std::string scsiAddress;     // "host:channel:target:lun" for SCSI devices, else empty
    std::uint32_t scsiLevel = 0; // sysfs scsi_level (the SPC version + 1); 0 where unknown
    bool commandQueueing = false;
    // The SCSI unit serial number and device identification pages the kernel keeps, as they stand.
    std::optional<std::vector<std::uint8_t>> vpd80;
    std::optional<std::vector<std::uint8_t>> vpd83;
};

struct BlockInventory {
    std::vector<BlockDevice> disks;  // index = Windows disk number (PhysicalDriveN)
    std::vector<BlockDevice> cdroms; // index = Windows CD-ROM number (CdRomN)
};

// Whether a /sys/block entry is a disk of the disk-drive class. Virtual and stacked devices
// (loop, ram, zram, dm-, md, nbd, zd, rbd, drbd, bcache, nullb), floppies, CD-ROM drives (a class
// of their own) and the boot and RPMB areas of eMMC are not.
bool isInventoryDiskName(std::string_view name);

struct BusClues {
    std::string_view name;
    std::string_view devicePath;
    std::string_view subsystem; // of the device behind the block device: scsi, nvme, virtio, mmc
    std::string_view mmcType;   // "SD" or "MMC" for mmc devices
    std::optional<std::string_view> sataSpeed; // libata link's sata_spd for ATA devices
};

StorageBus classifyBus(const BusClues& clues);

// Reads one block device (whole disk, partition or CD-ROM) by name; nullopt when sysfs has no
// such device.
std::optional<BlockDevice> readBlockDevice(const std::filesystem::path& sys, std::string_view name);

// The disks and CD-ROM drives under /sys/block, each in a stable order (shorter names first, then
// by name: sda, sdb, ..., sdz, sdaa), hidden devices left out.
BlockInventory scanBlockInventory(const std::filesystem::path& sys);

struct BlockPlacement {
    std::vector<std::string> wholeDevices; // the whole disks or CD-ROM drives under the node
    std::uint32_t partition = 0;           // sysfs partition number; 0 for a whole device
};

// Where a block node lies: a whole device on itself, a partition on its parent, a device-mapper
// or md node on the devices below it (through its slaves). Empty when the node is unknown.
BlockPlacement placeBlockDevice(const std::filesystem::path& sys, std::string_view name);

} // namespace platform
