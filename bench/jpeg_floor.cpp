// The floor under `pelorn convert X.jpg Y.ppm` when the whole picture must be
// held at once: libjpeg called directly with its default settings, decoding
// into a fresh picture-sized movable block (the kind every reader returns),
// then the PPM header and the block in one write. The classic streaming tool
// (djpeg) holds a few rows instead, so no whole-picture program can match its
// peak memory; this program shows what the buffer itself costs.
//
//   jpeg_floor INPUT.jpg OUTPUT.ppm
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "platform/win32.h"

namespace {

struct FileCloser {
  std::FILE* file;
  ~FileCloser() {
    if (file != nullptr) std::fclose(file);
  }
};

// Decodes into `block`, left locked at `*pixels`; false when the picture is
// not RGB or the block cannot be had.
bool Decode(std::FILE* input, HGLOBAL* block, JSAMPLE** pixels, JDIMENSION* width,
            JDIMENSION* height) {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);  // a damaged file ends the program
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, input);
  jpeg_read_header(&info, TRUE);
  jpeg_start_decompress(&info);
  if (info.output_components != 3) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const size_t rowBytes = size_t{info.output_width} * 3;
  *block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, rowBytes * info.output_height);
  *pixels = *block == nullptr ? nullptr : static_cast<JSAMPLE*>(GlobalLock(*block));
  if (*pixels == nullptr) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[4];
    for (JDIMENSION i = 0; i < 4; ++i) rows[i] = *pixels + (info.output_scanline + i) * rowBytes;
    const JDIMENSION left = info.output_height - info.output_scanline;
    jpeg_read_scanlines(&info, rows, left < 4 ? left : 4);
  }
  *width = info.output_width;
  *height = info.output_height;
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: jpeg_floor INPUT.jpg OUTPUT.ppm\n", stderr);
    return 2;
  }
  FileCloser input{std::fopen(argv[1], "rb")};
  if (input.file == nullptr) return 1;
  HGLOBAL block = nullptr;
  JDIMENSION width = 0, height = 0;
  JSAMPLE* pixels = nullptr;
  if (!Decode(input.file, &block, &pixels, &width, &height)) return 1;
  const size_t bytes = size_t{width} * height * 3;
  std::FILE* output = std::fopen(argv[2], "wb");
  bool written = output != nullptr &&
                 std::fprintf(output, "P6\n%u %u\n255\n", width, height) > 0 &&
                 std::fwrite(pixels, 1, bytes, output) == bytes;
  if (output != nullptr) written = std::fclose(output) == 0 && written;
  GlobalUnlock(block);
  GlobalFree(block);
  return written ? 0 : 1;
}
