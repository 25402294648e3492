// Turning a 24-bit RGB buffer upright by its EXIF orientation, in one pass.
//
// Orientation n (1-8) says how the stored rows must be turned to stand
// upright; the upright picture is width x height for 1-4 and height x width
// for 5-8. Upright pixel (X, Y) is stored pixel:
//   1 (X, Y)            2 (w-1-X, Y)          3 (w-1-X, h-1-Y)    4 (X, h-1-Y)
//   5 (Y, X)            6 (Y, h-1-X)          7 (w-1-Y, h-1-X)    8 (w-1-Y, X)
// (2 mirrors, 3 turns half round, 4 flips, 5 transposes, 6 turns a quarter
// clockwise, 7 transverses, 8 turns a quarter anticlockwise.)
//
// Method. 1-4 keep rows as rows: each output row walks one source row with a
// fixed step, pixels moving as 4-byte words where the word stays inside both
// buffers. 5-8 make every source column an output row. Reading down columns
// defeats the memory prefetchers, so the source is read in bands of 16 rows,
// left to right: the band's rows stream through the cache side by side (and
// are prefetched a few lines ahead), and each source column of the band gives
// 16 neighbouring pixels of one output row, packed into 8-byte words, three
// per eight pixels. The output row pieces of one band are finished by the
// next band while their cache lines are still near. Cost: one read and one
// write of every pixel; no working memory.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/core/codec.h"
#include "imaging/core/image_size.h"
#include "imaging/core/thread_state.h"

