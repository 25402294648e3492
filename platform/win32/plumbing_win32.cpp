// The framework's window plumbing over user32's own windows (see
// framework/plumbing.h). A dialog's template, described in code, becomes an
// in-memory DLGTEMPLATE for CreateDialogIndirectParamA: the dialog manager
// lays it out in the template's font, creates the system's controls (the
// owner-drawn LISTBOX among them), loads a static's icon from the program's
// resources and gives the dialog its keyboard interface.
#include <string>
#include <vector>

#include "platform/framework/afx_text.h"
#include "platform/framework/plumbing.h"
#include "platform/win32.h"

namespace {

// The font the templates are laid out in.
constexpr WORD kTemplateFontPoints = 8;
constexpr char kTemplateFontName[] = "MS Sans Serif";

// The predefined control classes a DLGITEMTEMPLATE names by atom.
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kListBoxAtom = 0x0083;
// A WORD array member that holds an ordinal (a class atom or resource id)
// starts with this instead of a string.
constexpr WORD kOrdinalFollows = 0xFFFF;

// A DLGTEMPLATE and its DLGITEMTEMPLATEs, built as the dialog manager reads
// them: WORDs throughout, strings in UTF-16, each item DWORD-aligned.
class DialogTemplateBuffer {
 public:
  void Word(WORD value) { words_.push_back(value); }
  void Dword(DWORD value) {
    Word(LOWORD(value));
    Word(HIWORD(value));
  }
  // Zero-terminated; the program's texts are UTF-8 (afx_text.h).
  void Text(LPCSTR text) {
    for (wchar_t c : AfxWideFromText(text)) Word(static_cast<WORD>(c));
    Word(0);
  }
  void Ordinal(WORD value) {
    Word(kOrdinalFollows);
    Word(value);
  }
  void AlignToDword() {
    if (words_.size() % 2 != 0) Word(0);
  }
  // std::vector's storage is aligned for any scalar type, so the template
  // starts on the DWORD boundary the dialog manager requires.
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  std::vector<WORD> words_;
};

WORD ControlClassAtom(LPCSTR className) {
  const std::string name = className != nullptr ? className : "";
  if (name == "BUTTON") return kButtonAtom;
  if (name == "STATIC") return kStaticAtom;
  if (name == "LISTBOX") return kListBoxAtom;
  return 0;
}

void AddControl(DialogTemplateBuffer& buffer, const AfxDialogControl& control) {
  buffer.AlignToDword();
  buffer.Dword(control.style | WS_CHILD);
  buffer.Dword(control.exStyle);
  buffer.Word(static_cast<WORD>(control.x));
  buffer.Word(static_cast<WORD>(control.y));
  buffer.Word(static_cast<WORD>(control.cx));
  buffer.Word(static_cast<WORD>(control.cy));
  buffer.Word(control.id);
  WORD atom = ControlClassAtom(control.className);
  if (atom != 0) {
    buffer.Ordinal(atom);
  } else {
    buffer.Text(control.className);
  }
  // A static's icon is named "#<resource id>"; the dialog manager loads it.
  const bool iconFromResource = (control.style & SS_TYPEMASK) == SS_ICON &&
                                control.text != nullptr && control.text[0] == '#';
  if (iconFromResource) {
    buffer.Ordinal(static_cast<WORD>(std::stoi(control.text + 1)));
  } else {
    buffer.Text(control.text);
  }
  buffer.Word(0);  // no creation data
}

void BuildTemplate(DialogTemplateBuffer& buffer, const AfxDialogTemplate& t) {
  buffer.Dword(t.style | DS_SETFONT);
  buffer.Dword(t.exStyle);
  buffer.Word(static_cast<WORD>(t.controlCount));
  buffer.Word(static_cast<WORD>(t.x));
  buffer.Word(static_cast<WORD>(t.y));
  buffer.Word(static_cast<WORD>(t.cx));
  buffer.Word(static_cast<WORD>(t.cy));
  buffer.Word(0);  // no menu
  buffer.Word(0);  // the dialog class
  buffer.Text(t.caption);
  buffer.Word(kTemplateFontPoints);
  buffer.Text(kTemplateFontName);
  for (int i = 0; i < t.controlCount; ++i) AddControl(buffer, t.controls[i]);
}

// The dialog procedure only hands the dialog to the framework: at
// WM_INITDIALOG the framework's window procedure takes the window over, and
// from then on the dialog manager's own procedure is what Default() calls,
// which asks this one again and is told to go on as it would (FALSE).
INT_PTR CALLBACK FrameworkDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
  if (dialog == nullptr || !dialog->SubclassWindow(window)) return FALSE;
  // The framework's handler reads no creation parameter.
  return static_cast<INT_PTR>(AfxWndProc(window, WM_INITDIALOG, wParam, 0));
}

int waitCursorCount = 0;

}  // namespace

HWND AfxCreateDialogWindow(const AfxDialogTemplate& dialogTemplate, HWND parent, CDialog* dialog) {
  DialogTemplateBuffer buffer;
  BuildTemplate(buffer, dialogTemplate);
  return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), buffer.Get(), parent,
                                    FrameworkDialogProc, reinterpret_cast<LPARAM>(dialog));
}

// user32 needs no start; the C run-time has parsed the command line.
void AfxPlumbingStart(int, char**) {}

// The count lives here; the cursor itself is set by CWinApp::DoWaitCursor
// and kept by the framework's WM_SETCURSOR handling while the count is up.
int AfxPlumbingWaitCursorCount() { return waitCursorCount; }
void AfxPlumbingSetWaitCursorCount(int count) { waitCursorCount = count; }

// Every window the framework attaches is destroyed through DestroyWindow,
// whose WM_NCDESTROY reaches AfxWndProc, and modal loops the system runs
// itself (message boxes, the Save As dialog) need no filter of ours.
void AfxPlumbingHookFramework(void (*)(HWND)) {}

// The common dialog shows the initial file name the caller gives; it has no
// place for a proposed name.
BOOL AfxPlumbingGetSaveFileName(OPENFILENAMEA* dialog, LPCSTR) {
  return ::GetSaveFileNameA(dialog);
}
