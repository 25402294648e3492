// tessary-tour DISC_FOLDER OUT_FOLDER [SCRIPT_FILE]
//
// Runs the real viewer on the headless back end as if the program file stood
// in DISC_FOLDER, performs a script of steps (or, without one, walks the
// whole disc), prints one state line after every step and saves what the
// window shows. Exit status: 0 when the script ran, 1 when the viewer ended
// early (it found nothing to show), 2 for bad arguments or a bad script.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "resources/resource_ids.h"
#include "app/viewer_dlg.h"
#include "imaging/core/error_text.h"
#include "imaging/core/pelorn.h"
#include "platform/headless/headless.h"
#include "tools/tour/tour_script.h"
#include "tools/tour/tour_state.h"

namespace {

using tour::Action;
using tour::Step;

const char kUsage[] = "usage: tessary-tour DISC_FOLDER OUT_FOLDER [SCRIPT_FILE]\n";

bool MakeFolder(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  return mkdir(path.c_str(), 0777) == 0;
}

bool IsFile(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The program file the viewer believes it is: a packed copy on the disc when
// there is one (its banner trailer is read from it), else a name beside the
// pictures.
std::string ProgramPathOn(const std::string& disc) {
  for (const char* name : {"tessary", "tessary.exe"}) {
    if (IsFile(disc + "/" + name)) return disc + "/" + name;
  }
  return disc + "/tessary";
}

// Where the viewer is: enough to tell whether a step changed anything.
using Place = std::tuple<int, int, int, std::string>;
Place PlaceOf(CViewerDlg& viewer) {
  const int selection =
      viewer.m_albumListBox.m_hWnd != nullptr ? viewer.m_albumListBox.GetCurSel() : -1;
  return {selection, viewer.m_currentIndex, viewer.m_titleShown, viewer.m_currentPicturePath.str()};
}

// The steps to perform, one at a time.
class Plan {
 public:
  virtual ~Plan() = default;
  // The next step, looking at the viewer as the last step left it.
  virtual std::optional<Step> NextStep(CViewerDlg& viewer) = 0;
  virtual bool Finished() const = 0;
  // Save a screenshot after every step.
  virtual bool ShootsEveryStep() const { return false; }
};

class ScriptPlan : public Plan {
 public:
  explicit ScriptPlan(std::vector<Step> steps) : m_steps(std::move(steps)) {}
  std::optional<Step> NextStep(CViewerDlg&) override {
    if (m_next >= m_steps.size()) return std::nullopt;
    return m_steps[m_next++];
  }
  bool Finished() const override { return m_next >= m_steps.size(); }

 private:
  std::vector<Step> m_steps;
  size_t m_next = 0;
};

// Splash, a click inside the splash area, the timer, Next until nothing
// changes (the last picture of the last album), Prev until nothing new comes
// (back at the start; one Next more when that is a title page), then Copy and
// one export in each of the seven forms.
class WalkPlan : public Plan {
 public:
  explicit WalkPlan(std::string exportFolder) : m_exportFolder(std::move(exportFolder)) {}

  std::optional<Step> NextStep(CViewerDlg& viewer) override {
    std::string unused;
    switch (m_phase) {
      case Phase::kSplash: m_phase = Phase::kClick; return Make("state");
      case Phase::kClick: m_phase = Phase::kTimer; return Make("click 500 360");
      case Phase::kTimer: m_phase = Phase::kNext; m_seen.clear(); return Make("timer");
      case Phase::kNext:
      case Phase::kPrev: {
        const bool isNew = m_seen.insert(PlaceOf(viewer)).second;
        if (isNew && m_seen.size() < kMostStepsPerDirection) {
          return Make(m_phase == Phase::kNext ? "next" : "prev");
        }
        m_seen.clear();
        m_seen.insert(PlaceOf(viewer));
        if (m_phase == Phase::kNext) {
          m_phase = Phase::kPrev;
          return Make("prev");
        }
        m_phase = Phase::kFirstPicture;
        return NextStep(viewer);
      }
      case Phase::kFirstPicture:
        // Back at the start on a title page: on to the first picture, which
        // Copy and Export take.
        m_phase = Phase::kCopy;
        if (viewer.m_currentIndex < 0) return Make("next");
        return NextStep(viewer);
      case Phase::kCopy: m_phase = Phase::kExport; return Make("copy");
      case Phase::kExport:
        if (m_exportIndex >= 7) {
          m_phase = Phase::kDone;
          return std::nullopt;
        }
        ++m_exportIndex;
        return Make("export " + std::to_string(m_exportIndex) + " " + m_exportFolder + "/" +
                    kExportNames[m_exportIndex - 1]);
      case Phase::kDone: return std::nullopt;
    }
    return std::nullopt;
  }
  bool Finished() const override { return m_phase == Phase::kDone; }
  bool ShootsEveryStep() const override { return true; }

 private:
  enum class Phase { kSplash, kClick, kTimer, kNext, kPrev, kFirstPicture, kCopy, kExport, kDone };
  static constexpr size_t kMostStepsPerDirection = 100000;
  static constexpr const char* kExportNames[7] = {"1-jpeg.jpg", "2-png24.png", "3-png8.png",
                                                  "4-bmp24.bmp", "5-bmp8.bmp", "6-bmp4.bmp",
                                                  "7-gif.gif"};
  static std::optional<Step> Make(const std::string& line) {
    std::string error;
    return tour::ParseStep(line, &error);
  }

  std::string m_exportFolder;
  Phase m_phase = Phase::kSplash;
  std::set<Place> m_seen;
  int m_exportIndex = 0;
};

// Performs the plan's steps on the viewer while its modal loop runs.
class Tour {
 public:
  Tour(CViewerDlg& viewer, Plan& plan, std::string outFolder, const std::string& disc)
      : m_viewer(viewer), m_plan(plan), m_outFolder(std::move(outFolder)), m_waveNames(disc) {}

  // Asked by the headless loop whenever the program waits for input.
  bool PostNextStep() {
    // Each step starts with decode-ahead settled: the pages after and before
    // are ready, so a step does the same work on every run.
    m_viewer.m_decodeAhead.WaitUntilIdle();
    std::optional<Step> step = m_plan.NextStep(m_viewer);
    if (!step) return false;
    ++m_stepNumber;
    m_pending = *step;
    PostEvents(*step);
    headless::PostCall([this] { FinishStep(); });
    return true;
  }

  // The step that ended the viewer (Escape, Close, the no-images message)
  // gets its line after the loop.
  void FinishAfterLoop() {
    if (m_pending) FinishStep();
  }

 private:
  void PostCommand(int id) {
    headless::PostCall([this, id] {
      CWnd* button = m_viewer.GetDlgItem(id);
      ::PostMessageA(m_viewer.m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button != nullptr ? button->m_hWnd : nullptr));
    });
  }

  void PostEvents(const Step& step) {
    HWND window = m_viewer.m_hWnd;
    switch (step.action) {
      case Action::kClick: headless::PostClick(window, step.x, step.y); break;
      case Action::kDown:
        headless::PostClientPointer(window, WM_LBUTTONDOWN, step.x, step.y, MK_LBUTTON);
        break;
      case Action::kUp: headless::PostClientPointer(window, WM_LBUTTONUP, step.x, step.y); break;
      case Action::kMove: headless::PostClientPointer(window, WM_MOUSEMOVE, step.x, step.y); break;
      case Action::kDoubleClick:
        headless::PostClientPointer(window, WM_LBUTTONDBLCLK, step.x, step.y, MK_LBUTTON);
        headless::PostClientPointer(window, WM_LBUTTONUP, step.x, step.y);
        break;
      case Action::kRightClickList: PostRightClickOnRow(step.row); break;
      case Action::kSelect:
        headless::PostCall([this, row = step.row] {
          CAlbumListBox& list = m_viewer.m_albumListBox;
          if (list.m_hWnd == nullptr) return;
          list.SetCurSel(row);
          m_viewer.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_ALBUM_LIST, LBN_SELCHANGE),
                               reinterpret_cast<LPARAM>(list.m_hWnd));
        });
        break;
      case Action::kTimer: {
        const DWORD due = platform::NextTimerDue();
        if (due != platform::INFINITE_WAIT) {
          const DWORD now = headless::Now();
          headless::PostAdvanceClock(due > now ? due - now : 0);
        }
        break;
      }
      case Action::kKey: headless::PostKey(step.escapeKey ? VK_ESCAPE : VK_RETURN); break;
      case Action::kNext: PostCommand(IDC_NEXT); break;
      case Action::kPrev: PostCommand(IDC_PREV); break;
      case Action::kCopy: PostCommand(IDC_COPY); break;
      case Action::kExport:
        headless::QueueSaveAsAnswer(step.path, static_cast<DWORD>(step.filterIndex));
        PostCommand(IDC_EXPORT);
        break;
      case Action::kExportCancel:
        headless::QueueSaveAsCancel();
        PostCommand(IDC_EXPORT);
        break;
      case Action::kShot:
        headless::PostCall([this, name = step.path] {
          SaveShot(m_outFolder + "/" + name + ".png");
        });
        break;
      case Action::kState: break;
      case Action::kFullView: headless::PostKey(VK_F11); break;
      case Action::kSlideshow: headless::PostKey(VK_F5); break;
    }
  }

  // A right click at the middle of a list row, as a user would make it.
  void PostRightClickOnRow(int row) {
    CAlbumListBox& list = m_viewer.m_albumListBox;
    RECT item = {};
    if (list.m_hWnd == nullptr || list.GetItemRect(row, &item) == LB_ERR) return;
    const int x = (item.left + item.right) / 2;
    const int y = (item.top + item.bottom) / 2;
    headless::PostClientPointer(list.m_hWnd, WM_RBUTTONDOWN, x, y, MK_RBUTTON);
    headless::PostClientPointer(list.m_hWnd, WM_RBUTTONUP, x, y);
  }

  void FinishStep() {
    const Step step = *m_pending;
    m_pending.reset();
    tour::StepOutcome outcome;
    for (const headless::MessageBoxShown& box : headless::TakeMessageBoxes()) {
      outcome.messageBoxShown = true;
      outcome.messageBoxText = box.text;
    }
    // An answer the step's export never asked for must not answer a later one.
    headless::ClearSaveAsAnswers();
    if (step.action == Action::kCopy) SaveClipboard();
    std::printf("%s\n",
                tour::StateLine(m_stepNumber, step.text, m_viewer, outcome, m_waveNames).c_str());
    std::fflush(stdout);
    if (m_plan.ShootsEveryStep() && m_viewer.m_hWnd != nullptr) {
      char name[32];
      std::snprintf(name, sizeof name, "/%03d-", m_stepNumber);
      std::string verb = step.text.substr(0, step.text.find(' '));
      SaveShot(m_outFolder + name + verb + ".png");
    }
  }

  // In full view the user sees the screen, not the window.
  void SaveShot(const std::string& path) {
    if (m_viewer.FullViewShown()) {
      headless::SaveScreenPng(path);
    } else {
      headless::SaveWindowPng(m_viewer.m_hWnd, path);
    }
  }

  void SaveClipboard() {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    if (!headless::ClipboardPicture(&width, &height, &pixels)) return;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
      rgb[i * 3] = pixels[i * 4 + 2];
      rgb[i * 3 + 1] = pixels[i * 4 + 1];
      rgb[i * 3 + 2] = pixels[i * 4];
    }
    const std::string path = m_outFolder + "/clipboard.png";
    if (!WritePng24File(path.c_str(), rgb.data(), width, height, 0.0)) {
      std::fprintf(stderr, "tessary-tour: %s: %s\n", path.c_str(), ErrorText(GetLastImageError()).c_str());
    }
  }

  CViewerDlg& m_viewer;
  Plan& m_plan;
  std::string m_outFolder;
  tour::WaveNames m_waveNames;
  int m_stepNumber = 0;
  std::optional<Step> m_pending;
};

