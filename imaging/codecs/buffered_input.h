// Buffered binary input over a C file stream, for the readers that take their
// file byte by byte (TGA, PCX). Bytes come from a fixed buffer refilled with
// fread, so a reader can take single bytes cheaply or convert whole spans of
// pixels straight out of the buffer. The stream stays owned by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace pelorn {

class BufferedFileInput {
 public:
  static constexpr size_t kCapacity = size_t{1} << 16;

  // Reads from the stream's current position (normally 0).
  explicit BufferedFileInput(std::FILE* file) : file_(file) {
    const long start = std::ftell(file);
    if (start >= 0 && std::fseek(file, 0, SEEK_END) == 0) {
      const long size = std::ftell(file);
      if (size >= 0) fileBytes_ = size;
    }
    consumedBeforeBuffer_ = start >= 0 ? start : 0;
    std::fseek(file, start >= 0 ? start : 0, SEEK_SET);
  }
  BufferedFileInput(const BufferedFileInput&) = delete;
  BufferedFileInput& operator=(const BufferedFileInput&) = delete;

  // The next byte, or -1 at the end of the file.
  int Get() {
    if (next_ == end_ && !Refill(1)) return -1;
    return *next_++;
  }

  // false when the file ends before `count` bytes were read.
  bool ReadBytes(uint8_t* destination, size_t count) {
    while (count > 0) {
      if (next_ == end_ && !Refill(1)) return false;
      const size_t take = count < Available() ? count : Available();
      std::memcpy(destination, next_, take);
      next_ += take;
      destination += take;
      count -= take;
    }
    return true;
  }

  // At least `minimum` (at most kCapacity) bytes at Data(), or false when the
  // file ends first.
  bool Ensure(size_t minimum) { return Available() >= minimum || Refill(minimum); }
  const uint8_t* Data() const { return next_; }
  size_t Available() const { return static_cast<size_t>(end_ - next_); }
  void Consume(size_t count) { next_ += count; }

  // Bytes of the file from the current position on; -1 when not known.
  long long Remaining() const {
    if (fileBytes_ < 0) return -1;
    return fileBytes_ - (consumedBeforeBuffer_ + (next_ - buffer_));
  }
  // The file's size in bytes; -1 when not known.
  long long FileBytes() const { return fileBytes_; }

 private:
  bool Refill(size_t minimum) {
    const size_t kept = Available();
    consumedBeforeBuffer_ += next_ - buffer_;
    std::memmove(buffer_, next_, kept);
    next_ = buffer_;
    end_ = buffer_ + kept;
    while (Available() < minimum) {
      const size_t got = std::fread(end_, 1, kCapacity - Available(), file_);
      if (got == 0) return false;
      end_ += got;
    }
    return true;
  }

  std::FILE* file_;
  long long fileBytes_ = -1;
  long long consumedBeforeBuffer_ = 0;
  uint8_t buffer_[kCapacity];
  uint8_t* next_ = buffer_;
  uint8_t* end_ = buffer_;
};

}  // namespace pelorn
