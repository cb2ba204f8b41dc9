#include "platform/simulated/DiskAnswers.h"

#include "platform/StorageDescriptor.h"
#include "platform/Win32.h"

#include <cstring>
#include <string>

namespace platform::simulated {

Bytes storageDeviceDescriptor(const DescriptorState& descriptor) {
    if (descriptor.data) {
        return *descriptor.data;
    }
    STORAGE_DEVICE_DESCRIPTOR fixed;
    std::memset(&fixed, 0, sizeof(fixed));
    fixed.Version = sizeof(STORAGE_DEVICE_DESCRIPTOR);
    fixed.RemovableMedia = descriptor.removableMedia ? 1 : 0;
    // Copied, not cast: the SDK's enumeration has no fixed width for unknown values.
    static_assert(sizeof(fixed.BusType) == sizeof(descriptor.busType));
    std::memcpy(&fixed.BusType, &descriptor.busType, sizeof(descriptor.busType));
    const auto present = [](const std::optional<std::string>& text) {
        return text ? &*text : nullptr;
    };
    return platform::storageDeviceDescriptor(
        fixed, {present(descriptor.vendorId), present(descriptor.productId),
                present(descriptor.productRevision), present(descriptor.serialNumber)});
}

DriveFacts driveFacts(const DiskState& disk) {
    DriveFacts facts;
    facts.scsiVersion = 0x05; // SPC-3
    facts.speaksScsi = disk.scsi.has_value();
    if (disk.scsi) {
        facts.standardInquiry = disk.scsi->inquiry.has_value();
        facts.vpd80 = disk.scsi->vpd80;
        facts.vpd83 = disk.scsi->vpd83;
        facts.logPagesRecorded = disk.scsi->logPages;
        if (disk.scsi->inquiry) {
            facts.inquiryRecorded = disk.scsi->inquiry->data;
            facts.vendor = disk.scsi->inquiry->vendor;
            facts.product = disk.scsi->inquiry->product;
            facts.revision = disk.scsi->inquiry->revision;
        }
        facts.serial = disk.scsi->serial;
        facts.temperature = disk.scsi->temperature;
    }
    if (disk.length) {
        facts.logicalBlocks = *disk.length / 512;
        facts.ataSectors = *disk.length / 512;
    }
    facts.ata = disk.ata.has_value();
    if (disk.ata) {
        if (const auto& identify = disk.ata->identify) {
            facts.identify =
                AtaIdentity{identify->model, identify->serial, identify->firmware, identify->block};
        }
        facts.smartTemperature = disk.ata->smartTemperature;
        facts.smartRecorded = disk.ata->smartBlock;
    }
    return facts;
}

} // namespace platform::simulated
