// A picture decoded for showing: turned upright by its EXIF orientation and
// fitted to an area, in plain memory of its own. It touches no window and
// uses only the calling thread's library state, so any thread may call it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "imaging/core/pelorn.h"

struct FreeWithFree {
  void operator()(uint8_t* pixels) const { std::free(pixels); }
};

struct FittedPicture {
  // width x height x 3 bytes, top row first, upright; released with free().
  // Null when the picture could not be decoded or fitted.
  std::unique_ptr<uint8_t, FreeWithFree> rgb;
  int32_t width = 0;
  int32_t height = 0;
  // Whether the file decoded at all (its fitting may still have failed).
  bool decoded = false;
  // Why rgb is null: the reader's code, 1 when memory ran out, 5 when no
  // reader takes the name.
  PelornError error = kPelornOk;

  bool IsEmpty() const { return rgb == nullptr; }
  size_t Bytes() const { return static_cast<size_t>(width) * static_cast<size_t>(height) * 3; }
};

// Decodes the picture file at `path` with the reader its extension selects,
// turns it upright and fits it to areaWidth x areaHeight as
// FitPictureToArea says, from the upright size of the whole picture: a
// smaller picture keeps its size, a larger one is reduced by ReduceRgb (every
// source pixel contributes). A JPEG is decoded at the smallest DCT scale that
// still covers the fitted size, then reduced the rest of the way; reducing
// and turning commute, so the picture is reduced as stored and the small
// result turned.
FittedPicture DecodeFittedPicture(const char* path, int32_t areaWidth, int32_t areaHeight);

// A copy in a block of its own (released with free), with the same outcome;
// empty with error 1 when memory runs out.
FittedPicture CopyOf(const FittedPicture& picture);
