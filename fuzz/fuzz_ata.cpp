// ATA answers as a drive gives them: the IDENTIFY block and the SMART data sector.
#include "suite/ata/AtaProtocol.h"
#include "suite/smart/SmartProtocol.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    qelrlibata::isValidIdentify(bytes);
    qelrlibata::decodeIdentify(bytes);
    qelrlibsmart::smartChecksumValid(bytes);
    const auto attributes = qelrlibsmart::decodeSmartAttributes(bytes);
    qelrlibsmart::smartTemperatureCelsius(
        std::span<const qelrlibsmart::SmartAttribute>(attributes));
    qelrlibsmart::smartTemperatureReading(attributes);
    qelrlibsmart::smartTemperatureCelsius(bytes);
    return 0;
}
