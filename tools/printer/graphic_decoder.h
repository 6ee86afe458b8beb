// Turns image data as a job sends it (^GF, ~DG) into the bitmap it stands
// for: row_bytes × 8 dots wide, total_bytes / row_bytes rows. Hex data may
// use the printer's run-length shorthand (G-Y and g-z repeat counts, ","
// and "!" filling the row with 0 or 1 bits, ":" repeating the row above),
// or be ":B64:" (Base64) or ":Z64:" (zlib, then Base64) with a CRC after a
// final ":". Binary (B) data is the bitmap itself; compressed binary (C),
// which the guide leaves undefined, is read as a zlib stream.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "printer/bitmap.h"
#include "printer/zpl_parser.h"

namespace zplport::printer {

struct DecodedGraphic {
  Bitmap image;
  std::string error;  // non-empty: not drawn, why
  std::vector<std::string> warnings;
};

// The bitmap is taken from `budget` before it is allocated.
DecodedGraphic DecodeGraphic(const GraphicData& graphic, LabelBudget& budget);

// The CRC of ZB64 data: CRC-16/CCITT (polynomial 0x1021, no reflection),
// starting from 0, over the Base64 text.
std::uint16_t ZebraCrc16(std::string_view bytes);

}  // namespace zplport::printer
