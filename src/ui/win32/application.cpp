#include "application.h"

#include <commctrl.h>

#include "form1.h"
#include "form2.h"
#include "resource.h"

namespace zplport {
namespace {

HICON LoadAppIcon(HINSTANCE instance, int width_metric, int height_metric) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_ZPLPORT), IMAGE_ICON,
                                       GetSystemMetrics(width_metric),
                                       GetSystemMetrics(height_metric), LR_DEFAULTCOLOR));
}

}  // namespace

Application::Application(HINSTANCE instance) : instance_(instance) {
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

bool Application::ShowMainWindow(int show_command) {
  if (!form1_ || !form1_->hwnd()) {
    form1_ = std::make_unique<Form1>(*this);
    if (!form1_->Open()) return false;
  }
  HWND window = form1_->hwnd();
  if (IsIconic(window)) {
    ShowWindow(window, SW_RESTORE);
  } else {
    ShowWindow(window, show_command);
  }
  SetForegroundWindow(window);
  return true;
}

bool Application::ShowInstructions() {
  if (!form2_ || !form2_->hwnd()) {
    form2_ = std::make_unique<Form2>(*this);
    if (!form2_->Open()) return false;
  }
  HWND window = form2_->hwnd();
  ShowWindow(window, IsIconic(window) ? SW_RESTORE : SW_SHOWNORMAL);
  SetForegroundWindow(window);
  return true;
}

void Application::WindowDestroyed() {
  const bool main_open = form1_ && form1_->hwnd();
  const bool instructions_open = form2_ && form2_->hwnd();
  if (!main_open && !instructions_open) PostQuitMessage(0);
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
