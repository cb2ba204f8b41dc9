#pragma once
// The live Linux machine answering Win32-shaped calls: the clock and memory here, the storage
// calls from the emulator over the machine's storage facts (LinuxStorageFacts.h).

#include "platform/EmulatingBackend.h"
#include "platform/linux/LinuxStorageFacts.h"

namespace platform {

class LinuxBackend final : public EmulatingBackend {
public:
    double monotonicSeconds() override;
    BOOL globalMemoryStatusEx(MEMORYSTATUSEX* status) override;

private:
    StorageEmulator& storage() override;
};

} // namespace platform