std::optional<std::string> ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string disc = argv[1];
  const std::string outFolder = argv[2];

  std::unique_ptr<Plan> plan;
  if (argc == 4) {
    std::optional<std::string> script = ReadText(argv[3]);
    if (!script) {
      std::fprintf(stderr, "tessary-tour: %s: cannot read the script\n", argv[3]);
      return 2;
    }
    std::vector<Step> steps;
    std::string error;
    if (!tour::ParseScript(*script, &steps, &error)) {
      std::fprintf(stderr, "tessary-tour: %s: %s\n", argv[3], error.c_str());
      return 2;
    }
    plan = std::make_unique<ScriptPlan>(std::move(steps));
  } else {
    plan = std::make_unique<WalkPlan>(outFolder + "/export");
  }

  struct stat info {};
  if (stat(disc.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    std::fprintf(stderr, "tessary-tour: %s: not a folder\n", disc.c_str());
    return 2;
  }
  if (!MakeFolder(outFolder) || (argc == 3 && !MakeFolder(outFolder + "/export"))) {
    std::fprintf(stderr, "tessary-tour: %s: cannot make the folder\n", outFolder.c_str());
    return 2;
  }

  headless::Reset();
  headless::SetModuleFileName(ProgramPathOn(disc));
  int status = 0;
  {
    CViewerDlg viewer;
    Tour tour(viewer, *plan, outFolder, disc);
    headless::SetIdleHandler([&tour] { return tour.PostNextStep(); });
    viewer.DoModal();
    tour.FinishAfterLoop();
    headless::SetIdleHandler(nullptr);
    // The viewer ends early when it finds nothing to show.
    const bool nothingToShow = !viewer.m_splashShown && viewer.m_pictureList.GetSize() == 0 &&
                               viewer.m_albumList.GetSize() < 2;
    status = plan->Finished() && !nothingToShow ? 0 : 1;
  }
  headless::Reset();
  return status;
}
