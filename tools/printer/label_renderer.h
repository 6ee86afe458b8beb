// Draws one parsed label (zpl_parser.h) as a printer would print it: a white
// page of the label's size, black where the fields put ink. Everything is
// in dots; the resolution only sets the default page (4 × 6 inches) and the
// largest one accepted (40 inches either way). Text uses one scalable font
// (glyph_font.h) for every printer font; boxes need no font at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "printer/zpl_parser.h"

namespace zplport::printer {

class GlyphFont;

// A 1-bit image: rows of (width + 7) / 8 bytes, leftmost pixel in the
// highest bit, 1 = black.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bits{};

  Bitmap() = default;
  Bitmap(int w, int h);  // all white

  int stride() const { return (width + 7) / 8; }
  // False outside the image.
  bool Black(int x, int y) const;
  void Set(int x, int y);
  void Flip(int x, int y);
};

struct RenderedLabel {
  Bitmap bitmap;
  std::vector<std::string> warnings;  // e.g. a page size that was clamped
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
  // `font_path` empty: FindLabelFontFile().
  explicit LabelRenderer(const std::string& font_path = "");
  ~LabelRenderer();
  LabelRenderer(const LabelRenderer&) = delete;
  LabelRenderer& operator=(const LabelRenderer&) = delete;

  // "" when text can be drawn, else why not; boxes are drawn either way.
  const std::string& font_error() const { return font_error_; }
  const GlyphFont* font() const { return font_.get(); }

  RenderedLabel Render(const ZplLabel& label, int dpi);

 private:
  std::unique_ptr<GlyphFont> font_;
  std::string font_error_;
};

}  // namespace zplport::printer
