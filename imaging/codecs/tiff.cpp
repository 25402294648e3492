// TIFF reader over libtiff 4, through its RGBA image interface.
//
// libtiff decodes the first image of the file (any strip or tile layout,
// compression and photometric interpretation it supports) into one 32-bit
// value per pixel, bottom row first, in a block of width x height x 4 bytes.
// The reader compacts that block in place to packed RGB (a row's destination
// never lies after its source, so one pass with one spare row is safe),
// reverses the rows so the top row comes first, and hands the same block to
// the caller; its last width x height bytes are left unused.
//
// Orientation: the RGBA interface turns the rows and columns of the four
// orientations without a transposition (1 to 4) into its bottom-left
// delivery, so 1 and 4 give the same buffer; 5 to 8 are treated like 1 to 4
// and come out transposed (libtiff does not rotate).
//
// libtiff 4.5 adaptation: the file is opened with TIFFOpenExt so that
// libtiff's single allocations can be capped (see OpenTiff); with the picture
// block they stay within the memory bound of one picture, and a refusal is
// reported as code 1.
//
// Three diagnostic lines ("alloc", "read", "post" with the seconds elapsed)
// go to the debugger output, and so do libtiff's warnings and errors
// (adaptation: libtiff 4 would print them on stderr).
#include <tiffio.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>

#include "imaging/core/reader_prelude.h"
#include "imaging/core/codec.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/thread_state.h"

namespace {

void SendLibtiffMessage(const char* kind, const char* module, const char* format,
                        va_list arguments) {
  char message[512];
  std::vsnprintf(message, sizeof message, format, arguments);
  char line[640];
  std::snprintf(line, sizeof line, "libtiff %s: %s%s%s\n", kind, module != nullptr ? module : "",
                module != nullptr ? ": " : "", message);
  OutputDebugStringA(line);
}

// Set when libtiff refused an allocation over the limit given at open; the
// reader then reports code 1 instead of a bad file.
thread_local bool libtiffRefusedMemory = false;

void LibtiffError(const char* module, const char* format, va_list arguments) {
  if (format != nullptr && std::strstr(format, "limit defined in open options") != nullptr) {
    libtiffRefusedMemory = true;
  }
  // Where libtiff's sizes are 32 bits (a 32-bit build), a strip or tile whose
  // size overflows them cannot be held in memory at all: libtiff refuses the
  // header, and that too is a picture too large for memory.
  if (sizeof(tmsize_t) < sizeof(uint64_t) && format != nullptr &&
      std::strstr(format, "Integer overflow") != nullptr) {
    libtiffRefusedMemory = true;
  }
  SendLibtiffMessage("error", module, format, arguments);
}

void LibtiffWarning(const char* module, const char* format, va_list arguments) {
  SendLibtiffMessage("warning", module, format, arguments);
}

// The handlers are process-wide in libtiff; they are installed once.
void RouteLibtiffMessages() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    TIFFSetErrorHandler(LibtiffError);
    TIFFSetWarningHandler(LibtiffWarning);
  });
}

// libtiff's own allocations (a strip, a tile, a row of samples, the file's
// tag arrays) are capped one by one: a damaged header can make libtiff ask
// for hundreds of gigabytes for one strip. The file is first opened with the
// whole memory bound as the cap to learn the picture's size, then again with
// what the bound leaves beside the picture block. (libtiff 4.5 and later
// cap single allocations; older ones open without the cap.)
TIFF* OpenTiff(const char* path, uint64_t allocationCap) {
#if defined(TIFFLIB_VERSION) && TIFFLIB_VERSION >= 20221213
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return nullptr;
  // A cap of 0 would mean no cap at all to libtiff.
  TIFFOpenOptionsSetMaxSingleMemAlloc(
      options, static_cast<tmsize_t>(allocationCap > 0 ? allocationCap : 1));
  TIFF* tiff = TIFFOpenExt(path, "r", options);
  TIFFOpenOptionsFree(options);
  return tiff;
#else
  (void)allocationCap;
  return TIFFOpen(path, "r");
#endif
}

