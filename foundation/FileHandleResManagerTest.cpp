#include "foundation/FileHandleResManager.h"

#include "platform/testing/FailingBackend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace qel {
namespace {

// Opening \\.\C: succeeds, with handle 0x100, while `exists`; closes are recorded.
class FileBackend : public platform::testing::FailingBackend {
public:
    bool exists = false;
    std::vector<HANDLE> closes;

    HANDLE createFile(const char16_t* name, DWORD, DWORD, DWORD, DWORD) override {
        if (exists && std::u16string_view(name) == u"\\\\.\\C:") {
            return reinterpret_cast<HANDLE>(std::uintptr_t{0x100});
        }
        lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    BOOL closeHandle(HANDLE h) override {
        closes.push_back(h);
        return TRUE;
    }
};

TEST(FileHandleResManagerTest, SharedHandleIsClosedOnceByItsLastOwner) {
    FileBackend backend;
    const platform::ScopedBackend scope(backend);
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
        backend.exists = c.exists;
        backend.closes.clear();
        HANDLE opened = nullptr;
        {
            FileHandle owner(
                FileHandleResManager::open({"\\\\.\\C:", 0xC0000000u, 3}) /* read-write, shared */);
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
