#pragma once
// For tests: a platform backend whose DeviceIoControl is answered by a function the test
// supplies (every request recorded with a copy of its input), and a disk behind it that answers
// the pass-through requests the way a driver and a device would, from recorded bytes. A route
// that is switched off fails as a driver without it does; a command without an answer fails as a
// device that does not support it.

#include "foundation/FileHandleResManager.h"
#include "platform/PassThrough.h"
#include "platform/testing/FailingBackend.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace qelrlibata::testing {

class FakeDeviceBackend : public platform::testing::FailingBackend {
public:
    struct Request {
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

    BOOL deviceIoControl(HANDLE, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                         DWORD* returned) override {
        const auto* inBytes = static_cast<const std::uint8_t*>(in);
        requests_.push_back({code, std::vector<std::uint8_t>(inBytes, inBytes + inSize), outSize});
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

struct FakeDisk {
    using Bytes = std::vector<std::uint8_t>;

    bool ataPassThrough = true; // IOCTL_ATA_PASS_THROUGH
    bool smartReceive = true;   // SMART_RCV_DRIVE_DATA
    bool scsiAtaPassThrough = true;
    std::optional<Bytes> identify;  // IDENTIFY DEVICE
    std::optional<Bytes> smartData; // SMART READ DATA
    // Overrides the data length the ATA pass-through reports back, when set.
    std::optional<std::uint32_t> ataReportedLength;

    std::optional<Bytes> inquiry;
    std::map<std::uint8_t, Bytes> vpdPages;
    std::map<std::uint8_t, Bytes> logPages;

    std::optional<Bytes> storageTemperature;
    // Output buffers smaller than this fail with ERROR_INSUFFICIENT_BUFFER, except an 8-byte one,
    // which receives the descriptor's first 8 bytes (Version and Size).
    std::size_t storageTemperatureMinimum = 0;

    const Bytes* ataAnswer(std::uint8_t features, std::uint8_t command) const {
        if (command == 0xEC && identify) {
            return &*identify;
        }
        if (command == 0xB0 && features == 0xD0 && smartData) {
            return &*smartData;
        }
        return nullptr;
    }

    const Bytes* scsiAnswer(std::span<const std::uint8_t> cdb) const {
        if (cdb[0] == 0x12 && (cdb[1] & 1) == 0) {
            return inquiry ? &*inquiry : nullptr;
        }
        if (cdb[0] == 0x12) {
            const auto it = vpdPages.find(cdb[2]);
            return it == vpdPages.end() ? nullptr : &it->second;
        }
        if (cdb[0] == 0x4D) {
            const auto it = logPages.find(cdb[2] & 0x3F);
            return it == logPages.end() ? nullptr : &it->second;
        }
        if (cdb[0] == 0x85 && scsiAtaPassThrough) {
            return ataAnswer(cdb[4], cdb[14]);
        }
        return nullptr;
    }

    bool answerAta(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                   DWORD& returned) const {
        if (!ataPassThrough) {
            return false;
        }
        auto request = getStruct<win32::AtaPassThroughEx>(in, 0);
        const Bytes* data = ataAnswer(request.CurrentTaskFile[0], request.CurrentTaskFile[6]);
        std::size_t count = 0;
        if (data != nullptr) {
            count = std::min<std::size_t>(data->size(), request.DataTransferLength);
            std::copy_n(data->begin(), count, out.begin() + request.DataBufferOffset);
        }
        request.DataTransferLength = ataReportedLength.value_or(static_cast<std::uint32_t>(count));
        request.CurrentTaskFile[0] = data != nullptr ? 0x00 : 0x04; // ABRT
        request.CurrentTaskFile[6] = data != nullptr ? 0x50 : 0x51; // DRDY, ERR
        putStruct(out, 0, request);
        returned = static_cast<DWORD>(request.DataBufferOffset + count);
        return true;
    }

    bool answerSmart(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                     DWORD& returned) const {
        const auto request = getStruct<win32::SendCmdInParams>(in, 0);
        const Bytes* data = smartReceive ? ataAnswer(request.irDriveRegs.bFeaturesReg,
                                                     request.irDriveRegs.bCommandReg)
                                         : nullptr;
        if (data == nullptr) {
            return false;
        }
        win32::SendCmdOutParams header{};
        header.cBufferSize = 512;
        putStruct(out, 0, header);
        const std::size_t count = std::min<std::size_t>(data->size(), 512);
        std::copy_n(data->begin(), count, out.begin() + sizeof(header));
        returned = static_cast<DWORD>(sizeof(header) + 512);
        return true;
    }

    bool answerScsi(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                    DWORD& returned) const {
        auto request = getStruct<win32::ScsiPassThrough>(in, 0);
        const Bytes* data =
            scsiAnswer(std::span<const std::uint8_t>(request.Cdb, request.CdbLength));
        std::size_t count = 0;
        if (data != nullptr) {
            count = std::min<std::size_t>(data->size(), request.DataTransferLength);
            std::copy_n(data->begin(), count, out.begin() + request.DataBufferOffset);
        }
        request.ScsiStatus = data != nullptr ? 0x00 : 0x02; // GOOD or CHECK CONDITION
        request.DataTransferLength = static_cast<std::uint32_t>(count);
        putStruct(out, 0, request);
        returned = static_cast<DWORD>(request.DataBufferOffset + count);
        return true;
    }

    bool answerProperty(FakeDeviceBackend& backend, std::span<const std::uint8_t> in,
                        std::span<std::uint8_t> out, DWORD& returned) const {
        const auto query = getStruct<STORAGE_PROPERTY_QUERY>(in, 0);
        if (query.PropertyId != StorageDeviceTemperatureProperty || !storageTemperature) {
            backend.failWith(ERROR_NOT_SUPPORTED);
            return false;
        }
        const Bytes& data = *storageTemperature;
        if (out.size() == 8) {
            std::copy_n(data.begin(), 8, out.begin());
            returned = 8;
            return true;
        }
        if (out.size() < storageTemperatureMinimum) {
            backend.failWith(ERROR_INSUFFICIENT_BUFFER);
            return false;
        }
        const std::size_t count = std::min(out.size(), data.size());
        std::copy_n(data.begin(), count, out.begin());
        returned = static_cast<DWORD>(count);
        return true;
    }

    // Installs this disk's answers in `backend`; the disk must outlive the requests.
    void attach(FakeDeviceBackend& backend) const {
        backend.respond([this, &backend](DWORD code, std::span<const std::uint8_t> in,
                                         std::span<std::uint8_t> out, DWORD& returned) {
            backend.failWith(ERROR_INVALID_FUNCTION);
            switch (code) {
            case win32::kIoctlAtaPassThrough:
                return answerAta(in, out, returned);
            case win32::kSmartRcvDriveData:
                return answerSmart(in, out, returned);
            case win32::kIoctlScsiPassThrough:
                return answerScsi(in, out, returned);
            case IOCTL_STORAGE_QUERY_PROPERTY:
                return answerProperty(backend, in, out, returned);
            default:
                return false;
            }
        });
    }
};

// A disk answering as the backend, and a handle to it, while the rig lives.
struct AttachedDisk {
    explicit AttachedDisk(FakeDisk answers, HANDLE device)
        : disk(std::move(answers)), handle(device) {
        disk.attach(backend);
    }
    FakeDisk disk;
    FakeDeviceBackend backend;
    platform::ScopedBackend scope{backend};
    qel::FileHandle handle;
};

} // namespace qelrlibata::testing
