// Colour quantiser: 24-bit RGB to at most N palette colours (1 <= N <= 256),
// with error diffusion.
//
// Method. Colour space is cut into 32 x 32 x 32 cells by the top five bits of
// each channel. The cells are the leaves of a fixed tree of six levels (1, 8,
// 64, 512, 4096 and 32768 nodes) in which every node has eight children; the
// level-5 index of a colour interleaves the channel bits r7 g7 b7 r6 g6 b6 ...
// r3 g3 b3, so child k of a node has its red bit in bit 2 of k, green in bit
// 1 and blue in bit 0. A first pass adds every pixel into its leaf. Occupied
// leaves go into a 1-based binary min-heap keyed on "pixels in cube" (the
// number of pixels anywhere in a node's subtree, fixed once built), and while
// the heap holds more than N entries the top node is merged into its parent:
// the smallest subtrees give way first, so the palette spends its entries
// where the picture has most pixels. A depth-first walk (child 7 down to
// child 0, then the node itself) hands out the palette indices; each colour
// is the rounded average of the pixels merged into its node.
//
// Mapping. Rows are processed in serpentine order (even rows left to right,
// odd rows right to left). Each pixel gets half of the sum of the limited
// error of the pixel above it and of the previous pixel in its row; errors are
// limited to +-20 so that flat areas do not grow "worms", and are carried in
// two rows of 16-bit values that swap from row to row (the write position
// runs backwards, so the next row, which runs the other way, finds each
// column's error where it reads). The nearest palette colour is searched once
// per occupied 5-bit cell of adjusted colours, against the cell centre, and
// cached in a 32768-entry table.
//
// Parameters: the RGB buffer (rows packed, top row first), width, height and
// the colour count N (clamped to 1..256 here as well as by the entry point).
// Output: one index byte per pixel and three 256-byte palette planes (red,
// green, blue; entries beyond the colours produced are 0).
//
// Costs. Time: one pass over the pixels to build, one to map; the tree walk
// and the heap work are proportional to the occupied cells (at most 32768),
// the nearest-colour searches to occupied adjusted cells x palette size.
// Memory per run: the tree (37449 nodes), the heap (131076 bytes), the lookup
// cache (64 KB) and two error rows of (width + 2) x 3 x 2 bytes; all released
// at the end of the run, on every way out.
//
// Why so exact: exported 8-bit files must come out byte for byte the same on
// every machine, so the whole run is integer arithmetic with fixed tie rules
// (heap ties keep the parent above and take the left child; the first of
// equally near palette entries wins).
#include "imaging/quantize/quantize.h"

#include <cstdlib>
#include <cstring>

#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/thread_state.h"

namespace {

constexpr uint32_t kLevelNodes[ColorQuantizer::kLevelCount] = {1, 8, 64, 512, 4096, 32768};
constexpr int kErrorLimit = 20;
// Larger than any sum of three squared channel differences (3 x 255 x 255).
constexpr int32_t kNoDistance = 200000;
constexpr int kPhaseCount = 5;

}  // namespace

ColorQuantizer::ColorQuantizer() { ++GetThreadState().operationDepth; }

ColorQuantizer::~ColorQuantizer() {
  ReleaseTables();
  --GetThreadState().operationDepth;
}

bool ColorQuantizer::Fail(PelornError code) {
  errorCode = code;
  ReleaseTables();
  return false;
}

void ColorQuantizer::ReleaseTables() {
  for (ColorCube*& level : levels_) {
    std::free(level);
    level = nullptr;
  }
  std::free(heap_);
  heap_ = nullptr;
  std::free(lookup_);
  lookup_ = nullptr;
  for (int16_t*& row : errorRows_) {
    std::free(row);
    row = nullptr;
  }
}

