#include "foundation/NonDiscreteMeasurement.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace qel {
namespace {

double factor(UnitMagnitude magnitude) {
    switch (magnitude) {
    case KILO:
        return 1e3;
    case MEGA:
        return 1e6;
    case GIGA:
        return 1e9;
    case BASEUNIT:
    case AUTOSCALEUNIT:
        break;
    }
    return 1.0;
}

const char* prefix(UnitMagnitude magnitude) {
    switch (magnitude) {
    case KILO:
        return "k";
    case MEGA:
        return "M";
    case GIGA:
        return "G";
    case BASEUNIT:
    case AUTOSCALEUNIT:
        break;
    }
    return "";
}

const char* symbol(UnitType unit) {
    switch (unit) {
    case HERTZ:
        return "Hz";
    case VOLTS:
        return "V";
    case NOUNIT:
        break;
    }
    return "";
}

std::string fixed(double value, int decimals) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    char buffer[400];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value,
                                            std::chars_format::fixed, std::clamp(decimals, 0, 30));
    std::string text(buffer, error == std::errc{} ? end : buffer);
    if (text.starts_with('-') && text.find_first_not_of("-0.") == std::string::npos) {
        text.erase(0, 1); // no "-0.00"
    }
    return text;
}

} // namespace

NonDiscreteMeasurement::NonDiscreteMeasurement(UnitType unit, double value, UnitMagnitude magnitude,
                                               int precision)
    : unit_(unit), value_(value), magnitude_(magnitude == AUTOSCALEUNIT ? BASEUNIT : magnitude),
      precision_(precision) {}

String NonDiscreteMeasurement::toString(int /*precision*/, UnitMagnitude target) const {
    const double base = value_ * factor(magnitude_);
    if (target == AUTOSCALEUNIT) {
        target = BASEUNIT;
        if (unit_ != NOUNIT) {
            for (const UnitMagnitude candidate : {GIGA, MEGA, KILO}) {
                if (std::fabs(base) >= factor(candidate)) {
                    target = candidate;
                    break;
                }
            }
        }
    }
    std::string text = fixed(base / factor(target), precision_ < 0 ? 0 : precision_);
    if (unit_ != NOUNIT) {
        text += ' ';
        text += prefix(target);
        text += symbol(unit_);
    } else {
        text += prefix(target);
    }
    return String(text.c_str());
}

String NonDiscreteMeasurement::localizedString(int precision, UnitMagnitude target) const {
    return toString(precision, target);
}

} // namespace qel
