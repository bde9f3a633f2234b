#include "sim/uikit/png.hpp"

#include <algorithm>
#include <array>
#include <fstream>
#include <vector>

namespace sim::ui {
namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

uint32_t readBigEndian(const unsigned char* bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | uint32_t(bytes[3]);
}

void appendBigEndian(std::vector<unsigned char>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

uint32_t crc32(const unsigned char* data, size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> made{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320u ^ (c >> 1) : c >> 1;
            made[n] = c;
        }
        return made;
    }();
    uint32_t c = 0xffffffffu;
    for (size_t i = 0; i < size; ++i) c = table[(c ^ data[i]) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

void appendChunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data) {
    appendBigEndian(out, uint32_t(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    appendBigEndian(out, crc32(out.data() + start, out.size() - start));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<unsigned char> zlibStored(const std::vector<unsigned char>& raw) {
    std::vector<unsigned char> out = {0x78, 0x01};
    size_t offset = 0;
    do {
        size_t length = std::min<size_t>(raw.size() - offset, 0xffff);
        bool last = offset + length == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(length & 0xff);
        out.push_back(length >> 8);
        out.push_back(~length & 0xff);
        out.push_back((~length >> 8) & 0xff);
        out.insert(out.end(), raw.begin() + long(offset), raw.begin() + long(offset + length));
        offset += length;
    } while (offset < raw.size());
    uint32_t a = 1, b = 0;
    for (unsigned char byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    appendBigEndian(out, b << 16 | a);
    return out;
}

} // namespace

std::optional<PixelSize> readPngSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    unsigned char head[24];
    if (!file.read(reinterpret_cast<char*>(head), sizeof head)) return std::nullopt;
    if (!std::equal(head, head + 8, kSignature) || std::string(reinterpret_cast<char*>(head + 12), 4) != "IHDR")
        return std::nullopt;
    return PixelSize{readBigEndian(head + 16), readBigEndian(head + 20)};
}

void writePng(const std::string& path, PixelSize size) {
    std::vector<unsigned char> out(kSignature, kSignature + 8);
    std::vector<unsigned char> header;
    appendBigEndian(header, size.width);
    appendBigEndian(header, size.height);
    header.insert(header.end(), {8, 0, 0, 0, 0}); // 8-bit grey, no interlace
    appendChunk(out, "IHDR", header);
    // Each row: filter type 0, then mid grey pixels.
    std::vector<unsigned char> raw;
    raw.reserve(size_t(size.height) * (size.width + 1));
    for (uint32_t row = 0; row < size.height; ++row) {
        raw.push_back(0);
        raw.insert(raw.end(), size.width, 0x80);
    }
    appendChunk(out, "IDAT", zlibStored(raw));
    appendChunk(out, "IEND", {});
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), long(out.size()));
}

} // namespace sim::ui
