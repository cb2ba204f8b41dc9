#include "platform/simulated/Machine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

struct BadMachine {
    const char* name;
    std::string text;
    std::string error;
};

void PrintTo(const BadMachine& machine, std::ostream* out) {
    *out << machine.name;
}

class MachineRejects : public testing::TestWithParam<BadMachine> {};

TEST_P(MachineRejects, NamingThePathAndTheFault) {
    EXPECT_EQ(errorOf(GetParam().text), GetParam().error);
}

const std::string kDisk = R"("\\\\.\\PhysicalDrive0")";

INSTANTIATE_TEST_SUITE_P(
    Format, MachineRejects,
    testing::Values(
        BadMachine{"NotAnObject", "[]", "$: expected an object"},
        BadMachine{"UnknownTopLevelKey", R"({"memroy": {}})", "$.memroy: unknown key"},
        BadMachine{"UnknownNestedKey", R"({"drives": {"C": {"space": {"totl": 1}}}})",
                   "$.drives.C.space.totl: unknown key"},
        BadMachine{"StringForNumber", R"({"drives": {"C": {"space": {"total": "1"}}}})",
                   "$.drives.C.space.total: expected an unsigned integer"},
        BadMachine{"NegativeNumber", R"({"memory": {"totalPhys": -1}})",
                   "$.memory.totalPhys: expected an unsigned integer"},
        BadMachine{"FractionForInteger", R"({"memory": {"availPhys": 1.5}})",
                   "$.memory.availPhys: expected an unsigned integer"},
        BadMachine{"BeyondSixtyFourBits", R"({"memory": {"totalPhys": 18446744073709551616}})",
                   "$.memory.totalPhys: expected an unsigned integer"},
        BadMachine{"BeyondThirtyTwoBits", R"({"memory": {"load": 4294967296}})",
                   "$.memory.load: expected an unsigned integer up to 4294967295"},
        BadMachine{"LowerCaseLetter", R"({"drives": {"c": {}}})",
                   "$.drives.c: expected a drive letter from A to Z"},
        BadMachine{"TwoLetters", R"({"drives": {"CD": {}}})",
                   "$.drives.CD: expected a drive letter from A to Z"},
        BadMachine{"NetworkOutOfRange", R"({"drives": {"Z": {"network": 3}}})",
                   "$.drives.Z.network: expected an integer from 0 to 2"},
        BadMachine{"OpenableNotBool", R"({"drives": {"C": {"openable": 1}}})",
                   "$.drives.C.openable: expected true or false"},
        BadMachine{"DevicesNotArray", R"({"devices": {}})", "$.devices: expected an array"},
        BadMachine{"DeviceKey", R"({"devices": [{}, {"friendly": "x"}]})",
                   "$.devices[1].friendly: unknown key"},
        BadMachine{"RegistryValueType",
                   R"({"devices": [{"friendlyName": {"type": 7, "value": [1]}}]})",
                   "$.devices[0].friendlyName.value[0]: expected a string"},
        BadMachine{"RegistryValueKind", R"({"devices": [{"description": true}]})",
                   "$.devices[0].description: expected a string or an object with \"type\" "
                   "and \"value\""},
        BadMachine{"DevnodeStatus", R"({"devices": [{"devnode": {"status": "ok"}}]})",
                   "$.devices[0].devnode.status: expected an unsigned integer up to 4294967295"},
        BadMachine{"DiskKeyQuoted", "{\"disks\": {" + kDisk + ": {\"length\": -5}}}",
                   "$.disks[" + kDisk + "].length: expected an unsigned integer"},
        BadMachine{"InquiryVendorTooLong",
                   "{\"disks\": {" + kDisk +
                       ": {\"scsi\": {\"inquiry\": {\"vendor\": \"ABCDEFGHI\"}}}}}",
                   "$.disks[" + kDisk + "].scsi.inquiry.vendor: expected at most 8 characters"},
        BadMachine{"WireTextBeyondOneByte",
                   "{\"disks\": {" + kDisk +
                       ": {\"descriptor\": {\"vendorId\": \"\xE2\x82\xAC\"}}}}",
                   "$.disks[" + kDisk +
                       "].descriptor.vendorId: expected characters from U+0000 "
                       "to U+00FF (one byte each)"},
        BadMachine{"HexTooShort",
                   "{\"disks\": {" + kDisk + ": {\"ata\": {\"identify\": {\"hex\": \"00ff\"}}}}}",
                   "$.disks[" + kDisk +
                       "].ata.identify.hex: expected 1024 hexadecimal digits "
                       "(a 512-byte block)"},
        BadMachine{"SmartTemperatureRange",
                   "{\"disks\": {" + kDisk + ": {\"ata\": {\"smart\": {\"temperature\": 300}}}}}",
                   "$.disks[" + kDisk +
                       "].ata.smart.temperature: expected an integer from -128 "
                       "to 255"},
        BadMachine{"CpuTemperature", R"({"cpu": {"packages": [{"temperature": "hot"}]}})",
                   "$.cpu.packages[0].temperature: expected an integer or \"fail\""},
        BadMachine{"SignatureByte", R"({"cpu": {"packages": [{"signature": {"family": 256}}]}})",
                   "$.cpu.packages[0].signature.family: expected an unsigned integer up to 255"},
        BadMachine{"CoreKey", R"({"cpu": {"packages": [{"cores": [{"numbr": 1}]}]}})",
                   "$.cpu.packages[0].cores[0].numbr: unknown key"},
        BadMachine{"TextNotString", R"({"windows": {"systemDirectory": 5}})",
                   "$.windows.systemDirectory: expected a string"},
        BadMachine{"StepsNotArray", R"({"steps": {}})", "$.steps: expected an array"},
        BadMachine{"StepKey", R"({"steps": [{"at": 0, "when": 1}]})",
                   "$.steps[0].when: unknown key"},
        BadMachine{"NegativeFirstStep", R"({"steps": [{"at": -1}]})",
                   "$.steps[0].at: must not be negative"},
        BadMachine{"NegativeLaterStep", R"({"steps": [{"at": 1}, {"at": -1}]})",
                   "$.steps[1].at: must not be negative"},
        BadMachine{"DecreasingAt", R"({"steps": [{"at": 2}, {"at": 5}, {"at": 4.5}]})",
                   "$.steps[2].at: must not be less than the previous step's at (5)"},
        BadMachine{"AtNotNumber", R"({"steps": [{"at": "1s"}]})",
                   "$.steps[0].at: expected a number"},
        BadMachine{"PatchNotObject", R"({"steps": [{"at": 0, "patch": [1]}]})",
                   "$.steps[0].patch: expected an object (a JSON merge patch)"},
        BadMachine{
            "PatchBreaksType",
            R"({"steps": [{"at": 0}, {"at": 1, "patch": {"drives": {"C": {"type": "x"}}}}]})",
            "$.steps[1].patch.drives.C.type: expected an unsigned integer up to "
            "4294967295"},
        BadMachine{"PatchUnknownKey", R"({"steps": [{"at": 0, "patch": {"bogus": 1}}]})",
                   "$.steps[0].patch.bogus: unknown key"},
        BadMachine{"PatchAddsSteps", R"({"steps": [{"at": 0, "patch": {"steps": []}}]})",
                   "$.steps[0].patch.steps: unknown key"}),
    [](const testing::TestParamInfo<BadMachine>& info) { return std::string(info.param.name); });

