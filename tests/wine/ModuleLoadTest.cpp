// The DLL as a host loads it at run time: LoadLibraryW, GetProcAddress, FreeLibrary.

#include "devicetree/GetAllDevices.h"
#include "foundation/FileHandleResManager.h"
#include "libOSWindows/Volume.h"
#include "libOSWindows/WindowsDrive.h"
#include "platform/Win32.h"
#include "tests/wine/CrtHeap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace {

using VersionEntry = unsigned int (*)();
using SnapshotEntry = decltype(&systemmonitor::getAllDevices);

constexpr const char* kVersionName = "RNIGetCompatibleVersion";
constexpr const char* kSnapshotName = "_ZN13systemmonitor13getAllDevicesEv";

// One reference to the library, taken by name from the test's own folder as a host would.
class LoadedLibrary {
public:
    LoadedLibrary() : module_(::LoadLibraryW(L"systemmonitor.dll")) {}
    ~LoadedLibrary() {
        if (module_ != nullptr) {
            ::FreeLibrary(module_);
        }
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    HMODULE module() const { return module_; }

    // Null when the library does not export the name.
    template <typename Function> Function entry(const char* name) const {
        // Through the generic function type, which converts to any other without a warning.
        return reinterpret_cast<Function>(
            reinterpret_cast<void (*)()>(::GetProcAddress(module_, name)));
    }

    // Drops this reference now; false when the loader refuses.
    bool release() {
        const bool freed = ::FreeLibrary(module_) != FALSE;
        module_ = nullptr;
        return freed;
    }

private:
    HMODULE module_;
};

// The library's code pages: what must stay untouched while a thread starts and ends.
struct CodeRange {
    std::uintptr_t begin = 0;
    std::uintptr_t end = 0;
};

CodeRange executableSection(HMODULE module) {
    const auto base = reinterpret_cast<std::uintptr_t>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    CodeRange range;
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if ((section->Characteristics & IMAGE_SCN_MEM_EXECUTE) == 0) {
            continue;
        }
        const std::uintptr_t begin = base + section->VirtualAddress;
        const std::uintptr_t end = begin + section->Misc.VirtualSize;
        range.begin = range.begin == 0 ? begin : std::min(range.begin, begin);
        range.end = std::max(range.end, end);
    }
    return range;
}

// While armed, the library's code cannot run: the first instruction fetched from it faults, the
// fault is counted, and the code is given back so that execution goes on.
class CodeTrap {
public:
    explicit CodeTrap(CodeRange range) : range_(range) {
        instance_ = this;
        handler_ = ::AddVectoredExceptionHandler(1, &CodeTrap::onException);
    }
    ~CodeTrap() {
        disarm();
        ::RemoveVectoredExceptionHandler(handler_);
        instance_ = nullptr;
    }
    CodeTrap(const CodeTrap&) = delete;
    CodeTrap& operator=(const CodeTrap&) = delete;

    bool arm() {
        DWORD previous = 0;
        if (::VirtualProtect(reinterpret_cast<void*>(range_.begin), range_.end - range_.begin,
                             PAGE_NOACCESS, &previous) == FALSE) {
            return false;
        }
        original_ = previous;
        armed_ = true;
        return true;
    }

    void disarm() {
        if (armed_.exchange(false)) {
            DWORD ignored = 0;
            ::VirtualProtect(reinterpret_cast<void*>(range_.begin), range_.end - range_.begin,
                             original_, &ignored);
        }
    }

