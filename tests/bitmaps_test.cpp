// Bitmap classes: default pictures, creation, row tables and lengths, grey
// ramps, drawing through the renderer, packed DIBs in and out, run-time class
// information, and out-of-memory behaviour.
#include "imaging/core/bitmaps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/owners.h"
#include "platform/winapi/gdi_internal.h"
#include "platform/winapi/resources_internal.h"
#include "platform/winapi/test_hooks.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// The 2 x 2 picture red, green / blue, white.
const uint8_t kTwoByTwo[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};

struct Canvas {
  HBITMAP framebuffer;
  CDC dc;
  Canvas(int w, int h, COLORREF fill = RGB(5, 5, 5))
      : framebuffer(platform::CreateFramebuffer(w, h, fill)) {
    dc.Attach(platform::CreateWindowDC(framebuffer));
  }
  ~Canvas() {
    dc.DeleteDC();
    DeleteObject(framebuffer);
  }
  uint32_t At(int x, int y) const { return platform::BitmapPixels(framebuffer).At(x, y); }
  bool Untouched() const {
    platform::PixelView v = platform::BitmapPixels(framebuffer);
    for (int y = 0; y < v.height; ++y)
      for (int x = 0; x < v.width; ++x)
        if (v.At(x, y) != 0x050505) return false;
    return true;
  }
};

class Bitmaps : public ::testing::Test {
 protected:
  void SetUp() override {
    gdi_ = platform::LiveGdiObjects();
    global_ = platform::LiveGlobalBlocks();
  }
  void TearDown() override {
    EXPECT_EQ(platform::LiveGdiObjects(), gdi_);
    EXPECT_EQ(platform::LiveGlobalBlocks(), global_);
  }
  int64_t gdi_ = 0, global_ = 0;
};

void ExpectGreyRamp(const RGBQUAD* table, int entries) {
  ASSERT_NE(table, nullptr);
  const int step = 255 / (entries - 1);
  for (int i = 0; i < entries; ++i) {
    EXPECT_EQ(table[i].rgbBlue, step * i) << i;
    EXPECT_EQ(table[i].rgbGreen, step * i);
    EXPECT_EQ(table[i].rgbRed, step * i);
    EXPECT_EQ(table[i].rgbReserved, 255);
  }
}

template <typename T>
class BothClasses : public Bitmaps {};
using Classes = ::testing::Types<CWinBmp, CDIBSection>;
TYPED_TEST_SUITE(BothClasses, Classes);

TYPED_TEST(BothClasses, NeverCreatedIsAnEmptySixteenBySixteenGreyRamp) {
  TypeParam bitmap;
  EXPECT_TRUE(bitmap.IsEmpty());
  EXPECT_EQ(bitmap.GetWidth(), 16);
  EXPECT_EQ(bitmap.GetHeight(), 16);
  EXPECT_EQ(bitmap.GetBitsPerPixel(), 8);
  EXPECT_EQ(bitmap.GetBytesPerLine(), 16);
  EXPECT_EQ(bitmap.GetImageSize(), 40 + 1024 + 256);
  ExpectGreyRamp(bitmap.GetColorTable(), 256);
  EXPECT_EQ(bitmap.GetBits32(), nullptr);
  Canvas c(20, 20);
  EXPECT_EQ(bitmap.Draw(&c.dc, 0, 0), 1);
  EXPECT_EQ(bitmap.StretchDraw(&c.dc, 0, 0, 2.0), 1);
  EXPECT_EQ(bitmap.DrawPart(&c.dc, 0, 0, 0, 0, 4, 4), 0);
  EXPECT_TRUE(c.Untouched());
}

