// TIFF reader over libtiff 4, through its RGBA image interface.
//
// libtiff decodes the first image of the file (any strip or tile layout,
// compression and photometric interpretation it supports) in one pass over
// the picture, handing each decoded strip or tile to a "put" routine that
// turns it into 32-bit values, bottom row first. The reader wraps that
// routine: each strip or tile is turned into a small band buffer and packed
// at once to red, green, blue in its final place of the picture block, top
// row first. The block is sized width x height x 4 bytes, as libtiff's whole
// raster would be; its last width x height bytes are never touched (and so
// cost no memory) and are left unused.
//
// Orientation: the RGBA interface turns the rows and columns of the four
// orientations without a transposition (1 to 4) into a bottom-left
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

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <type_traits>

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
//
// libtiff maps the file and reads strips and tiles from the mapping (its
// reading path checks byte counts differently, so damaged files would decode
// differently). On Linux the reader maps the file itself, as libtiff would,
// so that it can hand the mapping's pages back as the decode moves on:
// otherwise the whole file stays resident beside the picture block.
#if !defined(_WIN32)
struct MappedTiffFile {
  int descriptor = -1;
  void* mapping = nullptr;
  size_t mappedBytes = 0;
};

tmsize_t ReadMapped(thandle_t handle, void* buffer, tmsize_t bytes) {
  auto* file = static_cast<MappedTiffFile*>(handle);
  auto* into = static_cast<unsigned char*>(buffer);
  tmsize_t done = 0;
  while (done < bytes) {
    const ssize_t got = read(file->descriptor, into + done, static_cast<size_t>(bytes - done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += got;
  }
  return done > 0 || bytes == 0 ? done : -1;
}

tmsize_t WriteRefused(thandle_t, void*, tmsize_t) { return -1; }

toff_t SeekMapped(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MappedTiffFile*>(handle);
  const off_t position = lseek(file->descriptor, static_cast<off_t>(offset), whence);
  return position < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(position);
}

int CloseMapped(thandle_t handle) {
  auto* file = static_cast<MappedTiffFile*>(handle);
  const int closed = close(file->descriptor);
  delete file;
  return closed;
}

toff_t SizeOfMapped(thandle_t handle) {
  struct stat status {};
  if (fstat(static_cast<MappedTiffFile*>(handle)->descriptor, &status) != 0) return 0;
  return static_cast<toff_t>(status.st_size);
}

int MapWhole(thandle_t handle, void** base, toff_t* size) {
  auto* file = static_cast<MappedTiffFile*>(handle);
  const toff_t bytes = SizeOfMapped(handle);
  if (bytes == 0 || bytes > std::numeric_limits<size_t>::max()) return 0;
  void* mapping = mmap(nullptr, static_cast<size_t>(bytes), PROT_READ, MAP_SHARED,
                       file->descriptor, 0);
  if (mapping == MAP_FAILED) return 0;
  file->mapping = mapping;
  file->mappedBytes = static_cast<size_t>(bytes);
  *base = mapping;
  *size = bytes;
  return 1;
}

void UnmapWhole(thandle_t handle, void* base, toff_t size) {
  auto* file = static_cast<MappedTiffFile*>(handle);
  munmap(base, static_cast<size_t>(size));
  if (base == file->mapping) file->mapping = nullptr;
}

// The mapping's pages read so far go back to the page cache; libtiff's next
// read of them faults them in again.
void ReleaseReadPages(TIFF* tiff) {
  auto* file = static_cast<MappedTiffFile*>(TIFFClientdata(tiff));
  if (file != nullptr && file->mapping != nullptr) {
    madvise(file->mapping, file->mappedBytes, MADV_DONTNEED);
  }
}

TIFF* OpenTiff(const char* path, uint64_t allocationCap) {
  auto* file = new MappedTiffFile;
  file->descriptor = open(path, O_RDONLY | O_CLOEXEC);
  if (file->descriptor < 0) {
    delete file;
    return nullptr;
  }
#if defined(TIFFLIB_VERSION) && TIFFLIB_VERSION >= 20221213
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) {
    CloseMapped(file);
    return nullptr;
  }
  // A cap of 0 would mean no cap at all to libtiff.
  TIFFOpenOptionsSetMaxSingleMemAlloc(
      options, static_cast<tmsize_t>(allocationCap > 0 ? allocationCap : 1));
  TIFF* tiff = TIFFClientOpenExt(path, "r", file, ReadMapped, WriteRefused, SeekMapped,
                                 CloseMapped, SizeOfMapped, MapWhole, UnmapWhole, options);
  TIFFOpenOptionsFree(options);
#else
  (void)allocationCap;
  TIFF* tiff = TIFFClientOpen(path, "r", file, ReadMapped, WriteRefused, SeekMapped, CloseMapped,
                              SizeOfMapped, MapWhole, UnmapWhole);
#endif
  // A failed open leaves the file to its opener.
  if (tiff == nullptr) CloseMapped(file);
  return tiff;
}
#else
void ReleaseReadPages(TIFF*) {}

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
#endif

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

// Rows in one strip or one tile: the most a put routine is handed at once.
uint32_t BandRows(TIFF* tiff, uint32_t imageHeight) {
  uint32_t rows = 0;
  if (TIFFIsTiled(tiff)) {
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &rows);
  } else {
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows);
  }
  if (rows == 0 || rows > imageHeight) rows = imageHeight;
  return rows > 0 ? rows : 1;
}