    int faults() const { return faults_; }

private:
    static LONG CALLBACK onException(EXCEPTION_POINTERS* info) {
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        CodeTrap* trap = instance_;
        if (trap == nullptr || record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION ||
            record->NumberParameters < 2) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        const auto address = static_cast<std::uintptr_t>(record->ExceptionInformation[1]);
        if (address < trap->range_.begin || address >= trap->range_.end) {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        ++trap->faults_;
        trap->disarm();
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    static inline CodeTrap* instance_ = nullptr;
    CodeRange range_;
    PVOID handler_ = nullptr;
    DWORD original_ = 0;
    std::atomic<bool> armed_{false};
    std::atomic<int> faults_{0};
};

// The library's copy, assignment and destruction of one record type, called on records that this
// program builds with its own copy of the storage code, as another module of the suite would.
// In this ABI a member takes its object as the first argument and a constructor returns nothing.
// The library is loaded for as long as they are kept; without it none of them is found.
template <typename Record> struct ExportedMembers {
    void (*copyConstruct)(Record* self, const Record* other) = nullptr;
    Record* (*assign)(Record* self, const Record* other) = nullptr;
    void (*destroy)(Record* self) = nullptr;
    LoadedLibrary library;

    explicit ExportedMembers(const std::string& name) {
        const std::string prefix = "_ZN12libOSWindows" + std::to_string(name.size()) + name;
        copyConstruct = library.entry<decltype(copyConstruct)>((prefix + "C1ERKS0_").c_str());
        assign = library.entry<decltype(assign)>((prefix + "aSERKS0_").c_str());
        destroy = library.entry<decltype(destroy)>((prefix + "D1Ev").c_str());
    }
    bool complete() const {
        return copyConstruct != nullptr && assign != nullptr && destroy != nullptr;
    }
};

// Room for one record whose lifetime the test runs by hand.
template <typename Record> struct RecordStorage {
    alignas(Record) unsigned char bytes[sizeof(Record)];
    Record* get() { return reinterpret_cast<Record*>(bytes); }
};

// Far below one text per round: 100 rounds that each leaked one would add kilobytes.
constexpr std::ptrdiff_t kSlack = 1024;

libOSWindows::Volume systemVolume() {
    libOSWindows::Volume volume(libOSWindows::DriveLetterInfo{'C', DRIVE_FIXED});
    volume.label = smoke::kLongText;
    return volume;
}

std::u16string ownFileName() {
    std::vector<wchar_t> name(32768);
    const DWORD length =
        ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    return std::u16string(reinterpret_cast<const char16_t*>(name.data()), length);
}

TEST(VersionFirst, AnswersBeforeAnythingElseAndOnEveryCall) {
    LoadedLibrary library;
    ASSERT_NE(library.module(), nullptr) << "LoadLibraryW failed: " << ::GetLastError();
    const auto version = library.entry<VersionEntry>(kVersionName);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version(), 0x00020000u);
    EXPECT_EQ(version(), 0x00020000u);
}

TEST(ModuleLoad, ExportsThePublicEntriesAndNothingInternal) {
    LoadedLibrary library;
    ASSERT_NE(library.module(), nullptr);
    struct Case {
        const char* name;
        bool exported;
    };
    const Case cases[] = {
        {kVersionName, true},
        {kSnapshotName, true},
        {"DllMain", false},
        {"getAllDevices", false},
        {"_ZN8platform13nativeBackendEv", false},
        {"_ZN13systemmonitor19collectMemoryDeviceERN3qel13SharedPointerINS_"
         "6sisapi13SysInfoDeviceENS0_"
         "22AutoMutexLockingPolicyEEE",
         false},
        {"_ZN12libOSWindows12WindowsDriveC1Ev", false},
        {"__dyn_tls_init_callback", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(::GetProcAddress(library.module(), c.name) != nullptr, c.exported) << c.name;
    }
}

TEST(ModuleLoad, SnapshotIsOwnedByTheHostAndFreshAfterReloading) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        LoadedLibrary library;
        ASSERT_NE(library.module(), nullptr);
        const auto snapshot = library.entry<SnapshotEntry>(kSnapshotName);
        ASSERT_NE(snapshot, nullptr);
        {
            auto root = snapshot();
            ASSERT_NE(root.get(), nullptr);
            EXPECT_EQ(root.getCount(), 1);
            EXPECT_EQ(root->getType(), systemmonitor::SYSTEM_ROOT);
            EXPECT_EQ(root->getLocalizedName(), "System Root");
            EXPECT_EQ(root->getKey(), "SYSROOT");
            const auto children = root->getChildDevices();
            ASSERT_GT(children.size(), 0u);
            EXPECT_EQ(children[children.size() - 1]->getLocalizedName(), "System Memory");
        }
        EXPECT_TRUE(library.release());
        EXPECT_EQ(::GetModuleHandleW(L"systemmonitor.dll"), nullptr) << "still loaded";
    }
}

TEST(ModuleLoad, ThreadStartedAfterLoadingCallsNothingInTheLibrary) {
    LoadedLibrary library;
    ASSERT_NE(library.module(), nullptr);
    const auto version = library.entry<VersionEntry>(kVersionName);
    ASSERT_NE(version, nullptr);
    const CodeRange code = executableSection(library.module());
    ASSERT_LT(code.begin, code.end);

    CodeTrap trap(code);
    ASSERT_TRUE(trap.arm());
    std::thread([] {}).join();
    trap.disarm();
    EXPECT_EQ(trap.faults(), 0) << "starting or ending a thread ran the library's code";

    // The trap does see a call into the library from a thread.
    unsigned int answer = 0;
    ASSERT_TRUE(trap.arm());
    std::thread([&] { answer = version(); }).join();
    trap.disarm();
    EXPECT_EQ(trap.faults(), 1);
    EXPECT_EQ(answer, 0x00020000u);
}

