#pragma once
// Test input: a file-system image kept as the byte ranges that matter (testdata/superblocks/*.hex:
// "size N", then "@offset" lines each followed by hex lines); every other byte is zero.

#include "platform/HexText.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <istream>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform::test {

struct RecordedImage {
    std::uint64_t size = 0;
    std::map<std::uint64_t, std::vector<std::uint8_t>> chunks;

    // Zeros where nothing was recorded; false for a range past the end of the image.
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const {
        if (offset > size || out.size() > size - offset) {
            return false;
        }
        std::fill(out.begin(), out.end(), std::uint8_t{0});
        for (const auto& [start, bytes] : chunks) {
            const std::uint64_t end = start + bytes.size();
            const std::uint64_t from = std::max(start, offset);
            const std::uint64_t to = std::min(end, offset + out.size());
            if (from < to) {
                std::copy(bytes.begin() + static_cast<std::ptrdiff_t>(from - start),
                          bytes.begin() + static_cast<std::ptrdiff_t>(to - start),
                          out.begin() + static_cast<std::ptrdiff_t>(from - offset));
            }
        }
        return true;
    }

    void patch(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
        for (auto& [start, chunk] : chunks) {
            if (offset >= start && offset + bytes.size() <= start + chunk.size()) {
                std::copy(bytes.begin(), bytes.end(),
                          chunk.begin() + static_cast<std::ptrdiff_t>(offset - start));
                return;
            }
        }
        chunks[offset] = std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }

    // A sparse file with the recorded bytes, to stand in for a /dev node.
    void writeSparse(const std::filesystem::path& path) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (const auto& [start, bytes] : chunks) {
            out.seekp(static_cast<std::streamoff>(start));
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        }
        out.close();
        std::filesystem::resize_file(path, size);
    }
};

// Throws std::invalid_argument or std::out_of_range for a malformed number.
inline RecordedImage parseRecordedImage(std::istream& in) {
    RecordedImage image;
    std::vector<std::uint8_t>* current = nullptr;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line.starts_with("size ")) {
            image.size = std::stoull(line.substr(5));
        } else if (line[0] == '@') {
            current = &image.chunks[std::stoull(line.substr(1), nullptr, 16)];
        } else if (current != nullptr) {
            const auto bytes = hexBytes(line);
            if (!bytes) {
                throw std::invalid_argument("not whole hex bytes: " + line);
            }
            current->insert(current->end(), bytes->begin(), bytes->end());
        }
    }
    return image;
}

inline RecordedImage loadRecordedImage(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return parseRecordedImage(in);
}

} // namespace platform::test
