// The real zplport.exe, copied alone into a folder with its INI files and
// driven through its windows against a loopback printer that the test runs.
// Usage: zplport_gui_tests ZPLPORT_EXE SCREENSHOT_FOLDER [gtest flags]
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app_driver.h"
#include "label/label.h"
#include "png_writer.h"
#include "support/fault_printer.h"
#include "support/temp_dir.h"
#include "ui/window_layout.h"

namespace zplport {
namespace {

namespace fs = std::filesystem;
using testing::ChildrenOf;
using testing::ClassOf;
using testing::Click;
using testing::FaultPrinter;
using testing::RunningApp;
using testing::TextOf;
using testing::WaitUntil;
using namespace std::chrono_literals;

fs::path g_app_exe;
fs::path g_screenshots;

std::wstring Wide(std::string_view utf8) {
  const int size = static_cast<int>(utf8.size());
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  wide.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), size)));
  return wide;
}

const std::wstring kAppTitle = Wide(ui::ApplicationTitle());
const std::wstring kInstructionsTitle = Wide(ui::InstructionsWindow().title);

const PrintSettings kSettings{"15", "50", "50", "50", "150", "40", "40"};
// 中文测试 and 斑马打印机 in GBK.
const std::string kGbkLine2 = "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4";
const std::string kGbkLine3 = "\xB0\xDF\xC2\xED\xB4\xF2\xD3\xA1\xBB\xFA";

// Paths on the command line come from CMake as Unix paths; under Wine the
// root of the Unix file system is drive Z:.
fs::path FromArgument(const char* argument) {
  std::string text = argument;
  if (!text.empty() && text[0] == '/') text = "Z:" + text;
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return fs::path(text);
}

int Pixels(int twips, UINT dpi) { return twips * static_cast<int>(dpi) / 1440; }

void BringForward(HWND window) {
  SetForegroundWindow(window);
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(300);
}

void SaveScreenshot(HWND window, const char* name) {
  BringForward(window);
  const testing::Screenshot shot = testing::Capture(window);
  std::error_code ec;
  fs::create_directories(g_screenshots, ec);
  EXPECT_TRUE(testing::WritePng(g_screenshots / name, shot.width, shot.height, shot.rgb)) << name;
}

LOGFONTW Font(const ui::FontDesc& desc, UINT dpi) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(desc.centipoints, static_cast<int>(dpi), 7200);
  font.lfWeight = desc.weight;
  font.lfCharSet = static_cast<BYTE>(desc.charset);
  lstrcpynW(font.lfFaceName, Wide(desc.face).c_str(), LF_FACESIZE);
  return font;
}

const wchar_t* ClassOfKind(ui::ControlKind kind) {
  switch (kind) {
    case ui::ControlKind::kPushButton:
      return L"Button";
    case ui::ControlKind::kTextBox:
      return L"Edit";
    case ui::ControlKind::kStaticText:
      return L"Static";
  }
  return L"";
}

// The font a window answers to WM_GETFONT, where this process can read it:
// font handles belong to the process that made them, and Wine (like
// Windows) does not describe another process's font. Returns whether it
// could check.
bool ExpectFontIfReadable(HWND window, const LOGFONTW& expected) {
  LOGFONTW font{};
  if (!testing::FontOf(window, font)) return false;
  EXPECT_EQ(std::wstring(font.lfFaceName), expected.lfFaceName);
  EXPECT_EQ(font.lfHeight, expected.lfHeight);
  EXPECT_EQ(font.lfWeight, expected.lfWeight);
  EXPECT_EQ(font.lfCharSet, expected.lfCharSet);
  return true;
}

