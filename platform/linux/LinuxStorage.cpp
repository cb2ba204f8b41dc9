#include "platform/linux/LinuxStorage.h"

#include "platform/BufferAnswer.h"
#include "platform/PassThrough.h"
#include "platform/linux/DeviceHandle.h"
#include "platform/linux/LinuxBackend.h"
#include "platform/linux/Superblock.h"
#include "platform/linux/WideText.h"
#include "platform/linux/WindowsNames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {
namespace fs = std::filesystem;
using namespace storage;

namespace {

constexpr DWORD kErrorBadLength = 24;
constexpr DWORD kErrorDirNotRoot = 144;
constexpr DWORD kErrorUnrecognizedVolume = 1005;

constexpr DWORD kFileCaseSensitiveSearch = 0x1;
constexpr DWORD kFileCasePreservedNames = 0x2;
constexpr DWORD kFileUnicodeOnDisk = 0x4;

struct DriveRoot {
    char16_t letter = 0;
    std::u16string rest; // the path after "X:\", without a leading separator
};

// "X:", "X:\", "X:\dir", also with the \\.\ or \\?\ prefix.
std::optional<DriveRoot> parseDriveRoot(std::u16string_view text) {
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
    if (!text.empty() && (text.front() == u'\\' || text.front() == u'/')) {
        text.remove_prefix(1);
    }
    return DriveRoot{letter, std::u16string(text)};
}

bool isBareRoot(const DriveRoot& root) {
    return root.rest.empty();
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

struct VolumeIdentity {
    std::string type;
    std::string label;
    std::optional<std::uint32_t> serial;
    DWORD error = ERROR_SUCCESS; // why the serial is unknown
};

// The node a /dev/disk/by-* link points at is the last part of its target ("../../sda1").
std::optional<std::string> linkNamingNode(const fs::path& directory, const std::string& node) {
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError && target.filename() == node) {
            return it->path().filename().string();
        }
    }
    return std::nullopt;
}

// The label and serial from the file system's superblock where the node opens, else from the
// udev links. A volume whose serial stays unknown reports why, so that nothing is made up.
VolumeIdentity identifyVolume(const StorageRoots& roots, const std::string& node) {
    VolumeIdentity identity;
    if (node.empty()) {
        identity.error = ERROR_NOT_SUPPORTED; // memory, network and overlay file systems
        return identity;
    }
    const int fd = ::open((roots.dev / node).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const ByteReader reader = [fd](std::uint64_t offset, std::span<std::uint8_t> out) {
            std::size_t done = 0;
            while (done < out.size()) {
                const ssize_t n = ::pread(fd, out.data() + done, out.size() - done,
                                          static_cast<off_t>(offset + done));
                if (n <= 0) {
                    return false;
                }
                done += static_cast<std::size_t>(n);
            }
            return true;
        };
        const auto found = identifyFileSystem(reader);
        ::close(fd);
        if (found) {
            identity.type = found->type;
            identity.label = found->label;
            identity.serial = found->serial;
        }
        identity.error = kErrorUnrecognizedVolume;
    } else {
        identity.error = errno == ENOMEDIUM ? ERROR_NOT_READY : ERROR_ACCESS_DENIED;
    }
    if (!identity.serial) {
        if (const auto label = linkNamingNode(roots.dev / "disk" / "by-label", node)) {
            identity.label = decodeUdevName(*label);
        }
        if (const auto uuid = linkNamingNode(roots.dev / "disk" / "by-uuid", node)) {
            identity.serial = serialFromUuid(*uuid);
        }
    }
    if (identity.serial) {
        identity.error = ERROR_SUCCESS;
    }
    return identity;
}

DWORD fileSystemFlags(const std::string& type) {
    if (type == "vfat" || type == "msdos" || type == "exfat" || type == "ntfs" || type == "ntfs3" ||
        type == "fuseblk" || type == "iso9660" || type == "udf" || type == "hfsplus") {
        return kFileCasePreservedNames | kFileUnicodeOnDisk;
    }
    return kFileCaseSensitiveSearch | kFileCasePreservedNames;
}

} // namespace

LinuxStorage::LinuxStorage(StorageRoots roots) : roots_(std::move(roots)) {}

LinuxStorage::~LinuxStorage() = default;

StorageView LinuxStorage::view() const {
    return StorageView::read(roots_);
}

std::shared_ptr<LinuxStorage::DeviceHandle> LinuxStorage::find(HANDLE handle) const {
    std::lock_guard lock(mutex_);
    const auto it = handles_.find(handle);
    return it == handles_.end() ? nullptr : it->second;
}

