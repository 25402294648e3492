// Pelorn: the imaging library of the Tessary viewer.
//
// Pictures travel as RGB image buffers: width x height pixels of three bytes
// (red, green, blue), rows from the top down, each row exactly width * 3 bytes.
// Width and height travel beside the buffer. Readers return the buffer in a
// movable, zero-initialised global memory block (GlobalAlloc) that the caller
// owns: GlobalLock it to read, GlobalUnlock and GlobalFree it when done. The
// block is exactly width * height * 3 bytes, except from ReadTiffFile, whose
// block is width * height * 4 bytes with the tail unused.
//
// Index buffers hold one palette index byte per pixel in the same row order.
// Palettes are 256 RGBQUAD entries (blue, green, red, reserved).
//
// Errors are values: no call raises. Each entry point stores a PelornError in
// the calling thread's record (0 on success) and reports failure through a
// null handle or a 0 result; GetLastImageError fetches the code and ErrorText
// turns it into the text a user sees. The only exceptions that leave the
// library are TlsException (no thread-local slot) and std::bad_alloc.
//
// Every size product (width x height x bytes per pixel) is computed in 64 bits
// and refused with code 1 when it cannot be allocated.
//
// Memory bound: no reader asks for more than 1 GiB (kMaxPictureMemory,
// imaging/core/image_size.h) for one picture, counting the picture block, the
// buffers of libjpeg, libpng and libtiff, and its own working rows. A file
// whose picture needs more fails with code 1 ("out of memory") before any of
// that memory is asked for, so it fails at once whatever size it declares.
// Why 1 GiB: a 32-bit Windows process, the program's home, has 2 GiB of
// address space in all, and one picture may take at most half of it; the
// 64-bit build keeps the same limit, so that a few kilobytes declaring a
// picture of gigabytes (whose missing data the readers fill with black) never
// cost gigabytes and minutes. The largest pictures within the bound are about
// 357 million pixels (268 million for TIFF, whose block holds 4 bytes a pixel).
//
// Every thread has its own record, so the library may be used from several
// threads at once. Results are bit-for-bit the same on every machine: the
// library is built without floating-point contraction or fast-math.
#pragma once

#include <cstdint>

#include "platform/win32.h"

typedef int32_t PelornError;

// Called with (units done, units in total); return 0 to stop the operation
// (it then fails with code 14), anything else to go on. Only the outermost
// operation of a call reports.
typedef int32_t (*PelornProgressCallback)(int32_t done, int32_t total);

enum : PelornError {
  kPelornOk = 0,
  kPelornOutOfMemory = 1,
  kPelornFileOpen = 2,
  kPelornFileRead = 3,
  kPelornFileWrite = 4,
  kPelornBadParam = 5,
  kPelornBadBmp = 6,
  kPelornNoRle = 7,
  kPelornBadGif = 8,
  kPelornBadJpeg = 9,
  kPelornDeviceError = 10,
  kPelornCancelled = 14,
  kPelornPngReadError = 15,
  kPelornPngCreate = 16,
  kPelornInternal = 17,
  kPelornBadTiff = 20,
  kPelornBadPcx = 22,
  kPelornCannotStretch = 26,
  kPelornBadTga = 35,
};

// --- State -----------------------------------------------------------------------
void SetProgressCallback(PelornProgressCallback callback);
PelornError GetLastImageError();

// --- Readers ---------------------------------------------------------------------
// Every file reader first sets *width and *height to 0 (those given); a
// missing file name or output, or an empty file name, fails with code 5, and
// a file that cannot be opened with code 2. The outputs take the picture's
// size as soon as the reader knows it, so after a later failure they may hold
// it: only a returned block means a picture.
HGLOBAL ReadJpegFile(const char* fileName, uint32_t* width, uint32_t* height);
HGLOBAL ReadJpegMemory(const void* data, int32_t length, uint32_t* width, uint32_t* height);
// As ReadJpegFile, decoded at the smallest of libjpeg's DCT scales (1/8,
// 1/4, 1/2, else full size) whose picture still covers the picture fitted
// into boxWidth x boxHeight, i.e. at least w / s x h / s for
// s = max(w / boxWidth, h / boxHeight), so that a fit to the box only ever
// shrinks it further. width and height receive the decoded size, fullWidth
// and fullHeight the file's own (all four zeroed first). A box side of 0
// is a bad parameter (5).
HGLOBAL ReadJpegFileScaled(const char* fileName, uint32_t boxWidth, uint32_t boxHeight,
                           uint32_t* width, uint32_t* height, uint32_t* fullWidth,
                           uint32_t* fullHeight);
