// PNG codec over libpng 1.6.
//
// Error handling. libpng raises a fatal error by calling our error handler,
// which long-jumps back to the recovery point set with setjmp. A long jump
// that skips a C++ object with a destructor is undefined, so every libpng
// call that can raise is made inside one of the small "stage" functions
// below: each sets its own recovery point, holds only trivially destructible
// locals and tells the caller through its result whether libpng gave up. The
// owners of the file, the libpng structures and the blocks live in Read and
// Write, which are never jumped over, so every way out frees each of them once.
//
// Adaptations to libpng 1.6 (the codec was laid out for the 1.0 series):
// - the structures are created for the library's own version string
//   (PNG_LIBPNG_VER_STRING): 1.6 refuses a structure made for "1.0.2";
// - a gamma correction too small to matter (product within 0.05 of 1) is
//   asked for as gamma 1 on both sides: libpng 1.6 would otherwise still
//   composite alpha in linear light, which the 1.0 series did not;
// - png_get_gAMA (and PNG_INFO_gAMA) also report the gamma implied by an sRGB
//   or ICC chunk, so the file gamma is read from the gAMA chunk itself, which
//   libpng is told to hand over as an unknown chunk: a file with sRGB and no
//   gAMA is not corrected, and one with both keeps its gAMA value;
// - png_get_text also reports iTXt chunks; they enter the read text list, a
//   compressed iTXt with the compressed flag set;
// - libpng 1.6 keeps its default limit of 1,000,000 pixels for width and height
//   on write; on read the limits are the largest sides the memory bound allows.
//
// Memory. The reader keeps to the bound of one picture (kMaxPictureMemory)
// with libpng's memory included: libpng allocates through a counting
// allocator that refuses whatever would take libpng past the share the bound
// leaves it. libpng's own chunk limit (png_set_chunk_malloc_max) is set to
// that share too, but a chunk over it only draws a warning on reading, after
// which libpng would still ask for the chunk's whole declared length: it is
// the refusal that makes libpng skip such a chunk (and a file that does not
// hold it then ends in a read error, code 15).
#include "imaging/codecs/png.h"

#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/reader_prelude.h"

PngCodec::PngCodec() { ++GetThreadState().operationDepth; }
PngCodec::~PngCodec() { --GetThreadState().operationDepth; }

