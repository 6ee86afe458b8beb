#include "printer/text_drawer.h"

#include <algorithm>
#include <cmath>

namespace zplport::printer {
namespace {

void AddOnce(std::vector<std::string>& list, std::string item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(std::move(item));
}

bool IsSpace(char32_t c) { return c == U' ' || c == U'\t' || c == 0x3000; }

// East Asian characters may break a line anywhere.
bool BreaksAnywhere(char32_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) || c >= 0x20000;
}

char32_t UpperAscii(char32_t c) { return c >= U'a' && c <= U'z' ? c - U'a' + U'A' : c; }

// ^FB's escapes: "\&" ends a line, "\\" is one backslash.
std::vector<std::u32string> Paragraphs(const std::u32string& text) {
  std::vector<std::u32string> paragraphs(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == U'\\' && i + 1 < text.size() && text[i + 1] == U'&') {
      paragraphs.emplace_back();
      ++i;
    } else if (text[i] == U'\\' && i + 1 < text.size() && text[i + 1] == U'\\') {
      paragraphs.back().push_back(U'\\');
      ++i;
    } else {
      paragraphs.back().push_back(text[i]);
    }
  }
  return paragraphs;
}

}  // namespace

struct TextDrawer::Line {
  std::u32string text;
  std::int64_t width = 0;      // 1/64 dot
  std::int64_t indent = 0;     // 1/64 dot: ^FB's hanging indent
  bool ends_paragraph = true;  // not stretched by J justification
};

TextDrawer::TextDrawer(GlyphFont& scalable, GlyphFont* monospace, Bitmap& page,
                       std::vector<std::string>& warnings, LabelBudget& budget)
    : scalable_(scalable),
      monospace_(monospace),
      page_(page),
      warnings_(warnings),
      budget_(budget) {}

// Font 0's hyphen is a dash more than half an em long in almost an em of
// its own; the faces here have a short one, so it is drawn as a bar.
constexpr double kDashAdvance = 0.93;  // of the character width
constexpr double kDashLeft = 0.16;
constexpr double kDashLength = 0.58;
constexpr double kDashBottom = 0.25;  // of the height, above the baseline
constexpr double kDashTop = 0.35;

bool DrawsDash(const ZplField& field, char32_t c) { return c == U'-' && field.advance == 0; }

// Its ® is a superior one, under half the size, its top at the capitals',
// in a character as wide as the face's full-size one; ^GS's is full size.
constexpr double kSuperiorScale = 0.42;
bool DrawsSuperior(const ZplField& field, char32_t c) {
  return c == U'\u00AE' && field.advance == 0 && !field.symbols;
}

std::int64_t TextDrawer::Advance(const ZplField& field, char32_t c) {
  if (field.advance > 0) return static_cast<std::int64_t>(field.advance) * 64;
  if (DrawsDash(field, c)) return std::llround(kDashAdvance * field.font_width * 64);
  return font_->Advance(c);
}

// Greedy wrapping at spaces and between East Asian characters. A word wider
// than the block is broken with a hyphen at the block's edge.
std::vector<TextDrawer::Line> TextDrawer::Wrap(const ZplField& field, const std::u32string& text) {
  const std::int64_t width = static_cast<std::int64_t>(field.block->width) * 64;
  const std::int64_t indent = static_cast<std::int64_t>(field.block->hanging_indent) * 64;
  const std::int64_t hyphen = Advance(field, U'-');
  std::vector<Line> lines;
  Line line;
  auto limit = [&] { return std::max<std::int64_t>(0, width - line.indent); };
  auto add = [&](std::u32string_view piece) {
    for (const char32_t c : piece) {
      line.text.push_back(c);
      line.width += Advance(field, c);
    }
  };
  auto finish = [&](bool ends_paragraph) {
    while (!line.text.empty() && IsSpace(line.text.back())) {
      line.width -= Advance(field, line.text.back());
      line.text.pop_back();
    }
    line.ends_paragraph = ends_paragraph;
    lines.push_back(std::move(line));
    line = Line();
    line.indent = indent;
  };
  for (const std::u32string& paragraph : Paragraphs(text)) {
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
      std::int64_t unit_width = 0;
      for (const char32_t c : unit) unit_width += Advance(field, c);
      if (IsSpace(paragraph[i])) {
        if (!line.text.empty()) add(unit);
      } else if (line.width + unit_width <= limit()) {
        add(unit);
      } else if (!line.text.empty() && unit_width <= std::max<std::int64_t>(0, width - indent)) {
        finish(false);
        add(unit);
      } else {
        if (!line.text.empty()) finish(false);
        for (std::size_t k = 0; k < unit.size(); ++k) {
          const std::int64_t advance = Advance(field, unit[k]);
          const bool last = k + 1 == unit.size();
          if (!line.text.empty() && line.width + advance + (last ? 0 : hyphen) > limit()) {
            add(U"-");
            finish(false);
          }
          add(unit.substr(k, 1));
        }
      }
      i = end;
    }
    finish(true);
  }
  return lines;
}

