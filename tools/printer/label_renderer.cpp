#include "printer/label_renderer.h"

#include <algorithm>
#include <cstring>

#include "printer/glyph_font.h"

namespace zplport::printer {
namespace {

constexpr int kDefaultWidthInches = 4;
constexpr int kDefaultLengthInches = 6;
constexpr int kMaxInches = 40;
// Text beyond this many characters in one field is not drawn: it would lie
// far outside any label anyway.
constexpr std::size_t kMaxFieldChars = 10000;
// Coverage from which a glyph pixel is printed; a thermal head has no grey.
constexpr std::uint8_t kInkThreshold = 128;

void AddOnce(std::vector<std::string>& list, std::string item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(std::move(item));
}

// Half-open: [x0, x1) × [y0, y1).
struct Rect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool empty() const { return x0 >= x1 || y0 >= y1; }
  Rect Intersect(const Rect& o) const {
    return {std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
  }
};

int Clip(long long value) {
  return static_cast<int>(std::clamp<long long>(value, -(1LL << 30), 1LL << 30));
}

// From a field's own frame (u to the right along the text, v down the
// lines) to the label's pixels, turning about the origin point (pu, pv) that
// lands on the label at (x, y).
struct FieldTransform {
  Orientation orientation;
  long long x, y, pu, pv;

  void Map(long long u, long long v, long long* out_x, long long* out_y) const {
    const long long du = u - pu;
    const long long dv = v - pv;
    switch (orientation) {
      case Orientation::kNormal:
        *out_x = x + du;
        *out_y = y + dv;
        break;
      case Orientation::kRotated:  // 90° clockwise
        *out_x = x - dv - 1;
        *out_y = y + du;
        break;
      case Orientation::kInverted:
        *out_x = x - du - 1;
        *out_y = y - dv - 1;
        break;
      case Orientation::kBottomUp:  // 270° clockwise
        *out_x = x + dv;
        *out_y = y - du - 1;
        break;
    }
  }

