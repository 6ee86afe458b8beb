#include "png_writer.h"

#include <algorithm>
#include <array>
#include <fstream>

namespace zplport::testing {
namespace {

void PutBigEndian(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
  std::string body(type, 4);
  body += data;
  out += body;
  PutBigEndian(out, Crc32(body));
}

}  // namespace

std::uint32_t Crc32(const std::string& bytes) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::uint32_t Adler32(const std::string& bytes) {
  std::uint32_t a = 1, b = 0;
  for (unsigned char byte : bytes) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
  // Each row starts with filter type 0 (none).
  std::string raw;
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    raw.append(reinterpret_cast<const char*>(rgb.data()) + row_bytes * static_cast<std::size_t>(y),
               row_bytes);
  }

  std::string zlib = "\x78\x01";
  constexpr std::size_t kMaxStored = 65535;
  std::size_t at = 0;
  do {
    const std::size_t length = std::min(kMaxStored, raw.size() - at);
    const bool last = at + length == raw.size();
    zlib += static_cast<char>(last ? 1 : 0);
    zlib += static_cast<char>(length & 0xFF);
    zlib += static_cast<char>(length >> 8);
    zlib += static_cast<char>(~length & 0xFF);
    zlib += static_cast<char>((~length >> 8) & 0xFF);
    zlib.append(raw, at, length);
    at += length;
  } while (at < raw.size());
  PutBigEndian(zlib, Adler32(raw));

  std::string header;
  PutBigEndian(header, static_cast<std::uint32_t>(width));
  PutBigEndian(header, static_cast<std::uint32_t>(height));
  header += "\x08\x02";            // 8 bits per channel, RGB
  header += std::string(3, '\0');  // deflate, adaptive filtering, no interlace

  std::string png = "\x89PNG\r\n\x1A\n";
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", "");
  return png;
}

bool WritePng(const std::filesystem::path& path, int width, int height,
              const std::vector<std::uint8_t>& rgb) {
  const std::string png = EncodePng(width, height, rgb);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(png.data(), static_cast<std::streamsize>(png.size()));
  return static_cast<bool>(out);
}

}  // namespace zplport::testing