void ColorQuantizer::Initialise() {
  for (int value = 0; value < 256; ++value) {
    uint16_t red = 0, green = 0, blue = 0;
    for (int bit = 0; bit < 5; ++bit) {
      const uint16_t set = static_cast<uint16_t>((value >> (3 + bit)) & 1);
      red = static_cast<uint16_t>(red | set << (2 + 3 * bit));
      green = static_cast<uint16_t>(green | set << (1 + 3 * bit));
      blue = static_cast<uint16_t>(blue | set << (3 * bit));
    }
    redIndex_[value] = red;
    greenIndex_[value] = green;
    blueIndex_[value] = blue;
  }
  for (int difference = -255; difference <= 255; ++difference) {
    squares_[255 + difference] = difference * difference;
  }
  for (int value = -256; value <= 511; ++value) {
    clamp_[256 + value] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
  }
  for (int error = -256; error <= 255; ++error) {
    errorLimit_[256 + error] = static_cast<int16_t>(
        error < -kErrorLimit ? -kErrorLimit : error > kErrorLimit ? kErrorLimit : error);
  }
  std::memset(palette_, 0, sizeof palette_);
  heapCount_ = 0;
  nextPaletteIndex_ = 0;
  errorCode = 0;
}

bool ColorQuantizer::AllocateLevels() {
  for (int level = 0; level < kLevelCount; ++level) {
    levels_[level] = static_cast<ColorCube*>(
        pelorn::PlainAllocate(kLevelNodes[level] * sizeof(ColorCube), /*zeroed=*/true));
    if (levels_[level] == nullptr) return false;
  }
  return true;
}

bool ColorQuantizer::Build(const uint8_t* rgb, size_t pixelCount) {
  heap_ = static_cast<HeapSlot*>(pelorn::PlainAllocate(kHeapSlots * sizeof(HeapSlot), false));
  if (heap_ == nullptr) return false;

  ColorCube* leaves = levels_[5];
  for (size_t pixel = 0; pixel < pixelCount; ++pixel, rgb += 3) {
    ColorCube& leaf = leaves[redIndex_[rgb[0]] + greenIndex_[rgb[1]] + blueIndex_[rgb[2]]];
    leaf.redSum += rgb[0];
    leaf.greenSum += rgb[1];
    leaf.blueSum += rgb[2];
    ++leaf.pixelCount;
  }

  for (uint32_t index = 0; index < kLevelNodes[5]; ++index) {
    const uint64_t count = leaves[index].pixelCount;
    if (count == 0) continue;
    heap_[++heapCount_] = HeapSlot{5, static_cast<uint16_t>(index)};
    leaves[index].pixelsInCube = count;
    uint32_t child = index;
    for (int level = 4; level >= 0; --level) {
      ColorCube& ancestor = levels_[level][child >> 3];
      ancestor.pixelsInCube += count;
      ancestor.childrenMask = static_cast<uint8_t>(ancestor.childrenMask | 1u << (child & 7));
      child >>= 3;
    }
  }
  // Slots past the middle have no children; sifting them would change nothing.
  for (uint32_t slot = heapCount_ / 2; slot >= 1; --slot) SiftDown(slot);
  return true;
}

void ColorQuantizer::SiftDown(uint32_t slot) {
  const HeapSlot kept = heap_[slot];
  const uint64_t keptKey = Key(kept);
  while (slot <= heapCount_ / 2) {
    uint32_t child = 2 * slot;
    if (child + 1 <= heapCount_ && Key(heap_[child + 1]) < Key(heap_[child])) ++child;
    if (keptKey <= Key(heap_[child])) break;
    heap_[slot] = heap_[child];
    slot = child;
  }
  heap_[slot] = kept;
}

