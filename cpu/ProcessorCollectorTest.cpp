// Whole trees of the simulated machines are checked by the fixture machines; these cases cover
// the collector's set-up: reuse, retry after a throw, and the order of the end.

#include "cpu/ProcessorCollector.h"

#include "devicetree/TestTreeText.h"
#include "suite/cpu/testing/FakeFactsBackend.h"
#include "suite/cpu/testing/FakeProcessorSource.h"

#include <stdexcept>

#include <gtest/gtest.h>

namespace systemmonitor {
namespace {

using platform::CoreFacts;
using platform::TemperatureFact;

TemperatureFact reading(int celsius) {
    return TemperatureFact{TemperatureFact::Kind::Reading, celsius};
}

platform::ProcessorFacts fourCoreMachine() {
    platform::PackageFacts package;
    package.name = u"Acme Processor 3000";
    package.temperature = reading(45);
    package.usage = 37;
    for (const unsigned number : {0u, 2u, 5u, 7u}) {
        package.cores.push_back(CoreFacts{number, reading(40), number});
    }
    platform::ProcessorFacts facts;
    facts.packages.push_back(package);
    return facts;
}

std::string collectOnce(ProcessorCollector& collector) {
    NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
    collector.collect(root);
    return test::describeTree(*root);
}

// Counts the set-up pieces around the libraries' own set-up, and can make one of them throw.
struct CountingSetUp {
    unsigned calls[3] = {0, 0, 0};
    unsigned throwsLeft[3] = {0, 0, 0};
    libSysTopo::cpu::ICpuTimeMetrics* meter = nullptr;

    ProcessorCollector::SetUp make() {
        const ProcessorCollector::SetUp library = ProcessorCollector::librarySetUp();
        return ProcessorCollector::SetUp{
            [this, library] {
                count(0);
                return library.makeTopology();
            },
            [this, library] {
                count(1);
                auto accessor = library.getMeter();
                meter = accessor.get();
                return accessor;
            },
            [this, library](libSysTopo::cpu::x86_physical_cpus& topology) {
                count(2);
                library.addAccessors(topology);
            },
        };
    }

    void count(int piece) {
        ++calls[piece];
        if (throwsLeft[piece] > 0) {
            --throwsLeft[piece];
            throw std::runtime_error("set-up failed");
        }
    }
};

TEST(ProcessorCollectorTest, LaterCollectionsReuseTheSetUpAndSampleOnceEach) {
    libSysTopo::cpu::test::FakeFactsBackend backend;
    backend.facts = fourCoreMachine();
    const platform::ScopedBackend scope(backend);
    CountingSetUp counts;
    ProcessorCollector collector(counts.make());
    // New figures with the first call's topology: the fixture machine cpu-steps.
    for (int i = 0; i < 3; ++i) {
        collectOnce(collector);
    }
    EXPECT_EQ(counts.calls[0] + counts.calls[1] + counts.calls[2], 3u);
    ASSERT_NE(counts.meter, nullptr);
    EXPECT_EQ(counts.meter->getSampleCount(), 3u);
}

TEST(ProcessorCollectorTest, ASetUpPieceThatThrowsIsRetriedOnTheNextCall) {
    for (int piece = 0; piece < 3; ++piece) {
        libSysTopo::cpu::test::FakeFactsBackend backend;
        backend.facts = fourCoreMachine();
        const platform::ScopedBackend scope(backend);
        CountingSetUp counts;
        counts.throwsLeft[piece] = 1;
        ProcessorCollector collector(counts.make());
        NodePointer root = makeNode(SYSTEM_ROOT, "System Root", "SYSROOT");
        EXPECT_THROW(collector.collect(root), std::runtime_error) << piece;
        EXPECT_EQ(root->getChildDevices().size(), 0u) << piece;
        EXPECT_NE(collectOnce(collector).find("Core 7"), std::string::npos) << piece;
        // Only the piece that threw is attempted again.
        for (int other = 0; other < 3; ++other) {
            EXPECT_EQ(counts.calls[other], other == piece ? 2u : 1u) << piece;
        }
        ASSERT_NE(counts.meter, nullptr);
        EXPECT_EQ(counts.meter->getSampleCount(), 1u) << piece;
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

TEST(ProcessorCollectorTest, UsageIsAskedPerNodeMaskAndTheMeterGoesFirst) {
    using libSysTopo::cpu::AffinityMask;
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
        collectOnce(collector);
        ASSERT_NE(meter, nullptr);
        EXPECT_EQ(meter->samples, 1u);
        EXPECT_EQ(meter->masks, (std::vector<AffinityMask>{AffinityMask({0, 1}), AffinityMask({0}),
                                                           AffinityMask({1})}));
        EXPECT_TRUE(log.empty());
    }
    EXPECT_EQ(log, (std::vector<std::string>{"meter", "topology"}));
}

} // namespace
} // namespace systemmonitor
