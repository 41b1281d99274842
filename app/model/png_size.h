#pragma once
// The pixel size of a PNG file, read from its IHDR chunk; nothing for a file that is
// not a PNG or cannot be read.
#include <optional>
#include <span>
#include <string>

#include "app/model/geometry.h"

namespace berth::app {

std::optional<Size> png_pixel_size(std::span<const unsigned char> header);
std::optional<Size> png_file_pixel_size(const std::string& path);

}  // namespace berth::app
