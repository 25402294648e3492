// Bitmap classes (see bitmaps.h).
#include "imaging/core/bitmaps.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"

namespace {

constexpr int32_t kDefaultSize = 16;
constexpr uint16_t kDefaultDepth = 8;
constexpr uint32_t kHeaderBytes = sizeof(BITMAPINFOHEADER);  // 40

bool KnownDepth(uint32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Plain memory, or the framework's out-of-memory exception.
void* AllocateOrThrow(size_t bytes, bool zeroed) {
  void* block = pelorn::PlainAllocate(bytes, zeroed);
  if (block == nullptr) AfxThrowMemoryException();
  return block;
}

}  // namespace

IMPLEMENT_DYNAMIC(CBmp, CObject)
IMPLEMENT_DYNAMIC(CWinBmp, CBmp)
IMPLEMENT_DYNAMIC(CDIBSection, CWinBmp)

// --- CBmp ----------------------------------------------------------------------

CBmp::CBmp() = default;

CBmp::~CBmp() { ReleaseRowTable(); }

void CBmp::Create(int32_t width, int32_t height, uint16_t bitsPerPixel) {
  m_empty = 0;
  Free();
  Allocate(width, height, bitsPerPixel);
}

bool CBmp::RowLength(int32_t width, uint16_t bitsPerPixel, int32_t* rowLength) {
  size_t stride = 0;
  if (width < 0 || !pelorn::CheckedDibStride(static_cast<uint64_t>(width), bitsPerPixel, &stride) ||
      stride > INT32_MAX) {
    return false;
  }
  *rowLength = static_cast<int32_t>(stride);
  return true;
}

void CBmp::CheckedSizes(int32_t width, int32_t height, uint16_t bitsPerPixel, int32_t* rowLength,
                        int64_t* imageSize) {
  size_t rows = 0;
  // Quirk: a picture that cannot exist is reported like one that does not fit
  // in memory, the one exception these operations raise.
  if (width <= 0 || height <= 0 || !KnownDepth(bitsPerPixel) ||
      !RowLength(width, bitsPerPixel, rowLength) ||
      !pelorn::CheckedProduct(static_cast<uint64_t>(*rowLength), static_cast<uint64_t>(height),
                              &rows)) {
    AfxThrowMemoryException();
  }
  const uint64_t total = kHeaderBytes + 4ull * ColorTableEntries(bitsPerPixel) + rows;
  if (total > INT32_MAX) AfxThrowMemoryException();  // more than a 32-bit process holds
  *imageSize = static_cast<int64_t>(total);
}

void CBmp::ReleaseRowTable() {
  std::free(m_rowTable);
  m_rowTable = nullptr;
}

void CBmp::FinishAllocation(int32_t width, int32_t height, uint16_t bitsPerPixel, bool greyRamp) {
  m_width = width;
  m_height = height;
  m_bitsPerPixel = bitsPerPixel;
  BuildRowTable();
  if (greyRamp && m_colorTable != nullptr) {
    const uint32_t entries = ColorTableEntries(bitsPerPixel);
    const uint32_t step = 255 / (entries - 1);
    for (uint32_t i = 0; i < entries; ++i) {
      const BYTE v = static_cast<BYTE>(step * i);
      m_colorTable[i] = RGBQUAD{v, v, v, 255};
    }
  }
}

void CBmp::CreateFromRgb(const uint8_t* rgb, int32_t width, int32_t height) {
  Create(width, height, 32);
  if (rgb == nullptr) return;  // the new picture stays black
  for (int32_t i = 0; i < height; ++i) {
    uint8_t* out = m_rowTable[i];
    const uint8_t* in = rgb + static_cast<size_t>(i) * static_cast<size_t>(width) * 3;
    for (int32_t x = 0; x < width; ++x, in += 3, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = 255;
    }
  }
}

uint8_t* CBmp::GetBits32() { return m_bitsPerPixel == 32 ? m_pixels : nullptr; }

// --- CWinBmp -------------------------------------------------------------------

CWinBmp::CWinBmp() { Allocate(kDefaultSize, kDefaultSize, kDefaultDepth); }

CWinBmp::~CWinBmp() { CWinBmp::Free(); }

int64_t CWinBmp::GetImageSize() const {
  return kHeaderBytes + 4ll * ColorTableEntries(m_bitsPerPixel) +
         static_cast<int64_t>(GetBytesPerLine()) * m_height;
}

int32_t CWinBmp::GetBytesPerLine() const {
  int32_t length = 0;
  return RowLength(m_width, m_bitsPerPixel, &length) ? length : 0;
}

void CWinBmp::WriteHeader(int32_t width, int32_t height, uint16_t bitsPerPixel) {
  std::memset(m_header, 0, kHeaderBytes);
  m_header->biSize = kHeaderBytes;
  m_header->biWidth = width;
  m_header->biHeight = height;  // positive: bottom-up rows
  m_header->biPlanes = 1;
  m_header->biBitCount = bitsPerPixel;
}

// The one allocation path of both bitmap kinds: the storage of the kind
// (AllocateStorage), then the row table and the grey ramp.
void CWinBmp::Allocate(int32_t width, int32_t height, uint16_t bitsPerPixel) {
  AllocateStorage(width, height, bitsPerPixel);
  FinishOrFree(width, height, bitsPerPixel, true);
}

void CWinBmp::AllocateStorage(int32_t width, int32_t height, uint16_t bitsPerPixel) {
  int32_t rowLength = 0;
  int64_t imageSize = 0;
  CheckedSizes(width, height, bitsPerPixel, &rowLength, &imageSize);
  m_header = static_cast<BITMAPINFOHEADER*>(AllocateOrThrow(static_cast<size_t>(imageSize), true));
  WriteHeader(width, height, bitsPerPixel);
  m_bitsPerPixel = bitsPerPixel;
  SetPointers();
}

// A failure after the storage is had frees it, so the bitmap is never half made.
void CWinBmp::FinishOrFree(int32_t width, int32_t height, uint16_t bitsPerPixel, bool greyRamp) {
  try {
    FinishAllocation(width, height, bitsPerPixel, greyRamp);
  } catch (...) {
    Free();
    throw;
  }
}

void CWinBmp::SetPointers() {
  uint8_t* block = reinterpret_cast<uint8_t*>(m_header);
  const uint32_t entries = ColorTableEntries(m_header->biBitCount);
  m_colorTable = entries != 0 ? reinterpret_cast<RGBQUAD*>(block + kHeaderBytes) : nullptr;
  m_pixels = block + kHeaderBytes + 4 * entries;
}

void CWinBmp::Free() {
  ReleaseRowTable();
  std::free(m_header);
  m_header = nullptr;
  m_colorTable = nullptr;
  m_pixels = nullptr;
  m_width = m_height = 0;
}

void CWinBmp::BuildRowTable() {
  ReleaseRowTable();
  m_rowTable = static_cast<uint8_t**>(
      AllocateOrThrow(sizeof(uint8_t*) * static_cast<size_t>(m_height), false));
  const int64_t rowLength = GetBytesPerLine();
  for (int32_t i = 0; i < m_height; ++i) {
    m_rowTable[i] = m_pixels + (m_height - 1 - i) * rowLength;
  }
}

BOOL CWinBmp::CreateFromResource(int id) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), RT_BITMAP);
  if (resource == nullptr) return FALSE;
  HGLOBAL data = LoadResource(module, resource);
  const auto* dib = static_cast<const BITMAPINFOHEADER*>(data ? LockResource(data) : nullptr);
  if (dib == nullptr) return FALSE;
  // The resource's size bounds what the header may claim.
  int32_t width = 0, height = 0;
  bool topDown = false;
  uint16_t bits = 0;
  const RGBQUAD* colors = nullptr;
  uint32_t colorCount = 0;
  const uint8_t* rows = nullptr;
  const DWORD available = SizeofResource(module, resource);
  if (available < kHeaderBytes ||
      !DescribeDib(dib, &width, &height, &topDown, &bits, &colors, &colorCount, &rows)) {
    return FALSE;
  }
  int32_t rowLength = 0;
  RowLength(width, bits, &rowLength);
  const uint64_t needed = static_cast<uint64_t>(rows - reinterpret_cast<const uint8_t*>(dib)) +
                          static_cast<uint64_t>(rowLength) * static_cast<uint64_t>(height);
  if (needed > available) return FALSE;
  Free();
  return CreateFromDib(dib);
}

