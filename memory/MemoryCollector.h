#pragma once

#include "devicetree/PropertyAdders.h"

namespace systemmonitor {

// Attaches "System Memory" with its load and megabyte figures to `root`; attaches nothing when
// the memory status cannot be read.
void collectMemoryDevice(NodePointer& root);

} // namespace systemmonitor
