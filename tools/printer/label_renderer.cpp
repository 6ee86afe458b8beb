#include "printer/label_renderer.h"

#include <algorithm>
#include <cmath>

#include "printer/barcode_symbol.h"
#include "printer/graphic_decoder.h"
#include "printer/text_drawer.h"

namespace zplport::printer {
namespace {

constexpr int kDefaultWidthInches = 4;
constexpr int kDefaultLengthInches = 6;
constexpr int kMaxInches = 40;

void AddOnce(std::vector<std::string>& list, std::string item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(std::move(item));
}

Ink InkOf(const ZplField& field) {
  return field.reverse ? Ink::kFlip : field.white ? Ink::kWhite : Ink::kBlack;
}

// A shape's top left corner: ^FT places its lower left at the origin;
// right justification its right side.
Rect ShapeRect(const ZplField& field, int width, int height) {
  const long long top = field.baseline_origin ? static_cast<long long>(field.y) - height : field.y;
  const long long left = field.right_justified ? static_cast<long long>(field.x) - width : field.x;
  return {Clip(left), Clip(top), Clip(left + width), Clip(top + height)};
}

// The columns [x0, x1) of row `y` (pixel centres) inside a w × h rectangle
// whose corners are rounded with radius r.
std::pair<int, int> RoundedSpan(int w, int h, double r, int y) {
  const double cy = y + 0.5;
  double dy = 0;
  if (cy < r) dy = r - cy;
  if (cy > h - r) dy = cy - (h - r);
  if (dy <= 0) return {0, w};
  const double inside = r * r - dy * dy;
  if (inside < 0) return {0, 0};
  const int x0 = static_cast<int>(std::ceil(r - std::sqrt(inside) - 0.5));
  return {x0, w - x0};
}

// The columns of row `y` inside the ellipse inscribed in a w × h box.
std::pair<int, int> EllipseSpan(double w, double h, double y) {
  const double a = w / 2;
  const double b = h / 2;
  if (a <= 0 || b <= 0) return {0, 0};
  const double dy = (y + 0.5 - b) / b;
  if (std::abs(dy) > 1) return {0, 0};
  const double half = a * std::sqrt(1 - dy * dy);
  const int x0 = static_cast<int>(std::ceil(a - half - 0.5));
  const int x1 = static_cast<int>(std::floor(a + half - 0.5)) + 1;
  return {x0, std::max(x0, x1)};
}

// Paints row `y` of a ring: the outer span less the inner one, each pixel
// once, so that a reversed shape flips each pixel once.
void PaintRing(Bitmap& page, int y, int left, std::pair<int, int> outer, std::pair<int, int> inner,
               Ink ink) {
  if (y < 0 || y >= page.height) return;
  auto paint = [&](int x0, int x1) {
    x0 = std::max(x0 + left, 0);
    x1 = std::min(x1 + left, page.width);
    if (x0 < x1) PaintSpan(page, y, x0, x1, ink);
  };
  if (inner.first >= inner.second) {
    paint(outer.first, outer.second);
  } else {
    paint(outer.first, std::max(outer.first, inner.first));
    paint(std::min(outer.second, inner.second), outer.second);
  }
}

bool OnPage(const Rect& rect, const Bitmap& page, std::vector<std::string>& warnings) {
  if (!rect.Intersect({0, 0, page.width, page.height}).empty()) return true;
  AddOnce(warnings, "field outside the label not drawn");
  return false;
}

// Paints a ring `thickness` dots wide in the field's box, row by row:
// `span(width, height, row, hole)` gives the [first, last) dots of a filled
// shape of that size in that row, for the outside and again, with `hole`
// true, for the inside.
template <typename Span>
void DrawRing(const ZplField& field, Bitmap& page, std::vector<std::string>& warnings, Span span) {
  const int w = field.box_width;
  const int h = field.box_height;
  const Rect box = ShapeRect(field, w, h);
  if (!OnPage(box, page, warnings)) return;
  const int t = field.thickness;
  const int y0 = std::max(box.y0, 0);
  const int y1 = std::min(box.y1, page.height);
  for (int y = y0; y < y1; ++y) {
    const int row = y - box.y0;
    const auto outer = span(w, h, row, false);
    std::pair<int, int> inner{0, 0};
    if (w > 2 * t && h > 2 * t && row >= t && row < h - t) {
      const auto hole = span(w - 2 * t, h - 2 * t, row - t, true);
      inner = {hole.first + t, hole.second + t};
    }
    PaintRing(page, y, box.x0, outer, inner, InkOf(field));
  }
}

// ^GB: a frame of the given thickness; rounding 1-8 rounds its corners
// with a radius of that many eighths of half its shorter side.
void DrawBox(const ZplField& field, Bitmap& page, std::vector<std::string>& warnings) {
  const double radius = field.rounding * std::min(field.box_width, field.box_height) / 16.0;
  const double inner_radius = std::max(0.0, radius - field.thickness);
  DrawRing(field, page, warnings, [&](int w, int h, int row, bool hole) {
    return RoundedSpan(w, h, hole ? inner_radius : radius, row);
  });
}

// ^GC and ^GE: an ellipse ring of the given thickness in its box.
void DrawEllipse(const ZplField& field, Bitmap& page, std::vector<std::string>& warnings) {
  DrawRing(field, page, warnings,
           [](int w, int h, int row, bool) { return EllipseSpan(w, h, row); });
}

// ^GD: a band `thickness` dots wide in each row whose left edge crosses the
// box's width from one corner to the other, so that it reaches past the
// box's right side by its thickness. A thickness as wide as the box leaves
// a triangle of it on one side of the diagonal.
void DrawDiagonal(const ZplField& field, Bitmap& page, std::vector<std::string>& warnings) {
  const int w = field.box_width;
  const int h = field.box_height;
  const int t = field.thickness;
  const Rect box = ShapeRect(field, w + t, h);
  if (!OnPage(box, page, warnings)) return;
  const int y0 = std::max(box.y0, 0);
  const int y1 = std::min(box.y1, page.height);
  for (int y = y0; y < y1; ++y) {
    const int row = y - box.y0;
    const int from_top = field.leans_right ? h - 1 - row : row;
    const int x =
        h > 1 ? static_cast<int>(std::lround(static_cast<double>(w) * from_top / (h - 1))) : 0;
    PaintRing(page, y, box.x0, {x, x + t}, {0, 0}, InkOf(field));
  }
}

// ^GF, ^XG, ^IM: the image's black dots, each magnified; white dots leave
// what lies below.
void DrawGraphic(const ZplField& field, Bitmap& page, LabelBudget& budget,
                 std::vector<std::string>& warnings) {
  if (!field.graphic) return;  // a recalled graphic that is not stored: noted
  DecodedGraphic decoded = DecodeGraphic(*field.graphic, budget);
  for (std::string& warning : decoded.warnings) AddOnce(warnings, field.command + ": " + warning);
  if (!decoded.error.empty()) {
    if (budget.exceeded()) return;  // the label as a whole is not drawn
    AddOnce(warnings, field.command + " image not drawn: " + decoded.error);
    return;
  }
  const Bitmap& image = decoded.image;
  const int mx = field.magnify_x;
  const int my = field.magnify_y;
  const Rect box = ShapeRect(field, image.width * mx, image.height * my);
  if (OnPage(box, page, warnings)) {
    const Ink ink = field.reverse ? Ink::kFlip : Ink::kBlack;
    for (int row = 0; row < image.height; ++row) {
      if ((row & 0xFF) == 0 && !budget.InTime()) break;
      const long long top = static_cast<long long>(box.y0) + static_cast<long long>(row) * my;
      if (top >= page.height) break;
      if (top + my <= 0) continue;
      int x = 0;
      while (x < image.width) {
        if (!image.Black(x, row)) {
          ++x;
          continue;
        }
        const int start = x;
        while (x < image.width && image.Black(x, row)) ++x;
        PaintRect(page,
                  {Clip(box.x0 + static_cast<long long>(start) * mx), Clip(top),
                   Clip(box.x0 + static_cast<long long>(x) * mx), Clip(top + my)},
                  ink);
      }
    }
  }
  budget.Release(image.bits.size());
}

// The interpretation line: font A magnified by the module width, as
// printers print it.
struct LineFont {
  int height = 0;
  int width = 0;
  int advance = 0;
  int baseline = 0;
};
LineFont InterpretationFont(int module_width, int dpi) {
  const FontMatrix a = BitmapFontMatrix('A', dpi).value_or(FontMatrix{9, 5, 1, 7, false});
  const int m = std::clamp(module_width, 1, 10);
  return {a.height * m, a.width * m, (a.width + a.gap) * m, a.baseline * m};
}

class BarcodeDrawer {
 public:
  BarcodeDrawer(GlyphFont* font, GlyphFont* monospace, int dpi, Bitmap& page,
                std::vector<std::string>& warnings, LabelBudget& budget)
      : font_(font),
        monospace_(monospace),
        dpi_(dpi),
        page_(page),
        warnings_(warnings),
        budget_(budget) {}

