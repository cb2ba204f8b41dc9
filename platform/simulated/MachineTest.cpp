#include "platform/simulated/Machine.h"

#include <gtest/gtest.h>

#include <string>

namespace platform::simulated {
namespace {

std::string errorOf(const std::string& text) {
    try {
        Machine::fromJsonText(text);
    } catch (const MachineError& error) {
        return error.what();
    }
    return "(loaded)";
}

const std::string kDisk = R"("\\\\.\\PhysicalDrive0")";

// Each fault names its JSON path, including quoted keys and array indexes.
TEST(Machine, RejectsNamingThePathAndTheFault) {
    const std::pair<std::string, std::string> cases[] = {
        {"[]", "$: expected an object"},
        {R"({"drives": {"C": {"space": {"totl": 1}}}})", "$.drives.C.space.totl: unknown key"},
        {R"({"memory": {"availPhys": 1.5}})", "$.memory.availPhys: expected an unsigned integer"},
        {R"({"memory": {"totalPhys": 18446744073709551616}})",
         "$.memory.totalPhys: expected an unsigned integer"},
        {R"({"memory": {"load": 4294967296}})",
         "$.memory.load: expected an unsigned integer up to 4294967295"},
        {R"({"drives": {"c": {}}})", "$.drives.c: expected a drive letter from A to Z"},
        {R"({"drives": {"Z": {"network": 3}}})",
         "$.drives.Z.network: expected an integer from 0 to 2"},
        {R"({"devices": [{}, {"friendly": "x"}]})", "$.devices[1].friendly: unknown key"},
        {R"({"devices": [{"friendlyName": {"type": 7, "value": [1]}}]})",
         "$.devices[0].friendlyName.value[0]: expected a string"},
        {"{\"disks\": {" + kDisk + ": {\"length\": -5}}}",
         "$.disks[" + kDisk + "].length: expected an unsigned integer"},
        {"{\"disks\": {" + kDisk + ": {\"scsi\": {\"inquiry\": {\"vendor\": \"ABCDEFGHI\"}}}}}",
         "$.disks[" + kDisk + "].scsi.inquiry.vendor: expected at most 8 characters"},
        {"{\"disks\": {" + kDisk + ": {\"descriptor\": {\"vendorId\": \"\xE2\x82\xAC\"}}}}",
         "$.disks[" + kDisk +
             "].descriptor.vendorId: expected characters from U+0000 to U+00FF (one byte each)"},
        {"{\"disks\": {" + kDisk + ": {\"ata\": {\"identify\": {\"hex\": \"00ff\"}}}}}",
         "$.disks[" + kDisk +
             "].ata.identify.hex: expected 1024 hexadecimal digits (a 512-byte block)"},
        {R"({"disks": {"d": {"scsi": {"inquiry": {"hex": "0"}}}}})",
         "$.disks.d.scsi.inquiry.hex: expected an even number of hexadecimal digits (1 to 65535 "
         "bytes)"},
        {R"({"disks": {"d": {"scsi": {"vpd": {"80": "0g"}}}}})",
         "$.disks.d.scsi.vpd[\"80\"]: expected an even number of hexadecimal digits (1 to 65535 "
         "bytes)"},
        {R"({"disks": {"d": {"descriptor": {"hex": "0000000000000000", "busType": 1}}}})",
         "$.disks.d.descriptor: \"hex\" gives the whole descriptor and cannot be combined with "
         "other keys"},
        {R"({"disks": {"d": {"scsi": {"vpd": {"00": "00000000"}}}}})",
         "$.disks.d.scsi.vpd: only pages 80 and 83 are kept"},
        {R"({"disks": {"d": {"scsi": {"logPages": {"4d": "00000000"}}}}})",
         "$.disks.d.scsi.logPages[\"4d\"]: expected a page number as two hexadecimal digits, up "
         "to 63"},
        {"{\"disks\": {" + kDisk + ": {\"ata\": {\"smart\": {\"temperature\": 300}}}}}",
         "$.disks[" + kDisk + "].ata.smart.temperature: expected an integer from -128 to 255"},
        {R"({"cpu": {"packages": [{"temperature": "hot"}]}})",
         "$.cpu.packages[0].temperature: expected an integer or \"fail\""},
        {R"({"steps": [{"at": 1}, {"at": -1}]})", "$.steps[1].at: must not be negative"},
        {R"({"steps": [{"at": 2}, {"at": 5}, {"at": 4.5}]})",
         "$.steps[2].at: must not be less than the previous step's at (5)"},
        {R"({"steps": [{"at": 0, "patch": [1]}]})",
         "$.steps[0].patch: expected an object (a JSON merge patch)"},
        {R"({"steps": [{"at": 0}, {"at": 1, "patch": {"drives": {"C": {"type": "x"}}}}]})",
         "$.steps[1].patch.drives.C.type: expected an unsigned integer up to 4294967295"},
        {R"({"steps": [{"at": 0, "patch": {"steps": []}}]})",
         "$.steps[0].patch.steps: unknown key"},
    };
    for (const auto& [text, error] : cases) {
        EXPECT_EQ(errorOf(text), error) << text;
    }
    // Faults the JSON reader finds: the path of where it stopped, then its own words.
    const std::string nested(30000, '[');
    const std::pair<std::string, std::string> prefixes[] = {
        {"{\"memory\": ", "$.memory: not valid JSON: "},
        {"{\"windows\": {\"systemDirectory\": \"C:\\\\\xC3\"}}",
         "$.windows.systemDirectory: not valid JSON: "},
        {R"({"devices": [{}, {"instanceId": "x" "y"}]})", "$.devices[1].instanceId: not valid"},
        {R"({"memory": {"load": 1e400}})", "$.memory.load: number overflow"},
        {"{} x", "$: not valid JSON: "},
        {std::string("{\"memory\": {}}\0{ \"colour\": \"blue\", [1, 2", 40),
         "$: not valid JSON: a NUL byte at offset 14"},
        {std::string("{\"memory\": {\"load\": 1\0}}", 24), "$.memory.load: not valid JSON: a NUL"},
        {"{\"devices\": " + nested, "$.devices[0][0][0]"},
    };
    for (const auto& [text, prefix] : prefixes) {
        const std::string error = errorOf(text);
        EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    EXPECT_NE(errorOf("{\"devices\": " + nested).find(": nested deeper than 64 levels"),
              std::string::npos);
    EXPECT_THROW(Machine::fromFile(std::string(SM_TEST_DATA_DIR) + "/no-such-machine.json"),
                 MachineError);
    try {
        Machine::fromFile(SM_TEST_DATA_DIR);
        ADD_FAILURE() << "a folder loaded";
    } catch (const MachineError& error) {
        EXPECT_NE(std::string(error.what()).find(": cannot be read"), std::string::npos);
    }
}

// Steps are checked up front: a fault in the last of many is found, on a large machine, without
// copying the machine per step.
TEST(Machine, ChecksEveryStepOfALargeMachine) {
    std::string text = R"({"devices": [)";
    for (int i = 0; i < 5000; ++i) {
        text += R"({"friendlyName": "a device of some length, to weigh", "instanceId": "x"},)";
    }
    text += R"({}], "steps": [)";
    for (int i = 0; i < 1499; ++i) {
        text += R"({"at": )" + std::to_string(i) + R"(, "patch": {"drives": {"C": {"type": )" +
                std::to_string(i % 7) + "}}}},";
    }
    const std::string last = R"({"patch": {"drives": {"C": {"volume": {"serial": -1}}}}}]})";
    EXPECT_EQ(errorOf(text + last),
              "$.steps[1499].patch.drives.C.volume.serial: expected an unsigned integer up to "
              "4294967295");
    const Machine machine = Machine::fromJsonText(text + "{}]}");
    EXPECT_EQ(machine.stepCount(), 1500u);
    EXPECT_EQ(machine.stateAt(1497).storage.letters.at('C').type, 6u);
    EXPECT_EQ(machine.stateAt(3).storage.letters.at('C').type, 3u);
    EXPECT_EQ(machine.stateAt(1499).storage.devices.size(), 5001u);
}

TEST(Machine, MissingAndNullAreNotThere) {
    const Machine machine = Machine::fromJsonText(R"({
        "memory": null, "drives": {"C": null, "E": {"volume": {}}},
        "devices": [{"interfacePath": null, "devnode": {"status": null}}, {"devnode": {}}],
        "disks": {"d": {"ata": {"smart": {}}}}})");
    const MachineState& state = machine.initialState();
    EXPECT_FALSE(state.memory);
    EXPECT_EQ(state.storage.letters.count('C'), 0u);
    ASSERT_TRUE(state.storage.letters.at('E').volume);
    EXPECT_EQ(state.storage.letters.at('E').volume->serial, 0u);
    EXPECT_TRUE(state.storage.letters.at('E').openable);
    // A null interface path keeps the device in the interface set, without a path.
    EXPECT_TRUE(state.storage.devices[0].hasInterface);
    EXPECT_FALSE(state.storage.devices[0].interfacePath);
    EXPECT_FALSE(state.storage.devices[1].hasInterface);
    EXPECT_FALSE(state.storage.devices[0].status);
    EXPECT_NE(state.storage.devices[1].node, 0u);
    EXPECT_FALSE(state.storage.disks.at(u"d")->drive->smartTemperature);
    EXPECT_EQ(machine.stepCount(), 1u);
    EXPECT_EQ(Machine::fromJsonText(R"({"steps": []})").stepCount(), 1u);
}

TEST(Machine, EncodesValuesAsTheSystemHoldsThem) {
    const Machine machine = Machine::fromJsonText(
        "{\"memory\": {\"totalPhys\": 18446744073709551615},"
        " \"drives\": {\"C\": {\"volume\": {\"label\": \"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"}}},"
        " \"disks\": {\"d\": {\"descriptor\": {\"productId\": \"Caf\xC3\xA9\"}}},"
        R"( "devices": [{"friendlyName": "Ab", "description": {"type": 7, "value": ["a", "b"]},
                         "enumeratorName": {"type": 4, "value": 258}},
                        {"friendlyName": {"type": 11, "value": 4294967296}}]})");
    const MachineState& state = machine.initialState();
    EXPECT_EQ(state.memory->totalPhys, 18446744073709551615u);
    EXPECT_EQ(state.storage.letters.at('C').volume->label, u"\u00E9\u20AC\U0001F600");
    const auto& descriptor = *state.storage.disks.at(u"d")->descriptor;
    EXPECT_NE(std::string(descriptor.begin(), descriptor.end()).find("Caf\xE9"), std::string::npos);
    using B = std::vector<std::uint8_t>;
    EXPECT_EQ(state.storage.devices[0].properties.at(SPDRP_FRIENDLYNAME).type, 1u);
    EXPECT_EQ(state.storage.devices[0].properties.at(SPDRP_FRIENDLYNAME).data,
              (B{'A', 0, 'b', 0, 0, 0}));
    EXPECT_EQ(state.storage.devices[0].properties.at(SPDRP_DEVICEDESC).data,
              (B{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
    EXPECT_EQ(state.storage.devices[0].properties.at(SPDRP_ENUMERATOR_NAME).data, (B{2, 1, 0, 0}));
    EXPECT_EQ(state.storage.devices[1].properties.at(SPDRP_FRIENDLYNAME).data,
              (B{0, 0, 0, 0, 1, 0, 0, 0}));
}

TEST(Machine, ReadsARecordedIdentifyBlock) {
    std::string hex(1024, '0');
    hex.replace(0, 4, "4000");
    hex.replace(1020, 4, "a5Ff");
    const std::string disk = "{\"disks\": {\"d\": {\"ata\": {\"identify\": {\"hex\": \"" + hex;
    const Machine machine = Machine::fromJsonText(disk + "\"}}}}}");
    const auto& block = *machine.initialState().storage.disks.at(u"d")->drive->identify->recorded;
    EXPECT_EQ(block[0], 0x40);
    EXPECT_EQ(block[510], 0xA5);
    EXPECT_EQ(block[511], 0xFF);
    EXPECT_EQ(errorOf(disk + "\", \"model\": \"x\"}}}}}"),
              "$.disks.d.ata.identify: \"hex\" gives the whole block and cannot be combined with "
              "\"model\", \"serial\" or \"firmware\"");
    EXPECT_EQ(
        errorOf("{\"disks\": {\"d\": {\"ata\": {\"smart\": {\"temperature\": 30, \"hex\": \"" +
                hex + "\"}}}}}"),
        "$.disks.d.ata.smart: \"hex\" gives the whole block and cannot be combined with "
        "\"temperature\"");
}

TEST(Machine, AppliesPatchesCumulatively) {
    const Machine machine = Machine::fromJsonText(R"({
        "drives": {"C": {"type": 3, "space": {"total": 100, "free": 50}}},
        "cpu": {"packages": [{"cores": [{"number": 0}]}]},
        "disks": {"d": {"geometry": {"bytesPerSector": 512}}},
        "steps": [
            {"at": 1, "patch": {"drives": {"C": {"space": {"free": 40}}, "E": {"type": 2}}}},
            {"patch": {"drives": {"C": null}}},
            {"patch": {"cpu": {"usageMeter": false}, "disks": {"d": {"length": 7}}}},
            {"patch": {"disks": {"e": {}}}}]})");
    EXPECT_EQ(machine.initialState().storage.letters.at('C').space->free, 50u);
    EXPECT_EQ(machine.stateAt(0).storage.letters.at('C').space->free, 40u);
    EXPECT_EQ(machine.stateAt(0).storage.letters.at('C').space->total, 100u);
    // A step without "at" keeps the time of the one before.
    EXPECT_EQ(machine.stepTime(1), 1.0);
    EXPECT_EQ(machine.stateAt(1).storage.letters.count('C'), 0u);
    EXPECT_EQ(machine.stateAt(1).storage.letters.at('E').type, 2u);
    // A patch decodes only what it touches; the rest stays as it was.
    EXPECT_EQ(machine.stateAt(3).cpu.packages.size(), 1u);
    EXPECT_FALSE(machine.stateAt(3).cpu.usageMeter);
    EXPECT_EQ(machine.stateAt(3).storage.disks.at(u"d")->length, 7u);
    EXPECT_EQ(machine.stateAt(3).storage.disks.at(u"d")->geometry->bytesPerSector, 512u);
    EXPECT_EQ(machine.stateAt(3).storage.disks.size(), 2u);
    EXPECT_EQ(machine.stateAt(0).storage.disks.at(u"d")->length, std::nullopt);
}

} // namespace
} // namespace platform::simulated