void ColorQuantizer::ReduceTo(uint32_t colorCount) {
  while (heapCount_ > colorCount) {
    const HeapSlot top = heap_[1];
    // Quirk: the root has no parent. It can only reach the top once it is the
    // last entry, so this never fires; without it the root would merge into
    // itself, doubling its sums and dropping child 0 from the palette walk.
    if (top.level == 0) break;
    const uint8_t parentLevel = static_cast<uint8_t>(top.level - 1);
    const uint16_t parentIndex = static_cast<uint16_t>(top.index >> 3);
    const ColorCube& node = levels_[top.level][top.index];
    ColorCube& parent = levels_[parentLevel][parentIndex];
    if (parent.pixelCount != 0) {
      heap_[1] = heap_[heapCount_];
      --heapCount_;
    } else {
      heap_[1] = HeapSlot{parentLevel, parentIndex};
    }
    parent.pixelCount += node.pixelCount;
    parent.redSum += node.redSum;
    parent.greenSum += node.greenSum;
    parent.blueSum += node.blueSum;
    parent.childrenMask = static_cast<uint8_t>(parent.childrenMask & ~(1u << (top.index & 7)));
    SiftDown(1);
  }
}

void ColorQuantizer::AssignPalette(int level, uint32_t index) {
  ColorCube& node = levels_[level][index];
  for (int child = 7; child >= 0; --child) {
    if (node.childrenMask & (1u << child)) AssignPalette(level + 1, index * 8 + child);
  }
  const uint64_t count = node.pixelCount;
  // The heap never holds more than 256 entries here, so the bound only
  // protects the planes against a broken invariant.
  if (count == 0 || nextPaletteIndex_ >= 256) return;
  node.paletteIndex = static_cast<uint8_t>(nextPaletteIndex_);
  palette_[0][nextPaletteIndex_] = static_cast<uint8_t>((node.redSum + count / 2) / count);
  palette_[1][nextPaletteIndex_] = static_cast<uint8_t>((node.greenSum + count / 2) / count);
  palette_[2][nextPaletteIndex_] = static_cast<uint8_t>((node.blueSum + count / 2) / count);
  ++nextPaletteIndex_;
}

int16_t ColorQuantizer::NearestColor(int red, int green, int blue) const {
  const int centreRed = (red & 0xF8) + 4;
  const int centreGreen = (green & 0xF8) + 4;
  const int centreBlue = (blue & 0xF8) + 4;
  int32_t best = kNoDistance;
  int16_t nearest = 0;
  for (uint32_t entry = 0; entry < nextPaletteIndex_; ++entry) {
    const int32_t distance = squares_[255 + centreRed - palette_[0][entry]] +
                             squares_[255 + centreGreen - palette_[1][entry]] +
                             squares_[255 + centreBlue - palette_[2][entry]];
    if (distance < best) {
      best = distance;
      nearest = static_cast<int16_t>(entry);
    }
  }
  return nearest;
}

