#include "suite/cpu/Cpuid.h"

#include "platform/TextFile.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define SM_HAVE_CPUID 1
#endif

namespace libSysTopo::cpu {
namespace {

constexpr std::uint32_t kExtendedBase = 0x80000000u;

void appendRegister(std::string& text, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        text.push_back(static_cast<char>((value >> shift) & 0xFFu));
    }
}

std::uint8_t bits(std::uint32_t value, unsigned low, unsigned width) {
    return static_cast<std::uint8_t>((value >> low) & ((1u << width) - 1u));
}

} // namespace

CpuidSignature decodeSignature(std::uint32_t leaf1Eax) {
    CpuidSignature signature;
    signature.signature = leaf1Eax;
    signature.stepping = bits(leaf1Eax, 0, 4);
    signature.model = bits(leaf1Eax, 4, 4);
    signature.family = bits(leaf1Eax, 8, 4);
    signature.extModel = bits(leaf1Eax, 16, 4);
    signature.extFamily = bits(leaf1Eax, 20, 8);
    return signature;
}

std::string decodeBrandString(const std::array<CpuidRegisters, 3>& leaves) {
    std::string text;
    for (const CpuidRegisters& leaf : leaves) {
        appendRegister(text, leaf.eax);
        appendRegister(text, leaf.ebx);
        appendRegister(text, leaf.ecx);
        appendRegister(text, leaf.edx);
    }
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    return std::string(platform::trimText(text));
}

std::string decodeVendor(const CpuidRegisters& leaf0) {
    std::string text;
    appendRegister(text, leaf0.ebx);
    appendRegister(text, leaf0.edx);
    appendRegister(text, leaf0.ecx);
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    return text;
}

std::optional<CpuidFrequencies> decodeFrequencies(const CpuidRegisters& leaf16) {
    CpuidFrequencies frequencies;
    frequencies.baseMHz = leaf16.eax & 0xFFFFu;
    frequencies.maxMHz = leaf16.ebx & 0xFFFFu;
    frequencies.busMHz = leaf16.ecx & 0xFFFFu;
    if (frequencies.baseMHz == 0 && frequencies.maxMHz == 0 && frequencies.busMHz == 0) {
        return std::nullopt;
    }
    return frequencies;
}

CpuidIdentity readCpuidIdentity(const CpuidQuery& query) {
    CpuidIdentity identity;
    const auto leaf0 = query(0, 0);
    if (leaf0) {
        identity.vendor = decodeVendor(*leaf0);
        const std::uint32_t maxBasic = leaf0->eax;
        if (maxBasic >= 1) {
            if (const auto leaf1 = query(1, 0)) {
                identity.signature = decodeSignature(leaf1->eax);
            }
        }
        if (maxBasic >= 0x16) {
            if (const auto leaf16 = query(0x16, 0)) {
                identity.frequencies = decodeFrequencies(*leaf16);
            }
        }
    }
    const auto extended = query(kExtendedBase, 0);
    if (extended && extended->eax >= kExtendedBase + 4 && extended->eax < kExtendedBase + 0x10000) {
        std::array<CpuidRegisters, 3> leaves;
        for (std::uint32_t i = 0; i < 3; ++i) {
            const auto leaf = query(kExtendedBase + 2 + i, 0);
            if (!leaf) {
                return identity;
            }
            leaves[i] = *leaf;
        }
        identity.brand = decodeBrandString(leaves);
    }
    return identity;
}

std::optional<CpuidRegisters> queryCpuid(std::uint32_t leaf, std::uint32_t subleaf) {
#ifdef SM_HAVE_CPUID
    CpuidRegisters registers;
    if (__get_cpuid_count(leaf, subleaf, &registers.eax, &registers.ebx, &registers.ecx,
                          &registers.edx) == 0) {
        return std::nullopt;
    }
    return registers;
#else
    (void)leaf;
    (void)subleaf;
    return std::nullopt;
#endif
}

} // namespace libSysTopo::cpu
