#pragma once
// For tests: a platform backend whose DeviceIoControl is answered by a function the test
// supplies, and whose CloseHandle counts the handles closed. Every request is recorded with a
// copy of its input bytes.

#include "platform/Backend.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <span>
#include <vector>

namespace qelrlibata::testing {

class FakeDeviceBackend : public platform::Backend {
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

    // Everything else fails as a call the platform does not support.
    DWORD getLastError() override { return lastError; }
    double monotonicSeconds() override { return 0.0; }
    BOOL globalMemoryStatusEx(MEMORYSTATUSEX*) override { return unsupported(); }
    HANDLE createFile(const char16_t*, DWORD, DWORD, DWORD, DWORD) override {
        unsupported();
        return INVALID_HANDLE_VALUE;
    }
    DWORD getLogicalDrives() override { return 0; }
    UINT getDriveType(const char16_t*) override { return DRIVE_NO_ROOT_DIR; }
    int isNetDrive(int) override { return 0; }
    BOOL getVolumeInformation(const char16_t*, char16_t*, DWORD, DWORD*, DWORD*, DWORD*, char16_t*,
                              DWORD) override {
        return unsupported();
    }
    BOOL getDiskFreeSpaceEx(const char16_t*, ULARGE_INTEGER*, ULARGE_INTEGER*,
                            ULARGE_INTEGER*) override {
        return unsupported();
    }
    UINT getSystemDirectory(char16_t*, UINT) override { return 0; }
    DWORD getModuleFileName(char16_t*, DWORD) override { return 0; }
    HDEVINFO setupDiGetClassDevs(const GUID*, DWORD) override {
        unsupported();
        return INVALID_HANDLE_VALUE;
    }
    BOOL setupDiEnumDeviceInfo(HDEVINFO, DWORD, SP_DEVINFO_DATA*) override { return unsupported(); }
    BOOL setupDiEnumDeviceInterfaces(HDEVINFO, SP_DEVINFO_DATA*, const GUID*, DWORD,
                                     SP_DEVICE_INTERFACE_DATA*) override {
        return unsupported();
    }
    BOOL setupDiGetDeviceInterfaceDetail(HDEVINFO, SP_DEVICE_INTERFACE_DATA*,
                                         SP_DEVICE_INTERFACE_DETAIL_DATA_W*, DWORD, DWORD*,
                                         SP_DEVINFO_DATA*) override {
        return unsupported();
    }
    BOOL setupDiGetDeviceRegistryProperty(HDEVINFO, SP_DEVINFO_DATA*, DWORD, DWORD*, BYTE*, DWORD,
                                          DWORD*) override {
        return unsupported();
    }
    BOOL setupDiGetDeviceInstanceId(HDEVINFO, SP_DEVINFO_DATA*, char16_t*, DWORD, DWORD*) override {
        return unsupported();
    }
    BOOL setupDiDestroyDeviceInfoList(HDEVINFO) override { return unsupported(); }
    CONFIGRET cmLocateDevNode(DEVINST*, const char16_t*, ULONG) override { return CR_FAILURE; }
    CONFIGRET cmGetDevNodeStatus(ULONG*, ULONG*, DEVINST, ULONG) override { return CR_FAILURE; }

private:
    BOOL unsupported() {
        lastError = ERROR_NOT_SUPPORTED;
        return FALSE;
    }

    DWORD lastError = ERROR_SUCCESS;
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