bool ColorQuantizer::MapPixels(const uint8_t* rgb, uint8_t* indices, int32_t width,
                               int32_t height) {
  size_t rowBytes = 0;
  if (!pelorn::CheckedProduct(static_cast<uint64_t>(width) + 2, 3, sizeof(int16_t), &rowBytes)) {
    return false;
  }
  lookup_ = static_cast<int16_t*>(pelorn::PlainAllocate(kCellCount * sizeof(int16_t), false));
  if (lookup_ == nullptr) return false;
  std::memset(lookup_, 0xFF, kCellCount * sizeof(int16_t));  // every entry -1
  // Both rows start zeroed: row 0 reads the first, and the other is fully
  // written before it is read, except for the spare slot past the row end,
  // which is only ever added to.
  for (int16_t*& row : errorRows_) {
    row = static_cast<int16_t*>(pelorn::PlainAllocate(rowBytes, /*zeroed=*/true));
    if (row == nullptr) return false;
  }

  if (width == 0 || height == 0) return true;
  const size_t rowStride = static_cast<size_t>(width) * 3;
  int16_t* readRow = errorRows_[0];
  int16_t* writeRow = errorRows_[1];
  for (int32_t y = 0; y < height; ++y) {
    const bool leftToRight = (y & 1) == 0;
    const ptrdiff_t step = leftToRight ? 1 : -1;
    const size_t firstColumn = leftToRight ? 0 : static_cast<size_t>(width) - 1;
    const uint8_t* source = rgb + static_cast<size_t>(y) * rowStride + firstColumn * 3;
    uint8_t* index = indices + static_cast<size_t>(y) * static_cast<size_t>(width) + firstColumn;
    // Slot s + 1 holds the carried error of the s-th pixel processed; the
    // error for the row below goes to slot width - s, where that row, running
    // the other way, reads the same column.
    int16_t* carried = readRow + 3;
    int16_t* below = writeRow + static_cast<size_t>(width) * 3;
    for (int32_t s = 0; s < width; ++s) {
      const int red = clamp_[256 + source[0] + (carried[0] >> 1)];
      const int green = clamp_[256 + source[1] + (carried[1] >> 1)];
      const int blue = clamp_[256 + source[2] + (carried[2] >> 1)];
      const int cell = (red >> 3) << 10 | (green >> 3) << 5 | (blue >> 3);
      int16_t entry = lookup_[cell];
      if (entry < 0) {
        entry = NearestColor(red, green, blue);
        lookup_[cell] = entry;
      }
      *index = static_cast<uint8_t>(entry & 0xFF);
      const int16_t redError = errorLimit_[256 + red - palette_[0][entry]];
      const int16_t greenError = errorLimit_[256 + green - palette_[1][entry]];
      const int16_t blueError = errorLimit_[256 + blue - palette_[2][entry]];
      below[0] = redError;
      below[1] = greenError;
      below[2] = blueError;
      carried[3] = static_cast<int16_t>(carried[3] + redError);
      carried[4] = static_cast<int16_t>(carried[4] + greenError);
      carried[5] = static_cast<int16_t>(carried[5] + blueError);
      carried += 3;
      below -= 3;
      source += 3 * step;
      index += step;
    }
    int16_t* swap = readRow;
    readRow = writeRow;
    writeRow = swap;
  }
  return true;
}

int32_t ColorQuantizer::Quantize(const uint8_t* rgb, uint8_t* indices, int32_t width,
                                 int32_t height, int32_t colorCount, uint8_t* redPlane,
                                 uint8_t* greenPlane, uint8_t* bluePlane) {
  Initialise();
  ReleaseTables();
  size_t pictureBytes = 0;
  // A negative size or a buffer larger than the address space cannot be a
  // real picture; refuse it before any index is computed.
  if (rgb == nullptr || indices == nullptr || redPlane == nullptr || greenPlane == nullptr ||
      bluePlane == nullptr || width < 0 || height < 0 ||
      !pelorn::CheckedProduct(static_cast<uint64_t>(width), static_cast<uint64_t>(height), 3,
                              &pictureBytes)) {
    return Fail(kPelornBadParam);
  }
  // Quirk: N is clamped here too, so a direct caller cannot overrun the
  // 256-entry palette planes.
  const uint32_t targetColors =
      static_cast<uint32_t>(colorCount < 1 ? 1 : colorCount > 256 ? 256 : colorCount);

  if (!ReportProgress(0, kPhaseCount)) return Fail(kPelornCancelled);
  if (!AllocateLevels()) return Fail(kPelornOutOfMemory);

  if (!ReportProgress(1, kPhaseCount)) return Fail(kPelornCancelled);
  if (!Build(rgb, pictureBytes / 3)) return Fail(kPelornOutOfMemory);

  if (!ReportProgress(2, kPhaseCount)) return Fail(kPelornCancelled);
  ReduceTo(targetColors);
  AssignPalette(0, 0);

  if (!ReportProgress(3, kPhaseCount)) return Fail(kPelornCancelled);
  if (!MapPixels(rgb, indices, width, height)) return Fail(kPelornOutOfMemory);

  if (!ReportProgress(4, kPhaseCount)) return Fail(kPelornCancelled);
  ReleaseTables();
  std::memcpy(redPlane, palette_[0], 256);
  std::memcpy(greenPlane, palette_[1], 256);
  std::memcpy(bluePlane, palette_[2], 256);
  return 1;
}
