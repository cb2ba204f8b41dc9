#include "platform/simulated/SimulatedMachine.h"

#include "platform/BufferAnswer.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace platform::simulated {
namespace {
// Like Windows' own: one last error per thread, whatever backend set it.
thread_local DWORD lastError = ERROR_SUCCESS;

std::size_t countOf(const std::map<std::u16string, std::size_t, std::less<>>& counts,
                    std::u16string_view path) {
    const auto it = counts.find(path);
    return it == counts.end() ? 0 : it->second;
}
} // namespace

SimulatedMachine::SimulatedMachine(Machine machine) : machine_(std::move(machine)) {}

SimulatedMachine SimulatedMachine::fromFile(const std::filesystem::path& path) {
    return SimulatedMachine(Machine::fromFile(path));
}

SimulatedMachine SimulatedMachine::fromJson(std::string_view text) {
    return SimulatedMachine(Machine::fromJsonText(text));
}

void SimulatedMachine::applyStep(std::size_t i) {
    if (i >= machine_.stepCount()) {
        throw std::out_of_range("simulated machine: no step " + std::to_string(i));
    }
    clock_ = machine_.stepTime(i);
    step_ = i;
}

std::size_t SimulatedMachine::opens(std::u16string_view path) const {
    return countOf(opensByPath_, path);
}

std::size_t SimulatedMachine::closes(std::u16string_view path) const {
    return countOf(closesByPath_, path);
}

void SimulatedMachine::setLastError(DWORD error) {
    lastError = error;
}

BOOL SimulatedMachine::answer(DWORD error) {
    if (error != 0) {
        setLastError(error);
        return FALSE;
    }
    return TRUE;
}

DWORD SimulatedMachine::getLastError() {
    return lastError;
}

HANDLE SimulatedMachine::newHandleValue() {
    // Never reused, so a stale handle stays stale; never 0 or INVALID_HANDLE_VALUE.
    nextHandle_ += 4;
    return reinterpret_cast<HANDLE>(nextHandle_);
}

BOOL SimulatedMachine::globalMemoryStatusEx(MEMORYSTATUSEX* status) {
    if (status == nullptr || status->dwLength != sizeof(MEMORYSTATUSEX)) {
        setLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& memory = state().memory;
    if (!memory) {
        setLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    std::memset(status, 0, sizeof(*status));
    status->dwLength = sizeof(MEMORYSTATUSEX);
    status->dwMemoryLoad = memory->load;
    status->ullTotalPhys = memory->totalPhys;
    status->ullAvailPhys = memory->availPhys;
    return TRUE;
}

UINT SimulatedMachine::getSystemDirectory(char16_t* buffer, UINT size) {
    const auto& directory = state().windows.systemDirectory;
    if (!directory) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const auto length = static_cast<UINT>(directory->size());
    if (buffer == nullptr || size <= length) {
        return length + 1; // the size needed, terminating zero included
    }
    std::memcpy(buffer, directory->data(), length * sizeof(char16_t));
    buffer[length] = u'\0';
    return length;
}

DWORD SimulatedMachine::getModuleFileName(char16_t* buffer, DWORD size) {
    const auto& name = state().windows.moduleFileName;
    if (!name) {
        setLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    DWORD error = 0;
    const DWORD length = answerTruncated(*name, buffer, size, error);
    if (error != 0) {
        setLastError(error);
    }
    return length;
}

} // namespace platform::simulated
