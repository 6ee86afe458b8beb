#include "printer/zpl_parser.h"

#include "printer/zpl_params.h"
#include "printer/zpl_reader.h"

namespace zplport::printer {

ZplJob ParseZpl(std::string_view bytes, PrinterState& state, const ParseOptions& options) {
  return ZplReader(state, options).Run(bytes);
}

ZplJob ParseZpl(std::string_view bytes) {
  PrinterState state;
  const ParseOptions options;
  return ParseZpl(bytes, state, options);
}

LabelCount CountLabels(std::string_view zpl) {
  const ZplJob job = ParseZpl(zpl);
  return {job.label_count, job.formats};
}

std::optional<FontMatrix> BitmapFontMatrix(char font, int dpi) {
  // The bitmap fonts keep their dots at every resolution, except the OCR
  // fonts E and H, which keep their size on paper.
  const bool fine = dpi >= 300;
  const bool finest = dpi >= 600;
  switch (Upper(font)) {
    case 'A':
      return FontMatrix{9, 5, 1, 7, false};
    case 'B':
      return FontMatrix{11, 7, 2, 11, true};
    case 'C':
    case 'D':
      return FontMatrix{18, 10, 2, 14, false};
    case 'E':
      if (finest) return FontMatrix{84, 40, 20, 69, false};
      if (fine) return FontMatrix{42, 20, 10, 35, false};
      return FontMatrix{28, 15, 5, 23, false};
    case 'F':
      return FontMatrix{26, 13, 3, 21, false};
    case 'G':
      return FontMatrix{60, 40, 8, 48, false};
    case 'H':
      if (finest) return FontMatrix{68, 44, 16, 68, true};
      if (fine) return FontMatrix{34, 22, 8, 34, true};
      return FontMatrix{21, 13, 6, 21, true};
    default:
      return std::nullopt;
  }
}

}  // namespace zplport::printer
