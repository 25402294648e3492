// Area-weighted (box) scaler: any 24-bit RGB buffer to any new width and
// height, every source pixel contributing to the output pixels it lies under.
//
// Method. Output pixel (x, y) covers the source rectangle
// [x * sw / dw, (x + 1) * sw / dw) x [y * sh / dh, (y + 1) * sh / dh); its
// value is the mean of the source over that rectangle, each source pixel
// weighted by the part of it the rectangle covers. With the source pixel i
// spanning [i * dw, (i + 1) * dw) in units of 1 / dw, every weight is an exact
// integer and the weights of one output pixel add up to sw (columns) and sh
// (rows), so the sums are exact integers and only the final division by
// sw * sh rounds (to nearest, halves up, exactly). The filter is symmetric: a flipped or turned
// source gives the flipped or turned output, so reducing and turning commute.
// The sums and the rounding are integer arithmetic, the same on every machine.
//
// Order. Rows first: the source rows under one output row are added, weighted,
// into one row of per-column sums (a plain widening multiply-add over
// contiguous bytes, eight at a time with SSE2), then that row is reduced
// across. Each source row is read once, and the one row shared by two output
// rows twice.
//
// Parameters: source and destination buffers (3 bytes per pixel, red, green,
// blue, rows packed, top row first; the destination holds destinationWidth x
// destinationHeight x 3 bytes) and the four sizes, all at least 1.
//
// Cost: time proportional to the source size plus the output height times
// the source width. Working memory: one row of sw x 3 sums (4 bytes each, 8
// for sources taller than 16 million rows), and the column weights (about
// sw + dw integers).
//
// Progress: (y, destinationHeight) after each output row; inside the
// ReduceRgb entry point it runs at depth 2 and stays silent.
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/core/codec.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/thread_state.h"

namespace {

// The source pixels under one output pixel along one axis: the first, how
// many, and where their weights start in the weight table.
struct Span {
  uint32_t first;
  uint32_t count;
  size_t weightsAt;
};

// The weight of source pixel i under output pixel o: the overlap of
// [i * outputSize, (i + 1) * outputSize) and [o * sourceSize, (o + 1) * sourceSize).
uint64_t Overlap(uint64_t i, uint64_t o, uint64_t sourceSize, uint64_t outputSize) {
  const uint64_t start = i * outputSize > o * sourceSize ? i * outputSize : o * sourceSize;
  const uint64_t end =
      (i + 1) * outputSize < (o + 1) * sourceSize ? (i + 1) * outputSize : (o + 1) * sourceSize;
  return end - start;
}

// The spans of every output pixel of one axis and their weights. The spans
// of neighbouring output pixels share at most one source pixel, so the table
// holds fewer than sourceSize + outputSize weights.
class AxisSpans {
 public:
  bool Build(uint32_t sourceSize, uint32_t outputSize) {
    size_t spanBytes = 0, weightBytes = 0;
    const uint64_t weightCount = uint64_t{sourceSize} + outputSize;
    if (!pelorn::CheckedProduct(outputSize, sizeof(Span), &spanBytes) ||
        !pelorn::CheckedProduct(weightCount, sizeof(uint32_t), &weightBytes) ||
        !spans_.Allocate(spanBytes) || !weights_.Allocate(weightBytes)) {
      return false;
    }
    Span* spans = reinterpret_cast<Span*>(spans_.bytes());
    uint32_t* weights = reinterpret_cast<uint32_t*>(weights_.bytes());
    size_t used = 0;
    for (uint32_t o = 0; o < outputSize; ++o) {
      const uint64_t begin = uint64_t{o} * sourceSize / outputSize;
      const uint64_t end = (uint64_t{o + 1} * sourceSize + outputSize - 1) / outputSize;
      spans[o] = {static_cast<uint32_t>(begin), static_cast<uint32_t>(end - begin), used};
      for (uint64_t i = begin; i < end; ++i) {
        // Each weight is at most min(sourceSize, outputSize): it fits 32 bits.
        weights[used++] = static_cast<uint32_t>(Overlap(i, o, sourceSize, outputSize));
      }
    }
    return true;
  }
  const Span& span(uint32_t o) const { return reinterpret_cast<const Span*>(spans_.bytes())[o]; }
  const uint32_t* weights(const Span& span) const {
    return reinterpret_cast<const uint32_t*>(weights_.bytes()) + span.weightsAt;
  }

