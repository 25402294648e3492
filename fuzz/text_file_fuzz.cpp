// album.txt and title.txt bytes as any editor (or none) may have left them:
// TextFromFileBytes with and without byte-order marks. Checks what holds for
// every input: no zero byte in the text; UTF-16 input gives valid UTF-8; any
// other input gives its own bytes, after a UTF-8 mark, up to its first zero.
//
// Input: the file's bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "catalogue/text_encoding.h"

namespace {

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<uint8_t>(text[i]);
    const size_t length = lead < 0x80                   ? 1
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5 ? 4
                                                        : 0;
    if (length == 0 || i + length > text.size()) return false;
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = TextFromFileBytes(bytes);
  if (text.find('\0') != std::string::npos) std::abort();
  const bool utf16 = bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0;
  if (utf16) {
    if (!IsValidUtf8(text)) std::abort();
  } else {
    const size_t first = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    if (bytes.compare(first, text.size(), text) != 0) std::abort();
    if (first + text.size() < bytes.size() && bytes[first + text.size()] != '\0') std::abort();
  }
  return 0;
}