TYPED_TEST(BothClasses, CreateFromRgbGivesAnUprightOpaqueThirtyTwoBitPicture) {
  TypeParam bitmap;
  bitmap.CreateFromRgb(kTwoByTwo, 2, 2);
  EXPECT_FALSE(bitmap.IsEmpty());
  EXPECT_EQ(bitmap.GetBitsPerPixel(), 32);
  EXPECT_EQ(bitmap.GetColorTable(), nullptr);
  const uint8_t row0[8] = {0, 0, 255, 255, 0, 255, 0, 255};
  const uint8_t row1[8] = {255, 0, 0, 255, 255, 255, 255, 255};
  EXPECT_EQ(std::memcmp(bitmap.GetRow(0), row0, 8), 0);
  EXPECT_EQ(std::memcmp(bitmap.GetRow(1), row1, 8), 0);
  // In memory (DIB order) row 1 comes first.
  EXPECT_EQ(bitmap.GetBits32(), bitmap.GetRow(1));
  EXPECT_EQ(bitmap.GetRow(0), bitmap.GetRow(1) + 8);
  EXPECT_EQ(bitmap.GetRow(2), nullptr);
}

TYPED_TEST(BothClasses, DrawCopiesThePictureAtItsPosition) {
  TypeParam bitmap;
  bitmap.CreateFromRgb(kTwoByTwo, 2, 2);
  Canvas c(5, 5);
  EXPECT_NE(bitmap.Draw(&c.dc, 2, 1), 0);
  EXPECT_EQ(c.At(2, 1), kRed);
  EXPECT_EQ(c.At(3, 1), kGreen);
  EXPECT_EQ(c.At(2, 2), kBlue);
  EXPECT_EQ(c.At(3, 2), kWhite);
  EXPECT_EQ(c.At(1, 1), 0x050505u);
  EXPECT_EQ(c.At(4, 2), 0x050505u);
  // No device context: the draw fails and nothing happens.
  EXPECT_EQ(bitmap.Draw(nullptr, 0, 0), 0);
}

TYPED_TEST(BothClasses, DrawPartCopiesASourceRectangleInTopDownCoordinates) {
  // 3 x 2: top row red, green, blue; bottom row white, red, green.
  const uint8_t rgb[18] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 0};
  TypeParam bitmap;
  bitmap.CreateFromRgb(rgb, 3, 2);
  Canvas c(4, 4);
  // Columns 1..2 of the bottom row.
  EXPECT_NE(bitmap.DrawPart(&c.dc, 0, 3, 1, 1, 3, 2), 0);
  EXPECT_EQ(c.At(0, 3), kRed);
  EXPECT_EQ(c.At(1, 3), kGreen);
  EXPECT_EQ(c.At(2, 3), 0x050505u);
  // Columns 0..1 of the top row.
  bitmap.DrawPart(&c.dc, 1, 0, 0, 0, 2, 1);
  EXPECT_EQ(c.At(1, 0), kRed);
  EXPECT_EQ(c.At(2, 0), kGreen);
  EXPECT_EQ(c.At(1, 1), 0x050505u);
  // An inverted rectangle fails; an empty one copies nothing.
  EXPECT_EQ(bitmap.DrawPart(&c.dc, 0, 0, 2, 0, 1, 1), 0);
  bitmap.DrawPart(&c.dc, 0, 0, 0, 1, 2, 1);
  EXPECT_EQ(c.At(0, 0), 0x050505u);
}

TEST_F(Bitmaps, StretchDrawScalesByTheFactor) {
  CWinBmp bitmap;
  bitmap.CreateFromRgb(kTwoByTwo, 2, 2);
  Canvas c(6, 6);
  EXPECT_EQ(bitmap.StretchDraw(&c.dc, 1, 1, 2.0), 2);
  EXPECT_EQ(c.At(1, 1), kRed);
  EXPECT_EQ(c.At(2, 2), kRed);
  EXPECT_EQ(c.At(3, 1), kGreen);
  EXPECT_EQ(c.At(4, 4), kWhite);
  EXPECT_EQ(c.At(5, 5), 0x050505u);
  // 1.6 x 2 = 3.2 truncates to 3 pixels.
  Canvas d(6, 6);
  bitmap.StretchDraw(&d.dc, 0, 0, 1.6);
  EXPECT_EQ(d.At(2, 2), kWhite);
  EXPECT_EQ(d.At(3, 3), 0x050505u);
  // Sizes no device can hold fail instead of wrapping.
  EXPECT_EQ(bitmap.StretchDraw(&d.dc, 0, 0, 1e12), 0);
  EXPECT_EQ(bitmap.StretchDraw(&d.dc, 0, 0, std::nan("")), 0);
}

