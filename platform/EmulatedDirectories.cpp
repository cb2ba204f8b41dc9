// The directories a program asks for: the system directory and its own file's path.

#include "platform/StorageEmulator.h"

#include "platform/BufferAnswer.h"

#include <algorithm>

namespace platform {

UINT StorageEmulator::getSystemDirectory(char16_t* buffer, UINT size) {
    const auto facts = storageFacts();
    if (!facts->systemDirectory) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const std::u16string& directory = *facts->systemDirectory;
    const auto length = static_cast<UINT>(directory.size());
    if (buffer == nullptr || size <= length) {
        return length + 1; // the size needed, terminating zero included
    }
    std::copy(directory.begin(), directory.end(), buffer);
    buffer[length] = u'\0';
    return length;
}

DWORD StorageEmulator::getModuleFileName(char16_t* buffer, DWORD size) {
    const auto facts = storageFacts();
    if (!facts->moduleFileName) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    DWORD error = 0;
    const DWORD length = answerTruncated(*facts->moduleFileName, buffer, size, error);
    if (error != 0) {
        setLastError(error);
    }
    return length;
}

} // namespace platform
