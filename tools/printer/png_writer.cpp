#include "printer/png_writer.h"

#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <system_error>
#include <vector>

namespace zplport::printer {
namespace {

void PutUint32(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value >> 24));
  out.push_back(static_cast<char>(value >> 16));
  out.push_back(static_cast<char>(value >> 8));
  out.push_back(static_cast<char>(value));
}

void PutChunk(std::string& out, const char type[5], const std::string& data) {
  PutUint32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.append(type, 4);
  out += data;
  const auto crc = crc32(0, reinterpret_cast<const Bytef*>(out.data() + start),
                         static_cast<uInt>(out.size() - start));
  PutUint32(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::string EncodePng(const Bitmap& bitmap) {
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  PutUint32(header, static_cast<std::uint32_t>(bitmap.width));
  PutUint32(header, static_cast<std::uint32_t>(bitmap.height));
  header += '\x01';                // bit depth
  header += '\x00';                // greyscale
  header += std::string(3, '\0');  // deflate, adaptive filtering, no interlace
  PutChunk(png, "IHDR", header);

  // PNG greyscale has 1 for white, the bitmap 1 for ink: every row is
  // inverted, after its filter byte (none).
  const auto stride = static_cast<std::size_t>(bitmap.stride());
  std::vector<std::uint8_t> raw;
  raw.reserve((stride + 1) * static_cast<std::size_t>(bitmap.height));
  for (int y = 0; y < bitmap.height; ++y) {
    raw.push_back(0);
    const std::uint8_t* row = bitmap.bits.data() + static_cast<std::size_t>(y) * stride;
    for (std::size_t i = 0; i < stride; ++i) raw.push_back(static_cast<std::uint8_t>(~row[i]));
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string compressed(size, '\0');
  compress2(reinterpret_cast<Bytef*>(compressed.data()), &size, raw.data(),
            static_cast<uLong>(raw.size()), Z_DEFAULT_COMPRESSION);
  compressed.resize(size);
  PutChunk(png, "IDAT", compressed);
  PutChunk(png, "IEND", "");
  return png;
}

std::string WritePng(const std::filesystem::path& path, const Bitmap& bitmap) {
  const std::string png = EncodePng(bitmap);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return path.string() + ": " + std::generic_category().message(errno);
  const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
  const int write_error = errno;
  if (std::fclose(file) != 0 || !written) {
    return path.string() + ": " + std::generic_category().message(written ? errno : write_error);
  }
  return "";
}

}  // namespace zplport::printer