TEST(Machine, RejectsTextThatIsNotJsonOrNotUtf8) {
    EXPECT_EQ(errorOf("{\"memory\": ").rfind("$: not valid JSON: ", 0), 0u);
    // An ill-formed UTF-8 byte inside a string.
    EXPECT_EQ(
        errorOf("{\"windows\": {\"systemDirectory\": \"C:\\\\\xC3\"}}").rfind("$: not valid", 0),
        0u);
}

TEST(Machine, ReportsAFileThatCannotBeRead) {
    EXPECT_THROW(Machine::fromFile(std::string(SM_TEST_DATA_DIR) + "/no-such-machine.json"),
                 MachineError);
}

TEST(Machine, LoadsTheDesktopFixture) {
    const Machine machine = Machine::fromFile(std::string(SM_TEST_DATA_DIR) + "/desktop.json");
    const MachineState& state = machine.initialState();
    ASSERT_TRUE(state.memory);
    EXPECT_EQ(state.memory->totalPhys, 8589934592u);
    EXPECT_EQ(state.windows.systemDirectory, u"C:\\Windows\\system32");
    ASSERT_EQ(state.cpu.packages.size(), 1u);
    const PackageFacts& package = state.cpu.packages[0];
    EXPECT_EQ(package.name, u"Acme Processor 3000");
    EXPECT_EQ(package.signature.signature, 1782u);
    EXPECT_EQ(package.revision, u"B3");
    ASSERT_TRUE(package.speed);
    EXPECT_DOUBLE_EQ(package.speed->coreVoltage, 1.325);
    EXPECT_EQ(package.speed->voltagePrecision, 4);
    ASSERT_EQ(package.cores.size(), 2u);
    EXPECT_EQ(package.cores[1].number, 2u);
    EXPECT_EQ(package.cores[1].temperature.kind, TemperatureFact::Kind::Fails);
    EXPECT_FALSE(package.cores[1].usage);
    EXPECT_EQ(package.cores[0].temperature.celsius, 44);

    ASSERT_EQ(state.drives.size(), 3u);
    EXPECT_EQ(state.drives.at('C').volume->label, u"System");
    EXPECT_FALSE(state.drives.at('D').volume);
    EXPECT_EQ(state.drives.at('Z').network, 1);
    ASSERT_EQ(state.devices.size(), 1u);
    EXPECT_TRUE(state.devices[0].hasInterface);
    ASSERT_EQ(state.disks.size(), 1u);
    const DiskState& disk = state.disks.begin()->second;
    EXPECT_EQ(disk.descriptor->busType, 11u);
    EXPECT_EQ(disk.ata->smartTemperature, 38);
    EXPECT_EQ(disk.scsi->serial, "  S123");

    ASSERT_EQ(machine.stepCount(), 2u);
    EXPECT_EQ(machine.stepTime(1), 6.0);
    EXPECT_EQ(machine.stateAt(0).drives.size(), 3u);
    EXPECT_EQ(machine.stateAt(1).memory->availPhys, 2147483648u);
    EXPECT_EQ(machine.stateAt(1).memory->totalPhys, 8589934592u);
    EXPECT_EQ(machine.stateAt(1).drives.count('Z'), 0u);
    EXPECT_FALSE(machine.documentAt(1).contains("steps"));
}

