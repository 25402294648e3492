// Export: the current picture's file decoded again at full size and written
// to a file the user names, in the form of the Save As filter the user picks
// (never the typed extension). Paletted forms reduce the colours first.
#include <cstdlib>
#include <optional>

#include "app/viewer_dlg.h"
#include "commands/decoded_picture.h"
#include "imaging/core/error_text.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "platform/framework/afx_app.h"

namespace {

const char kExportTitle[] = "Export file as";
const char kExportInitialName[] = "*.jpg";
const char kExportDefaultExtension[] = "*.jpg";
// Label and pattern pairs, in filter-index order from 1.
const char kExportFilter[] =
    "JPG File (*.jpg)|*.jpg|24-Bit PNG File (*.png)|*.png|8-bit PNG File (*.png)|*.png|"
    "24-bit BMP (*.bmp)|*.bmp|8-bit BMP (*.bmp)|*.bmp|4-bit BMP (*.bmp)|*.bmp| Non LZW gif|*.gif||";

enum class ExportForm { kJpeg, kPng24, kPng8, kBmp24, kBmp8, kBmp4, kGif };

constexpr int kJpegQuality = 85;

// The form of a filter index counted from 1; any other index writes JPEG.
ExportForm FormOfFilter(DWORD filterIndex) {
  switch (filterIndex) {
    case 2: return ExportForm::kPng24;
    case 3: return ExportForm::kPng8;
    case 4: return ExportForm::kBmp24;
    case 5: return ExportForm::kBmp8;
    case 6: return ExportForm::kBmp4;
    case 7: return ExportForm::kGif;
    default: return ExportForm::kJpeg;
  }
}

// Colours the form's palette holds; 0 for the forms written from RGB.
int32_t PaletteColors(ExportForm form) {
  switch (form) {
    case ExportForm::kPng8:
    case ExportForm::kBmp8:
    case ExportForm::kGif: return 256;
    case ExportForm::kBmp4: return 16;
    default: return 0;
  }
}

void ShowImageError(PelornError code) {
  AfxMessageBox(ErrorText(code).c_str(), MB_ICONEXCLAMATION | MB_OK);
}

// Writes the picture in one form; 1 on success, 0 with the thread's last
// error code set. `indices` and `palette` are the reduced picture for the
// paletted forms.
int32_t WriteForm(ExportForm form, const char* path, const DecodedPicture& picture,
                  const uint8_t* indices, const RGBQUAD* palette) {
  const int32_t width = picture.width();
  const int32_t height = picture.height();
  switch (form) {
    case ExportForm::kPng24: return WritePng24File(path, picture.rgb(), width, height, 0.0);
    case ExportForm::kPng8:
      return WritePng8File(path, indices, width, height, 256, palette, 0.0);
    case ExportForm::kBmp24: return WriteBmp24File(path, picture.rgb(), width, height);
    case ExportForm::kBmp8: return WriteBmpIndexedFile(path, indices, width, height, 8, 256, palette);
    case ExportForm::kBmp4: return WriteBmpIndexedFile(path, indices, width, height, 4, 16, palette);
    case ExportForm::kGif: return WriteGifFile(path, indices, width, height, 0, -1, palette);
    case ExportForm::kJpeg: break;
  }
  return WriteJpegFile(path, picture.rgb(), static_cast<uint32_t>(width),
                       static_cast<uint32_t>(height), kJpegQuality, 1, 0);
}

// Reduces the colours when the form needs a palette, then writes. Failures
// are shown with the library's text once the writing's wait cursor is gone.
void WritePicture(const CString& path, DWORD filterIndex, const DecodedPicture& picture) {
  const ExportForm form = FormOfFilter(filterIndex);
  const int32_t colors = PaletteColors(form);
  RGBQUAD palette[256] = {};
  pelorn::PlainBlock indices;
  std::optional<PelornError> failure;
  {
    CWaitCursor writing;  // the dialog may have replaced the cursor
    size_t indexBytes = 0;
    if (colors > 0 && (!pelorn::CheckedProduct(static_cast<uint64_t>(picture.width()),
                                               static_cast<uint64_t>(picture.height()),
                                               &indexBytes) ||
                       !indices.Allocate(indexBytes))) {
      failure = kPelornOutOfMemory;
    } else if (colors > 0 && !QuantizeRgb(picture.rgb(), indices.bytes(), picture.width(),
                                          picture.height(), colors, palette)) {
      failure = GetLastImageError();
    } else if (!WriteForm(form, path.GetString(), picture, indices.bytes(), palette)) {
      failure = GetLastImageError();
    }
  }
  if (failure.has_value()) ShowImageError(*failure);
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
  if (dialog.DoModal() != IDOK) return;

  // The returned path exactly as given: the form comes from the filter alone.
  WritePicture(dialog.GetPathName(), dialog.m_ofn.nFilterIndex, decoded);
}
