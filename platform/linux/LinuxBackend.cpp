#include "platform/linux/LinuxBackend.h"

#include "platform/Hot.h"
#include "platform/KeptFile.h"
#include "platform/linux/MemInfo.h"

#include <cstring>
#include <ctime>
#include <mutex>

namespace platform {
// Never destroyed: the library's objects destroyed at exit (the disks, with their open handles)
// still close through it. A reading of the storage serves the calls of a quarter second: a
// refresh of the library, not a changed machine.
SM_HOT Backend& nativeBackend() {
    static LinuxBackend* const backend = new LinuxBackend({}, 0.25);
    return *backend;
}

SM_HOT double LinuxBackend::monotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

SM_HOT BOOL LinuxBackend::globalMemoryStatusEx(MEMORYSTATUSEX* status) {
    if (status == nullptr || status->dwLength != sizeof(MEMORYSTATUSEX)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::optional<MemInfo> info;
    {
        // One descriptor for the process, any thread may ask; never destroyed, as the backend.
        static std::mutex lock;
        static KeptFile& file = *new KeptFile("/proc/meminfo");
        const std::lock_guard<std::mutex> hold(lock);
        if (const auto text = file.read()) {
            info = parseMemInfo(*text);
        }
    }
    if (!info) {
        setLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    std::memset(status, 0, sizeof(*status));
    status->dwLength = sizeof(MEMORYSTATUSEX);
    status->ullTotalPhys = info->totalBytes;
    status->ullAvailPhys = info->availableBytes;
    status->dwMemoryLoad = memoryLoadPercent(info->totalBytes, info->availableBytes);
    status->ullTotalPageFile = info->totalBytes + info->swapTotalBytes;
    status->ullAvailPageFile = info->availableBytes + info->swapFreeBytes;
    status->ullTotalVirtual = 0x7FFFFFFE0000ULL;
    status->ullAvailVirtual = status->ullTotalVirtual;
    return TRUE;
}

} // namespace platform
