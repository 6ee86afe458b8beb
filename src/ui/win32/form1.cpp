#include "form1.h"

#include "application.h"
#include "printing/print_request.h"
#include "wide_text.h"

namespace zplport {
namespace {

// Control identifiers stay clear of IDOK and IDCANCEL, which the dialog
// keys send for Enter and Esc.
enum ControlId : int {
  kCommand1 = 101,
  kText1 = 102,
  kLabel1 = 103,
  kCommand2 = 104,
};

constexpr int kClientWidth = 4680;  // twips
constexpr int kClientHeight = 3195;

constexpr FontSpec kButtonFont{L"微软雅黑", 1425, FW_BOLD};
constexpr FontSpec kTextFont{L"微软雅黑", 2400, FW_BOLD};

constexpr DWORD kButtonStyle = BS_PUSHBUTTON | WS_TABSTOP;

// In tab order, which is the order of creation.
constexpr ControlSpec kCommand1Spec{kCommand1, L"Button", kButtonStyle, 0, 2400, 2280, 1455, 615};
constexpr ControlSpec kText1Spec{
    kText1, L"Edit", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, 840, 1200, 3015, 855};
constexpr ControlSpec kLabel1Spec{kLabel1, L"Static", SS_LEFT, 0, 120, 120, 3015, 615};
constexpr ControlSpec kCommand2Spec{kCommand2, L"Button", kButtonStyle, 0, 840, 2280, 1335, 615};

constexpr COLORREF kNavy = RGB(0, 0, 128);

}  // namespace

bool Form1::Open() {
  if (!Create(app_.instance(), kApplicationTitle, WS_OVERLAPPEDWINDOW, 0)) return false;
  SizeAndCentre(hwnd_, kClientWidth, kClientHeight);
  return true;
}

void Form1::Form_Load() {
  const UINT dpi = DpiForWindow(hwnd_);
  Command1 = CreateControl(hwnd_, kCommand1Spec, L"打印", dpi);
  Text1 = CreateControl(hwnd_, kText1Spec, L"", dpi);
  Label1 = CreateControl(hwnd_, kLabel1Spec, L"打印数量：", dpi);
  Command2 = CreateControl(hwnd_, kCommand2Spec, L"说明", dpi);
  ApplyLayout(dpi);
  last_focus_ = Command1;
}

void Form1::ApplyLayout(UINT dpi) {
  PlaceControl(Command1, kCommand1Spec, dpi);
  PlaceControl(Text1, kText1Spec, dpi);
  PlaceControl(Label1, kLabel1Spec, dpi);
  PlaceControl(Command2, kCommand2Spec, dpi);
  // The controls take the new fonts before the old ones are deleted.
  UniqueFont button_font = CreateUiFont(kButtonFont, dpi);
  UniqueFont text_font = CreateUiFont(kTextFont, dpi);
  for (HWND button : {Command1, Command2}) {
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(button_font.get()), TRUE);
  }
  for (HWND text : {Text1, Label1}) {
    SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(text_font.get()), TRUE);
  }
  button_font_ = std::move(button_font);
  text_font_ = std::move(text_font);
}

void Form1::Command1_Click() {
  // A second press while the ticks of a request run is refused by the
  // request itself.
  RunPrintRequest(*this);
  if (close_pending_ && !printing()) DestroyWindow(hwnd_);
}

void Form1::Command2_Click() { app_.ShowInstructions(); }

std::string Form1::QuantityText() {
  const int length = GetWindowTextLengthW(Text1);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(Text1, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return WideToUtf8(text);
}

void Form1::ShowMessage(std::string_view text) {
  MessageBoxW(hwnd_, Utf8ToWide(text).c_str(), kApplicationTitle, MB_OK);
}

void Form1::ProcessPendingEvents() { app_.ProcessPendingEvents(); }

LRESULT Form1::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      Form_Load();
      return 0;
    case WM_COMMAND:
      return OnCommand(wparam);
    case WM_CTLCOLOREDIT:
      return OnCtlColorEdit(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_ACTIVATE:
      OnActivate(wparam);
      return 0;
    case WM_SETFOCUS:
      if (last_focus_) SetFocus(last_focus_);
      return 0;
    case DM_GETDEFID:
      return 0;  // no default button
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_CLOSE:
      // The request under way still uses this window; it closes when the
      // request returns.
      if (printing()) {
        close_pending_ = true;
        return 0;
      }
      DestroyWindow(hwnd_);
      return 0;
    default:
      return Default(message, wparam, lparam);
  }
}

LRESULT Form1::OnCommand(WPARAM wparam) {
  const int id = LOWORD(wparam);
  const int code = HIWORD(wparam);
  if (id == kCommand1 && code == BN_CLICKED) {
    Command1_Click();
  } else if (id == kCommand2 && code == BN_CLICKED) {
    Command2_Click();
  } else if (id == kText1 && code == EN_SETFOCUS) {
    // Tabbing to a button makes it the default for the moment, as in a
    // dialog; leaving it for the quantity box gives that back.
    for (HWND button : {Command1, Command2}) {
      if (GetWindowLongPtrW(button, GWL_STYLE) & BS_DEFPUSHBUTTON) {
        SendMessageW(button, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
      }
    }
  }
  return 0;
}

LRESULT Form1::OnCtlColorEdit(HDC dc, HWND control) {
  if (control != Text1)
    return Default(WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(control));
  SetTextColor(dc, kNavy);
  SetBkColor(dc, GetSysColor(COLOR_WINDOW));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

void Form1::OnActivate(WPARAM wparam) {
  // A plain window forgets its focused control when it is deactivated; keep
  // it, as a dialog does.
  if (LOWORD(wparam) == WA_INACTIVE) {
    HWND focus = GetFocus();
    if (focus && IsChild(hwnd_, focus)) last_focus_ = focus;
  } else if (last_focus_) {
    SetFocus(last_focus_);
  }
}

void Form1::OnDpiChanged(UINT dpi, const RECT& suggested) {
  ApplyLayout(dpi);
  SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1::OnDestroyed() {
  Command1 = Text1 = Label1 = Command2 = last_focus_ = nullptr;
  app_.WindowDestroyed();
}

}  // namespace zplport