TEST(ModuleLoad, VolumesCrossTheBoundaryByCopyWithoutLeaks) {
    const ExportedMembers<libOSWindows::Volume> exported("Volume");
    ASSERT_TRUE(exported.complete());
    const libOSWindows::Volume source = systemVolume();

    const std::ptrdiff_t growth = smoke::heapGrowth(100, [&] {
        RecordStorage<libOSWindows::Volume> copyRoom;
        exported.copyConstruct(copyRoom.get(), &source); // the library copies
        libOSWindows::Volume& copy = *copyRoom.get();
        EXPECT_EQ(copy.driveLetter, 'C');
        EXPECT_EQ(copy.rootPath, source.rootPath);
        EXPECT_EQ(copy.devicePath, source.devicePath);
        EXPECT_EQ(copy.label, source.label);
        EXPECT_NE(copy.label.getUCS2Buffer(), source.label.getUCS2Buffer());
        EXPECT_EQ(copy.serialNumber, source.serialNumber);
        EXPECT_EQ(copy.fileSystem, source.fileSystem);
        EXPECT_EQ(copy.totalBytes, source.totalBytes);
        EXPECT_EQ(copy.freeBytes, source.freeBytes);
        EXPECT_EQ(copy.driveType, source.driveType);

        // The library assigns over, and then destroys, a record built on this side.
        RecordStorage<libOSWindows::Volume> hostRoom;
        libOSWindows::Volume* host = new (hostRoom.get()) libOSWindows::Volume(source);
        host->label = "a label long enough for the heap, replaced by the library";
        EXPECT_EQ(exported.assign(host, &copy), host);
        EXPECT_EQ(host->label, source.label);
        EXPECT_EQ(exported.assign(host, host), host);
        EXPECT_EQ(host->label, source.label);
        exported.destroy(host);

        copy.~Volume(); // this side destroys the library's copy
    });
    EXPECT_LE(growth, kSlack);
}

TEST(ModuleLoad, DrivesCopiedByTheLibraryShareTheHandleAndCopyTheVolumes) {
    const ExportedMembers<libOSWindows::WindowsDrive> exported("WindowsDrive");
    ASSERT_TRUE(exported.complete());

    const std::u16string self = ownFileName();
    qel::FileHandle handle(qel::FileHandleResManager::open(
        {qel::String(self), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE}));
    ASSERT_TRUE(handle.isValid());
    libOSWindows::WindowsDrive source;
    source.handle = handle;
    source.mediaKind = static_cast<std::uint32_t>(libOSWindows::DriveMediaKind::Fixed);
    source.bytesPerSector = 512;
    source.sizeBytes = 8422686720u;
    source.volumes.append(systemVolume());
    source.volumesLoaded = true;
    ASSERT_EQ(handle.getCount(), 2u);

    const std::ptrdiff_t growth = smoke::heapGrowth(100, [&] {
        RecordStorage<libOSWindows::WindowsDrive> copyRoom;
        exported.copyConstruct(copyRoom.get(), &source); // the library copies
        libOSWindows::WindowsDrive& copy = *copyRoom.get();
        EXPECT_EQ(copy.handle.get(), handle.get());
        EXPECT_EQ(handle.getCount(), 3u);
        EXPECT_FALSE(copy.descriptor.isValid());
        EXPECT_EQ(copy.mediaKind, source.mediaKind);
        EXPECT_EQ(copy.bytesPerSector, 512u);
        EXPECT_EQ(copy.sizeBytes, 8422686720u);
        EXPECT_TRUE(copy.volumesLoaded);
        ASSERT_EQ(copy.volumes.size(), 1u);
        EXPECT_NE(&copy.volumes[0], &source.volumes[0]);
        EXPECT_EQ(copy.volumes[0].label, source.volumes[0].label);

        // The library assigns over, and then destroys, a drive built on this side.
        RecordStorage<libOSWindows::WindowsDrive> hostRoom;
        libOSWindows::WindowsDrive* host = new (hostRoom.get()) libOSWindows::WindowsDrive();
        EXPECT_EQ(exported.assign(host, &copy), host);
        EXPECT_EQ(handle.getCount(), 4u);
        EXPECT_EQ(exported.assign(host, host), host);
        EXPECT_EQ(handle.getCount(), 4u);
        ASSERT_EQ(host->volumes.size(), 1u);
        exported.destroy(host);
        EXPECT_EQ(handle.getCount(), 3u);

        copy.~WindowsDrive(); // this side destroys the library's copy
        EXPECT_EQ(handle.getCount(), 2u);
    });
    EXPECT_LE(growth, kSlack);
    EXPECT_TRUE(handle.isValid());
}

} // namespace