  void Draw(const ZplField& field) {
    std::string error;
    const std::optional<BarcodeSymbol> symbol = EncodeBarcode(field.barcode, field.data, &error);
    if (!symbol) {
      AddOnce(warnings_, field.command + " not drawn: " + error);
      return;
    }
    for (const std::string& warning : symbol->warnings)
      AddOnce(warnings_, field.command + ": " + warning);
    const Barcode& barcode = field.barcode;
    const bool linear =
        barcode.symbology != Symbology::kQrCode && barcode.symbology != Symbology::kDataMatrix &&
        barcode.symbology != Symbology::kPdf417 && barcode.symbology != Symbology::kAztec &&
        barcode.symbology != Symbology::kMaxiCode;
    if (symbol->hexagonal) {
      DrawHexagons(field, *symbol);
    } else if (linear) {
      DrawLinear(field, *symbol);
    } else {
      DrawMatrix(field, *symbol);
    }
  }

 private:
  // Bars of a one-row symbol: module runs become bars and spaces; in a
  // narrow/wide symbology a run of more than one module is a wide one.
  void DrawLinear(const ZplField& field, const BarcodeSymbol& symbol) {
    const Barcode& barcode = field.barcode;
    const long long narrow = barcode.module_width;
    const long long wide =
        symbol.narrow_wide ? std::max<long long>(narrow + 1, std::lround(narrow * barcode.ratio))
                           : 0;
    struct Bar {
      long long u0, u1;
    };
    std::vector<Bar> bars;
    long long u = 0;
    for (int column = 0; column < symbol.columns;) {
      int run = 1;
      while (column + run < symbol.columns &&
             symbol.dark(column + run, 0) == symbol.dark(column, 0)) {
        ++run;
      }
      const long long width = symbol.narrow_wide ? (run > 1 ? wide : narrow) : run * narrow;
      if (symbol.dark(column, 0)) bars.push_back({u, u + width});
      u += width;
      column += run;
    }
    const long long frame_width = u;
    const bool text = !symbol.text.empty() && font_ != nullptr;
    const bool above = text && barcode.interpretation_above;
    const bool below = text && !barcode.interpretation_above;
    const LineFont line = InterpretationFont(barcode.module_width, dpi_);
    // Below the bars the line's capitals begin 6 dots under them. Above,
    // its baseline lies 12 dots over them, and the bars keep the field's
    // origin: the line reaches above it.
    const long long gap_below = std::lround(6.0 * dpi_ / 203);
    const long long gap_above = std::lround(12.0 * dpi_ / 203);
    const long long bars_bottom = barcode.height;
    const long long frame_height = bars_bottom + (below ? gap_below + line.height : 0);
    const long long text_top = above ? -gap_above - line.baseline : bars_bottom + gap_below;
    const FieldTransform transform = PlaceField(field, frame_width, frame_height, bars_bottom);
    if (!OnPage(transform.MapRect(0, above ? text_top : 0, frame_width, frame_height), page_,
                warnings_)) {
      return;
    }
    const Ink ink = field.reverse ? Ink::kFlip : Ink::kBlack;
    for (const Bar& bar : bars) {
      PaintRect(page_, transform.MapRect(bar.u0, 0, bar.u1, bars_bottom), ink);
    }
    if (text) DrawText(field, symbol.text, transform, frame_width, text_top, line);
  }

