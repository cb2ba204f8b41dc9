#include "memory/MemoryCollector.h"

#include "platform/Win32.h"

namespace systemmonitor {
namespace {
constexpr double kBytesToMegabytes = 9.5367431640625e-07; // 2^-20
}

void collectMemoryDevice(NodePointer& root) {
    NodePointer node = makeNode(SYSTEM_MEMORY, "System Memory", "SYSTEM_MEM");
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(MEMORYSTATUSEX);
    if (win32::GlobalMemoryStatusEx(&status) == 0) {
        return;
    }
    const double totalMB = static_cast<double>(status.ullTotalPhys) * kBytesToMegabytes;
    const double availableMB = static_cast<double>(status.ullAvailPhys) * kBytesToMegabytes;
    addIntegerProperty(node, "PercentCapacityUsed", static_cast<int>(status.dwMemoryLoad));
    addRealProperty(node, "TotalCapacityMB", totalMB);
    addRealProperty(node, "UsedCapacityMB", totalMB - availableMB);
    root->addChildDevice(node);
}

} // namespace systemmonitor
