#pragma once
// For tests: a backend that states processor facts and fails every other call, as a machine
// without drives, devices or memory status would.

#include "platform/testing/FailingBackend.h"

namespace libSysTopo::cpu::test {

class FakeFactsBackend : public platform::testing::FailingBackend {
public:
    platform::ProcessorFacts facts;

    const platform::ProcessorFacts* processorFacts() override { return &facts; }
};

} // namespace libSysTopo::cpu::test
