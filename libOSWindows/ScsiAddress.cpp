#include "libOSWindows/ScsiAddress.h"

namespace libOSWindows {

ScsiAddress::ScsiAddress() : portNumber(0), pathId(0), targetId(0), lun(0) {}

ScsiAddress& ScsiAddress::operator=(const ScsiAddress& other) {
    portNumber = other.portNumber;
    pathId = other.pathId;
    targetId = other.targetId;
    lun = other.lun;
    return *this;
}

} // namespace libOSWindows
