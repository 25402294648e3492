// Start-up of the viewer on the headless screen: the order of construction,
// set-up and tear-down, the backdrop, the small handlers, and skin images
// that are missing or do not decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/about_dlg.h"
#include "resources/resource_ids.h"
#include "catalogue/skin_image.h"
#include "app/viewer_app.h"
#include "app/viewer_dlg.h"
#include "imaging/core/error_text.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "platform/headless/headless.h"
#include "platform/winapi/gdi_internal.h"
#include "platform/winapi/resources_internal.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/scenario.h"
#include "tests/support/test_support.h"

namespace {

const int kSkinIdsAtStartup[] = {142, 153, 154, 155, 157, 156, 159, 160, 165, 167};

class StartupTest : public testing_support::HeadlessFixture {
 protected:
  void SetUp() override {
    HeadlessFixture::SetUp();
    platform::ClearResourceOverridesForTests();
    ASSERT_EQ(AfxGetApp(), &theApp);
  }
  void TearDown() override {
    HeadlessFixture::TearDown();
    platform::ClearResourceOverridesForTests();
  }

  // The bytes of a "BIN" resource as compiled into the program.
  static std::vector<uint8_t> ResourceBytes(int id) {
    HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "BIN");
    if (resource == nullptr) return {};
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, resource)));
    return std::vector<uint8_t>(data, data + SizeofResource(nullptr, resource));
  }

  // What the imaging library makes of a resource: its error code (0 when it
  // decodes) and size.
  static PelornError Decode(int id, uint32_t* width, uint32_t* height) {
    std::vector<uint8_t> bytes = ResourceBytes(id);
    HGLOBAL block = ReadJpegMemory(bytes.data(), static_cast<int32_t>(bytes.size()), width, height);
    PelornError code = GetLastImageError();
    if (block != nullptr) GlobalFree(block);
    return block != nullptr ? kPelornOk : code;
  }

  // Runs the viewer modally through the scenario's steps, then closes it
  // with Escape; every step must have run.
  static bool RunViewer(CViewerDlg& viewer, testing_support::Scenario& scenario) {
    scenario.Key("Escape closes the viewer", VK_ESCAPE);
    return scenario.Run(viewer, IDCANCEL);
  }
  // `whileShown` runs once the viewer is set up and waiting.
  static bool RunViewer(CViewerDlg& viewer, std::function<void()> whileShown) {
    testing_support::Scenario scenario;
    scenario.Call("viewer set up and waiting", std::move(whileShown));
    return RunViewer(viewer, scenario);
  }
};

std::vector<std::string> Matching(const std::vector<std::string>& log, const std::string& prefix) {
  std::vector<std::string> lines;
  for (const std::string& line : log) {
    if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
  }
  return lines;
}

size_t IndexOf(const std::vector<std::string>& log, const std::string& prefix, size_t from = 0) {
  for (size_t i = from; i < log.size(); ++i) {
    if (log[i].compare(0, prefix.size(), prefix) == 0) return i;
  }
  return std::string::npos;
}

TEST_F(StartupTest, EveryStartupSkinResourceIsCompiledIn) {
  for (int id : kSkinIdsAtStartup) EXPECT_FALSE(ResourceBytes(id).empty()) << id;
  for (int id : {143, 147, 149, 150, 151, 161}) EXPECT_FALSE(ResourceBytes(id).empty()) << id;
  char text[64];
  EXPECT_EQ(LoadStringA(nullptr, IDS_ABOUTBOX, text, sizeof text), 17);
  EXPECT_STREQ(text, "&About Tessary...");
}