// Whatever the process boundary, the text on screen must look exactly like
// the same text drawn here in the expected font: same extent of ink, and
// about as much of it (bold has far more than regular).
void ExpectDrawnInFont(const testing::Screenshot& shot, HWND form, HWND control,
                       const std::wstring& text, const LOGFONTW& font) {
  const std::wstring kind = ClassOf(control);
  UINT format = DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS;  // static text
  int inset = 0;
  if (_wcsicmp(kind.c_str(), L"Button") == 0) {
    format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    inset = 5;  // inside the border and the focus rectangle
  } else if (_wcsicmp(kind.c_str(), L"Edit") == 0) {
    format = DT_LEFT | DT_SINGLELINE | DT_NOPREFIX;
    inset = 4;  // inside the sunken border
  }
  RECT window{}, rect{};
  GetWindowRect(form, &window);
  GetWindowRect(control, &rect);
  OffsetRect(&rect, -window.left, -window.top);
  InflateRect(&rect, -inset, -inset);
  const testing::Ink seen = testing::InkIn(shot, rect);
  // Drawn on the control's own background, which shades the edges of the
  // glyphs alike.
  const std::uint8_t* corner =
      &shot.rgb[(static_cast<std::size_t>(rect.top) * shot.width + rect.left) * 3];
  const testing::Ink drawn =
      testing::InkOfText(text, font, rect.right - rect.left - (kind == L"Static" ? 0 : 4),
                         rect.bottom - rect.top, format, RGB(corner[0], corner[1], corner[2]));
  ASSERT_GT(drawn.count, 0);
  EXPECT_LE(std::abs(seen.width - drawn.width), 1) << seen.width << " vs " << drawn.width;
  EXPECT_LE(std::abs(seen.height - drawn.height), 1) << seen.height << " vs " << drawn.height;
  EXPECT_LE(std::abs(seen.count - drawn.count), drawn.count / 8)
      << seen.count << " vs " << drawn.count;
}

// A wrapped text must show every glyph, whatever its line breaks and
// spacing: as much ink as the whole text drawn unclipped on one line, and
// none on the box's last row, where a line cut off by the box would leave
// its upper part.
void ExpectWholeTextDrawn(const testing::Screenshot& shot, HWND form, HWND control,
                          const std::wstring& text, const LOGFONTW& font) {
  RECT window{}, rect{};
  GetWindowRect(form, &window);
  GetWindowRect(control, &rect);
  OffsetRect(&rect, -window.left, -window.top);
  const testing::Ink seen = testing::InkIn(shot, rect);
  const std::uint8_t* corner =
      &shot.rgb[(static_cast<std::size_t>(rect.top) * shot.width + rect.left) * 3];
  const testing::Ink unclipped = testing::InkOfText(
      text, font, 8 * 1024, 4 * std::abs(font.lfHeight), DT_LEFT | DT_SINGLELINE | DT_NOPREFIX,
      RGB(corner[0], corner[1], corner[2]));
  ASSERT_GT(unclipped.count, 0);
  EXPECT_LE(std::abs(seen.count - unclipped.count), unclipped.count / 200)
      << seen.count << " pixels of ink in the box, " << unclipped.count << " in the whole text";
  EXPECT_LE(seen.width, rect.right - rect.left);
  EXPECT_EQ(testing::InkIn(shot, RECT{rect.left, rect.bottom - 1, rect.right, rect.bottom}).count,
            0)
      << "a line is cut off at the bottom";
}

// Every control of the model's window, in tab order, as the operator sees it.
void ExpectControls(HWND form, const ui::WindowDesc& desc) {
  const UINT dpi = testing::DpiOf(form);
  const std::vector<HWND> children = ChildrenOf(form);
  ASSERT_EQ(children.size(), desc.controls.size());
  BringForward(form);
  const testing::Screenshot shot = testing::Capture(form);
  for (std::size_t i = 0; i < desc.controls.size(); ++i) {
    const ui::ControlDesc& e = desc.controls[i];
    HWND control = children[i];
    SCOPED_TRACE(std::string(e.name));
    EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), ClassOfKind(e.kind)), 0);
    const std::wstring caption = Wide(e.caption);
    EXPECT_EQ(TextOf(control), caption);
    const RECT r = testing::RectInClient(control, form);
    EXPECT_EQ(r.left, Pixels(e.rect.left, dpi));
    EXPECT_EQ(r.top, Pixels(e.rect.top, dpi));
    EXPECT_EQ(r.right - r.left, Pixels(e.rect.width, dpi));
    EXPECT_EQ(r.bottom - r.top, Pixels(e.rect.height, dpi));
    const LOGFONTW font = Font(e.font, dpi);
    ExpectFontIfReadable(control, font);
    if (e.wraps) {
      ExpectWholeTextDrawn(shot, form, control, caption, font);
    } else if (!caption.empty()) {
      ExpectDrawnInFont(shot, form, control, caption, font);
    }
    const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
    EXPECT_EQ((style & WS_TABSTOP) != 0, e.kind != ui::ControlKind::kStaticText);
    EXPECT_TRUE(IsWindowEnabled(control));
    EXPECT_TRUE(IsWindowVisible(control));
    if (e.kind == ui::ControlKind::kPushButton) {
      // A plain push button, not a default one.
      EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON);
    }
  }
}

