// Picture loading: the picture at the current index decoded, turned upright,
// fitted to the picture area and kept as the window's picture bitmap.
#include "commands/picture_loading.h"

#include <cstdlib>
#include <cstring>

#include "app/viewer_dlg.h"
#include "commands/decoded_picture.h"
#include "commands/fitted_picture.h"

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
  // picture that cannot be read leaves the area empty under its own name and
  // number.
  const BOOL shown = ShowPicture(path);
  InvalidateViewingRegion();
  return shown;
}

BOOL CViewerDlg::ShowPicture(const CString& path) {
  FittedPicture fitted =
      DecodeFittedPicture(path.GetString(), m_pictureArea.Width(), m_pictureArea.Height());
  if (!fitted.decoded) return FALSE;

  m_titleShown = 0;
  m_titleText.Empty();
  if (fitted.rgb == nullptr) return FALSE;
  m_pictureBitmap = fitted.rgb.release();
  m_pictureWidth = fitted.width;
  m_pictureHeight = fitted.height;
  return TRUE;
}

void CViewerDlg::ReleasePicture() {
  std::free(m_pictureBitmap);
  m_pictureBitmap = nullptr;
  m_pictureWidth = 0;
  m_pictureHeight = 0;
}
