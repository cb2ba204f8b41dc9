#pragma once
// A LinuxStorage handle, and the control requests it answers, each job in its own file:
// LinuxStorageQueries.cpp (device number, property, length, geometry) and LinuxPassThrough.cpp
// (SCSI, ATA and SMART pass-through).

#include "platform/linux/LinuxBackend.h"
#include "platform/linux/LinuxStorage.h"
#include "platform/linux/SysBlock.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <string>
#include <unistd.h>

namespace platform {

struct LinuxStorage::DeviceHandle {
    enum class Kind { Disk, CdRom, Volume };

    Kind kind = Kind::Disk;
    StorageRoots roots;
    std::optional<BlockDevice> whole; // the disk or CD-ROM drive the handle reaches
    std::string node;                 // the handle's own block node ("sda1"); empty without one
    std::optional<DWORD> number;      // disk or CD-ROM number; empty for a spanned volume
    DWORD partition = 0;
    DWORD deviceType = FILE_DEVICE_DISK;

    std::mutex openMutex;
    bool openTried = false;
    int fd = -1;

    ~DeviceHandle() {
        if (fd >= 0) {
            ::close(fd);
        }
    }

    // The whole device's /dev node, opened on first need; -1 when it does not open.
    int descriptor() {
        std::lock_guard lock(openMutex);
        if (!openTried && whole) {
            openTried = true;
            fd = ::open((roots.dev / whole->name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        }
        return fd;
    }

    // Size and removability change with the medium: read them again.
    BlockDevice current() const {
        if (auto fresh = readBlockDevice(roots.sys, whole->name)) {
            return *fresh;
        }
        return *whole;
    }
};

namespace storage {

using Handle = LinuxStorage::DeviceHandle;

inline constexpr DWORD kErrorPathNotFound = 3;
inline constexpr DWORD kErrorIoDevice = 1117;

inline BOOL fail(DWORD error) {
    setLastError(error);
    return FALSE;
}

inline void setReturned(DWORD* returned, std::size_t bytes) {
    if (returned != nullptr) {
        *returned = static_cast<DWORD>(bytes);
    }
}

inline DWORD errorFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return kErrorPathNotFound;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case ENOMEDIUM:
        return ERROR_NOT_READY;
    case ENOTTY:
    case ENOSYS:
    case EOPNOTSUPP:
        return ERROR_INVALID_FUNCTION;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return kErrorIoDevice;
    }
}

// 512-byte sectors of a block node, from sysfs.
std::optional<std::uint64_t> nodeSectors(const StorageRoots& roots, const std::string& node);

BOOL queryDeviceNumber(const Handle& handle, void* out, DWORD outSize, DWORD* returned);
BOOL queryProperty(const Handle& handle, const void* in, DWORD inSize, void* out, DWORD outSize,
                   DWORD* returned);
BOOL queryLength(const Handle& handle, void* out, DWORD outSize, DWORD* returned);
BOOL queryGeometry(Handle& handle, void* out, DWORD outSize, DWORD* returned);

BOOL scsiPassThrough(Handle& handle, const void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned);
BOOL ataPassThrough(Handle& handle, const void* in, DWORD inSize, void* out, DWORD outSize,
                    DWORD* returned);
BOOL smartReceive(Handle& handle, const void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned);

} // namespace storage
} // namespace platform