TEST_F(StartupTest, ConstructionLoadsTheIconAndCreatesTheBackdrop) {
  {
    // Warm up what lives for the whole run (the shared icon, the renderer's fonts).
    CViewerDlg warmUp;
    headless::Pump();
  }
  headless::Reset();
  int64_t gdiBefore = platform::LiveGdiObjects();
  {
    CViewerDlg viewer;
    std::vector<std::string> log = headless::TakeCallLog();
    size_t icon = IndexOf(log, "LoadIconA 128");
    size_t backdropCreated = IndexOf(log, "CreateWindowExA #32770");
    ASSERT_NE(icon, std::string::npos);
    ASSERT_NE(backdropCreated, std::string::npos);
    EXPECT_LT(icon, backdropCreated);
    ASSERT_NE(viewer.m_icon, nullptr);
    EXPECT_EQ(platform::IconSize(viewer.m_icon).cx, 32);
    ASSERT_NE(viewer.m_displayPalette, nullptr);
    // The backdrop is up at once: screen-sized, shown, disabled, black.
    ASSERT_NE(viewer.m_backdrop, nullptr);
    HWND backdrop = viewer.m_backdrop->m_hWnd;
    ASSERT_TRUE(IsWindow(backdrop));
    RECT place;
    GetWindowRect(backdrop, &place);
    EXPECT_EQ(place.left, 0);
    EXPECT_EQ(place.top, 0);
    EXPECT_EQ(place.right, 1024);
    EXPECT_EQ(place.bottom, 768);
    EXPECT_TRUE(IsWindowVisible(backdrop));
    EXPECT_FALSE(IsWindowEnabled(backdrop));
    EXPECT_EQ(GetWindowLongPtrA(backdrop, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);
    headless::Pump();
    EXPECT_EQ(headless::ScreenPixel(500, 700), 0u);
    EXPECT_EQ(headless::ScreenPixel(1023, 767), 0u);
  }
  // The destructor releases palette and backdrop.
  std::vector<std::string> log = headless::TakeCallLog();
  EXPECT_NE(IndexOf(log, "DestroyWindow #32770"), std::string::npos);
  EXPECT_TRUE(platform::TopLevelWindowsInZOrder().empty());
  EXPECT_EQ(platform::LiveGdiObjects(), gdiBefore);
}

TEST_F(StartupTest, BackdropCoversScreensOfAnyResolution) {
  for (auto size : {std::pair<int, int>{640, 480}, {1920, 1080}, {801, 601}}) {
    headless::Reset();
    headless::SetScreenSize(size.first, size.second);
    CViewerDlg viewer;
    RECT place;
    GetWindowRect(viewer.m_backdrop->m_hWnd, &place);
    EXPECT_EQ(place.right - place.left, size.first);
    EXPECT_EQ(place.bottom - place.top, size.second);
    EXPECT_EQ(viewer.m_backdrop->m_screenWidth, size.first);
    EXPECT_EQ(viewer.m_backdrop->m_screenHeight, size.second);
    headless::Pump();
    EXPECT_EQ(headless::ScreenPixel(size.first - 1, size.second - 1), 0u);
  }
}

TEST_F(StartupTest, WindowIsCentredOnTheWorkAreaBeforeItShows) {
  struct Row {
    int screenWidth, screenHeight;
    RECT workArea;  // empty: none reported
    POINT expectedTopLeft;
  };
  const Row rows[] = {
      {1024, 768, {}, {112, 84}},
      // A panel along the top and one down the left.
      {1280, 1024, {100, 50, 1280, 1024}, {290, 237}},
      // A work area off the screen is not believed.
      {1024, 768, {2000, 0, 3000, 768}, {112, 84}},
  };
  for (const Row& row : rows) {
    headless::Reset();
    headless::SetScreenSize(row.screenWidth, row.screenHeight);
    platform::SetWorkArea(row.workArea);
    CViewerDlg viewer;
    headless::TakeCallLog();
    RECT place = {};
    ASSERT_TRUE(RunViewer(viewer, [&] { viewer.GetWindowRect(&place); }));
    EXPECT_EQ(place.left, row.expectedTopLeft.x);
    EXPECT_EQ(place.top, row.expectedTopLeft.y);
    EXPECT_EQ(place.right - place.left, 800);
    EXPECT_EQ(place.bottom - place.top, 600);
    const std::vector<std::string> log = headless::TakeCallLog();
    const std::string moved = "SetWindowPos #32770 \"Tessary\" after=0 " +
                              std::to_string(row.expectedTopLeft.x) + "," +
                              std::to_string(row.expectedTopLeft.y);
    const size_t movedAt = IndexOf(log, moved);
    ASSERT_NE(movedAt, std::string::npos) << moved;
    const std::vector<std::string> shown = Matching(log, "ShowWindow #32770 \"Tessary\"");
    ASSERT_FALSE(shown.empty());
    EXPECT_LT(movedAt, IndexOf(log, shown.front()));
  }
}

TEST_F(StartupTest, WhatTheWindowShowsAfterSetUp) {
  CViewerDlg viewer;
  headless::TakeCallLog();
  std::vector<std::string> duringSetUp;
  bool ranToEscape = RunViewer(viewer, [&] {
    EXPECT_EQ(viewer.m_splashShown, 1);
    EXPECT_EQ(viewer.m_titleShown, 1);
    EXPECT_TRUE(viewer.m_titleText.IsEmpty());
    EXPECT_EQ(viewer.m_bannerShown, 0);
    CString caption;
    viewer.GetWindowText(caption);
    EXPECT_EQ(caption, "Tessary");
    RECT client;
    viewer.GetClientRect(&client);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    RECT list;
    viewer.m_albumListBox.GetWindowRect(&list);
    POINT origin = {0, 0};
    ClientToScreen(viewer.m_hWnd, &origin);
    EXPECT_EQ(list.left - origin.x, 15);
    EXPECT_EQ(list.top - origin.y, 199);
    EXPECT_EQ(list.right - list.left, 134);
    EXPECT_EQ(list.bottom - list.top, 276);
    EXPECT_FALSE(viewer.m_albumListBox.IsWindowVisible());
    EXPECT_EQ(platform::WindowIcon(viewer.m_hWnd, ICON_BIG), viewer.m_icon);
    EXPECT_EQ(platform::WindowIcon(viewer.m_hWnd, ICON_SMALL), viewer.m_icon);
    std::vector<platform::MenuItem> menu = platform::SystemMenuItems(viewer.m_hWnd);
    ASSERT_GE(menu.size(), 2u);
    EXPECT_EQ(menu[menu.size() - 2].flags & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
    EXPECT_EQ(menu.back().id, static_cast<UINT_PTR>(IDM_ABOUTBOX));
    EXPECT_EQ(menu.back().text, "&About Tessary...");
    // Nothing is scanned at start-up: no timer runs, no list is filled.
    EXPECT_EQ(platform::ActiveTimerCount(), 0);
    EXPECT_EQ(viewer.m_albumListBox.GetCount(), 0);
    duringSetUp = headless::TakeCallLog();
    // The palette realised when a picture is painted: entry i is
    // (16i mod 256, 4i mod 256, i).
    viewer.m_pictureBitmap = static_cast<uint8_t*>(std::calloc(3, 1));
    viewer.m_pictureWidth = viewer.m_pictureHeight = 1;
    viewer.Invalidate();
    headless::Pump();
    PALETTEENTRY entries[257] = {};
    EXPECT_EQ(platform::LastRealizedPaletteEntries(entries, 257), 256);
    for (int i = 0; i < 256; ++i) {
      EXPECT_EQ(entries[i].peRed, (16 * i) % 256) << i;
      EXPECT_EQ(entries[i].peGreen, (4 * i) % 256) << i;
      EXPECT_EQ(entries[i].peBlue, i) << i;
      EXPECT_EQ(entries[i].peFlags, 0) << i;
    }
  });
  ASSERT_TRUE(ranToEscape);
  // Every skin image of the start-up comes from the program's resources.
  std::vector<std::string> expected;
  for (int id : kSkinIdsAtStartup) expected.push_back("FindResourceA BIN " + std::to_string(id));
  EXPECT_EQ(Matching(duringSetUp, "FindResourceA BIN "), expected);
}

TEST_F(StartupTest, ViewerSitsDirectlyAboveTheBackdropEachTimeItIsActivated) {
  CViewerDlg viewer;
  HWND other = nullptr;
  testing_support::Scenario scenario;
  scenario.Call("another window takes the activation", [&] {
    std::vector<HWND> z = platform::TopLevelWindowsInZOrder();
    ASSERT_EQ(z.size(), 2u);
    EXPECT_EQ(z[0], viewer.m_hWnd);
    EXPECT_EQ(z[1], viewer.m_backdrop->m_hWnd);
    // Another program's window comes up and takes the activation: the
    // viewer, told it is no longer active, still puts itself and the
    // backdrop back on top.
    other = CreateWindowExA(0, "#32770", "Other", WS_POPUP | WS_VISIBLE, 100, 100, 200, 200,
                            nullptr, nullptr, nullptr, nullptr);
    ShowWindow(other, SW_SHOW);
    EXPECT_EQ(GetActiveWindow(), other);
    std::vector<HWND> deactivated = platform::TopLevelWindowsInZOrder();
    ASSERT_EQ(deactivated.size(), 3u);
    EXPECT_EQ(deactivated[0], viewer.m_hWnd);
    EXPECT_EQ(deactivated[1], viewer.m_backdrop->m_hWnd);
    // The other window is raised over both...
    SetWindowPos(other, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_EQ(platform::TopLevelWindowsInZOrder()[0], other);
  });
  // ...and clicking the viewer activates it: backdrop then viewer go on top.
  scenario.Click("click on the viewer", viewer, 400, 300)
      .Call("backdrop and viewer back on top", [&] {
        std::vector<HWND> after = platform::TopLevelWindowsInZOrder();
        DestroyWindow(other);
        ASSERT_EQ(after.size(), 3u);
        EXPECT_EQ(after[0], viewer.m_hWnd);
        EXPECT_EQ(after[1], viewer.m_backdrop->m_hWnd);
        EXPECT_EQ(after[2], other);
        EXPECT_EQ(GetActiveWindow(), viewer.m_hWnd);
      });
  RunViewer(viewer, scenario);
}

TEST_F(StartupTest, BackdropIgnoresOkCancelAndCloseAndTakesNoClicks) {
  CViewerDlg viewer;
  HWND backdrop = viewer.m_backdrop->m_hWnd;
  SendMessageA(backdrop, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  SendMessageA(backdrop, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  SendMessageA(backdrop, WM_CLOSE, 0, 0);
  SendMessageA(backdrop, WM_SYSCOMMAND, SC_CLOSE, 0);
  headless::Pump();
  EXPECT_TRUE(IsWindow(backdrop));
  EXPECT_TRUE(IsWindowVisible(backdrop));
  // A click on the black is dropped: the backdrop is disabled.
  EXPECT_EQ(platform::DeliverPointer(WM_LBUTTONDOWN, POINT{5, 5}, MK_LBUTTON), nullptr);
}

TEST_F(StartupTest, EnterAndEscapeEndTheViewer) {
  {
    CViewerDlg viewer;
    headless::PostKey(VK_RETURN);
    EXPECT_EQ(viewer.DoModal(), IDOK);
  }
  {
    CViewerDlg viewer;
    headless::PostKey(VK_ESCAPE);
    EXPECT_EQ(viewer.DoModal(), IDCANCEL);
  }
  EXPECT_TRUE(platform::TopLevelWindowsInZOrder().empty());
}

TEST_F(StartupTest, TheApplicationRunsTheViewerModallyAndEnds) {
  headless::PostCall([] {
    CWnd* main = AfxGetMainWnd();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(IsWindowVisible(main->m_hWnd));
    EXPECT_EQ(GetActiveWindow(), main->m_hWnd);
  });
  headless::PostKey(VK_RETURN);
  EXPECT_FALSE(theApp.InitInstance());
  EXPECT_EQ(AfxGetMainWnd(), nullptr);
  EXPECT_TRUE(platform::TopLevelWindowsInZOrder().empty());
  EXPECT_EQ(headless::PendingSteps(), 0u);
}

TEST_F(StartupTest, AboutEntryOfTheSystemMenuOpensTheAboutBox) {
  CViewerDlg viewer;
  theApp.m_pMainWnd = &viewer;
  bool aboutSeen = false;
  bool aboutClosed = false;
  // Inside the About box's own modal loop:
  auto insideAbout = [&] {
    HWND about = GetActiveWindow();
    ASSERT_NE(about, viewer.m_hWnd);
    char caption[64];
    ASSERT_GT(GetWindowTextA(about, caption, sizeof caption), 0);
    EXPECT_STREQ(caption, "About Tessary");
    char line[64];
    GetWindowTextA(GetWindow(GetDlgItem(about, IDOK), GW_HWNDPREV), line, sizeof line);
    EXPECT_STREQ(line, "Pelorn imaging library, built for Tessary");
    // Owned by the viewer, which takes no input meanwhile.
    EXPECT_FALSE(IsWindowEnabled(viewer.m_hWnd));
    EXPECT_EQ(platform::TopLevelWindowsInZOrder()[0], about);
    EXPECT_EQ(platform::TopLevelWindowsInZOrder()[1], viewer.m_hWnd);
    aboutSeen = true;
    EXPECT_TRUE(headless::SaveWindowPng(about, std::string(TESSARY_BIN_DIR) + "/about_box.png"));
    headless::PostClick(GetDlgItem(about, IDOK), 5, 5);
    headless::PostCall([&] {
      // Back in the viewer's loop.
      EXPECT_TRUE(IsWindowEnabled(viewer.m_hWnd));
      EXPECT_EQ(GetActiveWindow(), viewer.m_hWnd);
      aboutClosed = true;
      headless::PostKey(VK_ESCAPE);
    });
  };
  headless::PostCall([&] {
    // Another system command takes the default way (here: minimise).
    viewer.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(viewer.IsIconic());
    viewer.SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(viewer.IsIconic());
    headless::PostCall(insideAbout);
    // The low four bits of the command are the system's own: masked off.
    viewer.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);
  });
  EXPECT_EQ(viewer.DoModal(), IDCANCEL);
  theApp.m_pMainWnd = nullptr;
  EXPECT_TRUE(aboutSeen);
  EXPECT_TRUE(aboutClosed);
}

TEST_F(StartupTest, SmallHandlers) {
  CViewerDlg viewer;
  testing_support::Scenario scenario;
  scenario.Call("handlers answer", [&] {
    EXPECT_EQ(reinterpret_cast<HICON>(viewer.SendMessage(WM_QUERYDRAGICON)), viewer.m_icon);
    HDC dc = GetDC(viewer.m_hWnd);
    // The list box (and an edit control) get the grey brush; others the default.
    HBRUSH list = reinterpret_cast<HBRUSH>(viewer.SendMessage(
        WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(dc),
        reinterpret_cast<LPARAM>(viewer.m_albumListBox.m_hWnd)));
    EXPECT_EQ(list, viewer.m_backgroundBrush);
    EXPECT_NE(list, nullptr);
    HBRUSH button = reinterpret_cast<HBRUSH>(viewer.SendMessage(
        WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
        reinterpret_cast<LPARAM>(GetDlgItem(viewer.m_hWnd, IDOK))));
    EXPECT_NE(button, viewer.m_backgroundBrush);
    ReleaseDC(viewer.m_hWnd, dc);
    // Erasing the background draws nothing and reports nothing erased.
    HBITMAP framebuffer = platform::WindowFramebuffer(viewer.m_hWnd);
    platform::PixelView before = platform::BitmapPixels(framebuffer);
    uint32_t pixel = before.At(400, 300);
    dc = GetDC(viewer.m_hWnd);
    EXPECT_EQ(viewer.SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)), 0);
    ReleaseDC(viewer.m_hWnd, dc);
    EXPECT_EQ(platform::BitmapPixels(framebuffer).At(400, 300), pixel);
    // Painted list rows sit on the grey.
    viewer.m_albumListBox.ShowWindow(SW_SHOW);
    viewer.m_albumListBox.Invalidate();
  });
  scenario.Call("list painted", [&] {
    platform::PixelView rows =
        platform::BitmapPixels(platform::WindowFramebuffer(viewer.m_albumListBox.m_hWnd));
    ASSERT_NE(rows.pixels, nullptr);
    EXPECT_EQ(rows.At(10, 10), 0x7A7A7Au);
  });
  RunViewer(viewer, scenario);
}

TEST_F(StartupTest, StartupWindowScreenshot) {
  CViewerDlg viewer;
  std::string folder = testing_support::TempDir();
  RunViewer(viewer, [&] {
    ASSERT_TRUE(headless::SaveScreenPng(folder + "/startup_screen.png"));
    ASSERT_TRUE(headless::SaveWindowPng(viewer.m_hWnd, folder + "/startup_window.png"));
    // Keep a copy where a person can look at it.
    headless::SaveScreenPng(std::string(TESSARY_BIN_DIR) + "/startup_screen.png");
    headless::SaveWindowPng(viewer.m_hWnd, std::string(TESSARY_BIN_DIR) + "/startup_window.png");
  });
  auto screen = testing_support::ReferenceDecode(folder + "/startup_screen.png");
  ASSERT_TRUE(screen.has_value());
  EXPECT_EQ(screen->width, 1024u);
  EXPECT_EQ(screen->height, 768u);
  auto window = testing_support::ReferenceDecode(folder + "/startup_window.png");
  ASSERT_TRUE(window.has_value());
  EXPECT_EQ(window->width, 800u);
  EXPECT_EQ(window->height, 600u);
  // The splash sits at (290, 200): compare with the skin image decoded here.
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> bytes = ResourceBytes(167);
  HGLOBAL block = ReadJpegMemory(bytes.data(), static_cast<int32_t>(bytes.size()), &width, &height);
  ASSERT_NE(block, nullptr) << ErrorText(GetLastImageError());
  testing_support::Picture splash = testing_support::TakePicture(block, width, height);
  ASSERT_LE(290 + width, 800u);
  ASSERT_LE(200 + height, 600u);
  for (uint32_t y : {0u, height / 2, height - 1}) {
    for (uint32_t x : {0u, width / 2, width - 1}) {
      size_t at = (static_cast<size_t>(y) * width + x) * 3;
      size_t shown = (static_cast<size_t>(200 + y) * 800 + 290 + x) * 3;
      EXPECT_EQ(window->rgb[shown], splash.rgb[at]) << x << "," << y;
      EXPECT_EQ(window->rgb[shown + 1], splash.rgb[at + 1]) << x << "," << y;
      EXPECT_EQ(window->rgb[shown + 2], splash.rgb[at + 2]) << x << "," << y;
    }
  }
  // The viewer sits on black.
  EXPECT_EQ(screen->rgb[0], 0);
}

TEST_F(StartupTest, MissingSkinResourceLeavesItsImageEmptySilently) {
  platform::OverrideResourceForTests("BIN", 153, nullptr);
  platform::OverrideResourceForTests("BIN", 142, nullptr);
  CViewerDlg viewer;
  headless::TakeMessageBoxes();
  RunViewer(viewer, [&] {
    EXPECT_EQ(viewer.m_splashShown, 1);
    // Drawing an empty image draws nothing (and says so).
    EXPECT_EQ(viewer.m_background.Draw(nullptr, 0, 0), 1);
    EXPECT_TRUE(viewer.m_shadowRight.IsEmpty());
  });
  // The other skins decode, and a missing resource is not reported.
  for (int id : kSkinIdsAtStartup) {
    uint32_t w, h;
    if (id == 142 || id == 153) continue;
    ASSERT_EQ(Decode(id, &w, &h), kPelornOk) << id;
  }
  EXPECT_TRUE(headless::TakeMessageBoxes().empty());
}

TEST_F(StartupTest, BrokenSkinResourceShowsTheLibraryErrorAndSetUpGoesOn) {
  std::vector<uint8_t> broken = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 2};
  platform::OverrideResourceForTests("BIN", 155, &broken);
  std::vector<uint8_t> notJpeg(64, 0x42);
  platform::OverrideResourceForTests("BIN", 167, &notJpeg);
  int64_t blocksBefore = platform::LiveGlobalBlocks();
  CViewerDlg viewer;
  RunViewer(viewer, [&] {
    EXPECT_EQ(viewer.m_splashShown, 1);
    EXPECT_TRUE(viewer.m_shadowCorner.IsEmpty());
    EXPECT_TRUE(viewer.m_splash.IsEmpty());
  });
  std::vector<headless::MessageBoxShown> boxes = headless::TakeMessageBoxes();
  // Exactly the two broken images are reported, in set-up order (155 before
  // 167), each with the library's text for its error, captioned with the
  // application's name; the intact ones decode.
  std::vector<std::string> expected;
  for (int id : kSkinIdsAtStartup) {
    uint32_t w, h;
    PelornError code = Decode(id, &w, &h);
    if (id == 155 || id == 167) {
      EXPECT_NE(code, kPelornOk) << id;
      expected.push_back(ErrorText(code));
    } else {
      EXPECT_EQ(code, kPelornOk) << id;
    }
  }
  ASSERT_EQ(boxes.size(), 2u);
  for (size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(boxes[i].text, expected[i]);
    EXPECT_EQ(boxes[i].caption, "Tessary");
    EXPECT_EQ(boxes[i].type & 0x0F, static_cast<UINT>(MB_OK));
  }
  EXPECT_FALSE(viewer.m_background.IsEmpty());
  EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore);
}

