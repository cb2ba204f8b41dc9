#pragma once
// The processor's own identification through the CPUID instruction: the raw leaves, how they are
// decoded, and the live query on the processor the calling thread runs on.

#include "suite/cpu/x86_cpu.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace libSysTopo::cpu {

struct CpuidRegisters {
    std::uint32_t eax = 0;
    std::uint32_t ebx = 0;
    std::uint32_t ecx = 0;
    std::uint32_t edx = 0;
};

// Leaf 1 EAX and its fields, each as the processor reports it (never combined into a display
// family or model).
using CpuidSignature = x86_cpu_signature;

// Leaf 0x16, in megahertz; 0 where the processor leaves a field empty.
struct CpuidFrequencies {
    unsigned baseMHz = 0;
    unsigned maxMHz = 0;
    unsigned busMHz = 0;
};

struct CpuidIdentity {
    std::string vendor;                          // leaf 0, e.g. "GenuineIntel"; empty if absent
    std::string brand;                           // leaves 0x80000002-4, trimmed; empty if absent
    std::optional<CpuidSignature> signature;     // leaf 1
    std::optional<CpuidFrequencies> frequencies; // leaf 0x16, when it reports a non-zero field
};

CpuidSignature decodeSignature(std::uint32_t leaf1Eax);

// The 48 characters of the three brand leaves in register order (EAX, EBX, ECX, EDX, each
// little-endian), cut at the first zero and without leading or trailing blanks: older processors
// right-align the text behind blanks.
std::string decodeBrandString(const std::array<CpuidRegisters, 3>& leaves);

// The 12 characters of leaf 0 in the order EBX, EDX, ECX.
std::string decodeVendor(const CpuidRegisters& leaf0);

// nullopt when all three fields are zero (the processor lists the leaf but does not fill it).
std::optional<CpuidFrequencies> decodeFrequencies(const CpuidRegisters& leaf16);

// Answers one leaf (and subleaf) or nullopt when it cannot be queried.
using CpuidQuery = std::function<std::optional<CpuidRegisters>(std::uint32_t, std::uint32_t)>;

// Decodes what the query answers, asking only for leaves at or below the maximum that leaf 0
// (basic) and leaf 0x80000000 (extended) report. Fields whose leaves are missing stay empty.
CpuidIdentity readCpuidIdentity(const CpuidQuery& query);

// Executes CPUID on the current processor; nullopt on a processor without the instruction (not
// x86) or for a leaf above the maximum of its range, where processors repeat another leaf.
std::optional<CpuidRegisters> queryCpuid(std::uint32_t leaf, std::uint32_t subleaf = 0);

} // namespace libSysTopo::cpu
