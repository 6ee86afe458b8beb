#include "form1.h"

#include <iterator>

#include "application.h"
#include "printing/print_request.h"
#include "wide_text.h"

namespace zplport {
namespace {

using ui::MainControl;

const ui::ControlDesc& Desc(MainControl control) { return ui::Control(control); }

std::size_t Tab(MainControl control) { return static_cast<std::size_t>(control); }

}  // namespace

bool Form1::Open() {
  const ui::WindowDesc& desc = ui::MainWindow();
  if (!Create(app_.instance(), Utf8ToWide(desc.title).c_str(), WS_OVERLAPPEDWINDOW, 0)) {
    return false;
  }
  SizeAndCentre(hwnd_, desc);
  return true;
}

// Created in tab order, which is the order of creation.
void Form1::Form_Load() {
  const UINT dpi = DpiForWindow(hwnd_);
  HWND* controls[] = {&Command1, &Text1, &Label1, &Command2};
  for (std::size_t tab = 0; tab < std::size(controls); ++tab) {
    *controls[tab] = CreateControl(hwnd_, ui::MainWindow().controls[tab], tab, dpi);
  }
  ApplyLayout(dpi);
  last_focus_ = Command1;
}

void Form1::ApplyLayout(UINT dpi) {
  struct {
    HWND control;
    MainControl desc;
    UniqueFont& font;
  } controls[] = {
      {Command1, MainControl::kCommand1, command1_font_},
      {Text1, MainControl::kText1, text1_font_},
      {Label1, MainControl::kLabel1, label1_font_},
      {Command2, MainControl::kCommand2, command2_font_},
  };
  for (auto& c : controls) {
    PlaceControl(c.control, Desc(c.desc), dpi);
    // The control takes the new font before the old one is deleted.
    UniqueFont font = CreateUiFont(Desc(c.desc).font, dpi);
    SendMessageW(c.control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    c.font = std::move(font);
  }
}

void Form1::RunRequest() {
  RunPrintRequest(*this);
  app_.Handle(ui::LifecycleEvent::kRequestEnded);
}

void Form1::Command1_Click() { app_.Handle(ui::LifecycleEvent::kPrintPressed); }

void Form1::Command2_Click() { app_.Handle(ui::LifecycleEvent::kInstructionsPressed); }

std::string Form1::QuantityText() {
  const int length = GetWindowTextLengthW(Text1);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(Text1, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return WideToUtf8(text);
}

void Form1::ShowMessage(std::string_view text) { app_.ShowMessage(hwnd_, text); }

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
      // A close asked for while a request runs waits for its end.
      app_.Handle(ui::LifecycleEvent::kMainCloseRequested);
      return 0;
    default:
      return Default(message, wparam, lparam);
  }
}

LRESULT Form1::OnCommand(WPARAM wparam) {
  const int id = LOWORD(wparam);
  const int code = HIWORD(wparam);
  if (id == ControlId(Tab(MainControl::kCommand1)) && code == BN_CLICKED) {
    Command1_Click();
  } else if (id == ControlId(Tab(MainControl::kCommand2)) && code == BN_CLICKED) {
    Command2_Click();
  } else if (id == ControlId(Tab(MainControl::kText1)) && code == EN_SETFOCUS) {
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
  if (const auto& colour = Desc(MainControl::kText1).text_colour) {
    SetTextColor(dc, RGB(colour->red, colour->green, colour->blue));
  }
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

void Form1::OnDestroyed() { Command1 = Text1 = Label1 = Command2 = last_focus_ = nullptr; }

}  // namespace zplport