void ExpectCentredWithClient(HWND form, const ui::WindowDesc& desc) {
  const UINT dpi = testing::DpiOf(form);
  const SIZE client = testing::ClientSize(form);
  EXPECT_EQ(client.cx, Pixels(desc.client_width, dpi));
  EXPECT_EQ(client.cy, Pixels(desc.client_height, dpi));
  RECT window{};
  GetWindowRect(form, &window);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(form, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  EXPECT_LE(std::abs((window.left + window.right) - (work.left + work.right)), 2);
  EXPECT_LE(std::abs((window.top + window.bottom) - (work.top + work.bottom)), 2);
  const LONG_PTR style = GetWindowLongPtrW(form, GWL_STYLE);
  for (LONG_PTR part : {WS_CAPTION, WS_SYSMENU, WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX}) {
    EXPECT_EQ(style & part, part);
  }
}

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(printer_.ok());
    fs::copy_file(g_app_exe, dir_.path() / "zplport.exe");
    WriteConfig("ip", printer_.port());
    dir_.Write("file.ini", "[content]\r\nc(0)=ABC\r\nc(1)=123\r\nc(2)=" + kGbkLine2 +
                               "\r\nc(3)=" + kGbkLine3 + "\r\n");
  }

  void WriteConfig(const std::string& mode, int port) {
    dir_.Write("Config.ini", "[prtmod]\r\nprtmod=" + mode +
                                 "\r\ndarkness=15\r\n[zuobiao]\r\nzbx=50\r\nzby=50\r\nzbx1=50\r\n"
                                 "zby1=150\r\n[font]\r\na=40\r\nb=40\r\n[network]\r\n"
                                 "printerip=127.0.0.1\r\nprinterport=" +
                                 std::to_string(port) + "\r\n");
  }

  // Starts the tool from another folder, so that the INI files are found
  // beside the executable and not in the working folder.
  HWND Start() {
    app_ = std::make_unique<RunningApp>(dir_.path() / "zplport.exe", fs::temp_directory_path());
    if (!app_->started()) return nullptr;
    HWND form = app_->WaitForTitled(kAppTitle);
    if (form) {
      command1_ = ChildrenOf(form).at(0);
      text1_ = ChildrenOf(form).at(1);
      command2_ = ChildrenOf(form).at(3);
    }
    return form;
  }

  HWND Focus(HWND form) { return testing::FocusOf(app_->thread_id(form)); }

  // The message box the tool shows over `owner`: modal, OK only, under the
  // application's title. Returns its text after pressing OK.
  std::wstring AnswerMessageBox(HWND owner, const char* screenshot = nullptr) {
    HWND box = app_->WaitForMessageBox(owner);
    if (!box) {
      ADD_FAILURE() << "no message box";
      return L"<none>";
    }
    EXPECT_EQ(TextOf(box), kAppTitle);
    // Modal to the whole tool, the instructions window included.
    for (HWND window : app_->Windows([&](HWND w) { return w != box; })) {
      EXPECT_FALSE(IsWindowEnabled(window)) << "the box is not modal to " << TextOf(window).size();
    }
    int buttons = 0;
    for (HWND child : ChildrenOf(box)) {
      if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0 && IsWindowVisible(child)) ++buttons;
    }
    EXPECT_EQ(buttons, 1);
    HWND ok = GetDlgItem(box, IDOK);
    EXPECT_NE(ok, nullptr);
    EXPECT_EQ(TextOf(ok), Wide(ui::OkCaption()));
    const std::wstring text = TextOf(GetDlgItem(box, 0xFFFF));
    if (screenshot) SaveScreenshot(box, screenshot);
    Click(ok);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(owner) || !IsWindow(owner); }));
    return text;
  }

  void ExpectNoMessageBox(std::chrono::milliseconds wait) {
    Sleep(static_cast<DWORD>(wait.count()));
    EXPECT_TRUE(app_->MessageBoxes().empty()) << "a button was pressed";
  }

  std::string ExpectedFourLines() const {
    return ComposeLabel(kSettings, "ABC", "123") + ComposeLabel(kSettings, kGbkLine2, kGbkLine3);
  }

  FaultPrinter printer_{FaultPrinter::Behaviour::kAcceptAndRead};
  testing::ScopedTempDir dir_;
  std::unique_ptr<RunningApp> app_;
  HWND command1_ = nullptr;
  HWND text1_ = nullptr;
  HWND command2_ = nullptr;
};

