// Draws one screen of the simulated device as a PNG, with cairo and pango over Debian's Inter
// faces. The same screen gives the same bytes on every run and on every machine with the same
// Debian packages: the fonts are those files alone (a font configuration of the renderer's own),
// antialiasing and hinting are fixed, and the PNG holds no time.
#pragma once

#include "sim/screens/screen.hpp"

#include <string>

namespace sim::screens {

// Writes the picture, screen.width x screen.height points at screen.scale pixels each. Throws
// std::runtime_error when a font or the banner cannot be read, or the file cannot be written.
void writePicture(const Screen& screen, const std::string& path);

} // namespace sim::screens
