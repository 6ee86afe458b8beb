// Writes screenshots as PNG files with no compression library: the image
// data go into stored (uncompressed) deflate blocks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zplport::testing {

// `rgb` holds height rows of width pixels, three bytes each, top row first.
// The whole file as bytes.
std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

// False when the file cannot be written.
bool WritePng(const std::filesystem::path& path, int width, int height,
              const std::vector<std::uint8_t>& rgb);

std::uint32_t Crc32(const std::string& bytes);
std::uint32_t Adler32(const std::string& bytes);

}  // namespace zplport::testing