 private:
  pelorn::PlainBlock spans_;
  pelorn::PlainBlock weights_;
};

// Sets (first source row of an output row) or adds one source row, weighted,
// into the per-column sums.
template <typename Sum>
void AddWeightedRow(const uint8_t* row, uint32_t weight, Sum* sums, size_t samples, bool first) {
  const Sum w = weight;
  if (first) {
    for (size_t k = 0; k < samples; ++k) sums[k] = w * row[k];
  } else {
    for (size_t k = 0; k < samples; ++k) sums[k] += w * row[k];
  }
}

#if defined(__SSE2__)
// The same for 32-bit sums and a weight below 2^16 (every picture up to
// 65,535 rows on either side): SSE2 multiplies eight samples by the weight
// at once, 16 x 16 -> 32 bits from its low and high halves. The compiler
// makes no such code itself: SSE2 has no 32-bit multiply.
void AddWeightedRow(const uint8_t* row, uint32_t weight, uint32_t* sums, size_t samples,
                    bool first) {
  if (weight > UINT16_MAX) {
    AddWeightedRow<uint32_t>(row, weight, sums, samples, first);
    return;
  }
  const __m128i w = _mm_set1_epi16(static_cast<short>(weight));
  const __m128i zero = _mm_setzero_si128();
  size_t k = 0;
  for (; k + 16 <= samples; k += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + k));
    const __m128i halves[2] = {_mm_unpacklo_epi8(bytes, zero), _mm_unpackhi_epi8(bytes, zero)};
    for (int half = 0; half < 2; ++half) {
      const __m128i low = _mm_mullo_epi16(halves[half], w);
      const __m128i high = _mm_mulhi_epu16(halves[half], w);
      __m128i* out = reinterpret_cast<__m128i*>(sums + k + 8 * half);
      __m128i products[2] = {_mm_unpacklo_epi16(low, high), _mm_unpackhi_epi16(low, high)};
      if (!first) {
        products[0] = _mm_add_epi32(products[0], _mm_loadu_si128(out));
        products[1] = _mm_add_epi32(products[1], _mm_loadu_si128(out + 1));
      }
      _mm_storeu_si128(out, products[0]);
      _mm_storeu_si128(out + 1, products[1]);
    }
  }
  if (k < samples) AddWeightedRow<uint32_t>(row + k, weight, sums + k, samples - k, first);
}
#endif

// sum / area rounded to nearest, halves up, for sum <= 255 x area: the
// floating-point estimate is off by at most one, and integer products
// (below 2^50) settle it exactly.
class RoundedDivision {
 public:
  explicit RoundedDivision(uint64_t area) : area_(area), inverse_(1.0 / static_cast<double>(area)) {}
  uint8_t operator()(uint64_t sum) const {
    uint64_t quotient = static_cast<uint64_t>(static_cast<double>(sum) * inverse_ + 0.5);
    const uint64_t twiceSumPlusArea = 2 * sum + area_;  // round(s / a) = floor((2s + a) / 2a)
    if (quotient > 0 && twiceSumPlusArea < quotient * 2 * area_) --quotient;
    if (twiceSumPlusArea >= (quotient + 1) * 2 * area_) ++quotient;
    return static_cast<uint8_t>(quotient);
  }

 private:
  uint64_t area_;
  double inverse_;
};

