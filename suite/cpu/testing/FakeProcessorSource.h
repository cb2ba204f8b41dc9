#pragma once
// For tests: a processor source whose answers the test sets.

#include "suite/cpu/ProcessorSource.h"

#include <functional>
#include <optional>
#include <vector>

namespace libSysTopo::cpu::test {

struct FakePackage {
    PackageLayout layout;
    ProcessorIdentity identity;
    std::optional<qel::String> revision;
    std::optional<x86_speed_metrics> speed;
};

class FakeProcessorSource : public ProcessorSource {
public:
    std::vector<FakePackage> packages;
    std::function<void()> onDestroy;

    ~FakeProcessorSource() override {
        if (onDestroy) {
            onDestroy();
        }
    }

    std::vector<PackageLayout> readLayout() override {
        std::vector<PackageLayout> layout;
        for (const FakePackage& package : packages) {
            layout.push_back(package.layout);
        }
        return layout;
    }
    ProcessorIdentity identify(unsigned index, const PackageLayout&) override {
        return packages.at(index).identity;
    }
    bool readRevision(const x86_cpu_location& location, qel::String& revision) override {
        const FakePackage& package = packages.at(location.getPackage());
        if (location.isCore() || !package.revision) {
            return false;
        }
        revision = *package.revision;
        return true;
    }
    bool readSpeed(const x86_cpu_location& location, const AffinityMask&,
                   x86_speed_metrics& metrics) override {
        const FakePackage& package = packages.at(location.getPackage());
        if (location.isCore() || !package.speed) {
            return false;
        }
        metrics = *package.speed;
        return true;
    }
};

// A package of `cores` cores numbered as given, one processor each, from processor `first` on.
inline PackageLayout fakeLayout(unsigned id, const std::vector<unsigned>& coreNumbers,
                                unsigned first = 0) {
    PackageLayout layout;
    layout.id = id;
    std::vector<unsigned> all;
    for (const unsigned number : coreNumbers) {
        layout.cores.push_back(CoreLayout{number, AffinityMask({first})});
        all.push_back(first++);
    }
    layout.mask = AffinityMask(std::move(all));
    return layout;
}

} // namespace libSysTopo::cpu::test
