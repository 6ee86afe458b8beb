#include "printer/png_writer.h"

#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <system_error>
#include <vector>

namespace zplport::printer {
namespace {

constexpr std::size_t kChunkBytes = std::size_t{64} * 1024;

void PutUint32(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value >> 24));
  out.push_back(static_cast<char>(value >> 16));
  out.push_back(static_cast<char>(value >> 8));
  out.push_back(static_cast<char>(value));
}

std::string Chunk(const char type[5], const char* data, std::size_t size) {
  std::string out;
  out.reserve(size + 12);
  PutUint32(out, static_cast<std::uint32_t>(size));
  out.append(type, 4);
  out.append(data, size);
  const auto crc =
      crc32(0, reinterpret_cast<const Bytef*>(out.data() + 4), static_cast<uInt>(out.size() - 4));
  PutUint32(out, static_cast<std::uint32_t>(crc));
  return out;
}

// Hands the file's bytes to `write` piece by piece; false when `write`
// fails or `keep_going` says to stop.
bool StreamPng(const Bitmap& bitmap, const std::function<bool(const std::string&)>& write,
               const std::function<bool()>& keep_going) {
  std::string header;
  PutUint32(header, static_cast<std::uint32_t>(bitmap.width));
  PutUint32(header, static_cast<std::uint32_t>(bitmap.height));
  header += '\x01';                // bit depth
  header += '\x00';                // greyscale
  header += std::string(3, '\0');  // deflate, adaptive filtering, no interlace
  if (!write("\x89PNG\r\n\x1a\n") || !write(Chunk("IHDR", header.data(), header.size()))) {
    return false;
  }

  z_stream stream{};
  if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) return false;
  // IDAT chunks go out full, and the rest at the end.
  std::vector<char> out(kChunkBytes);
  std::size_t filled = 0;
  bool ok = true;
  auto pump = [&](int flush) {
    int status = Z_OK;
    for (;;) {
      stream.next_out = reinterpret_cast<Bytef*>(out.data() + filled);
      stream.avail_out = static_cast<uInt>(out.size() - filled);
      status = deflate(&stream, flush);
      filled = out.size() - stream.avail_out;
      const bool finished = flush == Z_FINISH && status == Z_STREAM_END;
      if (filled == out.size() || (finished && filled > 0)) {
        if (!write(Chunk("IDAT", out.data(), filled))) return false;
        filled = 0;
      }
      if (status == Z_STREAM_ERROR) return false;
      if (finished) return true;
      if (flush != Z_FINISH && stream.avail_in == 0 && stream.avail_out > 0) return true;
    }
  };
  // PNG greyscale has 1 for white, the bitmap 1 for ink: every row is
  // inverted, after its filter byte (none).
  const auto stride = static_cast<std::size_t>(bitmap.stride());
  std::vector<std::uint8_t> row(stride + 1);
  for (int y = 0; y < bitmap.height && ok; ++y) {
    if ((y & 0x3F) == 0 && !keep_going()) {
      ok = false;
      break;
    }
    row[0] = 0;
    const std::uint8_t* bits = bitmap.bits.data() + static_cast<std::size_t>(y) * stride;
    for (std::size_t i = 0; i < stride; ++i) row[i + 1] = static_cast<std::uint8_t>(~bits[i]);
    stream.next_in = row.data();
    stream.avail_in = static_cast<uInt>(row.size());
    ok = pump(Z_NO_FLUSH);
  }
  if (ok) ok = pump(Z_FINISH);
  deflateEnd(&stream);
  return ok && write(Chunk("IEND", "", 0));
}

}  // namespace

std::string EncodePng(const Bitmap& bitmap) {
  std::string png;
  StreamPng(
      bitmap,
      [&](const std::string& piece) {
        png += piece;
        return true;
      },
      [] { return true; });
  return png;
}

std::string WritePng(const std::filesystem::path& path, const Bitmap& bitmap, LabelBudget* budget) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return path.string() + ": " + std::generic_category().message(errno);
  int write_error = 0;
  const bool written = StreamPng(
      bitmap,
      [&](const std::string& piece) {
        if (std::fwrite(piece.data(), 1, piece.size(), file) == piece.size()) return true;
        write_error = errno;
        return false;
      },
      [&] { return budget == nullptr || budget->InTime(); });
  const bool closed = std::fclose(file) == 0;
  if (written && closed) return "";
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  if (budget != nullptr && budget->exceeded()) return budget->reason();
  return path.string() + ": " +
         std::generic_category().message(write_error != 0 ? write_error : errno);
}

}  // namespace zplport::printer
