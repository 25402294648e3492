// Where Prev, Next and a choice in the album list lead, asked without any
// window: the album list, the current album's pictures and the position in
// it (a picture index, or -1 for the album's title page).
//
// Each step answers with a plan: what the window does, in order, to carry it
// out (stop the wave sound, enter an album, play a title's music and sound,
// show a title page, load a picture). The plan is complete when the step
// returns; the model is then at the step's end. Entering an album rescans its
// folder and reads its title.txt, as the window used to.
//
// Going back: Prev from an album's first page enters the album before it on
// its last picture, without that album's title.wav and without loading its
// first picture on the way. The root album without pictures and title page
// is passed over (Next goes on to album 1), so it is never a place Prev goes
// back to: Prev at the start of the first album that is shown stays there.
#pragma once

#include <vector>

#include "platform/framework/afx_string.h"

struct NavigationEffect {
  enum class Kind {
    kStopWave,
    kEnterAlbum,     // album: the list's selection; path: the album folder
    kClearPicture,   // an album without pictures: no picture, no file name
    kPlayMusicFor,   // path: the file whose .mid plays (title.mid, a picture)
    kPlaySoundFor,   // path: the file whose .wav plays
    kShowTitle,      // text: the title page's text
    kLoadPicture,    // path: the picture to load and show (its music and sound first)
  };
  Kind kind;
  CString path;
  CString text;
  int album = -1;
};
using NavigationPlan = std::vector<NavigationEffect>;

// A page a step may lead to: what decode-ahead needs to know of it.
struct NavigationPage {
  enum class Kind { kNone, kTitle, kPicture, kEmpty };
  Kind kind = Kind::kNone;  // kNone: the step changes nothing
  int album = -1;
  int index = 0;            // -1 on a title page
  CString picture;          // the picture's path on a picture page
};

class NavigationModel {
 public:
  // The lists, as the folder scan fills them and album.txt reorders them.
  CStringArray& Albums() { return m_albums; }
  const CStringArray& Albums() const { return m_albums; }
  CStringArray& Pictures() { return m_pictures; }
  const CStringArray& Pictures() const { return m_pictures; }
  // The position: a picture index, -1 on the title page.
  int& Index() { return m_index; }
  int Index() const { return m_index; }
  // The current album: the list's selection (-1 before browsing starts).
  int Album() const { return m_album; }
  CString& AlbumFolder() { return m_albumFolder; }
  const CString& AlbumFolder() const { return m_albumFolder; }
  // The side panel stands in for the list when there is one album only; the
  // root is then never passed over.
  void SetSidePanelShown(bool shown) { m_sidePanelShown = shown; }

  // Browsing starts on the root album (its folder ending in the separator):
  // its title page, or its first picture.
  NavigationPlan Start(const CString& rootFolder);
  NavigationPlan Next();
  NavigationPlan Prev();
  // The album chosen in the list (any index; one outside the list changes nothing).
  NavigationPlan SelectAlbum(int album);
  // The title step alone, for the current album (`goingBack` as Prev enters an album).
  NavigationPlan ShowTitle(bool goingBack);

  // The pages Next and Prev would lead to from here, without moving.
  NavigationPage PageAfter() const;
  NavigationPage PageBefore() const;
  // Whether Prev leads anywhere: not on the first shown album's title page.
  bool PrevLeadsAnywhere() const;

 private:
  bool TitleStep(const CString& folder, bool goingBack, NavigationPlan& plan);
  void NextInto(NavigationPlan& plan);
  void EnterAlbum(int album, bool goingBack, NavigationPlan& plan);
  void LoadCurrent(NavigationPlan& plan);
  bool RootIsPassedOver() const;
  bool HasPreviousAlbum() const;
  CString FolderOf(int album) const;
  NavigationPage OpeningPageOf(int album) const;

  CStringArray m_albums;
  CStringArray m_pictures;
  int m_index = 0;
  int m_album = -1;
  CString m_albumFolder;
  bool m_sidePanelShown = false;
};

// Whether a folder has a title page: its title.txt (any letter case) can be
// opened and is not over the title reader's size limit. Reads no text and
// shows nothing.
bool HasTitlePage(const CString& folder);
