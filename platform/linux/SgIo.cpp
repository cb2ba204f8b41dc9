#include "platform/linux/SgIo.h"

#include <algorithm>
#include <cerrno>
#include <scsi/sg.h>
#include <sys/ioctl.h>

namespace platform {

SgResult sendScsiCommand(int fd, std::span<const std::uint8_t> cdb, DataDirection direction,
                         std::span<std::uint8_t> data, unsigned timeoutSeconds) {
    SgResult result;
    result.sense.assign(64, 0);
    std::array<std::uint8_t, 16> command{};
    std::copy_n(cdb.begin(), std::min<std::size_t>(cdb.size(), command.size()), command.begin());

    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.cmd_len = static_cast<unsigned char>(std::min<std::size_t>(cdb.size(), command.size()));
    header.cmdp = command.data();
    header.mx_sb_len = static_cast<unsigned char>(result.sense.size());
    header.sbp = result.sense.data();
    // No timeout given: allow a sleeping disk time to spin up.
    header.timeout = (timeoutSeconds == 0 ? 30u : std::min(timeoutSeconds, 3600u)) * 1000u;
    switch (direction) {
    case DataDirection::None:
        header.dxfer_direction = SG_DXFER_NONE;
        break;
    case DataDirection::In:
        header.dxfer_direction = SG_DXFER_FROM_DEV;
        break;
    case DataDirection::Out:
        header.dxfer_direction = SG_DXFER_TO_DEV;
        break;
    }
    if (direction != DataDirection::None && !data.empty()) {
        header.dxfer_len = static_cast<unsigned>(data.size());
        header.dxferp = data.data();
    }
    if (ioctl(fd, SG_IO, &header) != 0) {
        result.error = errno;
        result.sense.clear();
        return result;
    }
    // DRIVER_SENSE only says that sense data came back.
    result.transportFailed = header.host_status != 0 || (header.driver_status & ~0x08) != 0;
    result.status = header.status;
    result.transferred = header.dxfer_len - static_cast<unsigned>(std::max(header.resid, 0));
    result.sense.resize(header.sb_len_wr);
    return result;
}

std::array<std::uint8_t, 16> ataPassThroughCdb(const AtaTaskFile& registers,
                                               DataDirection direction, std::size_t dataBytes) {
    std::array<std::uint8_t, 16> cdb{};
    cdb[0] = 0x85;
    std::uint8_t count = registers.count;
    switch (direction) {
    case DataDirection::None:
        cdb[1] = 3 << 1; // non-data
        cdb[2] = 0x20;   // CK_COND
        break;
    case DataDirection::In:
    case DataDirection::Out:
        cdb[1] = (direction == DataDirection::In ? 4 : 5) << 1; // PIO data-in / data-out
        // CK_COND, T_DIR (in), BYTE_BLOCK, T_LENGTH in the count field
        cdb[2] = static_cast<std::uint8_t>(0x20 | (direction == DataDirection::In ? 0x08 : 0) |
                                           0x04 | 0x02);
        if (count == 0) {
            count = static_cast<std::uint8_t>(std::min<std::size_t>(dataBytes / 512, 255));
        }
        break;
    }
    cdb[4] = registers.features;
    cdb[6] = count;
    cdb[8] = registers.lbaLow;
    cdb[10] = registers.lbaMid;
    cdb[12] = registers.lbaHigh;
    cdb[13] = registers.device;
    cdb[14] = registers.command;
    return cdb;
}

bool decodeAtaReturn(std::span<const std::uint8_t> sense, AtaTaskFile& registers) {
    if (sense.size() < 8) {
        return false;
    }
    const std::uint8_t format = sense[0] & 0x7F;
    if (format == 0x72 || format == 0x73) {
        const std::size_t end = std::min<std::size_t>(sense.size(), 8u + sense[7]);
        for (std::size_t at = 8; at + 2 <= end;) {
            const std::size_t length = 2u + sense[at + 1];
            if (sense[at] == 0x09 && length >= 14 && at + 14 <= end) {
                registers.features = sense[at + 3];
                registers.count = sense[at + 5];
                registers.lbaLow = sense[at + 7];
                registers.lbaMid = sense[at + 9];
                registers.lbaHigh = sense[at + 11];
                registers.device = sense[at + 12];
                registers.command = sense[at + 13];
                return true;
            }
            at += length;
        }
        return false;
    }
    if ((format == 0x70 || format == 0x71) && sense.size() >= 14 && sense[12] == 0x00 &&
        sense[13] == 0x1D) {
        registers.features = sense[3];
        registers.command = sense[4];
        registers.device = sense[5];
        registers.count = sense[6];
        registers.lbaLow = sense[9];
        registers.lbaMid = sense[10];
        registers.lbaHigh = sense[11];
        return true;
    }
    return false;
}

} // namespace platform
