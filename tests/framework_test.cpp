// The dialog framework and the layer's windows on the headless screen: modal
// loops, the update region, timers, z-order, activation, the system menu, the
// list box, message boxes, Save As, the clipboard, the wait cursor, strings,
// resources and folder enumeration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/framework/afx_app.h"
#include "platform/framework/afx_files.h"
#include "platform/framework/afx_wnd.h"
#include "platform/headless/headless.h"
#include "platform/winapi/gdi_internal.h"
#include "platform/winapi/resources_internal.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/scenario.h"
#include "tests/support/test_support.h"

namespace {

constexpr UINT kProbeTemplate = 9000;
constexpr int kProbeList = 500;

const AfxDialogControl kProbeControls[] = {
    {"BUTTON", "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 10, 10, 40, 14},
    {"BUTTON", "Cancel", IDCANCEL, WS_TABSTOP | WS_VISIBLE, 0, 60, 10, 40, 14},
    {"LISTBOX", "", kProbeList,
     LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL |
         WS_VISIBLE,
     0, 10, 40, 100, 40},
};
const AfxDialogTemplate kProbe = {kProbeTemplate, WS_POPUP | WS_VISIBLE, 0, 20, 20, 200, 120,
                                  "Probe", kProbeControls, 3};
const AfxDialogTemplateRegistrar kRegisterProbe(&kProbe);

// A list whose rows grow by one pixel per item, recording what it draws.
class ProbeList : public CListBox {
 public:
  std::vector<UINT> measured;
  std::vector<std::pair<UINT, RECT>> drawn;
  std::vector<UINT> drawnStates;
  bool rightClickSelects = false;

  void MeasureItem(LPMEASUREITEMSTRUCT measure) override {
    measured.push_back(measure->itemID);
    measure->itemHeight = 10 + measure->itemID;
  }
  void DrawItem(LPDRAWITEMSTRUCT draw) override {
    drawn.push_back({draw->itemID, draw->rcItem});
    drawnStates.push_back(draw->itemState);
  }
  BOOL PreTranslateMessage(MSG* message) override {
    if (rightClickSelects && message->message == WM_RBUTTONDOWN) message->message = WM_LBUTTONDOWN;
    return CListBox::PreTranslateMessage(message);
  }
};

class ProbeDialog : public CDialog {
 public:
  ProbeDialog() : CDialog(kProbeTemplate) {}
  std::vector<std::string> events;
  std::vector<RECT> paints;
  std::vector<RECT> clipBoxes;
  std::vector<UINT_PTR> timers;
  std::vector<std::pair<UINT, int>> commands;
  std::vector<std::pair<UINT, CPoint>> pointer;
  bool killTimerWhenFired = false;
  ProbeList list;

  void DoDataExchange(CDataExchange* exchange) override {
    DDX_Control(exchange, kProbeList, list);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    events.push_back("init");
    return TRUE;
  }
  void OnPaint() override {
    CPaintDC dc(this);
    paints.push_back(dc.m_ps.rcPaint);
    RECT clip;
    GetClipBox(dc.GetSafeHdc(), &clip);
    clipBoxes.push_back(clip);
  }
  void OnTimer(UINT_PTR id) override {
    timers.push_back(id);
    if (killTimerWhenFired) KillTimer(id);
  }
  void OnOK() override {
    events.push_back("ok");
    CDialog::OnOK();
  }
  void OnCancel() override {
    events.push_back("cancel");
    CDialog::OnCancel();
  }
  void OnActivate(UINT state, CWnd* other, BOOL minimized) override {
    events.push_back(state == WA_INACTIVE ? "inactive" : "active");
    CDialog::OnActivate(state, other, minimized);
  }
  void OnLButtonDown(UINT flags, CPoint point) override {
    pointer.push_back({WM_LBUTTONDOWN, point});
    CDialog::OnLButtonDown(flags, point);
  }
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
    commands.push_back({LOWORD(wParam), HIWORD(wParam)});
    return CDialog::OnCommand(wParam, lParam);
  }
};

class FrameworkTest : public testing_support::HeadlessFixture {
 protected:
  void SetUp() override {
    HeadlessFixture::SetUp();
    platform::ClearResourceOverridesForTests();
  }
};

bool SameRect(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != 0; }

// --- Modal loops ---------------------------------------------------------------------------

TEST_F(FrameworkTest, ModalLoopEndsOnEnterWithOk) {
  ProbeDialog dialog;
  headless::PostKey(VK_RETURN);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.events.front(), "init");
  EXPECT_NE(std::find(dialog.events.begin(), dialog.events.end(), "ok"), dialog.events.end());
  EXPECT_EQ(dialog.m_hWnd, nullptr);
  EXPECT_TRUE(platform::TopLevelWindowsInZOrder().empty());
}

TEST_F(FrameworkTest, ModalLoopEndsOnEscapeWithCancel) {
  ProbeDialog dialog;
  headless::PostKey(VK_ESCAPE);
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_NE(std::find(dialog.events.begin(), dialog.events.end(), "cancel"), dialog.events.end());
}

