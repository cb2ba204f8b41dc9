// Handles: CreateFileW on a disk's path or a drive letter's volume, CloseHandle, and
// DeviceIoControl, which a volume answers in part and passes on to its disk; the counts tests
// read; the last error.

#include "platform/StorageEmulator.h"

#include "platform/EmulatedRequests.h"
#include "platform/WideText.h"

namespace platform {
namespace {

thread_local DWORD threadLastError = ERROR_SUCCESS;

constexpr DWORD kErrorPathNotFound = 3;

using emulated::fail;

// The path after its device prefix (\\.\ or \\?\), or the path itself.
std::u16string_view withoutPrefix(std::u16string_view path) {
    if (path.starts_with(u"\\\\.\\") || path.starts_with(u"\\\\?\\")) {
        path.remove_prefix(4);
    }
    return path;
}

// `\\.\X:` or `\\?\X:`: a drive letter's volume device.
std::optional<char> volumeDeviceLetter(std::u16string_view name) {
    if (name.size() != 6 || withoutPrefix(name).size() != 2 || name[5] != u':') {
        return std::nullopt;
    }
    const char16_t letter = asciiUpper(name[4]);
    if (letter < u'A' || letter > u'Z') {
        return std::nullopt;
    }
    return static_cast<char>(letter);
}

} // namespace

void setLastError(DWORD error) {
    threadLastError = error;
}

DWORD lastError() {
    return threadLastError;
}

std::shared_ptr<const DiskFacts> findDisk(const StorageFacts& facts, std::u16string_view path) {
    if (const auto exact = facts.disks.find(path); exact != facts.disks.end()) {
        return exact->second;
    }
    const std::u16string_view wanted = withoutPrefix(path);
    if (wanted.size() == path.size()) {
        return nullptr; // only device paths open a disk
    }
    for (const auto& [name, disk] : facts.disks) {
        const std::u16string_view candidate = withoutPrefix(name);
        if (candidate.size() != name.size() && equalsNoCase(candidate, wanted)) {
            return disk;
        }
    }
    return nullptr;
}

StorageEmulator::StorageEmulator() : tables_(std::make_unique<Tables>()) {}
StorageEmulator::~StorageEmulator() = default;
StorageEmulator::StorageEmulator(StorageEmulator&&) noexcept = default;
StorageEmulator& StorageEmulator::operator=(StorageEmulator&&) noexcept = default;

std::optional<StorageEmulator::OpenFile> StorageEmulator::openFile(HANDLE handle) const {
    std::lock_guard lock(tables_->mutex);
    const auto it = tables_->files.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == tables_->files.end() ? std::nullopt : std::optional(it->second);
}

HANDLE StorageEmulator::createFile(const char16_t* name, DWORD /*access*/, DWORD /*share*/,
                                   DWORD disposition, DWORD /*flags*/) {
    if (name == nullptr) {
        setLastError(kErrorPathNotFound);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition < 1 || disposition > 5) { // CREATE_NEW .. TRUNCATE_EXISTING
        setLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    OpenFile file{name, volumeDeviceLetter(name)};
    const auto facts = storageFacts();
    bool openable = false;
    if (file.letter) {
        const auto letter = facts->letters.find(*file.letter);
        if (letter == facts->letters.end()) {
            setLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        openable = letter->second.openable;
    } else {
        const auto disk = findDisk(*facts, file.name);
        if (!disk) {
            setLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        openable = disk->openable;
    }
    if (!openable) {
        setLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard lock(tables_->mutex);
    const HANDLE handle = tables_->newHandle();
    ++tables_->opens;
    ++tables_->opensByPath[file.name];
    tables_->files.emplace(reinterpret_cast<std::uintptr_t>(handle), std::move(file));
    setLastError(ERROR_SUCCESS);
    return handle;
}

BOOL StorageEmulator::closeHandle(HANDLE handle) {
    std::lock_guard lock(tables_->mutex);
    const auto it = tables_->files.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == tables_->files.end()) {
        ++tables_->invalidCloses;
        return fail(ERROR_INVALID_HANDLE);
    }
    ++tables_->closes;
    ++tables_->closesByPath[it->second.name];
    tables_->files.erase(it);
    return TRUE;
}

BOOL StorageEmulator::deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                      DWORD outSize, DWORD* returned) {
    // Without an overlapped structure Win32 requires the byte count.
    if (returned == nullptr) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    *returned = 0;
    const auto file = openFile(device);
    if (!file) {
        return fail(ERROR_INVALID_HANDLE);
    }
    const auto facts = storageFacts();
    std::shared_ptr<const DiskFacts> disk;
    if (file->letter) {
        const auto letter = facts->letters.find(*file->letter);
        if (letter == facts->letters.end()) {
            return fail(ERROR_NOT_READY); // gone while open
        }
        // A volume answers which disk it lies on and its own length; the rest is the disk's.
        if (code == IOCTL_STORAGE_GET_DEVICE_NUMBER) {
            return emulated::deviceNumber(letter->second.deviceNumber, out, outSize, returned);
        }
        if (code == IOCTL_DISK_GET_LENGTH_INFO && letter->second.length) {
            return emulated::length(letter->second.length, out, outSize, returned);
        }
        if (letter->second.disk) {
            disk = findDisk(*facts, *letter->second.disk);
        }
        if (!disk) {
            return fail(ERROR_INVALID_FUNCTION);
        }
    } else {
        disk = findDisk(*facts, file->name);
        if (!disk) {
            return fail(ERROR_NOT_READY); // gone while open
        }
    }
    return emulated::diskIoControl(*disk, code, in, inSize, out, outSize, returned);
}

std::size_t StorageEmulator::opens() const {
    return read(&Tables::opens);
}

std::size_t StorageEmulator::closes() const {
    return read(&Tables::closes);
}

namespace {
std::size_t countOf(const std::map<std::u16string, std::size_t, std::less<>>& counts,
                    std::u16string_view path) {
    const auto it = counts.find(path);
    return it == counts.end() ? 0 : it->second;
}
} // namespace

std::size_t StorageEmulator::opens(std::u16string_view path) const {
    std::lock_guard lock(tables_->mutex);
    return countOf(tables_->opensByPath, path);
}

std::size_t StorageEmulator::closes(std::u16string_view path) const {
    std::lock_guard lock(tables_->mutex);
    return countOf(tables_->closesByPath, path);
}

std::size_t StorageEmulator::openHandleCount() const {
    std::lock_guard lock(tables_->mutex);
    return tables_->files.size();
}

std::size_t StorageEmulator::invalidCloses() const {
    return read(&Tables::invalidCloses);
}

std::size_t StorageEmulator::deviceSetsCreated() const {
    return read(&Tables::setsCreated);
}

std::size_t StorageEmulator::deviceSetsDestroyed() const {
    return read(&Tables::setsDestroyed);
}

std::size_t StorageEmulator::openDeviceSetCount() const {
    std::lock_guard lock(tables_->mutex);
    return tables_->sets.size();
}

std::size_t StorageEmulator::invalidDeviceSetDestroys() const {
    return read(&Tables::invalidSetDestroys);
}

} // namespace platform
