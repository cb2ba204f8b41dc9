#include "libOSWindows/DriveLetters.h"

#include "foundation/FileHandleResManager.h"
#include "foundation/SprintfFormat.h"
#include "platform/Win32.h"

namespace libOSWindows {

qel::String devicePathFor(char letter) {
    return qel::SprintfFormat("\\\\.\\%c:", letter);
}

qel::String volumeRootFor(char letter) {
    return qel::SprintfFormat("\\\\.\\%c:\\", letter);
}

qel::String driveRootFor(char letter) {
    return qel::SprintfFormat("%c:\\", letter);
}

void scanDriveLetters(DriveLetterMap& map) {
    const DWORD present = win32::GetLogicalDrives();
    for (int index = 0; index < 26; ++index) {
        if ((present & (DWORD(1) << index)) == 0) {
            continue;
        }
        // Connected and disconnected network drives alike.
        if (win32::IsNetDrive(index) != 0) {
            continue;
        }
        const char letter = static_cast<char>('A' + index);
        // Closed when this letter's turn ends, on every path.
        const qel::FileHandle volume(win32::CreateFileW(
            devicePathFor(letter).getUCS2Buffer(), FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!volume.isValid()) {
            continue;
        }
        STORAGE_DEVICE_NUMBER number{};
        DWORD returned = 0;
        if (win32::DeviceIoControl(volume.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0,
                                   &number, sizeof number, &returned, nullptr) == 0) {
            continue;
        }
        DriveLetterInfo info;
        info.driveLetter = letter;
        info.driveType = win32::GetDriveTypeW(driveRootFor(letter).getUCS2Buffer());
        switch (info.driveType) {
        case DRIVE_REMOVABLE:
            appendDriveLetter(map.removableDrives, number.DeviceNumber, info);
            break;
        case DRIVE_FIXED:
            appendDriveLetter(map.fixedDrives, number.DeviceNumber, info);
            break;
        case DRIVE_CDROM:
            appendDriveLetter(map.cdromDrives, number.DeviceNumber, info);
            break;
        default:
            break; // unknown, no root, remote, RAM disk: not recorded
        }
    }
}

bool appendDriveLetter(DriveLetterTable& table, unsigned int diskNumber,
                       const DriveLetterInfo& info) {
    const qel::Array<DriveLetterInfo>* stored = table.lookup(diskNumber);
    if (stored == nullptr) {
        qel::Array<DriveLetterInfo> letters;
        letters.append(info);
        return table.insert(diskNumber, letters);
    }
    qel::Array<DriveLetterInfo> letters(*stored);
    letters.append(info);
    table.remove(diskNumber);
    return table.insert(diskNumber, letters);
}

} // namespace libOSWindows