  // The label pixels covered by the frame's pixels [u0, u1) × [v0, v1).
  Rect MapRect(long long u0, long long v0, long long u1, long long v1) const {
    long long ax = 0, ay = 0, bx = 0, by = 0;
    Map(u0, v0, &ax, &ay);
    Map(u1 - 1, v1 - 1, &bx, &by);
    return {Clip(std::min(ax, bx)), Clip(std::min(ay, by)), Clip(std::max(ax, bx) + 1),
            Clip(std::max(ay, by) + 1)};
  }
};

enum class Ink { kBlack, kWhite, kFlip };

// Paints x0..x1 of one row a byte at a time where it can.
void PaintSpan(Bitmap& bitmap, int y, int x0, int x1, Ink ink) {
  std::uint8_t* row = bitmap.bits.data() + static_cast<std::size_t>(y) * bitmap.stride();
  auto apply = [ink](std::uint8_t& byte, std::uint8_t mask) {
    switch (ink) {
      case Ink::kBlack:
        byte |= mask;
        break;
      case Ink::kWhite:
        byte &= static_cast<std::uint8_t>(~mask);
        break;
      case Ink::kFlip:
        byte ^= mask;
        break;
    }
  };
  int x = x0;
  while (x < x1 && (x % 8) != 0) {
    apply(row[x / 8], static_cast<std::uint8_t>(0x80 >> (x % 8)));
    ++x;
  }
  while (x + 8 <= x1) {
    apply(row[x / 8], 0xFF);
    x += 8;
  }
  while (x < x1) {
    apply(row[x / 8], static_cast<std::uint8_t>(0x80 >> (x % 8)));
    ++x;
  }
}

void PaintRect(Bitmap& bitmap, Rect rect, Ink ink) {
  rect = rect.Intersect({0, 0, bitmap.width, bitmap.height});
  if (rect.empty()) return;
  for (int y = rect.y0; y < rect.y1; ++y) PaintSpan(bitmap, y, rect.x0, rect.x1, ink);
}

Rect LabelRect(const Bitmap& bitmap) { return {0, 0, bitmap.width, bitmap.height}; }

void DrawBox(const ZplField& field, Bitmap& bitmap, std::vector<std::string>& warnings) {
  const long long top =
      field.baseline_origin ? static_cast<long long>(field.y) - field.box_height : field.y;
  const Rect outer{Clip(field.x), Clip(top),
                   Clip(static_cast<long long>(field.x) + field.box_width),
                   Clip(top + field.box_height)};
  if (outer.Intersect(LabelRect(bitmap)).empty()) {
    AddOnce(warnings, "field outside the label not drawn");
    return;
  }
  const Ink ink = field.reverse ? Ink::kFlip : field.white ? Ink::kWhite : Ink::kBlack;
  const int t = field.thickness;
  const Rect inner{outer.x0 + t, outer.y0 + t, outer.x1 - t, outer.y1 - t};
  if (inner.empty()) {
    PaintRect(bitmap, outer, ink);
    return;
  }
  // The frame as four disjoint bands, so that a reversed box flips each
  // pixel once.
  PaintRect(bitmap, {outer.x0, outer.y0, outer.x1, inner.y0}, ink);
  PaintRect(bitmap, {outer.x0, inner.y1, outer.x1, outer.y1}, ink);
  PaintRect(bitmap, {outer.x0, inner.y0, inner.x0, inner.y1}, ink);
  PaintRect(bitmap, {inner.x1, inner.y0, outer.x1, inner.y1}, ink);
}

struct TextLine {
  std::u32string text;
  std::int64_t width = 0;      // 1/64 dot
  bool ends_paragraph = true;  // not stretched by J justification
};

bool IsSpace(char32_t c) { return c == U' ' || c == U'\t' || c == 0x3000; }

// East Asian characters may break a line anywhere.
bool BreaksAnywhere(char32_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) || c >= 0x20000;
}

std::int64_t Width(GlyphFont& font, std::u32string_view text) {
  std::int64_t width = 0;
  for (const char32_t c : text) width += font.Advance(c);
  return width;
}

void TrimTrailingSpaces(TextLine& line, GlyphFont& font) {
  while (!line.text.empty() && IsSpace(line.text.back())) {
    line.width -= font.Advance(line.text.back());
    line.text.pop_back();
  }
}

// Greedy wrapping at spaces and between East Asian characters; a word wider
// than the block is broken between characters. "\&" forces a new line.
std::vector<TextLine> WrapText(GlyphFont& font, const std::u32string& text, int block_width) {
  std::vector<std::u32string> paragraphs(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == U'\\' && i + 1 < text.size() && text[i + 1] == U'&') {
      paragraphs.emplace_back();
      ++i;
    } else {
      paragraphs.back().push_back(text[i]);
    }
  }
  const std::int64_t limit = static_cast<std::int64_t>(block_width) * 64;
  std::vector<TextLine> lines;
  for (const std::u32string& paragraph : paragraphs) {
    if (block_width <= 0) {
      lines.push_back({paragraph, Width(font, paragraph), true});
      continue;
    }
    TextLine line;
    auto finish = [&](bool ends_paragraph) {
      TrimTrailingSpaces(line, font);
      line.ends_paragraph = ends_paragraph;
      lines.push_back(std::move(line));
      line = TextLine();
    };
    std::size_t i = 0;
    while (i < paragraph.size()) {
      // The next unit: a run of spaces, one East Asian character, or a word.
      std::size_t end = i + 1;
      if (IsSpace(paragraph[i])) {
        while (end < paragraph.size() && IsSpace(paragraph[end])) ++end;
      } else if (!BreaksAnywhere(paragraph[i])) {
        while (end < paragraph.size() && !IsSpace(paragraph[end]) &&
               !BreaksAnywhere(paragraph[end])) {
          ++end;
        }
      }
      const std::u32string_view unit(paragraph.data() + i, end - i);
      const std::int64_t unit_width = Width(font, unit);
      if (IsSpace(paragraph[i])) {
        if (!line.text.empty()) {
          line.text.append(unit);
          line.width += unit_width;
        }
      } else if (line.width + unit_width <= limit) {
        line.text.append(unit);
        line.width += unit_width;
      } else if (!line.text.empty() && unit_width <= limit) {
        finish(false);
        line.text.append(unit);
        line.width = unit_width;
      } else {
        // Wider than a whole line: as many characters per line as fit, at
        // least one.
        if (!line.text.empty()) finish(false);
        for (const char32_t c : unit) {
          const std::int64_t advance = font.Advance(c);
          if (!line.text.empty() && line.width + advance > limit) finish(false);
          line.text.push_back(c);
          line.width += advance;
        }
      }
      i = end;
    }
    finish(true);
  }
  return lines;
}

