#pragma once
// Entries of ntdll, bound by name on first use instead of imported: the shipped DLL imports only
// kernel32, shell32, setupapi and cfgmgr32, and ntdll is mapped into every process anyway. Same
// arguments and results as the ntdll functions of the same names; an entry that this ntdll
// lacks answers kStatusNotImplemented.

#include "platform/Win32.h"

namespace platform {

inline constexpr LONG kStatusNotImplemented = static_cast<LONG>(0xC0000002);

// NtQuerySystemInformation(informationClass, buffer, length, returned).
LONG ntQuerySystemInformation(int informationClass, void* buffer, ULONG length, ULONG* returned);

// NtQuerySystemInformationEx: the query for one processor group or other input.
LONG ntQuerySystemInformationEx(int informationClass, void* input, ULONG inputLength, void* buffer,
                                ULONG length, ULONG* returned);

// NtPowerInformation, what powrprof's CallNtPowerInformation forwards to.
LONG ntPowerInformation(int level, void* input, ULONG inputLength, void* output,
                        ULONG outputLength);

} // namespace platform
