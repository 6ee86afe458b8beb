// Draws text fields onto a label page as the printer sets them: font 0 in a
// scalable face with its baseline 3/4 down the cell, the bitmap fonts A to
// H in fixed cells, ^FB blocks wrapped, justified and indented, and
// rotation about the field origin.
#pragma once

#include <string>
#include <vector>

#include "printer/bitmap.h"
#include "printer/glyph_font.h"
#include "printer/zpl_parser.h"

namespace zplport::printer {

// A point on the page, in dots.
struct PagePoint {
  long long x = 0;
  long long y = 0;
};

class TextDrawer {
 public:
  // `monospace` may be null: the bitmap fonts then use `scalable`.
  TextDrawer(GlyphFont& scalable, GlyphFont* monospace, Bitmap& page,
             std::vector<std::string>& warnings, LabelBudget& budget);

  // Draws `field` (kText) and returns where a following text field that
  // gives no position (^FT alone) begins: after its last character, on its
  // baseline. Stops early once the budget is spent.
  PagePoint Draw(const ZplField& field);

 private:
  struct Line;
  std::int64_t Advance(const ZplField& field, char32_t c);
  std::vector<Line> Wrap(const ZplField& field, const std::u32string& text);
  void DrawGlyph(char32_t c, const ZplField& field, const FieldTransform& transform, long long left,
                 long long baseline, const Rect& area, Bitmap* mask);

  GlyphFont& scalable_;
  GlyphFont* monospace_;
  GlyphFont* font_ = nullptr;  // the one in use for the current field
  int em_height_ = 0;
  Bitmap& page_;
  std::vector<std::string>& warnings_;
  LabelBudget& budget_;
};

}  // namespace zplport::printer