namespace {

// Fatal libpng errors: back to the recovery point of the stage under way.
[[noreturn]] void PngErrorHandler(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Warnings are ignored.
void PngWarningHandler(png_structp, png_const_charp) {}

// What libpng holds while it reads, and how much it may hold.
struct LibpngMemory {
  uint64_t held = 0;
  uint64_t allowance = pelorn::kMaxPictureMemory;
};

// Each block carries its size in front, so that freeing it can be counted.
constexpr size_t kSizePrefixBytes = alignof(std::max_align_t);

png_voidp AllocateCounted(png_structp png, png_alloc_size_t bytes) {
  auto* memory = static_cast<LibpngMemory*>(png_get_mem_ptr(png));
  if (memory->held > memory->allowance || bytes > memory->allowance - memory->held ||
      bytes > SIZE_MAX - kSizePrefixBytes) {
    return nullptr;
  }
  auto* start = static_cast<unsigned char*>(std::malloc(bytes + kSizePrefixBytes));
  if (start == nullptr) return nullptr;
  std::memcpy(start, &bytes, sizeof bytes);
  memory->held += bytes;
  return start + kSizePrefixBytes;
}

void FreeCounted(png_structp png, png_voidp block) {
  if (block == nullptr) return;
  auto* memory = static_cast<LibpngMemory*>(png_get_mem_ptr(png));
  unsigned char* start = static_cast<unsigned char*>(block) - kSizePrefixBytes;
  png_alloc_size_t bytes = 0;
  std::memcpy(&bytes, start, sizeof bytes);
  memory->held -= bytes;
  std::free(start);
}

// libpng's chunk limit follows its allowance; 0 would mean no limit at all.
void LimitChunks(png_structp png, const LibpngMemory& memory) {
  png_set_chunk_malloc_max(png, memory.allowance > 0 ? static_cast<png_alloc_size_t>(memory.allowance) : 1);
}

// The longest sides a picture of 3-byte pixels (plus one row pointer a row)
// can have within the bound; libpng refuses a header beyond them.
constexpr png_uint_32 kLargestWidth = static_cast<png_uint_32>(pelorn::kMaxPictureMemory / 3);
constexpr png_uint_32 kLargestHeight =
    static_cast<png_uint_32>(pelorn::kMaxPictureMemory / (3 + sizeof(png_bytep)));

// The read structures, destroyed once on every way out.
class PngReadStructs {
 public:
  PngReadStructs() = default;
  ~PngReadStructs() {
    if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
  }
  PngReadStructs(const PngReadStructs&) = delete;
  PngReadStructs& operator=(const PngReadStructs&) = delete;

  png_structp png = nullptr;
  png_infop info = nullptr;
};

class PngWriteStructs {
 public:
  PngWriteStructs() = default;
  ~PngWriteStructs() { Destroy(); }
  void Destroy() {
    if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
    png = nullptr;
    info = nullptr;
  }
  PngWriteStructs(const PngWriteStructs&) = delete;
  PngWriteStructs& operator=(const PngWriteStructs&) = delete;

  png_structp png = nullptr;
  png_infop info = nullptr;
};

struct PngHeader {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;
  int colorType = 0;
};

// 16-bit RGBA: the widest pixel libpng holds in its rows.
constexpr uint64_t kLargestPixelBytes = 8;

// libpng's threshold below which a gamma correction is not worth making.
constexpr double kGammaThreshold = 0.05;

enum class RowsOutcome { kDone, kLibraryError, kCancelled };

// --- Read stages (trivially destructible locals only) ---------------------------

// The gAMA chunk, kept whole so that its presence is known (see the file
// comment).
const png_byte kGammaChunk[5] = {'g', 'A', 'M', 'A', '\0'};

// libpng's range of meaningful gAMA values (gamma x 100000).
constexpr png_uint_32 kSmallestGamma = 16;
constexpr png_uint_32 kLargestGamma = 625000000;

bool ReadHeader(png_structp png, png_infop info, std::FILE* file, PngHeader* header) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, kGammaChunk, 1);
  png_read_info(png, info);
  png_get_IHDR(png, info, &header->width, &header->height, &header->bitDepth,
               &header->colorType, nullptr, nullptr, nullptr);
  return true;
}

// The value of the file's first gAMA chunk before the picture data, or 0.0
// when it has none. Quirk: as libpng does, a chunk of another length than 4
// or a value outside libpng's range is passed over.
double GammaChunkValue(png_structp png, png_infop info) {
  png_unknown_chunkp chunks = nullptr;
  const int count = png_get_unknown_chunks(png, info, &chunks);
  for (int i = 0; i < count; ++i) {
    const png_unknown_chunk& chunk = chunks[i];
    if (std::memcmp(chunk.name, kGammaChunk, 4) != 0 || chunk.size != 4) continue;
    const png_uint_32 value = png_get_uint_32(chunk.data);
    if (value < kSmallestGamma || value > kLargestGamma) continue;
    return value / 100000.0;
  }
  return 0.0;
}

