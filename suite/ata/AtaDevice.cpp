#include "suite/ata/AtaDevice.h"

#include "suite/ata/AtaProtocol.h"
#include "suite/ata/DeviceText.h"
#include "suite/ata/PassThroughTransport.h"

#include <array>

namespace qelrlibata {

namespace {

std::optional<IdentifyData> identify(const PassThroughTransport& transport,
                                     const ATA_PASSTHROUGH_TYPES& types) {
    std::array<std::uint8_t, kAtaSectorSize> block{};
    const AtaTaskFile task = identifyDeviceTaskFile();
    if (types.ataPassThrough) {
        if (const auto got = transport.ataPassThrough(task, block)) {
            if (auto data = decodeIdentify(std::span(block).first(*got))) {
                return data;
            }
        }
    }
    if (types.scsiAtaPassThrough) {
        if (const auto got = transport.scsiAtaPassThrough(task, block)) {
            return decodeIdentify(std::span(block).first(*got));
        }
    }
    return std::nullopt;
}

} // namespace

AtaDevice::AtaDevice(const qel::FileHandle& handle, const ATA_PASSTHROUGH_TYPES* types) {
    if (!handle.isValid()) {
        return;
    }
    const ATA_PASSTHROUGH_TYPES all;
    const auto data = identify(PassThroughTransport(handle.get()), types != nullptr ? *types : all);
    if (!data) {
        return;
    }
    initialized_ = true;
    model_ = deviceText(data->model);
    serial_ = deviceText(data->serial);
    firmware_ = deviceText(data->firmware);
}

AtaDevice::~AtaDevice() = default;

} // namespace qelrlibata
