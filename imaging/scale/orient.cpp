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
// defeats the memory prefetchers, so the source is read in bands of rows,
// left to right: the band's rows stream through the cache side by side (and
// are prefetched a few lines ahead), and each source column of the band gives
// neighbouring pixels of one output row, a piece of it. Written in place,
// pieces of 48 bytes cost a read of every output line before its write.
// Where the processor has SSSE3 (x86 builds with SSE2), bands are 256 rows,
// turned 4 x 4 pixels at a time in vector registers into a small staging
// block, and whole output lines are streamed past the cache (see
// TurnByStreamedBands): one read and one write of every pixel, and a working
// block of 64 bytes per source column. Elsewhere bands are 16 rows, packed
// into 8-byte words, three per eight pixels, written in place: the pieces of
// one band are finished by the next while their lines are still near; no
// working memory.
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

#include "imaging/core/codec.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
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

// Source rows read side by side for 5-8 in place: their 16 pieces of one
// output row are 48 bytes, and the band's rows (16 x 12 KB for a
// 4000-pixel-wide picture) stay in the second-level cache.
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

#if defined(__SSE2__) && defined(__GNUC__)
// The streamed turn (5-8 where the processor has SSSE3). The source is read
// in bands of 256 rows, 8 columns at a time; the band's 8 x 256 pixels are
// turned in a staging block of 8 output-row pieces (768 bytes each, in the
// first-level cache), and every output cache line that a piece completes is
// written with non-temporal stores, so no output line is read before it is
// written. A piece seldom ends on a line boundary: its unfinished last line
// is held (one 64-byte slot per output row) and completed by the next band.
// Only the first line of each output row, shared with the row before, and the
// last, shared with the row after, take ordinary stores.
constexpr int32_t kStreamBandRows = 256;
constexpr int32_t kStreamColumns = 8;
constexpr ptrdiff_t kLineBytes = 64;
// Each staging row: up to 63 held bytes, the piece, and the 4 bytes a
// 16-byte store of the last four pixels writes past it.
constexpr ptrdiff_t kStagingStride = kLineBytes + 3 * kStreamBandRows + 16;
constexpr ptrdiff_t kStreamPrefetchBytes = 128;
constexpr ptrdiff_t kStageReadsPast = 4;
static_assert(kStreamColumns % 4 == 0, "the staging kernel turns 4 x 4 pixels at a time");

inline void CopyLine(const uint8_t* from, uint8_t* to) {
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16 * part));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16 * part), bytes);
  }
}

// `to` is 64-byte aligned.
inline void StreamLine(const uint8_t* from, uint8_t* to) {
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16 * part));
    _mm_stream_si128(reinterpret_cast<__m128i*>(to + 16 * part), bytes);
  }
}

// Band rows [0, rows - rows % 4) of a chunk of kStreamColumns source columns
// into the staging rows, pixel i of staging row j at write + j *
// kStagingStride + 3i: four source rows by four pixels at a time, widened to
// 4-byte words, turned as a 4 x 4 word matrix and narrowed again. Each 16-byte
// read ends kStageReadsPast bytes past the chunk. With `prefetch`, each group
// of four rows is first prefetched kStreamPrefetchBytes ahead: spread among
// the work, the prefetches keep memory busy without stalling on a burst of
// misses.
__attribute__((target("ssse3"))) void StageChunk(const uint8_t* read, ptrdiff_t step,
                                                 int32_t rows, uint8_t* write, bool prefetch) {
  const __m128i widen = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i narrow = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  for (int32_t i = 0; i + 4 <= rows; i += 4) {
    if (prefetch) {
      const uint8_t* const ahead = read + i * step + kStreamPrefetchBytes;
      for (int r = 0; r < 4; ++r) Prefetch(ahead + r * step);
    }
    for (int32_t quad = 0; quad < kStreamColumns / 4; ++quad) {
      const uint8_t* const at = read + i * step + 12 * quad;
      __m128i words[4];
      for (int r = 0; r < 4; ++r) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + r * step));
        words[r] = _mm_shuffle_epi8(pixels, widen);
      }
      const __m128i low01 = _mm_unpacklo_epi32(words[0], words[1]);
      const __m128i high01 = _mm_unpackhi_epi32(words[0], words[1]);
      const __m128i low23 = _mm_unpacklo_epi32(words[2], words[3]);
      const __m128i high23 = _mm_unpackhi_epi32(words[2], words[3]);
      const __m128i columns[4] = {
          _mm_unpacklo_epi64(low01, low23), _mm_unpackhi_epi64(low01, low23),
          _mm_unpacklo_epi64(high01, high23), _mm_unpackhi_epi64(high01, high23)};
      uint8_t* const out = write + 3 * i + 4 * quad * kStagingStride;
      for (int c = 0; c < 4; ++c) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c * kStagingStride),
                         _mm_shuffle_epi8(columns[c], narrow));
      }
    }
  }
}

