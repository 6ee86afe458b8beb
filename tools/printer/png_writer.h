// 1-bit greyscale PNG files from label bitmaps (label_renderer.h), black
// ink on white, compressed with zlib.
#pragma once

#include <filesystem>
#include <string>

#include "printer/label_renderer.h"

namespace zplport::printer {

// The whole PNG file.
std::string EncodePng(const Bitmap& bitmap);

// Writes EncodePng(bitmap) to `path`; returns "" or what failed.
std::string WritePng(const std::filesystem::path& path, const Bitmap& bitmap);

}  // namespace zplport::printer
