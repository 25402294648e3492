// Title pages and sound: an album's title.txt, title.mid and title.wav, and
// the .mid and .wav files beside a picture. Music goes on across pictures and
// albums until a different MIDI file starts; a wave sound plays once.
#include "app/viewer_dlg.h"
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

void CViewerDlg::ShowTitlePage(const CString& text) {
  m_titleText = text;
  m_titleShown = 1;
  ReleasePicture();
  InvalidateViewingRegion();
}