// The buffer libtiff's RGBA interface decodes into: one strip or one tile,
// of every sample plane when the planes are stored apart.
uint64_t LibtiffDecodingBytes(TIFF* tiff) {
  const uint64_t unit = TIFFIsTiled(tiff) ? TIFFTileSize64(tiff) : TIFFStripSize64(tiff);
  uint16_t planarConfig = PLANARCONFIG_CONTIG;
  uint16_t samples = 1;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planarConfig);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  // Anything past the bound counts as just past it, so sums cannot wrap.
  const uint64_t pastBound = pelorn::kMaxPictureMemory + 1;
  const uint64_t planes = planarConfig == PLANARCONFIG_SEPARATE && samples > 0 ? samples : 1;
  return unit >= pastBound / planes ? pastBound : unit * planes;
}

// libtiff fails to open a file that is missing or unreadable and one whose
// header is not a TIFF's alike: a file that opens for reading is a bad TIFF.
PelornError OpenFailure(const char* path) {
  if (libtiffRefusedMemory) return kPelornOutOfMemory;
  pelorn::FileOwner file;
  return file.Open(path, "rb") ? kPelornBadTiff : kPelornFileOpen;
}

void SendTiming(const char* stage, DWORD startTicks) {
  char line[64];
  std::snprintf(line, sizeof line, "%s %4.2f\n", stage, (GetTickCount() - startTicks) * 0.001);
  OutputDebugStringA(line);
}

// Truncation toward zero of a resolution. Quirk: a value outside the 32-bit
// range is clamped and a NaN gives 0, where a plain conversion is undefined.
int32_t TruncatedResolution(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0f) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// Owns the open file.
class TiffFile {
 public:
  explicit TiffFile(TIFF* tiff) : tiff_(tiff) {}
  ~TiffFile() { Close(); }
  TiffFile(const TiffFile&) = delete;
  TiffFile& operator=(const TiffFile&) = delete;
  void Close() { Reset(nullptr); }
  void Reset(TIFF* tiff) {
    if (tiff_ != nullptr) TIFFClose(tiff_);
    tiff_ = tiff;
  }
  TIFF* get() const { return tiff_; }

 private:
  TIFF* tiff_;
};

}  // namespace

