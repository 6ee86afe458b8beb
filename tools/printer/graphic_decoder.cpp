#include "printer/graphic_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <optional>

namespace zplport::printer {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Fills an image's rows a hex digit (half a byte) at a time.
class HexRows {
 public:
  explicit HexRows(Bitmap& image) : image_(image), row_bytes_(image.stride()) {}

  bool done() const { return row_ >= image_.height; }

  void Digit(int value) {
    if (done()) return;
    std::uint8_t& byte = image_.bits[Offset() + static_cast<std::size_t>(nibble_ / 2)];
    byte = static_cast<std::uint8_t>(byte | (nibble_ % 2 == 0 ? value << 4 : value));
    if (++nibble_ == 2 * row_bytes_) NextRow();
  }

  // "," and "!": the rest of the row in 0 or 1 bits.
  void FillRow(bool ones) {
    if (done()) return;
    if (ones) {
      for (int left = 2 * row_bytes_ - nibble_; left > 0; --left) Digit(0xF);
      return;
    }
    NextRow();
  }

  // ":": the rest of the row as in the row above.
  void RepeatRow() {
    if (done()) return;
    if (row_ == 0) {
      NextRow();
      return;
    }
    const auto from = static_cast<std::size_t>(nibble_ / 2);
    if (nibble_ % 2 == 1) {
      std::uint8_t& byte = image_.bits[Offset() + from];
      byte = static_cast<std::uint8_t>(
          byte | (image_.bits[Offset() - static_cast<std::size_t>(row_bytes_) + from] & 0x0F));
    }
    const std::size_t start = from + static_cast<std::size_t>(nibble_ % 2);
    std::copy(image_.bits.begin() + static_cast<std::ptrdiff_t>(
                                        Offset() - static_cast<std::size_t>(row_bytes_) + start),
              image_.bits.begin() + static_cast<std::ptrdiff_t>(Offset()),
              image_.bits.begin() + static_cast<std::ptrdiff_t>(Offset() + start));
    NextRow();
  }

 private:
  std::size_t Offset() const {
    return static_cast<std::size_t>(row_) * static_cast<std::size_t>(row_bytes_);
  }
  void NextRow() {
    ++row_;
    nibble_ = 0;
  }

