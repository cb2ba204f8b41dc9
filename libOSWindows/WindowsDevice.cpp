#include "libOSWindows/WindowsDevice.h"

namespace libOSWindows {

// Out of line: these members are exported for other modules that copy and destroy records.
WindowsDevice::WindowsDevice() = default;
WindowsDevice::WindowsDevice(const WindowsDevice& other) = default;
WindowsDevice& WindowsDevice::operator=(const WindowsDevice& other) = default;
WindowsDevice::~WindowsDevice() = default;

} // namespace libOSWindows