// Pixels of `count` source columns of one band row into the staging rows,
// three bytes at a time.
void StageRowBytes(const uint8_t* read, int32_t count, uint8_t* write) {
  for (int32_t j = 0; j < count; ++j) std::memcpy(write + j * kStagingStride, read + 3 * j, 3);
}

// One band of the streamed turn: its source rows, and where its pieces go.
struct StreamBand {
  const uint8_t* start;  // band row 0 (the leftmost output column's row)
  ptrdiff_t step;        // from one band row to the next
  int32_t rows;
  int32_t left;          // the band's leftmost output column
  bool first;            // output rows start in this band
  bool last;             // output rows end in this band
  bool holdsLastRow;   // the source's last row, past whose end no read may go
};

// Writes the piece in `stagingRow` (from byte kLineBytes on, the held bytes
// before it) to the band's columns of the output row at `rowStart`: whole
// lines streamed, the unfinished last line copied to `held` for the next
// band, the row's first and last line stored.
void WritePiece(const StreamBand& band, const uint8_t* stagingRow, uint8_t* rowStart,
                uint8_t* held) {
  uint8_t* const start = rowStart + size_t{static_cast<uint32_t>(band.left)} * 3;
  const ptrdiff_t intoLine =
      static_cast<ptrdiff_t>(reinterpret_cast<uintptr_t>(start) & (kLineBytes - 1));
  uint8_t* const lineStart = start - intoLine;
  // view[k] belongs at lineStart[k]; the held bytes come first.
  const uint8_t* const view = stagingRow + kLineBytes - intoLine;
  const ptrdiff_t end = intoLine + 3 * ptrdiff_t{band.rows};
  const ptrdiff_t wholeEnd = end & ~(kLineBytes - 1);
  ptrdiff_t at = 0;
  if (band.first && intoLine != 0) {
    std::memcpy(start, view + intoLine, kLineBytes - intoLine);
    at = kLineBytes;
  }
  for (; at < wholeEnd; at += kLineBytes) StreamLine(view + at, lineStart + at);
  if (wholeEnd == end) return;
  if (band.last) {
    std::memcpy(lineStart + wholeEnd, view + wholeEnd, end - wholeEnd);
  } else {
    CopyLine(view + end - kLineBytes, held);
  }
}

