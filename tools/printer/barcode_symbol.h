// A bar code field's data, read as the printer reads it for its symbology
// (Code 128 invocation codes, the QR code's "QA," prefix, ...), encoded into
// modules by libzint, or for Aztec by aztec_code.h. Laying the modules out
// in dots is the renderer's business. Built without libzint, every bar code
// reports why it is not drawn.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "printer/zpl_parser.h"

namespace zplport::printer {

struct BarcodeSymbol {
  int columns = 0;
  int rows = 0;
  std::vector<std::uint8_t> modules{};  // rows × columns, 1 = dark
  // Runs of more than one module are wide elements, drawn at ^BY's ratio
  // (Code 39, Interleaved 2 of 5); otherwise every module is one unit wide.
  bool narrow_wide = false;
  // MaxiCode: hexagons, every odd row shifted by half a module, around
  // the finder's rings; `modules` leaves the rings out.
  bool hexagonal = false;
  std::string text{};  // the interpretation line, UTF-8; "" when there is none
  std::vector<std::string> warnings{};

  bool dark(int column, int row) const {
    return modules[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                   static_cast<std::size_t>(column)] != 0;
  }
};

// nullopt when the data cannot be encoded; `error` then says why.
std::optional<BarcodeSymbol> EncodeBarcode(const Barcode& barcode, std::string_view data,
                                           std::string* error);

}  // namespace zplport::printer
