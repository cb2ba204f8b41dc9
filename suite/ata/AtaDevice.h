#pragma once
// An ATA disk's identity, read once with IDENTIFY DEVICE when the object is made.

#include "foundation/FileHandleResManager.h"
#include "foundation/String.h"

namespace qelrlibata {

// Which pass-through routes to IDENTIFY DEVICE may be tried.
struct ATA_PASSTHROUGH_TYPES {
    bool ataPassThrough = true;     // IOCTL_ATA_PASS_THROUGH
    bool scsiAtaPassThrough = true; // ATA PASS-THROUGH(16) through IOCTL_SCSI_PASS_THROUGH
};

class AtaDevice {
public:
    // Sends IDENTIFY DEVICE through the routes `types` allows (all when null), in the order of
    // ATA_PASSTHROUGH_TYPES, until one brings a valid answer. The handle is used only here and
    // is not kept.
    AtaDevice(const qel::FileHandle& handle, const ATA_PASSTHROUGH_TYPES* types);
    ~AtaDevice();

    // Whether a valid IDENTIFY DEVICE answer came back; the texts are empty otherwise.
    bool initialized() const { return initialized_; }
    // Words 27-46, 10-19 and 23-26 of the answer, trailing blanks removed.
    const qel::String& getModelNumber() const { return model_; }
    const qel::String& getSerialNumber() const { return serial_; }
    const qel::String& getFirmwareRevision() const { return firmware_; }

private:
    bool initialized_ = false;
    qel::String model_;
    qel::String serial_;
    qel::String firmware_;
};

} // namespace qelrlibata