PagePoint TextDrawer::Draw(const ZplField& field) {
  const bool bitmap_font = field.advance > 0;
  font_ = bitmap_font && monospace_ != nullptr ? monospace_ : &scalable_;
  if (bitmap_font) {
    // The face's capitals fill the cell down to the baseline; its own
    // side bearings leave about the font's gap between characters.
    em_height_ = std::max(1, static_cast<int>(std::lround(field.baseline / font_->cap_height())));
    font_->SetSize(std::max(1, static_cast<int>(std::lround(field.advance / font_->m_advance()))),
                   em_height_);
  } else {
    em_height_ = field.font_height;
    font_->SetSize(field.font_width, field.font_height);
  }
  std::u32string text = field.text;
  if (bitmap_font && BitmapFontMatrix(field.font, 203)->upper_case_only) {
    std::transform(text.begin(), text.end(), text.begin(), UpperAscii);
  }

  const int height = field.font_height;
  int max_lines = 1;
  int line_step = height;
  std::vector<Line> lines;
  std::int64_t box_width = 0;  // 1/64 dot
  if (field.block) {
    if (field.block->width < field.font_width) {
      AddOnce(warnings_, "^FB narrower than its font: text not printed");
      return {field.x, field.y};
    }
    max_lines = field.block->max_lines;
    line_step = height + field.block->line_spacing;
    lines = Wrap(field, text);
    box_width = static_cast<std::int64_t>(field.block->width) * 64;
    for (const Line& line : lines) box_width = std::max(box_width, line.indent + line.width);
  } else {
    Line line;
    line.text = text;
    for (const char32_t c : text) line.width += Advance(field, c);
    box_width = line.width;
    lines.push_back(std::move(line));
  }
  const long long frame_width = (box_width + 63) / 64;
  const long long frame_height =
      static_cast<long long>(max_lines - 1) * line_step + static_cast<long long>(height);
  // ^FT: the baseline of the block's last possible line is at the origin.
  const FieldTransform transform =
      PlaceField(field, frame_width, frame_height,
                 static_cast<long long>(max_lines - 1) * line_step + field.baseline);

  // Where a following field continues: after the last line's last
  // character, on its baseline, in page coordinates.
  auto point_at = [&](long long u, long long v) {
    PagePoint point;
    transform.MapPoint(u, v, &point.x, &point.y);
    return point;
  };

  // Glyphs may reach a little beyond their cells.
  const long long pad = height;
  const Rect area = transform.MapRect(-pad, -pad, frame_width + pad, frame_height + pad)
                        .Intersect({0, 0, page_.width, page_.height});
  if (area.empty()) {
    AddOnce(warnings_, "field outside the label not drawn");
    return point_at(frame_width,
                    static_cast<long long>(max_lines - 1) * line_step + field.baseline);
  }
  // A reversed field flips each pixel once, however its glyphs overlap.
  Bitmap mask;
  const std::size_t mask_bytes = Bitmap::BytesFor(area.x1 - area.x0, area.y1 - area.y0);
  if (field.reverse) {
    if (!budget_.Reserve(mask_bytes, "a reversed field")) return {field.x, field.y};
    mask = Bitmap(area.x1 - area.x0, area.y1 - area.y0);
  }

  PagePoint end{field.x, field.y};
  const char justification = field.block ? field.block->justification : 'L';
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const Line& line = lines[k];
    // Lines past the block's last overwrite it.
    const long long slot = std::min<long long>(static_cast<long long>(k), max_lines - 1);
    const long long line_top = slot * line_step;
    const long long baseline = line_top + field.baseline;
    const std::int64_t room = std::max<std::int64_t>(0, box_width - line.indent - line.width);
    std::int64_t pen = line.indent;
    std::int64_t space_extra = 0;  // J: per space, 1/64 dot
    if (justification == 'R') pen += room;
    if (justification == 'C') pen += room / 2;
    if (justification == 'J' && !line.ends_paragraph) {
      const auto spaces = std::count_if(line.text.begin(), line.text.end(), IsSpace);
      if (spaces > 0) space_extra = room / spaces;
    }
    for (const char32_t c : line.text) {
      if (!budget_.InTime()) return end;
      const std::int64_t advance = Advance(field, c);
      const long long left = (pen + 32) / 64;
      const Rect cell = transform.MapRect(
          left - pad, line_top - pad, left + (advance + 63) / 64 + pad, line_top + height + pad);
      if (!cell.Intersect(area).empty()) {
        DrawGlyph(c, field, transform, left, baseline, area, field.reverse ? &mask : nullptr);
      }
      pen += advance + (IsSpace(c) ? space_extra : 0);
    }
    end = point_at((pen + 32) / 64, baseline);
  }

  if (field.reverse) {
    for (int y = 0; y < mask.height; ++y) {
      for (int x = 0; x < mask.width; ++x) {
        if (mask.Black(x, y)) page_.Flip(area.x0 + x, area.y0 + y);
      }
    }
    budget_.Release(mask_bytes);
  }
  return end;
}

