// Aztec Code for ^BO, encoded here rather than by libzint: the standard
// leaves the choice of character modes to the encoder, and libzint packs
// the text otherwise than the previews people check labels against. Only
// the rune (^BO size 300) is still libzint's.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "printer/barcode_symbol.h"

namespace zplport::printer {

// `size` as ^BO gives it: 0 the default error correction (23 % of the
// codewords and three more), 1-99 the share of the codewords that correct
// errors (rounded down to whole ones, three at least), 101-104 a compact
// symbol of 1-4 layers, 201-232 a full-range one of 1-32 layers. nullopt
// when the data fits in no such symbol; `error` says so.
std::optional<BarcodeSymbol> EncodeAztec(std::string_view data, int size, std::string* error);

}  // namespace zplport::printer
