// GIF reader and writer objects.
#pragma once

#include <cstdint>

#include "imaging/core/pelorn.h"

class GifReader {
 public:
  GifReader();   // raises the thread's operation depth
  ~GifReader();  // lowers it
  GifReader(const GifReader&) = delete;
  GifReader& operator=(const GifReader&) = delete;

  // transparentColor receives 0x00BBGGRR or -1; it may be null.
  HGLOBAL Read(const char* path, uint32_t* width, uint32_t* height, int32_t* transparentColor);

  PelornError errorCode = 0;
};

class GifWriter {
 public:
  GifWriter();
  ~GifWriter();
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;

  // The tables hold 1 << bitsPerPixel integers, each written as one byte.
  // pixels: one index per byte, top row first. transparentIndex -1: none.
  int32_t Write(const char* path, int32_t width, int32_t height, int32_t interlace,
                int32_t backgroundIndex, int32_t transparentIndex, int32_t bitsPerPixel,
                const int32_t* redTable, const int32_t* greenTable, const int32_t* blueTable,
                const uint8_t* pixels);

  PelornError errorCode = 0;
};
