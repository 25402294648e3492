// Fonts and text: CreateFontA/CreateFontIndirectA resolved through
// fontconfig (an "Arial" request gets its metric-compatible substitute),
// shaped by HarfBuzz, glyphs rendered by FreeType as 8-bit coverage and
// blended onto the framebuffer in the text colour; TextOutA,
// GetTextExtentPoint32A, DrawTextA.
//
// Metrics follow the Windows model: a negative height asks for a character
// (em) height, a positive one for a cell height (ascent + descent); the
// cell's ascent and descent come from the face's OS/2 Windows metrics. Text
// is laid out by the hinted advances without kerning or ligatures, as
// TextOut does; shaping joins combining marks to their letter (a decomposed
// "e" + U+0301 draws as the font's own "é"). A character the chosen face
// lacks is drawn from the first font in fontconfig's fallback order that has
// it, at the same character height, as Windows' font linking does; the line
// keeps the chosen face's cell. A colour bitmap font (emoji) is drawn in its
// own colours from its nearest strike, shrunk to the character height.
// Strings are in the system code page: UTF-8 when they are valid UTF-8 (the
// Linux file system's names), otherwise Windows-1252.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <hb-ft.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "platform/text_points.h"
#include "platform/winapi/gdi_objects.h"

#if defined(__SANITIZE_ADDRESS__)
#define TESSARY_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSARY_LEAK_CHECKED 1
#endif
#endif
#ifdef TESSARY_LEAK_CHECKED
// fontconfig loses a few hundred bytes while parsing its configuration
// files; the leak checker is told so rather than failing every program that
// draws text.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace platform {
namespace gdi {
namespace {

// FreeType's library and faces are used under this one lock.
std::mutex& TextLock() {
  static std::mutex lock;
  return lock;
}

FT_Library Library() {
  static FT_Library library = [] {
    FT_Library made = nullptr;
    if (FT_Init_FreeType(&made) != 0) made = nullptr;
    return made;
  }();
  return library;
}

// Cell height of a font asked with height 0.
constexpr int kDefaultCellHeight = 16;

}  // namespace

struct Glyph {
  int left = 0;     // bitmap offset from the pen position
  int top = 0;      // rows above the baseline
  int width = 0;
  int rows = 0;
  std::vector<uint8_t> coverage;
  // A colour glyph instead: premultiplied blue, green, red, alpha.
  std::vector<uint8_t> colors;
};

// One font file at the logical font's character height, with its shaper.
struct FaceFile {
  FT_Face face = nullptr;
  hb_font_t* shaper = nullptr;  // holds its own reference to `face`
  // A colour bitmap font (emoji) is drawn from its nearest strike scaled by
  // this; outline fonts are rendered at their size (1).
  double strikeScale = 1.0;
  std::unordered_map<uint32_t, Glyph> glyphs;  // by glyph index

  FaceFile() = default;
  FaceFile(const FaceFile&) = delete;
  FaceFile& operator=(const FaceFile&) = delete;
  ~FaceFile() {
    if (shaper != nullptr) hb_font_destroy(shaper);
    if (face != nullptr) FT_Done_Face(face);
  }

  bool HasCharacter(char32_t point) const { return FT_Get_Char_Index(face, point) != 0; }

