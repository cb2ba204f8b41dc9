#include "suite/cpu/HwmonSensors.h"

#include "platform/TextFile.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>

namespace libCpuProbe::cpu {
namespace {

namespace fs = std::filesystem;
using platform::parseNumber;
using platform::readTextFile;
using platform::trimText;

struct Device {
    unsigned hwmonNumber = 0;
    fs::path attributes;
    std::string driver;
    std::string pciAddress;
};

// Labelled inputs of a device: label text → tempK_input path, in ascending K.
std::vector<std::pair<std::string, fs::path>> labelledInputs(const fs::path& directory) {
    std::vector<std::tuple<unsigned, std::string, fs::path>> found;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        constexpr std::string_view prefix = "temp";
        constexpr std::string_view suffix = "_label";
        if (name.size() <= prefix.size() + suffix.size() || name.compare(0, 4, prefix) != 0 ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        const std::string index =
            name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        const auto number = parseNumber<std::uint64_t>(index);
        if (!number || index.front() == '+') {
            continue;
        }
        const auto label = readTextFile(it->path());
        const fs::path input = directory / ("temp" + index + "_input");
        if (!label || !fs::exists(input, error)) {
            continue;
        }
        found.emplace_back(static_cast<unsigned>(*number), std::string(trimText(*label)), input);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::pair<std::string, fs::path>> inputs;
    for (auto& [number, label, input] : found) {
        inputs.emplace_back(std::move(label), std::move(input));
    }
    return inputs;
}

// N of "<prefix>N", or nullopt.
std::optional<unsigned> labelNumber(std::string_view label, std::string_view prefix) {
    if (label.substr(0, prefix.size()) != prefix || label.size() == prefix.size() ||
        label[prefix.size()] == '+') {
        return std::nullopt;
    }
    return parseNumber<unsigned>(label.substr(prefix.size()));
}

void addCoretemp(const Device& device, HwmonSensors& sensors) {
    const auto inputs = labelledInputs(device.attributes);
    unsigned package = 0;
    for (const auto& [label, input] : inputs) {
        auto id = labelNumber(label, "Package id ");
        if (!id) {
            id = labelNumber(label, "Physical id ");
        }
        if (id) {
            package = *id;
            sensors.packages.try_emplace(*id, input);
            break;
        }
    }
    for (const auto& [label, input] : inputs) {
        if (const auto core = labelNumber(label, "Core ")) {
            sensors.cores.try_emplace({package, *core}, input);
        }
    }
}

std::optional<fs::path> k10tempInput(const Device& device) {
    const auto inputs = labelledInputs(device.attributes);
    for (const char* wanted : {"Tdie", "Tctl"}) {
        for (const auto& [label, input] : inputs) {
            if (label == wanted) {
                return input;
            }
        }
    }
    std::error_code error;
    if (inputs.empty() && fs::exists(device.attributes / "temp1_input", error)) {
        return device.attributes / "temp1_input";
    }
    return std::nullopt;
}

std::vector<Device> scanDevices(const fs::path& root) {
    std::vector<Device> devices;
    std::error_code error;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= 5 || name.compare(0, 5, "hwmon") != 0 || name[5] == '+') {
            continue;
        }
        const auto number = parseNumber<unsigned>(std::string_view(name).substr(5));
        if (!number) {
            continue;
        }
        Device device;
        device.hwmonNumber = *number;
        device.attributes = it->path();
        auto driver = readTextFile(device.attributes / "name");
        if (!driver) {
            device.attributes = it->path() / "device";
            driver = readTextFile(device.attributes / "name");
        }
        if (!driver) {
            continue;
        }
        device.driver = std::string(trimText(*driver));
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path() / "device", linkError);
        if (!linkError) {
            device.pciAddress = target.filename().string();
        }
        devices.push_back(std::move(device));
    }
    std::sort(devices.begin(), devices.end(),
              [](const Device& a, const Device& b) { return a.hwmonNumber < b.hwmonNumber; });
    return devices;
}

} // namespace

HwmonSensors findCpuTemperatureSensors(const fs::path& root) {
    HwmonSensors sensors;
    std::vector<Device> k10temp;
    for (const Device& device : scanDevices(root)) {
        if (device.driver == "coretemp") {
            addCoretemp(device, sensors);
        } else if (device.driver == "k10temp") {
            k10temp.push_back(device);
        }
    }
    // PCI addresses ("0000:00:18.3") sort in bus order as text; without all of them the hwmon
    // numbers (registration order) stand.
    const bool allAddressed = std::all_of(k10temp.begin(), k10temp.end(),
                                          [](const Device& d) { return !d.pciAddress.empty(); });
    if (allAddressed) {
        std::stable_sort(k10temp.begin(), k10temp.end(), [](const Device& a, const Device& b) {
            return a.pciAddress < b.pciAddress;
        });
    }
    for (const Device& device : k10temp) {
        if (auto input = k10tempInput(device)) {
            sensors.k10temp.push_back(std::move(*input));
        }
    }
    return sensors;
}

std::optional<int> parseMillidegrees(std::string_view text) {
    return parseNumber<int>(text);
}

std::optional<int> readMillidegrees(const fs::path& input) {
    thread_local std::string text;
    return readTextFile(input, text) ? parseMillidegrees(text) : std::nullopt;
}

} // namespace libCpuProbe::cpu
