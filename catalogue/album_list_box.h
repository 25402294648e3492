// The album list: the viewer's owner-drawn list box (control 1000). Each
// 31-pixel row is a skin image with the album's folder name written over it;
// row 0 is the root album under its own label, second-level albums (entries
// with a leading blank) are indented and drawn on their own images.
#pragma once

#include "imaging/core/bitmaps.h"
#include "platform/framework/afx_gdi.h"
#include "platform/framework/afx_wnd.h"

class CAlbumListBox : public CListBox {
 public:
  // Creates the fonts and decodes the row images from the skin resources;
  // only a first-level image that does not decode is reported.
  CAlbumListBox();

  void MeasureItem(LPMEASUREITEMSTRUCT measure) override;
  void DrawItem(LPDRAWITEMSTRUCT draw) override;
  // A right click selects a row as a left click does.
  BOOL PreTranslateMessage(MSG* message) override;

  CDIBSection m_rootNormalImage;            // row 0, not selected
  CDIBSection m_firstLevelNormalImage;      // a first-level row, not selected
  CDIBSection m_selectedImage;              // row 0 or a first-level row, selected
  CDIBSection m_secondLevelNormalImage;     // an indented row, not selected
  CDIBSection m_secondLevelSelectedImage;   // an indented row, selected
  CDIBSection m_spareImage;                 // constructed, never loaded or drawn
  CString m_rootLabel;  // album.txt's "name"; empty: row 0 reads "My Album"
  CFont m_textFont;     // "Arial"
  CFont m_secondFont;   // "MS Sans Serif", created, never selected

 private:
  // What a row shows: its label and whether it is indented.
  struct RowText {
    CString label;
    bool indented = false;
  };
  RowText RowTextOf(int index) const;
  CDIBSection& RowImage(int index, bool indented, bool selected);
};