  const Glyph& GlyphAt(uint32_t index) {
    auto found = glyphs.find(index);
    if (found != glyphs.end()) return found->second;
    Glyph glyph;
    if (!FT_IS_SCALABLE(face)) {
      LoadColorGlyph(index, &glyph);
    } else if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_RENDER) == 0) {
      const FT_GlyphSlot slot = face->glyph;
      const FT_Bitmap& bitmap = slot->bitmap;
      glyph.left = slot->bitmap_left;
      glyph.top = slot->bitmap_top;
      if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY && bitmap.buffer != nullptr) {
        glyph.width = static_cast<int>(bitmap.width);
        glyph.rows = static_cast<int>(bitmap.rows);
        glyph.coverage.resize(static_cast<size_t>(glyph.width) * glyph.rows);
        for (int y = 0; y < glyph.rows; ++y) {
          const uint8_t* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
          std::copy(row, row + glyph.width, glyph.coverage.begin() + y * glyph.width);
        }
      }
    }
    return glyphs.emplace(index, std::move(glyph)).first->second;
  }

  // A strike's BGRA bitmap, shrunk by averaging the pixels each result
  // pixel covers.
  void LoadColorGlyph(uint32_t index, Glyph* glyph) {
    if (FT_Load_Glyph(face, index, FT_LOAD_COLOR | FT_LOAD_RENDER) != 0) return;
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_BGRA || bitmap.buffer == nullptr) return;
    const int sourceWidth = static_cast<int>(bitmap.width);
    const int sourceRows = static_cast<int>(bitmap.rows);
    glyph->left = static_cast<int>(std::lround(slot->bitmap_left * strikeScale));
    glyph->top = static_cast<int>(std::lround(slot->bitmap_top * strikeScale));
    glyph->width = std::max(1, static_cast<int>(std::lround(sourceWidth * strikeScale)));
    glyph->rows = std::max(1, static_cast<int>(std::lround(sourceRows * strikeScale)));
    glyph->colors.assign(static_cast<size_t>(glyph->width) * glyph->rows * 4, 0);
    for (int y = 0; y < glyph->rows; ++y) {
      const int y0 = y * sourceRows / glyph->rows;
      const int y1 = std::max(y0 + 1, (y + 1) * sourceRows / glyph->rows);
      for (int x = 0; x < glyph->width; ++x) {
        const int x0 = x * sourceWidth / glyph->width;
        const int x1 = std::max(x0 + 1, (x + 1) * sourceWidth / glyph->width);
        unsigned sums[4] = {0, 0, 0, 0};
        for (int sy = y0; sy < y1; ++sy) {
          const uint8_t* row = bitmap.buffer + static_cast<ptrdiff_t>(sy) * bitmap.pitch;
          for (int sx = x0; sx < x1; ++sx) {
            for (int c = 0; c < 4; ++c) sums[c] += row[sx * 4 + c];
          }
        }
        const unsigned count = static_cast<unsigned>((y1 - y0) * (x1 - x0));
        uint8_t* out = &glyph->colors[(static_cast<size_t>(y) * glyph->width + x) * 4];
        for (int c = 0; c < 4; ++c) out[c] = static_cast<uint8_t>((sums[c] + count / 2) / count);
      }
    }
  }
};

// A font fontconfig proposes for characters the chosen face lacks.
struct Fallback {
  const FcCharSet* coverage = nullptr;  // owned by the font set
  std::string file;
  int index = 0;
  bool tried = false;                   // opening was attempted
  std::unique_ptr<FaceFile> face;       // null when it could not be opened
};

// Everything that draws one logical font: the chosen face and its fallbacks.
struct FontFace {
  std::unique_ptr<FaceFile> primary;
  double em = 0;  // character height in pixels
  int ascent = 0;
  int descent = 0;
  FcPattern* request = nullptr;     // the font as asked, after substitution
  FcFontSet* sorted = nullptr;      // fallback order, made on first need
  std::vector<Fallback> fallbacks;

  FontFace() = default;
  FontFace(const FontFace&) = delete;
  FontFace& operator=(const FontFace&) = delete;
  ~FontFace() {
    fallbacks.clear();
    if (sorted != nullptr) FcFontSetDestroy(sorted);
    if (request != nullptr) FcPatternDestroy(request);
  }
};

Font::Font() : Object(Kind::kFont) { std::memset(&log, 0, sizeof log); }

Font::~Font() {
  std::lock_guard<std::mutex> hold(TextLock());
  face.reset();
  zoomedFace.reset();
}

Font* StockFont() {
  static Font* font = [] {
    Font* f = new Font;
    f->log.lfHeight = kDefaultCellHeight;
    f->log.lfWeight = FW_NORMAL;
    std::strcpy(f->log.lfFaceName, "sans-serif");
    f->stock = true;
    Register(f);
    return f;
  }();
  return font;
}

namespace {

std::unique_ptr<FaceFile> OpenFaceFile(const char* file, int index) {
  FT_Library library = Library();
  FT_Face face = nullptr;
  if (library == nullptr || FT_New_Face(library, file, index, &face) != 0) return nullptr;
  std::unique_ptr<FaceFile> opened(new FaceFile);
  opened->face = face;
  return opened;
}

// Sets the character height and makes the shaper, which takes its scale
// from the face's size.
bool SetCharacterHeight(FaceFile* file, double em) {
  FT_Face face = file->face;
  if (!FT_IS_SCALABLE(face)) {
    // Bitmap strikes only (colour emoji): the smallest at least as large as
    // the character height, else the largest.
    if (face->num_fixed_sizes <= 0 || face->available_sizes == nullptr) return false;
    const FT_Pos wanted = std::lround(em * 64);  // 26.6 pixels, as y_ppem
    int chosen = 0;
    for (int i = 1; i < face->num_fixed_sizes; ++i) {
      const FT_Pos size = face->available_sizes[i].y_ppem;
      const FT_Pos best = face->available_sizes[chosen].y_ppem;
      const bool fits = size >= wanted, bestFits = best >= wanted;
      if (fits ? (!bestFits || size < best) : (!bestFits && size > best)) chosen = i;
    }
    const FT_Pos strike = face->available_sizes[chosen].y_ppem;
    if (strike <= 0 || FT_Select_Size(face, chosen) != 0) return false;
    file->strikeScale = em * 64 / static_cast<double>(strike);
  } else if (FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(em * 64)), 72, 72) !=
             0) {
    return false;
  }
  file->shaper = hb_ft_font_create_referenced(file->face);
  if (file->shaper == nullptr) return false;
  // Hinted advances, as GDI lays text out.
  hb_ft_font_set_load_flags(file->shaper,
                            FT_IS_SCALABLE(face) ? FT_LOAD_DEFAULT : FT_LOAD_COLOR);
  return true;
}