class TextDrawer {
 public:
  TextDrawer(GlyphFont& font, Bitmap& bitmap, std::vector<std::string>& warnings)
      : font_(font), bitmap_(bitmap), warnings_(warnings) {}

  void Draw(const ZplField& field) {
    std::u32string text = field.text;
    if (text.size() > kMaxFieldChars) {
      text.resize(kMaxFieldChars);
      AddOnce(warnings_, "field text cut to " + std::to_string(kMaxFieldChars) + " characters");
    }
    const int height = field.font_height;
    font_.SetSize(field.font_width, height);
    const int ascent = font_.ascent();

    std::vector<TextLine> lines;
    int max_lines = 1;
    int line_step = height;
    std::int64_t box_width = 0;  // 1/64 dot
    if (field.block) {
      max_lines = field.block->max_lines;
      line_step = height + field.block->line_spacing;
      lines = WrapText(font_, text, field.block->width);
      if (static_cast<int>(lines.size()) > max_lines) {
        lines.resize(static_cast<std::size_t>(max_lines));
        lines.back().ends_paragraph = true;
        AddOnce(warnings_, "^FB text cut to its line count");
      }
      box_width = static_cast<std::int64_t>(field.block->width) * 64;
      for (const TextLine& line : lines) box_width = std::max(box_width, line.width);
    } else {
      lines.push_back({text, Width(font_, text), true});
      box_width = lines.back().width;
    }
    const long long frame_width = (box_width + 63) / 64;
    const long long frame_height =
        static_cast<long long>(max_lines - 1) * line_step + static_cast<long long>(height);

    FieldTransform transform{field.orientation, field.x, field.y, 0, 0};
    if (field.baseline_origin) {
      // ^FT: the baseline of the (last) line starts at the origin.
      transform.pv = static_cast<long long>(max_lines - 1) * line_step + ascent;
    } else {
      // ^FO: the turned field's top left corner is at the origin.
      switch (field.orientation) {
        case Orientation::kNormal:
          break;
        case Orientation::kRotated:
          transform.pv = frame_height;
          break;
        case Orientation::kInverted:
          transform.pu = frame_width;
          transform.pv = frame_height;
          break;
        case Orientation::kBottomUp:
          transform.pu = frame_width;
          break;
      }
    }
    // Glyphs may reach a little beyond their cells.
    const long long pad = height;
    const Rect area = transform.MapRect(-pad, -pad, frame_width + pad, frame_height + pad)
                          .Intersect(LabelRect(bitmap_));
    if (area.empty()) {
      AddOnce(warnings_, "field outside the label not drawn");
      return;
    }
    Bitmap mask(area.x1 - area.x0, area.y1 - area.y0);

    for (std::size_t k = 0; k < lines.size(); ++k) {
      const TextLine& line = lines[k];
      const long long line_top = static_cast<long long>(k) * line_step;
      const long long baseline = line_top + ascent;
      std::int64_t pen = 0;
      std::int64_t space_extra = 0;  // J: per space, 1/64 dot
      const std::int64_t room = std::max<std::int64_t>(0, box_width - line.width);
      const char justification = field.block ? field.block->justification : 'L';
      if (justification == 'R') pen = room;
      if (justification == 'C') pen = room / 2;
      if (justification == 'J' && !line.ends_paragraph) {
        const auto spaces = std::count_if(line.text.begin(), line.text.end(), IsSpace);
        if (spaces > 0) space_extra = room / spaces;
      }
      for (const char32_t c : line.text) {
        const std::int64_t advance = font_.Advance(c);
        const long long left = (pen + 32) / 64;
        const Rect cell = transform.MapRect(
            left - pad, line_top - pad, left + (advance + 63) / 64 + pad, line_top + height + pad);
        if (!cell.Intersect(area).empty()) DrawGlyph(c, transform, left, baseline, area, mask);
        pen += advance + (IsSpace(c) ? space_extra : 0);
      }
    }

    const Ink ink = field.reverse ? Ink::kFlip : Ink::kBlack;
    for (int y = 0; y < mask.height; ++y) {
      for (int x = 0; x < mask.width; ++x) {
        if (!mask.Black(x, y)) continue;
        if (ink == Ink::kFlip)
          bitmap_.Flip(area.x0 + x, area.y0 + y);
        else
          bitmap_.Set(area.x0 + x, area.y0 + y);
      }
    }
  }