  Bitmap& image_;
  int row_bytes_;
  int row_ = 0;
  int nibble_ = 0;
};

// False when the time ran out.
bool DecodeHex(std::string_view text, Bitmap& image, LabelBudget& budget) {
  HexRows rows(image);
  int repeat = 0;
  for (std::size_t i = 0; i < text.size() && !rows.done(); ++i) {
    if ((i & 0xFFFF) == 0 && !budget.InTime()) return false;
    const char c = text[i];
    if (const int value = HexValue(c); value >= 0) {
      for (int n = std::max(repeat, 1); n > 0 && !rows.done(); --n) rows.Digit(value);
      repeat = 0;
    } else if (c >= 'G' && c <= 'Y') {
      repeat += c - 'G' + 1;
    } else if (c >= 'g' && c <= 'z') {
      repeat += (c - 'g' + 1) * 20;
    } else if (c == ',' || c == '!') {
      rows.FillRow(c == '!');
      repeat = 0;
    } else if (c == ':') {
      rows.RepeatRow();
      repeat = 0;
    }
  }
  return true;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 3 / 4);
  unsigned buffer = 0;
  int bits = 0;
  for (const char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    if (c >= '0' && c <= '9') value = c - '0' + 52;
    if (c == '+') value = 62;
    if (c == '/') value = 63;
    if (c == '=') break;
    if (value < 0) {
      if (std::isspace(static_cast<unsigned char>(c))) continue;
      return std::nullopt;
    }
    buffer = (buffer << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  return out;
}

// At most `limit` bytes out of a zlib stream (or a raw deflate stream,
// which some senders use); nullopt when it is neither.
std::optional<std::string> Inflate(std::string_view compressed, std::size_t limit) {
  for (const int window : {15, -15}) {
    z_stream stream{};
    if (inflateInit2(&stream, window) != Z_OK) return std::nullopt;
    std::string out(std::min<std::size_t>(limit, std::size_t{1} << 20), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    int status = Z_OK;
    std::size_t produced = 0;
    while (status == Z_OK && produced < limit) {
      if (produced == out.size()) out.resize(std::min(limit, out.size() * 2));
      stream.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
      stream.avail_out = static_cast<uInt>(out.size() - produced);
      status = inflate(&stream, Z_NO_FLUSH);
      produced = out.size() - stream.avail_out;
      if (status == Z_BUF_ERROR && stream.avail_in == 0) break;
    }
    inflateEnd(&stream);
    if (status == Z_STREAM_END || (produced > 0 && (status == Z_OK || status == Z_BUF_ERROR))) {
      out.resize(produced);
      return out;
    }
  }
  return std::nullopt;
}

void CopyBytes(std::string_view bytes, Bitmap& image) {
  std::copy_n(bytes.begin(), std::min(bytes.size(), image.bits.size()), image.bits.begin());
}

}  // namespace

std::uint16_t ZebraCrc16(std::string_view bytes) {
  std::uint16_t crc = 0;
  for (const char c : bytes) {
    crc ^= static_cast<std::uint16_t>(static_cast<unsigned char>(c) << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return crc;
}

DecodedGraphic DecodeGraphic(const GraphicData& graphic, LabelBudget& budget) {
  DecodedGraphic decoded;
  const std::size_t row_bytes = static_cast<std::size_t>(graphic.row_bytes);
  const std::size_t rows = row_bytes == 0 ? 0 : graphic.total_bytes / row_bytes;
  if (rows == 0 || rows > 32000 || row_bytes * 8 > 32000) {
    decoded.error = "an image of " + std::to_string(graphic.total_bytes) + " bytes in rows of " +
                    std::to_string(graphic.row_bytes) + " does not fit a label";
    return decoded;
  }
  if (graphic.total_bytes % row_bytes != 0) {
    decoded.warnings.push_back("image bytes not a whole number of rows: the rest left out");
  }
  if (!budget.Reserve(rows * row_bytes, "its image")) {
    decoded.error = budget.reason();
    return decoded;
  }
  decoded.image = Bitmap(static_cast<int>(row_bytes * 8), static_cast<int>(rows));
  const std::size_t size = rows * row_bytes;

  std::string_view data = graphic.data;
  while (!data.empty() && std::isspace(static_cast<unsigned char>(data.front()))) {
    data.remove_prefix(1);
  }
  const bool zb64 =
      graphic.format != 'B' && (data.starts_with(":Z64:") || data.starts_with(":B64:"));
  if (zb64) {
    const bool compressed = data.starts_with(":Z64:");
    std::string_view encoded = data.substr(5);
    std::optional<std::uint16_t> crc;
    if (const std::size_t colon = encoded.rfind(':'); colon != std::string_view::npos) {
      const std::string_view crc_text = encoded.substr(colon + 1);
      encoded = encoded.substr(0, colon);
      unsigned value = 0;
      int digits = 0;
      for (const char c : crc_text) {
        if (HexValue(c) < 0) break;
        value = value * 16 + static_cast<unsigned>(HexValue(c));
        ++digits;
      }
      if (digits == 4) crc = static_cast<std::uint16_t>(value);
    }
    if (!crc) {
      decoded.warnings.push_back("image data without its CRC");
    } else if (*crc != ZebraCrc16(encoded)) {
      decoded.error = "its image data fails its CRC";
      return decoded;
    }
    std::optional<std::string> bytes = DecodeBase64(encoded);
    if (bytes && compressed) bytes = Inflate(*bytes, size);
    if (!bytes) {
      decoded.error = compressed ? "its :Z64: image data does not inflate"
                                 : "its :B64: image data is not Base64";
      return decoded;
    }
    CopyBytes(*bytes, decoded.image);
  } else if (graphic.format == 'B') {
    CopyBytes(graphic.data, decoded.image);
  } else if (graphic.format == 'C') {
    const std::optional<std::string> bytes = Inflate(graphic.data, size);
    if (!bytes) {
      decoded.error = "its compressed binary image is in no known compression";
      return decoded;
    }
    CopyBytes(*bytes, decoded.image);
  } else if (!DecodeHex(data, decoded.image, budget)) {
    decoded.error = budget.reason();
  }
  return decoded;
}

}  // namespace zplport::printer
