#include "libOSWindows/WindowsDrive.h"

#include "foundation/testing/CapturedLog.h"
#include "platform/simulated/SimulatedMachine.h"
#include "platform/testing/FailingBackend.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace libOSWindows {
namespace {

using platform::simulated::SimulatedMachine;
using qel::test::CapturedLog;

constexpr std::uint32_t kRemovable = static_cast<std::uint32_t>(DriveMediaKind::Removable);
constexpr std::uint32_t kFixed = static_cast<std::uint32_t>(DriveMediaKind::Fixed);
constexpr std::uint32_t kUnknown = static_cast<std::uint32_t>(DriveMediaKind::Unknown);

// Letters E, C, D on fixed disk 0 (listed in that order to the machine), F removable on disk 0,
// G removable and H fixed on disk 1, CD-ROM letters K (number 0) and L (number 1), and a network
// drive on disk 0.
const char* const kMachine = R"({
  "drives": {
    "E": {"type": 3, "deviceNumber": 0, "volume": {"label": "Three", "serial": 3, "fileSystem": "NTFS"},
          "space": {"total": 300, "free": 100, "available": 100}},
    "C": {"type": 3, "deviceNumber": 0, "volume": {"label": "One", "serial": 1, "fileSystem": "NTFS"},
          "space": {"total": 100, "free": 50, "available": 50}},
    "D": {"type": 3, "deviceNumber": 0},
    "F": {"type": 2, "deviceNumber": 0},
    "G": {"type": 2, "deviceNumber": 1},
    "H": {"type": 3, "deviceNumber": 1},
    "K": {"type": 5, "deviceNumber": 0},
    "L": {"type": 5, "deviceNumber": 1},
    "N": {"type": 4, "network": 1, "deviceNumber": 0}
  },
  "disks": {
    "fixed": {"deviceNumber": {"type": 7, "number": 0},
              "descriptor": {"removableMedia": false, "busType": 11, "vendorId": "ACME",
                             "productId": "Fixed", "productRevision": "1", "serialNumber": "F1"},
              "length": 21474836480},
    "stick": {"deviceNumber": {"type": 7, "number": 1},
              "descriptor": {"removableMedia": true, "busType": 7}},
    "stick on disk 0": {"deviceNumber": {"type": 7, "number": 0},
                        "descriptor": {"removableMedia": true, "busType": 7}},
    "geometry fixed": {"deviceNumber": {"type": 7, "number": 0},
                       "geometry": {"cylinders": 1024, "mediaType": 12, "tracksPerCylinder": 255,
                                    "sectorsPerTrack": 63, "bytesPerSector": 512}},
    "geometry removable": {"deviceNumber": {"type": 7, "number": 1},
                           "geometry": {"cylinders": 1, "mediaType": 11, "tracksPerCylinder": 1,
                                        "sectorsPerTrack": 1, "bytesPerSector": 2048}},
    "geometry other": {"deviceNumber": {"type": 7, "number": 0},
                       "geometry": {"cylinders": 1, "mediaType": 0, "tracksPerCylinder": 1,
                                    "sectorsPerTrack": 1, "bytesPerSector": 4096}},
    "unknown": {"deviceNumber": {"type": 7, "number": 0}},
    "cdrom": {"deviceNumber": {"type": 2, "number": 1}},
    "cdrom with a descriptor": {"deviceNumber": {"type": 2, "number": 0},
                                "descriptor": {"removableMedia": true, "busType": 1}},
    "tape": {"deviceNumber": {"type": 31, "number": 0},
             "descriptor": {"removableMedia": false, "busType": 1}},
    "no number": {"descriptor": {"removableMedia": false, "busType": 11}},
    "no letters": {"deviceNumber": {"type": 7, "number": 9},
                   "descriptor": {"removableMedia": false, "busType": 11}}
  }
})";

qel::FileHandle openPath(const std::u16string& path) {
    return qel::FileHandle(qel::FileHandleResManager::open({qel::String(path), 0xC0000000, 3}));
}

std::string letters(const qel::Array<Volume>& volumes) {
    std::string out;
    for (const Volume& volume : volumes) {
        out += volume.driveLetter;
    }
    return out;
}

const std::string kMediaUnknown = "libOSWindows.WindowsDrive 3 589 Media type unknown";

// Opens and controls devices of the simulated machine, except that the test's function answers
// each storage-property query, told which one it is (from 1).
class PropertyHook final : public platform::testing::FailingBackend {
public:
    using Answer = std::function<BOOL(int query, void* out, DWORD outSize, DWORD* returned)>;

    PropertyHook(SimulatedMachine& machine, Answer answer)
        : machine_(machine), answer_(std::move(answer)) {}

    int queries = 0;

