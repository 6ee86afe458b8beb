#include "form2.h"

#include "application.h"
#include "wide_text.h"

namespace zplport {
namespace {

using ui::InstructionsControl;

const ui::ControlDesc& Desc(InstructionsControl control) { return ui::Control(control); }

int Id(InstructionsControl control) { return ControlId(static_cast<std::size_t>(control)); }

}  // namespace

bool Form2::Open() {
  const ui::WindowDesc& desc = ui::InstructionsWindow();
  if (!Create(app_.instance(), Utf8ToWide(desc.title).c_str(), WS_OVERLAPPEDWINDOW, 0)) {
    return false;
  }
  SizeAndCentre(hwnd_, desc);
  return true;
}

// The text is set as the window loads, so a window opened again shows it
// afresh.
void Form2::Form_Load() {
  dpi_ = DpiForWindow(hwnd_);
  Label1 = CreateControl(hwnd_, Desc(InstructionsControl::kLabel1),
                         static_cast<std::size_t>(InstructionsControl::kLabel1), dpi_);
  Command1 = CreateControl(hwnd_, Desc(InstructionsControl::kCommand1),
                           static_cast<std::size_t>(InstructionsControl::kCommand1), dpi_);
  ApplyLayout(dpi_);
  last_focus_ = Command1;
}

void Form2::ApplyLayout(UINT dpi) {
  dpi_ = dpi;
  PlaceControl(Label1, Desc(InstructionsControl::kLabel1), dpi);
  PlaceControl(Command1, Desc(InstructionsControl::kCommand1), dpi);
  UniqueFont label_font = CreateUiFont(Desc(InstructionsControl::kLabel1).font, dpi);
  UniqueFont button_font = CreateUiFont(Desc(InstructionsControl::kCommand1).font, dpi);
  SendMessageW(Label1, WM_SETFONT, reinterpret_cast<WPARAM>(label_font.get()), TRUE);
  SendMessageW(Command1, WM_SETFONT, reinterpret_cast<WPARAM>(button_font.get()), TRUE);
  if (const auto& own_font = ui::InstructionsWindow().font) {
    form_font_ = CreateUiFont(*own_font, dpi);
  }
  label_font_ = std::move(label_font);
  button_font_ = std::move(button_font);
}

void Form2::Command1_Click() { app_.Handle(ui::LifecycleEvent::kBackPressed); }

LRESULT Form2::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      Form_Load();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == Id(InstructionsControl::kCommand1) && HIWORD(wparam) == BN_CLICKED) {
        Command1_Click();
      }
      return 0;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item.hwndItem != Label1) return Default(message, wparam, lparam);
      DrawWrappedText(item, Desc(InstructionsControl::kLabel1), label_font_.get(), dpi_);
      return TRUE;
    }
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
    case WM_CLOSE:
      app_.Handle(ui::LifecycleEvent::kInstructionsCloseRequested);
      return 0;
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

void Form2::OnDestroyed() { Label1 = Command1 = last_focus_ = nullptr; }

}  // namespace zplport
