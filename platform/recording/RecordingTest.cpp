#include "platform/HexText.h"
#include "platform/recording/MachineRecording.h"
#include "platform/recording/Privacy.h"
#include "platform/recording/RecordingBackend.h"
#include "platform/simulated/Machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace platform::recording {
namespace {

using nlohmann::json;

constexpr const char* kPath =
    "\\\\?\\scsi#disk&ven_acme#wd-12ab34&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";

// A STORAGE_DEVICE_DESCRIPTOR with only a serial, after the fixed part.
std::string descriptor(const std::string& serial) {
    std::string bytes(40, '\0');
    bytes[0] = bytes[24] = 40;
    bytes[4] = static_cast<char>(41 + serial.size());
    return bytes + serial + '\0';
}

// An IDENTIFY block with `serial` in words 10-19 and a valid checksum, as hex.
std::string identifyHex(const std::string& serial) {
    std::string block(512, '\0');
    for (std::size_t i = 0; i < 20; ++i) {
        block[20 + (i ^ 1)] = i < serial.size() ? serial[i] : ' ';
    }
    block[510] = static_cast<char>(0xA5);
    int sum = 0;
    for (std::size_t i = 0; i < 511; ++i) {
        sum += static_cast<unsigned char>(block[i]);
    }
    block[511] = static_cast<char>(-sum);
    return hexText(block);
}

std::string kinds(const std::string& text) {
    std::string out;
    for (const char c : text) {
        out += std::isdigit(static_cast<unsigned char>(c))   ? '9'
               : std::isupper(static_cast<unsigned char>(c)) ? 'A'
               : std::islower(static_cast<unsigned char>(c)) ? 'a'
                                                             : c;
    }
    return out;
}

TEST(Privacy, HidesEachSerialAndLabelConsistentlyEverywhere) {
    json machine = {
        {"windows", {{"moduleFileName", "C:\\Users\\Ann\\hwsnap.exe"}}},
        {"devices",
         {{{"instanceId", "SCSI\\DISK&VEN_ACME\\WD-12AB34&0"}, {"interfacePath", kPath}}}},
        {"drives", {{"C", {{"volume", {{"label", "Holiday"}, {"serial", 1234}}}}}}},
        {"disks",
         {{kPath,
           {{"descriptor", {{"hex", hexText(descriptor("WD-12AB34"))}}},
            {"ata", {{"identify", {{"hex", identifyHex("WD-12AB34")}}}}},
            {"scsi",
             {{"serial", "  WD-12AB34"},
              {"vpd", {{"80", "00800009" + hexText(std::string_view("WD-12AB34"))}}}}}}}}},
        {"steps",
         {{{"at", 0}},
          {{"at", 1}, {"patch", {{"drives", {{"D", {{"volume", {{"label", "S1"}}}}}}}}}}}}};
    hideIdentity(machine);
    const std::string text = machine.dump();
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    EXPECT_EQ(lower.find("wd-12ab34"), std::string::npos) << text;
    EXPECT_EQ(text.find("Holiday"), std::string::npos);
    EXPECT_EQ(kinds(machine["windows"]["moduleFileName"]), "A:\\Aaaaa\\Aaa\\aaaaaa.aaa");
    const std::string program = machine["windows"]["moduleFileName"];
    EXPECT_TRUE(program.rfind("C:\\", 0) == 0 && program.find("Users") == std::string::npos &&
                program.substr(program.size() - 11) == "\\hwsnap.exe")
        << program;

    const json& disks = machine["disks"];
    ASSERT_EQ(disks.size(), 1u);
    const std::string path = disks.begin().key();
    const std::string serial = disks.begin().value()["scsi"]["serial"].get<std::string>().substr(2);
    EXPECT_EQ(disks.begin().value()["descriptor"]["hex"], hexText(descriptor(serial)));
    EXPECT_EQ(kinds(serial), kinds("WD-12AB34"));
    std::string lowerSerial = serial;
    std::transform(serial.begin(), serial.end(), lowerSerial.begin(), ::tolower);
    EXPECT_NE(path.find(lowerSerial), std::string::npos) << path;
    EXPECT_EQ(machine["devices"][0]["interfacePath"], path);
    EXPECT_NE(machine["devices"][0]["instanceId"].get<std::string>().find(serial),
              std::string::npos);
    EXPECT_EQ(disks.begin().value()["scsi"]["serial"], "  " + serial);
    EXPECT_EQ(disks.begin().value()["scsi"]["vpd"]["80"], "00800009" + hexText(serial));
    EXPECT_EQ(disks.begin().value()["ata"]["identify"]["hex"], identifyHex(serial));
    const json& volume = machine["drives"]["C"]["volume"];
    EXPECT_EQ(kinds(volume["label"]), kinds("Holiday"));
    EXPECT_NE(volume["serial"], 1234);
    EXPECT_EQ(kinds(machine["steps"][1]["patch"]["drives"]["D"]["volume"]["label"]), "A9");
    // Still a machine.
    EXPECT_NO_THROW(simulated::Machine::fromJsonText(text));
}

TEST(MachineRecording, StepsHoldOnlyWhatChanged) {
    MachineRecording recording;
    recording.add(10.0, {{"memory", {{"load", 5}}},
                         {"drives", {{"C", {{"type", 3}}}, {"D", json::object()}}}});
    recording.add(12.5, {{"memory", {{"load", 6}}}, {"drives", {{"C", {{"type", 3}}}}}});
    recording.add(12.0, {{"memory", {{"load", 6}}}, {"drives", {{"C", {{"type", 3}}}}}});
    recording.setLateAnswers({{"disks", {{"P", {{"length", 512}}}}}});
    const json expected = {
        {"memory", {{"load", 5}}},
        {"drives", {{"C", {{"type", 3}}}, {"D", json::object()}}},
        {"disks", {{"P", {{"length", 512}}}}},
        {"steps",
         {{{"at", 0.0}},
          {{"at", 2.5}, {"patch", {{"memory", {{"load", 6}}}, {"drives", {{"D", nullptr}}}}}},
          {{"at", 2.5}}}}};
    EXPECT_EQ(recording.document(), expected);
}

} // namespace
} // namespace platform::recording
