#pragma once
// The processor topology that Linux publishes under /sys/devices/system/cpu: which online
// logical processors form each core, and which cores each physical package holds.

#include <filesystem>
#include <vector>

namespace libSysTopo::cpu {

struct SysfsCore {
    // The kernel's core_id: unique within its package, not necessarily contiguous.
    unsigned number = 0;
    // Online logical processors of the core (its hardware threads), ascending.
    std::vector<unsigned> cpus;
};

struct SysfsPackage {
    // The kernel's physical_package_id (0 when the kernel does not know it).
    unsigned id = 0;
    // Online logical processors of the package, ascending.
    std::vector<unsigned> cpus;
    // Ascending by number; cores of equal number (on different dies) by their first processor.
    std::vector<SysfsCore> cores;
};

// Reads the topology below root (normally /sys/devices/system/cpu): the online processors from
// root/online (or, without it, every cpuN whose cpuN/online is not 0), and for each
// cpuN/topology/physical_package_id, die_id, core_id and core_cpus_list (thread_siblings_list on
// kernels before 5.7). A processor whose topology files are missing or malformed counts as a core
// of its own in package 0, so every online processor appears exactly once. Packages are in
// ascending id order. Empty when no processor is found.
std::vector<SysfsPackage> readSysfsTopology(const std::filesystem::path& root);

} // namespace libSysTopo::cpu
