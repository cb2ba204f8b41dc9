// Drive letters, their volumes and free space.

#include "platform/StorageEmulator.h"

#include "platform/BufferAnswer.h"
#include "platform/EmulatedRequests.h"
#include "platform/WideText.h"

#include <algorithm>

namespace platform {
namespace {

using emulated::fail;

constexpr DWORD kErrorPathNotFound = 3;
constexpr DWORD kErrorBadLength = 24;
constexpr DWORD kErrorInvalidName = 123;
constexpr DWORD kErrorDirNotRoot = 144;

struct DriveRoot {
    char letter = 0;
    enum class Kind { Root, Drive, Directory } kind = Kind::Root; // "X:\", "X:", "X:\dir"
};

// "X:\", "X:" or "X:\dir", also with the \\.\ or \\?\ prefix; a null root is the working
// directory's drive. Roots need their backslash, as Win32 documents.
std::optional<DriveRoot> parseRoot(const char16_t* root, const StorageFacts& facts) {
    if (root == nullptr) {
        if (!facts.currentDrive) {
            return std::nullopt;
        }
        return DriveRoot{*facts.currentDrive};
    }
    std::u16string_view text(root);
    if (text.starts_with(u"\\\\.\\") || text.starts_with(u"\\\\?\\")) {
        text.remove_prefix(4);
    }
    if (text.size() < 2 || text[1] != u':') {
        return std::nullopt;
    }
    const char16_t letter = asciiUpper(text[0]);
    if (letter < u'A' || letter > u'Z') {
        return std::nullopt;
    }
    text.remove_prefix(2);
    if (text.empty()) {
        return DriveRoot{static_cast<char>(letter), DriveRoot::Kind::Drive};
    }
    if (text.front() == u'\\' || text.front() == u'/') {
        text.remove_prefix(1);
    }
    return DriveRoot{static_cast<char>(letter),
                     text.empty() ? DriveRoot::Kind::Root : DriveRoot::Kind::Directory};
}

const LetterFacts* findLetter(const StorageFacts& facts, char letter) {
    const auto it = facts.letters.find(letter);
    return it == facts.letters.end() ? nullptr : &it->second;
}

// Copies `text` and its terminating zero into a buffer of `capacity` characters; false when it
// does not fit, with as much copied as fits and no terminator, as GetVolumeInformationW does.
bool copyText(const std::u16string& text, char16_t* buffer, DWORD capacity) {
    if (buffer == nullptr) {
        return true;
    }
    if (text.size() + 1 > capacity) {
        std::copy_n(text.begin(), std::min<std::size_t>(capacity, text.size()), buffer);
        return false;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return true;
}

} // namespace

DWORD StorageEmulator::getLogicalDrives() {
    DWORD mask = 0;
    for (const auto& [letter, facts] : storageFacts()->letters) {
        mask |= DWORD{1} << (letter - 'A');
    }
    setLastError(ERROR_SUCCESS);
    return mask;
}

UINT StorageEmulator::getDriveType(const char16_t* root) {
    const auto facts = storageFacts();
    const auto parsed = parseRoot(root, *facts);
    const bool isRoot = parsed && parsed->kind == DriveRoot::Kind::Root;
    const LetterFacts* letter = isRoot ? findLetter(*facts, parsed->letter) : nullptr;
    return letter == nullptr ? DRIVE_NO_ROOT_DIR : letter->type;
}

int StorageEmulator::isNetDrive(int drive) {
    if (drive < 0 || drive > 25) {
        return 0;
    }
    const LetterFacts* letter = findLetter(*storageFacts(), static_cast<char>('A' + drive));
    return letter == nullptr ? 0 : letter->network;
}

BOOL StorageEmulator::getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize,
                                           DWORD* serial, DWORD* maxComponent, DWORD* flags,
                                           char16_t* fileSystem, DWORD fileSystemSize) {
    const auto facts = storageFacts();
    const auto parsed = parseRoot(root, *facts);
    if (!parsed || parsed->kind == DriveRoot::Kind::Drive) {
        return fail(kErrorInvalidName);
    }
    const LetterFacts* letter = findLetter(*facts, parsed->letter);
    if (letter == nullptr) {
        return fail(kErrorPathNotFound);
    }
    if (parsed->kind == DriveRoot::Kind::Directory) {
        return fail(kErrorDirNotRoot);
    }
    if (!letter->volume) {
        return fail(letter->volumeError); // no medium, or no file system to ask
    }
    const VolumeFacts& volume = *letter->volume;
    if (!copyText(volume.label, name, nameSize) ||
        !copyText(volume.fileSystem, fileSystem, fileSystemSize)) {
        return fail(kErrorBadLength);
    }
    if (serial != nullptr) {
        *serial = volume.serial;
    }
    if (maxComponent != nullptr) {
        *maxComponent = volume.maxComponentLength;
    }
    if (flags != nullptr) {
        *flags = volume.flags;
    }
    setLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL StorageEmulator::getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                                         ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    const auto facts = storageFacts();
    const auto parsed = parseRoot(root, *facts);
    const LetterFacts* letter = parsed ? findLetter(*facts, parsed->letter) : nullptr;
    if (letter == nullptr) {
        return fail(kErrorPathNotFound);
    }
    if (!letter->space) {
        return fail(letter->spaceError);
    }
    if (availableToCaller != nullptr) {
        availableToCaller->QuadPart = letter->space->available;
    }
    if (total != nullptr) {
        total->QuadPart = letter->space->total;
    }
    if (totalFree != nullptr) {
        totalFree->QuadPart = letter->space->free;
    }
    setLastError(ERROR_SUCCESS);
    return TRUE;
}

} // namespace platform
