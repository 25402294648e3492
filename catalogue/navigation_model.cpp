#include "catalogue/navigation_model.h"

#include <cstdio>

#include "catalogue/album_names.h"
#include "catalogue/folder_scan.h"
#include "platform/paths.h"

namespace {

// title.txt's reader refuses files longer than this.
constexpr long kLargestTitleText = 0xFFFFF;

NavigationEffect Effect(NavigationEffect::Kind kind, const CString& path = CString()) {
  NavigationEffect effect{kind, path, CString()};
  return effect;
}

// The text of a folder's title.txt; false when it has none or it cannot be
// read (too large or cut short), which counts as no title page.
// Only a regular file is opened: a pipe named title.txt would block for good.
std::FILE* OpenTitleText(const CString& folder) {
  const CString path = FindCompanionFile(WithTrailingSeparator(folder), "title.txt");
  return IsRegularFile(path) ? std::fopen(path, "rb") : nullptr;
}

bool ReadTitleText(const CString& folder, CString* text) {
  std::FILE* file = OpenTitleText(folder);
  if (file == nullptr) return false;
  const TextFileRead outcome = ReadWholeTextFile(file, text);
  std::fclose(file);
  return outcome == TextFileRead::kRead;
}

NavigationPage PictureAt(int album, const CStringArray& pictures, int index) {
  NavigationPage page;
  page.album = album;
  page.index = index;
  if (index < 0 || index >= pictures.GetSize()) {
    page.kind = NavigationPage::Kind::kEmpty;
  } else {
    page.kind = NavigationPage::Kind::kPicture;
    page.picture = pictures.GetAt(index);
  }
  return page;
}

}  // namespace

bool HasTitlePage(const CString& folder) {
  std::FILE* file = OpenTitleText(folder);
  if (file == nullptr) return false;
  const bool fits = std::fseek(file, 0, SEEK_END) == 0 && std::ftell(file) >= 0 &&
                    std::ftell(file) <= kLargestTitleText;
  std::fclose(file);
  return fits;
}

CString NavigationModel::FolderOf(int album) const {
  CString folder = m_albums.GetAt(album);
  folder.TrimLeft();  // a second-level album's marker
  if (album == 0 && !folder.IsEmpty() && folder[folder.GetLength() - 1] == platform::kPathSeparator) {
    folder = folder.Left(folder.GetLength() - 1);
  }
  return folder;
}

void NavigationModel::LoadCurrent(NavigationPlan& plan) {
  if (m_index < 0 || m_index >= m_pictures.GetSize()) return;
  plan.push_back(Effect(NavigationEffect::Kind::kLoadPicture, m_pictures.GetAt(m_index)));
}

// Title music, then title sound unless going back; the title page when the
// folder has a readable title.txt, else (unless going back) its first picture.
bool NavigationModel::TitleStep(const CString& folder, bool goingBack, NavigationPlan& plan) {
  if (folder.IsEmpty()) return false;  // nothing scanned yet: no folder to look in
  const CString albumFolder = WithTrailingSeparator(folder);
  plan.push_back(Effect(NavigationEffect::Kind::kPlayMusicFor, albumFolder + "title.mid"));
  if (!goingBack) plan.push_back(Effect(NavigationEffect::Kind::kPlaySoundFor, albumFolder + "title.wav"));
  CString text;
  if (ReadTitleText(albumFolder, &text)) {
    NavigationEffect title = Effect(NavigationEffect::Kind::kShowTitle);
    title.text = text;
    plan.push_back(title);
    m_index = -1;
    return true;
  }
  if (!goingBack) {
    m_index = 0;
    LoadCurrent(plan);
  }
  return false;
}

NavigationPlan NavigationModel::Start(const CString& rootFolder) {
  NavigationPlan plan;
  m_album = m_albums.GetSize() > 0 ? 0 : -1;
  m_albumFolder = WithTrailingSeparator(rootFolder);
  if (!TitleStep(m_albumFolder, false, plan)) {
    // The first picture is loaded once more after the title step.
    m_index = 0;
    LoadCurrent(plan);
  }
  return plan;
}

NavigationPlan NavigationModel::ShowTitle(bool goingBack) {
  NavigationPlan plan;
  TitleStep(m_albumFolder, goingBack, plan);
  return plan;
}