// Every fixture machine loads, or fails with the text its .error.txt names.
TEST(Machine, LoadsTheFixtureMachines) {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SM_MACHINES_DIR)) {
        const std::filesystem::path path = entry.path();
        if (path.extension() != ".json") {
            continue;
        }
        ++count;
        std::filesystem::path errorFile = path;
        errorFile.replace_extension(".error.txt");
        if (!std::filesystem::exists(errorFile)) {
            EXPECT_NO_THROW(Machine::fromFile(path)) << path;
            continue;
        }
        std::ifstream file(errorFile);
        std::string expected;
        std::getline(file, expected);
        try {
            Machine::fromFile(path);
            ADD_FAILURE() << path << " loaded";
        } catch (const MachineError& error) {
            EXPECT_NE(std::string(error.what()).find(expected), std::string::npos)
                << path << ": " << error.what();
        }
    }
    EXPECT_GT(count, 0u);
}

TEST(Machine, MissingAndNullAreNotThere) {
    const Machine machine = Machine::fromJsonText(R"({
        "memory": null, "windows": {"systemDirectory": null},
        "drives": {"C": null, "E": {"volume": {}}},
        "devices": [{"friendlyName": null, "interfacePath": null, "devnode": {"status": null}},
                    {"devnode": {}}],
        "disks": {"\\\\.\\PhysicalDrive0": {"ata": {"smart": {}}}}})");
    const MachineState& state = machine.initialState();
    EXPECT_FALSE(state.memory);
    EXPECT_FALSE(state.windows.systemDirectory);
    EXPECT_TRUE(state.cpu.usageMeter);
    EXPECT_TRUE(state.cpu.packages.empty());
    EXPECT_EQ(state.drives.count('C'), 0u);
    // Members missing inside a record that is there read as zero or empty.
    ASSERT_TRUE(state.drives.at('E').volume);
    EXPECT_EQ(state.drives.at('E').volume->serial, 0u);
    EXPECT_TRUE(state.drives.at('E').openable);
    EXPECT_FALSE(state.devices[0].friendlyName);
    // A null interface path keeps the device in the interface set, without a path.
    EXPECT_TRUE(state.devices[0].hasInterface);
    EXPECT_FALSE(state.devices[0].interfacePath);
    EXPECT_FALSE(state.devices[1].hasInterface);
    EXPECT_FALSE(state.devices[0].devnode->status);
    EXPECT_TRUE(state.devices[1].devnode);
    const DiskState& disk = state.disks.at(u"\\\\.\\PhysicalDrive0");
    EXPECT_FALSE(disk.ata->identify);
    EXPECT_FALSE(disk.ata->smartTemperature);
    EXPECT_FALSE(disk.length);
    EXPECT_EQ(machine.stepCount(), 1u);
    EXPECT_EQ(machine.stepTime(0), 0.0);
}

TEST(Machine, AcceptsTheFullRangeOfSixtyFourBitValues) {
    const Machine machine =
        Machine::fromJsonText(R"({"memory": {"totalPhys": 18446744073709551615, "availPhys": 0}})");
    EXPECT_EQ(machine.initialState().memory->totalPhys, 18446744073709551615u);
}

