// The GTK back end's pieces, one file each: start-up and the display
// (gtk_display.cpp), the windows that show the framebuffers (gtk_windows.cpp),
// pointer and keyboard input (gtk_input.cpp, gtk_keys.cpp), the main loop
// (gtk_main_loop.cpp), message boxes (gtk_message_box.cpp), Save As
// (gtk_save_as.cpp), the clipboard (gtk_clipboard.cpp)
// and the cursor (gtk_cursor.cpp). gtk_backend.cpp joins them behind
// platform::UserBackend.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "platform/backend.h"
#include "platform/win32.h"

namespace platform::gtk {

// --- Display ------------------------------------------------------------------------
// Opens the X display (through XWayland in a Wayland session) and tells the
// renderer the monitor's size. False with the reason when there is none.
bool OpenDisplay(int argc, char** argv, std::string* reason);
// The monitor's scale factor: device pixels per GDK unit. The renderer's
// DisplayZoom is the number of device pixels per logical pixel.
int ToolkitScale();

// --- Windows ------------------------------------------------------------------------
// Brings the GTK window of a top-level window (or the one holding a child) in
// line with the layer: size, place, caption, visibility, z-order, focus.
void SyncWindow(HWND window);
void ForgetWindow(HWND window);
// Repaints the screen copy of the top-level window holding `window`.
void RedrawWindow(HWND window);
// The GTK window showing the top-level window that holds `window`, or nullptr.
GtkWindow* GtkWindowOf(HWND window);
// Calls `visit` with every GTK window that shows a layer window.
void ForEachGtkWindow(const std::function<void(GtkWidget*)>& visit);

// --- Input --------------------------------------------------------------------------
// Turns the pointer and key events of a window's GTK widgets into messages.
void ConnectInput(HWND window, GtkWidget* gtkWindow, GtkWidget* drawingArea);
// The virtual-key code of a GDK key value, 0 for keys the program never sees.
UINT VirtualKeyOf(guint keyval);

// --- Main loop ----------------------------------------------------------------------
// Runs the GTK main loop until input has been delivered or `timeoutMs`
// (INFINITE_WAIT: no limit) has passed.
void WaitForInputOrTimeout(DWORD timeoutMs);
// Input was delivered: the wait ends.
void NoteInputDelivered();
// True while the program waits for input (its message loop has nothing to do).
bool WaitingForInput();

// --- Dialogs ------------------------------------------------------------------------
int RunMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type);
// Opens in the caller's initial folder, else in the folder of the last file
// chosen in this run, else in the user's Pictures folder (the home folder when
// there is none); proposes `proposedName` with the chosen filter's extension
// where the caller's initial name is a pattern.
bool RunSaveAsDialog(OPENFILENAMEA* dialog, const std::string& proposedName);
// Key of each GtkFileFilter's data: its filter index, counted from 1.
inline constexpr char kFilterIndexKey[] = "tessary-filter-index";
// Called with each chooser before it runs. Only the desktop tests' own build
// of the program sets one (platform/gtk_test/); the program users get has none.
using ChooserHook = void (*)(GtkFileChooser* chooser);
void SetChooserHook(ChooserHook hook);

// --- Clipboard ----------------------------------------------------------------------
// Offers the layer's clipboard bitmap to other programs (or clears the offer).
void PublishClipboard();
// Hands the clipboard to a clipboard manager, where there is one (at exit).
void StoreClipboard();

// --- Cursor -------------------------------------------------------------------------
void SetBusyCursor(bool busy);
// Gives a newly shown window the cursor of the moment.
void ApplyCursor(GtkWidget* gtkWindow);

}  // namespace platform::gtk
