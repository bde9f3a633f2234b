#include "sim/uikit/png.hpp"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>
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

void appendChunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data) {
    appendBigEndian(out, uint32_t(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    appendBigEndian(out, uint32_t(crc32(0, out.data() + start, uInt(out.size() - start))));
}

// The image data as a zlib stream, as PNG keeps it.
std::vector<unsigned char> compressed(const std::vector<unsigned char>& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    std::vector<unsigned char> out(size);
    if (compress(out.data(), &size, raw.data(), uLong(raw.size())) != Z_OK) throw std::runtime_error("no memory for a PNG");
    out.resize(size);
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
    appendChunk(out, "IDAT", compressed(raw));
    appendChunk(out, "IEND", {});
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), long(out.size()));
}

} // namespace sim::ui
