#include "platform/simulated/MachineFacts.h"

#include "platform/simulated/DiskAnswers.h"

namespace platform::simulated {
namespace {

LetterFacts letterFacts(const DriveState& drive) {
    LetterFacts letter;
    letter.type = drive.type;
    letter.network = drive.network;
    letter.openable = drive.openable;
    if (drive.deviceNumber) {
        // A letter's volume is the first partition of its disk.
        letter.deviceNumber = DeviceNumberFacts{static_cast<std::uint32_t>(drive.type == DRIVE_CDROM
                                                                               ? FILE_DEVICE_CD_ROM
                                                                               : FILE_DEVICE_DISK),
                                                *drive.deviceNumber, 1};
    }
    if (drive.volume) {
        letter.volume = VolumeFacts{drive.volume->label, drive.volume->serial,
                                    drive.volume->fileSystem, drive.volume->flags};
    }
    if (drive.space) {
        letter.space = SpaceFacts{drive.space->total, drive.space->free, drive.space->available};
    }
    return letter;
}

DeviceFacts deviceFacts(const DeviceState& state, std::size_t index) {
    DeviceFacts device;
    const std::pair<DWORD, const std::optional<RegistryValue>*> properties[] = {
        {SPDRP_FRIENDLYNAME, &state.friendlyName},
        {SPDRP_DEVICEDESC, &state.description},
        {SPDRP_ENUMERATOR_NAME, &state.enumeratorName},
    };
    for (const auto& [code, value] : properties) {
        if (value->has_value()) {
            device.properties.emplace(code, **value);
        }
    }
    device.instanceId = state.instanceId;
    device.hasInterface = state.hasInterface;
    device.interfacePath = state.interfacePath;
    if (state.devnode) {
        device.node = static_cast<DEVINST>(index + 2); // after the root's 1
        device.status = state.devnode->status;
    }
    return device;
}

DiskFacts diskFacts(const DiskState& state) {
    DiskFacts disk;
    disk.openable = state.openable;
    if (state.deviceNumber) {
        disk.deviceNumber = DeviceNumberFacts{state.deviceNumber->type, state.deviceNumber->number,
                                              0}; // the whole disk
    }
    if (state.descriptor) {
        disk.descriptor = storageDeviceDescriptor(*state.descriptor);
    }
    if (state.geometry) {
        disk.geometry = GeometryFacts{
            state.geometry->cylinders, state.geometry->mediaType, state.geometry->tracksPerCylinder,
            state.geometry->sectorsPerTrack, state.geometry->bytesPerSector};
    }
    disk.length = state.length;
    if (state.ata || state.scsi) {
        disk.drive = driveFacts(state);
    }
    return disk;
}

} // namespace

std::shared_ptr<const StorageFacts> storageFacts(const MachineState& state) {
    auto facts = std::make_shared<StorageFacts>();
    for (const auto& [letter, drive] : state.drives) {
        facts->letters.emplace(letter, letterFacts(drive));
    }
    for (std::size_t i = 0; i < state.devices.size(); ++i) {
        facts->devices.push_back(deviceFacts(state.devices[i], i));
    }
    for (const auto& [path, disk] : state.disks) {
        facts->disks.emplace(path, std::make_shared<const DiskFacts>(diskFacts(disk)));
    }
    facts->systemDirectory = state.windows.systemDirectory;
    facts->moduleFileName = state.windows.moduleFileName;
    return facts;
}

} // namespace platform::simulated