    DWORD getLastError() override { return machine_.getLastError(); }
    HANDLE createFile(const char16_t* name, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags) override {
        return machine_.createFile(name, access, share, disposition, flags);
    }
    BOOL closeHandle(HANDLE handle) override { return machine_.closeHandle(handle); }
    BOOL deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned) override {
        if (code == IOCTL_STORAGE_QUERY_PROPERTY) {
            return answer_(++queries, out, outSize, returned);
        }
        return machine_.deviceIoControl(device, code, in, inSize, out, outSize, returned);
    }

private:
    SimulatedMachine& machine_;
    Answer answer_;
};

class WindowsDriveTest : public testing::Test {
protected:
    void TearDown() override {
        EXPECT_EQ(machine_.openHandleCount(), 0u);
        EXPECT_EQ(machine_.closes(), machine_.opens());
        EXPECT_EQ(machine_.invalidCloses(), 0u);
    }

    SimulatedMachine machine_ = SimulatedMachine::fromJson(kMachine);
    platform::ScopedBackend installed_{machine_};
};

TEST_F(WindowsDriveTest, CopyOfAnOwnedInvalidHandleHoldsNoCount) {
    const WindowsDrive drive{qel::FileHandle(INVALID_HANDLE_VALUE)};
    EXPECT_EQ(drive.handle.getCount(), 1u);
    const WindowsDrive copy(drive);
    EXPECT_EQ(copy.handle.getCount(), 0u);
    WindowsDrive assigned;
    assigned = drive;
    EXPECT_EQ(assigned.handle.getCount(), 0u);
    EXPECT_EQ(drive.handle.getCount(), 1u);
}

TEST_F(WindowsDriveTest, OpenClassifiesByDescriptorThenGeometry) {
    struct Case {
        const char16_t* path;
        std::uint32_t mediaKind;
        std::uint32_t bytesPerSector;
        bool descriptor;
    };
    const Case cases[] = {
        {u"fixed", kFixed, 0, true},
        {u"stick", kRemovable, 0, true},
        {u"geometry fixed", kFixed, 512, false},
        {u"geometry removable", kRemovable, 2048, false},
        {u"geometry other", kUnknown, 4096, false},
        {u"unknown", kUnknown, 0, false},
        {u"not a disk of this machine", kUnknown, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qel::String(c.path).toUtf8());
        const WindowsDrive drive(openPath(c.path));
        EXPECT_EQ(drive.mediaKind, c.mediaKind);
        EXPECT_EQ(drive.bytesPerSector, c.bytesPerSector);
        EXPECT_EQ(drive.descriptor.get() != nullptr, c.descriptor);
    }
}

