#include "ui/line_wrap.h"

#include <cstddef>
#include <string_view>

namespace zplport::ui {
namespace {

struct CodePoint {
  std::size_t offset;  // of its first byte
  char32_t value;
};

// Malformed bytes count as one code point each; they are never wide.
std::vector<CodePoint> Decode(std::string_view text) {
  std::vector<CodePoint> points;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    char32_t value = lead;
    if (lead >= 0xC0 && lead < 0xE0) {
      length = 2;
      value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3;
      value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF8) {
      length = 4;
      value = lead & 0x07;
    }
    bool whole = i + length <= text.size();
    for (std::size_t k = 1; whole && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      whole = (next & 0xC0) == 0x80;
      value = (value << 6) | (next & 0x3F);
    }
    if (!whole) {
      length = 1;
      value = 0xFFFD;
    }
    points.push_back({i, value});
    i += length;
  }
  return points;
}

bool IsSpace(char32_t c) { return c == U' ' || c == U'\t' || c == U'\u3000'; }

// Chinese characters and the full-width forms, each of which may stand at
// either end of a line.
bool IsWide(char32_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF);
}

bool IsClosing(char32_t c) {
  return std::u32string_view(U"。，、；：？！）」』】》〉〕．,.;:?!)]}%").find(c) !=
         std::u32string_view::npos;
}

bool IsOpening(char32_t c) {
  return std::u32string_view(U"（「『【《〈〔([{").find(c) != std::u32string_view::npos;
}

// Whether a line may end between `before` and `after`.
bool MayBreakBetween(char32_t before, char32_t after) {
  if (IsSpace(after) || IsClosing(after) || IsOpening(before)) return false;
  return IsSpace(before) || IsWide(before) || IsWide(after);
}

}  // namespace

std::vector<std::string_view> WrapLines(std::string_view text, int width,
                                        const std::function<int(std::string_view)>& measure) {
  const std::vector<CodePoint> points = Decode(text);
  const std::size_t count = points.size();
  auto offset = [&](std::size_t index) {
    return index < count ? points[index].offset : text.size();
  };
  // Without the spaces at its end.
  auto piece = [&](std::size_t from, std::size_t to) {
    while (to > from && IsSpace(points[to - 1].value)) --to;
    return text.substr(offset(from), offset(to) - offset(from));
  };

  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < count && IsSpace(points[start].value)) ++start;
  while (start < count) {
    std::size_t end = 0;
    for (std::size_t i = start + 1; i <= count; ++i) {
      if (i < count && !MayBreakBetween(points[i - 1].value, points[i].value)) continue;
      if (measure(piece(start, i)) > width) break;
      end = i;
    }
    if (end == 0) {
      // No whole word fits: as much of the first as does, at least one
      // character.
      end = start + 1;
      while (end < count && measure(piece(start, end + 1)) <= width) ++end;
    }
    lines.push_back(piece(start, end));
    start = end;
    while (start < count && IsSpace(points[start].value)) ++start;
  }
  return lines;
}

}  // namespace zplport::ui
