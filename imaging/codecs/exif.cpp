// EXIF orientation of a JPEG file: ReadJpegOrientation.
//
// Format facts. A JPEG file is SOI (FF D8) followed by marker segments
// (FF, the marker byte, a two-byte big-endian length that counts itself);
// fill bytes FF may stand before a marker, and RSTn and TEM carry no length.
// The EXIF block is an APP1 (FF E1) segment whose data starts "Exif\0\0",
// followed by a TIFF structure: "II" (little-endian) or "MM" (big-endian),
// the number 42, and the offset of the first directory (IFD0), counted from
// the "II"/"MM". A directory is a two-byte entry count and 12-byte entries:
// tag, type, count, and a four-byte value field that holds the value itself
// when it fits. Orientation is tag 0x0112, type SHORT (3), count 1, 1-8.
//
// The parser is bounded by construction: it reads only the segment's bytes
// (at most 65,533), follows no offset but the one to IFD0 (so no chain of
// directories can loop), and looks at no more entries than the segment can
// hold. Anything out of place - an offset past the end, an entry count the
// segment cannot hold, a wrong type or count, a value outside 1-8 - means
// "no orientation", 1. The first "Exif" APP1 decides; segments are walked
// only up to the first scan (SOS), where metadata ends.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "imaging/core/codec.h"
#include "imaging/core/owners.h"

namespace {

constexpr int32_t kNoOrientation = 1;
constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;
constexpr size_t kDirectoryEntryBytes = 12;

// A TIFF structure held in memory, read in its own byte order; every read
// is checked against the end.
class TiffBytes {
 public:
  TiffBytes(const uint8_t* bytes, size_t size, bool bigEndian)
      : bytes_(bytes), size_(size), bigEndian_(bigEndian) {}

  bool Read16(size_t at, uint16_t* value) const {
    if (at > size_ || size_ - at < 2) return false;
    const uint8_t* p = bytes_ + at;
    *value = bigEndian_ ? static_cast<uint16_t>(p[0] << 8 | p[1])
                        : static_cast<uint16_t>(p[1] << 8 | p[0]);
    return true;
  }
  bool Read32(size_t at, uint32_t* value) const {
    uint16_t first = 0, second = 0;
    if (!Read16(at, &first) || !Read16(at + 2, &second)) return false;
    *value = bigEndian_ ? (uint32_t{first} << 16 | second) : (uint32_t{second} << 16 | first);
    return true;
  }
  size_t size() const { return size_; }

 private:
  const uint8_t* bytes_;
  size_t size_;
  bool bigEndian_;
};

// The orientation an "Exif" APP1 segment's data gives, or 1.
int32_t OrientationFromExif(const uint8_t* data, size_t size) {
  static const uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (data == nullptr || size < sizeof kExifHeader + 8 ||
      std::memcmp(data, kExifHeader, sizeof kExifHeader) != 0) {
    return kNoOrientation;
  }
  const uint8_t* tiff = data + sizeof kExifHeader;
  const size_t tiffSize = size - sizeof kExifHeader;
  bool bigEndian = false;
  if (tiff[0] == 'M' && tiff[1] == 'M') {
    bigEndian = true;
  } else if (tiff[0] != 'I' || tiff[1] != 'I') {
    return kNoOrientation;
  }
  const TiffBytes bytes(tiff, tiffSize, bigEndian);
  uint16_t magic = 0, entryCount = 0;
  uint32_t directory = 0;
  if (!bytes.Read16(2, &magic) || magic != 42 || !bytes.Read32(4, &directory) ||
      !bytes.Read16(directory, &entryCount)) {
    return kNoOrientation;
  }
  const size_t firstEntry = size_t{directory} + 2;
  // A count the segment cannot hold is damage, not a shorter directory.
  if ((tiffSize - firstEntry) / kDirectoryEntryBytes < entryCount) return kNoOrientation;
  for (size_t entry = 0; entry < entryCount; ++entry) {
    const size_t at = firstEntry + entry * kDirectoryEntryBytes;
    uint16_t tag = 0, type = 0, value = 0;
    uint32_t count = 0;
    if (!bytes.Read16(at, &tag) || tag != kOrientationTag) continue;
    if (!bytes.Read16(at + 2, &type) || !bytes.Read32(at + 4, &count) ||
        !bytes.Read16(at + 8, &value) || type != kTypeShort || count != 1 || value < 1 ||
        value > 8) {
      return kNoOrientation;
    }
    return value;
  }
  return kNoOrientation;
}

// Reads the data of the first "Exif" APP1 segment before the first scan into
// `segment`; false when there is none or the file is not a JPEG.
bool ReadExifSegment(std::FILE* file, uint8_t* segment, size_t* size) {
  static const uint8_t kExifStart[4] = {'E', 'x', 'i', 'f'};
  constexpr int kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kApp1 = 0xE1, kTem = 0x01;
  if (std::fgetc(file) != 0xFF || std::fgetc(file) != kSoi) return false;
  for (;;) {
    int marker = std::fgetc(file);
    if (marker != 0xFF) return false;
    while (marker == 0xFF) marker = std::fgetc(file);  // fill bytes
    if (marker == EOF || marker == kSos || marker == kEoi || marker == 0) return false;
    if (marker == kTem || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    const int high = std::fgetc(file);
    const int low = std::fgetc(file);
    if (high == EOF || low == EOF) return false;
    const int length = high << 8 | low;
    if (length < 2) return false;
    const size_t dataBytes = static_cast<size_t>(length - 2);
    if (marker == kApp1 && dataBytes >= sizeof kExifStart) {
      if (std::fread(segment, 1, dataBytes, file) != dataBytes) return false;
      if (std::memcmp(segment, kExifStart, sizeof kExifStart) == 0) {
        *size = dataBytes;
        return true;
      }
      continue;  // another APP1 (XMP): keep looking
    }
    if (std::fseek(file, static_cast<long>(dataBytes), SEEK_CUR) != 0) return false;
  }
}

}  // namespace

int32_t PelornCodec::ReadJpegOrientation(const char* path) {
  errorCode = kPelornOk;
  if (path == nullptr) {
    errorCode = kPelornBadParam;
    return kNoOrientation;
  }
  pelorn::FileOwner file;
  if (!file.Open(path, "rb")) {
    errorCode = kPelornFileOpen;
    return kNoOrientation;
  }
  // A segment's length field is 16 bits and counts itself.
  pelorn::PlainBlock segment;
  if (!segment.Allocate(0xFFFF - 2)) {
    errorCode = kPelornOutOfMemory;
    return kNoOrientation;
  }
  size_t size = 0;
  if (!ReadExifSegment(file.get(), segment.bytes(), &size)) return kNoOrientation;
  return OrientationFromExif(segment.bytes(), size);
}
