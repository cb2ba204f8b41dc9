#include "cpu/ProcessorCollector.h"

#include "cpu/ProcessorTreeText.h"
#include "suite/cpu/CpuTemperatureAccessors.h"
#include "suite/cpu/FakeFactsBackend.h"
#include "suite/cpu/FakeProcessorSource.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace systemmonitor {
namespace {

using platform::CoreFacts;
using platform::PackageFacts;
using platform::ProcessorFacts;
using platform::TemperatureFact;

TemperatureFact reading(int celsius) {
    return TemperatureFact{TemperatureFact::Kind::Reading, celsius};
}
const TemperatureFact kFails{TemperatureFact::Kind::Fails, 0};
const TemperatureFact kNoReader{TemperatureFact::Kind::NoReader, 0};

// A simulated machine stating processor facts and nothing else.
using FactsBackend = libSysTopo::cpu::test::FakeFactsBackend;

// One package of four cores numbered 0, 2, 5, 7, everything known.
ProcessorFacts fourCoreMachine() {
    PackageFacts package;
    package.name = u"Acme Processor 3000";
    package.signature = {0x6F6, 6, 0xF, 6, 0, 0};
    package.revision = u"B3";
    package.speed =
        platform::SpeedFacts{1, 9.0, 6.0, 9.0, 2400000000, 266666666, 1066666666, 1.325, 4};
    package.temperature = reading(45);
    package.usage = 37;
    const unsigned numbers[] = {0, 2, 5, 7};
    for (unsigned i = 0; i < 4; ++i) {
        package.cores.push_back(CoreFacts{numbers[i], reading(40 + static_cast<int>(i)), 10 * i});
    }
    ProcessorFacts facts;
    facts.packages.push_back(package);
    return facts;
}

std::string collectOnce(ProcessorCollector& collector) {
    NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
    collector.collect(root);
    return test::describeTree(*root);
}

const char* const kPackageLine =
    "    CPU_PACKAGE \"Acme Processor 3000\" CPU0 CPUID=6F6h Family=6h Model=Fh Stepping=6h"
    " ExtFamily=0h ExtModel=0h Revision=B3";
const char* const kSpeeds = " CurrentSpeed=2400.00 MHz Multiplier=x 9.0 (6.0 - 9.0)"
                            " CPUBusSpeed=266.67 MHz CPUFSBSpeed=1066.67 MHz CpuCoreVID=1.3250 V";

TEST(ProcessorCollectorTest, OnePackageOfFourCoresNumberedByTheMachine) {
    FactsBackend backend;
    backend.facts = fourCoreMachine();
    const platform::ScopedBackend scope(backend);
    ProcessorCollector collector;
    EXPECT_EQ(collectOnce(collector),
              std::string("SYSTEM_ROOT \"System Root\" SYSROOT\n"
                          "  SYSTEM_CPU \"System CPU\" SYSCPU\n") +
                  kPackageLine + " TemperatureCelsius=45" + kSpeeds + " PercentUsage=37\n" +
                  "      CPU_CORE \"Core 0\" CPU0:Core0 TemperatureCelsius=40 PercentUsage=0\n"
                  "      CPU_CORE \"Core 2\" CPU0:Core2 TemperatureCelsius=41 PercentUsage=10\n"
                  "      CPU_CORE \"Core 5\" CPU0:Core5 TemperatureCelsius=42 PercentUsage=20\n"
                  "      CPU_CORE \"Core 7\" CPU0:Core7 TemperatureCelsius=43 PercentUsage=30\n");
}

TEST(ProcessorCollectorTest, MissingFiguresLeaveTheirPropertiesOut) {
    struct Case {
        const char* name;
        std::function<void(ProcessorFacts&)> change;
        std::string package;
        std::string cores;
    };
    const std::string allCores =
        "      CPU_CORE \"Core 0\" CPU0:Core0 TemperatureCelsius=40 PercentUsage=0\n"
        "      CPU_CORE \"Core 2\" CPU0:Core2 TemperatureCelsius=41 PercentUsage=10\n"
        "      CPU_CORE \"Core 5\" CPU0:Core5 TemperatureCelsius=42 PercentUsage=20\n"
        "      CPU_CORE \"Core 7\" CPU0:Core7 TemperatureCelsius=43 PercentUsage=30\n";
    const Case cases[] = {
        {"no temperature reader",
         [](ProcessorFacts& f) {
             f.packages[0].temperature = kNoReader;
             for (auto& core : f.packages[0].cores) {
                 core.temperature = kNoReader;
             }
         },
         std::string(kPackageLine) + kSpeeds + " PercentUsage=37\n",
         "      CPU_CORE \"Core 0\" CPU0:Core0 PercentUsage=0\n"
         "      CPU_CORE \"Core 2\" CPU0:Core2 PercentUsage=10\n"
         "      CPU_CORE \"Core 5\" CPU0:Core5 PercentUsage=20\n"
         "      CPU_CORE \"Core 7\" CPU0:Core7 PercentUsage=30\n"},
        {"failing readings",
         [](ProcessorFacts& f) {
             f.packages[0].temperature = kFails;
             f.packages[0].cores[1].temperature = kFails;
         },
         std::string(kPackageLine) + kSpeeds + " PercentUsage=37\n",
         "      CPU_CORE \"Core 0\" CPU0:Core0 TemperatureCelsius=40 PercentUsage=0\n"
         "      CPU_CORE \"Core 2\" CPU0:Core2 PercentUsage=10\n"
         "      CPU_CORE \"Core 5\" CPU0:Core5 TemperatureCelsius=42 PercentUsage=20\n"
         "      CPU_CORE \"Core 7\" CPU0:Core7 TemperatureCelsius=43 PercentUsage=30\n"},
        {"below zero reads as a failure",
         [](ProcessorFacts& f) { f.packages[0].temperature = reading(-5); },
         std::string(kPackageLine) + kSpeeds + " PercentUsage=37\n", allCores},
        {"no usage meter", [](ProcessorFacts& f) { f.usageMeter = false; },
         std::string(kPackageLine) + " TemperatureCelsius=45" + kSpeeds + "\n",
         "      CPU_CORE \"Core 0\" CPU0:Core0 TemperatureCelsius=40\n"
         "      CPU_CORE \"Core 2\" CPU0:Core2 TemperatureCelsius=41\n"
         "      CPU_CORE \"Core 5\" CPU0:Core5 TemperatureCelsius=42\n"
         "      CPU_CORE \"Core 7\" CPU0:Core7 TemperatureCelsius=43\n"},
        {"failed usage queries",
         [](ProcessorFacts& f) {
             f.packages[0].usage.reset();
             f.packages[0].cores[3].usage.reset();
         },
         std::string(kPackageLine) + " TemperatureCelsius=45" + kSpeeds + "\n",
         "      CPU_CORE \"Core 0\" CPU0:Core0 TemperatureCelsius=40 PercentUsage=0\n"
         "      CPU_CORE \"Core 2\" CPU0:Core2 TemperatureCelsius=41 PercentUsage=10\n"
         "      CPU_CORE \"Core 5\" CPU0:Core5 TemperatureCelsius=42 PercentUsage=20\n"
         "      CPU_CORE \"Core 7\" CPU0:Core7 TemperatureCelsius=43\n"},
        {"failed speed metrics", [](ProcessorFacts& f) { f.packages[0].speed.reset(); },
         std::string(kPackageLine) + " TemperatureCelsius=45 PercentUsage=37\n", allCores},
        {"no revision", [](ProcessorFacts& f) { f.packages[0].revision.reset(); },
         "    CPU_PACKAGE \"Acme Processor 3000\" CPU0 CPUID=6F6h Family=6h Model=Fh Stepping=6h"
         " ExtFamily=0h ExtModel=0h TemperatureCelsius=45" +
             std::string(kSpeeds) + " PercentUsage=37\n",
         allCores},
        {"no core", [](ProcessorFacts& f) { f.packages[0].cores.clear(); },
         std::string(kPackageLine) + " TemperatureCelsius=45" + kSpeeds + " PercentUsage=37\n", ""},
    };
    for (const Case& c : cases) {
        FactsBackend backend;
        backend.facts = fourCoreMachine();
        c.change(backend.facts);
        const platform::ScopedBackend scope(backend);
        ProcessorCollector collector;
        EXPECT_EQ(collectOnce(collector), "SYSTEM_ROOT \"System Root\" SYSROOT\n"
                                          "  SYSTEM_CPU \"System CPU\" SYSCPU\n" +
                                              c.package + c.cores)
            << c.name;
    }
}

TEST(ProcessorCollectorTest, SystemCpuIsAttachedEvenWithoutPackages) {
    FactsBackend backend;
    const platform::ScopedBackend scope(backend);
    ProcessorCollector collector;
    NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
    collector.collect(root);
    root->addChildDevice(makeNode(SYSTEM_MEMORY, "System Memory", "SYSTEM_MEM"));
    EXPECT_EQ(test::describeTree(*root), "SYSTEM_ROOT \"System Root\" SYSROOT\n"
                                         "  SYSTEM_CPU \"System CPU\" SYSCPU\n"
                                         "  SYSTEM_MEMORY \"System Memory\" SYSTEM_MEM\n");
}

TEST(ProcessorCollectorTest, PackagesWithTheSameCoreNumbersKeepDistinctKeys) {
    FactsBackend backend;
    backend.facts = fourCoreMachine();
    backend.facts.packages.push_back(backend.facts.packages[0]);
    backend.facts.packages[1].name = u"";
    backend.facts.packages[1].cores.resize(1);
    const platform::ScopedBackend scope(backend);
    ProcessorCollector collector;
    NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
    collector.collect(root);
    const auto packages = root->getChildDevices()[0]->getChildDevices();
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(packages[1]->getKey(), "CPU1");
    EXPECT_EQ(packages[1]->getLocalizedName(), "");
    ASSERT_EQ(packages[1]->getChildDevices().size(), 1u);
    EXPECT_EQ(packages[1]->getChildDevices()[0]->getKey(), "CPU1:Core0");
}

// Counts the set-up pieces and the meter's life around the libraries' own set-up.
struct CountingSetUp {
    unsigned topologies = 0;
    unsigned meters = 0;
    unsigned accessorCalls = 0;
    unsigned throwsLeft[3] = {0, 0, 0};
    libSysTopo::cpu::ICpuTimeMetrics* meter = nullptr;

