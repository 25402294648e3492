// GIF reader and writer objects.
//
// The reader yields the first picture of a GIF file as an RGB buffer of the
// picture's own size (the logical screen's size and the picture's position
// are ignored), with its transparent colour. The writer makes a single-picture
// file whose data comes from the run-length code writer (no LZW string table).
#pragma once

#include <cstdint>
#include <cstdio>

#include "imaging/codecs/lzw.h"
#include "imaging/core/pelorn.h"

class GifReader : private GifSubBlockSource {
 public:
  GifReader();   // raises the thread's operation depth
  ~GifReader();  // lowers it
  GifReader(const GifReader&) = delete;
  GifReader& operator=(const GifReader&) = delete;

  // transparentColor receives 0x00BBGGRR or -1; it may be null.
  HGLOBAL Read(const char* path, uint32_t* width, uint32_t* height, int32_t* transparentColor);

  PelornError errorCode = 0;

 private:
  using ColorTable = uint8_t[768];  // red plane, green plane, blue plane

  int ReadSubBlock(uint8_t* bytes) override;
  bool LastBlockEmpty() const override { return lastBlockEmpty_; }
  bool ReadColorTable(ColorTable& table, int entries);
  bool ReadExtension(int label);
  HGLOBAL ReadPicture(uint32_t* width, uint32_t* height, int32_t* transparentColor);
  bool DecodePixels(uint8_t* rgb, uint32_t width, uint32_t height, bool interlaced,
                    const ColorTable& table);

  std::FILE* file_ = nullptr;
  int32_t transparentIndex_ = -1;
  bool lastBlockEmpty_ = false;
  ColorTable globalTable_ = {};
  ColorTable localTable_ = {};
  LzwDecoder decoder_;
};

class GifWriter : private GifPixelSource, private GifByteSink {
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

 private:
  int NextPixel() override;
  void Put(const uint8_t* bytes, size_t count) override;
  bool AdvanceRow();

  std::FILE* file_ = nullptr;
  const uint8_t* pixels_ = nullptr;
  const uint8_t* rowPixels_ = nullptr;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  bool interlaced_ = false;
  int interlacePass_ = 0;
  uint32_t column_ = 0;
  uint32_t row_ = 0;
  uint64_t pixelsToSend_ = 0;
  bool cancelled_ = false;
  bool writeFailed_ = false;
};