TEST_F(WindowsDriveTest, DescriptorThatCannotBeBelievedFallsBackToTheGeometry) {
    // The first request answers a header claiming `size` bytes; the second fails when asked to.
    struct Case {
        const char* name;
        DWORD size;
        bool secondFails;
        int requests;
    };
    const Case cases[] = {
        {"a Size of 0", 0, false, 1},
        {"a Size shorter than the fixed part", 8, false, 1},
        {"a Size far beyond any descriptor", 0x7FFFFFFF, false, 1},
        {"the second request fails", 64, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PropertyHook hooked(machine_, [&](int query, void* out, DWORD outSize, DWORD* returned) {
            if (query == 2 && c.secondFails) {
                *returned = 0;
                return FALSE;
            }
            auto* bytes = static_cast<unsigned char*>(out);
            std::memset(bytes, 0, outSize);
            if (outSize >= 8) {
                std::memcpy(bytes + 4, &c.size, sizeof c.size);
            }
            if (outSize > 10) {
                bytes[10] = 1; // removable, were it believed
            }
            *returned = outSize;
            return TRUE;
        });
        const platform::ScopedBackend installed(hooked);
        const WindowsDrive drive(openPath(u"geometry fixed"));
        EXPECT_EQ(hooked.queries, c.requests);
        EXPECT_EQ(drive.descriptor.get(), nullptr);
        EXPECT_EQ(drive.mediaKind, kFixed);
        EXPECT_EQ(drive.bytesPerSector, 512u);
    }
}

TEST_F(WindowsDriveTest, InvalidHandle) {
    CapturedLog log;
    WindowsDrive drive(openPath(u"not a disk of this machine"));
    EXPECT_FALSE(drive.handle.isValid());
    EXPECT_EQ(drive.getSize(), 0u);
    EXPECT_EQ(drive.getVolumes().size(), 0u);
    EXPECT_TRUE(drive.volumesLoaded);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(WindowsDriveTest, SizeFromLengthElseGeometryCachedOnceKnown) {
    SimulatedMachine machine = SimulatedMachine::fromJson(R"({
      "disks": {
        "length": {"length": 21474836480,
                   "geometry": {"cylinders": 1, "mediaType": 12, "tracksPerCylinder": 1,
                                "sectorsPerTrack": 1, "bytesPerSector": 512}},
        "geometry": {"geometry": {"cylinders": 1024, "mediaType": 12, "tracksPerCylinder": 255,
                                  "sectorsPerTrack": 63, "bytesPerSector": 512}},
        "wide geometry": {"geometry": {"cylinders": 2, "mediaType": 12,
                                       "tracksPerCylinder": 65535, "sectorsPerTrack": 65535,
                                       "bytesPerSector": 4096}},
        "later": {}
      },
      "steps": [
        {"at": 0},
        {"at": 1, "patch": {"disks": {"later": {"length": 1000}, "length": {"length": 5}}}},
        {"at": 2, "patch": {"disks": {"later": {"length": 2000}}}}
      ]})");
    const platform::ScopedBackend installed(machine);
    WindowsDrive length(openPath(u"length"));
    WindowsDrive geometry(openPath(u"geometry"));
    WindowsDrive wide(openPath(u"wide geometry"));
    WindowsDrive later(openPath(u"later"));
    EXPECT_EQ(length.getSize(), 21474836480u);
    EXPECT_EQ(geometry.getSize(), 8422686720u);
    EXPECT_EQ(wide.getSize(), 2ull * 65535 * 65535 * 4096); // no factor is multiplied in 32 bits
    EXPECT_EQ(later.getSize(), 0u);

    machine.applyStep(1);
    EXPECT_EQ(length.getSize(), 21474836480u); // known: not asked again
    EXPECT_EQ(later.getSize(), 1000u);         // 0 was not kept
    machine.applyStep(2);
    EXPECT_EQ(later.getSize(), 1000u);
}

TEST_F(WindowsDriveTest, VolumesByDeviceTypeAndMediaKind) {
    struct Case {
        const char16_t* path;
        const char* letters;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {u"fixed", "CDE", {}}, // C, E and D partitions listed in letter order
        {u"geometry fixed", "CDE", {}},
        {u"stick", "G", {}}, // H lies on disk 1 too, but as a fixed letter
        {u"stick on disk 0", "F", {}},
        {u"geometry removable", "G", {}},
        {u"cdrom", "L", {}}, // whatever its media kind (Unknown here)
        {u"cdrom with a descriptor", "K", {}},
        {u"unknown", "", {kMediaUnknown}},
        {u"geometry other", "", {kMediaUnknown}},
        {u"tape", "", {}},
        {u"no number", "", {}},
        {u"no letters", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qel::String(c.path).toUtf8());
        CapturedLog log;
        WindowsDrive drive(openPath(c.path));
        EXPECT_EQ(letters(drive.getVolumes()), c.letters);
        EXPECT_TRUE(drive.volumesLoaded);
        EXPECT_EQ(log.lines, c.log);
    }

    CapturedLog log;
    WindowsDrive odd(openPath(u"fixed"));
    odd.mediaKind = 7; // none of the three kinds
    EXPECT_EQ(odd.getVolumes().size(), 0u);
    EXPECT_EQ(log.lines, std::vector<std::string>{"libOSWindows.WindowsDrive 4 592 Unknown error"});
}

TEST_F(WindowsDriveTest, ListingIsBuiltOnceAndLogsOncePerListing) {
    CapturedLog log;
    WindowsDrive unknown(openPath(u"unknown"));
    unknown.getVolumes();
    unknown.getVolumes();
    EXPECT_EQ(log.lines, std::vector<std::string>{kMediaUnknown});

    // Each listing opens every local letter once; neither a second call nor a copy scans again.
    WindowsDrive fixed(openPath(u"fixed"));
    const std::size_t before = machine_.opens();
    fixed.getVolumes();
    EXPECT_EQ(machine_.opens(), before + 8);
    const WindowsDrive copy(fixed);
    EXPECT_EQ(letters(fixed.getVolumes()), "CDE");
    EXPECT_EQ(letters(copy.volumes), "CDE");
    EXPECT_EQ(machine_.opens(), before + 8);
}

TEST_F(WindowsDriveTest, RaisedThresholdsSilenceLowerMessages) {
    qel::Logger* logger = nullptr;
    qel::LogFactory::createLogger("libOSWindows.WindowsDrive", logger);
    CapturedLog log; // puts the threshold back at the end
    struct Case {
        int factory;
        int own;
        std::vector<std::string> log; // from a warning (589) then an error (592)
    };
    const Case cases[] = {
        {qel::kPriorityError, -1, {"libOSWindows.WindowsDrive 4 592 Unknown error"}},
        {qel::kPriorityFatal, -1, {}},
        {qel::kPriorityTrace,
         qel::kPriorityWarning,
         {"libOSWindows.WindowsDrive 4 592 Unknown error"}},
        {qel::kPriorityTrace, qel::kPriorityError, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.factory << " " << c.own);
        qel::LogFactory::setPriority(c.factory);
        logger->priority = c.own;
        log.lines.clear();
        WindowsDrive(openPath(u"unknown")).getVolumes();
        WindowsDrive odd(openPath(u"fixed"));
        odd.mediaKind = 7;
        odd.getVolumes();
        EXPECT_EQ(log.lines, c.log);
    }
    logger->priority = -1;
}

TEST_F(WindowsDriveTest, RefreshUpdatesListedVolumesOnly) {
    SimulatedMachine machine = SimulatedMachine::fromJson(R"({
      "drives": {"C": {"type": 3, "deviceNumber": 0, "volume": {"label": "Old"},
                       "space": {"total": 100, "free": 50}}},
      "disks": {"disk": {"deviceNumber": {"type": 7, "number": 0},
                         "descriptor": {"removableMedia": false}}},
      "steps": [
        {"at": 0},
        {"at": 1, "patch": {"drives": {"C": {"volume": {"label": "New"}, "space": {"free": 10}},
                                       "D": {"type": 3, "deviceNumber": 0}}}}
      ]})");
    const platform::ScopedBackend installed(machine);
    WindowsDrive drive(openPath(u"disk"));
    drive.refreshVolumes(); // nothing listed yet: lists nothing
    EXPECT_FALSE(drive.volumesLoaded);
    EXPECT_EQ(machine.opens(u"\\\\.\\C:"), 0u);

    EXPECT_EQ(letters(drive.getVolumes()), "C");
    machine.applyStep(1);
    drive.refreshVolumes();
    EXPECT_EQ(letters(drive.getVolumes()), "C"); // a letter added later is not picked up
    EXPECT_EQ(drive.volumes[0].label.toUtf8(), "New");
    EXPECT_EQ(drive.volumes[0].usedBytes, 90u);
}

