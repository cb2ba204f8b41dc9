#include "platform/recording/Privacy.h"

#include "platform/HexText.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform::recording {
namespace {

using nlohmann::json;

// Serials shorter than this are replaced only in their own fields: elsewhere they would match
// by chance.
constexpr std::size_t kMinEmbeddedSerial = 4;

constexpr std::size_t kSerialOffset = 20; // IDENTIFY words 10-19
constexpr std::size_t kSerialBytes = 20;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// IDENTIFY strings hold two characters per word, the first in the high byte.
std::string identifySerial(const std::string& block) {
    std::string text;
    for (std::size_t i = kSerialOffset; i < kSerialOffset + kSerialBytes; i += 2) {
        text.push_back(static_cast<char>(block[i + 1]));
        text.push_back(static_cast<char>(block[i]));
    }
    return text;
}

// STORAGE_DEVICE_DESCRIPTOR: SerialNumberOffset at byte 24, the text zero-terminated.
std::string descriptorSerial(const std::string& bytes) {
    if (bytes.size() < 28) {
        return {};
    }
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        offset |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[24 + i])) << (8 * i);
    }
    if (offset == 0 || offset >= bytes.size()) {
        return {};
    }
    return bytes.substr(offset, bytes.find('\0', offset) - offset);
}

// The bytes of data or a page kept whole as hexadecimal digits; nullopt for any other text.
std::optional<std::string> recordedBytes(const std::string& text, const std::string& key,
                                         const std::string& parent) {
    if (key != "hex" && parent != "vpd" && parent != "logPages") {
        return std::nullopt;
    }
    return hexBytes<std::string>(text);
}

bool isIdentifyBlock(const std::string& bytes, const std::string& parent) {
    return parent == "identify" && bytes.size() == 512;
}

// Of the same length, each character of the same kind; it depends on the order met (`index`),
// never on the text it hides.
std::string placeholder(std::string text, std::size_t index) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t seed = index * 7 + i * 3;
        char& c = text[i];
        if (c >= '0' && c <= '9') {
            c = static_cast<char>('0' + seed % 10);
        } else if (c >= 'a' && c <= 'z') {
            c = static_cast<char>('a' + seed % 26);
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>('A' + seed % 26);
        }
    }
    return text;
}

class Hider {
public:
    // Every serial and label of the document, in the order met.
    void collect(const json& value, const std::string& key, const std::string& parent) {
        if (value.is_object()) {
            for (const auto& [name, member] : value.items()) {
                collect(member, name, key);
            }
        } else if (value.is_array()) {
            for (const json& element : value) {
                collect(element, key, parent);
            }
        } else if (value.is_string()) {
            const auto& text = value.get_ref<const std::string&>();
            if (key == "label" && parent == "volume") {
                addToken(labels_, text);
            } else if (key == "serialNumber" || (key == "serial" && parent != "volume")) {
                addToken(serials_, trimmed(text));
            } else if (const auto bytes = recordedBytes(text, key, parent)) {
                if (isIdentifyBlock(*bytes, parent)) {
                    addToken(serials_, trimmed(identifySerial(*bytes)));
                } else if (parent == "descriptor") {
                    addToken(serials_, trimmed(descriptorSerial(*bytes)));
                }
            }
        } else if (value.is_number_integer() && key == "serial" && parent == "volume") {
            volumeSerials_.emplace(value.get<std::uint64_t>(), 0);
        }
    }