// libtiff's RGBA state with the reader's packing around its put routine.
// libtiff computes where each strip or tile goes in a whole-picture raster
// (the picture block serves as its address range and is never written
// through); the wrapper lets libtiff's own routine fill the band buffer and
// packs the band into the block's top-down RGB rows.
struct PackingImage {
  TIFFRGBAImage image{};  // first member: the put routine gets its address
  tileContigRoutine contigPut = nullptr;
  tileSeparateRoutine separatePut = nullptr;
  const uint32_t* raster = nullptr;
  unsigned char* picture = nullptr;
  uint32_t width = 0, height = 0;
  uint32_t* band = nullptr;
  size_t bandPixels = 0;
  uint64_t pixelsPacked = 0;
  uint32_t rowsReported = 0;
  bool tooLarge = false;
  bool cancelled = false;
  bool mirrored = false;

  static void PackPixel(uint32_t value, unsigned char* packed) {
    packed[0] = static_cast<unsigned char>(TIFFGetR(value));
    packed[1] = static_cast<unsigned char>(TIFFGetG(value));
    packed[2] = static_cast<unsigned char>(TIFFGetB(value));
  }

  // libtiff mirrors rows in a pass over its whole raster after the decode;
  // the packing does it instead, so libtiff is asked for the file's own
  // column order and never touches the block.
  void RequestOrientation() {
    switch (image.orientation) {
      case ORIENTATION_TOPRIGHT:
      case ORIENTATION_BOTRIGHT:
      case ORIENTATION_RIGHTTOP:
      case ORIENTATION_RIGHTBOT:
        image.req_orientation = ORIENTATION_BOTRIGHT;
        mirrored = true;
        break;
      default:
        image.req_orientation = ORIENTATION_BOTLEFT;
        mirrored = false;
    }
  }

  static PackingImage& Of(TIFFRGBAImage* image) {
    return *reinterpret_cast<PackingImage*>(image);
  }

  // Whether the band takes `columns` x `rows`; also false once the read is
  // given up, so the rest of libtiff's pass costs only its decoding.
  bool Admits(uint32_t columns, uint32_t rows) {
    if (cancelled || tooLarge) return false;
    if (uint64_t{columns} * rows > bandPixels) tooLarge = true;
    return !tooLarge;
  }

  // Packs `rows` band rows of `columns` values that libtiff meant for the
  // raster at `target`, its rows `columns + skew` values apart.
  void Pack(const uint32_t* target, uint32_t columns, uint32_t rows, int32_t skew) {
    const ptrdiff_t start = target - raster;
    for (uint32_t i = 0; i < rows; ++i) {
      const ptrdiff_t position =
          start + static_cast<ptrdiff_t>(i) * (static_cast<ptrdiff_t>(columns) + skew);
      const size_t rasterRow = static_cast<size_t>(position) / width;
      const size_t column = static_cast<size_t>(position) % width;
      unsigned char* packedRow = picture + (height - 1 - rasterRow) * width * 3;
      const uint32_t* source = band + static_cast<size_t>(i) * columns;
      if (mirrored) {
        unsigned char* packed = packedRow + (width - 1 - column) * 3;
        for (uint32_t x = 0; x < columns; ++x) PackPixel(source[x], packed - size_t{x} * 3);
      } else {
        unsigned char* packed = packedRow + column * 3;
        for (uint32_t x = 0; x < columns; ++x) PackPixel(source[x], packed + size_t{x} * 3);
      }
    }
    pixelsPacked += uint64_t{columns} * rows;
    ReleaseReadPages(image.tif);
    const uint64_t wholeRows = pixelsPacked / width;
    while (rowsReported < wholeRows && !cancelled) {
      if (!ReportProgress(static_cast<int32_t>(rowsReported), static_cast<int32_t>(height))) {
        cancelled = true;
      }
      ++rowsReported;
    }
  }

