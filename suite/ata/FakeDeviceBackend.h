#pragma once
// For tests: a platform backend whose DeviceIoControl is answered by a function the test
// supplies, and whose CloseHandle counts the handles closed. Every request is recorded with a
// copy of its input bytes.

#include "platform/FailingBackend.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <span>
#include <vector>

namespace qelrlibata::testing {

class FakeDeviceBackend : public platform::testing::FailingBackend {
public:
    struct Request {
        HANDLE device;
        DWORD code;
        std::vector<std::uint8_t> in;
        DWORD outSize;
    };

    // Fills `out` (the caller's output buffer) and `returned`; returns false to fail the request
    // with `error`.
    using Responder = std::function<bool(DWORD code, std::span<const std::uint8_t> in,
                                         std::span<std::uint8_t> out, DWORD& returned)>;

    explicit FakeDeviceBackend(Responder responder = {}) : responder_(std::move(responder)) {}

    void respond(Responder responder) { responder_ = std::move(responder); }
    void failWith(DWORD error) { error_ = error; }
    const std::vector<Request>& requests() const { return requests_; }
    std::vector<DWORD> codes() const {
        std::vector<DWORD> result;
        for (const auto& request : requests_) {
            result.push_back(request.code);
        }
        return result;
    }
    int closes(HANDLE handle) const {
        const auto it = closes_.find(handle);
        return it == closes_.end() ? 0 : it->second;
    }

    BOOL deviceIoControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out,
                         DWORD outSize, DWORD* returned) override {
        const auto* inBytes = static_cast<const std::uint8_t*>(in);
        requests_.push_back(
            {device, code, std::vector<std::uint8_t>(inBytes, inBytes + inSize), outSize});
        DWORD count = 0;
        const bool ok =
            responder_ &&
            responder_(code, std::span<const std::uint8_t>(inBytes, inSize),
                       std::span<std::uint8_t>(static_cast<std::uint8_t*>(out), outSize), count);
        if (returned != nullptr) {
            *returned = ok ? count : 0;
        }
        lastError = ok ? ERROR_SUCCESS : error_;
        return ok ? TRUE : FALSE;
    }

    BOOL closeHandle(HANDLE handle) override {
        ++closes_[handle];
        return TRUE;
    }

private:
    Responder responder_;
    DWORD error_ = ERROR_NOT_SUPPORTED;
    std::vector<Request> requests_;
    std::map<HANDLE, int> closes_;
};

// Copies `value` into `bytes` at `offset`; for building and reading wire structures in tests.
template <typename T>
void putStruct(std::span<std::uint8_t> bytes, std::size_t offset, const T& value) {
    std::memcpy(bytes.data() + offset, &value, sizeof(T));
}

template <typename T> T getStruct(std::span<const std::uint8_t> bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

} // namespace qelrlibata::testing