bool CWinBmp::DescribeDib(const BITMAPINFOHEADER* dib, int32_t* width, int32_t* height,
                          bool* topDown, uint16_t* bitsPerPixel, const RGBQUAD** colors,
                          uint32_t* colorCount, const uint8_t** rows) {
  if (dib == nullptr || dib->biSize < kHeaderBytes || dib->biWidth <= 0 || dib->biHeight == 0 ||
      dib->biHeight == INT32_MIN || !KnownDepth(dib->biBitCount) ||
      dib->biCompression != BI_RGB) {
    return false;
  }
  *width = dib->biWidth;
  *height = dib->biHeight < 0 ? -dib->biHeight : dib->biHeight;
  *topDown = dib->biHeight < 0;
  *bitsPerPixel = dib->biBitCount;
  const uint32_t entries = ColorTableEntries(dib->biBitCount);
  // The source's own table: biClrUsed entries (all when 0), after its header.
  *colorCount = dib->biClrUsed == 0 || dib->biClrUsed > entries ? entries : dib->biClrUsed;
  if (entries == 0) *colorCount = 0;
  const uint8_t* base = reinterpret_cast<const uint8_t*>(dib);
  *colors = reinterpret_cast<const RGBQUAD*>(base + dib->biSize);
  *rows = base + dib->biSize + 4 * static_cast<size_t>(*colorCount);
  int32_t rowLength = 0;
  size_t bytes = 0;
  return RowLength(*width, *bitsPerPixel, &rowLength) &&
         pelorn::CheckedProduct(static_cast<uint64_t>(rowLength), static_cast<uint64_t>(*height),
                                &bytes);
}