TEST_F(StartupTest, SkinImageOfTheLoaderHasTheResourcesSize) {
  uint32_t width = 0, height = 0;
  ASSERT_EQ(Decode(154, &width, &height), kPelornOk);
  CWinBmp image;
  ASSERT_TRUE(LoadSkinImage(image, 154));
  ASSERT_FALSE(image.IsEmpty());
  EXPECT_NE(image.GetBits32(), nullptr);
  EXPECT_EQ(width, 559u);
  EXPECT_EQ(height, 9u);
  CWinBmp untouched;
  EXPECT_FALSE(LoadSkinImage(untouched, 999));
  EXPECT_TRUE(headless::TakeMessageBoxes().empty());
}

}  // namespace

namespace {

TEST_F(StartupTest, SkinLoadingSurvivesMemoryRunningOutAtEveryStep) {
  uint32_t width = 0, height = 0;
  ASSERT_EQ(Decode(154, &width, &height), kPelornOk);
  int64_t blocksBefore = platform::LiveGlobalBlocks();
  bool sawFailure = false;
  bool sawSuccess = false;
  for (long long n = 1; n <= 40 && !sawSuccess; ++n) {
    CWinBmp image;
    headless::TakeMessageBoxes();
    pelorn::FailNthPlainAllocation(n);
    BOOL loaded = LoadSkinImage(image, 154);
    pelorn::FailNthPlainAllocation(0);
    std::vector<headless::MessageBoxShown> boxes = headless::TakeMessageBoxes();
    if (loaded) {
      sawSuccess = true;
      EXPECT_FALSE(image.IsEmpty());
      EXPECT_TRUE(boxes.empty());
    } else {
      sawFailure = true;
      // Reported once, as running out of memory; the image stays empty.
      ASSERT_EQ(boxes.size(), 1u) << n;
      EXPECT_EQ(boxes[0].text, ErrorText(kPelornOutOfMemory)) << n;
    }
    EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore) << n;
  }
  EXPECT_TRUE(sawFailure);
  EXPECT_TRUE(sawSuccess);
}

}  // namespace