TEST_F(GuiTest, MainWindowOpensCentredWithItsControls) {
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  ExpectCentredWithClient(form, ui::MainWindow());
  ExpectControls(form, ui::MainWindow());
  EXPECT_EQ(Focus(form), command1_);

  // Resizing moves nothing.
  std::vector<RECT> before;
  for (HWND child : ChildrenOf(form)) before.push_back(testing::RectInClient(child, form));
  RECT window{};
  GetWindowRect(form, &window);
  SetWindowPos(form, nullptr, 0, 0, window.right - window.left + 200,
               window.bottom - window.top + 150, SWP_NOZORDER | SWP_NOMOVE);
  ASSERT_TRUE(WaitUntil([&] {
    return testing::ClientSize(form).cx ==
           Pixels(ui::MainWindow().client_width, testing::DpiOf(form)) + 200;
  }));
  std::vector<RECT> after;
  for (HWND child : ChildrenOf(form)) after.push_back(testing::RectInClient(child, form));
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_TRUE(EqualRect(&before[i], &after[i])) << "control " << i << " moved";
  }
}

TEST_F(GuiTest, TabFollowsTheControlsAndEnterPressesNoButton) {
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  ASSERT_EQ(Focus(form), command1_);
  // Print, the quantity box, Instructions, and round again; the static text
  // takes no focus.
  for (HWND next : {text1_, command2_, command1_, text1_}) {
    testing::PressKey(Focus(form), VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return Focus(form) == next; }, 3s))
        << "focus on " << TextOf(Focus(form)).size();
  }
  // With an empty quantity a press of Print would say so at once.
  testing::PressKey(text1_, VK_RETURN);
  ExpectNoMessageBox(1000ms);
  testing::PressKey(text1_, VK_ESCAPE);
  ExpectNoMessageBox(500ms);
  EXPECT_TRUE(IsWindow(form));
}

TEST_F(GuiTest, PrintWithEmptyQuantitySaysTypeMismatch) {
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  Click(command1_);
  EXPECT_EQ(AnswerMessageBox(form), L"类型不匹配");
  EXPECT_EQ(printer_.connections(), 0u);
}

TEST_F(GuiTest, PrintSendsTheLabelsToTheNetworkPrinter) {
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  SendMessageW(text1_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"4"));
  SaveScreenshot(form, "form1.png");
  // The quantity is navy on white.
  const testing::Screenshot shot = testing::Capture(form);
  RECT text_rect{};
  GetWindowRect(text1_, &text_rect);
  RECT window{};
  GetWindowRect(form, &window);
  OffsetRect(&text_rect, -window.left, -window.top);
  EXPECT_GT(shot.CountColour(text_rect, RGB(0, 0, 128)), 20);
  ExpectDrawnInFont(shot, form, text1_, L"4",
                    Font(ui::Control(ui::MainControl::kText1).font, testing::DpiOf(form)));

  Click(command1_);
  EXPECT_EQ(AnswerMessageBox(form, "message_box.png"), L"打印成功");
  ASSERT_TRUE(printer_.WaitForJobs(1, 5s));
  EXPECT_EQ(printer_.jobs()[0], ExpectedFourLines());
}

TEST_F(GuiTest, UnknownModeSaysSo) {
  WriteConfig("usb", printer_.port());
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  SendMessageW(text1_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"2"));
  Click(command1_);
  EXPECT_EQ(AnswerMessageBox(form), L"你末JJ！");
}

TEST_F(GuiTest, SecondPressWhilePrintingIsRefused) {
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  SendMessageW(text1_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"4"));
  // The second press arrives while the first request waits for the printer.
  Click(command1_);
  Click(command1_);
  EXPECT_EQ(AnswerMessageBox(form), L"打印成功");
  ExpectNoMessageBox(1500ms);
  EXPECT_EQ(printer_.connections(), 1u);
  ASSERT_TRUE(printer_.WaitForJobs(1, 5s));
  EXPECT_EQ(printer_.jobs()[0], ExpectedFourLines());
}

TEST_F(GuiTest, ClosingWhilePrintingWaitsForTheRequest) {
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  SendMessageW(text1_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"4"));
  Click(command1_);
  PostMessageW(form, WM_CLOSE, 0, 0);
  // The request runs to its end and reports, then the window closes and,
  // being the last one, ends the tool.
  EXPECT_EQ(AnswerMessageBox(form), L"打印成功");
  ASSERT_TRUE(printer_.WaitForJobs(1, 5s));
  EXPECT_EQ(printer_.jobs()[0], ExpectedFourLines());
  EXPECT_EQ(app_->WaitForExit(10s), 0u);
}