TEST_F(Bitmaps, RowLengthsAreTheStandardDibRowLength) {
  CWinBmp bitmap;
  bitmap.Create(9, 1, 1);
  EXPECT_EQ(bitmap.GetBytesPerLine(), 4);
  bitmap.Create(9, 1, 4);
  EXPECT_EQ(bitmap.GetBytesPerLine(), 8);
  bitmap.Create(1, 1, 24);
  EXPECT_EQ(bitmap.GetBytesPerLine(), 4);
  bitmap.Create(5, 1, 32);
  EXPECT_EQ(bitmap.GetBytesPerLine(), 20);
  EXPECT_EQ(bitmap.GetImageSize(), 40 + 20);
  bitmap.Create(3, 2, 16);
  EXPECT_EQ(bitmap.GetBytesPerLine(), 8);
  EXPECT_EQ(bitmap.GetColorTable(), nullptr);
}

TEST_F(Bitmaps, GreyRampsForOneAndFourBits) {
  CWinBmp one;
  one.Create(3, 3, 1);
  ExpectGreyRamp(one.GetColorTable(), 2);
  EXPECT_EQ(one.GetColorTable()[1].rgbRed, 255);
  CDIBSection four;
  four.Create(3, 3, 4);
  ExpectGreyRamp(four.GetColorTable(), 16);
  EXPECT_EQ(four.GetColorTable()[1].rgbRed, 17);
  // The packed header block holds the table right after the header.
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(one.GetColorTable()),
            reinterpret_cast<const uint8_t*>(one.GetHeader()) + 40);
  EXPECT_EQ(one.GetPixels(), reinterpret_cast<const uint8_t*>(one.GetHeader()) + 48);
}

TYPED_TEST(BothClasses, CreateTwiceKeepsOnlyTheSecondPicture) {
  TypeParam bitmap;
  bitmap.Create(10, 7, 24);
  bitmap.Create(3, 4, 32);
  EXPECT_EQ(bitmap.GetWidth(), 3);
  EXPECT_EQ(bitmap.GetHeight(), 4);
  EXPECT_EQ(bitmap.GetBitsPerPixel(), 32);
  const BITMAPINFOHEADER* header = bitmap.GetHeader();
  EXPECT_EQ(header->biSize, 40u);
  EXPECT_EQ(header->biWidth, 3);
  EXPECT_EQ(header->biHeight, 4);
  EXPECT_EQ(header->biPlanes, 1);
  EXPECT_EQ(header->biBitCount, 32);
  EXPECT_EQ(header->biCompression, 0u);
  EXPECT_EQ(header->biClrUsed, 0u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(bitmap.GetRow(i), bitmap.GetPixels() + (3 - i) * 12);
  EXPECT_EQ(bitmap.GetRow(4), nullptr);  // one table of 4 rows
}

TEST_F(Bitmaps, SectionDrawsAnEightBitPictureThroughItsColourTable) {
  CDIBSection bitmap;
  bitmap.Create(2, 1, 8);
  bitmap.GetRow(0)[0] = 255;
  bitmap.GetRow(0)[1] = 17;
  Canvas c(2, 1);
  EXPECT_NE(bitmap.Draw(&c.dc, 0, 0), 0);
  EXPECT_EQ(c.At(0, 0), 0xFFFFFFu);
  EXPECT_EQ(c.At(1, 0), 0x111111u);
  // The same through the packed class.
  CWinBmp packed;
  packed.Create(2, 1, 8);
  packed.GetRow(0)[0] = 17;
  packed.Draw(&c.dc, 0, 0);
  EXPECT_EQ(c.At(0, 0), 0x111111u);
}

TEST_F(Bitmaps, ResetToDefaultKeepsTheEmptyFlag) {
  CDIBSection bitmap;
  bitmap.CreateFromRgb(kTwoByTwo, 2, 2);
  const int64_t live = platform::LiveGdiObjects();
  bitmap.ResetToDefault();
  EXPECT_EQ(platform::LiveGdiObjects(), live);  // the old section went, a new one came
  EXPECT_FALSE(bitmap.IsEmpty());
  EXPECT_EQ(bitmap.GetWidth(), 16);
  EXPECT_EQ(bitmap.GetBitsPerPixel(), 8);
  EXPECT_NE(bitmap.GetSection(), nullptr);
  CDIBSection fresh;
  fresh.ResetToDefault();
  EXPECT_TRUE(fresh.IsEmpty());
}

// A packed DIB: 40-byte header, `colors` entries, rows bottom-up unless topDown.
std::vector<uint8_t> PackedDib(int width, int height, int bits, const std::vector<RGBQUAD>& colors,
                               const std::vector<uint8_t>& rows, uint32_t clrUsed) {
  std::vector<uint8_t> dib(40 + colors.size() * 4 + rows.size());
  BITMAPINFOHEADER header = {};
  header.biSize = 40;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bits);
  header.biClrUsed = clrUsed;
  std::memcpy(dib.data(), &header, 40);
  if (!colors.empty()) std::memcpy(dib.data() + 40, colors.data(), colors.size() * 4);
  std::memcpy(dib.data() + 40 + colors.size() * 4, rows.data(), rows.size());
  return dib;
}

