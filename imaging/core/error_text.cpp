#include "imaging/core/error_text.h"

#include <cstdio>

std::string ErrorText(PelornError code) {
  switch (code) {
    case 0: return "No error";
    case 1: return "Error : out of memory";
    case 2: return "Error on file open";
    case 3: return "Error on file read";
    case 4: return "Error on file write";
    case 5: return "Bad user param";
    case 6: return "Bad BMP file";
    case 7: return "We don't do RLE BMP files";
    case 8: return "Bad GIF file";
    case 9: return "Bad jpg file";
    case 10: return "Device error";
    case 11: return "GetDIBits error";
    case 12: return "No GIF support..";
    case 13: return "Resource Not Found";
    case 14: return "Operation cancelled by callback";
    case 15: return "Bad PNG file";
    case 16: return "Internal PNG creation error - possibly bad params";
    case 17: return "Internal Pelorn error";
    case 18: return "Font creation error";
    case 20: return "Bad TIF file";
    case 22: return "Bad PCX file";
    case 26: return "Device cannot stretch bitmaps";
    case 35: return "Bad TGA file";
    default: break;
  }
  char text[32];
  std::snprintf(text, sizeof text, "Error #%d", static_cast<int>(code));
  return text;
}