HGLOBAL PelornCodec::ReadTiffFile(const char* path, uint32_t* width, uint32_t* height) {
  const DWORD startTicks = GetTickCount();
  errorCode = pelorn::CheckReaderArguments(path, width, height);
  if (errorCode != kPelornOk) return nullptr;
  RouteLibtiffMessages();

  libtiffRefusedMemory = false;
  TiffFile file(OpenTiff(path, pelorn::kMaxPictureMemory));
  if (file.get() == nullptr) {
    errorCode = OpenFailure(path);
    return nullptr;
  }
  uint32_t imageWidth = 0, imageHeight = 0;
  TIFFGetField(file.get(), TIFFTAG_IMAGEWIDTH, &imageWidth);
  TIFFGetField(file.get(), TIFFTAG_IMAGELENGTH, &imageHeight);

  // A tag the file lacks is reported as absent and leaves its value alone.
  PelornThreadState& state = GetThreadState();
  uint16_t resolutionUnit = 0;
  float resolutionX = 0.0f, resolutionY = 0.0f;
  if (TIFFGetField(file.get(), TIFFTAG_RESOLUTIONUNIT, &resolutionUnit) != 0) {
    // Quirk: the 16-bit unit is widened with its sign (65535 becomes -1).
    state.tiffResolutionUnit = static_cast<int16_t>(resolutionUnit);
  }
  if (TIFFGetField(file.get(), TIFFTAG_XRESOLUTION, &resolutionX) != 0) {
    state.tiffResolutionX = TruncatedResolution(resolutionX);
  }
  if (TIFFGetField(file.get(), TIFFTAG_YRESOLUTION, &resolutionY) != 0) {
    state.tiffResolutionY = TruncatedResolution(resolutionY);
  }

  // The RGBA block (4 bytes a pixel), one packed row and libtiff's decoding
  // buffer stay within the memory bound; libtiff gets what the block and the
  // row leave. The packed rows must also fit the 32-bit row length of the
  // row reversal. A layout the RGBA interface cannot read at all is a bad
  // file whatever its buffers would take.
  size_t blockBytes = 0, rowBytes = 0;
  if (!pelorn::CheckedProduct(imageWidth, 3, &rowBytes) ||
      rowBytes > std::numeric_limits<uint32_t>::max() ||
      !pelorn::PictureFitsBound(imageWidth, imageHeight, 4, rowBytes, &blockBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  char refusal[1024] = "";
  if (TIFFRGBAImageOK(file.get(), refusal) == 0) {
    OutputDebugStringA("libtiff error: ");
    OutputDebugStringA(refusal);
    OutputDebugStringA("\n");
    errorCode = kPelornBadTiff;
    return nullptr;
  }
  if (!pelorn::PictureFitsBound(imageWidth, imageHeight, 4,
                                uint64_t{rowBytes} + LibtiffDecodingBytes(file.get()),
                                &blockBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  file.Reset(OpenTiff(path, pelorn::kMaxPictureMemory - blockBytes - rowBytes));
  if (file.get() == nullptr) {
    errorCode = OpenFailure(path);
    return nullptr;
  }

  // A zero-size block cannot be locked, so an empty image also ends here.
  pelorn::GlobalBlockOwner block;
  if (!block.AllocateAndLock(blockBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  SendTiming("alloc", startTicks);

  // Stop-on-error 0: a strip or tile that fails to decode does not end the
  // read; libtiff still hands out what its buffer holds for those rows (the
  // zero-filled block keeps rows it never reaches black).
  auto* raster = reinterpret_cast<uint32_t*>(block.bytes());
  if (TIFFReadRGBAImage(file.get(), imageWidth, imageHeight, raster, 0) == 0) {
    errorCode = libtiffRefusedMemory ? kPelornOutOfMemory : kPelornBadTiff;
    return nullptr;
  }
  file.Close();
  SendTiming("read", startTicks);

  pelorn::PlainBlock packedRow;
  if (!packedRow.Allocate(rowBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  unsigned char* bytes = block.bytes();
  for (uint32_t r = 0; r < imageHeight; ++r) {
    const unsigned char* source = bytes + static_cast<size_t>(r) * imageWidth * 4;
    unsigned char* packed = packedRow.bytes();
    for (uint32_t x = 0; x < imageWidth; ++x) {
      uint32_t value;
      std::memcpy(&value, source + static_cast<size_t>(x) * 4, sizeof value);
      packed[x * 3 + 0] = static_cast<unsigned char>(TIFFGetR(value));
      packed[x * 3 + 1] = static_cast<unsigned char>(TIFFGetG(value));
      packed[x * 3 + 2] = static_cast<unsigned char>(TIFFGetB(value));
    }
    std::memcpy(bytes + static_cast<size_t>(r) * rowBytes, packed, rowBytes);
    if (!ReportProgress(static_cast<int32_t>(r), static_cast<int32_t>(imageHeight))) {
      errorCode = kPelornCancelled;
      return nullptr;
    }
  }

  // The reversal runs nested inside this read (one level deeper), so it
  // reports no progress. Should it fail (no spare row), its code stands and
  // nothing is returned.
  {
    OperationDepthGuard nested;
    if (FlipRows(bytes, static_cast<uint32_t>(rowBytes), imageHeight) == 0) {
      if (errorCode == kPelornOk) errorCode = kPelornOutOfMemory;
      return nullptr;
    }
  }
  errorCode = kPelornOk;
  *width = imageWidth;
  *height = imageHeight;
  HGLOBAL picture = block.Release();
  SendTiming("post", startTicks);
  return picture;
}
