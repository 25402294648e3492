// A picture read by the library, used where it lies: the reader's movable
// block stays locked while the tool works on it, and is unlocked and freed
// on every way out. Nothing copies the pixels.
#pragma once

#include <cstdint>

#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"

class PictureBlock {
 public:
  // Takes ownership of a reader's block and locks it. False (the block freed)
  // when it cannot be locked or holds fewer than width x height x 3 bytes.
  bool Take(HGLOBAL block, uint32_t width, uint32_t height) {
    width_ = height_ = 0;
    if (!block_.Adopt(block)) return false;
    const uint64_t rowBytes = uint64_t{width} * 3;
    if (rowBytes != 0 && GlobalSize(block) / rowBytes < height) {
      block_.Reset();
      return false;
    }
    width_ = width;
    height_ = height;
    return true;
  }

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  // width x height x 3 bytes, rows from the top down.
  const uint8_t* rgb() const { return block_.bytes(); }

 private:
  pelorn::GlobalBlockOwner block_;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};
