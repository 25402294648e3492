// Builds BMP files byte by byte for the BMP reader and run-length decoder
// tests: a file header, an info header of any size, a colour table and the
// pixel data, each field settable so headers can lie on purpose.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "imaging/core/pelorn.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/test_support.h"

namespace bmp_test {

struct BmpSpec {
  int32_t width = 1;
  int32_t height = 1;
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t infoSize = 40;      // 12 writes an OS/2 1.x core header
  uint32_t colorsUsed = 0;     // biClrUsed as written
  std::vector<RGBQUAD> colors; // the colour table as written
  std::vector<uint8_t> pixels; // pixel data as written
  int64_t pixelOffset = -1;    // bfOffBits; -1: right after the colour table
};

inline void PutLe(std::vector<uint8_t>* bytes, size_t at, uint64_t value, int count) {
  for (int i = 0; i < count; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline std::vector<uint8_t> BuildBmp(const BmpSpec& spec) {
  const bool core = spec.infoSize == 12;
  const size_t entryBytes = core ? 3 : 4;
  const size_t tableAt = 14 + spec.infoSize;
  const size_t pixelsAt = tableAt + entryBytes * spec.colors.size();
  std::vector<uint8_t> bytes(pixelsAt, 0);
  bytes[0] = 'B';
  bytes[1] = 'M';
  PutLe(&bytes, 2, pixelsAt + spec.pixels.size(), 4);
  PutLe(&bytes, 10, spec.pixelOffset < 0 ? pixelsAt : static_cast<uint64_t>(spec.pixelOffset), 4);
  PutLe(&bytes, 14, spec.infoSize, 4);
  if (core) {
    PutLe(&bytes, 18, static_cast<uint16_t>(spec.width), 2);
    PutLe(&bytes, 20, static_cast<uint16_t>(spec.height), 2);
    PutLe(&bytes, 22, 1, 2);
    PutLe(&bytes, 24, spec.bitCount, 2);
  } else {
    // Fields past a short (OS/2 2.x) header are simply not written.
    std::vector<uint8_t> info(spec.infoSize < 40 ? 40 : spec.infoSize, 0);
    PutLe(&info, 4, static_cast<uint32_t>(spec.width), 4);
    PutLe(&info, 8, static_cast<uint32_t>(spec.height), 4);
    PutLe(&info, 12, 1, 2);
    PutLe(&info, 14, spec.bitCount, 2);
    PutLe(&info, 16, spec.compression, 4);
    PutLe(&info, 20, spec.pixels.size(), 4);
    PutLe(&info, 32, spec.colorsUsed, 4);
    for (size_t i = 4; i < spec.infoSize; ++i) bytes[14 + i] = info[i];
  }
  for (size_t i = 0; i < spec.colors.size(); ++i) {
    uint8_t* entry = bytes.data() + tableAt + i * entryBytes;
    entry[0] = spec.colors[i].rgbBlue;
    entry[1] = spec.colors[i].rgbGreen;
    entry[2] = spec.colors[i].rgbRed;
    if (!core) entry[3] = spec.colors[i].rgbReserved;
  }
  bytes.insert(bytes.end(), spec.pixels.begin(), spec.pixels.end());
  return bytes;
}

inline RGBQUAD Color(uint8_t red, uint8_t green, uint8_t blue) {
  RGBQUAD color{};
  color.rgbRed = red;
  color.rgbGreen = green;
  color.rgbBlue = blue;
  return color;
}

// A palette whose entry i is (i, 255 - i, i ^ 0x5A): every index its own colour.
inline std::vector<RGBQUAD> DistinctColors(size_t count) {
  std::vector<RGBQUAD> colors;
  for (size_t i = 0; i < count; ++i)
    colors.push_back(Color(static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                           static_cast<uint8_t>(i ^ 0x5A)));
  return colors;
}

// The outcome of one read through the library's entry point.
struct ReadOutcome {
  PelornError code = -1;
  uint32_t width = 0;
  uint32_t height = 0;
  bool gotPicture = false;
  testing_support::Picture picture;
};

inline ReadOutcome ReadBmpPath(const std::string& path) {
  ReadOutcome outcome;
  HGLOBAL block = ReadBmpFile(path.c_str(), &outcome.width, &outcome.height);
  outcome.code = GetLastImageError();
  outcome.gotPicture = block != nullptr;
  outcome.picture = testing_support::TakePicture(block, outcome.width, outcome.height);
  return outcome;
}

inline std::string WriteTemp(const std::vector<uint8_t>& bytes, const std::string& name) {
  const std::string path = testing_support::TempDir() + "/" + name;
  testing_support::WriteWholeFile(path, bytes);
  return path;
}

inline ReadOutcome ReadBmpBytes(const std::vector<uint8_t>& bytes) {
  return ReadBmpPath(WriteTemp(bytes, "picture.bmp"));
}

// Decodes a file with ImageMagick (as 8-bit RGB through a PPM); empty when
// ImageMagick cannot decode it. Pillow 9.4 misreads some RLE4 files.
inline std::optional<testing_support::Picture> MagickDecode(const std::string& path) {
  std::string output;
  if (testing_support::RunCommand("convert '" + path + "[0]' -depth 8 ppm:- 2>/dev/null",
                                  &output) != 0)
    return std::nullopt;
  testing_support::Picture picture;
  unsigned maxValue = 0;
  int consumed = 0;
  if (std::sscanf(output.c_str(), "P6 %u %u %u%n", &picture.width, &picture.height, &maxValue,
                  &consumed) != 3 ||
      maxValue != 255)
    return std::nullopt;
  const size_t bytes = static_cast<size_t>(picture.width) * picture.height * 3;
  const size_t start = static_cast<size_t>(consumed) + 1;  // one whitespace byte
  if (output.size() != start + bytes) return std::nullopt;
  picture.rgb.assign(output.begin() + static_cast<long>(start), output.end());
  return picture;
}

// RGB bytes of a palette entry, as the reader puts them in the buffer.
inline void AppendRgb(std::vector<uint8_t>* rgb, const RGBQUAD& color) {
  rgb->push_back(color.rgbRed);
  rgb->push_back(color.rgbGreen);
  rgb->push_back(color.rgbBlue);
}

// Progress calls seen by the recording callback below.
struct ProgressLog {
  std::vector<std::pair<int32_t, int32_t>> calls;
  int32_t stopAtCall = -1;  // 0-based call that returns 0; -1 never
};
inline ProgressLog& Progress() {
  static thread_local ProgressLog log;
  return log;
}
inline int32_t RecordProgress(int32_t done, int32_t total) {
  ProgressLog& log = Progress();
  log.calls.emplace_back(done, total);
  return static_cast<int32_t>(log.calls.size()) - 1 == log.stopAtCall ? 0 : 1;
}
// Installs the recording callback for one test and removes it afterwards.
class ProgressRecorder {
 public:
  explicit ProgressRecorder(int32_t stopAtCall = -1) {
    Progress() = ProgressLog{};
    Progress().stopAtCall = stopAtCall;
    SetProgressCallback(RecordProgress);
  }
  ~ProgressRecorder() { SetProgressCallback(nullptr); }
  const std::vector<std::pair<int32_t, int32_t>>& calls() const { return Progress().calls; }
};

}  // namespace bmp_test
