// The little of PNG that the simulated device needs: an image's size from its header, and a plain
// grey image of a given size for scenarios that replace the banner.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sim::ui {

struct PixelSize {
    uint32_t width;
    uint32_t height;
};

// The size in the file's IHDR chunk; nothing for a file that is missing or not a PNG.
std::optional<PixelSize> readPngSize(const std::string& path);
// Writes a valid PNG of that size (8-bit grey), of any size, 0 wide or high included.
void writePng(const std::string& path, PixelSize size);

} // namespace sim::ui