TEST_F(FrameworkTest, ModalLoopEndsOnTheOkAndCancelButtons) {
  for (int id : {IDOK, IDCANCEL}) {
    ProbeDialog dialog;
    headless::PostCall([&dialog, id] { headless::PostClick(GetDlgItem(dialog.m_hWnd, id), 3, 3); });
    EXPECT_EQ(dialog.DoModal(), id);
  }
}

TEST_F(FrameworkTest, CloseRequestIsCancel) {
  ProbeDialog dialog;
  headless::PostCall([&dialog] { dialog.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0); });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST_F(FrameworkTest, ModalLoopWithNothingLeftToDoEndsWithMinusOne) {
  ProbeDialog dialog;
  EXPECT_EQ(dialog.DoModal(), -1);
  EXPECT_EQ(headless::RunsDriedUp(), 1);
  EXPECT_TRUE(platform::TopLevelWindowsInZOrder().empty());
}

TEST_F(FrameworkTest, EndDialogDuringInitialisationSkipsTheLoop) {
  class Quitter : public ProbeDialog {
    BOOL OnInitDialog() override {
      ProbeDialog::OnInitDialog();
      EndDialog(42);
      return TRUE;
    }
  } dialog;
  EXPECT_EQ(dialog.DoModal(), 42);
  EXPECT_EQ(headless::RunsDriedUp(), 0);
}

TEST_F(FrameworkTest, UnknownTemplateFailsWithMinusOne) {
  CDialog dialog(4242);
  EXPECT_EQ(dialog.DoModal(), -1);
  EXPECT_FALSE(dialog.Create(4242));
}

// --- The update region ------------------------------------------------------------------------

