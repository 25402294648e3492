// Picture loading: the picture at the current index decoded, turned upright,
// fitted to the picture area and kept as the window's picture bitmap.
#include "commands/picture_loading.h"

#include <cstdlib>

#include "app/viewer_dlg.h"
#include "commands/decoded_picture.h"
#include "commands/fitted_picture.h"
#include "commands/picture_failure.h"

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

BOOL CViewerDlg::LoadPicture() {
  if (m_currentIndex < 0 || m_currentIndex >= m_pictureList.GetSize()) return FALSE;
  return LoadPictureFile(m_pictureList.GetAt(m_currentIndex));
}

BOOL CViewerDlg::LoadPictureFile(const CString& path) {
  CWaitCursor wait;

  ReleasePicture();

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
  FittedPicture fitted = m_decodeAhead.Take(path);
  // Shown or not, the picture takes the title page's place: a picture that
  // cannot be shown is named and its reason drawn where it would be.
  m_titleShown = 0;
  m_titleText.Empty();
  if (fitted.IsEmpty()) {
    m_pictureFailure = PictureFailureLine(fitted.decoded ? PictureFailure::kTooLarge
                                                         : PictureFailureFor(fitted.error));
    return FALSE;
  }
  m_pictureWidth = fitted.width;
  m_pictureHeight = fitted.height;
  m_pictureBitmap = fitted.rgb.release();
  return TRUE;
}

void CViewerDlg::ReleasePicture() {
  m_pictureFailure.Empty();
  std::free(m_pictureBitmap);
  m_pictureBitmap = nullptr;
  m_pictureWidth = 0;
  m_pictureHeight = 0;
}