namespace {

// Where output pixel (0, 0) is read, and how far the read moves for one step
// along an output row and for one output row, in bytes.
struct Walk {
  ptrdiff_t start;
  ptrdiff_t alongRow;
  ptrdiff_t perRow;
};

Walk WalkOf(int32_t orientation, ptrdiff_t width, ptrdiff_t height) {
  const ptrdiff_t stride = width * 3;
  const ptrdiff_t lastColumn = (width - 1) * 3;
  const ptrdiff_t lastRow = (height - 1) * stride;
  switch (orientation) {
    case 2: return {lastColumn, -3, stride};
    case 3: return {lastRow + lastColumn, -3, -stride};
    case 4: return {lastRow, 3, -stride};
    default: return {0, 3, stride};
  }
}

// Source rows read side by side for 5-8: their 16 pieces of one output row
// are 48 bytes, and the band's rows (16 x 12 KB for a 4000-pixel-wide
// picture) stay in the second-level cache.
constexpr int32_t kBandRows = 16;
// How far ahead of the column being read each band row is prefetched, and
// how often (in columns: one cache line holds 21 pixels).
constexpr ptrdiff_t kPrefetchBytes = 256;
constexpr int32_t kPrefetchEvery = 16;

inline void Prefetch(const uint8_t* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

// One pixel's three bytes in the low bytes of a word, read as four bytes:
// the caller makes sure the fourth lies inside the buffer.
inline uint64_t PixelWord(const uint8_t* pixel) {
  uint32_t word = 0;
  std::memcpy(&word, pixel, 4);
  return word & 0xFFFFFF;
}

// Eight pixels read `step` bytes apart, written side by side as three
// 8-byte words (on a little-endian machine: the first pixel's bytes first).
// Each pixel is read as a 4-byte word.
inline void GatherEight(const uint8_t* read, ptrdiff_t step, uint8_t* write) {
  const uint64_t p0 = PixelWord(read), p1 = PixelWord(read + step),
                 p2 = PixelWord(read + 2 * step), p3 = PixelWord(read + 3 * step),
                 p4 = PixelWord(read + 4 * step), p5 = PixelWord(read + 5 * step),
                 p6 = PixelWord(read + 6 * step), p7 = PixelWord(read + 7 * step);
  // Three stores of one word each: a word array copied at once would go
  // through the stack and stall on the reload.
  const uint64_t first = p0 | p1 << 24 | p2 << 48;
  const uint64_t second = p2 >> 16 | p3 << 8 | p4 << 32 | p5 << 56;
  const uint64_t third = p5 >> 8 | p6 << 16 | p7 << 40;
  std::memcpy(write, &first, 8);
  std::memcpy(write + 8, &second, 8);
  std::memcpy(write + 16, &third, 8);
}

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kWordsPack = true;
#else
constexpr bool kWordsPack = false;
#endif

// Copies `count` pixels read `step` bytes apart into `write`, side by side,
// byte by byte.
void GatherBytes(const uint8_t* read, ptrdiff_t step, int32_t count, uint8_t* write) {
  for (int32_t done = 0; done < count; ++done) {
    std::memcpy(write, read, 3);
    write += 3;
    read += step;
  }
}

// 5-8: output row Y is source column Y (5, 6) or w-1-Y (7, 8); output column
// X is source row X (5, 8) or h-1-X (6, 7). False when cancelled.
bool TurnByBands(const uint8_t* source, int32_t width, int32_t height, int32_t orientation,
                 uint8_t* destination) {
  const ptrdiff_t stride = static_cast<ptrdiff_t>(width) * 3;
  const size_t outputStride = size_t{static_cast<uint32_t>(height)} * 3;
  const bool rowsAscend = orientation == 5 || orientation == 8;
  const bool columnsAscend = orientation == 5 || orientation == 6;
  for (int32_t bandTop = 0; bandTop < height; bandTop += kBandRows) {
    const int32_t rows = height - bandTop < kBandRows ? height - bandTop : kBandRows;
    // The band's leftmost output column, and the source row it comes from.
    const int32_t left = rowsAscend ? bandTop : height - bandTop - rows;
    const int32_t firstRow = rowsAscend ? bandTop : bandTop + rows - 1;
    const ptrdiff_t step = rowsAscend ? stride : -stride;
    const uint8_t* const bandStart = source + static_cast<ptrdiff_t>(firstRow) * stride;
    // The source's last pixel, whose 4-byte word would end past the buffer.
    const bool holdsLastPixel = bandTop + rows == height;
    const bool wholeBand = kWordsPack && rows == kBandRows;
    for (int32_t column = 0; column < width; ++column) {
      const uint8_t* read = bandStart + static_cast<ptrdiff_t>(column) * 3;
      if (column % kPrefetchEvery == 0 && (width - column) * 3 > kPrefetchBytes) {
        for (int32_t r = 0; r < rows; ++r) Prefetch(read + r * step + kPrefetchBytes);
      }
      const int32_t y = columnsAscend ? column : width - 1 - column;
      uint8_t* write = destination + static_cast<size_t>(y) * outputStride +
                       size_t{static_cast<uint32_t>(left)} * 3;
      if (wholeBand && !(holdsLastPixel && column == width - 1)) {
        GatherEight(read, step, write);
        GatherEight(read + 8 * step, step, write + 24);
      } else {
        GatherBytes(read, step, rows, write);
      }
    }
    if (!ReportProgress(bandTop, height)) return false;
  }
  return true;
}

// 2-4: each output row walks one source row. False when cancelled.
bool TurnByRows(const uint8_t* source, int32_t width, int32_t height, int32_t orientation,
                uint8_t* destination) {
  const size_t outputStride = size_t{static_cast<uint32_t>(width)} * 3;
  const Walk walk = WalkOf(orientation, width, height);
  // Pixels move as 4-byte words (the fourth byte is the next pixel's, written
  // again when that pixel's turn comes), except the last of each output row,
  // whose word would end past the row, and the source's last pixel, whose
  // word would end past the buffer.
  const uint8_t* const lastSourcePixel = source + outputStride * static_cast<uint32_t>(height) - 3;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* read = source + walk.start + walk.perRow * y;
    uint8_t* write = destination + static_cast<size_t>(y) * outputStride;
    for (int32_t x = 0; x + 1 < width; ++x) {
      if (read != lastSourcePixel) {
        std::memcpy(write, read, 4);
      } else {
        std::memcpy(write, read, 3);
      }
      write += 3;
      read += walk.alongRow;
    }
    std::memcpy(write, read, 3);
    if (y % 64 == 0 && !ReportProgress(y, height)) return false;
  }
  return true;
}

}  // namespace

int32_t PelornCodec::OrientRgb(const uint8_t* source, int32_t width, int32_t height,
                               int32_t orientation, uint8_t* destination) {
  OperationDepthGuard depth;
  size_t bytes = 0;
  if (source == nullptr || destination == nullptr || width <= 0 || height <= 0 ||
      orientation < 1 || orientation > 8 ||
      !pelorn::CheckedProduct(static_cast<uint64_t>(width), static_cast<uint64_t>(height), 3,
                              &bytes)) {
    errorCode = kPelornBadParam;
    return 0;
  }
  errorCode = kPelornOk;
  if (orientation == 1) {
    std::memcpy(destination, source, bytes);
    return 1;
  }
  const bool turned = OrientationSwapsSides(orientation)
                          ? TurnByBands(source, width, height, orientation, destination)
                          : TurnByRows(source, width, height, orientation, destination);
  if (!turned) {
    errorCode = kPelornCancelled;
    return 0;
  }
  return 1;
}