    void prepare() {
        std::uint32_t next = 0x1D000001;
        for (auto& [original, placeholder] : volumeSerials_) {
            placeholder = original == 0 ? 0 : next; // 0: no serial, nothing to hide
            next += 0x01010101;
        }
        order_.clear();
        for (const auto& [original, placeholder] : serials_) {
            order_.push_back(original);
        }
        // Longer first, so that a serial inside another is not replaced inside it first.
        std::stable_sort(
            order_.begin(), order_.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    }

    json rewrite(const json& value, const std::string& key, const std::string& parent) const {
        if (value.is_object()) {
            json out = json::object();
            for (const auto& [name, member] : value.items()) {
                out[replaceSerials(name)] = rewrite(member, name, key);
            }
            return out;
        }
        if (value.is_array()) {
            json out = json::array();
            for (const json& element : value) {
                out.push_back(rewrite(element, key, parent));
            }
            return out;
        }
        if (value.is_string()) {
            const auto& text = value.get_ref<const std::string&>();
            if (key == "label" && parent == "volume") {
                const auto label = labels_.find(text);
                return label != labels_.end() ? label->second : text;
            }
            if (key == "moduleFileName" && parent == "windows") {
                return hidePath(text);
            }
            if (const auto bytes = recordedBytes(text, key, parent)) {
                return hexText(isIdentifyBlock(*bytes, parent) ? rewriteIdentify(*bytes)
                                                               : replaceSerials(*bytes));
            }
            return replaceSerials(text);
        }
        if (value.is_number_integer() && key == "serial" && parent == "volume") {
            return volumeSerials_.at(value.get<std::uint64_t>());
        }
        return value;
    }

private:
    void addToken(std::map<std::string, std::string>& tokens, const std::string& text) {
        if (text.empty() || tokens.count(text) != 0) {
            return;
        }
        tokens.emplace(text, placeholder(text, serials_.size() + labels_.size() + 1));
    }

    // The folders of the program's path name people ("C:\Users\name\..."): only its drive
    // letter matters to the system, and its file name is hwsnap's.
    static std::string hidePath(std::string path) {
        const std::size_t first = path.find('\\');
        const std::size_t last = path.rfind('\\');
        if (first == std::string::npos || last == first) {
            return path;
        }
        const std::string folders = path.substr(first + 1, last - first - 1);
        return path.replace(first + 1, folders.size(), placeholder(folders, 1000));
    }

    // Every occurrence of a serial, in any case, by its placeholder in the occurrence's case.
    std::string replaceSerials(std::string text) const {
        for (const std::string& original : order_) {
            const std::string& placeholder = serials_.at(original);
            const bool exact = text == original;
            if (!exact && original.size() < kMinEmbeddedSerial) {
                continue;
            }
            for (std::size_t at = 0; at + original.size() <= text.size();) {
                const bool match = std::equal(original.begin(), original.end(), text.begin() + at,
                                              [](char a, char b) { return lower(a) == lower(b); });
                if (!match) {
                    ++at;
                    continue;
                }
                for (std::size_t i = 0; i < original.size(); ++i) {
                    const char was = text[at + i];
                    const char now = placeholder[i];
                    text[at + i] = isLetter(now) && lower(was) != was
                                       ? static_cast<char>(lower(now) - 'a' + 'A')
                                       : (isLetter(now) ? lower(now) : now);
                }
                at += original.size();
            }
        }
        return text;
    }

    std::string rewriteIdentify(std::string block) const {
        const std::string serial = replaceSerials(identifySerial(block));
        for (std::size_t i = 0; i < kSerialBytes; i += 2) {
            block[kSerialOffset + i + 1] = serial[i];
            block[kSerialOffset + i] = serial[i + 1];
        }
        if (static_cast<std::uint8_t>(block[510]) == 0xA5) { // a checksum: keep it valid
            std::uint8_t sum = 0;
            for (std::size_t i = 0; i < 511; ++i) {
                sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(block[i]));
            }
            block[511] = static_cast<char>(-sum);
        }
        return block;
    }

    std::map<std::string, std::string> serials_;
    std::map<std::string, std::string> labels_;
    std::map<std::uint64_t, std::uint64_t> volumeSerials_;
    std::vector<std::string> order_;
};

} // namespace

void hideIdentity(json& document) {
    Hider hider;
    hider.collect(document, "", "");
    hider.prepare();
    document = hider.rewrite(document, "", "");
}

} // namespace platform::recording
