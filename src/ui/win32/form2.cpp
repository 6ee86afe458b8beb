#include "form2.h"

#include "application.h"

namespace zplport {

const wchar_t* const kInstructionsText =
    L"该程序是测试用斑马ZPL语言打印机的并口和网口测试程序。"
    L"不用安装驱动。更改打印方式，请修改CONFIG.INI文件的prtmod=lpt1(或者lpt2,lpt3等);"
    L"或者prtmod=ip;别的参数切勿测试。"
    L"请设置好打印机IP和端口后，在配置文件处修改。";

namespace {

enum ControlId : int {
  kLabel1 = 101,
  kCommand1 = 102,
};

constexpr int kClientWidth = 4680;  // twips
constexpr int kClientHeight = 3195;

constexpr FontSpec kFormFont{L"宋体", 1200, FW_NORMAL};
constexpr FontSpec kLabelFont{L"微软雅黑", 1200, FW_NORMAL};
constexpr FontSpec kButtonFont{L"微软雅黑", 1200, FW_BOLD};

constexpr ControlSpec kLabel1Spec{kLabel1, L"Static", SS_LEFT, 0, 240, 360, 4215, 2175};
constexpr ControlSpec kCommand1Spec{kCommand1, L"Button", BS_PUSHBUTTON | WS_TABSTOP, 0, 3480, 2640,
                                    975,       495};

}  // namespace

bool Form2::Open() {
  if (!Create(app_.instance(), L"说明", WS_OVERLAPPEDWINDOW, 0)) return false;
  SizeAndCentre(hwnd_, kClientWidth, kClientHeight);
  return true;
}

void Form2::Form_Load() {
  const UINT dpi = DpiForWindow(hwnd_);
  Label1 = CreateControl(hwnd_, kLabel1Spec, L"Label1", dpi);
  Command1 = CreateControl(hwnd_, kCommand1Spec, L"返回", dpi);
  ApplyLayout(dpi);
  SetWindowTextW(Label1, kInstructionsText);
  last_focus_ = Command1;
}

void Form2::ApplyLayout(UINT dpi) {
  PlaceControl(Label1, kLabel1Spec, dpi);
  PlaceControl(Command1, kCommand1Spec, dpi);
  UniqueFont label_font = CreateUiFont(kLabelFont, dpi);
  UniqueFont button_font = CreateUiFont(kButtonFont, dpi);
  SendMessageW(Label1, WM_SETFONT, reinterpret_cast<WPARAM>(label_font.get()), TRUE);
  SendMessageW(Command1, WM_SETFONT, reinterpret_cast<WPARAM>(button_font.get()), TRUE);
  form_font_ = CreateUiFont(kFormFont, dpi);
  label_font_ = std::move(label_font);
  button_font_ = std::move(button_font);
}

void Form2::Command1_Click() {
  // The main window first: were this the last window, destroying it first
  // would end the tool.
  app_.ShowMainWindow();
  DestroyWindow(hwnd_);
}

LRESULT Form2::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      Form_Load();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == kCommand1 && HIWORD(wparam) == BN_CLICKED) Command1_Click();
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(form_font_.get());
    case WM_ACTIVATE:
      OnActivate(wparam);
      return 0;
    case WM_SETFOCUS:
      if (last_focus_) SetFocus(last_focus_);
      return 0;
    case DM_GETDEFID:
      return 0;  // no default button
    case WM_DPICHANGED: {
      ApplyLayout(HIWORD(wparam));
      const RECT& r = *reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    default:
      return Default(message, wparam, lparam);
  }
}

void Form2::OnActivate(WPARAM wparam) {
  if (LOWORD(wparam) == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) last_focus_ = focus;
  } else if (last_focus_) {
    SetFocus(last_focus_);
  }
}

void Form2::OnDestroyed() {
  Label1 = Command1 = last_focus_ = nullptr;
  app_.WindowDestroyed();
}

}  // namespace zplport
