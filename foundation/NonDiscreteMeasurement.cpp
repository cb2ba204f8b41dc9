#include "foundation/NonDiscreteMeasurement.h"

#include "platform/Hot.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
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

__extension__ using Wide = unsigned __int128;

// `value` with `decimals` places exactly as to_chars gives it (the binary value rounded, ties to
// even), for what measurements hold: at most 9 places, below 2^62 once scaled; else nullopt.
// The general conversion is a large routine, and every snapshot formats a clock: a monitor polling
// with cold caches pays for each line of code it runs.
std::optional<std::string> fixedExact(double value, int decimals) {
    constexpr std::uint64_t kPow10[] = {1,      10,      100,      1000,      10000,
                                        100000, 1000000, 10000000, 100000000, 1000000000};
    constexpr std::uint64_t kPow5[] = {1, 5, 25, 125, 625, 3125, 15625, 78125, 390625, 1953125};
    if (decimals > 9 || !(std::fabs(value) * static_cast<double>(kPow10[decimals]) < 0x1p62)) {
        return std::nullopt;
    }
    // |value| = mantissa * 2^exponent, so |value| * 10^decimals = mantissa * 5^decimals * 2^shift.
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const auto field = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t fraction = bits & ((std::uint64_t(1) << 52) - 1);
    const std::uint64_t mantissa = field == 0 ? fraction : fraction | (std::uint64_t(1) << 52);
    const int shift = (field == 0 ? -1074 : field - 1075) + decimals;
    Wide scaled = Wide(mantissa) * kPow5[decimals];
    if (shift >= 0) {
        scaled <<= shift;
    } else if (shift <= -100) {
        scaled = 0; // below half a unit of the last place
    } else {
        const Wide low = scaled & ((Wide(1) << -shift) - 1);
        const Wide half = Wide(1) << (-shift - 1);
        scaled >>= -shift;
        if (low > half || (low == half && (scaled & 1) != 0)) {
            ++scaled;
        }
    }
    const auto units = static_cast<std::uint64_t>(scaled); // below 2^62, checked above
    char buffer[48];
    char* at = buffer;
    if ((bits >> 63) != 0 && units != 0) {
        *at++ = '-'; // no "-0.00"
    }
    at = std::to_chars(at, buffer + 24, units / kPow10[decimals]).ptr;
    if (decimals > 0) {
        char digits[10];
        const char* end =
            std::to_chars(digits, digits + sizeof digits, units % kPow10[decimals]).ptr;
        *at++ = '.';
        at = std::fill_n(at, decimals - (end - digits), '0');
        at = std::copy(static_cast<const char*>(digits), end, at);
    }
    return std::string(buffer, at);
}

SM_HOT std::string fixed(double value, int decimals) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    if (auto text = fixedExact(value, std::max(decimals, 0))) {
        return std::move(*text);
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

SM_HOT NonDiscreteMeasurement::NonDiscreteMeasurement(UnitType unit, double value,
                                                      UnitMagnitude magnitude, int precision)
    : unit_(unit), value_(value), magnitude_(magnitude == AUTOSCALEUNIT ? BASEUNIT : magnitude),
      precision_(precision) {}

SM_HOT String NonDiscreteMeasurement::toString(int /*precision*/, UnitMagnitude target) const {
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

SM_HOT String NonDiscreteMeasurement::localizedString(int precision, UnitMagnitude target) const {
    return toString(precision, target);
}

} // namespace qel
