// The drive record as a device answers it: every DeviceIoControl request (the storage
// descriptor's header and whole, the geometry, the length) gets the input's bytes, as much as
// fits, with the count a driver would return.
#include "libOSWindows/WindowsDrive.h"
#include "platform/testing/FailingBackend.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace {

class AnsweringDevice final : public platform::testing::FailingBackend {
public:
    std::span<const std::uint8_t> answer;

    BOOL closeHandle(HANDLE) override { return TRUE; }
    BOOL deviceIoControl(HANDLE, DWORD, void*, DWORD, void* out, DWORD outSize,
                         DWORD* returned) override {
        const auto size = static_cast<DWORD>(std::min<std::size_t>(outSize, answer.size()));
        if (out != nullptr && size != 0) {
            std::memcpy(out, answer.data(), size);
        }
        if (returned != nullptr) {
            *returned = size;
        }
        return TRUE;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static AnsweringDevice device;
    static platform::ScopedBackend scope(device);
    device.answer = std::span<const std::uint8_t>(data, size);
    libOSWindows::WindowsDrive drive{qel::FileHandle(reinterpret_cast<HANDLE>(0x40))};
    drive.getSize();
    return 0;
}