  static void PutContig(TIFFRGBAImage* image, uint32_t* target, uint32_t x, uint32_t y,
                        uint32_t columns, uint32_t rows, int32_t fromSkew, int32_t toSkew,
                        unsigned char* samples) {
    PackingImage& self = Of(image);
    if (!self.Admits(columns, rows)) return;
    self.contigPut(image, self.band, x, y, columns, rows, fromSkew, 0, samples);
    self.Pack(target, columns, rows, toSkew);
  }

  static void PutSeparate(TIFFRGBAImage* image, uint32_t* target, uint32_t x, uint32_t y,
                          uint32_t columns, uint32_t rows, int32_t fromSkew, int32_t toSkew,
                          unsigned char* red, unsigned char* green, unsigned char* blue,
                          unsigned char* alpha) {
    PackingImage& self = Of(image);
    if (!self.Admits(columns, rows)) return;
    self.separatePut(image, self.band, x, y, columns, rows, fromSkew, 0, red, green, blue,
                     alpha);
    self.Pack(target, columns, rows, toSkew);
  }
};
static_assert(std::is_standard_layout<PackingImage>::value,
              "the put routine finds the reader's state from libtiff's");

// Owns a begun RGBA state.
class RgbaImageEnd {
 public:
  explicit RgbaImageEnd(TIFFRGBAImage* image) : image_(image) {}
  ~RgbaImageEnd() { TIFFRGBAImageEnd(image_); }
  RgbaImageEnd(const RgbaImageEnd&) = delete;
  RgbaImageEnd& operator=(const RgbaImageEnd&) = delete;

 private:
  TIFFRGBAImage* image_;
};

// Decodes the first image into `picture` as packed top-down RGB through a
// band buffer of `bandPixels` values. Stop-on-error 0: a strip or tile that
// fails to decode does not end the read; libtiff still hands out what its
// buffer holds for those rows (the zero-filled block keeps rows it never
// reaches black).
PelornError DecodePacked(TIFF* tiff, char* refusal, unsigned char* picture, uint32_t width,
                         uint32_t height, uint32_t* band, size_t bandPixels) {
  PackingImage packing;
  if (TIFFRGBAImageBegin(&packing.image, tiff, 0, refusal) == 0) return kPelornBadTiff;
  RgbaImageEnd ending(&packing.image);
  packing.RequestOrientation();
  if (packing.image.isContig) {
    packing.contigPut = packing.image.put.contig;
    packing.image.put.contig = PackingImage::PutContig;
  } else {
    packing.separatePut = packing.image.put.separate;
    packing.image.put.separate = PackingImage::PutSeparate;
  }
  auto* raster = reinterpret_cast<uint32_t*>(picture);
  packing.raster = raster;
  packing.picture = picture;
  packing.width = width;
  packing.height = height;
  packing.band = band;
  packing.bandPixels = bandPixels;
  const int read = TIFFRGBAImageGet(&packing.image, raster, width, height);
  if (packing.cancelled) return kPelornCancelled;
  if (read == 0 || packing.tooLarge) return kPelornBadTiff;
  return kPelornOk;
}

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

  // The RGBA-sized block (4 bytes a pixel), one strip or tile of 32-bit
  // values and libtiff's decoding buffer stay within the memory bound;
  // libtiff gets what the block and the band leave. The packed rows must also
  // fit 32 bits. A layout the RGBA interface cannot read at all is a bad file
  // whatever its buffers would take.
  const uint32_t bandRows = BandRows(file.get(), imageHeight);
  size_t blockBytes = 0, rowBytes = 0, bandBytes = 0;
  if (!pelorn::CheckedProduct(imageWidth, 3, &rowBytes) ||
      rowBytes > std::numeric_limits<uint32_t>::max() ||
      !pelorn::PictureFitsBound(imageWidth, imageHeight, 4, 0, &blockBytes) ||
      !pelorn::CheckedProduct(size_t{imageWidth} * 4, bandRows, &bandBytes) ||
      bandBytes > pelorn::kMaxPictureMemory) {
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
                                uint64_t{bandBytes} + LibtiffDecodingBytes(file.get()),
                                &blockBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  file.Reset(OpenTiff(path, pelorn::kMaxPictureMemory - blockBytes - bandBytes));
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

  pelorn::PlainBlock band;
  if (!band.Allocate(bandBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  auto* bandValues = reinterpret_cast<uint32_t*>(band.bytes());
  const PelornError decoded = DecodePacked(file.get(), refusal, block.bytes(), imageWidth, imageHeight,
                                     bandValues, bandBytes / 4);
  if (decoded != kPelornOk) {
    errorCode = decoded == kPelornBadTiff && libtiffRefusedMemory ? kPelornOutOfMemory : decoded;
    return nullptr;
  }
  file.Close();
  SendTiming("read", startTicks);

  errorCode = kPelornOk;
  *width = imageWidth;
  *height = imageHeight;
  HGLOBAL picture = block.Release();
  SendTiming("post", startTicks);
  return picture;
}
