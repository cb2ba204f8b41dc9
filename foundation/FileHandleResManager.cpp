#include "foundation/FileHandleResManager.h"

#include "platform/Win32.h"

namespace qel {

void* FileHandleResManager::open(const CreateFileOpenArgs& args) {
    return win32::CreateFileW(args.fileName.getUCS2Buffer(), args.desiredAccess, args.shareMode,
                              nullptr, OPEN_EXISTING, 0, nullptr);
}

void FileHandleResManager::destroy(void* handle) {
    if (handle != INVALID_HANDLE_VALUE) {
        win32::CloseHandle(handle);
    }
}

} // namespace qel
