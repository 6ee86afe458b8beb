#include "printer/glyph_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#ifdef ZPLPORT_PRINTER_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

#include <array>
#include <cmath>
#include <filesystem>

namespace zplport::printer {
namespace {

constexpr const char* kPreferredFamily = "Noto Sans CJK SC";
// Coverage from which a glyph pixel is printed; a thermal head has no grey.
constexpr unsigned char kInkThreshold = 128;
// Rendered glyphs kept for reuse, by count and by runs (12 bytes each).
constexpr std::size_t kMaxCachedGlyphs = 4096;
constexpr std::size_t kMaxCachedRuns = std::size_t{1} << 20;

// Font 0 is a bold condensed sans serif. Roboto Condensed Bold comes closest
// to the printer's face: its digits and capitals as wide, its lower case as
// tall. Liberation Sans Narrow Bold has the narrower widths of the usual
// narrow Helvetica; DejaVu Sans Condensed Bold is wider but nearly always
// there.
constexpr std::array kScalableFiles = {
    "/usr/share/fonts/truetype/roboto/unhinted/RobotoCondensed-Bold.ttf",
    "/usr/share/fonts/google-roboto-condensed/RobotoCondensed-Bold.ttf",
    "/usr/share/fonts/TTF/RobotoCondensed-Bold.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Bold.ttf",
    "/usr/share/fonts/liberation-sans-narrow/LiberationSansNarrow-Bold.ttf",
    "/usr/share/fonts/liberation/LiberationSansNarrow-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf",
    "/usr/share/fonts/dejavu/DejaVuSansCondensed-Bold.ttf",
    "/usr/share/fonts/TTF/DejaVuSansCondensed-Bold.ttf",
};
constexpr std::array kMonospaceFiles = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/dejavu/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/TTF/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationMono-Bold.ttf",
};
constexpr std::array kChineseFiles = {
    "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
    "/usr/share/fonts/noto-cjk/NotoSansCJK-Regular.ttc",
    "/usr/share/fonts/google-noto-cjk/NotoSansCJK-Regular.ttc",
    "/usr/share/fonts/opentype/noto/NotoSansCJKsc-Regular.otf",
    "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
};

// Lower scores are better; the face that best fits Simplified Chinese.
int FamilyScore(const std::string& family) {
  if (family == kPreferredFamily) return 0;
  if (family.find("CJK SC") != std::string::npos) return 1;
  if (family.ends_with(" SC")) return 2;
  return 3;
}

// fontconfig's best match for a pattern such as "monospace:bold", as a
// file; "" when there is none, or no fontconfig.
std::string MatchedFile(const char* pattern) {
#ifdef ZPLPORT_PRINTER_FONTCONFIG
  if (FcInit() == FcFalse) return "";
  FcPattern* wanted = FcNameParse(reinterpret_cast<const FcChar8*>(pattern));
  if (wanted == nullptr) return "";
  FcConfigSubstitute(nullptr, wanted, FcMatchPattern);
  FcDefaultSubstitute(wanted);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, wanted, &result);
  std::string file;
  FcChar8* path = nullptr;
  if (match != nullptr && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
    file = reinterpret_cast<const char*>(path);
  }
  if (match != nullptr) FcPatternDestroy(match);
  FcPatternDestroy(wanted);
  return file;
#else
  (void)pattern;
  return "";
#endif
}

template <std::size_t N>
std::string FirstFile(const std::array<const char*, N>& paths, const char* pattern) {
  std::error_code error;
  for (const char* path : paths) {
    if (std::filesystem::is_regular_file(path, error)) return path;
  }
  // fontconfig knows fonts installed elsewhere; its answer may lack what
  // was asked for, which then shows as another face.
  const std::string found = MatchedFile(pattern);
  if (!found.empty() && std::filesystem::is_regular_file(found, error)) return found;
  return "";
}

}  // namespace

struct GlyphFont::Library {
  FT_Library library = nullptr;
  ~Library() {
    if (library != nullptr) FT_Done_FreeType(library);
  }
};

struct GlyphFont::Face {
  FT_Face face = nullptr;
  std::string family;
  std::string style;
  double ascent = 0.88;  // share of the em above the baseline
  ~Face() {
    if (face != nullptr) FT_Done_Face(face);
  }
};

