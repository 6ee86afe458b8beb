#include "printer/glyph_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace zplport::printer {
namespace {

constexpr const char* kPreferredFamily = "Noto Sans CJK SC";

// Where Debian, Fedora and Arch put Noto Sans CJK.
constexpr std::array kKnownFontFiles = {
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

}  // namespace

struct GlyphFont::Library {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~Library() {
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
  }
};

std::unique_ptr<GlyphFont> GlyphFont::Open(const std::string& path, std::string* error) {
  std::unique_ptr<GlyphFont> font(new GlyphFont());
  font->library_ = std::make_unique<Library>();
  font->path_ = path;
  Library& ft = *font->library_;
  if (FT_Init_FreeType(&ft.library) != 0) {
    *error = "cannot start FreeType";
    return nullptr;
  }
  FT_Face probe = nullptr;
  if (FT_New_Face(ft.library, path.c_str(), 0, &probe) != 0) {
    *error = "cannot read font " + path;
    return nullptr;
  }
  const FT_Long faces = probe->num_faces;
  FT_Long best_index = 0;
  int best_score = FamilyScore(probe->family_name != nullptr ? probe->family_name : "");
  FT_Done_Face(probe);
  for (FT_Long index = 1; index < faces && best_score > 0; ++index) {
    FT_Face face = nullptr;
    if (FT_New_Face(ft.library, path.c_str(), index, &face) != 0) continue;
    const int score = FamilyScore(face->family_name != nullptr ? face->family_name : "");
    if (score < best_score) {
      best_score = score;
      best_index = index;
    }
    FT_Done_Face(face);
  }
  if (FT_New_Face(ft.library, path.c_str(), best_index, &ft.face) != 0 ||
      !FT_IS_SCALABLE(ft.face)) {
    *error = "no scalable face in font " + path;
    return nullptr;
  }
  font->family_ = ft.face->family_name != nullptr ? ft.face->family_name : "";
  // The typographic ascender and descender span exactly the cell in CJK
  // fonts; the hhea values leave room for accents and would shrink it.
  double ascender = ft.face->ascender;
  double descender = ft.face->descender;
  if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft.face, FT_SFNT_OS2));
      os2 != nullptr && os2->sTypoAscender > 0 && os2->sTypoDescender <= 0) {
    ascender = os2->sTypoAscender;
    descender = os2->sTypoDescender;
  }
  if (ascender > 0 && ascender - descender > 0) {
    font->ascent_ratio_ = ascender / (ascender - descender);
  }
  font->SetSize(10, 10);
  return font;
}

GlyphFont::~GlyphFont() = default;

void GlyphFont::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  ascent_ = static_cast<int>(std::lround(height * ascent_ratio_));
  advances_.clear();
  FT_Set_Pixel_Sizes(library_->face, static_cast<FT_UInt>(width), static_cast<FT_UInt>(height));
}

std::int64_t GlyphFont::Advance(char32_t code_point) {
  if (const auto it = advances_.find(code_point); it != advances_.end()) return it->second;
  std::int64_t advance = 0;
  if (FT_Load_Char(library_->face, code_point, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0) {
    advance = library_->face->glyph->advance.x;
  }
  advances_.emplace(code_point, advance);
  return advance;
}

bool GlyphFont::Render(char32_t code_point, Glyph* glyph) {
  FT_Face face = library_->face;
  if (FT_Load_Char(face, code_point, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP | FT_LOAD_RENDER) !=
      0) {
    return false;
  }
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bitmap = slot->bitmap;
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) return false;
  glyph->left = slot->bitmap_left;
  glyph->top = slot->bitmap_top;
  glyph->width = static_cast<int>(bitmap.width);
  glyph->rows = static_cast<int>(bitmap.rows);
  glyph->coverage.resize(static_cast<std::size_t>(glyph->width) * glyph->rows);
  for (int row = 0; row < glyph->rows; ++row) {
    const unsigned char* source = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
    std::copy(source, source + glyph->width,
              glyph->coverage.begin() + static_cast<std::ptrdiff_t>(row) * glyph->width);
  }
  return true;
}

std::string FindLabelFontFile() {
  std::error_code error;
  for (const char* path : kKnownFontFiles) {
    if (std::filesystem::is_regular_file(path, error)) return path;
  }
  // fontconfig knows fonts installed elsewhere; its answer may lack Chinese,
  // which then shows as empty boxes rather than not at all.
  std::string found;
  if (FILE* pipe = popen("fc-match -f '%{file}' 'Noto Sans CJK SC' 2>/dev/null", "r")) {
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) found.append(buffer, n);
    pclose(pipe);
  }
  if (!found.empty() && std::filesystem::is_regular_file(found, error)) return found;
  return "";
}

}  // namespace zplport::printer
