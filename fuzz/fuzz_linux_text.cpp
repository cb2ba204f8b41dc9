// Texts the Linux backend reads from the kernel: /proc/stat, /proc/meminfo, /proc/cpuinfo, the
// mount table, sysfs attributes (CPU lists, numbers, libata's IDENTIFY words) and udev names.
// Every parser is given the same text.
#include "platform/TextFile.h"
#include "platform/linux/DriveIdentity.h"
#include "platform/linux/MemInfo.h"
#include "platform/linux/MountTable.h"
#include "platform/linux/Superblock.h"
#include "platform/linux/SysBlock.h"
#include "suite/cpu/CpuList.h"
#include "suite/cpu/ProcCpuInfo.h"
#include "suite/cpu/ProcStat.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    libCpuProbe::cpu::parseProcStat(text);
    if (const auto memory = platform::parseMemInfo(text)) {
        platform::memoryLoadPercent(memory->totalBytes, memory->availableBytes);
    }
    libSysTopo::cpu::parseProcCpuInfo(text);
    for (const auto& mount : platform::parseMountInfo(text)) {
        platform::isReadOnlyMount(mount);
        platform::classifyFileSystem(mount.fsType);
    }
    platform::unescapeMountField(text);
    platform::hasMountOption(text, "ro");
    libSysTopo::cpu::parseCpuList(text);
    platform::parseNumber<std::int64_t>(text);
    platform::parseNumber<std::uint16_t>(text, 16);
    platform::parseAtaIdText(text);
    platform::decodeUdevName(text);
    platform::serialFromUuid(text);
    return 0;
}