    ProcessorCollector::SetUp make() {
        const ProcessorCollector::SetUp library = ProcessorCollector::librarySetUp();
        return ProcessorCollector::SetUp{
            [this, library] {
                ++topologies;
                throwIfAsked(0);
                return library.makeTopology();
            },
            [this, library] {
                ++meters;
                throwIfAsked(1);
                auto accessor = library.getMeter();
                meter = accessor.get();
                return accessor;
            },
            [this, library](libSysTopo::cpu::x86_physical_cpus& topology) {
                ++accessorCalls;
                throwIfAsked(2);
                library.addAccessors(topology);
            },
        };
    }

    void throwIfAsked(int piece) {
        if (throwsLeft[piece] > 0) {
            --throwsLeft[piece];
            throw std::runtime_error("set-up failed");
        }
    }
};

TEST(ProcessorCollectorTest, LaterCollectionsReuseTheSetUpAndSampleOnceEach) {
    FactsBackend backend;
    backend.facts = fourCoreMachine();
    const platform::ScopedBackend scope(backend);
    CountingSetUp counts;
    ProcessorCollector collector(counts.make());
    const std::string first = collectOnce(collector);
    ASSERT_NE(counts.meter, nullptr);
    EXPECT_EQ(counts.meter->getSampleCount(), 1u);

    // The machine changes: new figures show, but the topology stays that of the first call.
    backend.facts.packages[0].temperature = reading(50);
    backend.facts.packages[0].usage = 80;
    backend.facts.packages[0].cores.push_back(CoreFacts{9, reading(1), 1});
    const std::string second = collectOnce(collector);
    EXPECT_NE(second.find("TemperatureCelsius=50"), std::string::npos);
    EXPECT_NE(second.find("PercentUsage=80"), std::string::npos);
    EXPECT_EQ(second.find("Core 9"), std::string::npos);

    collectOnce(collector);
    EXPECT_EQ(counts.topologies, 1u);
    EXPECT_EQ(counts.meters, 1u);
    EXPECT_EQ(counts.accessorCalls, 1u);
    EXPECT_EQ(counts.meter->getSampleCount(), 3u);
}

TEST(ProcessorCollectorTest, ASetUpPieceThatThrowsIsRetriedOnTheNextCall) {
    struct Case {
        int piece;
        unsigned topologies;
        unsigned meters;
        unsigned accessorCalls;
    };
    // Each piece is attempted again after it throws; the pieces before it are not.
    const Case cases[] = {{0, 2, 1, 1}, {1, 1, 2, 1}, {2, 1, 1, 2}};
    for (const Case& c : cases) {
        FactsBackend backend;
        backend.facts = fourCoreMachine();
        const platform::ScopedBackend scope(backend);
        CountingSetUp counts;
        counts.throwsLeft[c.piece] = 1;
        ProcessorCollector collector(counts.make());
        NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
        EXPECT_THROW(collector.collect(root), std::runtime_error) << c.piece;
        EXPECT_EQ(root->getChildDevices().size(), 0u) << c.piece;
        const std::string tree = collectOnce(collector);
        EXPECT_NE(tree.find("Core 7"), std::string::npos) << c.piece;
        EXPECT_EQ(counts.topologies, c.topologies) << c.piece;
        EXPECT_EQ(counts.meters, c.meters) << c.piece;
        EXPECT_EQ(counts.accessorCalls, c.accessorCalls) << c.piece;
        ASSERT_NE(counts.meter, nullptr);
        EXPECT_EQ(counts.meter->getSampleCount(), 1u) << c.piece;
    }
}

// A meter that only counts, and records when it is deleted.
class RecordingMeter : public libSysTopo::cpu::ICpuTimeMetrics {
public:
    explicit RecordingMeter(std::vector<std::string>& log) : log_(log) {}
    ~RecordingMeter() override { log_.push_back("meter"); }
    unsigned getSampleCount() const override { return samples; }
    void refresh() override { ++samples; }
    bool getPercentUsage(const libSysTopo::cpu::AffinityMask& mask, unsigned& percent) override {
        masks.push_back(mask);
        percent = 12;
        return true;
    }
    unsigned samples = 0;
    std::vector<libSysTopo::cpu::AffinityMask> masks;

private:
    std::vector<std::string>& log_;
};

TEST(ProcessorCollectorTest, UsageIsAskedPerNodeMaskAfterOneRefresh) {
    std::vector<std::string> log;
    RecordingMeter* meter = nullptr;
    {
        ProcessorCollector collector(ProcessorCollector::SetUp{
            [&log] {
                auto source = std::make_unique<libSysTopo::cpu::test::FakeProcessorSource>();
                source->packages.push_back(
                    {libSysTopo::cpu::test::fakeLayout(0, {3, 4}), {}, {}, {}});
                source->onDestroy = [&log] { log.push_back("topology"); };
                return std::make_unique<libSysTopo::cpu::x86_physical_cpus>(std::move(source),
                                                                            true);
            },
            [&log, &meter] {
                meter = new RecordingMeter(log);
                return libCpuProbe::cpu::CpuTimeMetrics::Accessor(meter);
            },
            [](libSysTopo::cpu::x86_physical_cpus&) {},
        });
        const std::string tree = collectOnce(collector);
        EXPECT_EQ(tree, "SYSTEM_ROOT \"System Root\" SYSROOT\n"
                        "  SYSTEM_CPU \"System CPU\" SYSCPU\n"
                        "    CPU_PACKAGE \"\" CPU0 CPUID=0h Family=0h Model=0h Stepping=0h"
                        " ExtFamily=0h ExtModel=0h PercentUsage=12\n"
                        "      CPU_CORE \"Core 3\" CPU0:Core3 PercentUsage=12\n"
                        "      CPU_CORE \"Core 4\" CPU0:Core4 PercentUsage=12\n");
        ASSERT_NE(meter, nullptr);
        EXPECT_EQ(meter->samples, 1u);
        using libSysTopo::cpu::AffinityMask;
        const std::vector<AffinityMask> expected{AffinityMask({0, 1}), AffinityMask({0}),
                                                 AffinityMask({1})};
        EXPECT_EQ(meter->masks, expected);
        EXPECT_TRUE(log.empty());
    }
    // At the end the meter goes first, then the topology.
    EXPECT_EQ(log, (std::vector<std::string>{"meter", "topology"}));
}

TEST(ProcessorCollectorTest, ProcessWideCollectorAttachesSystemCpu) {
    FactsBackend backend;
    backend.facts = fourCoreMachine();
    const platform::ScopedBackend scope(backend);
    NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
    collectProcessorDevices(root);
    ASSERT_EQ(root->getChildDevices().size(), 1u);
    EXPECT_EQ(root->getChildDevices()[0]->getKey(), "SYSCPU");
}

} // namespace
} // namespace systemmonitor
