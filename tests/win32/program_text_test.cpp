// The program's text (UTF-8, or Windows-1252 when a text file is not UTF-8)
// as the UTF-16 the "W" drawing functions take. Expected characters are the
// Unicode code points of each encoding's published table.
#include <gtest/gtest.h>

#include <string>

#include "platform/framework/afx_text.h"

namespace {

struct Row {
  const char* what;
  const char* text;
  std::wstring expected;
};

TEST(ProgramText, ReadAsUtf8OrElseAsWindows1252) {
  const Row rows[] = {
      {"empty", "", L""},
      {"ASCII", "Tessary 1/12", L"Tessary 1/12"},
      {"UTF-8 Latin", "caf\xC3\xA9", L"caf\u00E9"},
      {"UTF-8 Japanese", "\xE6\x97\xA5\xE6\x9C\xAC.jpg", L"\u65E5\u672C.jpg"},
      {"UTF-8 Greek", "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1", L"\u0391\u03B8\u03AE\u03BD\u03B1"},
      {"UTF-8 beyond the BMP", "\xF0\x9F\x93\xB7", L"\xD83D\xDCF7"},
      {"Windows-1252 Latin", "caf\xE9", L"caf\u00E9"},
      {"Windows-1252 euro and quotes", "\x80 \x93hi\x94", L"\u20AC \u201Chi\u201D"},
      // A UTF-8 sequence cut short is not UTF-8: every byte is 1252.
      {"cut-short UTF-8", "\xE6\x97", L"\u00E6\u2014"},
  };
  for (const Row& row : rows) EXPECT_EQ(AfxWideFromText(row.text), row.expected) << row.what;
  EXPECT_EQ(AfxWideFromText(nullptr), L"");
}

}  // namespace