// Reduces the per-column sums of one output row across into its pixels.
template <typename Sum>
void ReduceAcross(const Sum* sums, const AxisSpans& columns, uint32_t outputWidth,
                  const RoundedDivision& divide, uint8_t* output) {
  for (uint32_t x = 0; x < outputWidth; ++x) {
    const Span& span = columns.span(x);
    const uint32_t* weights = columns.weights(span);
    const Sum* column = sums + size_t{span.first} * 3;
    uint64_t red = 0, green = 0, blue = 0;
    for (uint32_t i = 0; i < span.count; ++i) {
      const uint64_t w = weights[i];
      red += w * column[0];
      green += w * column[1];
      blue += w * column[2];
      column += 3;
    }
    output[0] = divide(red);
    output[1] = divide(green);
    output[2] = divide(blue);
    output += 3;
  }
}

template <typename Sum>
PelornError Reduce(const uint8_t* source, uint32_t sourceWidth, uint32_t sourceHeight,
                   uint8_t* destination, uint32_t destinationWidth, uint32_t destinationHeight) {
  AxisSpans columns, rows;
  pelorn::PlainBlock sumRow;
  const size_t samples = size_t{sourceWidth} * 3;
  size_t sumBytes = 0;
  if (!pelorn::CheckedProduct(samples, sizeof(Sum), &sumBytes) ||
      !columns.Build(sourceWidth, destinationWidth) ||
      !rows.Build(sourceHeight, destinationHeight) || !sumRow.Allocate(sumBytes)) {
    return kPelornOutOfMemory;
  }
  Sum* sums = reinterpret_cast<Sum*>(sumRow.bytes());
  const RoundedDivision divide(uint64_t{sourceWidth} * sourceHeight);
  uint8_t* output = destination;
  for (uint32_t y = 0; y < destinationHeight; ++y) {
    const Span& span = rows.span(y);
    const uint32_t* weights = rows.weights(span);
    for (uint32_t j = 0; j < span.count; ++j) {
      AddWeightedRow(source + size_t{span.first + j} * samples, weights[j], sums, samples, j == 0);
    }
    ReduceAcross(sums, columns, destinationWidth, divide, output);
    output += size_t{destinationWidth} * 3;
    if (!ReportProgress(static_cast<int32_t>(y), static_cast<int32_t>(destinationHeight))) {
      return kPelornCancelled;
    }
  }
  return kPelornOk;
}

}  // namespace

int32_t PelornCodec::ReduceRgb(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                               uint8_t* destination, int32_t destinationWidth,
                               int32_t destinationHeight) {
  OperationDepthGuard depth;
  size_t sourceBytes = 0, destinationBytes = 0;
  if (source == nullptr || destination == nullptr || sourceWidth <= 0 || sourceHeight <= 0 ||
      destinationWidth <= 0 || destinationHeight <= 0 ||
      !pelorn::CheckedProduct(static_cast<uint64_t>(sourceWidth),
                              static_cast<uint64_t>(sourceHeight), 3, &sourceBytes) ||
      !pelorn::CheckedProduct(static_cast<uint64_t>(destinationWidth),
                              static_cast<uint64_t>(destinationHeight), 3, &destinationBytes)) {
    errorCode = kPelornBadParam;
    return 0;
  }
  const auto sw = static_cast<uint32_t>(sourceWidth);
  const auto sh = static_cast<uint32_t>(sourceHeight);
  const auto dw = static_cast<uint32_t>(destinationWidth);
  const auto dh = static_cast<uint32_t>(destinationHeight);
  // A column sum is at most 255 x sourceHeight: 32 bits hold it for any
  // picture up to 16 million rows.
  constexpr uint64_t kLargestByte = 255;
  errorCode = kLargestByte * sh <= UINT32_MAX ? Reduce<uint32_t>(source, sw, sh, destination, dw, dh)
                                              : Reduce<uint64_t>(source, sw, sh, destination, dw, dh);
  return errorCode == kPelornOk ? 1 : 0;
}
