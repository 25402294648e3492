// Export: the current picture's file decoded again at full size and written
// to a file the user names. A name that ends in one of the forms' extensions
// is written in that form (the viewer reads files by their extension, so a
// .jpg must hold a JPEG); any other name in the form of the Save As filter
// the user picks. Paletted forms reduce the colours first.
#include <optional>
#include <string>

#include "app/viewer_dlg.h"
#include "commands/decoded_picture.h"
#include "commands/write_failure.h"
#include "imaging/core/pelorn.h"
#include "imaging/core/picture_forms.h"
#include "platform/framework/afx_app.h"

namespace {

const char kExportTitle[] = "Export file as";
const char kExportInitialName[] = "*.jpg";
const char kExportDefaultExtension[] = "*.jpg";
// Label and pattern pairs, in filter-index order from 1.
const char kExportFilter[] =
    "JPG File (*.jpg)|*.jpg|24-Bit PNG File (*.png)|*.png|8-bit PNG File (*.png)|*.png|"
    "24-bit BMP (*.bmp)|*.bmp|8-bit BMP (*.bmp)|*.bmp|4-bit BMP (*.bmp)|*.bmp| Non LZW gif|*.gif||";

constexpr int32_t kJpegQuality = 85;

// The form of a filter index counted from 1; any other index writes JPEG.
PictureForm FormOfFilter(DWORD filterIndex) {
  switch (filterIndex) {
    case 2: return PictureForm::kPng24;
    case 3: return PictureForm::kPng8;
    case 4: return PictureForm::kBmp24;
    case 5: return PictureForm::kBmp8;
    case 6: return PictureForm::kBmp4;
    case 7: return PictureForm::kGif;
    default: return PictureForm::kJpeg;
  }
}

// The typed name's extension decides where it names a form; the filter
// chooses among the forms of one extension and decides for any other name.
PictureForm FormToWrite(const CString& path, DWORD filterIndex) {
  const PictureForm chosen = FormOfFilter(filterIndex);
  PictureForm named = chosen;
  return FormOfFileName(path.GetString(), chosen, &named) ? named : chosen;
}

// The picture's file name without its folder and extension: what the Save
// As dialog proposes on a desktop that shows a name instead of a pattern.
CString PictureStem(const CString& path) {
  const std::string full = path.GetString();
  const size_t slash = full.find_last_of(platform::kPathSeparator);
  std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return CString(name.c_str());
}

// Reduces the colours when the form needs a palette, then writes. Failures
// are shown once the writing's wait cursor is gone: the library's text, and
// for a file that could not be made or filled, the folder and why.
void WritePicture(const CString& path, DWORD filterIndex, const DecodedPicture& picture) {
  std::optional<PelornError> failure;
  {
    CWaitCursor writing;  // the dialog may have replaced the cursor
    if (!WriteFormFile(FormToWrite(path, filterIndex), path.GetString(), picture.rgb(),
                       picture.width(), picture.height(), kJpegQuality)) {
      failure = GetLastImageError();
    }
  }
  if (failure.has_value()) {
    AfxMessageBox(WriteFailureText(path.GetString(), *failure).c_str(), MB_ICONEXCLAMATION | MB_OK);
  }
}

}  // namespace

void CViewerDlg::Export() {
  if (m_currentIndex < 0 || m_currentIndex >= m_pictureList.GetSize()) return;
  CWaitCursor wait;

  DecodedPicture decoded;
  if (!decoded.DecodeUprightEntry(m_pictureList.GetAt(m_currentIndex))) return;

  CFileDialog dialog(FALSE, kExportDefaultExtension, kExportInitialName,
                     OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kExportFilter, this);
  dialog.m_ofn.lpstrTitle = kExportTitle;
  dialog.m_ofn.nFilterIndex = 1;
  dialog.ProposeName(PictureStem(m_pictureList.GetAt(m_currentIndex)));
  if (dialog.DoModal() != IDOK) return;

  // The returned path exactly as given: nothing is added to it.
  WritePicture(dialog.GetPathName(), dialog.m_ofn.nFilterIndex, decoded);
}
