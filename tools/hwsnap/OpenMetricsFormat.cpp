#include "tools/hwsnap/OpenMetricsFormat.h"

#include "devicetree/SysInfoDevice.h"
#include "platform/Utf.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace hwsnap {
namespace {

using systemmonitor::Device;
using systemmonitor::Property;

using Labels = std::vector<std::pair<const char*, std::string>>;

struct Family {
    const char* name;
    const char* help;
    std::vector<std::string> samples;
};

// The order in which families are written; fixed so that outputs compare line by line.
enum FamilyId {
    CpuInfo,
    CpuUsage,
    CpuCoreUsage,
    CpuTemperature,
    CpuCoreTemperature,
    CpuFrequency,
    CpuBusFrequency,
    CpuMultiplier,
    CpuCoreVoltage,
    DiskInfo,
    DiskSize,
    DiskTemperature,
    VolumeInfo,
    VolumeSize,
    VolumeUsed,
    MemorySize,
    MemoryUsed,
    SnapshotDuration,
    FamilyCount,
};

std::array<Family, FamilyCount> makeFamilies() {
    return {{
        {"systemmonitor_cpu_info", "Identity of a processor package.", {}},
        {"systemmonitor_cpu_usage_ratio", "Share of time a processor package was busy.", {}},
        {"systemmonitor_cpu_core_usage_ratio", "Share of time a processor core was busy.", {}},
        {"systemmonitor_cpu_temperature_celsius", "Temperature of a processor package.", {}},
        {"systemmonitor_cpu_core_temperature_celsius", "Temperature of a processor core.", {}},
        {"systemmonitor_cpu_frequency_hertz", "Current clock of a processor package.", {}},
        {"systemmonitor_cpu_bus_frequency_hertz", "Bus clock of a processor package.", {}},
        {"systemmonitor_cpu_multiplier", "Current clock multiplier of a processor package.", {}},
        {"systemmonitor_cpu_core_voltage_volts", "Core voltage of a processor package.", {}},
        {"systemmonitor_disk_info", "Identity of a physical disk.", {}},
        {"systemmonitor_disk_size_bytes", "Capacity of a physical disk.", {}},
        {"systemmonitor_disk_temperature_celsius", "Temperature of a physical disk.", {}},
        {"systemmonitor_volume_info", "Identity of a volume.", {}},
        {"systemmonitor_volume_size_bytes", "Capacity of a volume.", {}},
        {"systemmonitor_volume_used_bytes", "Space used on a volume.", {}},
        {"systemmonitor_memory_size_bytes", "Physical memory installed.", {}},
        {"systemmonitor_memory_used_bytes", "Physical memory in use.", {}},
        {"systemmonitor_snapshot_duration_seconds", "Time taken by this snapshot.", {}},
    }};
}

// Decodes one UTF-8 sequence at text[at]; nullopt (consuming one byte) for a malformed one.
std::optional<char32_t> decodeUtf8(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    if (lead < 0x80) {
        return lead;
    }
    int extra = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, code = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    std::size_t next = at;
    for (int i = 0; i < extra; ++i, ++next) {
        if (next >= text.size() || (static_cast<unsigned char>(text[next]) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        code = (code << 6) | (static_cast<unsigned char>(text[next]) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return std::nullopt;
    }
    at = next;
    return code;
}

std::string appendLabels(const Labels& labels) {
    std::string out = "{";
    for (std::size_t i = 0; i < labels.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += labels[i].first;
        out += "=\"";
        out += escapeLabelValue(labels[i].second);
        out += '"';
    }
    out += '}';
    return out;
}

std::optional<const Property*> findProperty(const Device& node, const char* key) {
    for (const auto& property : node.getProperties()) {
        if (property->getKey().toUtf8() == key) {
            return &*property;
        }
    }
    return std::nullopt;
}

std::string text(const Device& node, const char* key) {
    const auto property = findProperty(node, key);
    return property ? (*property)->getValue().toUtf8() : std::string();
}

// The leading number of a text such as "2400.00 MHz", "x 9.0 (6.0 - 9.0)" or "1.3250 V", and
// the rest after it; a decimal comma is read as a point.
std::optional<std::pair<double, std::string>> leadingNumber(std::string value) {
    std::size_t start = value.find_first_of("0123456789-.");
    if (start == std::string::npos) {
        return std::nullopt;
    }
    std::size_t end = start;
    while (end < value.size() && (std::isdigit(static_cast<unsigned char>(value[end])) ||
                                  value[end] == '.' || value[end] == ',' || value[end] == '-')) {
        if (value[end] == ',') {
            value[end] = '.';
        }
        ++end;
    }
    double number = 0.0;
    const auto result = std::from_chars(value.data() + start, value.data() + end, number);
    if (result.ec != std::errc() || !std::isfinite(number)) {
        return std::nullopt;
    }
    std::size_t rest =
        value.find_first_not_of(' ', static_cast<std::size_t>(result.ptr - value.data()));
    return std::make_pair(number, rest == std::string::npos ? std::string() : value.substr(rest));
}

std::optional<double> number(const Device& node, const char* key) {
    const auto property = findProperty(node, key);
    if (!property) {
        return std::nullopt;
    }
    if ((*property)->getValueType() == systemmonitor::DOUBLE) {
        if (const auto* real =
                dynamic_cast<const systemmonitor::sisapi::SysInfoProperty*>(*property)) {
            return real->getRealValue();
        }
    }
    const auto parsed = leadingNumber((*property)->getValue().toUtf8());
    return parsed ? std::optional<double>(parsed->first) : std::nullopt;
}

// The number a property's text starts with and the unit after it; nullopt without either.
std::optional<std::pair<double, std::string>> measured(const Device& node, const char* key) {
    const auto property = findProperty(node, key);
    return property ? leadingNumber((*property)->getValue().toUtf8()) : std::nullopt;
}

// "2400.00 MHz" and the like, in hertz.
std::optional<double> frequency(const Device& node, const char* key) {
    const auto parsed = measured(node, key);
    if (!parsed) {
        return std::nullopt;
    }
    const std::string& unit = parsed->second;
    const double scale = unit.starts_with("GHz")   ? 1e9
                         : unit.starts_with("MHz") ? 1e6
                         : unit.starts_with("kHz") ? 1e3
                         : unit.starts_with("Hz")  ? 1.0
                                                   : 0.0;
    if (scale == 0.0) {
        return std::nullopt;
    }
    // The text has at most a few decimals of its unit: whole hertz lose nothing and print plainly.
    return std::nearbyint(parsed->first * scale);
}

// "1.3250 V" or "1325 mV", in volts.
std::optional<double> volts(const Device& node, const char* key) {
    const auto parsed = measured(node, key);
    if (!parsed) {
        return std::nullopt;
    }
    if (parsed->second.starts_with("mV")) {
        return parsed->first / 1000.0;
    }
    return parsed->second.starts_with("V") ? std::optional<double>(parsed->first) : std::nullopt;
}

std::string afterPrefix(const std::string& key, std::string_view prefix) {
    return key.starts_with(prefix) && key.size() > prefix.size() ? key.substr(prefix.size()) : key;
}

class Collector {
public:
    void walk(const Device& node, const std::string& package) {
        std::string childPackage = package;
        switch (node.getType()) {
        case systemmonitor::CPU_PACKAGE:
            childPackage = afterPrefix(node.getKey().toUtf8(), "CPU");
            addPackage(node, childPackage);
            break;
        case systemmonitor::CPU_CORE:
            addCore(node, package);
            break;
        case systemmonitor::DISK:
            addDisk(node);
            break;
        case systemmonitor::VOLUME:
            addVolume(node);
            break;
        case systemmonitor::SYSTEM_MEMORY:
            addMemory(node);
            break;
        default:
            break;
        }
        for (const auto& child : node.getChildDevices()) {
            walk(*child, childPackage);
        }
    }

    void add(FamilyId id, const Labels& labels, std::optional<double> value) {
        if (!value) {
            return;
        }
        Family& family = families_[id];
        family.samples.push_back(std::string(family.name) +
                                 (labels.empty() ? std::string() : appendLabels(labels)) + ' ' +
                                 formatSampleValue(*value));
    }

    std::string render(Exposition flavor) const {
        std::string out;
        for (const auto& family : families_) {
            if (family.samples.empty()) {
                continue;
            }
            out += "# HELP " + std::string(family.name) + ' ' + family.help + '\n';
            out += "# TYPE " + std::string(family.name) + " gauge\n";
            for (const auto& sample : family.samples) {
                out += sample + '\n';
            }
        }
        if (flavor == Exposition::OpenMetrics) {
            out += "# EOF\n";
        }
        return out;
    }

private:
    void addPackage(const Device& node, const std::string& package) {
        add(CpuInfo,
            {{"package", package},
             {"name", node.getLocalizedName().toUtf8()},
             {"cpuid", text(node, "CPUID")},
             {"family", text(node, "Family")},
             {"model", text(node, "Model")},
             {"stepping", text(node, "Stepping")}},
            1.0);
        const Labels labels{{"package", package}};
        add(CpuUsage, labels, ratio(number(node, "PercentUsage")));
        add(CpuTemperature, labels, number(node, "TemperatureCelsius"));
        add(CpuFrequency, labels, frequency(node, "CurrentSpeed"));
        add(CpuBusFrequency, labels, frequency(node, "CPUBusSpeed"));
        add(CpuMultiplier, labels, number(node, "Multiplier"));
        add(CpuCoreVoltage, labels, volts(node, "CpuCoreVID"));
    }

    void addCore(const Device& node, const std::string& package) {
        const std::string key = node.getKey().toUtf8();
        const std::size_t colon = key.rfind(':');
        const std::string core =
            afterPrefix(colon == std::string::npos ? key : key.substr(colon + 1), "Core");
        const Labels labels{{"package", package}, {"core", core}};
        add(CpuCoreUsage, labels, ratio(number(node, "PercentUsage")));
        add(CpuCoreTemperature, labels, number(node, "TemperatureCelsius"));
    }

    void addDisk(const Device& node) {
        disk_ = afterPrefix(node.getKey().toUtf8(), "DISK:");
        add(DiskInfo,
            {{"disk", disk_},
             {"model", text(node, "ModelNumber")},
             {"serial", text(node, "SerialNumber")},
             {"firmware", text(node, "FirmwareRevision")}},
            1.0);
        const Labels labels{{"disk", disk_}};
        add(DiskSize, labels, bytes(number(node, "TotalCapacityMB")));
        add(DiskTemperature, labels, number(node, "TemperatureCelsius"));
    }

    void addVolume(const Device& node) {
        const std::string volume = afterPrefix(node.getKey().toUtf8(), "VOLUME:");
        add(VolumeInfo,
            {{"disk", disk_},
             {"volume", volume},
             {"label", text(node, "Name")},
             {"serial", text(node, "SerialNumber")}},
            1.0);
        const Labels labels{{"disk", disk_}, {"volume", volume}};
        add(VolumeSize, labels, bytes(number(node, "TotalCapacityMB")));
        add(VolumeUsed, labels, bytes(number(node, "UsedCapacityMB")));
    }

    void addMemory(const Device& node) {
        add(MemorySize, {}, bytes(number(node, "TotalCapacityMB")));
        add(MemoryUsed, {}, bytes(number(node, "UsedCapacityMB")));
    }

    static std::optional<double> ratio(std::optional<double> percent) {
        return percent ? std::optional<double>(*percent / 100.0) : std::nullopt;
    }

    static std::optional<double> bytes(std::optional<double> megabytes) {
        return megabytes ? std::optional<double>(megabytesToBytes(*megabytes)) : std::nullopt;
    }

    std::array<Family, FamilyCount> families_ = makeFamilies();
    std::string disk_; // the disk whose volumes follow it in the walk
};

} // namespace

std::string escapeLabelValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    std::size_t at = 0;
    while (at < value.size()) {
        const auto code = decodeUtf8(value, at);
        if (!code || (*code < 0x20 && *code != '\n') || *code == 0x7F) {
            platform::appendUtf8(out, 0xFFFD);
        } else if (*code == '\\') {
            out += "\\\\";
        } else if (*code == '"') {
            out += "\\\"";
        } else if (*code == '\n') {
            out += "\\n";
        } else {
            platform::appendUtf8(out, *code);
        }
    }
    return out;
}

std::string formatSampleValue(double value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "+Inf" : "-Inf";
    }
    std::array<char, 64> buffer{};
    // Whole numbers (byte counts beyond 2^53 among them) in full digits, never an exponent.
    const auto format = std::floor(value) == value && std::fabs(value) < 1e20
                            ? std::chars_format::fixed
                            : std::chars_format::general;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, format);
    return std::string(buffer.data(), result.ptr);
}

double megabytesToBytes(double megabytes) {
    // The tree divides a byte count by 2^20; multiplying back is exact, the rounding only undoes
    // the division's last-bit error.
    return std::nearbyint(megabytes * 1048576.0);
}

std::string formatOpenMetrics(const Device& root, double snapshotSeconds, Exposition flavor) {
    Collector collector;
    collector.walk(root, std::string());
    collector.add(SnapshotDuration, {}, snapshotSeconds);
    return collector.render(flavor);
}

} // namespace hwsnap
