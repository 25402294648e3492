// Message boxes and the Save As dialog: the back end shows them; the
// comdlg32 rules for the returned buffers and extensions are kept here.
#include <algorithm>
#include <cstring>

#include "platform/winapi/user_internal.h"

using namespace platform::user;

namespace {

constexpr char kFolderSeparators[] = "/\\";

}  // namespace

// --- Message boxes and the Save As dialog ---------------------------------------------------

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::string shownText = text != nullptr ? text : "";
  std::string shownCaption = caption != nullptr ? caption : "Error";
  LogCall("MessageBoxA " + shownCaption + ": " + shownText);
  return platform::TheUserBackend().ShowMessageBox(owner, shownText, shownCaption, type);
}

namespace {

// A concrete extension from a pattern such as "*.png" or a default-extension
// text such as "png" or "*.jpg": the part after the last dot, or the whole
// text without one; empty when it holds a wildcard ("*.*", "*").
std::string ConcreteExtension(const std::string& pattern) {
  const size_t dot = pattern.find_last_of('.');
  std::string extension = dot == std::string::npos ? pattern : pattern.substr(dot + 1);
  if (extension.find_first_of("*?") != std::string::npos) return std::string();
  return extension;
}

// The first pattern of the selected filter (counted from 1), or empty.
std::string SelectedFilterPattern(const OPENFILENAMEA* dialog) {
  if (dialog->lpstrFilter == nullptr || dialog->nFilterIndex == 0) return std::string();
  const char* label = dialog->lpstrFilter;
  for (DWORD index = 1; *label != '\0'; ++index) {
    const char* patterns = label + std::strlen(label) + 1;
    if (*patterns == '\0') break;
    if (index == dialog->nFilterIndex) return std::string(patterns, std::strcspn(patterns, ";"));
    label = patterns + std::strlen(patterns) + 1;
  }
  return std::string();
}

// The save dialog's default-extension rule: when the caller gives a default
// extension and the returned name has none, the selected filter's extension
// is appended, or the default extension's own when the filter names none.
bool AppendDefaultExtension(OPENFILENAMEA* dialog) {
  if (dialog->lpstrDefExt == nullptr) return true;
  const std::string path = dialog->lpstrFile;
  const size_t nameStart = std::min<size_t>(dialog->nFileOffset, path.size());
  if (path.find('.', nameStart) != std::string::npos || nameStart == path.size()) return true;
  std::string extension = ConcreteExtension(SelectedFilterPattern(dialog));
  if (extension.empty()) extension = ConcreteExtension(dialog->lpstrDefExt);
  if (extension.empty()) return true;
  return platform::FillSaveAsResult(dialog, path + "." + extension, dialog->nFilterIndex);
}

}  // namespace

BOOL GetSaveFileNameA(LPOPENFILENAMEA dialog) {
  return platform::GetSaveFileNameProposing(dialog, std::string());
}

BOOL platform::GetSaveFileNameProposing(OPENFILENAMEA* dialog, const std::string& proposedName) {
  WindowSystem& s = System();
  s.commDlgError = 0;
  if (dialog == nullptr || dialog->lpstrFile == nullptr || dialog->nMaxFile == 0) {
    s.commDlgError = 0x0001; /* CDERR_STRUCTSIZE */
    return FALSE;
  }
  LogCall(std::string("GetSaveFileNameA ") +
          (dialog->lpstrTitle != nullptr ? dialog->lpstrTitle : ""));
  if (!platform::TheUserBackend().ShowSaveAsDialog(dialog, proposedName)) return FALSE;
  return AppendDefaultExtension(dialog) ? TRUE : FALSE;
}

DWORD CommDlgExtendedError() { return System().commDlgError; }

namespace platform {
void SetCommDlgError(DWORD error) { System().commDlgError = error; }
}  // namespace platform

namespace platform {
bool FillSaveAsResult(OPENFILENAMEA* dialog, const std::string& path, DWORD filterIndex) {
  if (path.size() + 1 > dialog->nMaxFile) {
    SetCommDlgError(FNERR_BUFFERTOOSMALL);
    if (dialog->nMaxFile >= 2) {
      WORD needed = static_cast<WORD>(std::min<size_t>(path.size() + 1, 0xFFFF));
      std::memcpy(dialog->lpstrFile, &needed, sizeof needed);
    }
    return false;
  }
  std::memcpy(dialog->lpstrFile, path.c_str(), path.size() + 1);
  size_t slash = path.find_last_of(kFolderSeparators);
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.find_last_of('.');
  dialog->nFileOffset = static_cast<WORD>(nameStart);
  dialog->nFileExtension =
      static_cast<WORD>(dot != std::string::npos && dot >= nameStart ? dot + 1 : path.size());
  if (dialog->lpstrFileTitle != nullptr && dialog->nMaxFileTitle > 0) {
    std::string title = path.substr(nameStart);
    size_t n = std::min(title.size(), static_cast<size_t>(dialog->nMaxFileTitle) - 1);
    std::memcpy(dialog->lpstrFileTitle, title.data(), n);
    dialog->lpstrFileTitle[n] = '\0';
  }
  dialog->nFilterIndex = filterIndex;
  return true;
}
}  // namespace platform
