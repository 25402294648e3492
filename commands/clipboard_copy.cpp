// Copy: the current picture's file decoded again at full size, turned upright,
// and placed on the clipboard as a screen bitmap, so the clipboard gets every
// pixel of the file rather than the reduced picture on show.
#include "app/viewer_dlg.h"
#include "commands/decoded_picture.h"
#include "imaging/core/pelorn.h"

namespace {

// Holds the clipboard open for as long as it lives.
class OpenedClipboard {
 public:
  explicit OpenedClipboard(HWND owner) : m_open(OpenClipboard(owner) != FALSE) {}
  ~OpenedClipboard() {
    if (m_open) CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;
  bool IsOpen() const { return m_open; }

 private:
  bool m_open;
};

}  // namespace

void CViewerDlg::Copy() {
  if (m_currentIndex < 0 || m_currentIndex >= m_pictureList.GetSize()) return;
  CWaitCursor wait;

  DecodedPicture decoded;
  if (!decoded.DecodeUprightEntry(m_pictureList.GetAt(m_currentIndex))) return;

  // Another program holding the clipboard leaves its contents as they were.
  OpenedClipboard clipboard(m_hWnd);
  if (!clipboard.IsOpen()) return;
  EmptyClipboard();
  HBITMAP bitmap = RgbToDdb(decoded.rgb(), static_cast<uint32_t>(decoded.width()),
                            static_cast<uint32_t>(decoded.height()), nullptr);
  // Once placed, the bitmap belongs to the clipboard; one it refuses is ours to delete.
  if (bitmap != nullptr && SetClipboardData(CF_BITMAP, bitmap) == nullptr) DeleteObject(bitmap);
}