// The transformations in their fixed order, then the row length libpng will
// deliver. passes: 1, or 7 for an interlaced file.
bool SetReadTransformations(png_structp png, png_infop info, const PngHeader& header,
                            png_color_16* objectBackground, double displayGamma, int* passes,
                            size_t* rowBytes) {
  if (setjmp(png_jmpbuf(png))) return false;
  if (header.colorType == PNG_COLOR_TYPE_PALETTE) png_set_expand(png);
  // png_set_expand, not png_set_expand_gray_1_2_4_to_8: only the former also
  // turns a tRNS grey level into alpha, so that such pixels get composited.
  if (header.colorType == PNG_COLOR_TYPE_GRAY && header.bitDepth < 8) png_set_expand(png);
  if (header.colorType == PNG_COLOR_TYPE_GRAY || header.colorType == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  if (header.bitDepth == 16) png_set_strip_16(png);

  // The file's own background is given in the file's gamma and sample format
  // (need-expand 1); ours is already in screen terms (need-expand 0). Pictures
  // without alpha or tRNS are not changed by this step.
  png_color_16p fileBackground = nullptr;
  if (png_get_bKGD(png, info, &fileBackground) != 0 && fileBackground != nullptr) {
    png_set_background(png, fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
  } else {
    png_set_background(png, objectBackground, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
  }

  // Without gAMA the file gamma is taken as 1 / display gamma: the product is
  // 1 and the samples are left as they are. Where the product is within
  // libpng's threshold of 1, libpng 1.6 would still composite in linear light
  // (the 1.0 series composited the stored values); asking for gamma 1 on both
  // sides keeps the 1.0 behaviour.
  double fileGamma = GammaChunkValue(png, info);
  if (fileGamma == 0.0) fileGamma = 1.0 / displayGamma;
  if (std::fabs(fileGamma * displayGamma - 1.0) > kGammaThreshold) {
    png_set_gamma(png, displayGamma, fileGamma);
  } else {
    png_set_gamma(png, 1.0, 1.0);
  }

  *passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  *rowBytes = png_get_rowbytes(png, info);
  return true;
}

// Reads every row of every pass into its place; progress (y, height) after
// each row, so an interlaced file reports each row once per pass.
RowsOutcome ReadRows(png_structp png, png_bytepp rows, png_uint_32 height, int passes) {
  if (setjmp(png_jmpbuf(png))) return RowsOutcome::kLibraryError;
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(png, rows[y], nullptr);
      if (!ReportProgress(static_cast<int32_t>(y), static_cast<int32_t>(height))) {
        return RowsOutcome::kCancelled;
      }
    }
  }
  return RowsOutcome::kDone;
}

// Reads up to IEND, so that text chunks after the picture data are seen too.
bool ReadEnd(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_end(png, info);
  return true;
}

// --- Write stages --------------------------------------------------------------

bool WriteHeader(png_structp png, png_infop info, std::FILE* file, png_uint_32 width,
                 png_uint_32 height, int bitDepth, int colorType, int interlaceType) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, width, height, bitDepth, colorType, interlaceType,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  return true;
}

struct PngWriteChunks {
  png_colorp palette = nullptr;  // null for true colour
  int colorCount = 0;
  png_time modificationTime{};
  png_color_16 background{};
  PelornResolution resolution;
  double fileGamma = 0.0;
  png_textp texts = nullptr;
  int textCount = 0;
};

// PLTE, tIME, bKGD, pHYs, gAMA and the text chunks, all before the picture
// data; then packing and interlace handling.
bool WriteChunks(png_structp png, png_infop info, PngWriteChunks* chunks, int* passes) {
  if (setjmp(png_jmpbuf(png))) return false;
  if (chunks->palette != nullptr) png_set_PLTE(png, info, chunks->palette, chunks->colorCount);
  png_set_tIME(png, info, &chunks->modificationTime);
  png_set_bKGD(png, info, &chunks->background);
  // Quirk: the signed resolution values are written as their unsigned 32-bit
  // patterns, as the chunk stores them.
  png_set_pHYs(png, info, static_cast<png_uint_32>(chunks->resolution.x),
               static_cast<png_uint_32>(chunks->resolution.y), chunks->resolution.unit);
  if (chunks->fileGamma > 0.0) png_set_gAMA(png, info, chunks->fileGamma);
  if (chunks->textCount > 0) png_set_text(png, info, chunks->texts, chunks->textCount);
  png_write_info(png, info);
  png_set_packing(png);
  *passes = png_set_interlace_handling(png);
  return true;
}