void CWinBmp::CopyDibContents(const RGBQUAD* colors, uint32_t colorCount, const uint8_t* rows,
                              bool topDown, int32_t width, int32_t height,
                              uint16_t bitsPerPixel) {
  if (m_colorTable != nullptr && colorCount > 0) {
    std::memcpy(m_colorTable, colors, 4 * static_cast<size_t>(colorCount));
  }
  int32_t rowLength = 0;
  RowLength(width, bitsPerPixel, &rowLength);
  for (int32_t stored = 0; stored < height; ++stored) {
    // Our rows are bottom-up; a top-down source's first row is the top one.
    const int32_t target = topDown ? height - 1 - stored : stored;
    std::memcpy(m_pixels + static_cast<int64_t>(target) * rowLength,
                rows + static_cast<int64_t>(stored) * rowLength, static_cast<size_t>(rowLength));
  }
}

BOOL CWinBmp::CreateFromDib(const BITMAPINFOHEADER* dib) {
  int32_t width = 0, height = 0;
  bool topDown = false;
  uint16_t bits = 0;
  const RGBQUAD* colors = nullptr;
  uint32_t colorCount = 0;
  const uint8_t* rows = nullptr;
  if (!DescribeDib(dib, &width, &height, &topDown, &bits, &colors, &colorCount, &rows)) {
    return FALSE;
  }
  int32_t rowLength = 0;
  int64_t imageSize = 0;
  CheckedSizes(width, height, bits, &rowLength, &imageSize);
  Free();
  m_header = static_cast<BITMAPINFOHEADER*>(AllocateOrThrow(static_cast<size_t>(imageSize), true));
  // The header is copied; it is normalised to the layout this class keeps
  // (40 bytes, bottom-up, full colour table).
  std::memcpy(m_header, dib, kHeaderBytes);
  m_header->biSize = kHeaderBytes;
  m_header->biHeight = height;
  m_header->biClrUsed = 0;
  m_header->biSizeImage = 0;
  SetPointers();
  CopyDibContents(colors, colorCount, rows, topDown, width, height, bits);
  FinishOrFree(width, height, bits, false);
  m_empty = 0;  // it holds a picture now, so it draws
  return TRUE;
}

HGLOBAL CWinBmp::CopyToGlobal() const {
  if (m_header == nullptr) AfxThrowMemoryException();
  const int64_t size = GetImageSize();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, static_cast<SIZE_T>(size));
  if (block == nullptr) AfxThrowMemoryException();
  uint8_t* out = static_cast<uint8_t*>(GlobalLock(block));
  if (out == nullptr) {
    GlobalFree(block);
    AfxThrowMemoryException();
  }
  const size_t tableBytes = 4 * static_cast<size_t>(ColorTableEntries(m_bitsPerPixel));
  std::memcpy(out, m_header, kHeaderBytes);
  if (tableBytes != 0) std::memcpy(out + kHeaderBytes, m_colorTable, tableBytes);
  std::memcpy(out + kHeaderBytes + tableBytes, m_pixels,
              static_cast<size_t>(size) - kHeaderBytes - tableBytes);
  GlobalUnlock(block);
  return block;
}

int CWinBmp::Draw(CDC* dc, int x, int y, DWORD rop) {
  if (m_empty) return m_empty;
  return StretchDIBits(SafeHdcOf(dc), x, y, m_width, m_height, 0, 0, m_width, m_height, m_pixels,
                       reinterpret_cast<const BITMAPINFO*>(m_header), DIB_RGB_COLORS, rop);
}

int CWinBmp::StretchDraw(CDC* dc, int x, int y, double factor, DWORD rop) {
  if (m_empty) return m_empty;
  const double width = factor * m_width, height = factor * m_height;
  // A size no device coordinate can hold is a failed draw, not a wrapped one.
  if (!(std::fabs(width) < 2147483647.0) || !(std::fabs(height) < 2147483647.0)) return 0;
  return StretchDIBits(SafeHdcOf(dc), x, y, static_cast<int>(width), static_cast<int>(height), 0,
                       0, m_width, m_height, m_pixels,
                       reinterpret_cast<const BITMAPINFO*>(m_header), DIB_RGB_COLORS, rop);
}

