// Picture loading: the picture at the current index decoded, fitted to the
// picture area and kept as the window's picture bitmap.
#include "commands/picture_loading.h"

#include <cstdlib>
#include <cstring>

#include "app/viewer_dlg.h"
#include "commands/decoded_picture.h"
#include "commands/picture_failure.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"

PictureSize FitPictureToArea(int32_t width, int32_t height, int32_t areaWidth, int32_t areaHeight) {
  if (width < areaWidth && height < areaHeight) return {width, height, false};
  const double widthRatio = static_cast<double>(width) / areaWidth;
  const double heightRatio = static_cast<double>(height) / areaHeight;
  const double scale = heightRatio > widthRatio ? heightRatio : widthRatio;
  PictureSize fitted{static_cast<int32_t>(width / scale), static_cast<int32_t>(height / scale), true};
  if (fitted.width < 1) fitted.width = 1;
  if (fitted.height < 1) fitted.height = 1;
  return fitted;
}

namespace {

// The picture fitted to the area in a plain memory block (released with
// free), or null when it cannot be allocated or scaled.
uint8_t* FittedCopy(const DecodedPicture& decoded, const PictureSize& fitted) {
  size_t bytes = 0;
  if (!pelorn::CheckedProduct(static_cast<uint64_t>(fitted.width),
                              static_cast<uint64_t>(fitted.height), 3, &bytes)) {
    return nullptr;
  }
  auto* buffer = static_cast<uint8_t*>(pelorn::PlainAllocate(bytes, false));
  if (buffer == nullptr) return nullptr;
  if (!fitted.scaled) {
    std::memcpy(buffer, decoded.rgb(), decoded.rgbBytes());
  } else if (!ResampleRgb(decoded.rgb(), decoded.width(), decoded.height(), buffer, fitted.width,
                          fitted.height)) {
    std::free(buffer);
    return nullptr;
  }
  return buffer;
}

}  // namespace

BOOL CViewerDlg::LoadPicture() {
  if (m_currentIndex < 0 || m_currentIndex >= m_pictureList.GetSize()) return FALSE;
  CWaitCursor wait;

  ReleasePicture();

  const CString path = m_pictureList.GetAt(m_currentIndex);
  PlayMusicFor(path);
  PlaySoundFor(path);

  if (IsFolderPattern(path)) {
    m_currentPicturePath.Empty();
    InvalidateViewingRegion();
    return FALSE;
  }
  m_currentPicturePath = path;
  // Shown or not, the area is repainted: the previous picture is gone, and a
  // picture that cannot be read leaves its reason under its own name and
  // number.
  const BOOL shown = ShowPicture(path);
  InvalidateViewingRegion();
  return shown;
}

BOOL CViewerDlg::ShowPicture(const CString& path) {
  DecodedPicture decoded;
  const bool decodedWell = decoded.Decode(path.GetString());
  // Shown or not, the picture takes the title page's place: a picture that
  // cannot be shown is named and its reason drawn where it would be.
  m_titleShown = 0;
  m_titleText.Empty();
  if (!decodedWell) {
    m_pictureFailure = PictureFailureLine(PictureFailureFor(decoded.error()));
    return FALSE;
  }

  const PictureSize fitted = FitPictureToArea(decoded.width(), decoded.height(),
                                              m_pictureArea.Width(), m_pictureArea.Height());
  m_pictureBitmap = FittedCopy(decoded, fitted);
  if (m_pictureBitmap == nullptr) {
    m_pictureFailure = PictureFailureLine(PictureFailure::kTooLarge);
    return FALSE;
  }
  m_pictureWidth = fitted.width;
  m_pictureHeight = fitted.height;
  return TRUE;
}

void CViewerDlg::ReleasePicture() {
  m_pictureFailure.Empty();
  std::free(m_pictureBitmap);
  m_pictureBitmap = nullptr;
  m_pictureWidth = 0;
  m_pictureHeight = 0;
}