std::size_t LinuxStorage::openHandleCount() const {
    std::lock_guard lock(mutex_);
    return handles_.size();
}

HANDLE LinuxStorage::createFile(const char16_t* name, DWORD /*access*/, DWORD /*share*/,
                                DWORD disposition, DWORD /*flags*/) {
    if (name == nullptr) {
        setLastError(kErrorPathNotFound);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition < 1 || disposition > 5) {
        setLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::u16string_view path(name);
    const StorageView storage = view();
    auto handle = std::make_shared<DeviceHandle>();
    handle->roots = roots_;
    bool found = false;

    const auto openDisk = [&](std::size_t number) {
        handle->kind = DeviceHandle::Kind::Disk;
        handle->whole = storage.inventory().disks[number];
        handle->node = handle->whole->name;
        handle->number = static_cast<DWORD>(number);
        found = true;
    };
    const auto openCdrom = [&](std::size_t number) {
        handle->kind = DeviceHandle::Kind::CdRom;
        handle->whole = storage.inventory().cdroms[number];
        handle->node = handle->whole->name;
        handle->number = static_cast<DWORD>(number);
        handle->deviceType = FILE_DEVICE_CD_ROM;
        handle->partition = 0xFFFFFFFFu; // CD-ROM devices have no partitions
        found = true;
    };
    const auto numberAfter = [&path](std::u16string_view prefix) -> std::optional<std::size_t> {
        if (!startsWithNoCase(path, prefix) || path.size() == prefix.size() ||
            path.size() > prefix.size() + 4) {
            return std::nullopt;
        }
        std::size_t value = 0;
        for (const char16_t c : path.substr(prefix.size())) {
            if (c < u'0' || c > u'9') {
                return std::nullopt;
            }
            value = value * 10 + static_cast<std::size_t>(c - u'0');
        }
        return value;
    };

    const bool devicePrefix = path.starts_with(u"\\\\.\\") || path.starts_with(u"\\\\?\\");
    if (devicePrefix && path.size() == 6 && path[5] == u':') {
        if (const DriveLetter* drive = storage.findLetter(path[4])) {
            handle->kind = DeviceHandle::Kind::Volume;
            handle->node = drive->blockName;
            handle->partition = drive->partition;
            if (drive->disks.size() == 1) {
                handle->whole = storage.inventory().disks[drive->disks.front()];
                handle->number = static_cast<DWORD>(drive->disks.front());
            } else if (drive->cdrom) {
                handle->whole = storage.inventory().cdroms[*drive->cdrom];
                handle->number = static_cast<DWORD>(*drive->cdrom);
                handle->deviceType = FILE_DEVICE_CD_ROM;
                handle->partition = 0xFFFFFFFFu;
                if (handle->node.empty()) {
                    handle->node = handle->whole->name;
                }
            }
            found = true;
        }
    } else if (const auto disk =
                   devicePrefix ? numberAfter(u"\\\\.\\PhysicalDrive") : std::nullopt) {
        if (*disk < storage.inventory().disks.size()) {
            openDisk(*disk);
        }
    } else if (const auto cd = devicePrefix ? numberAfter(u"\\\\.\\CdRom") : std::nullopt) {
        if (*cd < storage.inventory().cdroms.size()) {
            openCdrom(*cd);
        }
    } else if (devicePrefix) {
        // Interface paths open under either prefix, in any letter case.
        const std::u16string_view rest = path.substr(4);
        for (std::size_t i = 0; i < storage.inventory().disks.size() && !found; ++i) {
            const std::u16string interface =
                utf8ToUtf16(diskInterfacePath(deviceInstanceId(storage.inventory().disks[i])));
            if (equalsNoCase(rest, std::u16string_view(interface).substr(4))) {
                openDisk(i);
            }
        }
    }
    if (!found) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard lock(mutex_);
    // Fresh values, never reused: a closed handle stays invalid.
    nextHandle_ += 4;
    const auto value = reinterpret_cast<HANDLE>(nextHandle_);
    handles_.emplace(value, std::move(handle));
    setLastError(ERROR_SUCCESS);
    return value;
}

BOOL LinuxStorage::closeHandle(HANDLE handle) {
    std::shared_ptr<DeviceHandle> closing;
    {
        std::lock_guard lock(mutex_);
        const auto it = handles_.find(handle);
        if (it == handles_.end()) {
            return fail(ERROR_INVALID_HANDLE);
        }
        closing = std::move(it->second);
        handles_.erase(it);
    }
    return TRUE;
}

BOOL LinuxStorage::deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                   DWORD outSize, DWORD* returned) {
    setReturned(returned, 0);
    const auto handle = find(device);
    if (!handle) {
        return fail(ERROR_INVALID_HANDLE);
    }
    switch (code) {
    case IOCTL_STORAGE_GET_DEVICE_NUMBER:
        return queryDeviceNumber(*handle, out, outSize, returned);
    case IOCTL_STORAGE_QUERY_PROPERTY:
        return queryProperty(*handle, in, inSize, out, outSize, returned);
    case IOCTL_DISK_GET_LENGTH_INFO:
        return queryLength(*handle, out, outSize, returned);
    case IOCTL_DISK_GET_DRIVE_GEOMETRY:
        return queryGeometry(*handle, out, outSize, returned);
    case win32::kIoctlScsiPassThrough:
        return scsiPassThrough(*handle, in, inSize, out, outSize, returned);
    case win32::kIoctlAtaPassThrough:
        return ataPassThrough(*handle, in, inSize, out, outSize, returned);
    case win32::kSmartRcvDriveData:
        return smartReceive(*handle, in, inSize, out, outSize, returned);
    default:
        return fail(ERROR_INVALID_FUNCTION);
    }
}