// Opens the face fontconfig picks for the logical font; nullptr when none.
std::unique_ptr<FontFace> OpenFace(const LOGFONTA& log) {
  if (Library() == nullptr) return nullptr;
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return nullptr;
  std::unique_ptr<FontFace> opened(new FontFace);
  opened->request = pattern;
  const char* family = log.lfFaceName[0] != '\0' ? log.lfFaceName : "sans-serif";
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  const int weight = log.lfWeight == FW_DONTCARE ? FW_NORMAL : static_cast<int>(log.lfWeight);
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::min(weight, 1000)));
  FcPatternAddInteger(pattern, FC_SLANT, log.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  if (match == nullptr) return nullptr;
  FcChar8* file = nullptr;
  int index = 0;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    opened->primary = OpenFaceFile(reinterpret_cast<const char*>(file), index);
  }
  FcPatternDestroy(match);
  if (!opened->primary) return nullptr;

  FT_Face face = opened->primary->face;
  const double unitsPerEm = face->units_per_EM > 0 ? face->units_per_EM : 2048;
  double cellAscent = face->ascender, cellDescent = -face->descender;
  const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
    cellAscent = os2->usWinAscent;
    cellDescent = os2->usWinDescent;
  }
  if (cellAscent + cellDescent <= 0) cellAscent = unitsPerEm, cellDescent = 0;
  double em;
  if (log.lfHeight < 0) {
    em = -static_cast<double>(log.lfHeight);
  } else {
    const double cell = log.lfHeight == 0 ? kDefaultCellHeight : log.lfHeight;
    em = cell * unitsPerEm / (cellAscent + cellDescent);
  }
  em = std::min(em, 2048.0);
  if (!SetCharacterHeight(opened->primary.get(), em)) return nullptr;
  opened->em = em;
  opened->ascent = static_cast<int>(std::lround(cellAscent * em / unitsPerEm));
  opened->descent = static_cast<int>(std::lround(cellDescent * em / unitsPerEm));
  return opened;
}

// The DC's font, opened on first use (under TextLock).
FontFace* FaceOf(Dc* dc) {
  Font* font = dc->font != nullptr ? dc->font : StockFont();
  if (!font->face) font->face = OpenFace(font->log);
  return font->face.get();
}

// A device coordinate of text, kept far enough inside int that glyph
// offsets added to it cannot overflow (anything beyond is clipped anyway).
int OnDevice(int64_t coordinate) {
  constexpr int64_t kReach = int64_t{1} << 28;
  return static_cast<int>(std::clamp(coordinate, -kReach, kReach));
}

// The DC's font for drawing on a device of `zoom`: zoom times as large.
FontFace* FaceOf(Dc* dc, int zoom) {
  if (zoom <= 1) return FaceOf(dc);
  Font* font = dc->font != nullptr ? dc->font : StockFont();
  if (!font->zoomedFace || font->zoomedFaceZoom != zoom) {
    LOGFONTA larger = font->log;
    const LONG height = larger.lfHeight == 0 ? kDefaultCellHeight : larger.lfHeight;
    constexpr int64_t kLargest = 65536;
    larger.lfHeight =
        static_cast<LONG>(std::clamp<int64_t>(int64_t{height} * zoom, -kLargest, kLargest));
    larger.lfWidth =
        static_cast<LONG>(std::clamp<int64_t>(int64_t{larger.lfWidth} * zoom, 0, kLargest));
    font->zoomedFace = OpenFace(larger);
    font->zoomedFaceZoom = zoom;
  }
  return font->zoomedFace.get();
}