TYPED_TEST(BothClasses, CreateFromDibKeepsTheDibsOwnColoursAndDraws) {
  // 8 bits with a 2-entry table (biClrUsed 2): rows follow the short table.
  const std::vector<RGBQUAD> colors = {RGBQUAD{0, 0, 255, 0}, RGBQUAD{255, 0, 0, 0}};
  const std::vector<uint8_t> rows = {1, 0, 0, 0,   // bottom row: blue, red
                                     0, 1, 0, 0};  // top row: red, blue
  const std::vector<uint8_t> dib = PackedDib(2, 2, 8, colors, rows, 2);
  TypeParam bitmap;
  EXPECT_TRUE(bitmap.CreateFromDib(reinterpret_cast<const BITMAPINFOHEADER*>(dib.data())));
  EXPECT_FALSE(bitmap.IsEmpty());
  EXPECT_EQ(bitmap.GetColorTable()[1].rgbBlue, 255);
  EXPECT_EQ(bitmap.GetColorTable()[1].rgbReserved, 0);  // copied, not a grey ramp
  EXPECT_EQ(bitmap.GetRow(0)[1], 1);
  Canvas c(2, 2);
  EXPECT_NE(bitmap.Draw(&c.dc, 0, 0), 0);
  EXPECT_EQ(c.At(0, 0), kRed);
  EXPECT_EQ(c.At(1, 0), kBlue);
  EXPECT_EQ(c.At(0, 1), kBlue);
  // A top-down source is stored upright, bottom row first.
  const std::vector<uint8_t> down = PackedDib(2, -2, 8, colors, rows, 2);
  EXPECT_TRUE(bitmap.CreateFromDib(reinterpret_cast<const BITMAPINFOHEADER*>(down.data())));
  EXPECT_EQ(bitmap.GetHeight(), 2);
  EXPECT_EQ(bitmap.GetHeader()->biHeight, 2);
  EXPECT_EQ(bitmap.GetRow(0)[0], 1);  // the source's first row is the top one
}

