#pragma once
// What a machine's storage is, in Win32 terms: drive letters and their volumes, disks reached by
// path, and the plug-and-play records of the disk drives. The emulator (StorageEmulator.h)
// answers the Win32 storage calls from these facts; a source fills them: the simulated machine
// from its file, the live Linux machine from sysfs, the mount table, superblocks and statvfs.
//
// An empty optional is "not there": the call that would answer it fails (with the error kept
// beside it where the reason matters).

#include "platform/DriveAnswers.h"
#include "platform/PassThroughRequest.h"
#include "platform/Win32.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

struct DeviceNumberFacts {
    std::uint32_t type = FILE_DEVICE_DISK;
    std::uint32_t number = 0;
    std::uint32_t partition = 0;
};

struct VolumeFacts {
    std::u16string label;
    std::uint32_t serial = 0;
    std::u16string fileSystem;
    std::uint32_t flags = 0;
    std::uint32_t maxComponentLength = 255;
};

struct SpaceFacts {
    std::uint64_t total = 0;
    std::uint64_t free = 0;
    std::uint64_t available = 0;
};

struct LetterFacts {
    std::uint32_t type = DRIVE_NO_ROOT_DIR;
    int network = 0; // what IsNetDrive returns
    bool openable = true;
    std::optional<DeviceNumberFacts> deviceNumber;
    std::optional<VolumeFacts> volume;
    DWORD volumeError = ERROR_NOT_READY;
    std::optional<SpaceFacts> space;
    DWORD spaceError = ERROR_NOT_READY;
    // The disk the volume lies on (a key of StorageFacts::disks): what the volume's handle asks
    // for everything but its device number and length. Empty for a volume on no single disk.
    std::optional<std::u16string> disk;
    std::optional<std::uint64_t> length; // the volume's own bytes
};

struct GeometryFacts {
    std::uint64_t cylinders = 0;
    std::uint32_t mediaType = 0;
    std::uint32_t tracksPerCylinder = 0;
    std::uint32_t sectorsPerTrack = 0;
    std::uint32_t bytesPerSector = 0;
};

// What the device itself answers, where the source can reach it (a /dev node for SG_IO).
class DeviceChannel {
public:
    virtual ~DeviceChannel() = default;

    // The outcome of one command sent to the device: answered, failed with a Win32 error, or
    // left to the facts (nothing to send it to, or the device cannot take it).
    template <typename Answer> struct Outcome {
        enum class Kind { Answered, Failed, FromFacts } kind = Kind::FromFacts;
        DWORD error = 0;
        Answer answer;
    };
    struct AtaReply {
        AtaTaskFile registers;
        std::vector<std::uint8_t> data;
    };

    virtual Outcome<ScsiAnswer> scsi(std::span<const std::uint8_t> cdb, DataDirection direction,
                                     std::span<std::uint8_t> data, unsigned timeoutSeconds) = 0;
    virtual Outcome<AtaReply> ata(const AtaTaskFile& registers, DataDirection direction,
                                  std::span<std::uint8_t> data, unsigned timeoutSeconds) = 0;
    // The device's own heads and sectors per track, where it reports them.
    virtual void refineGeometry(GeometryFacts& /*geometry*/) {}
};

struct DiskFacts {
    bool openable = true;
    std::optional<DeviceNumberFacts> deviceNumber;
    std::optional<std::vector<std::uint8_t>> descriptor;   // STORAGE_DEVICE_DESCRIPTOR bytes
    std::optional<std::vector<std::uint8_t>> temperatures; // STORAGE_TEMPERATURE_DATA_DESCRIPTOR
    std::optional<GeometryFacts> geometry;
    std::optional<std::uint64_t> length;
    // The pass-through answers; empty: no command set behind the path.
    std::optional<DriveFacts> drive;
    std::shared_ptr<DeviceChannel> device; // null: everything is answered from the facts
};

// A device registry property as the registry holds it: its type and its bytes (UTF-16LE text
// with terminating zeros, or a little-endian number).
struct RegistryValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

struct DeviceFacts {
    std::map<DWORD, RegistryValue> properties; // by SPDRP_ code
    std::optional<std::u16string> instanceId;
    // In the disk-interface class, with this path; an empty one fails to enumerate.
    bool hasInterface = false;
    std::optional<std::u16string> interfacePath;
    DEVINST node = 0;            // 0: no device node (CM_Locate_DevNodeW does not find it)
    std::optional<ULONG> status; // empty: CM_Get_DevNode_Status fails
};

struct StorageFacts {
    std::map<char, LetterFacts> letters; // 'A'..'Z'
    // By path as CreateFileW takes it; paths match in any letter case, under \\.\ or \\?\.
    std::map<std::u16string, std::shared_ptr<const DiskFacts>, std::less<>> disks;
    std::vector<DeviceFacts> devices;
    std::optional<std::u16string> systemDirectory;
    std::optional<std::u16string> moduleFileName;
    std::optional<char> currentDrive; // the working directory's letter, for a null root
};

// A UTF-16LE text with its terminating zero, as REG_SZ holds it.
RegistryValue registryText(std::u16string_view text, std::uint32_t type = REG_SZ);

} // namespace platform
