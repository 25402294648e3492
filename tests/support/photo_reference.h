// References for pictures the viewer turns upright and fits: Pillow's
// decode turned by its EXIF orientation (tests/tools/upright_reference.py),
// Pillow's Lanczos reduction of it, and the PSNR between two pictures.
#pragma once

#include <cmath>
#include <optional>
#include <string>

#include "tests/support/test_support.h"

namespace testing_support {

// Pillow's upright decode of `path`, reduced with Lanczos to width x height
// when both are given (0: full size). Empty when Pillow cannot read it.
inline std::optional<Picture> UprightReference(const std::string& path, int width = 0,
                                               int height = 0) {
  const std::string out = TempDir() + "/upright.ppm";
  std::string command = std::string(PythonWithPillow()) + " " +
                        Quoted(std::string(TESSARY_SOURCE_DIR) + "/tests/tools/upright_reference.py") +
                        " " + Quoted(path) + " " + Quoted(out);
  if (width > 0) command += " " + std::to_string(width) + " " + std::to_string(height);
  if (RunCommand(command + " 2>/dev/null") != 0) return std::nullopt;
  return ReferenceDecode(out);
}

// Peak signal-to-noise ratio in dB over all bytes; 0 when the sizes differ,
// 99 for identical pictures.
inline double Psnr(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size() || a.rgb.empty())
    return 0.0;
  double squares = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) {
    const double delta = double(a.rgb[i]) - double(b.rgb[i]);
    squares += delta * delta;
  }
  if (squares == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * double(a.rgb.size()) / squares);
}

// Writes a JPEG with Pillow (tests/tools/make_photo.py): "quadrants" or
// "photo", with EXIF orientation 1-8 (0: no EXIF block).
inline bool MakePhoto(const std::string& kind, int width, int height, int orientation,
                      const std::string& path) {
  return RunCommand(std::string(PythonWithPillow()) + " " +
                    Quoted(std::string(TESSARY_SOURCE_DIR) + "/tests/tools/make_photo.py") + " " +
                    kind + " " + std::to_string(width) + " " + std::to_string(height) + " " +
                    std::to_string(orientation) + " " + Quoted(path) + " 2>/dev/null") == 0;
}

}  // namespace testing_support