  // Square modules (QR code, DataMatrix) or PDF417's rows of ^BY-wide
  // modules.
  void DrawMatrix(const ZplField& field, const BarcodeSymbol& symbol) {
    const Barcode& barcode = field.barcode;
    long long module_width = barcode.magnification;
    long long row_height = barcode.magnification;
    if (barcode.symbology == Symbology::kPdf417) {
      module_width = barcode.module_width;
      row_height = barcode.height;
    } else if (module_width <= 0) {
      // DataMatrix without a module size: ^BY's height is the symbol's.
      module_width = row_height = std::max(1, barcode.height / std::max(1, symbol.rows));
    }
    const long long frame_width = symbol.columns * module_width;
    const long long symbol_height = symbol.rows * row_height;
    // Printers set a QR code below ^FO by the bar height ^BY last gave, and
    // above ^FT by three modules: the symbol keeps the place of a bar code's
    // bars and of the quiet zone under it.
    long long top = 0;
    long long baseline = symbol_height;
    if (barcode.symbology == Symbology::kQrCode) {
      if (field.baseline_origin) {
        baseline += 3 * module_width;
      } else {
        top = barcode.height;
      }
    }
    const long long frame_height = top + symbol_height;
    const FieldTransform transform = PlaceField(field, frame_width, frame_height, baseline);
    if (!OnPage(transform.MapRect(0, top, frame_width, frame_height), page_, warnings_)) return;
    const Ink ink = field.reverse ? Ink::kFlip : Ink::kBlack;
    for (int row = 0; row < symbol.rows; ++row) {
      for (int column = 0; column < symbol.columns;) {
        if (!symbol.dark(column, row)) {
          ++column;
          continue;
        }
        const int start = column;
        while (column < symbol.columns && symbol.dark(column, row)) ++column;
        PaintRect(page_,
                  transform.MapRect(start * module_width, top + row * row_height,
                                    column * module_width, top + (row + 1) * row_height),
                  ink);
      }
    }
  }