std::unique_ptr<GlyphFont> GlyphFont::Open(const std::vector<std::string>& paths,
                                           std::string* error) {
  std::unique_ptr<GlyphFont> font(new GlyphFont());
  font->library_ = std::make_unique<Library>();
  if (FT_Init_FreeType(&font->library_->library) != 0) {
    *error = "cannot start FreeType";
    return nullptr;
  }
  FT_Library library = font->library_->library;
  std::string problems;
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    FT_Face probe = nullptr;
    if (FT_New_Face(library, path.c_str(), 0, &probe) != 0) {
      problems += (problems.empty() ? "" : "; ") + ("cannot read font " + path);
      continue;
    }
    const FT_Long faces = probe->num_faces;
    FT_Long best_index = 0;
    int best_score = FamilyScore(probe->family_name != nullptr ? probe->family_name : "");
    FT_Done_Face(probe);
    for (FT_Long index = 1; index < faces && best_score > 0; ++index) {
      FT_Face face = nullptr;
      if (FT_New_Face(library, path.c_str(), index, &face) != 0) continue;
      const int score = FamilyScore(face->family_name != nullptr ? face->family_name : "");
      if (score < best_score) {
        best_score = score;
        best_index = index;
      }
      FT_Done_Face(face);
    }
    auto face = std::make_unique<Face>();
    if (FT_New_Face(library, path.c_str(), best_index, &face->face) != 0 ||
        !FT_IS_SCALABLE(face->face)) {
      problems += (problems.empty() ? "" : "; ") + ("no scalable face in font " + path);
      continue;
    }
    FT_Face ft = face->face;
    face->family = ft->family_name != nullptr ? ft->family_name : "";
    face->style = ft->style_name != nullptr ? ft->style_name : "";
    // The typographic ascender and descender span exactly the em in CJK
    // fonts; the hhea values leave room for accents.
    double ascender = ft->ascender;
    double descender = ft->descender;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    if (os2 != nullptr && os2->sTypoAscender > 0 && os2->sTypoDescender <= 0) {
      ascender = os2->sTypoAscender;
      descender = os2->sTypoDescender;
    }
    if (ascender > 0 && ascender - descender > 0) face->ascent = ascender / (ascender - descender);
    if (font->faces_.empty()) {
      const double em = ft->units_per_EM > 0 ? ft->units_per_EM : 1000.0;
      if (os2 != nullptr && os2->version >= 2 && os2->sCapHeight > 0) {
        font->cap_height_ = os2->sCapHeight / em;
      }
      if (FT_Load_Char(ft, 'M', FT_LOAD_NO_SCALE) == 0 && ft->glyph->advance.x > 0) {
        font->m_advance_ = static_cast<double>(ft->glyph->advance.x) / em;
      }
    }
    font->faces_.push_back(std::move(face));
  }
  if (font->faces_.empty()) {
    *error = problems.empty() ? "no font file" : problems;
    return nullptr;
  }
  font->SetSize(10, 10);
  return font;
}

GlyphFont::~GlyphFont() {
  faces_.clear();  // before the library they belong to
}

const std::string& GlyphFont::family() const { return faces_.front()->family; }

GlyphFont::Face* GlyphFont::FaceFor(char32_t code_point) const {
  for (const auto& face : faces_) {
    if (FT_Get_Char_Index(face->face, code_point) != 0) return face.get();
  }
  return faces_.front().get();
}

std::string GlyphFont::FamilyFor(char32_t code_point) const {
  for (const auto& face : faces_) {
    if (FT_Get_Char_Index(face->face, code_point) != 0) return face->family;
  }
  return "";
}

std::string GlyphFont::StyleFor(char32_t code_point) const {
  for (const auto& face : faces_) {
    if (FT_Get_Char_Index(face->face, code_point) != 0) return face->style;
  }
  return "";
}

void GlyphFont::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  advances_.clear();
  for (const auto& face : faces_) {
    FT_Set_Pixel_Sizes(face->face, static_cast<FT_UInt>(width), static_cast<FT_UInt>(height));
  }
}

std::int64_t GlyphFont::Advance(char32_t code_point) {
  if (const auto it = advances_.find(code_point); it != advances_.end()) return it->second;
  std::int64_t advance = 0;
  FT_Face face = FaceFor(code_point)->face;
  if (FT_Load_Char(face, code_point, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0) {
    advance = face->glyph->advance.x;
  }
  advances_.emplace(code_point, advance);
  return advance;
}

const Glyph* GlyphFont::Render(char32_t code_point) {
  const std::uint64_t key = (static_cast<std::uint64_t>(width_) << 44) ^
                            (static_cast<std::uint64_t>(height_) << 24) ^ code_point;
  if (const auto it = glyphs_.find(key); it != glyphs_.end()) return &it->second;
  const Face* chosen = FaceFor(code_point);
  FT_Face face = chosen->face;
  if (FT_Load_Char(face, code_point, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP | FT_LOAD_RENDER) !=
      0) {
    return nullptr;
  }
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return nullptr;
  Glyph glyph;
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  glyph.fallback = chosen != faces_.front().get();
  glyph.ascent = chosen->ascent;
  for (int row = 0; row < static_cast<int>(bitmap.rows); ++row) {
    const unsigned char* source = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
    const int width = static_cast<int>(bitmap.width);
    int x = 0;
    while (x < width) {
      if (source[x] < kInkThreshold) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < width && source[x] >= kInkThreshold) ++x;
      glyph.runs.push_back({row, start, x});
    }
  }
  if (glyphs_.size() >= kMaxCachedGlyphs || glyph_runs_ > kMaxCachedRuns) {
    glyphs_.clear();
    glyph_runs_ = 0;
  }
  glyph_runs_ += glyph.runs.size();
  return &glyphs_.emplace(key, std::move(glyph)).first->second;
}

LabelFontFiles FindLabelFonts() {
  return {FirstFile(kScalableFiles, "Roboto Condensed:bold"),
          FirstFile(kMonospaceFiles, "monospace:bold"), FirstFile(kChineseFiles, kPreferredFamily)};
}

}  // namespace zplport::printer
