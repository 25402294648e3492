// A picture read by the library, used where it lies: the reader's movable
// block stays locked while the tool works on it, and is unlocked and freed
// on every way out. Nothing copies the pixels.
#pragma once

#include <cstdint>

#include "imaging/core/pelorn.h"

class PictureBlock {
 public:
  PictureBlock() = default;
  ~PictureBlock() { Reset(); }
  PictureBlock(const PictureBlock&) = delete;
  PictureBlock& operator=(const PictureBlock&) = delete;

  // Takes ownership of a reader's block and locks it. False (the block freed)
  // when it cannot be locked or holds fewer than width x height x 3 bytes.
  bool Take(HGLOBAL block, uint32_t width, uint32_t height) {
    Reset();
    block_ = block;
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
    if (bytes == nullptr) {
      Reset();
      return false;
    }
    rgb_ = bytes;
    const uint64_t rowBytes = uint64_t{width} * 3;
    if (rowBytes != 0 && GlobalSize(block) / rowBytes < height) {
      Reset();
      return false;
    }
    width_ = width;
    height_ = height;
    return true;
  }

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  // width x height x 3 bytes, rows from the top down.
  const uint8_t* rgb() const { return rgb_; }

 private:
  void Reset() {
    if (block_ == nullptr) return;
    if (rgb_ != nullptr) GlobalUnlock(block_);
    GlobalFree(block_);
    block_ = nullptr;
    rgb_ = nullptr;
    width_ = height_ = 0;
  }

  HGLOBAL block_ = nullptr;
  const uint8_t* rgb_ = nullptr;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
};
