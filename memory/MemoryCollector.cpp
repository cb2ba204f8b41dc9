#include "memory/MemoryCollector.h"

#include "platform/Hot.h"
#include "platform/Win32.h"

namespace systemmonitor {
namespace {
constexpr double kBytesToMegabytes = 9.5367431640625e-07; // 2^-20
}

SM_HOT void collectMemoryDevice(NodePointer& root) {
    // Texts made once: a snapshot only copies them.
    static const qel::String kName("System Memory");
    static const qel::String kKey("SYSTEM_MEM");
    static const qel::String kPercentUsed("PercentCapacityUsed");
    static const qel::String kTotal("TotalCapacityMB");
    static const qel::String kUsed("UsedCapacityMB");
    NodePointer node = makeNode(SYSTEM_MEMORY, kName, kKey);
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(MEMORYSTATUSEX);
    if (win32::GlobalMemoryStatusEx(&status) == 0) {
        return;
    }
    const double totalMB = static_cast<double>(status.ullTotalPhys) * kBytesToMegabytes;
    const double availableMB = static_cast<double>(status.ullAvailPhys) * kBytesToMegabytes;
    addIntegerProperty(node, kPercentUsed, static_cast<int>(status.dwMemoryLoad));
    addRealProperty(node, kTotal, totalMB);
    addRealProperty(node, kUsed, totalMB - availableMB);
    root->addChildDevice(node);
}

} // namespace systemmonitor
