#include "foundation/FileHandleResManager.h"

#include "platform/FailingBackend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qel {
namespace {

// Opens succeed for names listed in `existing`, with handles 0x100, 0x101, ...; every call is
// recorded.
class FileBackend : public platform::testing::FailingBackend {
public:
    struct Open {
        std::u16string name;
        DWORD access;
        DWORD share;
        DWORD disposition;
    };

    std::vector<std::u16string> existing;
    std::vector<Open> opens;
    std::vector<HANDLE> closes;

    HANDLE createFile(const char16_t* name, DWORD access, DWORD share, DWORD disposition,
                      DWORD) override {
        opens.push_back({name, access, share, disposition});
        for (const std::u16string& candidate : existing) {
            if (candidate == name) {
                return handle(0x100 + opens.size() - 1);
            }
        }
        lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    BOOL closeHandle(HANDLE h) override {
        closes.push_back(h);
        return TRUE;
    }

    static HANDLE handle(std::uintptr_t value) { return reinterpret_cast<HANDLE>(value); }
};

class FileHandleResManagerTest : public ::testing::Test {
protected:
    FileBackend backend;
    platform::ScopedBackend scope{backend};
};

const DWORD kReadWrite = 0xC0000000u;
const DWORD kShareReadWrite = 3;

TEST_F(FileHandleResManagerTest, OpenPassesTheCallersArguments) {
    backend.existing = {u"\\\\.\\PhysicalDrive0"};
    void* const opened =
        FileHandleResManager::open({"\\\\.\\PhysicalDrive0", kReadWrite, kShareReadWrite});
    EXPECT_EQ(opened, FileBackend::handle(0x100));
    void* const missing =
        FileHandleResManager::open({"\\\\.\\PhysicalDrive9", kReadWrite, kShareReadWrite});
    EXPECT_EQ(missing, INVALID_HANDLE_VALUE);
    ASSERT_EQ(backend.opens.size(), 2u);
    EXPECT_EQ(backend.opens[0].name, u"\\\\.\\PhysicalDrive0");
    EXPECT_EQ(backend.opens[0].access, kReadWrite);
    EXPECT_EQ(backend.opens[0].share, kShareReadWrite);
    EXPECT_EQ(backend.opens[0].disposition, OPEN_EXISTING);
    EXPECT_TRUE(backend.closes.empty());
}

TEST_F(FileHandleResManagerTest, DestroyClosesValidHandlesOnly) {
    FileHandleResManager::destroy(INVALID_HANDLE_VALUE);
    EXPECT_TRUE(backend.closes.empty());
    FileHandleResManager::destroy(FileBackend::handle(0x100));
    EXPECT_EQ(backend.closes, std::vector<HANDLE>{FileBackend::handle(0x100)});
}

TEST_F(FileHandleResManagerTest, SharedHandleIsClosedOnceByItsLastOwner) {
    struct Case {
        const char* name;
        bool exists;
        int extraOwners;
        std::size_t closes;
    };
    const Case cases[] = {
        {"missing file, one owner", false, 0, 0}, {"missing file, three owners", false, 2, 0},
        {"open file, one owner", true, 0, 1},     {"open file, two owners", true, 1, 1},
        {"open file, five owners", true, 4, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend.existing =
            c.exists ? std::vector<std::u16string>{u"\\\\.\\C:"} : std::vector<std::u16string>{};
        backend.opens.clear();
        backend.closes.clear();
        HANDLE opened = nullptr;
        {
            FileHandle owner(
                FileHandleResManager::open({"\\\\.\\C:", kReadWrite, kShareReadWrite}));
            opened = owner.get();
            EXPECT_EQ(owner.isValid(), c.exists);
            {
                std::vector<FileHandle> others(c.extraOwners, owner);
                EXPECT_EQ(owner.getCount(), unsigned(c.extraOwners + 1));
            }
            EXPECT_TRUE(backend.closes.empty()) << "closed while an owner remained";
        }
        ASSERT_EQ(backend.closes.size(), c.closes);
        if (c.closes == 1) {
            EXPECT_EQ(backend.closes[0], opened);
        }
    }
}

TEST_F(FileHandleResManagerTest, LastOwnerMayBeTheCopy) {
    backend.existing = {u"\\\\?\\scsi#disk"};
    auto* first = new FileHandle(FileHandleResManager::open({u"\\\\?\\scsi#disk", 0, 0}));
    FileHandle second(*first);
    delete first;
    EXPECT_TRUE(backend.closes.empty());
    EXPECT_TRUE(second.isValid());
    second.reset(INVALID_HANDLE_VALUE);
    EXPECT_EQ(backend.closes.size(), 1u);
}

} // namespace
} // namespace qel