DWORD LinuxStorage::getLogicalDrives() {
    DWORD mask = 0;
    const StorageView storage = view();
    for (const auto& drive : storage.letters()) {
        mask |= DWORD{1} << (drive.letter - 'A');
    }
    setLastError(ERROR_SUCCESS);
    return mask;
}

namespace {

// The drive root a call names; a null root means the working directory's drive.
std::optional<DriveRoot> rootOf(const char16_t* root, const StorageView& storage,
                                const StorageRoots& roots) {
    if (root != nullptr) {
        return parseDriveRoot(root);
    }
    std::error_code error;
    const fs::path cwd = roots.cwd.empty() ? fs::current_path(error) : roots.cwd;
    if (error) {
        return std::nullopt;
    }
    const auto path = storage.windowsPath(cwd.lexically_normal().generic_string());
    if (!path) {
        return std::nullopt;
    }
    return DriveRoot{static_cast<char16_t>((*path)[0]), u""};
}

} // namespace

UINT LinuxStorage::getDriveType(const char16_t* root) {
    const StorageView storage = view();
    const auto parsed = rootOf(root, storage, roots_);
    if (!parsed || !isBareRoot(*parsed)) {
        return DRIVE_NO_ROOT_DIR;
    }
    const DriveLetter* drive = storage.findLetter(parsed->letter);
    return drive == nullptr ? DRIVE_NO_ROOT_DIR : drive->driveType();
}

int LinuxStorage::isNetDrive(int drive) {
    if (drive < 0 || drive > 25) {
        return 0;
    }
    const StorageView storage = view();
    const DriveLetter* found = storage.findLetter(static_cast<char16_t>(u'A' + drive));
    return found != nullptr && found->kind == VolumeKind::Network ? 1 : 0;
}

BOOL LinuxStorage::getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize,
                                        DWORD* serial, DWORD* maxComponent, DWORD* flags,
                                        char16_t* fileSystem, DWORD fileSystemSize) {
    const StorageView storage = view();
    const auto parsed = rootOf(root, storage, roots_);
    if (!parsed) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const DriveLetter* drive = storage.findLetter(parsed->letter);
    if (drive == nullptr) {
        return fail(kErrorPathNotFound);
    }
    if (!isBareRoot(*parsed)) {
        return fail(kErrorDirNotRoot);
    }
    const MountEntry* mount = storage.mountOf(*drive);
    if (mount == nullptr) {
        return fail(ERROR_NOT_READY); // a CD-ROM drive without a medium
    }
    const VolumeIdentity identity = identifyVolume(roots_, drive->blockName);
    if (identity.error != ERROR_SUCCESS) {
        return fail(identity.error);
    }
    std::string type = mount->fsType;
    if (type == "fuseblk" && !identity.type.empty()) {
        type = identity.type; // the FUSE driver hides the real file system
    }
    DWORD componentLength = 255;
    if (const auto path = storage.linuxPath(*drive, "")) {
        struct statvfs stats {};
        if (::statvfs(path->c_str(), &stats) == 0 && stats.f_namemax > 0) {
            componentLength = static_cast<DWORD>(stats.f_namemax);
        }
    }
    if (!copyText(utf8ToUtf16(identity.label), name, nameSize) ||
        !copyText(utf8ToUtf16(type), fileSystem, fileSystemSize)) {
        return fail(kErrorBadLength);
    }
    if (serial != nullptr) {
        *serial = identity.serial.value_or(0);
    }
    if (maxComponent != nullptr) {
        *maxComponent = componentLength;
    }
    if (flags != nullptr) {
        *flags = fileSystemFlags(type) | (isReadOnlyMount(*mount) ? FILE_READ_ONLY_VOLUME : 0);
    }
    setLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL LinuxStorage::getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                                      ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    const StorageView storage = view();
    const auto parsed = rootOf(root, storage, roots_);
    if (!parsed) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const DriveLetter* drive = storage.findLetter(parsed->letter);
    if (drive == nullptr) {
        return fail(kErrorPathNotFound);
    }
    const auto path = storage.linuxPath(*drive, utf16ToUtf8(parsed->rest));
    if (!path) {
        return fail(ERROR_NOT_READY);
    }
    struct statvfs stats {};
    if (::statvfs(path->c_str(), &stats) != 0) {
        return fail(errorFromErrno(errno));
    }
    const std::uint64_t unit = stats.f_frsize != 0 ? stats.f_frsize : stats.f_bsize;
    if (availableToCaller != nullptr) {
        availableToCaller->QuadPart = std::uint64_t{stats.f_bavail} * unit;
    }
    if (total != nullptr) {
        total->QuadPart = std::uint64_t{stats.f_blocks} * unit;
    }
    if (totalFree != nullptr) {
        totalFree->QuadPart = std::uint64_t{stats.f_bfree} * unit;
    }
    setLastError(ERROR_SUCCESS);
    return TRUE;
}

