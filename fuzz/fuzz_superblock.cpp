// Every superblock reader on a corrupted image. The input is an image in the recorded form of the
// tests ("size N", "@offset", hex lines), so the seeds are real file systems whose bytes the
// fuzzer changes.
#include "platform/linux/Superblock.h"
#include "platform/linux/testing/RecordedImage.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream text(std::string(reinterpret_cast<const char*>(data), size));
    platform::test::RecordedImage image;
    try {
        image = platform::test::parseRecordedImage(text);
    } catch (const std::logic_error&) {
        return -1; // not an image: keep it out of the corpus
    }
    if (const auto identity =
            platform::identifyFileSystem([&](std::uint64_t offset, std::span<std::uint8_t> out) {
                return image.read(offset, out);
            })) {
        platform::serialFromUuid(identity->uuid);
    }
    return 0;
}