// 5-8 as TurnByBands, through `held` (width x 64 bytes) and `staging`
// (kStreamColumns x kStagingStride bytes). The source must have at least 22
// rows, so that the first band reaches past the first line of every output
// row. False when cancelled.
bool TurnByStreamedBands(const uint8_t* source, int32_t width, int32_t height,
                         int32_t orientation, uint8_t* destination, uint8_t* held,
                         uint8_t* staging) {
  const ptrdiff_t stride = static_cast<ptrdiff_t>(width) * 3;
  const size_t outputStride = size_t{static_cast<uint32_t>(height)} * 3;
  const bool rowsAscend = orientation == 5 || orientation == 8;
  const bool columnsAscend = orientation == 5 || orientation == 6;
  bool cancelled = false;
  for (int32_t left = 0; left < height && !cancelled; left += kStreamBandRows) {
    StreamBand band;
    band.rows = height - left < kStreamBandRows ? height - left : kStreamBandRows;
    band.left = left;
    band.step = rowsAscend ? stride : -stride;
    band.start = source + static_cast<ptrdiff_t>(rowsAscend ? left : height - 1 - left) * stride;
    band.first = left == 0;
    band.last = left + band.rows == height;
    band.holdsLastRow = rowsAscend ? band.last : band.first;
    for (int32_t column = 0; column < width; column += kStreamColumns) {
      const int32_t count = width - column < kStreamColumns ? width - column : kStreamColumns;
      const uint8_t* const read = band.start + static_cast<ptrdiff_t>(column) * 3;
      uint8_t* const columnHeld = held + static_cast<size_t>(column) * kLineBytes;
      if (!band.first) {
        for (int32_t j = 0; j < count; ++j) {
          CopyLine(columnHeld + j * kLineBytes, staging + j * kStagingStride);
        }
      }
      uint8_t* const pieces = staging + kLineBytes;
      int32_t staged = 0;
      const bool readsPastBuffer =
          band.holdsLastRow && (width - column - count) * 3 < kStageReadsPast;
      if (count == kStreamColumns && !readsPastBuffer) {
        StageChunk(read, band.step, band.rows, pieces,
                   (width - column) * 3 > kStreamPrefetchBytes);
        staged = band.rows - band.rows % 4;
      }
      for (int32_t i = staged; i < band.rows; ++i) {
        StageRowBytes(read + i * band.step, count, pieces + 3 * i);
      }
      for (int32_t j = 0; j < count; ++j) {
        const int32_t y = columnsAscend ? column + j : width - 1 - column - j;
        WritePiece(band, staging + j * kStagingStride,
                   destination + static_cast<size_t>(y) * outputStride,
                   columnHeld + j * kLineBytes);
      }
    }
    cancelled = !ReportProgress(left, height);
  }
  // The streamed lines reach memory before the caller sees the result.
  _mm_sfence();
  return !cancelled;
}

// The streamed turn when the processor and the picture allow it: 1 done, 0
// cancelled, -1 not taken (the caller turns by bands in place).
int32_t TryStreamedTurn(const uint8_t* source, int32_t width, int32_t height, int32_t orientation,
                        uint8_t* destination) {
  // The held slots, then the staging block, in whole lines.
  const uint64_t stagingLines = (kStreamColumns * kStagingStride + kLineBytes - 1) / kLineBytes;
  size_t workBytes = 0;
  if (int64_t{height} * 3 < kLineBytes || !__builtin_cpu_supports("ssse3") ||
      !pelorn::CheckedProduct(uint64_t{static_cast<uint32_t>(width)} + stagingLines, kLineBytes,
                              &workBytes)) {
    return -1;
  }
  pelorn::PlainBlock work;
  if (!work.Allocate(workBytes)) return -1;
  const size_t heldBytes = size_t{static_cast<uint32_t>(width)} * kLineBytes;
  return TurnByStreamedBands(source, width, height, orientation, destination, work.bytes(),
                             work.bytes() + heldBytes)
             ? 1
             : 0;
}
#endif

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
  bool turned = false;
  if (!OrientationSwapsSides(orientation)) {
    turned = TurnByRows(source, width, height, orientation, destination);
  } else {
    int32_t streamed = -1;
#if defined(__SSE2__) && defined(__GNUC__)
    streamed = TryStreamedTurn(source, width, height, orientation, destination);
#endif
    turned = streamed < 0 ? TurnByBands(source, width, height, orientation, destination)
                          : streamed == 1;
  }
  if (!turned) {
    errorCode = kPelornCancelled;
    return 0;
  }
  return 1;
}
