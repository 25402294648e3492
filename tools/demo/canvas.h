// A picture being drawn for the demo disc: an RGB image buffer (three bytes a
// pixel, rows from the top down) with the few drawing steps the scenes need.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace demo {

struct Color {
  double r = 0, g = 0, b = 0;  // 0..255
};

Color Mix(const Color& a, const Color& b, double t);  // t = 0 gives a, 1 gives b

class Canvas {
 public:
  Canvas(int width, int height);
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  const std::vector<uint8_t>& Rgb() const { return m_rgb; }

  void Set(int x, int y, const Color& color);
  // Light grain, the same for the same seed: flat areas of a photograph are
  // never flat, and JPEG sizes come out like a photograph's.
  void AddGrain(uint32_t seed, int amplitude);
  // Upper-case letters, digits, ". - x" in a 5 x 7 cell font, `scale` pixels
  // a dot, with a one-dot dark shadow.
  void Caption(int x, int y, int scale, const std::string& text, const Color& color);
  static int CaptionWidth(const std::string& text, int scale);

 private:
  void FillDot(int x, int y, int scale, const Color& color);
  int m_width;
  int m_height;
  std::vector<uint8_t> m_rgb;
};

// A repeatable pseudo-random number for (seed, a, b): 0 .. 2^32 - 1.
uint32_t Hash(uint32_t seed, uint32_t a, uint32_t b = 0);
// The same as a fraction 0 .. 1.
double HashUnit(uint32_t seed, uint32_t a, uint32_t b = 0);

}  // namespace demo