TEST_F(GuiTest, InstructionsWindowOpensOnceAndBackReturns) {
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  Click(command2_);
  HWND help = app_->WaitForTitled(kInstructionsTitle);
  ASSERT_NE(help, nullptr);
  ExpectCentredWithClient(help, ui::InstructionsWindow());
  ExpectControls(help, ui::InstructionsWindow());
  // The window's own font, which no control uses, so only its description
  // tells it (where another process may read it).
  ExpectFontIfReadable(help, Font(*ui::InstructionsWindow().font, testing::DpiOf(help)));
  HWND back = ChildrenOf(help).at(1);
  EXPECT_EQ(Focus(help), back);
  SaveScreenshot(help, "form2.png");

  // A second press, with the window minimised, brings the same window
  // forward, restored.
  ShowWindow(help, SW_MINIMIZE);
  ASSERT_TRUE(WaitUntil([&] { return IsIconic(help) != FALSE; }, 3s));
  Click(command2_);
  EXPECT_TRUE(WaitUntil([&] { return !IsIconic(help); }, 3s));
  EXPECT_EQ(app_->Windows([&](HWND w) { return TextOf(w) == kInstructionsTitle; }).size(), 1u);
  EXPECT_TRUE(IsWindow(help));
  EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == help; }, 3s));

  Click(back);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(help); }));
  EXPECT_TRUE(IsWindowVisible(form));
  EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == form; }, 3s));

  // Opened again, it loads its text afresh.
  Click(command2_);
  HWND again = app_->WaitForTitled(kInstructionsTitle);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(TextOf(ChildrenOf(again).at(0)), Wide(ui::InstructionsText()));
}

TEST_F(GuiTest, BackReopensAClosedMainWindowAndTheToolEndsWithItsLastWindow) {
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  SendMessageW(text1_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"7"));
  Click(command2_);
  HWND help = app_->WaitForTitled(kInstructionsTitle);
  ASSERT_NE(help, nullptr);

  PostMessageW(form, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(form); }));
  EXPECT_EQ(app_->WaitForExit(500ms), static_cast<DWORD>(STILL_ACTIVE));

  Click(ChildrenOf(help).at(1));
  HWND reopened = app_->WaitForTitled(kAppTitle);
  ASSERT_NE(reopened, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(help); }));
  // A fresh window: centred, the quantity box empty, the focus on Print.
  ExpectCentredWithClient(reopened, ui::MainWindow());
  ExpectControls(reopened, ui::MainWindow());
  EXPECT_EQ(Focus(reopened), ChildrenOf(reopened).at(0));

  PostMessageW(reopened, WM_CLOSE, 0, 0);
  EXPECT_EQ(app_->WaitForExit(10s), 0u);
}

// The main window closed while the request waits for the printer, and Back
// pressed before it has reported: the operator asked for the main window
// again, so it stays once the message is answered.
TEST_F(GuiTest, BackDuringAPrintKeepsTheMainWindowWhoseCloseWaited) {
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  Click(command2_);
  HWND help = app_->WaitForTitled(kInstructionsTitle);
  ASSERT_NE(help, nullptr);
  SendMessageW(text1_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"4"));
  // A printer that takes a byte every 2 ms keeps the request waiting while
  // the close and Back arrive.
  FaultPrinter slow(FaultPrinter::Behaviour::kSlowReader);
  ASSERT_TRUE(slow.ok());
  WriteConfig("ip", slow.port());
  Click(command1_);
  PostMessageW(form, WM_CLOSE, 0, 0);
  Click(ChildrenOf(help).at(1));
  EXPECT_EQ(AnswerMessageBox(form), L"打印成功");
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(help); }));
  EXPECT_EQ(app_->WaitForExit(1000ms), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_TRUE(IsWindowVisible(form));
  ASSERT_TRUE(slow.WaitForJobs(1, 5s));
  EXPECT_EQ(slow.jobs()[0], ExpectedFourLines());
}

TEST_F(GuiTest, ClosingTheInstructionsLastEndsTheTool) {
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  Click(command2_);
  HWND help = app_->WaitForTitled(kInstructionsTitle);
  ASSERT_NE(help, nullptr);
  PostMessageW(form, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(form); }));
  PostMessageW(help, WM_CLOSE, 0, 0);
  EXPECT_EQ(app_->WaitForExit(10s), 0u);
}

}  // namespace
}  // namespace zplport

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    std::fputs("usage: zplport_gui_tests ZPLPORT_EXE SCREENSHOT_FOLDER\n", stderr);
    return 2;
  }
  zplport::g_app_exe = zplport::FromArgument(argv[1]);
  zplport::g_screenshots = zplport::FromArgument(argv[2]);
  return RUN_ALL_TESTS();
}
