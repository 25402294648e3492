// Bilinear scaler: any 24-bit RGB buffer to any new width and height.
//
// Method. Separable bilinear interpolation with sample positions anchored at
// the top-left corner: output pixel (x, y) samples source position
// (x * sourceWidth / destinationWidth, y * sourceHeight / destinationHeight),
// with no half-pixel offset, each position limited to the last source column
// or row. So when shrinking the last output column and row sample inside the
// source, and when enlarging the positions past the last source pixel repeat
// it. For each output row the two source rows around its position are
// resampled horizontally into two rows of doubles, then blended vertically;
// the output byte is the blend truncated toward zero (so a half-way blend of
// 0 and 255 is 127). Built without floating-point contraction and with
// IEEE double arithmetic (SSE2, not x87 extended precision), the same sizes
// give the same bytes on every machine.
//
// Parameters: source and destination buffers (3 bytes per pixel, red, green,
// blue, rows packed, top row first; the destination holds destinationWidth x
// destinationHeight x 3 bytes) and the four sizes, all at least 1.
//
// Cost. Two horizontal passes of destinationWidth x 3 samples per output row
// (each source row is resampled again for every output row that uses it; no
// row cache), one vertical blend; time proportional to the output size, not
// the source size. Working memory: two rows of destinationWidth x 3 doubles.
//
// Progress: (y, destinationHeight) after each output row. The scaler raises
// the operation depth itself, so inside the ResampleRgb entry point (whose
// codec object has raised it already) it runs at depth 2 and stays silent.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/codec.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/thread_state.h"

namespace {

// Resamples one source row into destinationWidth x 3 doubles.
void ResampleRow(const uint8_t* sourceRow, int32_t sourceWidth, double columnStep,
                 double* resampled, int32_t destinationWidth) {
  const double lastColumn = static_cast<double>(sourceWidth - 1);
  for (int32_t x = 0; x < destinationWidth; ++x) {
    double fx = x * columnStep;
    if (fx > lastColumn) fx = lastColumn;
    const int32_t i = static_cast<int32_t>(fx);
    const int32_t j = i + 1 < sourceWidth ? i + 1 : sourceWidth - 1;
    const double leftWeight = (i + 1) - fx;
    const double rightWeight = fx - i;
    const uint8_t* left = sourceRow + static_cast<size_t>(i) * 3;
    const uint8_t* right = sourceRow + static_cast<size_t>(j) * 3;
    for (int channel = 0; channel < 3; ++channel) {
      resampled[channel] = leftWeight * left[channel] + rightWeight * right[channel];
    }
    resampled += 3;
  }
}

}  // namespace

int32_t PelornCodec::ResampleRgb(const uint8_t* source, int32_t sourceWidth,
                                 int32_t sourceHeight, uint8_t* destination,
                                 int32_t destinationWidth, int32_t destinationHeight) {
  OperationDepthGuard depth;
  size_t sourceBytes = 0, destinationBytes = 0, rowBytes = 0;
  // Negative sizes are refused like zero ones; a buffer larger than the
  // address space cannot exist, so such sizes are bad parameters too.
  if (source == nullptr || destination == nullptr || sourceWidth <= 0 || sourceHeight <= 0 ||
      destinationWidth <= 0 || destinationHeight <= 0 ||
      !pelorn::CheckedProduct(static_cast<uint64_t>(sourceWidth),
                              static_cast<uint64_t>(sourceHeight), 3, &sourceBytes) ||
      !pelorn::CheckedProduct(static_cast<uint64_t>(destinationWidth),
                              static_cast<uint64_t>(destinationHeight), 3, &destinationBytes) ||
      !pelorn::CheckedProduct(static_cast<uint64_t>(destinationWidth), 3, sizeof(double),
                              &rowBytes)) {
    errorCode = kPelornBadParam;
    return 0;
  }
  pelorn::PlainBlock rowA, rowB;
  if (!rowA.Allocate(rowBytes) || !rowB.Allocate(rowBytes)) {
    // Working rows refused: report it as out of memory rather than leaving
    // the success code beside a failed result.
    errorCode = kPelornOutOfMemory;
    return 0;
  }
  double* resampledA = reinterpret_cast<double*>(rowA.bytes());
  double* resampledB = reinterpret_cast<double*>(rowB.bytes());

  const double rowStep = static_cast<double>(sourceHeight) / destinationHeight;
  const double columnStep = static_cast<double>(sourceWidth) / destinationWidth;
  const size_t sourceStride = static_cast<size_t>(sourceWidth) * 3;
  const size_t outputRowSamples = static_cast<size_t>(destinationWidth) * 3;
  const double lastRow = static_cast<double>(sourceHeight - 1);
  uint8_t* output = destination;
  for (int32_t y = 0; y < destinationHeight; ++y) {
    double fy = y * rowStep;
    if (fy > lastRow) fy = lastRow;
    const int32_t a = static_cast<int32_t>(fy);
    const int32_t b = a + 1 < sourceHeight ? a + 1 : sourceHeight - 1;
    ResampleRow(source + static_cast<size_t>(a) * sourceStride, sourceWidth, columnStep,
                resampledA, destinationWidth);
    ResampleRow(source + static_cast<size_t>(b) * sourceStride, sourceWidth, columnStep,
                resampledB, destinationWidth);
    const double t = fy - a;
    const double upperWeight = 1 - t;
    for (size_t sample = 0; sample < outputRowSamples; ++sample) {
      const double value = upperWeight * resampledA[sample] + t * resampledB[sample];
      output[sample] = static_cast<uint8_t>(static_cast<int32_t>(value));
    }
    output += outputRowSamples;
    if (!ReportProgress(y, destinationHeight)) {
      errorCode = kPelornCancelled;
      return 0;
    }
  }
  return 1;
}
