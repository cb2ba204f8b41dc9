#pragma once
// The live Linux machine answering Win32-shaped calls: the clock and memory here, the storage
// calls from its storage facts (LinuxStorageFacts.h).

#include "platform/StorageEmulator.h"
#include "platform/linux/LinuxStorageFacts.h"

namespace platform {

class LinuxBackend final : public StorageEmulator {
public:
    // One reading of the storage serves the calls of `maxAgeSeconds`; tests read it anew.
    explicit LinuxBackend(StorageRoots roots = {}, double maxAgeSeconds = 0.0)
        : storage_(std::move(roots), maxAgeSeconds) {}

    double monotonicSeconds() override;
    BOOL globalMemoryStatusEx(MEMORYSTATUSEX* status) override;

private:
    std::shared_ptr<const StorageFacts> storageFacts() override { return storage_.facts(); }

    LinuxStorageFacts storage_;
};

} // namespace platform
