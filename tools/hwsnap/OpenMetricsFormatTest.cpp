#include "tools/hwsnap/OpenMetricsFormat.h"

#include "devicetree/PropertyAdders.h"

#include <gtest/gtest.h>

#include <string>

namespace hwsnap {
namespace {

using namespace systemmonitor;

TEST(OpenMetricsFormatTest, LabelValuesAreEscapedAndAlwaysValid) {
    const std::string bad = "\xEF\xBF\xBD"; // U+FFFD, the replacement character
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"Acme SSD", "Acme SSD"},
        {R"(say "hi")", R"(say \"hi\")"},
        {R"(C:\dir\)", R"(C:\\dir\\)"},
        {"two\nlines", R"(two\nlines)"},
        {"tab\tcr\rnul" + std::string(1, '\0'), "tab" + bad + "cr" + bad + "nul" + bad},
        {"\xFF\xFE", bad + bad},           // bytes that are never UTF-8
        {"\xC3", bad},                     // a sequence cut short
        {"\xC0\xAF", bad + bad},           // an overlong '/'
        {"\xED\xA0\x80", bad + bad + bad}, // a surrogate
        {"caf\xC3\xA9 \xF0\x9F\x92\xBE", "caf\xC3\xA9 \xF0\x9F\x92\xBE"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(escapeLabelValue(c.in), c.out) << c.in;
    }
}

TEST(OpenMetricsFormatTest, MegabytesBecomeExactBytesAndNumbersKeepTheirDigits) {
    const struct {
        double megabytes;
        std::string bytes;
    } cases[] = {
        {0.0, "0"},
        {512.0, "536870912"},
        {6553.60000038147, "6871947674"}, // 6871947674 / 2^20, printed shortest
        {0.009535789489746094, "9999"},
        {953869.7109375, "1000204886016"},
        {17592186044416.0, "18446744073709551616"}, // 2^64 bytes: beyond 2^63, still exact
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatSampleValue(megabytesToBytes(c.megabytes)), c.bytes) << c.megabytes;
    }
    EXPECT_EQ(formatSampleValue(0.37), "0.37");
    EXPECT_EQ(formatSampleValue(1.325), "1.325");
    EXPECT_EQ(formatSampleValue(0.5e-6), "5e-07");
}

// A tree with one value of each kind that must be parsed, and nodes that have none.
NodePointer makeTree() {
    NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
    NodePointer cpus = makeNode(SYSTEM_CPU, "System CPU", "SYSCPU");
    NodePointer package = makeNode(CPU_PACKAGE, "Acme \"3000\"", "CPU1");
    addTextProperty(package, "CPUID", "6F6h");
    addIntegerProperty(package, "TemperatureCelsius", 45);
    addTextProperty(package, "CurrentSpeed", "2400.00 MHz");
    addTextProperty(package, "Multiplier", "x 9.0 (6.0 - 9.0)");
    addTextProperty(package, "CPUBusSpeed", "266.67 MHz");
    addTextProperty(package, "CpuCoreVID", "1,3250 V");
    addIntegerProperty(package, "PercentUsage", 37);
    NodePointer core = makeNode(CPU_CORE, "Core 4", "CPU1:Core4");
    addIntegerProperty(core, "PercentUsage", 20);
    package->addChildDevice(core);
    package->addChildDevice(makeNode(CPU_CORE, "Core 5", "CPU1:Core5"));
    cpus->addChildDevice(package);
    root->addChildDevice(cpus);
    NodePointer disk = makeNode(DISK, "Disk", "DISK:SCSI\\P");
    addTextProperty(disk, "ModelNumber", "ACME\nP");
    NodePointer volume = makeNode(VOLUME, "C:", "VOLUME:C");
    addRealProperty(volume, "UsedCapacityMB", 0.009535789489746094);
    disk->addChildDevice(volume);
    root->addChildDevice(disk);
    return root;
}

TEST(OpenMetricsFormatTest, FamiliesOnlyWhereTheTreeHasValues) {
    const NodePointer root = makeTree();
    const std::string out = formatOpenMetrics(*root, 0.25);
    const char* present[] = {
        "systemmonitor_cpu_info{package=\"1\",name=\"Acme \\\"3000\\\"\",cpuid=\"6F6h\","
        "family=\"\",model=\"\",stepping=\"\"} 1\n",
        "systemmonitor_cpu_usage_ratio{package=\"1\"} 0.37\n",
        "systemmonitor_cpu_core_usage_ratio{package=\"1\",core=\"4\"} 0.2\n",
        "systemmonitor_cpu_temperature_celsius{package=\"1\"} 45\n",
        "systemmonitor_cpu_frequency_hertz{package=\"1\"} 2400000000\n",
        "systemmonitor_cpu_bus_frequency_hertz{package=\"1\"} 266670000\n",
        "systemmonitor_cpu_multiplier{package=\"1\"} 9\n",
        "systemmonitor_cpu_core_voltage_volts{package=\"1\"} 1.325\n",
        "systemmonitor_disk_info{disk=\"SCSI\\\\P\",model=\"ACME\\nP\",serial=\"\",firmware=\"\"} "
        "1\n",
        "systemmonitor_volume_used_bytes{disk=\"SCSI\\\\P\",volume=\"C\"} 9999\n",
        "# TYPE systemmonitor_volume_info gauge\n",
        "systemmonitor_snapshot_duration_seconds 0.25\n",
    };
    for (const char* line : present) {
        EXPECT_NE(out.find(line), std::string::npos) << line << "\nin:\n" << out;
    }
    const char* absent[] = {
        "core=\"5\"",
        "systemmonitor_cpu_core_temperature_celsius",
        "systemmonitor_disk_size",
        "systemmonitor_disk_temperature",
        "systemmonitor_volume_size",
        "systemmonitor_memory",
    };
    for (const char* text : absent) {
        EXPECT_EQ(out.find(text), std::string::npos) << text;
    }
    EXPECT_TRUE(out.ends_with("systemmonitor_snapshot_duration_seconds 0.25\n# EOF\n"));
    EXPECT_FALSE(formatOpenMetrics(*root, 0.25, Exposition::PrometheusText).ends_with("# EOF\n"));
}

} // namespace
} // namespace hwsnap