  // MaxiCode has one size: 30 modules and a half across and 33 rows, at
  // 8 dots/mm 200 x 193 dots. Each module is a hexagon, every odd row
  // shifted right by half a module; the finder's three rings lie at the
  // centre.
  void DrawHexagons(const ZplField& field, const BarcodeSymbol& symbol) {
    const double scale = dpi_ / 203.0;
    const double pitch = 200.0 / 30.5 * scale;  // from one module to the next in a row
    const double row_pitch = 193.0 / 33 * scale;
    const long long frame_width = std::lround(30.5 * pitch);
    const long long frame_height = std::lround(33 * row_pitch);
    const FieldTransform transform = PlaceField(field, frame_width, frame_height, frame_height);
    if (!OnPage(transform.MapRect(0, 0, frame_width, frame_height), page_, warnings_)) return;
    const Ink ink = field.reverse ? Ink::kFlip : Ink::kBlack;
    auto span = [&](long long v, double u0, double u1) {
      const long long a = std::lround(u0);
      const long long b = std::lround(u1);
      if (a < b) PaintRect(page_, transform.MapRect(a, v, b, v + 1), ink);
    };
    // A hexagon standing on a point: half as wide as the pitch less a gap,
    // its sides 2/sqrt(3) of that high.
    const double half_width = pitch * 0.45;
    const double half_height = half_width * 2 / std::sqrt(3.0);
    for (int row = 0; row < symbol.rows; ++row) {
      const double cy = (row + 0.5) * row_pitch;
      for (int column = 0; column < symbol.columns; ++column) {
        if (!symbol.dark(column, row)) continue;
        const double cx = (column + 0.5 + ((row & 1) != 0 ? 0.5 : 0)) * pitch;
        for (long long v = std::lround(cy - half_height); v < std::lround(cy + half_height); ++v) {
          const double dy = std::abs(v + 0.5 - cy);
          const double half = dy <= half_height / 2
                                  ? half_width
                                  : half_width * (half_height - dy) / (half_height / 2);
          if (half > 0) span(v, cx - half, cx + half);
        }
      }
    }
    // The rings, in modules from the centre.
    constexpr double kRings[][2] = {{0.61, 1.30}, {2.13, 2.90}, {3.66, 4.35}};
    const double cx = frame_width / 2.0;
    const double cy = frame_height / 2.0;
    const double outer = kRings[2][1] * pitch;
    for (long long v = std::lround(cy - outer); v < std::lround(cy + outer); ++v) {
      const double dy = v + 0.5 - cy;
      for (const auto& ring : kRings) {
        const double r0 = ring[0] * pitch;
        const double r1 = ring[1] * pitch;
        if (std::abs(dy) >= r1) continue;
        const double out = std::sqrt(r1 * r1 - dy * dy);
        const double in = std::abs(dy) < r0 ? std::sqrt(r0 * r0 - dy * dy) : 0;
        if (in > 0) {
          span(v, cx - out, cx - in);
          span(v, cx + in, cx + out);
        } else {
          span(v, cx - out, cx + out);
        }
      }
    }
  }

  // Centred across the bars, turned with them.
  void DrawText(const ZplField& field, const std::string& text, const FieldTransform& bars,
                long long width, long long top, const LineFont& font) {
    ZplField line;
    line.kind = ZplField::Kind::kText;
    line.font = 'A';
    line.font_height = font.height;
    line.font_width = font.width;
    line.advance = font.advance;
    line.baseline = font.baseline;
    const int height = font.height;
    line.orientation = field.orientation;
    line.reverse = field.reverse;
    line.baseline_origin = true;
    long long x = 0, y = 0;
    bars.MapPoint(0, top + line.baseline, &x, &y);
    line.x = Clip(x);
    line.y = Clip(y);
    line.block = TextBlock{static_cast<int>(std::max<long long>(width, height)), 1, 0, 'C', 0};
    line.text = DecodeUtf8(text);
    TextDrawer(*font_, monospace_, page_, warnings_, budget_).Draw(line);
  }

