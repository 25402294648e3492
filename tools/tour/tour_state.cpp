#include "tools/tour/tour_state.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "app/viewer_dlg.h"
#include "platform/headless/headless.h"

namespace tour {

namespace {

bool EndsWithWav(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ending = name.substr(name.size() - 4);
  for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ending == ".wav";
}

std::vector<unsigned char> FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(file),
                                    std::istreambuf_iterator<char>());
}

// A message box's text on one line: a line break written as \n.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      line += "\\n";
    } else if (c != '\r') {
      line += c;
    }
  }
  return line;
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

}  // namespace

std::string BareName(const std::string& path) {
  const size_t separator = path.find_last_of('/');
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

WaveNames::WaveNames(std::string discFolder) : m_discFolder(std::move(discFolder)) {}

// The viewer plays sounds from the root, its albums and their albums: three
// folder levels, as deep as it ever looks.
void WaveNames::Collect(const std::string& folder, int depth) {
  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) return;
  while (dirent* entry = readdir(directory)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      if (depth < 2) Collect(path, depth + 1);
    } else if (EndsWithWav(name)) {
      m_pathsBySize.emplace(static_cast<size_t>(info.st_size), path);
    }
  }
  closedir(directory);
}

std::string WaveNames::NameOf(const std::vector<unsigned char>& bytes) {
  if (!m_collected) {
    Collect(m_discFolder, 0);
    m_collected = true;
  }
  const auto candidates = m_pathsBySize.equal_range(bytes.size());
  for (auto it = candidates.first; it != candidates.second; ++it) {
    if (FileBytes(it->second) == bytes) return BareName(it->second);
  }
  return "-";
}

std::string StateLine(int stepNumber, const std::string& action, CViewerDlg& viewer,
                      const StepOutcome& outcome, WaveNames& waveNames) {
  const bool listExists = viewer.m_albumListBox.m_hWnd != nullptr;
  const int selection = listExists ? viewer.m_albumListBox.GetCurSel() : -1;
  const int albumCount = listExists ? viewer.m_albumListBox.GetCount() : 0;

  std::vector<uint8_t> waveBytes;
  const bool wavePlaying = headless::WavePlaying(&waveBytes);
  const std::string wave =
      wavePlaying ? waveNames.NameOf(std::vector<unsigned char>(waveBytes.begin(), waveBytes.end()))
                  : "-";

  const bool shown = viewer.m_pictureBitmap != nullptr;
  std::ostringstream line;
  line << "step " << stepNumber << ' ' << action << ": album=" << selection << '/' << albumCount
       << " index=" << viewer.m_currentIndex << '/' << viewer.m_pictureList.GetSize()
       << " picture=" << (shown ? viewer.m_pictureWidth : 0) << 'x'
       << (shown ? viewer.m_pictureHeight : 0)
       << " file=" << OrDash(BareName(viewer.m_currentPicturePath.str()))
       << " title=" << (viewer.m_titleShown ? 1 : 0) << " splash=" << (viewer.m_splashShown ? 1 : 0)
       << " panel=" << (viewer.m_sidePanelShown ? 1 : 0)
       << " midi=" << OrDash(BareName(headless::MidiPlaying())) << " wave=" << wave << " box=";
  if (outcome.messageBoxShown) {
    line << '"' << OneLine(outcome.messageBoxText) << '"';
  } else {
    line << '-';
  }
  line << " cursor=" << headless::WaitCursorCount();
  line << " full=" << (viewer.FullViewShown() ? 1 : 0);
  return line.str();
}

}  // namespace tour