TEST_F(FrameworkTest, InvalidationsBecomeOnePaintWithTheUnionClipBox) {
  ProbeDialog dialog;
  headless::PostCall([&] {
    // The first paint covered the whole client area.
    ASSERT_EQ(dialog.paints.size(), 1u);
    EXPECT_TRUE(SameRect(dialog.paints[0], RECT{0, 0, 400, 240}));
    dialog.paints.clear();
    dialog.clipBoxes.clear();
    RECT a = {10, 10, 20, 20};
    RECT b = {50, 30, 60, 40};
    RECT c = {15, 5, 18, 8};
    dialog.InvalidateRect(&a);
    dialog.InvalidateRect(&b, FALSE);
    dialog.InvalidateRect(&c);
    RECT update;
    EXPECT_TRUE(GetUpdateRect(dialog.m_hWnd, &update, FALSE));
    EXPECT_TRUE(SameRect(update, RECT{10, 5, 60, 40}));
  });
  headless::PostCall([&] {
    ASSERT_EQ(dialog.paints.size(), 1u);
    EXPECT_TRUE(SameRect(dialog.paints[0], RECT{10, 5, 60, 40}));
    EXPECT_TRUE(SameRect(dialog.clipBoxes[0], RECT{10, 5, 60, 40}));
    RECT update;
    EXPECT_FALSE(GetUpdateRect(dialog.m_hWnd, &update, FALSE));
    // Outside the client area nothing is invalidated; inside it is clipped.
    RECT outside = {400, 400, 500, 500};
    dialog.InvalidateRect(&outside);
    EXPECT_FALSE(GetUpdateRect(dialog.m_hWnd, &update, FALSE));
    RECT overlapping = {390, 230, 450, 290};
    dialog.InvalidateRect(&overlapping);
    EXPECT_TRUE(GetUpdateRect(dialog.m_hWnd, &update, FALSE));
    EXPECT_TRUE(SameRect(update, RECT{390, 230, 400, 240}));
    dialog.ValidateRect(nullptr);
    dialog.paints.clear();
  });
  headless::PostCall([&] {
    EXPECT_TRUE(dialog.paints.empty());
    // A hidden window keeps its update region and paints once shown.
    dialog.ShowWindow(SW_HIDE);
    dialog.Invalidate();
  });
  headless::PostCall([&] {
    EXPECT_TRUE(dialog.paints.empty());
    dialog.ShowWindow(SW_SHOW);
  });
  headless::PostCall([&] {
    EXPECT_EQ(dialog.paints.size(), 1u);
    dialog.EndDialog(IDOK);
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST_F(FrameworkTest, UpdateWindowPaintsAtOnce) {
  ProbeDialog dialog;
  testing_support::Scenario scenario;
  scenario.Call("invalidate and update", [&] {
    dialog.paints.clear();
    RECT a = {1, 2, 3, 4};
    dialog.InvalidateRect(&a);
    dialog.UpdateWindow();
    ASSERT_EQ(dialog.paints.size(), 1u);
    EXPECT_TRUE(SameRect(dialog.paints[0], a));
    dialog.UpdateWindow();  // nothing left to paint
    EXPECT_EQ(dialog.paints.size(), 1u);
    dialog.EndDialog(IDOK);
  });
  scenario.Run(dialog, IDOK);
}

// --- Timers -----------------------------------------------------------------------------------

TEST_F(FrameworkTest, TimerFiresOnceWhenDueAndDoesNotCatchUp) {
  ProbeDialog dialog;
  headless::PostCall([&] { EXPECT_EQ(dialog.SetTimer(1, 500), 1u); });
  headless::PostAdvanceClock(499);
  headless::PostCall([&] { EXPECT_TRUE(dialog.timers.empty()); });
  headless::PostAdvanceClock(1);
  headless::PostCall([&] {
    ASSERT_EQ(dialog.timers.size(), 1u);
    EXPECT_EQ(dialog.timers[0], 1u);
  });
  // Ten intervals late: one WM_TIMER, not ten.
  headless::PostAdvanceClock(5000);
  headless::PostCall([&] {
    EXPECT_EQ(dialog.timers.size(), 2u);
    EXPECT_TRUE(dialog.KillTimer(1));
    EXPECT_FALSE(dialog.KillTimer(1));
  });
  headless::PostAdvanceClock(5000);
  headless::PostCall([&] {
    EXPECT_EQ(dialog.timers.size(), 2u);
    dialog.EndDialog(IDOK);
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST_F(FrameworkTest, TimerStoppedByItsHandlerFiresExactlyOnce) {
  ProbeDialog dialog;
  dialog.killTimerWhenFired = true;
  testing_support::Scenario scenario;
  scenario
      .Call("set two timers", [&] {
        dialog.SetTimer(1, 500);
        dialog.SetTimer(7, 100);
      })
      .AdvanceClock("both due", 2000)
      .AdvanceClock("due again if still set", 2000)
      .Call("each fired once", [&] {
        // Both due at once: the earlier one first.
        EXPECT_EQ(dialog.timers, (std::vector<UINT_PTR>{7, 1}));
        EXPECT_EQ(platform::ActiveTimerCount(), 0);
        dialog.EndDialog(IDOK);
      });
  scenario.Run(dialog, IDOK);
}

TEST_F(FrameworkTest, SettingATimerAgainRestartsItAndTimersDieWithTheirWindow) {
  ProbeDialog dialog;
  testing_support::Scenario scenario;
  scenario.Call("set timer 3", [&] { dialog.SetTimer(3, 100); })
      .AdvanceClock("60 ms of 100", 60)
      .Call("set timer 3 again", [&] { dialog.SetTimer(3, 100); })
      .AdvanceClock("120 ms since the first", 60)
      .Call("not fired yet", [&] {
        EXPECT_TRUE(dialog.timers.empty());
        dialog.EndDialog(IDOK);
      });
  scenario.Run(dialog, IDOK);
  EXPECT_EQ(platform::ActiveTimerCount(), 0);
}

// --- Z-order, activation, show and enable ----------------------------------------------------------

HWND Popup(const char* name, DWORD exStyle = 0) {
  HWND w = CreateWindowExA(exStyle, "#32770", name, WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                           nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(w, nullptr);
  return w;
}

TEST_F(FrameworkTest, ZOrderFollowsSetWindowPos) {
  HWND a = Popup("a");
  HWND b = Popup("b");
  HWND c = Popup("c");
  using Z = std::vector<HWND>;
  EXPECT_EQ(platform::TopLevelWindowsInZOrder(), (Z{c, b, a}));
  SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(platform::TopLevelWindowsInZOrder(), (Z{a, c, b}));
  SetWindowPos(a, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(platform::TopLevelWindowsInZOrder(), (Z{c, b, a}));
  SetWindowPos(a, c, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(platform::TopLevelWindowsInZOrder(), (Z{c, a, b}));
  EXPECT_EQ(GetWindow(c, GW_HWNDNEXT), a);
  EXPECT_EQ(GetWindow(a, GW_HWNDPREV), c);
  EXPECT_EQ(GetWindow(b, GW_HWNDNEXT), nullptr);
  // A topmost window stays in front of the others, whatever they do.
  SetWindowPos(b, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(platform::TopLevelWindowsInZOrder(), (Z{b, c, a}));
  EXPECT_TRUE(platform::WindowIsTopmost(b));
  SetWindowPos(b, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_FALSE(platform::WindowIsTopmost(b));
  // SWP_NOZORDER keeps the order while moving and sizing.
  SetWindowPos(a, HWND_TOP, 5, 6, 70, 80, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(platform::TopLevelWindowsInZOrder().back(), a);
  RECT place;
  GetWindowRect(a, &place);
  EXPECT_TRUE(SameRect(place, RECT{5, 6, 75, 86}));
}

TEST_F(FrameworkTest, ActivationAndClicks) {
  ProbeDialog dialog;
  headless::PostCall([&] {
    EXPECT_EQ(GetActiveWindow(), dialog.m_hWnd);
    EXPECT_NE(std::find(dialog.events.begin(), dialog.events.end(), "active"), dialog.events.end());
    HWND other = Popup("other");
    SetActiveWindow(other);
    EXPECT_EQ(dialog.events.back(), "inactive");
    // The dialog sits at (40, 40) on the screen; the other window over its corner.
    RECT place;
    dialog.GetWindowRect(&place);
    EXPECT_EQ(place.left, 40);
    EXPECT_EQ(place.top, 40);
    headless::PostPointer(WM_LBUTTONDOWN, 60, 60, MK_LBUTTON);  // under "other"
    headless::PostPointer(WM_LBUTTONDOWN, 400, 250, MK_LBUTTON);  // on the dialog only
    headless::PostCall([&dialog, other] {
      ASSERT_EQ(dialog.pointer.size(), 1u);
      EXPECT_EQ(dialog.pointer[0].second, CPoint(360, 210));
      // The click activated the dialog and brought it to the top.
      EXPECT_EQ(GetActiveWindow(), dialog.m_hWnd);
      EXPECT_EQ(platform::TopLevelWindowsInZOrder()[0], dialog.m_hWnd);
      // A disabled window takes no clicks.
      dialog.EnableWindow(FALSE);
      EXPECT_FALSE(dialog.IsWindowEnabled());
      headless::PostPointer(WM_LBUTTONDOWN, 400, 250, MK_LBUTTON);
      headless::PostCall([&dialog, other] {
        EXPECT_EQ(dialog.pointer.size(), 1u);
        dialog.EnableWindow(TRUE);
        DestroyWindow(other);
        dialog.EndDialog(IDOK);
      });
    });
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST_F(FrameworkTest, ShowHideAndMinimise) {
  HWND w = CreateWindowExA(0, "#32770", "w", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  EXPECT_FALSE(IsWindowVisible(w));
  EXPECT_FALSE(ShowWindow(w, SW_SHOW));
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_TRUE(ShowWindow(w, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(w));
  ShowWindow(w, SW_MINIMIZE);
  EXPECT_TRUE(IsIconic(w));
  ShowWindow(w, SW_RESTORE);
  EXPECT_FALSE(IsIconic(w));
  EXPECT_FALSE(EnableWindow(w, FALSE));  // was enabled
  EXPECT_TRUE(EnableWindow(w, TRUE));    // was disabled
  EXPECT_TRUE(DestroyWindow(w));
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(DestroyWindow(w));
}

TEST_F(FrameworkTest, ClientDCDrawsOnTheWindowAndIsReleased) {
  HWND w = Popup("w");
  CWnd* wnd = CWnd::FromHandle(w);
  int64_t before = platform::LiveGdiObjects();
  {
    CClientDC dc(wnd);
    ASSERT_NE(dc.GetSafeHdc(), nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    RECT area = {10, 10, 20, 20};
    FillRect(dc.GetSafeHdc(), &area, brush);
    DeleteObject(brush);
  }
  EXPECT_EQ(platform::LiveGdiObjects(), before);
  platform::PixelView pixels = platform::BitmapPixels(platform::WindowFramebuffer(w));
  EXPECT_EQ(pixels.At(15, 15), 0x010203u);
  EXPECT_NE(pixels.At(25, 25), 0x010203u);
  // A paint DC is clipped to the update box.
  InvalidateRect(w, nullptr, FALSE);
  RECT box = {0, 0, 5, 5};
  ValidateRect(w, nullptr);
  InvalidateRect(w, &box, FALSE);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(w, &paint);
  HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));
  RECT everything = {0, 0, 100, 100};
  FillRect(dc, &everything, brush);
  DeleteObject(brush);
  EndPaint(w, &paint);
  EXPECT_EQ(pixels.At(2, 2), 0x090909u);
  EXPECT_EQ(pixels.At(15, 15), 0x010203u);
  EXPECT_EQ(platform::LiveGdiObjects(), before);
}

// --- The system menu ---------------------------------------------------------------------------

TEST_F(FrameworkTest, SystemMenuModel) {
  HWND w = Popup("w");
  CWnd* wnd = CWnd::FromHandle(w);
  CMenu* menu = wnd->GetSystemMenu(FALSE);
  ASSERT_NE(menu, nullptr);
  UINT standard = menu->GetMenuItemCount();
  EXPECT_GT(standard, 0u);
  EXPECT_TRUE(menu->AppendMenu(MF_SEPARATOR));
  EXPECT_TRUE(menu->AppendMenu(MF_STRING, 0x10, "&About..."));
  std::vector<platform::MenuItem> items = platform::SystemMenuItems(w);
  ASSERT_EQ(items.size(), standard + 2);
  EXPECT_EQ(items[standard].flags, static_cast<UINT>(MF_SEPARATOR));
  EXPECT_EQ(items[standard + 1].id, 0x10u);
  char text[32];
  EXPECT_EQ(GetMenuStringA(menu->m_hMenu, 0x10, text, sizeof text, MF_BYCOMMAND), 9);
  EXPECT_STREQ(text, "&About...");
  EXPECT_EQ(GetMenuItemID(menu->m_hMenu, static_cast<int>(standard + 1)), 0x10u);
  // Reverting restores the standard menu.
  EXPECT_EQ(wnd->GetSystemMenu(TRUE), nullptr);
  EXPECT_EQ(static_cast<UINT>(GetMenuItemCount(GetSystemMenu(w, FALSE))), standard);
  EXPECT_FALSE(AppendMenuA(nullptr, MF_STRING, 1, "x"));
}

// --- The list box --------------------------------------------------------------------------------

TEST_F(FrameworkTest, OwnerDrawnVariableHeightListBox) {
  ProbeDialog dialog;
  headless::PostCall([&] {
    ProbeList& list = dialog.list;
    ASSERT_NE(list.m_hWnd, nullptr);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(list.AddString(("album " + std::to_string(i)).c_str()), i);
    }
    EXPECT_EQ(list.measured, (std::vector<UINT>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(list.GetCount(), 8);
    EXPECT_EQ(list.GetItemHeight(3), 13);
    CString text;
    list.GetText(5, text);
    EXPECT_EQ(text, "album 5");
    EXPECT_EQ(list.GetTextLen(5), 7);
    EXPECT_EQ(list.GetCurSel(), LB_ERR);
    EXPECT_EQ(list.SetCurSel(2), 2);
    EXPECT_EQ(list.SetCurSel(99), LB_ERR);
    EXPECT_EQ(list.GetCurSel(), LB_ERR);
    list.SetCurSel(0);
    RECT item;
    list.GetItemRect(2, &item);
    // Rows 10 and 11 high; 200 x 80 client less the scroll bar (17).
    EXPECT_TRUE(SameRect(item, RECT{0, 21, 200 - 17, 33}));
    list.drawn.clear();
  });
  headless::PostCall([&] {
    ProbeList& list = dialog.list;
    // The list's client is 80 high: rows 0-5 (10+11+...+15 = 75) and part of 6.
    std::set<UINT> drawnRows;
    for (auto& entry : list.drawn) drawnRows.insert(entry.first);
    EXPECT_EQ(drawnRows, (std::set<UINT>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(list.drawnStates[0] & ODS_SELECTED, static_cast<UINT>(ODS_SELECTED));
    // A click on row 3 selects it and tells the parent.
    dialog.commands.clear();
    RECT row;
    list.GetItemRect(3, &row);
    headless::PostClick(list.m_hWnd, 5, row.top + 2);
    headless::PostCall([&] {
      EXPECT_EQ(list.GetCurSel(), 3);
      ASSERT_FALSE(dialog.commands.empty());
      EXPECT_EQ(dialog.commands.back(), (std::pair<UINT, int>{kProbeList, LBN_SELCHANGE}));
      // Keys move the selection (the list has the focus now) and scroll it into view.
      headless::PostKey(VK_END);
      headless::PostCall([&] {
        EXPECT_EQ(list.GetCurSel(), 7);
        EXPECT_GT(list.GetTopIndex(), 0);
        RECT last;
        list.GetItemRect(7, &last);
        EXPECT_LE(last.bottom, 80);
        headless::PostKey(VK_HOME);
        headless::PostCall([&] {
          EXPECT_EQ(list.GetCurSel(), 0);
          EXPECT_EQ(list.GetTopIndex(), 0);
          // Scrolling leaves the selection where it is.
          list.SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
          EXPECT_EQ(list.GetTopIndex(), 1);
          list.SendMessage(WM_VSCROLL, SB_BOTTOM, 0);
          int bottom = list.GetTopIndex();
          list.SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
          EXPECT_EQ(list.GetTopIndex(), bottom);
          EXPECT_EQ(list.GetCurSel(), 0);
          // Right clicks turned into left clicks by the list's own pre-translation.
          list.SendMessage(WM_VSCROLL, SB_TOP, 0);
          list.rightClickSelects = true;
          headless::PostClientPointer(list.m_hWnd, WM_RBUTTONDOWN, 5, 12, MK_RBUTTON);
          headless::PostCall([&] {
            EXPECT_EQ(list.GetCurSel(), 1);
            list.ResetContent();
            EXPECT_EQ(list.GetCount(), 0);
            EXPECT_EQ(list.GetCurSel(), LB_ERR);
            dialog.EndDialog(IDOK);
          });
        });
      });
    });
  });
  EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST_F(FrameworkTest, ListBoxDeleteAndInsertKeepTheSelectionOnItsItem) {
  HWND parent = Popup("parent");
  HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | LBS_HASSTRINGS, 0, 0, 50,
                              50, parent, reinterpret_cast<HMENU>(7), nullptr, nullptr);
  for (const char* s : {"a", "b", "c"}) SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  SendMessageA(list, LB_SETCURSEL, 2, 0);
  SendMessageA(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>("z"));
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 3);
  EXPECT_EQ(SendMessageA(list, LB_DELETESTRING, 0, 0), 3);
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendMessageA(list, LB_DELETESTRING, 2, 0), 2);
  EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(list, LB_DELETESTRING, 9, 0), LB_ERR);
  char text[8];
  EXPECT_EQ(SendMessageA(list, LB_GETTEXT, 5, reinterpret_cast<LPARAM>(text)), LB_ERR);
  EXPECT_EQ(GetDlgItem(parent, 7), list);
  EXPECT_EQ(GetDlgCtrlID(list), 7);
}

// --- Message boxes, Save As, clipboard, wait cursor -----------------------------------------------

TEST_F(FrameworkTest, MessageBoxesTakeQueuedAnswersAndAreRecorded) {
  headless::QueueMessageBoxAnswer(IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Really?", "Question", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Again?", "Question", MB_YESNO), IDYES);  // first button
  EXPECT_EQ(MessageBoxA(nullptr, "Done", nullptr, MB_OK), IDOK);
  std::vector<headless::MessageBoxShown> shown = headless::TakeMessageBoxes();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "Really?");
  EXPECT_EQ(shown[0].caption, "Question");
  EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(shown[0].answer, IDNO);
  EXPECT_EQ(shown[1].answer, IDYES);
  EXPECT_EQ(shown[2].caption, "Error");  // Windows' caption when none is given
  {
    CWinApp app("Probe");
    AfxMessageBox("From the framework", MB_ICONEXCLAMATION);
  }
  shown = headless::TakeMessageBoxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Probe");
  EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_ICONEXCLAMATION));
}

TEST_F(FrameworkTest, SaveAsDialogGivesThePathAndTheChosenFilter) {
  const char* filter = "JPG File (*.jpg)|*.jpg|24-Bit PNG File (*.png)|*.png| Non LZW gif|*.gif||";
  {
    CFileDialog dialog(FALSE, "*.jpg", "*.jpg", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter);
    dialog.m_ofn.lpstrTitle = "Export file as";
    headless::QueueSaveAsAnswer("/tmp/out/picture.png", 3);
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.GetPathName(), "/tmp/out/picture.png");
    EXPECT_EQ(dialog.GetFileName(), "picture.png");
    EXPECT_EQ(dialog.GetFileExt(), "png");
    EXPECT_EQ(dialog.m_ofn.nFilterIndex, 3u);
  }
  std::vector<headless::SaveAsShown> shown = headless::TakeSaveAsDialogs();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Export file as");
  EXPECT_EQ(shown[0].filter, filter);
  EXPECT_EQ(shown[0].initialFile, "*.jpg");
  EXPECT_EQ(shown[0].defaultExtension, "*.jpg");
  EXPECT_EQ(shown[0].flags & (OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT),
            static_cast<DWORD>(OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT));
  {
    // No answer queued: the user cancels.
    CFileDialog dialog(FALSE, nullptr, nullptr, 0, filter);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    headless::QueueSaveAsCancel();
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    // A path longer than the buffer is refused, as comdlg32 does.
    headless::QueueSaveAsAnswer("/" + std::string(400, 'x'), 1);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
  }
}

TEST_F(FrameworkTest, ClipboardHoldsOneBitmapAndCanBeHeldElsewhere) {
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 7, 5);
  ReleaseDC(nullptr, screen);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(SetClipboardData(CF_BITMAP, bitmap), nullptr);  // not open
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(OpenClipboard(nullptr));  // already open
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(SetClipboardData(CF_BITMAP, bitmap), bitmap);
  EXPECT_TRUE(CloseClipboard());
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
  ASSERT_TRUE(headless::ClipboardPicture(&width, &height, &pixels));
  EXPECT_EQ(width, 7);
  EXPECT_EQ(height, 5);
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_BITMAP));
  headless::HoldClipboard(true);
  EXPECT_FALSE(OpenClipboard(nullptr));
  headless::HoldClipboard(false);
  // Emptying frees the bitmap the clipboard owned.
  int64_t before = platform::LiveGdiObjects();
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
  EXPECT_EQ(platform::LiveGdiObjects(), before - 1);
  EXPECT_FALSE(headless::ClipboardPicture(&width, &height, &pixels));
}

TEST_F(FrameworkTest, WaitCursorCountReturnsOnEveryWayOut) {
  CWinApp app("Probe");
  EXPECT_EQ(headless::WaitCursorCount(), 0);
  {
    CWaitCursor outer;
    EXPECT_EQ(headless::WaitCursorCount(), 1);
    EXPECT_TRUE(headless::WaitCursorShown());
    try {
      CWaitCursor inner;
      EXPECT_EQ(headless::WaitCursorCount(), 2);
      throw 1;
    } catch (int) {
    }
    EXPECT_EQ(headless::WaitCursorCount(), 1);
    outer.Restore();
    EXPECT_EQ(headless::WaitCursorCount(), 1);
  }
  EXPECT_EQ(headless::WaitCursorCount(), 0);
  EXPECT_FALSE(headless::WaitCursorShown());
  EXPECT_EQ(headless::PeakWaitCursorCount(), 2);
  // Ending more than was begun stays at 0.
  CWnd wnd;
  wnd.EndWaitCursor();
  EXPECT_EQ(headless::WaitCursorCount(), 0);
  wnd.BeginWaitCursor();
  EXPECT_EQ(app.m_nWaitCursorCount, 1);
  wnd.EndWaitCursor();
}

// --- Strings --------------------------------------------------------------------------------

TEST(StringTest, CStringOperations) {
  CString s("  Dir1 = Beach \r");
  s.TrimLeft();
  s.TrimRight();
  EXPECT_EQ(s, "Dir1 = Beach");
  EXPECT_EQ(s.Find('='), 5);
  EXPECT_EQ(s.Left(4), "Dir1");
  EXPECT_EQ(s.Mid(7), "Beach");
  EXPECT_EQ(s.Mid(7, 2), "Be");
  EXPECT_EQ(s.Right(3), "ach");
  EXPECT_EQ(s.Left(-3), "");
  EXPECT_EQ(s.Mid(100), "");
  EXPECT_EQ(s.Right(100), s);
  EXPECT_EQ(CString("a/b/c").ReverseFind('/'), 3);
  EXPECT_EQ(CString("abc").ReverseFind('/'), -1);
  CString lower = s;
  lower.MakeLower();
  EXPECT_EQ(lower, "dir1 = beach");
  EXPECT_EQ(s.CompareNoCase("DIR1 = BEACH"), 0);
  // Byte order as unsigned characters: upper case before lower case, 0xE9 last.
  EXPECT_LT(CString("B.jpg").Compare("a.jpg"), 0);
  EXPECT_GT(CString("\xE9.jpg").Compare("z.jpg"), 0);
  CString counter;
  counter.Format("%d/%d", 3, 12);
  EXPECT_EQ(counter, "3/12");
  CString big;
  big.Format("%s", std::string(5000, 'x').c_str());
  EXPECT_EQ(big.GetLength(), 5000);
  EXPECT_THROW(s.GetAt(100), std::out_of_range);
  CString replaced("a.jpg.jpg");
  EXPECT_EQ(replaced.Replace(".jpg", ".mid"), 2);
  EXPECT_EQ(replaced, "a.mid.mid");
}

TEST(StringTest, CStringArrayOperations) {
  CStringArray list;
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.Add("one"), 0);
  EXPECT_EQ(list.Add(CString("three")), 1);
  list.InsertAt(1, "two");
  EXPECT_EQ(list.GetSize(), 3);
  EXPECT_EQ(list[1], "two");
  list.SetAt(2, "3");
  EXPECT_EQ(list.GetAt(2), "3");
  EXPECT_EQ(list.GetUpperBound(), 2);
  list.RemoveAt(0);
  EXPECT_EQ(list[0], "two");
  EXPECT_THROW(list.GetAt(5), std::out_of_range);
  EXPECT_THROW(list.RemoveAt(1, 5), std::out_of_range);
  list.RemoveAll();
  EXPECT_EQ(list.GetSize(), 0);
}

// --- Resources ------------------------------------------------------------------------------

TEST_F(FrameworkTest, ResourcesAndTheirOverrides) {
  HRSRC background = FindResourceA(nullptr, MAKEINTRESOURCEA(142), "BIN");
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(142), "bin"), background);  // type any case
  EXPECT_EQ(FindResourceA(nullptr, "#142", "BIN"), background);
  const uint8_t* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, background)));
  ASSERT_NE(bytes, nullptr);
  EXPECT_GT(SizeofResource(nullptr, background), 100u);
  EXPECT_EQ(bytes[0], 0xFF);  // a JPEG
  EXPECT_EQ(bytes[1], 0xD8);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(999), "BIN"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NOT_FOUND));
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(142), "TXT"), nullptr);

  char text[8];
  EXPECT_EQ(LoadStringA(nullptr, 101, text, sizeof text), 7);  // cut to the buffer
  EXPECT_STREQ(text, "&About ");
  EXPECT_EQ(LoadStringA(nullptr, 555, text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(LoadStringA(nullptr, 101, text, 0), 0);

  HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(platform::IconSize(icon).cx, 32);
  EXPECT_EQ(platform::IconSize(icon).cy, 32);
  EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128)), icon);  // shared
  EXPECT_NE(LoadIconA(nullptr, IDI_APPLICATION), nullptr);

  std::vector<uint8_t> replacement = {1, 2, 3};
  platform::OverrideResourceForTests("BIN", 142, &replacement);
  HRSRC replaced = FindResourceA(nullptr, MAKEINTRESOURCEA(142), "BIN");
  EXPECT_EQ(SizeofResource(nullptr, replaced), 3u);
  platform::OverrideResourceForTests("BIN", 142, nullptr);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(142), "BIN"), nullptr);
  platform::ClearResourceOverridesForTests();
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(142), "BIN"), background);
  // A handle given out before stays readable.
  EXPECT_EQ(SizeofResource(nullptr, replaced), 3u);
}

