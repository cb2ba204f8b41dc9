#pragma once
// A processor temperature reading and the reader that takes it.

#include "foundation/String.h"

namespace libSysTopo::cpu {

class CpuTemperature {
public:
    CpuTemperature() = default;

    // Stores a reading in degrees Celsius.
    void setCelsius(double celsius);

    bool isValid() const { return valid_; }
    // Degrees Celsius; 0.0 before a reading was stored.
    double getTemperature() const { return celsius_; }
    // Whole degrees, rounded to nearest; 0 before a reading was stored or below zero.
    unsigned getIntegerTemperature() const;

private:
    double celsius_ = 0.0;
    bool valid_ = false;
};

// Reads one package's or core's temperature afresh on every call.
class ICpuTemperatureAccessor {
public:
    virtual ~ICpuTemperatureAccessor() = default;
    // What the reader reads, for diagnostics ("coretemp", "k10temp", "simulated").
    virtual qel::String getSourceName() const = 0;
    // True when a reading was stored in `temperature`; false (and `temperature` untouched) when
    // the sensor could not be read this time.
    virtual bool readTemperature(CpuTemperature& temperature) const = 0;
};

} // namespace libSysTopo::cpu
