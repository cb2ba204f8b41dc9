#pragma once
// Text that a device reports (ATA strings, SCSI identification fields) as qel::String.

#include "foundation/String.h"

#include <string>
#include <string_view>

namespace qelrlibata {

// Each byte becomes one code unit (ISO 8859-1), so no byte sequence is rejected or merged as
// malformed UTF-8 would be; a NUL, which devices use as padding, becomes a blank.
inline qel::String deviceText(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto unit = static_cast<unsigned char>(c);
        text.push_back(unit == 0 ? u' ' : static_cast<char16_t>(unit));
    }
    return qel::String(std::move(text));
}

} // namespace qelrlibata