TYPED_TEST(BothClasses, CreateFromDibRefusesWhatItCannotHold) {
  TypeParam bitmap;
  bitmap.CreateFromRgb(kTwoByTwo, 2, 2);
  std::vector<uint8_t> dib = PackedDib(2, 2, 24, {}, std::vector<uint8_t>(16), 0);
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(dib.data());
  header->biCompression = BI_RLE8;
  EXPECT_FALSE(bitmap.CreateFromDib(header));
  header->biCompression = BI_RGB;
  header->biBitCount = 7;
  EXPECT_FALSE(bitmap.CreateFromDib(header));
  header->biBitCount = 24;
  header->biWidth = -2;
  EXPECT_FALSE(bitmap.CreateFromDib(header));
  EXPECT_FALSE(bitmap.CreateFromDib(nullptr));
  // The picture it had is untouched.
  EXPECT_EQ(bitmap.GetWidth(), 2);
  EXPECT_EQ(bitmap.GetRow(0)[2], 255);
}

TYPED_TEST(BothClasses, CopyToGlobalGivesTheWholePackedDib) {
  TypeParam bitmap;
  bitmap.Create(3, 2, 4);
  bitmap.GetRow(0)[0] = 0xAB;
  HGLOBAL block = bitmap.CopyToGlobal();
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), static_cast<SIZE_T>(bitmap.GetImageSize()));
  const uint8_t* bytes = static_cast<const uint8_t*>(GlobalLock(block));
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::memcmp(bytes, bitmap.GetHeader(), 40), 0);
  EXPECT_EQ(std::memcmp(bytes + 40, bitmap.GetColorTable(), 64), 0);
  // Bottom-up rows of 4 bytes: the top row is the second.
  EXPECT_EQ(bytes[40 + 64 + 4], 0xAB);
  // It reads back as the same picture.
  TypeParam copy;
  EXPECT_TRUE(copy.CreateFromDib(reinterpret_cast<const BITMAPINFOHEADER*>(bytes)));
  EXPECT_EQ(copy.GetRow(0)[0], 0xAB);
  GlobalUnlock(block);
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TYPED_TEST(BothClasses, CreateFromResourceLoadsABitmapResource) {
  const std::vector<RGBQUAD> colors = {RGBQUAD{0, 0, 255, 0}, RGBQUAD{255, 0, 0, 0}};
  const std::vector<uint8_t> rows = {1, 0, 0, 0, 0, 1, 0, 0};
  const std::vector<uint8_t> dib = PackedDib(2, 2, 8, colors, rows, 2);
  platform::OverrideResourceForTests(RT_BITMAP, 500, &dib);
  TypeParam bitmap;
  EXPECT_TRUE(bitmap.CreateFromResource(500));
  EXPECT_FALSE(bitmap.IsEmpty());
  Canvas c(2, 2);
  EXPECT_NE(bitmap.Draw(&c.dc, 0, 0), 0);
  EXPECT_EQ(c.At(0, 0), kRed);
  EXPECT_EQ(c.At(1, 0), kBlue);
  // A resource shorter than its header claims is refused, picture unchanged.
  const std::vector<uint8_t> cut(dib.begin(), dib.end() - 1);
  platform::OverrideResourceForTests(RT_BITMAP, 501, &cut);
  EXPECT_FALSE(bitmap.CreateFromResource(501));
  EXPECT_EQ(bitmap.GetWidth(), 2);
  EXPECT_EQ(bitmap.GetColorTable()[0].rgbRed, 255);
  platform::ClearResourceOverridesForTests();
}

TEST_F(Bitmaps, CreateFromResourceOfAMissingBitmapFails) {
  CWinBmp bitmap;
  EXPECT_FALSE(bitmap.CreateFromResource(31999));
  EXPECT_TRUE(bitmap.IsEmpty());
  EXPECT_EQ(bitmap.GetWidth(), 16);
}

