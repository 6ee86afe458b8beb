// The loopback printer's Aztec encoder. Any bytes, at any size ^BO can
// ask for, must encode without a fault into a square symbol of one of the
// sizes the standard has, its finder's centre dark; or be refused, saying
// why. The first input byte picks the size.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "printer/aztec_code.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
  }
}

// A symbol's side: 11 + 4 layers (compact), or 14 + 4 layers and the
// reference grid's lines (full range).
bool IsAztecSide(int side) {
  for (int layers = 1; layers <= 32; ++layers) {
    const int base = 14 + 4 * layers;
    if (layers <= 4 && side == 11 + 4 * layers) return true;
    if (side == base + 1 + 2 * ((base / 2 - 1) / 15)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // 0-99 a share, 101-104 compact layers, 201-232 full-range layers.
  const int pick = data[0] % 136;
  const int aztec_size = pick < 100 ? pick : pick < 104 ? pick + 1 : pick - 104 + 201;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string error;
  const auto symbol = zplport::printer::EncodeAztec(text, aztec_size, &error);
  if (!symbol) {
    Check(!error.empty(), "refused without a reason");
    return 0;
  }
  Check(symbol->columns == symbol->rows, "not square");
  Check(IsAztecSide(symbol->columns), "a side no Aztec symbol has");
  Check(symbol->modules.size() == static_cast<std::size_t>(symbol->columns) * symbol->rows,
        "modules not one a place");
  Check(symbol->dark(symbol->columns / 2, symbol->rows / 2), "the finder's centre light");
  return 0;
}
