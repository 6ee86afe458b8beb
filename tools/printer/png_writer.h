// 1-bit greyscale PNG files from label bitmaps (bitmap.h), black ink on
// white, compressed with zlib a row at a time: writing a page takes a few
// kilobytes beside the page itself.
#pragma once

#include <filesystem>
#include <string>

#include "printer/bitmap.h"

namespace zplport::printer {

// The whole PNG file.
std::string EncodePng(const Bitmap& bitmap);

// Writes the PNG to `path`; returns "" or what failed. With a budget it
// stops once the budget's time is up, returning its reason, and leaves no
// file behind.
std::string WritePng(const std::filesystem::path& path, const Bitmap& bitmap,
                     LabelBudget* budget = nullptr);

}  // namespace zplport::printer
