#include "devicetree/Device.h"

namespace systemmonitor {

const char* deviceTypeName(DeviceType type) {
    switch (type) {
    case SYSTEM_ROOT:
        return "SYSTEM_ROOT";
    case SYSTEM_MEMORY:
        return "SYSTEM_MEMORY";
    case SYSTEM_CPU:
        return "SYSTEM_CPU";
    case CPU_PACKAGE:
        return "CPU_PACKAGE";
    case CPU_CORE:
        return "CPU_CORE";
    case DISK:
        return "DISK";
    case VOLUME:
        return "VOLUME";
    }
    return "UNKNOWN";
}

const char* valueTypeName(ValueType type) {
    switch (type) {
    case STRING:
        return "STRING";
    case INTEGER:
        return "INTEGER";
    case DOUBLE:
        return "DOUBLE";
    }
    return "UNKNOWN";
}

} // namespace systemmonitor
