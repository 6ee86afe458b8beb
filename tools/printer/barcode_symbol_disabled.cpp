// The bar code encoder of a build without libzint.
#include "printer/barcode_symbol.h"

namespace zplport::printer {

std::optional<BarcodeSymbol> EncodeBarcode(const Barcode&, std::string_view, std::string* error) {
  *error = "bar codes need libzint, which this build lacks";
  return std::nullopt;
}

}  // namespace zplport::printer
