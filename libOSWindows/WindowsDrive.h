#pragma once
// One physical drive (a disk or a CD-ROM drive) opened by its owner: it classifies itself as
// removable or fixed, answers its capacity (cached once known) and lists the drive-letter
// volumes on it (built once). Copies share the handle and the descriptor.

#include "foundation/Array.h"
#include "foundation/Buffer.h"
#include "foundation/FileHandleResManager.h"
#include "foundation/SharedResource.h"
#include "libOSWindows/Volume.h"

#include <cstdint>

namespace libOSWindows {

enum class DriveMediaKind : std::uint32_t { Removable = 0, Fixed = 1, Unknown = 2 };

using DescriptorBuffer =
    qel::SharedResource<qel::PointerStorage<qel::Buffer<unsigned char>, 0, 3>, 0>;

class WindowsDrive {
public:
    WindowsDrive();
    // Default construction, then open(handle).
    explicit WindowsDrive(const qel::FileHandle& handle);
    WindowsDrive(const WindowsDrive& other);
    WindowsDrive& operator=(const WindowsDrive& other);
    ~WindowsDrive();

    // Shares `handle` and classifies the drive: from its storage descriptor, else from its
    // geometry; Unknown when neither answers. Clears the size and the listed flag.
    void open(const qel::FileHandle& handle);
    // Capacity in bytes; 0 when it cannot be determined, in which case the next call asks again.
    std::uint64_t getSize();
    // The volumes on this drive in ascending letter order, listed on the first call.
    qel::Array<Volume>& getVolumes();
    // Re-reads every listed volume's information; lists nothing.
    void refreshVolumes();

    qel::FileHandle handle;
    DescriptorBuffer descriptor; // the whole STORAGE_DEVICE_DESCRIPTOR; null when not read
    std::uint32_t mediaKind = static_cast<std::uint32_t>(DriveMediaKind::Unknown);
    std::uint32_t bytesPerSector = 0; // from the geometry; 0 when it was not read
    std::uint64_t sizeBytes = 0;      // 0: not yet known
    qel::Array<Volume> volumes;
    bool volumesLoaded = false;

private:
    bool queryStorageDescriptor();
    std::uint64_t queryDiskLength();
    void loadVolumes();
};

} // namespace libOSWindows