// fontconfig's order of fonts for the request.
void SortFallbacks(FontFace* font) {
  if (font->sorted != nullptr) return;
  FcResult result = FcResultNoMatch;
  font->sorted = FcFontSort(nullptr, font->request, FcTrue, nullptr, &result);
  if (font->sorted == nullptr) return;
  for (int i = 0; i < font->sorted->nfont; ++i) {
    FcPattern* candidate = font->sorted->fonts[i];
    FcCharSet* coverage = nullptr;
    FcChar8* file = nullptr;
    if (FcPatternGetCharSet(candidate, FC_CHARSET, 0, &coverage) != FcResultMatch) continue;
    if (FcPatternGetString(candidate, FC_FILE, 0, &file) != FcResultMatch) continue;
    Fallback fallback;
    fallback.coverage = coverage;
    fallback.file = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(candidate, FC_INDEX, 0, &fallback.index);
    font->fallbacks.push_back(std::move(fallback));
  }
}

FaceFile* FaceOfFallback(FontFace* font, Fallback* fallback) {
  if (!fallback->tried) {
    fallback->tried = true;
    fallback->face = OpenFaceFile(fallback->file.c_str(), fallback->index);
    if (fallback->face && !SetCharacterHeight(fallback->face.get(), font->em)) {
      fallback->face.reset();
    }
  }
  return fallback->face.get();
}

// Joiners and variation selectors need no glyph of their own.
bool NeedsNoGlyph(char32_t point) {
  return point == 0x200C || point == 0x200D || (point >= 0xFE00 && point <= 0xFE0F);
}

// A mark or joiner belongs to the character before it.
bool JoinsPrevious(char32_t point) {
  if (point == 0x200D) return true;
  switch (hb_unicode_general_category(hb_unicode_funcs_get_default(), point)) {
    case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
      return true;
    default:
      return false;
  }
}

// Where each cluster (a character with the marks and joined characters that
// follow it) begins, and the text's length at the end.
std::vector<size_t> ClusterStarts(const std::u32string& text) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool joined = i > 0 && (JoinsPrevious(text[i]) || text[i - 1] == 0x200D);
    if (!joined) starts.push_back(i);
  }
  starts.push_back(text.size());
  return starts;
}

struct BufferOwner {
  hb_buffer_t* buffer = hb_buffer_create();
  BufferOwner() = default;
  BufferOwner(const BufferOwner&) = delete;
  BufferOwner& operator=(const BufferOwner&) = delete;
  ~BufferOwner() { hb_buffer_destroy(buffer); }
};

