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
// Method. Each output row walks the source with a fixed step: 3 bytes for
// 1-4, one source row for 5-8. The quarter turns read down source columns,
// so the output is written in square tiles whose source rows stay in the
// cache while the tile is filled. Pixels move as 4-byte words where the
// word stays inside both buffers. Cost: one read and one write of every
// pixel; no working memory.
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
    case 5: return {0, stride, 3};
    case 6: return {lastRow, -stride, 3};
    case 7: return {lastRow + lastColumn, -stride, -3};
    case 8: return {lastColumn, stride, -3};
    default: return {0, 3, stride};
  }
}

// Square tiles: 64 source rows of 64 pixels (12 KiB) and the 64 output rows
// they fill stay in the first-level cache.
constexpr int32_t kTileRows = 64;
constexpr int32_t kTileColumns = 64;

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
  const bool swapsSides = OrientationSwapsSides(orientation);
  const int32_t outputWidth = swapsSides ? height : width;
  const int32_t outputHeight = swapsSides ? width : height;
  const size_t outputStride = size_t{static_cast<uint32_t>(outputWidth)} * 3;
  const Walk walk = WalkOf(orientation, width, height);
  const int32_t tileWidth = swapsSides ? kTileColumns : outputWidth;
  // Pixels move as 4-byte words (the fourth byte is the next pixel's, written
  // again when that pixel's turn comes), except the last of each output row,
  // whose word would end past the row, and the source's last pixel, whose
  // word would end past the buffer.
  const uint8_t* const lastSourcePixel = source + bytes - 3;
  for (int32_t bandTop = 0; bandTop < outputHeight; bandTop += kTileRows) {
    const int32_t bandRows = outputHeight - bandTop < kTileRows ? outputHeight - bandTop : kTileRows;
    for (int32_t tileLeft = 0; tileLeft < outputWidth; tileLeft += tileWidth) {
      const int32_t tileColumns =
          outputWidth - tileLeft < tileWidth ? outputWidth - tileLeft : tileWidth;
      const bool endsRow = tileLeft + tileColumns == outputWidth;
      const int32_t wordColumns = endsRow ? tileColumns - 1 : tileColumns;
      for (int32_t y = bandTop; y < bandTop + bandRows; ++y) {
        const uint8_t* read = source + walk.start + walk.perRow * y + walk.alongRow * tileLeft;
        uint8_t* write = destination + y * outputStride + size_t{static_cast<uint32_t>(tileLeft)} * 3;
        for (int32_t x = 0; x < wordColumns; ++x) {
          if (read != lastSourcePixel) {
            std::memcpy(write, read, 4);
          } else {
            std::memcpy(write, read, 3);
          }
          write += 3;
          read += walk.alongRow;
        }
        if (endsRow) std::memcpy(write, read, 3);
      }
    }
    if (!ReportProgress(bandTop, outputHeight)) {
      errorCode = kPelornCancelled;
      return 0;
    }
  }
  return 1;
}
