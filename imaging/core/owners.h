// RAII owners for the resources codecs hold during one operation, so that
// every way out closes its file and frees its blocks exactly once.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/win32.h"

namespace pelorn {

// malloc, except that a test can make the n-th call from now fail
// (FailNthPlainAllocation) so the library's out-of-memory paths can be tested.
void* PlainAllocate(size_t bytes, bool zeroed);
void FailNthPlainAllocation(long long n);

// A buffered binary file stream, closed when the owner goes.
class FileOwner {
 public:
  FileOwner() = default;
  explicit FileOwner(std::FILE* file) : file_(file) {}
  ~FileOwner() { Close(); }
  FileOwner(const FileOwner&) = delete;
  FileOwner& operator=(const FileOwner&) = delete;

  bool Open(const char* path, const char* mode) {
    Close();
    file_ = std::fopen(path, mode);
    return file_ != nullptr;
  }
  // Closes now; false when closing reported an error (data not written).
  bool Close() {
    if (file_ == nullptr) return true;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return closed;
  }
  std::FILE* get() const { return file_; }
  explicit operator bool() const { return file_ != nullptr; }

 private:
  std::FILE* file_ = nullptr;
};

// A movable global block and its lock: a picture a codec is filling, or a
// reader's result while its caller works on it. Release() hands the block to
// the caller unlocked; otherwise the block is unlocked and freed on the way out.
class GlobalBlockOwner {
 public:
  GlobalBlockOwner() = default;
  ~GlobalBlockOwner() { Reset(); }
  GlobalBlockOwner(const GlobalBlockOwner&) = delete;
  GlobalBlockOwner& operator=(const GlobalBlockOwner&) = delete;

  // Allocates a movable zero-initialised block and locks it; false on failure
  // of either (nothing is left allocated).
  bool AllocateAndLock(SIZE_T bytes, UINT flags = GMEM_MOVEABLE | GMEM_ZEROINIT) {
    Reset();
    block_ = GlobalAlloc(flags, bytes);
    if (block_ == nullptr) return false;
    bytes_ = static_cast<unsigned char*>(GlobalLock(block_));
    if (bytes_ == nullptr) {
      GlobalFree(block_);
      block_ = nullptr;
      return false;
    }
    return true;
  }
  // Takes over a block (a reader's result) and locks it; false when it
  // cannot be locked, the block then freed.
  bool Adopt(HGLOBAL block) {
    Reset();
    block_ = block;
    if (block_ == nullptr) return false;
    bytes_ = static_cast<unsigned char*>(GlobalLock(block_));
    if (bytes_ == nullptr) Reset();
    return bytes_ != nullptr;
  }
  void Swap(GlobalBlockOwner& other) {
    std::swap(block_, other.block_);
    std::swap(bytes_, other.bytes_);
  }
  unsigned char* bytes() const { return bytes_; }
  HGLOBAL handle() const { return block_; }

  HGLOBAL Release() {
    HGLOBAL block = block_;
    if (bytes_ != nullptr) GlobalUnlock(block_);
    block_ = nullptr;
    bytes_ = nullptr;
    return block;
  }
  void Reset() {
    if (block_ == nullptr) return;
    if (bytes_ != nullptr) GlobalUnlock(block_);
    GlobalFree(block_);
    block_ = nullptr;
    bytes_ = nullptr;
  }

 private:
  HGLOBAL block_ = nullptr;
  unsigned char* bytes_ = nullptr;
};

// Plain memory from malloc, freed on the way out. Allocation failure is a
// value (null), not an exception, so codecs can report code 1.
class PlainBlock {
 public:
  PlainBlock() = default;
  ~PlainBlock() { std::free(bytes_); }
  PlainBlock(const PlainBlock&) = delete;
  PlainBlock& operator=(const PlainBlock&) = delete;

  bool Allocate(size_t bytes, bool zeroed = false) {
    std::free(bytes_);
    bytes_ = static_cast<unsigned char*>(PlainAllocate(bytes ? bytes : 1, zeroed));
    return bytes_ != nullptr;
  }
  unsigned char* bytes() const { return bytes_; }

 private:
  unsigned char* bytes_ = nullptr;
};

}  // namespace pelorn
