// The album list: the viewer's owner-drawn list box (control 1000). Its rows
// and their drawing are built with the album list work; until then it is the
// framework's list box.
#pragma once

#include "platform/afx_wnd.h"

class CAlbumListBox : public CListBox {
 public:
  CAlbumListBox() = default;

  CString m_rootLabel;  // album.txt's "name"; empty: row 0 reads "My Album"
};
