#include "tools/hwsnap/RecordProcessors.h"

#include "platform/Utf.h"
#include "suite/cpu/x86_physical_cpus.h"

#include <cstdlib>
#include <string>

namespace hwsnap {
namespace {

using nlohmann::json;

// The value of a property of a snapshot node, or null.
const json* property(const json& node, std::string_view key) {
    const auto properties = node.find("properties");
    if (properties == node.end() || !properties->is_array()) {
        return nullptr;
    }
    for (const json& entry : *properties) {
        if (entry.value("key", "") == key && entry.contains("value")) {
            return &entry["value"];
        }
    }
    return nullptr;
}

const json& children(const json& node) {
    static const json kNone = json::array();
    const auto found = node.find("children");
    return found != node.end() && found->is_array() ? *found : kNone;
}

// "B00F21h" and the like.
unsigned hexProperty(const json& node, std::string_view key) {
    const json* value = property(node, key);
    return value != nullptr && value->is_string()
               ? static_cast<unsigned>(std::strtoul(value->get<std::string>().c_str(), nullptr, 16))
               : 0u;
}

platform::TemperatureFact temperatureOf(const json& node) {
    platform::TemperatureFact fact;
    if (const json* value = property(node, "TemperatureCelsius"); value && value->is_number()) {
        fact.kind = platform::TemperatureFact::Kind::Reading;
        fact.celsius = value->get<int>();
    }
    return fact;
}

std::optional<unsigned> usageOf(const json& node) {
    const json* value = property(node, "PercentUsage");
    return value != nullptr && value->is_number() ? std::optional(value->get<unsigned>())
                                                  : std::nullopt;
}

json temperatureJson(const platform::TemperatureFact& fact) {
    switch (fact.kind) {
    case platform::TemperatureFact::Kind::Reading:
        return fact.celsius;
    case platform::TemperatureFact::Kind::Fails:
        return "fail";
    case platform::TemperatureFact::Kind::NoReader:
        break;
    }
    return nullptr;
}

void putIf(json& object, const char* key, const json& value) {
    if (!value.is_null()) {
        object[key] = value;
    }
}

} // namespace

platform::ProcessorFacts processorFacts(std::string_view snapshotJson,
                                        const platform::ProcessorFacts* stated) {
    if (stated != nullptr) {
        return *stated;
    }
    platform::ProcessorFacts facts;
    const json root = json::parse(snapshotJson);
    // The clocks are not in the snapshot in full: they are asked of the live processor again.
    libSysTopo::cpu::x86_physical_cpus topology(false);
    for (const json& group : children(root)) {
        if (group.value("type", "") != "SYSTEM_CPU") {
            continue;
        }
        for (const json& node : children(group)) {
            platform::PackageFacts package;
            package.name = platform::utf8ToUtf16(node.value("name", ""));
            package.signature = {hexProperty(node, "CPUID"),
                                 static_cast<std::uint8_t>(hexProperty(node, "Family")),
                                 static_cast<std::uint8_t>(hexProperty(node, "Model")),
                                 static_cast<std::uint8_t>(hexProperty(node, "Stepping")),
                                 static_cast<std::uint8_t>(hexProperty(node, "ExtFamily")),
                                 static_cast<std::uint8_t>(hexProperty(node, "ExtModel"))};
            if (const json* revision = property(node, "Revision"); revision && revision->is_string()) {
                package.revision = platform::utf8ToUtf16(revision->get<std::string>());
            }
            const unsigned index = static_cast<unsigned>(facts.packages.size());
            libSysTopo::cpu::x86_speed_metrics metrics;
            if (index < topology.getCpuCount() && topology[index].get().getSpeedMetrics(metrics)) {
                package.speed = platform::SpeedFacts{
                    metrics.ratioPrecision, metrics.currentRatio,   metrics.ratioLow,
                    metrics.ratioHigh,      metrics.currentSpeedHz, metrics.busSpeedHz,
                    metrics.fsbSpeedHz,     metrics.coreVoltage,    metrics.voltagePrecision};
            }
            package.temperature = temperatureOf(node);
            package.usage = usageOf(node);
            for (const json& coreNode : children(node)) {
                platform::CoreFacts core;
                const std::string name = coreNode.value("name", "");
                core.number = name.rfind("Core ", 0) == 0
                                  ? static_cast<unsigned>(std::strtoul(name.c_str() + 5, nullptr, 10))
                                  : 0u;
                core.temperature = temperatureOf(coreNode);
                core.usage = usageOf(coreNode);
                package.cores.push_back(core);
            }
            facts.packages.push_back(std::move(package));
        }
    }
    return facts;
}

json processorSection(const platform::ProcessorFacts& facts) {
    json cpu = json::object();
    if (!facts.usageMeter) {
        cpu["usageMeter"] = false;
    }
    json& packages = cpu["packages"] = json::array();
    for (const platform::PackageFacts& package : facts.packages) {
        const platform::SignatureFacts& s = package.signature;
        json entry = {{"name", platform::utf16ToUtf8(package.name)},
                      {"signature",
                       {{"signature", s.signature},
                        {"family", s.family},
                        {"model", s.model},
                        {"stepping", s.stepping},
                        {"extFamily", s.extFamily},
                        {"extModel", s.extModel}}}};
        if (package.revision) {
            entry["revision"] = platform::utf16ToUtf8(*package.revision);
        }
        if (const auto& speed = package.speed) {
            entry["speed"] = {{"ratioPrecision", speed->ratioPrecision},
                              {"currentRatio", speed->currentRatio},
                              {"ratioLow", speed->ratioLow},
                              {"ratioHigh", speed->ratioHigh},
                              {"currentSpeedHz", speed->currentSpeedHz},
                              {"busSpeedHz", speed->busSpeedHz},
                              {"fsbSpeedHz", speed->fsbSpeedHz},
                              {"coreVoltage", speed->coreVoltage},
                              {"voltagePrecision", speed->voltagePrecision}};
        }
        putIf(entry, "temperature", temperatureJson(package.temperature));
        putIf(entry, "usage", package.usage ? json(*package.usage) : json());
        json& cores = entry["cores"] = json::array();
        for (const platform::CoreFacts& core : package.cores) {
            json coreEntry = {{"number", core.number}};
            putIf(coreEntry, "temperature", temperatureJson(core.temperature));
            putIf(coreEntry, "usage", core.usage ? json(*core.usage) : json());
            cores.push_back(coreEntry);
        }
        packages.push_back(std::move(entry));
    }
    return cpu;
}

} // namespace hwsnap
