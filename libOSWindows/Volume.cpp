#include "libOSWindows/Volume.h"

#include "foundation/SprintfFormat.h"
#include "libOSWindows/DriveLetters.h"
#include "platform/Win32.h"

namespace libOSWindows {
namespace {

constexpr UINT kPathCapacity = 264;

struct DriveCharacters {
    char16_t system = 0;  // first unit of the system directory; 0 when unknown
    char16_t program = 0; // first unit of the host executable's path; 0 when unknown
};

DriveCharacters queryDriveCharacters() {
    DriveCharacters characters;
    char16_t path[kPathCapacity] = {};
    const UINT systemLength = win32::GetSystemDirectoryW(path, kPathCapacity);
    if (systemLength != 0 && systemLength < kPathCapacity) {
        characters.system = path[0];
    }
    path[0] = 0;
    if (win32::GetModuleFileNameW(nullptr, path, kPathCapacity) != 0) {
        characters.program = path[0];
    }
    return characters;
}

// Computed on the first volume of the process and kept.
const DriveCharacters& driveCharacters() {
    static const DriveCharacters characters = queryDriveCharacters();
    return characters;
}

bool sameDrive(char letter, char16_t drive) {
    return drive != 0 &&
           char16_t(static_cast<unsigned char>(letter) | 0x20) == char16_t(drive | 0x20);
}

qel::String boundedText(const char16_t* buffer, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && buffer[length] != 0) {
        ++length;
    }
    return qel::String(buffer, length);
}

} // namespace

Volume::Volume(const DriveLetterInfo& info) {
    const DriveCharacters& characters = driveCharacters();
    driveLetter = info.driveLetter;
    rootPath = volumeRootFor(info.driveLetter);
    devicePath = devicePathFor(info.driveLetter);
    driveType = info.driveType;
    isSystemVolume = sameDrive(driveLetter, characters.system);
    isProgramVolume = sameDrive(driveLetter, characters.program);
    refreshInformation();
}

// Out of line: these members are exported for other modules that copy and destroy records.
Volume::Volume(const Volume& other) = default;
Volume& Volume::operator=(const Volume& other) = default;
Volume::~Volume() = default;

void Volume::refreshInformation() {
    char16_t name[1024] = {};
    char16_t fileSystemName[256] = {};
    DWORD serial = 0;
    DWORD maxComponent = 0;
    DWORD flags = 0;
    if (win32::GetVolumeInformationW(rootPath.getUCS2Buffer(), name, 1024, &serial, &maxComponent,
                                     &flags, fileSystemName, 256) != 0) {
        label = boundedText(name, 1024);
        fileSystem = boundedText(fileSystemName, 256);
        serialNumber = qel::SprintfFormat("%04X-%04X", serial >> 16, serial & 0xFFFF);
        isReadOnly = (flags & FILE_READ_ONLY_VOLUME) != 0;
    }
    if (driveType == DRIVE_FIXED || driveType == DRIVE_REMOVABLE) {
        ULARGE_INTEGER available{};
        ULARGE_INTEGER total{};
        ULARGE_INTEGER totalFree{};
        if (win32::GetDiskFreeSpaceExW(rootPath.getUCS2Buffer(), &available, &total, &totalFree) !=
            0) {
            totalBytes = total.QuadPart;
            freeBytes = totalFree.QuadPart;
            usedBytes = totalBytes >= freeBytes ? totalBytes - freeBytes : 0;
        }
    }
}

} // namespace libOSWindows
