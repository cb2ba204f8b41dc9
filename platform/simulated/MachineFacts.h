#pragma once
// The storage facts a simulated machine states at one moment, for the shared emulator.

#include "platform/StorageFacts.h"
#include "platform/simulated/Machine.h"

#include <memory>

namespace platform::simulated {

std::shared_ptr<const StorageFacts> storageFacts(const MachineState& state);

} // namespace platform::simulated