RowsOutcome WriteRows(png_structp png, png_bytepp rows, png_uint_32 height, int passes) {
  if (setjmp(png_jmpbuf(png))) return RowsOutcome::kLibraryError;
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) {
      png_write_row(png, rows[y]);
      if (!ReportProgress(static_cast<int32_t>(y), static_cast<int32_t>(height))) {
        return RowsOutcome::kCancelled;
      }
    }
  }
  return RowsOutcome::kDone;
}

bool WriteEnd(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_end(png, info);
  return true;
}

png_color_16 ToPngColor(const PngBackgroundColor& color) {
  png_color_16 converted{};
  converted.index = color.index;
  converted.red = color.red;
  converted.green = color.green;
  converted.blue = color.blue;
  converted.gray = color.gray;
  return converted;
}

png_time CurrentLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  png_time stamp{};
  png_convert_from_struct_tm(&stamp, &local);
  return stamp;
}

int ChannelsOf(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;  // grey, palette (and types libpng will refuse)
  }
}

}  // namespace

HGLOBAL PngCodec::Read(const char* path, uint32_t* width, uint32_t* height) {
  PelornThreadState& state = GetThreadState();
  state.pngReadTexts.clear();
  pelorn::FileOwner file;
  errorCode = pelorn::OpenPictureFile(path, width, height, &file);
  if (errorCode != kPelornOk) return nullptr;
  // Declared before the structures, which free into it.
  LibpngMemory libpngMemory;
  PngReadStructs structs;
  structs.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, PngErrorHandler,
                                         PngWarningHandler, &libpngMemory, AllocateCounted,
                                         FreeCounted);
  if (structs.png == nullptr) {
    errorCode = kPelornPngCreate;
    return nullptr;
  }
  png_set_user_limits(structs.png, kLargestWidth, kLargestHeight);
  LimitChunks(structs.png, libpngMemory);
  structs.info = png_create_info_struct(structs.png);
  if (structs.info == nullptr) {
    errorCode = kPelornPngCreate;
    return nullptr;
  }

  PngHeader header;
  if (!ReadHeader(structs.png, structs.info, file.get(), &header)) {
    errorCode = kPelornPngReadError;
    return nullptr;
  }
  // The picture's size is checked before libpng sets up its own row buffers,
  // so a header that claims more than can be held fails here, not later. The
  // memory bound counts the block, the row table, what libpng holds already
  // (the chunks before the picture data) and libpng's two rows (the row being
  // unfiltered and the previous one, at most 8 bytes a pixel).
  size_t pictureBytes = 0;
  size_t rowTableBytes = 0;
  const uint64_t libpngRowBytes = 2 * (uint64_t{header.width} * kLargestPixelBytes + 64);
  if (!pelorn::CheckedProduct(header.height, sizeof(png_bytep), &rowTableBytes) ||
      !pelorn::PictureFitsBound(header.width, header.height, 3,
                                rowTableBytes + libpngRowBytes + libpngMemory.held, &pictureBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  // From here libpng may hold what the block and the row table leave: its
  // rows, and the chunks after the picture data.
  libpngMemory.allowance = pelorn::kMaxPictureMemory - pictureBytes - rowTableBytes;
  LimitChunks(structs.png, libpngMemory);

  png_color_16 objectBackground = ToPngColor(backgroundColor);
  int passes = 1;
  size_t rowBytes = 0;
  if (!SetReadTransformations(structs.png, structs.info, header, &objectBackground, displayGamma,
                              &passes, &rowBytes)) {
    errorCode = kPelornPngReadError;
    return nullptr;
  }
  if (static_cast<uint64_t>(rowBytes) != static_cast<uint64_t>(header.width) * 3) {
    errorCode = kPelornInternal;
    return nullptr;
  }

  pelorn::GlobalBlockOwner picture;
  pelorn::PlainBlock rowTable;
  if (!picture.AllocateAndLock(pictureBytes) || !rowTable.Allocate(rowTableBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  auto* rows = reinterpret_cast<png_bytepp>(rowTable.bytes());
  for (png_uint_32 y = 0; y < header.height; ++y) {
    rows[y] = picture.bytes() + static_cast<size_t>(y) * header.width * 3;
  }

  switch (ReadRows(structs.png, rows, header.height, passes)) {
    case RowsOutcome::kDone: break;
    case RowsOutcome::kLibraryError: errorCode = kPelornPngReadError; return nullptr;
    case RowsOutcome::kCancelled: errorCode = kPelornCancelled; return nullptr;
  }
  if (!ReadEnd(structs.png, structs.info)) {
    errorCode = kPelornPngReadError;
    return nullptr;
  }

  png_textp texts = nullptr;
  int textCount = 0;
  png_get_text(structs.png, structs.info, &texts, &textCount);
  for (int i = 0; i < textCount; ++i) {
    PngTextEntry entry;
    entry.text = texts[i].text != nullptr ? texts[i].text : "";
    entry.keyword = texts[i].key != nullptr ? texts[i].key : "";
    entry.compressed = texts[i].compression == PNG_TEXT_COMPRESSION_zTXt ||
                       texts[i].compression == PNG_ITXT_COMPRESSION_zTXt;
    state.pngReadTexts.push_back(std::move(entry));
  }
  // A file without pHYs reports nothing, and the read resolution keeps what
  // it held. Quirk: values above 2^31 - 1 keep their bit pattern (negative).
  png_uint_32 resolutionX = 0, resolutionY = 0;
  int resolutionUnit = 0;
  if (png_get_pHYs(structs.png, structs.info, &resolutionX, &resolutionY, &resolutionUnit) != 0) {
    state.pngReadResolution.x = static_cast<int32_t>(resolutionX);
    state.pngReadResolution.y = static_cast<int32_t>(resolutionY);
    state.pngReadResolution.unit = resolutionUnit;
  }

  *width = header.width;
  *height = header.height;
  return picture.Release();
}

int32_t PngCodec::Write(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                        int32_t rowBytes, int32_t bitDepth, int32_t colorCount,
                        const RGBQUAD* palette, int32_t colorType, double fileGamma,
                        int32_t interlaceType) {
  errorCode = kPelornOk;
  // A paletted file without a palette is refused like missing pixels.
  if (pixels == nullptr || path == nullptr ||
      (colorType == PNG_COLOR_TYPE_PALETTE && palette == nullptr)) {
    errorCode = kPelornBadParam;
    return 0;
  }

  pelorn::FileOwner file;
  if (!file.Open(path, "wb")) {
    errorCode = kPelornFileOpen;
    return 0;
  }
  PngWriteStructs structs;
  structs.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngErrorHandler,
                                        PngWarningHandler);
  if (structs.png != nullptr) structs.info = png_create_info_struct(structs.png);
  if (structs.png == nullptr || structs.info == nullptr) {
    errorCode = kPelornPngCreate;
    return 0;
  }
  // libpng checks the header (zero, negative or oversized dimensions, bad
  // depth or colour type) before anything is allocated for the rows.
  if (!WriteHeader(structs.png, structs.info, file.get(), static_cast<png_uint_32>(width),
                   static_cast<png_uint_32>(height), bitDepth, colorType, interlaceType)) {
    errorCode = kPelornPngCreate;
    return 0;
  }
  // The caller's rows must hold what libpng will take from each of them.
  const uint64_t rowDataBytes =
      (static_cast<uint64_t>(width) * ChannelsOf(colorType) * static_cast<uint32_t>(bitDepth) + 7) / 8;
  size_t rowTableBytes = 0;
  if (rowBytes < 0 || static_cast<uint64_t>(rowBytes) < rowDataBytes ||
      !pelorn::CheckedProduct(static_cast<uint32_t>(height), sizeof(png_bytep), &rowTableBytes)) {
    errorCode = kPelornBadParam;
    return 0;
  }

  PngWriteChunks chunks;
  pelorn::PlainBlock pngPalette;
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    if (!pngPalette.Allocate(PNG_MAX_PALETTE_LENGTH * sizeof(png_color), true)) {
      errorCode = kPelornOutOfMemory;
      return 0;
    }
    chunks.palette = reinterpret_cast<png_colorp>(pngPalette.bytes());
    // Only entries the caller's 256-entry palette holds are read; a count
    // outside 1..256 is refused by libpng.
    for (int32_t i = 0; i < colorCount && i < PNG_MAX_PALETTE_LENGTH; ++i) {
      chunks.palette[i].red = palette[i].rgbRed;
      chunks.palette[i].green = palette[i].rgbGreen;
      chunks.palette[i].blue = palette[i].rgbBlue;
    }
    chunks.colorCount = colorCount;
  }
  chunks.modificationTime = CurrentLocalTime();
  chunks.background = ToPngColor(backgroundColor);
  PelornThreadState& state = GetThreadState();
  chunks.resolution = state.pngWriteResolution;
  chunks.fileGamma = fileGamma;

  // libpng copies keyword and text when they are set, so the records point
  // straight into the list's strings.
  pelorn::PlainBlock textRecords;
  const size_t textCount = state.pngWriteTexts.size();
  if (textCount > 0) {
    size_t textBytes = 0;
    if (!pelorn::CheckedProduct(textCount, sizeof(png_text), &textBytes) ||
        !textRecords.Allocate(textBytes, true)) {
      errorCode = kPelornOutOfMemory;
      return 0;
    }
    chunks.texts = reinterpret_cast<png_textp>(textRecords.bytes());
    for (size_t i = 0; i < textCount; ++i) {
      const PngTextEntry& entry = state.pngWriteTexts[i];
      chunks.texts[i].compression =
          entry.compressed != 0 ? PNG_TEXT_COMPRESSION_zTXt : PNG_TEXT_COMPRESSION_NONE;
      chunks.texts[i].key = const_cast<png_charp>(entry.keyword.c_str());
      chunks.texts[i].text = const_cast<png_charp>(entry.text.c_str());
      chunks.texts[i].text_length = entry.text.size();
    }
    chunks.textCount = static_cast<int>(textCount);
  }

  int passes = 1;
  if (!WriteChunks(structs.png, structs.info, &chunks, &passes)) {
    errorCode = kPelornPngCreate;
    return 0;
  }

  pelorn::PlainBlock rowTable;
  if (!rowTable.Allocate(rowTableBytes)) {
    errorCode = kPelornOutOfMemory;
    return 0;
  }
  auto* rows = reinterpret_cast<png_bytepp>(rowTable.bytes());
  for (int32_t y = 0; y < height; ++y) {
    rows[y] = const_cast<png_bytep>(pixels) + static_cast<size_t>(y) * static_cast<size_t>(rowBytes);
  }

  switch (WriteRows(structs.png, rows, static_cast<png_uint_32>(height), passes)) {
    case RowsOutcome::kDone: break;
    case RowsOutcome::kLibraryError: errorCode = kPelornPngCreate; return 0;
    case RowsOutcome::kCancelled: errorCode = kPelornCancelled; return 0;
  }
  if (!WriteEnd(structs.png, structs.info)) {
    errorCode = kPelornPngCreate;
    return 0;
  }
  structs.Destroy();
  // Data still buffered in the stream is only on disk once the close succeeds.
  if (!file.Close()) {
    errorCode = kPelornFileWrite;
    return 0;
  }
  state.pngWriteTexts.clear();
  return 1;
}
