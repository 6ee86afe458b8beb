// Draws one parsed label (zpl_parser.h) as a printer would print it: a white
// page of the label's size, black where the fields put ink. Everything is
// in dots; the resolution only sets the default page (4 × 6 inches) and the
// largest one accepted (40 inches either way). Text uses outline fonts
// (glyph_font.h) for the printer's fonts, bar codes libzint
// (barcode_symbol.h); boxes, circles, lines and images need neither.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "printer/bitmap.h"
#include "printer/glyph_font.h"
#include "printer/zpl_parser.h"

namespace zplport::printer {

struct RenderedLabel {
  Bitmap bitmap;
  std::vector<std::string> warnings;  // e.g. a page size that was clamped
  // Non-empty: the label was not drawn (its bitmap is empty), and why, e.g.
  // "took longer than 2000 ms".
  std::string failure;
};

// The page, in dots, for a label at `dpi`; clamped sizes are noted in
// `warnings`.
struct PageSize {
  int width = 0;
  int length = 0;
};
PageSize LabelPageSize(const ZplLabel& label, int dpi, std::vector<std::string>* warnings);

class LabelRenderer {
 public:
  explicit LabelRenderer(const LabelFontFiles& files = FindLabelFonts());
  ~LabelRenderer();
  LabelRenderer(const LabelRenderer&) = delete;
  LabelRenderer& operator=(const LabelRenderer&) = delete;

  // "" when text can be drawn, else why not; the rest is drawn either way.
  const std::string& font_error() const { return font_error_; }
  // Font 0 and what it falls back on; the bitmap fonts' faces.
  const GlyphFont* font() const { return font_.get(); }
  const GlyphFont* monospace() const { return monospace_.get(); }

  // Within `budget`: the page is refused before it is allocated when it
  // would not fit, and drawing stops once the time is up.
  RenderedLabel Render(const ZplLabel& label, int dpi, LabelBudget budget = {});

 private:
  std::unique_ptr<GlyphFont> font_;
  std::unique_ptr<GlyphFont> monospace_;
  std::string font_error_;
};

}  // namespace zplport::printer