 private:
  void DrawGlyph(char32_t c, const FieldTransform& transform, long long left, long long baseline,
                 const Rect& area, Bitmap& mask) {
    if (!font_.Render(c, &glyph_)) return;
    for (int row = 0; row < glyph_.rows; ++row) {
      const long long v = baseline - glyph_.top + row;
      for (int column = 0; column < glyph_.width; ++column) {
        if (glyph_.coverage[static_cast<std::size_t>(row) * glyph_.width + column] <
            kInkThreshold) {
          continue;
        }
        long long x = 0, y = 0;
        transform.Map(left + glyph_.left + column, v, &x, &y);
        if (x >= area.x0 && x < area.x1 && y >= area.y0 && y < area.y1) {
          mask.Set(static_cast<int>(x - area.x0), static_cast<int>(y - area.y0));
        }
      }
    }
  }

  GlyphFont& font_;
  Bitmap& bitmap_;
  std::vector<std::string>& warnings_;
  Glyph glyph_;
};

}  // namespace

Bitmap::Bitmap(int w, int h)
    : width(w),
      height(h),
      bits(static_cast<std::size_t>((w + 7) / 8) * static_cast<std::size_t>(h)) {}

bool Bitmap::Black(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  return (bits[static_cast<std::size_t>(y) * stride() + static_cast<std::size_t>(x / 8)] &
          (0x80 >> (x % 8))) != 0;
}

void Bitmap::Set(int x, int y) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  bits[static_cast<std::size_t>(y) * stride() + static_cast<std::size_t>(x / 8)] |=
      static_cast<std::uint8_t>(0x80 >> (x % 8));
}

void Bitmap::Flip(int x, int y) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  bits[static_cast<std::size_t>(y) * stride() + static_cast<std::size_t>(x / 8)] ^=
      static_cast<std::uint8_t>(0x80 >> (x % 8));
}

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

LabelRenderer::LabelRenderer(const std::string& font_path) {
  const std::string path = font_path.empty() ? FindLabelFontFile() : font_path;
  if (path.empty()) {
    font_error_ = "no font for text found (install fonts-noto-cjk)";
    return;
  }
  font_ = GlyphFont::Open(path, &font_error_);
}

LabelRenderer::~LabelRenderer() = default;

RenderedLabel LabelRenderer::Render(const ZplLabel& label, int dpi) {
  RenderedLabel rendered;
  const PageSize page = LabelPageSize(label, dpi, &rendered.warnings);
  rendered.bitmap = Bitmap(page.width, page.length);
  for (const ZplField& field : label.fields) {
    if (field.kind == ZplField::Kind::kBox) {
      DrawBox(field, rendered.bitmap, rendered.warnings);
    } else if (field.kind != ZplField::Kind::kText) {
      continue;  // not drawn yet
    } else if (!font_) {
      AddOnce(rendered.warnings, "text not drawn: " + font_error_);
    } else if (!field.text.empty()) {
      TextDrawer(*font_, rendered.bitmap, rendered.warnings).Draw(field);
    }
  }
  return rendered;
}

}  // namespace zplport::printer
