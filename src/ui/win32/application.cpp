#include "application.h"

#include <commctrl.h>

#include "form1.h"
#include "form2.h"
#include "resource.h"
#include "ui/window_layout.h"
#include "wide_text.h"

namespace zplport {
namespace {

HICON LoadAppIcon(HINSTANCE instance, int width_metric, int height_metric) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_ZPLPORT), IMAGE_ICON,
                                       GetSystemMetrics(width_metric),
                                       GetSystemMetrics(height_metric), LR_DEFAULTCOLOR));
}

// Shown, restored if minimised, raised and activated.
void BringForward(HWND window, int show_command = SW_SHOWNORMAL) {
  ShowWindow(window, IsIconic(window) ? SW_RESTORE : show_command);
  SetForegroundWindow(window);
}

}  // namespace

Application::Application(HINSTANCE instance, int show_command)
    : instance_(instance), first_show_command_(show_command) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  big_icon_ = LoadAppIcon(instance, SM_CXICON, SM_CYICON);
  small_icon_ = LoadAppIcon(instance, SM_CXSMICON, SM_CYSMICON);
  Form1::Register(instance, big_icon_, small_icon_);
  Form2::Register(instance, big_icon_, small_icon_);
}

Application::~Application() {
  form2_.reset();
  form1_.reset();
  if (big_icon_) DestroyIcon(big_icon_);
  if (small_icon_) DestroyIcon(small_icon_);
}

bool Application::Handle(ui::LifecycleEvent event) {
  bool ok = true;
  const bool printing = form1_ && form1_->printing();
  for (ui::Decision decision : lifecycle_.Handle(event, printing)) ok = Carry(decision) && ok;
  return ok;
}

bool Application::Carry(ui::Decision decision) {
  switch (decision) {
    case ui::Decision::kRunRequest:
      if (form1_ && form1_->hwnd()) form1_->RunRequest();
      return true;
    case ui::Decision::kOpenMain:
      form1_ = std::make_unique<Form1>(*this);
      if (!form1_->Open()) return false;
      BringForward(form1_->hwnd(), first_show_command_);
      first_show_command_ = SW_SHOWNORMAL;
      return true;
    case ui::Decision::kBringMainForward:
      if (form1_ && form1_->hwnd()) BringForward(form1_->hwnd());
      return true;
    case ui::Decision::kCloseMain:
      if (form1_ && form1_->hwnd()) DestroyWindow(form1_->hwnd());
      return true;
    case ui::Decision::kOpenInstructions:
      form2_ = std::make_unique<Form2>(*this);
      if (!form2_->Open()) return false;
      BringForward(form2_->hwnd());
      return true;
    case ui::Decision::kBringInstructionsForward:
      if (form2_ && form2_->hwnd()) BringForward(form2_->hwnd());
      return true;
    case ui::Decision::kCloseInstructions:
      if (form2_ && form2_->hwnd()) DestroyWindow(form2_->hwnd());
      return true;
    case ui::Decision::kEndProgram:
      PostQuitMessage(0);
      return true;
  }
  return true;
}

void Application::ShowMessage(HWND owner, std::string_view text) {
  // MessageBoxW disables its owner only.
  HWND instructions = form2_ ? form2_->hwnd() : nullptr;
  const bool disable = instructions && instructions != owner && IsWindowEnabled(instructions);
  if (disable) EnableWindow(instructions, FALSE);
  MessageBoxW(owner, Utf8ToWide(text).c_str(), Utf8ToWide(ui::ApplicationTitle()).c_str(), MB_OK);
  if (disable && IsWindow(instructions)) EnableWindow(instructions, TRUE);
}

int Application::Run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) Dispatch(msg);
  return static_cast<int>(msg.wParam);
}

void Application::ProcessPendingEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    Dispatch(msg);
  }
}

void Application::Dispatch(MSG& msg) {
  // Tab and the arrow keys move between the controls of our windows as in a
  // dialog. Neither window answers DM_GETDEFID, so Enter in the quantity box
  // presses no button (it arrives as IDOK, which no control has).
  if (msg.hwnd) {
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    const bool ours = (form1_ && root == form1_->hwnd()) || (form2_ && root == form2_->hwnd());
    if (root && ours && IsDialogMessageW(root, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace zplport