  GlyphFont* font_;
  GlyphFont* monospace_;
  int dpi_;
  Bitmap& page_;
  std::vector<std::string>& warnings_;
  LabelBudget& budget_;
};

// ^POI: the whole label turned 180°.
void Invert(Bitmap& page) {
  const long long pixels = static_cast<long long>(page.width) * page.height;
  for (long long i = 0; i < pixels / 2; ++i) {
    const int ax = static_cast<int>(i % page.width);
    const int ay = static_cast<int>(i / page.width);
    const int bx = page.width - 1 - ax;
    const int by = page.height - 1 - ay;
    if (page.Black(ax, ay) != page.Black(bx, by)) {
      page.Flip(ax, ay);
      page.Flip(bx, by);
    }
  }
}

}  // namespace

PageSize LabelPageSize(const ZplLabel& label, int dpi, std::vector<std::string>* warnings) {
  const int limit = kMaxInches * dpi;
  auto side = [&](const std::optional<int>& asked, int default_inches, const char* command) {
    if (!asked) return default_inches * dpi;
    if (*asked > limit) {
      AddOnce(*warnings, std::string(command) + " " + std::to_string(*asked) + " clamped to " +
                             std::to_string(limit));
      return limit;
    }
    return *asked;
  };
  return {side(label.width, kDefaultWidthInches, "^PW"),
          side(label.length, kDefaultLengthInches, "^LL")};
}

LabelRenderer::LabelRenderer(const LabelFontFiles& files) {
  if (files.scalable.empty() && files.chinese.empty()) {
    font_error_ = "no font for text found (install fonts-liberation and fonts-noto-cjk)";
    return;
  }
  font_ = GlyphFont::Open({files.scalable, files.chinese}, &font_error_);
  if (!font_) return;
  std::string ignored;
  if (!files.monospace.empty())
    monospace_ = GlyphFont::Open({files.monospace, files.chinese}, &ignored);
}

LabelRenderer::~LabelRenderer() = default;

RenderedLabel LabelRenderer::Render(const ZplLabel& label, int dpi, LabelBudget budget) {
  RenderedLabel rendered;
  const PageSize page = LabelPageSize(label, dpi, &rendered.warnings);
  if (!budget.Reserve(Bitmap::BytesFor(page.width, page.length),
                      "its page of " + std::to_string(page.width) + " x " +
                          std::to_string(page.length) + " dots")) {
    rendered.failure = budget.reason();
    return rendered;
  }
  rendered.bitmap = Bitmap(page.width, page.length);
  std::vector<std::string>& warnings = rendered.warnings;
  PagePoint next;  // where a text field continues that gives no position
  for (const ZplField& field : label.fields) {
    if (!budget.InTime()) break;
    switch (field.kind) {
      case ZplField::Kind::kText: {
        if (!font_) {
          AddOnce(warnings, "text not drawn: " + font_error_);
          break;
        }
        ZplField placed = field;
        if (field.continues_x) placed.x = Clip(next.x);
        if (field.continues_y) placed.y = Clip(next.y);
        next = TextDrawer(*font_, monospace_.get(), rendered.bitmap, warnings, budget).Draw(placed);
        break;
      }
      case ZplField::Kind::kBox:
        DrawBox(field, rendered.bitmap, warnings);
        break;
      case ZplField::Kind::kEllipse:
        DrawEllipse(field, rendered.bitmap, warnings);
        break;
      case ZplField::Kind::kDiagonal:
        DrawDiagonal(field, rendered.bitmap, warnings);
        break;
      case ZplField::Kind::kGraphic:
        DrawGraphic(field, rendered.bitmap, budget, warnings);
        break;
      case ZplField::Kind::kBarcode:
        BarcodeDrawer(font_.get(), monospace_.get(), dpi, rendered.bitmap, warnings, budget)
            .Draw(field);
        break;
      case ZplField::Kind::kUndrawn:
        break;  // listed as unsupported by the parser
    }
  }
  if (budget.exceeded()) {
    rendered.failure = budget.reason();
    rendered.bitmap = Bitmap();
    return rendered;
  }
  if (label.inverted) Invert(rendered.bitmap);
  return rendered;
}

}  // namespace zplport::printer
