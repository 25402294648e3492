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

// The 32-bit products of eight 16-bit samples and a weight below 2^16, in
// two registers.
inline void MultiplyWiden(__m128i samples, __m128i weight, __m128i* low, __m128i* high) {
  const __m128i lowHalves = _mm_mullo_epi16(samples, weight);
  const __m128i highHalves = _mm_mulhi_epu16(samples, weight);
  *low = _mm_unpacklo_epi16(lowHalves, highHalves);
  *high = _mm_unpackhi_epi16(lowHalves, highHalves);
}

// Sets the per-column sums to all the span's rows at once, 16 samples at a
// time with the sums held in registers. The rows inside the span are wholly
// covered: they share the weight `fullWeight` and are first added as plain
// 16-bit sums (at most kMostInnerRows of them), which one multiply then
// weights; the first and last rows carry their own weights. The sums are the
// same integers as AddWeightedRow's. False, leaving the sums untouched, when
// the span does not have that shape.
constexpr uint32_t kMostInnerRows = UINT16_MAX / 255;

bool SumSpan(const uint8_t* firstRow, size_t samples, const uint32_t* weights, uint32_t count,
             uint32_t fullWeight, uint32_t* sums) {
  if (count < 2 || count - 2 > kMostInnerRows || fullWeight > UINT16_MAX ||
      weights[0] > UINT16_MAX || weights[count - 1] > UINT16_MAX) {
    return false;
  }
  for (uint32_t j = 1; j + 1 < count; ++j) {
    if (weights[j] != fullWeight) return false;
  }
  const uint8_t* lastRow = firstRow + size_t{count - 1} * samples;
  const __m128i zero = _mm_setzero_si128();
  const __m128i firstWeight = _mm_set1_epi16(static_cast<short>(weights[0]));
  const __m128i lastWeight = _mm_set1_epi16(static_cast<short>(weights[count - 1]));
  const __m128i innerWeight = _mm_set1_epi16(static_cast<short>(fullWeight));
  size_t k = 0;
  for (; k + 16 <= samples; k += 16) {
    __m128i innerLow = zero, innerHigh = zero;
    const uint8_t* row = firstRow + samples + k;
    for (uint32_t j = 1; j + 1 < count; ++j, row += samples) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
      innerLow = _mm_add_epi16(innerLow, _mm_unpacklo_epi8(bytes, zero));
      innerHigh = _mm_add_epi16(innerHigh, _mm_unpackhi_epi8(bytes, zero));
    }
    const __m128i firstBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(firstRow + k));
    const __m128i lastBytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lastRow + k));
    const __m128i halves[3][2] = {
        {_mm_unpacklo_epi8(firstBytes, zero), _mm_unpackhi_epi8(firstBytes, zero)},
        {_mm_unpacklo_epi8(lastBytes, zero), _mm_unpackhi_epi8(lastBytes, zero)},
        {innerLow, innerHigh}};
    const __m128i rowWeights[3] = {firstWeight, lastWeight, innerWeight};
    __m128i total[4] = {zero, zero, zero, zero};
    for (int r = 0; r < 3; ++r) {
      for (int half = 0; half < 2; ++half) {
        __m128i low, high;
        MultiplyWiden(halves[r][half], rowWeights[r], &low, &high);
        total[2 * half] = _mm_add_epi32(total[2 * half], low);
        total[2 * half + 1] = _mm_add_epi32(total[2 * half + 1], high);
      }
    }
    __m128i* out = reinterpret_cast<__m128i*>(sums + k);
    for (int q = 0; q < 4; ++q) _mm_storeu_si128(out + q, total[q]);
  }
  // The last samples of the row, one row at a time.
  for (uint32_t j = 0; j < count && k < samples; ++j) {
    AddWeightedRow<uint32_t>(firstRow + size_t{j} * samples + k, weights[j], sums + k, samples - k,
                             j == 0);
  }
  return true;
}
#endif

// Sets the per-column sums to the weighted sum of the span's rows; a row
// the span covers wholly weighs `fullWeight`.
template <typename Sum>
void SumRows(const uint8_t* firstRow, size_t samples, const uint32_t* weights, uint32_t count,
             uint32_t /*fullWeight*/, Sum* sums) {
  for (uint32_t j = 0; j < count; ++j) {
    AddWeightedRow(firstRow + size_t{j} * samples, weights[j], sums, samples, j == 0);
  }
}

#if defined(__SSE2__)
void SumRows(const uint8_t* firstRow, size_t samples, const uint32_t* weights, uint32_t count,
             uint32_t fullWeight, uint32_t* sums) {
  if (!SumSpan(firstRow, samples, weights, count, fullWeight, sums)) {
    SumRows<uint32_t>(firstRow, samples, weights, count, fullWeight, sums);
  }
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

// sum / area rounded to nearest, halves up, for sum <= 255 x area below 2^32,
// in floating point alone. The exact s / a + 1/2 is a whole number or at
// least 1 / 2a (more than 2^-25) away from one; the double product and sum
// are off by less than 2^-43 (values below 2^9), so adding 2^-30 before
// truncating lands on the right whole number every time.
class SmallAreaDivision {
 public:
  explicit SmallAreaDivision(uint64_t area) : inverse_(1.0 / static_cast<double>(area)) {}
  uint8_t operator()(uint32_t sum) const {
    return static_cast<uint8_t>(static_cast<int32_t>(static_cast<double>(sum) * inverse_ + kHalfAndMargin));
  }

 private:
  static constexpr double kHalfAndMargin = 0.5 + 1.0 / (1 << 30);
  double inverse_;
};

// Reduces the per-column sums of one output row across into its pixels,
// totals held as Total (wide enough for 255 x area).
template <typename Total, typename Sum, typename Division>
void ReduceAcross(const Sum* sums, const AxisSpans& columns, uint32_t outputWidth,
                  const Division& divide, uint8_t* output) {
  for (uint32_t x = 0; x < outputWidth; ++x) {
    const Span& span = columns.span(x);
    const uint32_t* weights = columns.weights(span);
    const Sum* column = sums + size_t{span.first} * 3;
    Total red = 0, green = 0, blue = 0;
    for (uint32_t i = 0; i < span.count; ++i) {
      const Total w = weights[i];
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
  const uint64_t area = uint64_t{sourceWidth} * sourceHeight;
  const RoundedDivision divide(area);
  // Totals of 32 bits hold 255 x area for every picture up to 16 megapixels.
  constexpr uint64_t kLargestByte = 255;
  const bool smallArea = kLargestByte * area <= UINT32_MAX;
  const SmallAreaDivision divideSmall(area);
  uint8_t* output = destination;
  for (uint32_t y = 0; y < destinationHeight; ++y) {
    const Span& span = rows.span(y);
    const uint32_t* weights = rows.weights(span);
    // A wholly covered source row weighs destinationHeight.
    SumRows(source + size_t{span.first} * samples, samples, weights, span.count,
            destinationHeight, sums);
    if (smallArea) {
      ReduceAcross<uint32_t>(sums, columns, destinationWidth, divideSmall, output);
    } else {
      ReduceAcross<uint64_t>(sums, columns, destinationWidth, divide, output);
    }
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