// Shapes text[begin, end) with its neighbours as context; cluster values are
// indexes into `text`.
void Shape(FaceFile* file, const std::u32string& text, size_t begin, size_t end,
           hb_buffer_t* buffer) {
  // TextOut neither kerns nor forms ligatures.
  static const hb_feature_t kFeatures[] = {
      {HB_TAG('k', 'e', 'r', 'n'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END},
      {HB_TAG('l', 'i', 'g', 'a'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END},
      {HB_TAG('c', 'l', 'i', 'g'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END}};
  hb_buffer_clear_contents(buffer);
  hb_buffer_add_utf32(buffer, reinterpret_cast<const uint32_t*>(text.data()),
                      static_cast<int>(text.size()), static_cast<unsigned>(begin),
                      static_cast<int>(end - begin));
  hb_buffer_guess_segment_properties(buffer);
  hb_shape(file->shaper, buffer, kFeatures, sizeof kFeatures / sizeof kFeatures[0]);
}

// True when the face draws text[begin, end) with no missing glyph (marks
// may be composed with their letter into one of the face's glyphs).
bool Draws(FaceFile* file, const std::u32string& text, size_t begin, size_t end) {
  bool every = true;
  for (size_t i = begin; i < end && every; ++i) {
    every = NeedsNoGlyph(text[i]) || file->HasCharacter(text[i]);
  }
  if (every) return true;
  if (!file->HasCharacter(text[begin])) return false;
  BufferOwner owner;
  Shape(file, text, begin, end, owner.buffer);
  unsigned count = 0;
  const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(owner.buffer, &count);
  for (unsigned i = 0; i < count; ++i) {
    if (info[i].codepoint == 0) return false;
  }
  return true;
}

bool Covers(const Fallback& fallback, const std::u32string& text, size_t begin, size_t end) {
  for (size_t i = begin; i < end; ++i) {
    if (!NeedsNoGlyph(text[i]) && !FcCharSetHasChar(fallback.coverage, text[i])) return false;
  }
  return true;
}

// The face that draws the cluster text[begin, end): the chosen one when it
// can, else the first fallback that has every character, else the first
// that has its base character; the chosen face's missing-glyph box when
// none has.
FaceFile* FaceForCluster(FontFace* font, const std::u32string& text, size_t begin, size_t end) {
  if (Draws(font->primary.get(), text, begin, end)) return font->primary.get();
  SortFallbacks(font);
  for (size_t wanted : {end, begin + 1}) {
    for (Fallback& fallback : font->fallbacks) {
      if (!Covers(fallback, text, begin, wanted)) continue;
      FaceFile* file = FaceOfFallback(font, &fallback);
      if (file != nullptr) return file;
    }
  }
  return font->primary.get();
}

struct PlacedGlyph {
  FaceFile* file = nullptr;
  uint32_t index = 0;
  int x = 0;  // from the line's left edge
  int y = 0;  // down from the baseline
};

// A line of text shaped and placed.
struct Layout {
  std::vector<PlacedGlyph> glyphs;
  std::vector<size_t> clusterStarts;  // as ClusterStarts gives them
  std::vector<int> clusterLefts;      // width of the clusters before each, and the whole width
  int width = 0;
};

// A shaper position (26.6, in the face's strike pixels) in whole pixels.
int Pixels(const FaceFile* file, hb_position_t position) {
  if (file->strikeScale == 1.0) return static_cast<int>((position + 32) >> 6);
  return static_cast<int>(std::lround(position * file->strikeScale / 64));
}

Layout LayOut(FontFace* font, const std::u32string& text) {
  Layout layout;
  layout.clusterStarts = ClusterStarts(text);
  const size_t clusters = layout.clusterStarts.size() - 1;
  std::vector<FaceFile*> faces(clusters);
  std::vector<size_t> clusterOfPoint(text.size());
  for (size_t c = 0; c < clusters; ++c) {
    const size_t begin = layout.clusterStarts[c], end = layout.clusterStarts[c + 1];
    faces[c] = FaceForCluster(font, text, begin, end);
    std::fill(clusterOfPoint.begin() + begin, clusterOfPoint.begin() + end, c);
  }
  std::vector<int> clusterWidths(clusters, 0);
  BufferOwner owner;
  int pen = 0;
  for (size_t c = 0; c < clusters;) {
    size_t next = c + 1;
    while (next < clusters && faces[next] == faces[c]) ++next;
    Shape(faces[c], text, layout.clusterStarts[c], layout.clusterStarts[next], owner.buffer);
    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(owner.buffer, &count);
    const hb_glyph_position_t* position = hb_buffer_get_glyph_positions(owner.buffer, &count);
    for (unsigned i = 0; i < count; ++i) {
      PlacedGlyph glyph;
      glyph.file = faces[c];
      glyph.index = info[i].codepoint;
      glyph.x = pen + Pixels(faces[c], position[i].x_offset);
      glyph.y = -Pixels(faces[c], position[i].y_offset);
      layout.glyphs.push_back(glyph);
      const int advance = Pixels(faces[c], position[i].x_advance);
      pen += advance;
      if (info[i].cluster < text.size()) clusterWidths[clusterOfPoint[info[i].cluster]] += advance;
    }
    c = next;
  }
  layout.width = pen;
  layout.clusterLefts.assign(clusters + 1, 0);
  for (size_t c = 0; c < clusters; ++c) {
    layout.clusterLefts[c + 1] = layout.clusterLefts[c] + clusterWidths[c];
  }
  return layout;
}

int WidthOf(FontFace* font, const std::u32string& text) { return LayOut(font, text).width; }

std::string Bytes(LPCSTR text, int length) {
  if (text == nullptr) return std::string();
  if (length < 0) return std::string(text);
  return std::string(text, static_cast<size_t>(length));
}

uint8_t Blend(uint8_t under, uint8_t over, unsigned alpha) {
  return static_cast<uint8_t>((over * alpha + under * (255 - alpha) + 127) / 255);
}

// A colour glyph keeps its own colours (premultiplied: over = source +
// under * (1 - alpha)).
void DrawColorGlyph(const Target& target, const Glyph& glyph, int gx, int gy, const RECT& visible) {
  for (LONG y = visible.top; y < visible.bottom; ++y) {
    uint8_t* row = reinterpret_cast<uint8_t*>(target.Row(y));
    const uint8_t* source = glyph.colors.data() + static_cast<size_t>(y - gy) * glyph.width * 4;
    for (LONG px = visible.left; px < visible.right; ++px) {
      const uint8_t* s = source + (px - gx) * 4;
      if (s[3] == 0) continue;
      uint8_t* q = row + px * 4;
      for (int c = 0; c < 3; ++c) {
        q[c] = static_cast<uint8_t>(std::min(255u, s[c] + (q[c] * (255u - s[3]) + 127) / 255));
      }
    }
  }
}

// Draws one laid-out line with its cell's top-left corner at device (x, top).
void DrawLine(const Target& target, FontFace* font, const Layout& line, int x, int top,
              const Dc& dc) {
  if (dc.bkMode == OPAQUE) {
    RECT cell = {x, top, x + line.width, top + font->ascent + font->descent}, visible;
    if (Intersect(cell, target.clip, &visible)) {
      const uint32_t pixel = PixelOf(dc.bkColor);
      for (LONG y = visible.top; y < visible.bottom; ++y) {
        std::fill(target.Row(y) + visible.left, target.Row(y) + visible.right, pixel);
      }
    }
  }
  const uint8_t red = GetRValue(dc.textColor), green = GetGValue(dc.textColor),
                blue = GetBValue(dc.textColor);
  const int baseline = top + font->ascent;
  for (const PlacedGlyph& placed : line.glyphs) {
    const Glyph& glyph = placed.file->GlyphAt(placed.index);
    const int gx = x + placed.x + glyph.left, gy = baseline + placed.y - glyph.top;
    RECT box = {gx, gy, gx + glyph.width, gy + glyph.rows}, visible;
    if (glyph.width <= 0 || !Intersect(box, target.clip, &visible)) continue;
    if (!glyph.colors.empty()) {
      DrawColorGlyph(target, glyph, gx, gy, visible);
      continue;
    }
    for (LONG y = visible.top; y < visible.bottom; ++y) {
      uint8_t* row = reinterpret_cast<uint8_t*>(target.Row(y));
      const uint8_t* coverage = glyph.coverage.data() + (y - gy) * glyph.width;
      for (LONG px = visible.left; px < visible.right; ++px) {
        const unsigned alpha = coverage[px - gx];
        if (alpha == 0) continue;
        uint8_t* q = row + px * 4;
        q[0] = Blend(q[0], blue, alpha);
        q[1] = Blend(q[1], green, alpha);
        q[2] = Blend(q[2], red, alpha);
      }
    }
  }
}

// DrawText's ellipsis is three full stops.
const std::u32string kEllipsis = U"...";

// The line cut between clusters so that it and an ellipsis fit `width`,
// with the ellipsis; unchanged when it fits and nothing follows it.
std::u32string EndEllipsized(FontFace* font, const std::u32string& line, int width,
                             bool textFollows) {
  const Layout layout = LayOut(font, line);
  if (!textFollows && layout.width <= width) return line;
  const int room = width - WidthOf(font, kEllipsis);
  size_t kept = layout.clusterLefts.size() - 1;
  while (kept > 0 && layout.clusterLefts[kept] > room) --kept;
  return line.substr(0, layout.clusterStarts[kept]) + kEllipsis;
}

// DrawTextA's "&" prefixes: "&&" is one ampersand, "&x" shows x (quirk: the
// mnemonic underline is not drawn).
std::string StripPrefixes(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    else if (text[i] == '&') continue;
    out.push_back(text[i]);
  }
  return out;
}

// Splits into lines at CR LF, LF or CR; with word breaking, also between
// words where a line would pass `width` (a single word wider than that stays
// whole and is clipped). Stops once there are more than `lineLimit` lines.
std::vector<std::u32string> Lines(FontFace* font, const std::u32string& text, bool singleLine,
                                  bool wordBreak, int width, size_t lineLimit) {
  std::vector<std::u32string> hard;
  if (singleLine) {
    std::u32string line;
    for (char32_t c : text) {
      if (c != U'\r' && c != U'\n') line.push_back(c);
    }
    hard.push_back(line);
  } else {
    std::u32string line;
    for (size_t i = 0; i < text.size(); ++i) {
      const char32_t c = text[i];
      if (c == U'\r' || c == U'\n') {
        hard.push_back(line);
        line.clear();
        if (c == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
      } else {
        line.push_back(c);
      }
    }
    hard.push_back(line);
  }
  if (!wordBreak || singleLine) return hard;

  std::vector<std::u32string> lines;
  for (const std::u32string& paragraph : hard) {
    if (lines.size() > lineLimit) break;
    std::u32string line;
    size_t i = 0;
    bool placed = false;
    while (i < paragraph.size() && lines.size() <= lineLimit) {
      // Next word with the blanks before it.
      size_t end = i;
      while (end < paragraph.size() && paragraph[end] == U' ') ++end;
      while (end < paragraph.size() && paragraph[end] != U' ') ++end;
      const std::u32string piece = paragraph.substr(i, end - i);
      if (placed && WidthOf(font, line + piece) > width) {
        lines.push_back(line);
        size_t start = 0;
        while (start < piece.size() && piece[start] == U' ') ++start;  // blanks end the line
        line = piece.substr(start);
      } else {
        line += piece;
      }
      placed = true;
      i = end;
    }
    // Trailing blanks do not count for centring.
    while (!line.empty() && line.back() == U' ') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace
}  // namespace gdi
}  // namespace platform

using namespace platform::gdi;

std::string platform::FontFamilyOf(HFONT handle) {
  Font* font = FindAs<Font>(handle, Kind::kFont);
  if (font == nullptr) return std::string();
  std::lock_guard<std::mutex> hold(TextLock());
  if (!font->face) font->face = OpenFace(font->log);
  if (!font->face || font->face->primary->face->family_name == nullptr) return std::string();
  return font->face->primary->face->family_name;
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight,
                  DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                  DWORD outPrecision, DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily,
                  LPCSTR faceName) {
  LOGFONTA log;
  std::memset(&log, 0, sizeof log);
  log.lfHeight = height;
  log.lfWidth = width;
  log.lfEscapement = escapement;
  log.lfOrientation = orientation;
  log.lfWeight = weight;
  log.lfItalic = static_cast<BYTE>(italic);
  log.lfUnderline = static_cast<BYTE>(underline);
  log.lfStrikeOut = static_cast<BYTE>(strikeOut);
  log.lfCharSet = static_cast<BYTE>(charSet);
  log.lfOutPrecision = static_cast<BYTE>(outPrecision);
  log.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  log.lfQuality = static_cast<BYTE>(quality);
  log.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  if (faceName != nullptr) std::strncpy(log.lfFaceName, faceName, LF_FACESIZE - 1);
  return CreateFontIndirectA(&log);
}

HFONT CreateFontIndirectA(const LOGFONTA* log) {
  if (log == nullptr) return nullptr;
  Font* font = new Font;
  font->log = *log;
  font->log.lfFaceName[LF_FACESIZE - 1] = '\0';
  Register(font);
  return HandleOf(font);
}

int SetBkMode(HDC dc, int mode) {
  Dc* object = FindDc(dc);
  if (object == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  const int previous = object->bkMode;
  object->bkMode = mode;
  return previous;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
  Dc* object = FindDc(dc);
  if (object == nullptr) return CLR_INVALID;
  const COLORREF previous = object->bkColor;
  object->bkColor = color & 0x00FFFFFF;
  return previous;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
  Dc* object = FindDc(dc);
  if (object == nullptr) return CLR_INVALID;
  const COLORREF previous = object->textColor;
  object->textColor = color & 0x00FFFFFF;
  return previous;
}

UINT SetTextAlign(HDC dc, UINT align) {
  Dc* object = FindDc(dc);
  if (object == nullptr) return GDI_ERROR;
  const UINT previous = object->textAlign;
  object->textAlign = align;
  return previous;
}

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, LPSIZE size) {
  Dc* object = FindDc(dc);
  if (object == nullptr || size == nullptr || (text == nullptr && length != 0)) return FALSE;
  std::lock_guard<std::mutex> hold(TextLock());
  FontFace* font = FaceOf(object);
  if (font == nullptr) return FALSE;
  size->cx = WidthOf(font, platform::TextCodePoints(Bytes(text, length < 0 ? 0 : length)));
  size->cy = font->ascent + font->descent;
  return TRUE;
}

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length) {
  Dc* object = FindDc(dc);
  if (object == nullptr || (text == nullptr && length != 0) || length < 0) return FALSE;
  Target target;
  if (!GetTarget(object, &target)) return FALSE;
  std::lock_guard<std::mutex> hold(TextLock());
  // Laid out and placed in device pixels, in the font at the device's size.
  FontFace* font = FaceOf(object, target.zoom);
  if (font == nullptr) return FALSE;
  const Layout line = LayOut(font, platform::TextCodePoints(Bytes(text, length)));
  int left = OnDevice(target.DeviceX(x));
  switch (object->textAlign & (TA_CENTER | TA_RIGHT)) {
    case TA_CENTER:
      left -= line.width / 2;
      break;
    case TA_RIGHT:
      left -= line.width;
      break;
    default:
      break;
  }
  int top = OnDevice(target.DeviceY(y));
  switch (object->textAlign & TA_BASELINE) {
    case TA_BASELINE:
      top -= font->ascent;
      break;
    case TA_BOTTOM:
      top -= font->ascent + font->descent;
      break;
    default:
      break;
  }
  DrawLine(target, font, line, left, top, *object);
  return TRUE;
}

namespace {

// DrawTextA's ellipsis rules. Without word breaking every line too wide for
// the rectangle ends in an ellipsis. With word breaking a word too wide for
// its line is clipped, and the text's last line ends in one when it is too
// wide; with DT_EDITCONTROL as well, a line only partly inside the
// rectangle is not drawn, and the last line drawn ends in an ellipsis when
// text follows it.
void ApplyEndEllipsis(FontFace* font, std::vector<std::u32string>* lines, bool wordBreak,
                      int boxWidth, bool textFollows) {
  if (lines->empty()) return;
  if (!wordBreak) {
    for (auto& line : *lines) line = EndEllipsized(font, line, boxWidth, false);
    return;
  }
  std::u32string& last = lines->back();
  last = EndEllipsized(font, last, boxWidth, textFollows);
}

}  // namespace

int DrawTextA(HDC dc, LPCSTR text, int length, LPRECT rect, UINT format) {
  Dc* object = FindDc(dc);
  if (object == nullptr || rect == nullptr || (text == nullptr && length != 0)) return 0;
  const bool calculate = (format & DT_CALCRECT) != 0;
  Target target;
  if (!calculate && !GetTarget(object, &target)) return 0;
  std::lock_guard<std::mutex> hold(TextLock());
  FontFace* font = FaceOf(object);
  if (font == nullptr) return 0;
  std::string bytes = Bytes(text, length);
  if ((format & DT_NOPREFIX) == 0) bytes = StripPrefixes(bytes);
  const bool singleLine = (format & DT_SINGLELINE) != 0;
  const bool wordBreak = (format & DT_WORDBREAK) != 0 && !singleLine;
  const int boxWidth = static_cast<int>(rect->right - rect->left);
  const int boxHeight = static_cast<int>(rect->bottom - rect->top);
  const int lineHeight = font->ascent + font->descent;
  // Lines wholly inside the rectangle: with DT_EDITCONTROL no others are drawn.
  size_t wholeLines = SIZE_MAX;
  if ((format & DT_EDITCONTROL) != 0 && !singleLine && !calculate && lineHeight > 0) {
    wholeLines = static_cast<size_t>(std::max(boxHeight, 0) / lineHeight);
  }
  std::vector<std::u32string> lines =
      Lines(font, platform::TextCodePoints(bytes), singleLine, wordBreak, boxWidth, wholeLines);
  const bool textFollows = lines.size() > wholeLines;
  if (textFollows) lines.resize(wholeLines);
  if ((format & DT_END_ELLIPSIS) != 0) {
    ApplyEndEllipsis(font, &lines, wordBreak, boxWidth, textFollows);
  }
  std::vector<Layout> laidOut;
  laidOut.reserve(lines.size());
  for (const auto& line : lines) laidOut.push_back(LayOut(font, line));
  const int textHeight = lineHeight * static_cast<int>(lines.size());

  if (calculate) {
    int widest = 0;
    for (const auto& line : laidOut) widest = std::max(widest, line.width);
    rect->right = rect->left + widest;
    rect->bottom = rect->top + textHeight;
    return textHeight;
  }

  // Vertical placement applies to single lines only, as on Windows: with
  // several lines DT_VCENTER and DT_BOTTOM are ignored.
  int top = static_cast<int>(rect->top);
  if (singleLine && (format & DT_VCENTER) != 0) {
    top += (boxHeight - lineHeight) / 2;
  } else if (singleLine && (format & DT_BOTTOM) != 0) {
    top = static_cast<int>(rect->bottom) - lineHeight;
  }
  // The lines are the logical font's; a zoomed device draws each in the
  // font at its size, placed in the zoomed box.
  const int zoom = target.zoom;
  FontFace* drawn = zoom > 1 ? FaceOf(object, zoom) : font;
  if (drawn == nullptr) return 0;
  const int boxLeft = OnDevice(target.DeviceX(rect->left));
  const int boxRight = OnDevice(target.DeviceX(rect->right));
  if ((format & DT_NOCLIP) == 0) {
    RECT box = {boxLeft, OnDevice(target.DeviceY(rect->top)), boxRight,
                OnDevice(target.DeviceY(rect->bottom))};
    Intersect(target.clip, box, &target.clip);
  }
  int lineTop = top;
  for (size_t i = 0; i < laidOut.size(); ++i) {
    Layout zoomedLine;
    if (zoom > 1) zoomedLine = LayOut(drawn, lines[i]);
    const Layout& line = zoom > 1 ? zoomedLine : laidOut[i];
    int left = boxLeft;
    if ((format & DT_CENTER) != 0) {
      left += (boxRight - boxLeft - line.width) / 2;
    } else if ((format & DT_RIGHT) != 0) {
      left = boxRight - line.width;
    }
    DrawLine(target, drawn, line, left, OnDevice(target.DeviceY(lineTop)), *object);
    lineTop += lineHeight;
  }
  // With DT_VCENTER or DT_BOTTOM the result is the offset from the top of
  // the rectangle to the bottom of the text.
  if ((format & (DT_VCENTER | DT_BOTTOM)) != 0) return top - static_cast<int>(rect->top) + textHeight;
  return textHeight;
}
