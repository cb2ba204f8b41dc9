#include "platform/StorageDescriptor.h"

#include <cstring>

namespace platform {

std::vector<std::uint8_t> storageDeviceDescriptor(STORAGE_DEVICE_DESCRIPTOR fixed,
                                                  const DescriptorTexts& texts) {
    std::vector<std::uint8_t> bytes(sizeof(STORAGE_DEVICE_DESCRIPTOR), 0);
    const auto append = [&bytes](const std::string* text) -> DWORD {
        if (text == nullptr) {
            return 0;
        }
        const auto offset = static_cast<DWORD>(bytes.size());
        bytes.insert(bytes.end(), text->begin(), text->end());
        bytes.push_back(0);
        return offset;
    };
    fixed.VendorIdOffset = append(texts.vendor);
    fixed.ProductIdOffset = append(texts.product);
    fixed.ProductRevisionOffset = append(texts.revision);
    fixed.SerialNumberOffset = append(texts.serial);
    fixed.Size = static_cast<DWORD>(bytes.size());
    std::memcpy(bytes.data(), &fixed, sizeof(fixed));
    return bytes;
}

} // namespace platform
