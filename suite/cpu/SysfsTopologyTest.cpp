#include "suite/cpu/SysfsTopology.h"

#include "suite/cpu/testing/TestFiles.h"

#include <gtest/gtest.h>

namespace libSysTopo::cpu {
namespace {

// Each package as "id [cpus] core(cpus) ...", the packages apart by "; ".
std::string describe(const std::vector<SysfsPackage>& packages) {
    const auto list = [](const std::vector<unsigned>& cpus) {
        std::string out;
        for (const unsigned cpu : cpus) {
            out += (out.empty() ? "" : ",") + std::to_string(cpu);
        }
        return out;
    };
    std::string out;
    for (const SysfsPackage& package : packages) {
        out += (out.empty() ? "" : "; ") + std::to_string(package.id) + " [" + list(package.cpus) +
               "]";
        for (const auto& core : package.cores) {
            out += " " + std::to_string(core.number) + "(" + list(core.cpus) + ")";
        }
    }
    return out;
}

TEST(SysfsTopologyTest, TwoSocketsWithCoreNumberGapsAndAnOfflineThread) {
    // Processors alternate between the sockets; cpu23 (socket 1, core 10's second thread) is
    // offline, and the kernel predates core_cpus_list.
    EXPECT_TRUE(readSysfsTopology(test::testData("missing")).empty());
    const auto packages = readSysfsTopology(test::testData("sysfs-topology-xeon-x5650-2s12c24t"));
    EXPECT_EQ(describe(packages), "0 [0,2,4,6,8,10,12,14,16,18,20,22] 0(0,12) 1(2,14) 2(4,16) "
                                  "8(6,18) 9(8,20) 10(10,22); "
                                  "1 [1,3,5,7,9,11,13,15,17,19,21] 0(1,13) 1(3,15) 2(5,17) "
                                  "8(7,19) 9(9,21) 10(11)");
}

TEST(SysfsTopologyTest, MissingTopologyDirectoriesGiveOneCorePerProcessor) {
    const auto packages = readSysfsTopology(test::testData("sysfs-topology-vm-4cpu-no-topology"));
    EXPECT_EQ(describe(packages), "0 [0,1,2,3] 0(0) 1(1) 2(2) 3(3)");
}

void writeCpu(const test::TestTree& tree, unsigned cpu, std::string_view package,
              std::string_view core, std::string_view siblings, std::string_view die = {}) {
    const std::string base = "cpu" + std::to_string(cpu) + "/topology/";
    tree.file(base + "physical_package_id", std::string(package) + "\n");
    tree.file(base + "core_id", std::string(core) + "\n");
    if (!siblings.empty()) {
        tree.file(base + "core_cpus_list", std::string(siblings) + "\n");
    }
    if (!die.empty()) {
        tree.file(base + "die_id", std::string(die) + "\n");
    }
}

TEST(SysfsTopologyTest, WithoutAnOnlineListEachProcessorsFlagDecides) {
    const test::TestTree tree;
    writeCpu(tree, 0, "0", "0", "0");
    writeCpu(tree, 1, "0", "1", "1");
    writeCpu(tree, 10, "0", "4", "10");
    tree.file("cpu1/online", "0\n");
    tree.file("cpufreq/x", "");
    tree.file("cpu3", "not a directory");
    EXPECT_EQ(describe(readSysfsTopology(tree.root())), "0 [0,10] 0(0) 4(10)");
}

TEST(SysfsTopologyTest, ProcessorsWithUnreadablePlacementStandAlone) {
    const test::TestTree tree;
    tree.file("online", "0-3\n");
    writeCpu(tree, 0, "1", "0", "0,2");
    writeCpu(tree, 2, "1", "0", "0,2");
    writeCpu(tree, 1, "-1", "0", "1");      // placement the kernel does not know
    writeCpu(tree, 3, "0", "garbage", "3"); // unreadable core number
    EXPECT_EQ(describe(readSysfsTopology(tree.root())), "0 [1,3] 1(1) 3(3); 1 [0,2] 0(0,2)");
}

TEST(SysfsTopologyTest, WithoutSiblingListsEqualCoreNumbersOnOneDieShareACore) {
    // Two dies in one package reuse core numbers; without a sibling list the die tells them apart.
    const test::TestTree tree;
    tree.file("online", "0-5\n");
    writeCpu(tree, 0, "0", "0", "", "0");
    writeCpu(tree, 1, "0", "1", "", "0");
    writeCpu(tree, 2, "0", "0", "", "1");
    writeCpu(tree, 3, "0", "1", "", "1");
    writeCpu(tree, 4, "0", "0", "", "0");
    writeCpu(tree, 5, "0", "0", "", "1");
    EXPECT_EQ(describe(readSysfsTopology(tree.root())), "0 [0,1,2,3,4,5] 0(0,4) 0(2,5) 1(1) 1(3)");
}

TEST(SysfsTopologyTest, SiblingListsNameOnlyOnlineThreads) {
    // A stale sibling list naming an offline processor first must not split the core.
    const test::TestTree tree;
    tree.file("online", "1-3\n");
    writeCpu(tree, 1, "0", "0", "0-1");
    writeCpu(tree, 2, "0", "1", "2-3");
    writeCpu(tree, 3, "0", "1", "2-3");
    EXPECT_EQ(describe(readSysfsTopology(tree.root())), "0 [1,2,3] 0(1) 1(2,3)");
}

} // namespace
} // namespace libSysTopo::cpu
