#include "platform/windows/NtEntries.h"

namespace platform {
namespace {

using QuerySystemInformation = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
using QuerySystemInformationEx = LONG(WINAPI*)(int, void*, ULONG, void*, ULONG, ULONG*);
using PowerInformation = LONG(WINAPI*)(int, void*, ULONG, void*, ULONG);

// Null when ntdll has no such entry. ntdll stays mapped for the life of the process, so a found
// address stays valid.
template <typename Function> Function ntdllEntry(const char* name) {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) {
        return nullptr;
    }
    // Through the generic function type, which converts to any other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, name)));
}

} // namespace

LONG ntQuerySystemInformation(int informationClass, void* buffer, ULONG length, ULONG* returned) {
    static const auto entry = ntdllEntry<QuerySystemInformation>("NtQuerySystemInformation");
    return entry == nullptr ? kStatusNotImplemented
                            : entry(informationClass, buffer, length, returned);
}

LONG ntQuerySystemInformationEx(int informationClass, void* input, ULONG inputLength, void* buffer,
                                ULONG length, ULONG* returned) {
    static const auto entry = ntdllEntry<QuerySystemInformationEx>("NtQuerySystemInformationEx");
    return entry == nullptr ? kStatusNotImplemented
                            : entry(informationClass, input, inputLength, buffer, length, returned);
}

LONG ntPowerInformation(int level, void* input, ULONG inputLength, void* output,
                        ULONG outputLength) {
    static const auto entry = ntdllEntry<PowerInformation>("NtPowerInformation");
    return entry == nullptr ? kStatusNotImplemented
                            : entry(level, input, inputLength, output, outputLength);
}

} // namespace platform
