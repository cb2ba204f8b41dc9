#include "foundation/FileHandleResManager.h"

#include "platform/testing/FailingBackend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qel {
namespace {

// Opens succeed, with handle 0x100, for names listed in `existing`; closes are recorded.
class FileBackend : public platform::testing::FailingBackend {
public:
    std::vector<std::u16string> existing;
    std::vector<HANDLE> closes;

    HANDLE createFile(const char16_t* name, DWORD, DWORD, DWORD, DWORD) override {
        for (const std::u16string& candidate : existing) {
            if (candidate == name) {
                return handle(0x100);
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

TEST_F(FileHandleResManagerTest, SharedHandleIsClosedOnceByItsLastOwner) {
    struct Case {
        const char* name;
        bool exists;
        int extraOwners;
        std::size_t closes;
    };
    const Case cases[] = {
        {"missing file, three owners", false, 2, 0},
        {"open file, one owner", true, 0, 1},
        {"open file, five owners", true, 4, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend.existing =
            c.exists ? std::vector<std::u16string>{u"\\\\.\\C:"} : std::vector<std::u16string>{};
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

} // namespace
} // namespace qel
