#pragma once
// Which drive letters lie on which physical disk, by kind of drive.

#include "foundation/Array.h"
#include "foundation/HashTable.h"
#include "foundation/String.h"
#include "libOSWindows/DriveLetterInfo.h"

namespace libOSWindows {

// Disk number → the letters on that disk, in ascending order.
using DriveLetterTable = qel::HashTable<unsigned int, qel::Array<DriveLetterInfo>,
                                        qel::EqualFunc<unsigned int>, qel::HashFunc<unsigned int>>;

struct DriveLetterMap {
    DriveLetterTable fixedDrives;     // DRIVE_FIXED
    DriveLetterTable removableDrives; // DRIVE_REMOVABLE
    DriveLetterTable cdromDrives;     // DRIVE_CDROM, keyed by the CD-ROM device's number
};

// "\\.\X:": the name under which the letter's volume device opens.
qel::String devicePathFor(char letter);
// "\\.\X:\": the root for the volume-information and free-space queries.
qel::String volumeRootFor(char letter);
// "X:\": the root for GetDriveTypeW.
qel::String driveRootFor(char letter);

// Fills an empty map with every local letter that opens and reports its disk number; network
// drives and letters that fail any step are left out.
void scanDriveLetters(DriveLetterMap& map);

// Appends `info` to the list under `diskNumber`, creating the entry when there is none; true
// when the table accepted the entry.
bool appendDriveLetter(DriveLetterTable& table, unsigned int diskNumber,
                       const DriveLetterInfo& info);

} // namespace libOSWindows