TEST_F(Bitmaps, RunTimeClassesNameTheTree) {
  CDIBSection section;
  CWinBmp packed;
  EXPECT_STREQ(section.GetRuntimeClass()->m_lpszClassName, "CDIBSection");
  EXPECT_TRUE(section.IsKindOf(RUNTIME_CLASS(CWinBmp)));
  EXPECT_TRUE(section.IsKindOf(RUNTIME_CLASS(CBmp)));
  EXPECT_TRUE(section.IsKindOf(RUNTIME_CLASS(CObject)));
  EXPECT_FALSE(packed.IsKindOf(RUNTIME_CLASS(CDIBSection)));
  EXPECT_TRUE(packed.IsKindOf(RUNTIME_CLASS(CBmp)));
  CDC dc;
  EXPECT_TRUE(dc.IsKindOf(RUNTIME_CLASS(CDC)));
  EXPECT_FALSE(dc.IsKindOf(RUNTIME_CLASS(CBmp)));
}

// --- Out of memory -------------------------------------------------------------------

template <typename Body>
bool ThrowsOutOfMemory(Body body) {
  try {
    body();
  } catch (CMemoryException* e) {
    EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CMemoryException)));
    e->Delete();
    return true;
  }
  return false;
}

TEST_F(Bitmaps, PackedAllocationFailureThrowsAndLeavesNoPicture) {
  CWinBmp bitmap;
  pelorn::FailNthPlainAllocation(1);  // the packed block
  EXPECT_TRUE(ThrowsOutOfMemory([&] { bitmap.CreateFromRgb(kTwoByTwo, 2, 2); }));
  EXPECT_EQ(bitmap.GetPixels(), nullptr);
  EXPECT_EQ(bitmap.GetRowTable(), nullptr);
  Canvas c(2, 2);
  EXPECT_EQ(bitmap.Draw(&c.dc, 0, 0), 0);  // not empty, but no picture: the draw fails
  EXPECT_TRUE(c.Untouched());
  pelorn::FailNthPlainAllocation(2);  // the row table
  EXPECT_TRUE(ThrowsOutOfMemory([&] { bitmap.Create(4, 4, 24); }));
  EXPECT_EQ(bitmap.GetHeader(), nullptr);
  bitmap.Create(4, 4, 24);  // and it recovers
  EXPECT_EQ(bitmap.GetWidth(), 4);
}

TEST_F(Bitmaps, SectionFailureThrowsAndLeavesNoPicture) {
  CDIBSection bitmap;
  platform::FailNthGdiAllocation(1);  // the section's pixels
  EXPECT_TRUE(ThrowsOutOfMemory([&] { bitmap.Create(8, 8, 32); }));
  EXPECT_EQ(bitmap.GetSection(), nullptr);
  EXPECT_EQ(bitmap.GetHeader(), nullptr);
  pelorn::FailNthPlainAllocation(1);  // the header block
  EXPECT_TRUE(ThrowsOutOfMemory([&] { bitmap.Create(8, 8, 32); }));
  EXPECT_EQ(bitmap.GetSection(), nullptr);
}

TEST_F(Bitmaps, ImpossibleSizesThrowInsteadOfOverflowing) {
  CWinBmp bitmap;
  EXPECT_TRUE(ThrowsOutOfMemory([&] { bitmap.Create(0, 5, 24); }));
  EXPECT_TRUE(ThrowsOutOfMemory([&] { bitmap.Create(-3, 5, 24); }));
  EXPECT_TRUE(ThrowsOutOfMemory([&] { bitmap.Create(5, 5, 12); }));
  EXPECT_TRUE(ThrowsOutOfMemory([&] { bitmap.Create(70000, 70000, 32); }));
  EXPECT_TRUE(ThrowsOutOfMemory([&] { bitmap.Create(INT32_MAX, 1, 32); }));
  CDIBSection section;
  EXPECT_TRUE(ThrowsOutOfMemory([&] { section.Create(70000, 70000, 32); }));
}

TEST_F(Bitmaps, CopyToGlobalFailureThrows) {
  CWinBmp bitmap;
  bitmap.CreateFromRgb(kTwoByTwo, 2, 2);
  platform::FailNthGlobalAlloc(1);
  EXPECT_TRUE(ThrowsOutOfMemory([&] { bitmap.CopyToGlobal(); }));
}

}  // namespace
