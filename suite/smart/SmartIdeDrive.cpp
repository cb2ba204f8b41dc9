#include "suite/smart/SmartIdeDrive.h"

#include "suite/ata/AtaProtocol.h"
#include "suite/ata/PassThroughTransport.h"
#include "suite/smart/SmartProtocol.h"

#include <array>

namespace qelrlibsmart {

SmartIdeDrive::SmartIdeDrive(const qel::FileHandle& handle) : handle_(handle) {}

SmartIdeDrive::~SmartIdeDrive() = default;

void SmartIdeDrive::refreshDriveProperties() {
    current_.reset();
    minimum_.reset();
    maximum_.reset();
    if (!handle_.isValid()) {
        return;
    }
    const qelrlibata::PassThroughTransport transport(handle_.get());
    const qelrlibata::AtaTaskFile task = qelrlibata::smartReadDataTaskFile();
    std::array<std::uint8_t, qelrlibata::kAtaSectorSize> sector{};

    const auto send = [&](Route route) -> std::optional<std::size_t> {
        switch (route) {
        case Route::SmartReceive:
            return transport.smartReceive(task, sector);
        case Route::AtaPassThrough:
            return transport.ataPassThrough(task, sector);
        case Route::ScsiAtaPassThrough:
            return transport.scsiAtaPassThrough(task, sector);
        }
        return std::nullopt;
    };

    const Route order[] = {preferred_, Route::SmartReceive, Route::AtaPassThrough,
                           Route::ScsiAtaPassThrough};
    for (std::size_t i = 0; i < std::size(order); ++i) {
        if (i > 0 && order[i] == preferred_) {
            continue;
        }
        const auto got = send(order[i]);
        if (!got) {
            continue;
        }
        const auto attributes = decodeSmartAttributes(std::span(sector).first(*got));
        if (const auto reading = smartTemperatureReading(attributes)) {
            preferred_ = order[i];
            current_ = reading->current;
            minimum_ = reading->minimum;
            maximum_ = reading->maximum;
            return;
        }
        // A whole sector without a temperature attribute settles it; a cut one may be the
        // route's fault, so the next route still gets its turn.
        if (*got == sector.size()) {
            preferred_ = order[i];
            return;
        }
    }
}

bool SmartIdeDrive::temperatureCelsius(int& current, int& minimum, int& maximum) const {
    if (!current_) {
        return false;
    }
    current = *current_;
    if (minimum_ && maximum_) {
        minimum = *minimum_;
        maximum = *maximum_;
    }
    return true;
}

} // namespace qelrlibsmart