int CWinBmp::DrawPart(CDC* dc, int x, int y, int left, int top, int right, int bottom) {
  if (m_empty) return 0;
  if (right <= left || bottom <= top) return 0;  // nothing to copy
  return SetDIBitsToDevice(SafeHdcOf(dc), x, y, static_cast<DWORD>(right - left),
                           static_cast<DWORD>(bottom - top), left, m_height - bottom, 0,
                           static_cast<UINT>(m_height), m_pixels,
                           reinterpret_cast<const BITMAPINFO*>(m_header), DIB_RGB_COLORS);
}

// --- CDIBSection ---------------------------------------------------------------

CDIBSection::CDIBSection() {
  CWinBmp::Free();  // the packed default picture gives way to a section
  Allocate(kDefaultSize, kDefaultSize, kDefaultDepth);
}

CDIBSection::~CDIBSection() { CDIBSection::Free(); }

void CDIBSection::AllocateStorage(int32_t width, int32_t height, uint16_t bitsPerPixel) {
  int32_t rowLength = 0;
  int64_t imageSize = 0;
  CheckedSizes(width, height, bitsPerPixel, &rowLength, &imageSize);
  const size_t tableBytes = 4 * static_cast<size_t>(ColorTableEntries(bitsPerPixel));
  m_header = static_cast<BITMAPINFOHEADER*>(AllocateOrThrow(kHeaderBytes + tableBytes, true));
  WriteHeader(width, height, bitsPerPixel);
  void* bits = nullptr;
  m_section = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(m_header),
                               DIB_RGB_COLORS, &bits, nullptr, 0);
  if (m_section == nullptr || bits == nullptr) {
    Free();
    AfxThrowMemoryException();
  }
  m_pixels = static_cast<uint8_t*>(bits);
  SetPointers();
}

void CDIBSection::SetPointers() {
  const uint32_t entries = ColorTableEntries(m_header->biBitCount);
  m_colorTable = entries != 0
                     ? reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(m_header) + kHeaderBytes)
                     : nullptr;
}

void CDIBSection::Free() {
  ReleaseRowTable();
  std::free(m_header);
  m_header = nullptr;
  if (m_section != nullptr) DeleteObject(m_section);
  m_section = nullptr;
  m_colorTable = nullptr;
  m_pixels = nullptr;
  m_width = m_height = 0;
}

BOOL CDIBSection::CreateFromDib(const BITMAPINFOHEADER* dib) {
  int32_t width = 0, height = 0;
  bool topDown = false;
  uint16_t bits = 0;
  const RGBQUAD* colors = nullptr;
  uint32_t colorCount = 0;
  const uint8_t* rows = nullptr;
  if (!DescribeDib(dib, &width, &height, &topDown, &bits, &colors, &colorCount, &rows)) {
    return FALSE;
  }
  Free();
  AllocateStorage(width, height, bits);
  CopyDibContents(colors, colorCount, rows, topDown, width, height, bits);
  FinishOrFree(width, height, bits, false);
  m_empty = 0;
  return TRUE;
}

HGLOBAL CDIBSection::CopyToGlobal() const {
  // Header, colour table and the section's rows: the same packed layout.
  return CWinBmp::CopyToGlobal();
}

void CDIBSection::ResetToDefault() {
  Free();
  Allocate(kDefaultSize, kDefaultSize, kDefaultDepth);
}

int CDIBSection::BlitSection(HDC target, int x, int y, int width, int height, int left, int top,
                             DWORD rop) {
  HDC memory = CreateCompatibleDC(target);
  if (memory == nullptr) return 0;
  HGDIOBJ previous = SelectObject(memory, m_section);
  if (previous == nullptr) {
    DeleteDC(memory);
    return 0;
  }
  if (m_colorTable != nullptr) SetDIBColorTable(memory, 0, 256, m_colorTable);
  const BOOL copied = BitBlt(target, x, y, width, height, memory, left, top, rop);
  SelectObject(memory, previous);
  DeleteDC(memory);
  return copied;
}

int CDIBSection::Draw(CDC* dc, int x, int y, DWORD rop) {
  if (m_empty) return m_empty;
  return BlitSection(SafeHdcOf(dc), x, y, m_width, m_height, 0, 0, rop);
}

int CDIBSection::DrawPart(CDC* dc, int x, int y, int left, int top, int right, int bottom) {
  if (m_empty) return 0;
  // An inverted or empty rectangle copies nothing: BitBlt would take a
  // negative extent as a mirrored copy.
  if (right <= left || bottom <= top) return 0;
  return BlitSection(SafeHdcOf(dc), x, y, right - left, bottom - top, left, top, SRCCOPY);
}