TEST_F(FrameworkTest, BrokenIconFilesGiveNoIcon) {
  // Header claims an image past the end of the file.
  std::vector<uint8_t> ico = {0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 1, 0, 32, 0,
                              0xFF, 0xFF, 0, 0, 22, 0, 0, 0};
  platform::ResourceEntry entry = {nullptr, 14, 4001, ico.data(), static_cast<DWORD>(ico.size())};
  platform::RegisterProgramResources(&entry, 1);
  EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(4001)), nullptr);
  std::vector<uint8_t> tiny = {0, 0, 1, 0};
  platform::ResourceEntry short_entry = {nullptr, 14, 4002, tiny.data(), 4};
  platform::RegisterProgramResources(&short_entry, 1);
  EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(4002)), nullptr);
}

// --- Folder enumeration ---------------------------------------------------------------------

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

TEST_F(FrameworkTest, FindFilesGivesNamesAttributesAndDotEntries) {
  std::string root = testing_support::TempDir();
  ASSERT_EQ(testing_support::RunCommand("mkdir -p '" + root + "/Album One/Inner'"), 0);
  Touch(root + "/B.jpg");
  Touch(root + "/a.JPG");
  Touch(root + "/notes.txt");
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((root + "/*.*").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  std::set<std::string> names;
  std::set<std::string> folders;
  do {
    names.insert(data.cFileName);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.insert(data.cFileName);
  } while (FindNextFileA(search, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_TRUE(FindClose(search));
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "Album One", "B.jpg", "a.JPG", "notes.txt"}));
  EXPECT_EQ(folders, (std::set<std::string>{".", "..", "Album One"}));
  // Wildcards match without regard to case.
  search = FindFirstFileA((root + "/*.jpg").c_str(), &data);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  names.clear();
  do names.insert(data.cFileName);
  while (FindNextFileA(search, &data));
  FindClose(search);
  EXPECT_EQ(names, (std::set<std::string>{"B.jpg", "a.JPG"}));
  EXPECT_EQ(FindFirstFileA((root + "/nothing/*.*").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(FindFirstFileA((root + "/*.gif").c_str(), &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA((root + "/B.jpg").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_NE(GetFileAttributesA((root + "/Album One").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(GetFileAttributesA((root + "/missing").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FrameworkTest, FileFindGivesFullPathNameAndKind) {
  std::string root = testing_support::TempDir();
  ASSERT_EQ(testing_support::RunCommand("mkdir -p '" + root + "/sub'"), 0);
  Touch(root + "/photo.jpg");
  CFileFind finder;
  BOOL more = finder.FindFile((root + "/*.*").c_str());
  ASSERT_TRUE(more);
  std::map<std::string, std::string> seen;  // name -> kind
  while (more) {
    more = finder.FindNextFile();
    std::string kind = finder.IsDots() ? "dots" : (finder.IsDirectory() ? "folder" : "file");
    seen[std::string(finder.GetFileName())] = kind;
    EXPECT_EQ(std::string(finder.GetFilePath()), root + "/" + std::string(finder.GetFileName()));
  }
  EXPECT_EQ(seen, (std::map<std::string, std::string>{
                      {".", "dots"}, {"..", "dots"}, {"sub", "folder"}, {"photo.jpg", "file"}}));
  EXPECT_EQ(std::string(finder.GetRoot()), root + "/");
  CFileFind none;
  EXPECT_FALSE(none.FindFile((root + "/missing/*.*").c_str()));
  EXPECT_FALSE(none.FindNextFile());
}

TEST_F(FrameworkTest, CompanionFilesAreFoundWhateverTheirCase) {
  std::string root = testing_support::TempDir();
  Touch(root + "/TITLE.TXT");
  Touch(root + "/Photo.MID");
  Touch(root + "/album.txt");
  CString found;
  ASSERT_TRUE(AfxFindFileAnyCase((root + "/title.txt").c_str(), found));
  EXPECT_EQ(std::string(found), root + "/TITLE.TXT");
  ASSERT_TRUE(AfxFindFileAnyCase((root + "/photo.mid").c_str(), found));
  EXPECT_EQ(std::string(found), root + "/Photo.MID");
  ASSERT_TRUE(AfxFindFileAnyCase((root + "/album.txt").c_str(), found));
  EXPECT_EQ(std::string(found), root + "/album.txt");
  EXPECT_FALSE(AfxFindFileAnyCase((root + "/title.wav").c_str(), found));
  EXPECT_FALSE(AfxFindFileAnyCase((root + "/*.txt").c_str(), found));  // not a pattern search
  EXPECT_FALSE(AfxFindFileAnyCase("", found));
  // A folder is found like a file.
  EXPECT_TRUE(AfxFindFileAnyCase(root.c_str(), found));
}

TEST_F(FrameworkTest, FontObjectOwnsOneFont) {
  LOGFONTA description = {};
  description.lfHeight = -12;
  std::strcpy(description.lfFaceName, "Arial");
  const int64_t before = platform::LiveGdiObjects();
  {
    CFont font;
    EXPECT_EQ(font.GetSafeHandle(), nullptr);
    ASSERT_TRUE(font.CreateFontIndirect(&description));
    EXPECT_NE(static_cast<HFONT>(font), nullptr);
    EXPECT_FALSE(font.CreateFontIndirect(&description)) << "one font per object";
    EXPECT_EQ(platform::LiveGdiObjects(), before + 1);
    EXPECT_TRUE(font.DeleteObject());
    EXPECT_FALSE(font.DeleteObject());
    EXPECT_EQ(platform::LiveGdiObjects(), before);
    ASSERT_TRUE(font.CreateFontIndirect(&description));
  }
  EXPECT_EQ(platform::LiveGdiObjects(), before) << "the destructor deletes its font";
}

}  // namespace
