#include "catalogue/text_encoding.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

void AppendUtf8(char32_t code, std::string* text) {
  if (code < 0x80) {
    text->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    text->push_back(static_cast<char>(0xC0 | (code >> 6)));
    text->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    text->push_back(static_cast<char>(0xE0 | (code >> 12)));
    text->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    text->push_back(static_cast<char>(0xF0 | (code >> 18)));
    text->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    text->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// UTF-16 code units from `first` on (after the mark), to UTF-8, up to the
// first zero character.
std::string Utf16ToUtf8(const std::string& bytes, size_t first, bool bigEndian) {
  const size_t unitCount = (bytes.size() - first) / 2;
  auto unitAt = [&](size_t i) -> char32_t {
    const auto a = static_cast<uint8_t>(bytes[first + 2 * i]);
    const auto b = static_cast<uint8_t>(bytes[first + 2 * i + 1]);
    return bigEndian ? static_cast<char32_t>(a << 8 | b) : static_cast<char32_t>(b << 8 | a);
  };
  std::string text;
  for (size_t i = 0; i < unitCount; ++i) {
    char32_t code = unitAt(i);
    if (code == 0) break;
    if (IsHighSurrogate(code) && i + 1 < unitCount && IsLowSurrogate(unitAt(i + 1))) {
      code = 0x10000 + ((code - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(code) || IsLowSurrogate(code)) {
      code = kReplacementCharacter;
    }
    AppendUtf8(code, &text);
  }
  return text;
}

bool StartsWith(const std::string& bytes, const char* mark, size_t length) {
  return bytes.size() >= length && bytes.compare(0, length, mark, length) == 0;
}

}  // namespace

std::string TextFromFileBytes(const std::string& bytes) {
  if (StartsWith(bytes, "\xFF\xFE", 2)) return Utf16ToUtf8(bytes, 2, false);
  if (StartsWith(bytes, "\xFE\xFF", 2)) return Utf16ToUtf8(bytes, 2, true);
  const size_t first = StartsWith(bytes, "\xEF\xBB\xBF", 3) ? 3 : 0;
  const size_t zero = bytes.find('\0', first);
  return bytes.substr(first, zero == std::string::npos ? std::string::npos : zero - first);
}
