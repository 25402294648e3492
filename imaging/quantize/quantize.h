// Colour quantiser object: reduces a 24-bit RGB buffer to at most N colours
// on a fixed tree of 5-bit colour cubes and maps the pixels with serpentine
// error diffusion. The method and its costs are described at the top of
// quantize.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/core/pelorn.h"

// One node of the fixed colour tree. The channel sums are 64-bit so that a
// node may hold any number of pixels (32-bit sums wrap past 16.8 million
// pixels of value 255); counts are 64-bit for the same reason.
struct ColorCube {
  uint64_t redSum;
  uint64_t greenSum;
  uint64_t blueSum;
  uint64_t pixelCount;    // pixels assigned to this node; non-zero: a palette colour
  uint64_t pixelsInCube;  // pixels anywhere in the subtree; the merge priority
  uint8_t childrenMask;   // bit k: child k still a separate node
  uint8_t paletteIndex;
};

// One entry of the 1-based merge heap: a tree level and a node index in it.
struct HeapSlot {
  uint8_t level;
  uint16_t index;
};

class ColorQuantizer {
 public:
  // Raises the calling thread's operation depth while the object lives.
  ColorQuantizer();
  ~ColorQuantizer();
  ColorQuantizer(const ColorQuantizer&) = delete;
  ColorQuantizer& operator=(const ColorQuantizer&) = delete;

  // Fills indices (width x height) and the three 256-byte palette planes
  // (entries beyond the colours produced are 0). 1 on success, 0 on failure.
  int32_t Quantize(const uint8_t* rgb, uint8_t* indices, int32_t width, int32_t height,
                   int32_t colorCount, uint8_t* redPlane, uint8_t* greenPlane,
                   uint8_t* bluePlane);

  // 0 after a success; 14 when the progress callback stopped the run; 1 when
  // working memory was refused; 5 for arguments the quantiser cannot take.
  PelornError errorCode = 0;

  static constexpr int kLevelCount = 6;
  static constexpr size_t kHeapSlots = 32769;  // 32768 leaves, used from slot 1
  static constexpr size_t kCellCount = 32768;  // 5-bit cells of the lookup cache

 private:
  void Initialise();
  bool AllocateLevels();
  void ReleaseTables();
  bool Build(const uint8_t* rgb, size_t pixelCount);
  void SiftDown(uint32_t slot);
  void ReduceTo(uint32_t colorCount);
  void AssignPalette(int level, uint32_t index);
  bool MapPixels(const uint8_t* rgb, uint8_t* indices, int32_t width, int32_t height);
  int16_t NearestColor(int red, int green, int blue) const;
  uint64_t Key(const HeapSlot& slot) const { return levels_[slot.level][slot.index].pixelsInCube; }
  bool Fail(PelornError code);

  // Channel tables: the level-5 index of (r, g, b) is the sum of the three.
  uint16_t redIndex_[256];
  uint16_t greenIndex_[256];
  uint16_t blueIndex_[256];
  int32_t squares_[511];   // squares_[255 + d] = d * d for d in -255..255
  uint8_t clamp_[768];     // clamp_[256 + v] = v limited to 0..255, v in -256..511
  int16_t errorLimit_[512];  // errorLimit_[256 + e] = e limited to -20..20

  ColorCube* levels_[kLevelCount] = {};
  HeapSlot* heap_ = nullptr;
  int16_t* lookup_ = nullptr;       // 32768 cached palette indices, -1: not yet searched
  int16_t* errorRows_[2] = {};      // (width + 2) x 3 carried errors each
  uint32_t heapCount_ = 0;          // entries in the heap: the current colour count
  uint32_t nextPaletteIndex_ = 0;
  uint8_t palette_[3][256];         // red, green, blue planes
};
