// Title pages and sound: an album's title.txt, title.mid and title.wav, and
// the .mid and .wav files beside a picture. Music goes on across pictures and
// albums until a different MIDI file starts; a wave sound plays once.
#include <cstdio>

#include "app/viewer_dlg.h"
#include "catalogue/album_names.h"
#include "catalogue/folder_scan.h"
#include "platform/framework/afx_files.h"

namespace {

// The path with everything from its last "." replaced by `extension`
// (photo.jpg -> photo.mid); unchanged when it holds no ".".
CString WithExtension(const CString& path, LPCSTR extension) {
  const int dot = path.ReverseFind('.');
  return dot >= 0 ? path.Left(dot) + extension : path;
}

}  // namespace

void CViewerDlg::PlayMusicFor(const CString& path) {
  CString musicPath;
  if (!AfxFindFileAnyCase(WithExtension(path, ".mid"), musicPath) || !IsRegularFile(musicPath))
    return;
  if (musicPath == m_currentMidiPath) return;  // already started: let it play on
  m_midiPlayer.Stop();
  m_midiPlayer.Close();
  // A file the sequencer refuses plays nothing, but still counts as started.
  if (m_midiPlayer.Open(musicPath)) m_midiPlayer.Play();
  m_currentMidiPath = musicPath;
}

void CViewerDlg::PlaySoundFor(const CString& path) {
  CString soundPath;
  if (!AfxFindFileAnyCase(WithExtension(path, ".wav"), soundPath) || !IsRegularFile(soundPath))
    return;
  m_wavePlayer.Stop();
  if (m_wavePlayer.Load(soundPath)) m_wavePlayer.Play(FALSE);
}

BOOL CViewerDlg::ShowTitle(const CString& folder) {
  const CString albumFolder = WithTrailingSeparator(folder.IsEmpty() ? m_albumFolder : folder);
  PlayMusicFor(albumFolder + "title.mid");
  if (!m_goingBack) PlaySoundFor(albumFolder + "title.wav");

  // Only a regular file is opened: a pipe named title.txt would block for good.
  const CString titlePath = FindCompanionFile(albumFolder, "title.txt");
  std::FILE* file = IsRegularFile(titlePath) ? std::fopen(titlePath, "rb") : nullptr;
  if (file != nullptr) {
    CString text;
    const TextFileRead outcome = ReadWholeTextFile(file, &text);
    std::fclose(file);
    // A title.txt that cannot be read (too large, or cut short) is passed
    // over as if there were none, so the album's pictures still show.
    if (outcome == TextFileRead::kRead) {
      m_titleText = text;
      m_titleShown = 1;
      ReleasePicture();
      InvalidateViewingRegion();
      m_currentIndex = -1;
      return TRUE;
    }
  }
  if (!m_goingBack) {
    m_currentIndex = 0;
    LoadPicture();
  }
  return FALSE;
}
