// DIB drawing with arbitrary headers and geometry: StretchDIBits,
// SetDIBitsToDevice, CreateDIBitmap and a DIB section blitted through a
// memory DC, onto a small window framebuffer with a clip box and window
// origin taken from the input.
//
// Input: a 40-byte BITMAPINFOHEADER, 12 little-endian int32 parameters
// (destination x, y, width, height; source x, y, width, height; clip left,
// top; window origin x, y), then colour table and pixel bytes. The harness
// keeps the calling contract the real API has (the caller supplies every
// byte the header describes): pictures needing more than 4 MB, or headers
// larger than a BITMAPV5HEADER, are skipped, and missing bytes are zero.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/win32.h"
#include "platform/winapi/gdi_internal.h"

namespace {

int32_t Int(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return static_cast<int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kFixed = 40 + 12 * 4;
  if (size < kFixed) return 0;
  BITMAPINFOHEADER header;
  std::memcpy(&header, data, 40);
  if (header.biSize > 124) return 0;
  const int64_t width = header.biWidth;
  const int64_t height = header.biHeight < 0 ? -static_cast<int64_t>(header.biHeight) : header.biHeight;
  if (width < 0 || width > (1 << 22) || height > (1 << 22)) return 0;
  const int64_t stride = ((width * header.biBitCount + 31) / 32) * 4;
  if (stride * height > (4 << 20)) return 0;
  int32_t p[12];
  for (int i = 0; i < 12; ++i) p[i] = Int(data + 40 + 4 * i);

  // BITMAPINFO: the header (as large as it claims), 12 bytes of masks and
  // 256 colours from the input; then the pixels.
  const size_t infoBytes = header.biSize + 12 + 1024;
  std::vector<uint8_t> info(infoBytes > 40 ? infoBytes : 40 + 12 + 1024, 0);
  std::memcpy(info.data(), &header, 40);
  const uint8_t* rest = data + kFixed;
  size_t restSize = size - kFixed;
  const size_t colorBytes = restSize < info.size() - 40 ? restSize : info.size() - 40;
  std::memcpy(info.data() + 40, rest, colorBytes);
  rest += colorBytes, restSize -= colorBytes;
  std::vector<uint8_t> bits(static_cast<size_t>(stride * height) + 1, 0);
  std::memcpy(bits.data(), rest, restSize < bits.size() ? restSize : bits.size());
  const auto* bitmapInfo = reinterpret_cast<const BITMAPINFO*>(info.data());

  HBITMAP framebuffer = platform::CreateFramebuffer(48, 32);
  const RECT clip = {p[8] % 64, p[9] % 64, 40, 30};
  HDC dc = platform::CreateWindowDC(framebuffer, &clip);
  SetWindowOrgEx(dc, p[10] % 100000, p[11] % 100000, nullptr);
  StretchDIBits(dc, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], bits.data(), bitmapInfo,
                DIB_RGB_COLORS, SRCCOPY);
  SetDIBitsToDevice(dc, p[0], p[1], static_cast<DWORD>(p[2]), static_cast<DWORD>(p[3]), p[4],
                    p[5], static_cast<UINT>(p[6]) % 1024, static_cast<UINT>(p[7]), bits.data(),
                    bitmapInfo, DIB_RGB_COLORS);
  if (width * height <= (1 << 20)) {
    HBITMAP ddb = CreateDIBitmap(dc, &header, CBM_INIT, bits.data(), bitmapInfo, DIB_RGB_COLORS);
    if (ddb != nullptr) DeleteObject(ddb);
  }
  void* sectionBits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, bitmapInfo, DIB_RGB_COLORS, &sectionBits, nullptr, 0);
  if (section != nullptr) {
    std::memcpy(sectionBits, bits.data(), bits.size() - 1);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, section);
    SetDIBColorTable(memory, 0, 256, reinterpret_cast<const RGBQUAD*>(info.data() + 52));
    BitBlt(dc, p[0], p[1], p[2] % 4096, p[3] % 4096, memory, p[4], p[5], SRCCOPY);
    StretchDIBits(memory, p[4], p[5], p[2], p[3], 0, 0, 3, 3, bits.data(), bitmapInfo,
                  DIB_RGB_COLORS, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(section);
  }
  DeleteDC(dc);
  DeleteObject(framebuffer);
  return 0;
}