void TextDrawer::DrawGlyph(char32_t c, const ZplField& field, const FieldTransform& transform,
                           long long left, long long baseline, const Rect& area, Bitmap* mask) {
  auto paint = [&](long long u0, long long v0, long long u1, long long v1) {
    const Rect rect = transform.MapRect(u0, v0, u1, v1).Intersect(area);
    if (rect.empty()) return;
    if (mask != nullptr) {
      PaintRect(*mask, {rect.x0 - area.x0, rect.y0 - area.y0, rect.x1 - area.x0, rect.y1 - area.y0},
                Ink::kBlack);
    } else {
      PaintRect(page_, rect, Ink::kBlack);
    }
  };
  if (DrawsDash(field, c)) {
    const long long u0 = left + std::lround(kDashLeft * field.font_width);
    const long long u1 = u0 + std::max(1L, std::lround(kDashLength * field.font_width));
    const long long v1 = baseline - std::lround(kDashBottom * field.font_height);
    const long long v0 = std::min(v1 - 1, baseline - std::lround(kDashTop * field.font_height));
    paint(u0, v0, u1, v1);
    return;
  }
  const bool superior = DrawsSuperior(field, c);
  if (superior) {
    font_->SetSize(std::max(1L, std::lround(field.font_width * kSuperiorScale)),
                   std::max(1L, std::lround(field.font_height * kSuperiorScale)));
  }
  const Glyph* glyph = font_->Render(c);
  if (superior) font_->SetSize(field.font_width, field.font_height);
  if (glyph == nullptr) return;
  // A face after the first (Chinese, mostly) fills the cell with its em
  // box rather than standing on the printer font's baseline.
  const long long shift =
      glyph->fallback ? std::lround(glyph->ascent * em_height_) - field.baseline : 0;
  const long long u = left + glyph->left;
  const long long v = superior ? baseline - std::lround(font_->cap_height() * field.font_height)
                               : baseline + shift - glyph->top;
  // A bitmap font's characters keep to their cells.
  const bool cell = field.advance > 0;
  const long long top = baseline - field.baseline;
  for (const GlyphRun& run : glyph->runs) {
    long long u0 = u + run.x0;
    long long u1 = u + run.x1;
    const long long row = v + run.row;
    if (cell) {
      if (row < top || row >= top + field.font_height) continue;
      u0 = std::max(u0, left);
      u1 = std::min(u1, left + field.advance);
      if (u0 >= u1) continue;
    }
    paint(u0, row, u1, row + 1);
  }
}

}  // namespace zplport::printer
