#pragma once

#include "foundation/SharedResource.h"
#include "foundation/String.h"

#include <cstdint>

namespace qel {

struct CreateFileOpenArgs {
    String fileName;
    std::uint32_t desiredAccess = 0;
    std::uint32_t shareMode = 0;
};

// Opens and closes files and devices through the platform.
class FileHandleResManager {
public:
    // The handle, or the invalid handle (-1) when the file cannot be opened.
    static void* open(const CreateFileOpenArgs& args);
    static void destroy(void* handle);
};

using FileHandle = SharedResource<DescriptorStorage<void*, -1, FileHandleResManager>, 0>;

} // namespace qel