// The EXIF orientation (1-8) of a JPEG file: how its stored rows turn
// upright (see OrientRgb). 1 when the file has no EXIF block, or one that is
// damaged in any way; the last error code is 0 then, 2 when the file cannot
// be opened. The readers never turn pixels themselves.
int32_t ReadJpegOrientation(const char* fileName);
HGLOBAL ReadBmpFile(const char* fileName, uint32_t* width, uint32_t* height);
HGLOBAL ReadPngFile(const char* fileName, uint32_t* width, uint32_t* height);
// transparentColor (may be null) receives red | green << 8 | blue << 16, or -1.
HGLOBAL ReadGifFile(const char* fileName, uint32_t* width, uint32_t* height,
                    int32_t* transparentColor);
HGLOBAL ReadTiffFile(const char* fileName, uint32_t* width, uint32_t* height);
HGLOBAL ReadPcxFile(const char* fileName, uint32_t* width, uint32_t* height);
HGLOBAL ReadTgaFile(const char* fileName, uint32_t* width, uint32_t* height);

// --- Writers: 1 on success, 0 on failure ------------------------------------------
int32_t WriteJpegFile(const char* fileName, const uint8_t* rgb, uint32_t width, uint32_t height,
                      int32_t quality, int32_t color, int32_t progressive);
int32_t WriteBmp24File(const char* fileName, const uint8_t* rgb, int32_t width, int32_t height);
int32_t WriteBmpIndexedFile(const char* fileName, const uint8_t* indices, int32_t width,
                            int32_t height, int32_t bitsPerPixel, int32_t colorCount,
                            const RGBQUAD* palette);
// A file gamma of 0.0 records no gamma.
int32_t WritePng24File(const char* fileName, const uint8_t* rgb, int32_t width, int32_t height,
                       double fileGamma);
int32_t WritePng8File(const char* fileName, const uint8_t* indices, int32_t width,
                      int32_t height, int32_t colorCount, const RGBQUAD* palette,
                      double fileGamma);
// transparentIndex -1 writes no transparency.
int32_t WriteGifFile(const char* fileName, const uint8_t* indices, int32_t width, int32_t height,
                     int32_t backgroundIndex, int32_t transparentIndex, const RGBQUAD* palette);

// --- Buffer operations --------------------------------------------------------------
int32_t FlipRows(uint8_t* buffer, uint32_t rowLength, uint32_t rowCount);
int32_t SwapRedBlue(uint8_t* buffer, uint32_t width, uint32_t height);
// destination must hold destinationWidth * destinationHeight * 3 bytes.
int32_t ResampleRgb(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                    uint8_t* destination, int32_t destinationWidth, int32_t destinationHeight);
// Area-weighted (box) reduction: every source pixel contributes to the
// output pixels it lies under, by the part of it they cover; the output is
// rounded to nearest. Works for any sizes. destination must hold
// destinationWidth * destinationHeight * 3 bytes.
int32_t ReduceRgb(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                  uint8_t* destination, int32_t destinationWidth, int32_t destinationHeight);
// Turns the picture upright by EXIF orientation 1-8 into destination
// (width * height * 3 bytes), in one pass. The upright picture is
// width x height for 1-4, height x width for 5-8. Other orientations: 5.
int32_t OrientRgb(const uint8_t* source, int32_t width, int32_t height, int32_t orientation,
                  uint8_t* destination);
// Whether EXIF orientation `orientation` stands the picture on its side
// (5-8): the upright picture is then height x width.
inline bool OrientationSwapsSides(int32_t orientation) {
  return orientation >= 5 && orientation <= 8;
}
// colorCount is clamped to 1..256; palette entries from colorCount on are untouched.
int32_t QuantizeRgb(const uint8_t* rgb, uint8_t* indices, int32_t width, int32_t height,
                    int32_t colorCount, RGBQUAD* palette);
HBITMAP RgbToDdb(const uint8_t* rgb, uint32_t width, uint32_t height, HPALETTE palette);
int32_t DrawRgb(HDC dc, const uint8_t* rgb, int32_t width, int32_t height, int32_t x, int32_t y,
                int32_t destinationWidth, int32_t destinationHeight);

// --- Message boxes for JPEG warnings (off by default) --------------------------------
void SetJpegMessageBoxes(bool show);
