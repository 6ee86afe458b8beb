// The scalable font that stands in for the printer's font 0: one face of
// an outline font file (FreeType), sized in dots with separate width and
// height, handing out glyph advances and coverage bitmaps. Chinese text
// needs a Simplified Chinese face, so collections (.ttc) are searched for
// the face whose family is "Noto Sans CJK SC" (or another SC face).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace zplport::printer {

struct Glyph {
  int left = 0;  // from the pen position to the bitmap's left edge, dots
  int top = 0;   // from the baseline up to the bitmap's top edge, dots
  int width = 0;
  int rows = 0;
  std::vector<std::uint8_t> coverage{};  // rows × width, 0 = none, 255 = full
};

class GlyphFont {
 public:
  // nullptr when the file cannot be used; `error` then says why.
  static std::unique_ptr<GlyphFont> Open(const std::string& path, std::string* error);
  ~GlyphFont();
  GlyphFont(const GlyphFont&) = delete;
  GlyphFont& operator=(const GlyphFont&) = delete;

  // Character cell in dots; the width scales glyphs horizontally.
  void SetSize(int width, int height);
  // From the top of the cell down to the baseline, dots, for the current size.
  int ascent() const { return ascent_; }
  // Pen advance in 1/64 dot.
  std::int64_t Advance(char32_t code_point);
  // False when the glyph cannot be drawn (it is then left out).
  bool Render(char32_t code_point, Glyph* glyph);

  const std::string& family() const { return family_; }
  const std::string& path() const { return path_; }

 private:
  struct Library;
  GlyphFont() = default;

  std::unique_ptr<Library> library_;
  std::string path_;
  std::string family_;
  double ascent_ratio_ = 0.88;  // share of the cell above the baseline
  int width_ = 0;
  int height_ = 0;
  int ascent_ = 0;
  std::unordered_map<char32_t, std::int64_t> advances_;  // for the current size
};

// The font file to use on this system: known locations of Noto Sans CJK,
// then whatever fontconfig (fc-match) offers for "Noto Sans CJK SC". ""
// when there is none.
std::string FindLabelFontFile();

}  // namespace zplport::printer
