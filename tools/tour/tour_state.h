// What tessary-tour prints after every step: one line describing the viewer
// as a user would see and hear it.
#pragma once

#include <map>
#include <string>
#include <vector>

class CViewerDlg;

namespace tour {

// Names the wave sound playing now: the platform plays waves from memory, so
// the sound's bytes are matched against the disc's .wav files.
class WaveNames {
 public:
  explicit WaveNames(std::string discFolder);
  // The bare name of the disc's .wav file holding exactly these bytes, or "-".
  std::string NameOf(const std::vector<unsigned char>& bytes);

 private:
  void Collect(const std::string& folder, int depth);
  std::string m_discFolder;
  bool m_collected = false;
  std::multimap<size_t, std::string> m_pathsBySize;
};

struct StepOutcome {
  std::string messageBoxText;  // the last message box the step showed; empty: none
  bool messageBoxShown = false;
};

// step N ACTION: album=SEL/COUNT index=I/N picture=WxH file=NAME title=0|1
// splash=0|1 panel=0|1 midi=NAME|- wave=NAME|- box="TEXT"|- cursor=K full=0|1
std::string StateLine(int stepNumber, const std::string& action, CViewerDlg& viewer,
                      const StepOutcome& outcome, WaveNames& waveNames);

// Small helpers shared by the walk and the state line.
std::string BareName(const std::string& path);

}  // namespace tour