TEST(Machine, EncodesRegistryValuesAsTheRegistryHoldsThem) {
    const Machine machine = Machine::fromJsonText(R"({"devices": [{
        "friendlyName": "Ab",
        "description": {"type": 7, "value": ["a", "b"]},
        "enumeratorName": {"type": 4, "value": 258}}, {
        "friendlyName": {"type": 11, "value": 4294967296},
        "description": {"type": 2, "value": "x"},
        "enumeratorName": {"type": 0}}]})");
    const auto& first = machine.initialState().devices[0];
    EXPECT_EQ(first.friendlyName->type, 1u);
    EXPECT_EQ(first.friendlyName->data, (std::vector<std::uint8_t>{'A', 0, 'b', 0, 0, 0}));
    EXPECT_EQ(first.description->type, 7u);
    EXPECT_EQ(first.description->data,
              (std::vector<std::uint8_t>{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}));
    EXPECT_EQ(first.enumeratorName->data, (std::vector<std::uint8_t>{2, 1, 0, 0}));
    const auto& second = machine.initialState().devices[1];
    EXPECT_EQ(second.friendlyName->data, (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(second.description->data, (std::vector<std::uint8_t>{'x', 0, 0, 0}));
    EXPECT_TRUE(second.enumeratorName->data.empty());
}

TEST(Machine, DecodesUtf8TextToUtf16) {
    // "Disque dur é €" and a character beyond the basic plane.
    const Machine machine = Machine::fromJsonText("{\"drives\": {\"C\": {\"volume\": {\"label\": "
                                                  "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"}}}}");
    EXPECT_EQ(machine.initialState().drives.at('C').volume->label, u"\u00E9\u20AC\U0001F600");
}

TEST(Machine, KeepsWireTextsAsSingleBytes) {
    const Machine machine = Machine::fromJsonText(
        "{\"disks\": {\"d\": {\"descriptor\": {\"productId\": \"Caf\xC3\xA9\"}}}}");
    EXPECT_EQ(machine.initialState().disks.at(u"d").descriptor->productId, "Caf\xE9");
}

TEST(Machine, ReadsARecordedIdentifyBlock) {
    std::string hex(1024, '0');
    hex.replace(0, 4, "4000");
    hex.replace(1020, 4, "a5Ff");
    const Machine machine = Machine::fromJsonText(
        "{\"disks\": {\"d\": {\"ata\": {\"identify\": {\"hex\": \"" + hex + "\"}}}}}");
    const auto& block = *machine.initialState().disks.at(u"d").ata->identify->block;
    EXPECT_EQ(block[0], 0x40);
    EXPECT_EQ(block[510], 0xA5);
    EXPECT_EQ(block[511], 0xFF);
    EXPECT_EQ(errorOf("{\"disks\": {\"d\": {\"ata\": {\"identify\": {\"hex\": \"" + hex +
                      "\", \"model\": \"x\"}}}}}"),
              "$.disks.d.ata.identify: \"hex\" gives the whole block and cannot be combined with "
              "\"model\", \"serial\" or \"firmware\"");
}

TEST(Machine, AppliesPatchesCumulatively) {
    const Machine machine = Machine::fromJsonText(R"({
        "drives": {"C": {"type": 3, "space": {"total": 100, "free": 50}}},
        "devices": [{"friendlyName": "a"}],
        "steps": [
            {"at": 1, "patch": {"drives": {"C": {"space": {"free": 40}}, "E": {"type": 2}}}},
            {"patch": {"drives": {"C": null}, "devices": []}},
            {"at": 3}]})");
    ASSERT_EQ(machine.stepCount(), 3u);
    EXPECT_EQ(machine.initialState().drives.at('C').space->free, 50u);
    EXPECT_EQ(machine.stateAt(0).drives.at('C').space->free, 40u);
    EXPECT_EQ(machine.stateAt(0).drives.at('C').space->total, 100u);
    EXPECT_EQ(machine.stateAt(0).drives.at('E').type, 2u);
    // A step without "at" keeps the time of the one before.
    EXPECT_EQ(machine.stepTime(1), 1.0);
    EXPECT_EQ(machine.stateAt(1).drives.count('C'), 0u);
    EXPECT_TRUE(machine.stateAt(1).devices.empty());
    EXPECT_EQ(machine.stateAt(2).drives.count('E'), 1u);
    EXPECT_EQ(machine.stepTime(2), 3.0);
}

TEST(Machine, TreatsAnEmptyStepListAsOneStepAtZero) {
    const Machine machine = Machine::fromJsonText(R"({"steps": []})");
    EXPECT_EQ(machine.stepCount(), 1u);
    EXPECT_EQ(machine.stepTime(0), 0.0);
}

} // namespace
} // namespace platform::simulated
