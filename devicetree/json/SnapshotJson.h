#pragma once
// The snapshot as one line of JSON (the `hwsnap --json` form). Numbers and strings are written
// exactly as the JSON library the tools used before wrote them, so that the output of existing
// hosts stays byte for byte the same: a real always shows a fraction or an exponent ("8192.0",
// "1e+16"), in the shortest form that reads back as the same double.

#include "devicetree/Device.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace systemmonitor::json {

// A JSON string: quotes, escapes for '"', '\\' and control characters, UTF-8 passed through and
// a malformed byte sequence replaced by U+FFFD.
void appendString(std::string& out, std::string_view utf8);
// The same for UTF-16 text, an unpaired surrogate as U+FFFD: what the UTF-8 form of the text
// gives, without making it.
void appendString(std::string& out, std::u16string_view utf16);
// UTF-16 text as UTF-8, unescaped (an unpaired surrogate as U+FFFD).
void appendUtf8(std::string& out, std::u16string_view utf16);
// A JSON number for a double; null when it is not finite.
void appendReal(std::string& out, double value);

// A property's typed value: the integer of an INTEGER, the real of a DOUBLE.
std::int64_t integerValue(const Property& property);
double realValue(const Property& property);

// The node and everything below it, without a trailing newline; appended to `out`, whose storage
// a caller writing many snapshots keeps.
void appendSnapshotJson(std::string& out, const Device& root);
std::string snapshotJson(const Device& root);

} // namespace systemmonitor::json