void NavigationModel::EnterAlbum(int album, bool goingBack, NavigationPlan& plan) {
  if (album < 0 || album >= m_albums.GetSize()) return;
  const CString folder = FolderOf(album);
  m_album = album;
  NavigationEffect enter = Effect(NavigationEffect::Kind::kEnterAlbum, folder);
  enter.album = album;
  plan.push_back(Effect(NavigationEffect::Kind::kStopWave));
  plan.push_back(enter);
  ScanAlbumFolder(folder, m_pictures);
  m_index = 0;
  m_albumFolder = folder;
  // An album without pictures (or whose folder can no longer be read) shows
  // an empty picture area, not the picture of the album before it.
  if (m_pictures.GetSize() == 0) plan.push_back(Effect(NavigationEffect::Kind::kClearPicture));
  const bool titleShown = TitleStep(folder, goingBack, plan);
  // The root without pictures is passed over.
  if (album == 0 && !titleShown && !m_sidePanelShown && m_pictures.GetSize() == 0) NextInto(plan);
}

NavigationPlan NavigationModel::SelectAlbum(int album) {
  NavigationPlan plan;
  EnterAlbum(album, false, plan);
  return plan;
}

void NavigationModel::NextInto(NavigationPlan& plan) {
  plan.push_back(Effect(NavigationEffect::Kind::kStopWave));
  ++m_index;
  const int pictureCount = static_cast<int>(m_pictures.GetSize());
  if (m_index < pictureCount) {
    LoadCurrent(plan);
    return;
  }
  m_index = pictureCount - 1;
  if (m_album + 1 < m_albums.GetSize()) EnterAlbum(m_album + 1, false, plan);
}

NavigationPlan NavigationModel::Next() {
  NavigationPlan plan;
  NextInto(plan);
  return plan;
}

// The root is passed over when entering it would show nothing: no title
// page, no pictures, and the album list (not the side panel) on show.
bool NavigationModel::RootIsPassedOver() const {
  if (m_sidePanelShown || m_albums.GetSize() == 0) return false;
  // Asked of the same scan that entering the root would make.
  const CString root = FolderOf(0);
  if (HasTitlePage(root)) return false;
  CStringArray pictures;
  ScanAlbumFolder(root, pictures);
  return pictures.GetSize() == 0;
}

bool NavigationModel::HasPreviousAlbum() const {
  const int previous = m_album - 1;
  if (m_albums.GetSize() <= 0 || previous < 0) return false;
  return previous != 0 || !RootIsPassedOver();
}

NavigationPlan NavigationModel::Prev() {
  NavigationPlan plan;
  plan.push_back(Effect(NavigationEffect::Kind::kStopWave));
  --m_index;
  if (m_index >= 0) {
    LoadCurrent(plan);
    return plan;
  }
  if (m_index == -1) {
    // The first picture was on show: the title page, when the album has one.
    if (TitleStep(m_albumFolder, false, plan)) return plan;
    m_index = 0;
  } else if (!HasPreviousAlbum()) {
    // The first album's title page stays on show.
    m_index = -1;
    return plan;
  } else {
    m_index = 0;
  }
  if (!HasPreviousAlbum()) return plan;
  EnterAlbum(m_album - 1, true, plan);
  m_index = static_cast<int>(m_pictures.GetSize()) - 1;
  LoadCurrent(plan);
  return plan;
}

bool NavigationModel::PrevLeadsAnywhere() const { return m_index >= 0 || HasPreviousAlbum(); }

NavigationPage NavigationModel::OpeningPageOf(int album) const {
  const CString folder = FolderOf(album);
  NavigationPage page;
  page.album = album;
  if (HasTitlePage(folder)) {
    page.kind = NavigationPage::Kind::kTitle;
    page.index = -1;
    return page;
  }
  CStringArray pictures;
  ScanAlbumFolder(folder, pictures);
  return PictureAt(album, pictures, 0);
}

NavigationPage NavigationModel::PageAfter() const {
  if (m_album < 0) return NavigationPage();
  if (m_index + 1 < m_pictures.GetSize()) return PictureAt(m_album, m_pictures, m_index + 1);
  if (m_album + 1 >= m_albums.GetSize()) return NavigationPage();
  return OpeningPageOf(m_album + 1);
}

NavigationPage NavigationModel::PageBefore() const {
  if (m_album < 0) return NavigationPage();
  if (m_index >= 1) return PictureAt(m_album, m_pictures, m_index - 1);
  if (m_index == 0 && HasTitlePage(m_albumFolder)) {
    NavigationPage title;
    title.kind = NavigationPage::Kind::kTitle;
    title.album = m_album;
    title.index = -1;
    return title;
  }
  if (!HasPreviousAlbum()) {
    // At the start of the first album: the first picture stays (and is shown again).
    return m_index == 0 ? PictureAt(m_album, m_pictures, 0) : NavigationPage();
  }
  CStringArray pictures;
  ScanAlbumFolder(FolderOf(m_album - 1), pictures);
  return PictureAt(m_album - 1, pictures, static_cast<int>(pictures.GetSize()) - 1);
}
