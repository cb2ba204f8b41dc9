#pragma once
// A measured quantity with its unit, shown scaled to a magnitude with the decimals it was
// measured with.

#include "foundation/String.h"

namespace qel {

enum UnitType { HERTZ, NOUNIT, VOLTS };

enum UnitMagnitude { BASEUNIT, KILO, MEGA, GIGA, AUTOSCALEUNIT };

class NonDiscreteMeasurement {
public:
    // `precision` is the number of decimals the value carries; a negative one shows none.
    NonDiscreteMeasurement(UnitType unit, double value, UnitMagnitude magnitude, int precision);

    // The value scaled to `target`, with the measurement's own decimals, a '.' separator in every
    // locale, then a blank and the prefixed unit symbol ("2400.00 MHz"); a NOUNIT value has no
    // symbol and no blank. AUTOSCALEUNIT takes the largest prefix that keeps the value at or
    // above 1 (none for NOUNIT). The `precision` argument is accepted for the interface's sake:
    // a measurement never shows more decimals than it was built with.
    String toString(int precision, UnitMagnitude target) const;
    String localizedString(int precision, UnitMagnitude target) const;

    double getValue() const { return value_; }
    UnitType getUnit() const { return unit_; }
    UnitMagnitude getMagnitude() const { return magnitude_; }
    int getPrecision() const { return precision_; }

private:
    UnitType unit_;
    double value_;
    UnitMagnitude magnitude_;
    int precision_;
};

} // namespace qel
