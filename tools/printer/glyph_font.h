// Outline fonts (FreeType) that stand in for the printer's fonts: one or
// more faces used together, the first face that has a character drawing
// it, sized in dots with separate width and height, handing out glyph
// advances and coverage bitmaps. Chinese text needs a Simplified Chinese
// face, so collections (.ttc) are searched for the face whose family is
// "Noto Sans CJK SC" (or another SC face).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace zplport::printer {

// A glyph's inked pixels, those a thermal head prints (no grey), as runs
// of columns per row.
struct GlyphRun {
  int row = 0;  // from the top of the glyph's bitmap
  int x0 = 0;   // columns [x0, x1) from its left edge
  int x1 = 0;
};

struct Glyph {
  int left = 0;  // from the pen position to the bitmap's left edge, dots
  int top = 0;   // from the baseline up to the bitmap's top edge, dots
  std::vector<GlyphRun> runs{};
  // Drawn by a face after the first: its share of the em above its
  // baseline, so that the caller can place its em box in the cell.
  bool fallback = false;
  double ascent = 0;
};

class GlyphFont {
 public:
  // The faces in order of preference; files that cannot be read are left
  // out. nullptr when none can be used; `error` then says why.
  static std::unique_ptr<GlyphFont> Open(const std::vector<std::string>& paths, std::string* error);
  ~GlyphFont();
  GlyphFont(const GlyphFont&) = delete;
  GlyphFont& operator=(const GlyphFont&) = delete;

  // The em square in dots: `width` scales glyphs horizontally.
  void SetSize(int width, int height);
  // Pen advance in 1/64 dot.
  std::int64_t Advance(char32_t code_point);
  // At the current size; nullptr when the glyph cannot be drawn (it is
  // then left out). Valid until the next call; kept for reuse.
  const Glyph* Render(char32_t code_point);

  // Of the first face, as shares of the em: capital height, and the
  // advance of "M" (all characters', in a monospaced face).
  double cap_height() const { return cap_height_; }
  double m_advance() const { return m_advance_; }

  const std::string& family() const;  // the first face's
  // The family of the face that draws `code_point`; "" when none has it.
  std::string FamilyFor(char32_t code_point) const;
  std::string StyleFor(char32_t code_point) const;

 private:
  struct Face;
  GlyphFont() = default;
  Face* FaceFor(char32_t code_point) const;

  struct Library;
  std::unique_ptr<Library> library_;
  std::vector<std::unique_ptr<Face>> faces_;
  double cap_height_ = 0.7;
  double m_advance_ = 0.6;
  int width_ = 0;
  int height_ = 0;
  std::unordered_map<char32_t, std::int64_t> advances_;  // for the current size
  // Rendered glyphs by size and code point, dropped when too many.
  std::unordered_map<std::uint64_t, Glyph> glyphs_;
  std::size_t glyph_runs_ = 0;
};

// Font files for the printer's fonts, each "" when none was found.
struct LabelFontFiles {
  std::string scalable;   // font 0: a bold condensed sans, like the printer's
  std::string monospace;  // the bitmap fonts A to H
  std::string chinese;    // Simplified Chinese, for whatever the others lack
};

// Known locations on Debian, Fedora and Arch, then fontconfig's best match.
LabelFontFiles FindLabelFonts();

}  // namespace zplport::printer