TEST_F(WindowsDriveTest, CopiesShareTheHandleAndTheDescriptor) {
    {
        auto first = std::make_unique<WindowsDrive>(openPath(u"fixed"));
        first->getVolumes();
        {
            const WindowsDrive copy(*first);
            EXPECT_EQ(copy.handle.getCount(), 2u);
            EXPECT_EQ(copy.descriptor.get(), first->descriptor.get());
            EXPECT_NE(&copy.volumes[0], &first->volumes[0]);
        }
        EXPECT_EQ(machine_.closes(u"fixed"), 0u); // the copy's end leaves the handle open
        const WindowsDrive second(*first);
        first.reset();
        EXPECT_EQ(machine_.closes(u"fixed"), 0u);
        EXPECT_EQ(second.handle.getCount(), 1u);
    }
    EXPECT_EQ(machine_.opens(u"fixed"), 1u);
    EXPECT_EQ(machine_.closes(u"fixed"), 1u);
}

TEST_F(WindowsDriveTest, AssignmentReleasesTheTargetsHandle) {
    {
        WindowsDrive target(openPath(u"stick"));
        const WindowsDrive source(openPath(u"fixed"));
        target.getVolumes();
        target = source;
        EXPECT_EQ(machine_.closes(u"stick"), 1u);
        EXPECT_EQ(target.handle.get(), source.handle.get());
        EXPECT_EQ(target.descriptor.get(), source.descriptor.get());
        EXPECT_FALSE(target.volumesLoaded);
        EXPECT_EQ(target.volumes.size(), 0u);

        WindowsDrive& same = target;
        target = same;
        EXPECT_EQ(target.handle.getCount(), 2u);
        EXPECT_EQ(target.descriptor.get(), source.descriptor.get());

        target = WindowsDrive(); // an empty source leaves no handle behind
        EXPECT_FALSE(target.handle.isValid());
        EXPECT_EQ(machine_.closes(u"fixed"), 0u);
    }
    EXPECT_EQ(machine_.closes(u"fixed"), 1u);
}

TEST_F(WindowsDriveTest, ReopenReleasesTheOldHandleUnlessItIsTheSame) {
    WindowsDrive drive(openPath(u"fixed"));
    EXPECT_EQ(drive.getSize(), 21474836480u);
    drive.open(drive.handle);
    EXPECT_EQ(machine_.closes(u"fixed"), 0u);
    EXPECT_TRUE(drive.handle.isValid());
    EXPECT_EQ(drive.sizeBytes, 0u);

    drive.open(openPath(u"stick"));
    EXPECT_EQ(machine_.closes(u"fixed"), 1u);
    EXPECT_EQ(drive.mediaKind, kRemovable);
    EXPECT_EQ(letters(drive.getVolumes()), "G");
}

} // namespace
} // namespace libOSWindows
