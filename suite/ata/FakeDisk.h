#pragma once
// For tests: a disk behind FakeDeviceBackend that answers the pass-through requests the way a
// driver and a device would, from recorded bytes. A route that is switched off fails as a driver
// without it does; a command without an answer fails as a device that does not support it.

#include "platform/PassThrough.h"
#include "suite/ata/FakeDeviceBackend.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace qelrlibata::testing {

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

} // namespace qelrlibata::testing
