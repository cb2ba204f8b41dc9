#pragma once
// Test input: pass-through requests laid out as callers lay them out (SCSI: header, 32 bytes of
// sense, data; ATA: header, data), each followed by 16 guard bytes an answer must not touch.

#include "platform/Backend.h"
#include "platform/PassThrough.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace platform::test {

using Block = std::vector<std::uint8_t>;
inline constexpr std::uint8_t kGuard = 0xEE;
inline constexpr std::size_t kScsiData = sizeof(win32::ScsiPassThrough) + 32;
inline constexpr std::size_t kAtaData = sizeof(win32::AtaPassThroughEx);

template <typename T> T headerOf(const Block& block) {
    T value;
    std::memcpy(&value, block.data(), sizeof(T));
    return value;
}

template <typename T> Block blockOf(const T& header, std::size_t size) {
    Block block(size + 16, kGuard);
    std::memcpy(block.data(), &header, sizeof(T));
    return block;
}

inline Block scsiBlock(std::initializer_list<std::uint8_t> cdb, std::uint32_t dataLength) {
    win32::ScsiPassThrough request{};
    request.Length = sizeof(request);
    request.CdbLength = static_cast<std::uint8_t>(cdb.size());
    request.SenseInfoLength = 32;
    request.SenseInfoOffset = sizeof(request);
    request.DataIn = win32::kScsiIoctlDataIn;
    request.DataTransferLength = dataLength;
    request.TimeOutValue = 5;
    request.DataBufferOffset = kScsiData;
    std::copy(cdb.begin(), cdb.end(), request.Cdb);
    return blockOf(request, kScsiData + dataLength);
}

// `task`: the eight task-file bytes, features first, command seventh.
using TaskFile = std::array<std::uint8_t, 8>;
inline constexpr TaskFile kIdentifyDevice = {0, 1, 0, 0, 0, 0xA0, 0xEC, 0};
inline constexpr TaskFile kSmartRead = {0xD0, 1, 0, 0x4F, 0xC2, 0xA0, 0xB0, 0};

inline Block ataBlock(const TaskFile& task, std::uint32_t dataLength) {
    win32::AtaPassThroughEx request{};
    request.Length = sizeof(request);
    request.AtaFlags = win32::kAtaFlagsDrdyRequired | win32::kAtaFlagsDataIn;
    request.DataTransferLength = dataLength;
    request.TimeOutValue = 5;
    request.DataBufferOffset = kAtaData;
    std::copy(task.begin(), task.end(), request.CurrentTaskFile);
    return blockOf(request, kAtaData + dataLength);
}

// Sends the block, guards left out, as both the input and the output.
inline BOOL send(Backend& backend, HANDLE handle, DWORD code, Block& block, DWORD* returned) {
    const auto size = static_cast<DWORD>(block.size() - 16);
    return backend.deviceIoControl(handle, code, block.data(), size, block.data(), size, returned);
}

} // namespace platform::test
