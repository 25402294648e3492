#include "commands/fitted_picture.h"

#include <cstring>

#include "commands/decoded_picture.h"
#include "commands/picture_loading.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"

namespace {

using PlainPixels = std::unique_ptr<uint8_t, FreeWithFree>;

PlainPixels AllocatePixels(int32_t width, int32_t height) {
  size_t bytes = 0;
  if (!pelorn::CheckedProduct(static_cast<uint64_t>(width), static_cast<uint64_t>(height), 3,
                              &bytes)) {
    return nullptr;
  }
  return PlainPixels(static_cast<uint8_t*>(pelorn::PlainAllocate(bytes, false)));
}

// The stored picture at width x height: a copy when it has that size
// already, else reduced. Null with *error set on failure.
PlainPixels StoredAtSize(const DecodedPicture& decoded, int32_t width, int32_t height,
                         PelornError* error) {
  PlainPixels pixels = AllocatePixels(width, height);
  if (pixels == nullptr) {
    *error = kPelornOutOfMemory;
    return nullptr;
  }
  if (decoded.width() == width && decoded.height() == height) {
    std::memcpy(pixels.get(), decoded.rgb(), decoded.rgbBytes());
  } else if (!ReduceRgb(decoded.rgb(), decoded.width(), decoded.height(), pixels.get(), width,
                        height)) {
    *error = GetLastImageError();
    return nullptr;
  }
  return pixels;
}

}  // namespace

FittedPicture DecodeFittedPicture(const char* path, int32_t areaWidth, int32_t areaHeight) {
  FittedPicture result;
  DecodedPicture decoded;
  if (!decoded.DecodeForArea(path, areaWidth, areaHeight)) {
    result.error = decoded.error();
    return result;
  }
  result.decoded = true;

  const int32_t orientation = decoded.orientation();
  const bool swaps = OrientationSwapsSides(orientation);
  const PictureSize fitted =
      FitPictureToArea(swaps ? decoded.fullHeight() : decoded.fullWidth(),
                       swaps ? decoded.fullWidth() : decoded.fullHeight(), areaWidth, areaHeight);
  const int32_t storedWidth = swaps ? fitted.height : fitted.width;
  const int32_t storedHeight = swaps ? fitted.width : fitted.height;

  PlainPixels stored = StoredAtSize(decoded, storedWidth, storedHeight, &result.error);
  if (stored == nullptr) return result;
  if (orientation != 1) {
    PlainPixels upright = AllocatePixels(fitted.width, fitted.height);
    if (upright == nullptr) {
      result.error = kPelornOutOfMemory;
      return result;
    }
    if (!OrientRgb(stored.get(), storedWidth, storedHeight, orientation, upright.get())) {
      result.error = GetLastImageError();
      return result;
    }
    stored = std::move(upright);
  }
  result.rgb = std::move(stored);
  result.width = fitted.width;
  result.height = fitted.height;
  return result;
}

FittedPicture CopyOf(const FittedPicture& picture) {
  FittedPicture copy;
  copy.decoded = picture.decoded;
  copy.error = picture.error;
  if (picture.IsEmpty()) return copy;
  copy.rgb = AllocatePixels(picture.width, picture.height);
  if (copy.IsEmpty()) {
    copy.error = kPelornOutOfMemory;
    return copy;
  }
  std::memcpy(copy.rgb.get(), picture.rgb.get(), picture.Bytes());
  copy.width = picture.width;
  copy.height = picture.height;
  return copy;
}
