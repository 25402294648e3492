#include "commands/fitted_picture.h"

#include <cstring>

#include "commands/decoded_picture.h"
#include "commands/picture_loading.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"

namespace {

FittedPicture Allocated(int32_t width, int32_t height) {
  FittedPicture picture;
  size_t bytes = 0;
  if (!pelorn::CheckedProduct(static_cast<uint64_t>(width), static_cast<uint64_t>(height), 3, &bytes)) {
    return picture;
  }
  picture.rgb.reset(static_cast<uint8_t*>(pelorn::PlainAllocate(bytes, false)));
  if (picture.rgb == nullptr) return picture;
  picture.width = width;
  picture.height = height;
  return picture;
}

}  // namespace

FittedPicture DecodeFittedPicture(const char* path, int32_t areaWidth, int32_t areaHeight) {
  DecodedPicture decoded;
  if (!decoded.Decode(path)) return FittedPicture();
  const PictureSize size = FitPictureToArea(decoded.width(), decoded.height(), areaWidth, areaHeight);
  FittedPicture fitted = Allocated(size.width, size.height);
  if (fitted.IsEmpty()) return fitted;
  if (!size.scaled) {
    std::memcpy(fitted.rgb.get(), decoded.rgb(), decoded.rgbBytes());
  } else if (!ResampleRgb(decoded.rgb(), decoded.width(), decoded.height(), fitted.rgb.get(),
                          size.width, size.height)) {
    return FittedPicture();
  }
  return fitted;
}

FittedPicture CopyOf(const FittedPicture& picture) {
  if (picture.IsEmpty()) return FittedPicture();
  FittedPicture copy = Allocated(picture.width, picture.height);
  if (!copy.IsEmpty()) std::memcpy(copy.rgb.get(), picture.rgb.get(), picture.Bytes());
  return copy;
}
