#pragma once
// An ATA disk's SMART data, fetched on request, and the temperature it carries.

#include "foundation/FileHandleResManager.h"

#include <optional>

namespace qelrlibsmart {

class SmartIdeDrive {
public:
    // Keeps its own reference to `handle`; sends nothing until the first refresh.
    explicit SmartIdeDrive(const qel::FileHandle& handle);
    virtual ~SmartIdeDrive();

    // Reads SMART READ DATA afresh: through SMART_RCV_DRIVE_DATA, else IOCTL_ATA_PASS_THROUGH,
    // else ATA PASS-THROUGH(16). The route that last worked is tried first. When every route
    // fails, no temperature is known until a later refresh succeeds.
    void refreshDriveProperties();

    // True when the last refresh found a temperature: `current` is then the drive temperature
    // in degrees Celsius. `minimum` and `maximum` receive the drive's lifetime extremes when it
    // reports them beside the reading, and are left as they were otherwise (and on false).
    bool temperatureCelsius(int& current, int& minimum, int& maximum) const;

private:
    enum class Route { SmartReceive, AtaPassThrough, ScsiAtaPassThrough };

    qel::FileHandle handle_;
    Route preferred_ = Route::SmartReceive;
    std::optional<int> current_;
    std::optional<int> minimum_;
    std::optional<int> maximum_;
};

} // namespace qelrlibsmart