UINT LinuxStorage::getSystemDirectory(char16_t* buffer, UINT size) {
    // The system lives on the root file system; its root directory stands for the system
    // directory, which Linux does not have.
    const auto path = view().windowsPath("/");
    if (!path) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const std::u16string text = utf8ToUtf16(*path);
    if (buffer == nullptr || size <= text.size()) {
        return static_cast<UINT>(text.size() + 1);
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return static_cast<UINT>(text.size());
}

DWORD LinuxStorage::getModuleFileName(char16_t* buffer, DWORD size) {
    std::error_code failure;
    const fs::path target = fs::read_symlink(roots_.exe, failure);
    if (failure) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const auto path = view().windowsPath(target.lexically_normal().generic_string());
    if (!path) {
        setLastError(ERROR_FILE_NOT_FOUND); // the program lies on no lettered volume
        return 0;
    }
    DWORD error = 0;
    const DWORD length = answerTruncated(utf8ToUtf16(*path), buffer, size, error);
    if (error != 0) {
        setLastError(error);
    }
    return length;
}

// Never destroyed: the library's objects destroyed at exit (the disks, with their open handles)
// still close through it, whatever the order in which they were created.
LinuxStorage& liveStorage() {
    static LinuxStorage* const storage = new LinuxStorage;
    return *storage;
}

HANDLE LinuxBackend::createFile(const char16_t* name, DWORD access, DWORD share, DWORD disposition,
                                DWORD flags) {
    return liveStorage().createFile(name, access, share, disposition, flags);
}

BOOL LinuxBackend::closeHandle(HANDLE handle) {
    return liveStorage().closeHandle(handle);
}

BOOL LinuxBackend::deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                                   DWORD outSize, DWORD* returned) {
    return liveStorage().deviceIoControl(device, code, in, inSize, out, outSize, returned);
}

DWORD LinuxBackend::getLogicalDrives() {
    return liveStorage().getLogicalDrives();
}

UINT LinuxBackend::getDriveType(const char16_t* root) {
    return liveStorage().getDriveType(root);
}

int LinuxBackend::isNetDrive(int drive) {
    return liveStorage().isNetDrive(drive);
}

BOOL LinuxBackend::getVolumeInformation(const char16_t* root, char16_t* name, DWORD nameSize,
                                        DWORD* serial, DWORD* maxComponent, DWORD* flags,
                                        char16_t* fileSystem, DWORD fileSystemSize) {
    return liveStorage().getVolumeInformation(root, name, nameSize, serial, maxComponent, flags,
                                              fileSystem, fileSystemSize);
}

BOOL LinuxBackend::getDiskFreeSpaceEx(const char16_t* root, ULARGE_INTEGER* availableToCaller,
                                      ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree) {
    return liveStorage().getDiskFreeSpaceEx(root, availableToCaller, total, totalFree);
}

UINT LinuxBackend::getSystemDirectory(char16_t* buffer, UINT size) {
    return liveStorage().getSystemDirectory(buffer, size);
}

DWORD LinuxBackend::getModuleFileName(char16_t* buffer, DWORD size) {
    return liveStorage().getModuleFileName(buffer, size);
}

} // namespace platform
