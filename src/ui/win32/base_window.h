// The common shape of the tool's top-level windows: one window class per C++
// class T, whose static window procedure finds its T through the pointer
// stored at WM_NCCREATE and forwards every message to T::HandleMessage.
// An exception that a handler lets out is shown in a message box instead of
// ending the program. The T object outlives its window: when the window is gone hwnd() is null
// and T::OnDestroyed() has been called; whoever owns the T decides when to
// free it.
#pragma once

#include <windows.h>

#include <string>

#include "printing/print_failure.h"
#include "ui/win32/wide_text.h"
#include "ui/window_layout.h"

namespace zplport {

template <class T>
class BaseWindow {
 public:
  BaseWindow() = default;
  BaseWindow(const BaseWindow&) = delete;
  BaseWindow& operator=(const BaseWindow&) = delete;

  HWND hwnd() const { return hwnd_; }

  // Registers T::ClassName() once per process with the given icons.
  static bool Register(HINSTANCE instance, HICON big_icon, HICON small_icon) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &BaseWindow::WindowProc;
    wc.hInstance = instance;
    wc.hIcon = big_icon;
    wc.hIconSm = small_icon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = T::ClassName();
    return RegisterClassExW(&wc) != 0;
  }

 protected:
  // A window still open when its object goes is destroyed without telling
  // the object, which is no longer whole by then.
  ~BaseWindow() {
    if (hwnd_) {
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      DestroyWindow(hwnd_);
    }
  }

  bool Create(HINSTANCE instance, const wchar_t* title, DWORD style, DWORD ex_style) {
    CreateWindowExW(ex_style, T::ClassName(), title, style, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance,
                    static_cast<T*>(this));
    return hwnd_ != nullptr;
  }

  LRESULT Default(UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(hwnd_, message, wparam, lparam);
  }

  HWND hwnd_ = nullptr;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    T* self = nullptr;
    if (message == WM_NCCREATE) {
      self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      const LRESULT result = DefWindowProcW(hwnd, message, wparam, lparam);
      self->hwnd_ = nullptr;
      self->OnDestroyed();
      return result;
    }
    try {
      return self->HandleMessage(message, wparam, lparam);
    } catch (...) {
      // Nothing may unwind through the system's frames: the operator is
      // told, and the program goes on.
      ShowFailure(hwnd, DescribeCurrentException());
      return DefWindowProcW(hwnd, message, wparam, lparam);
    }
  }

  static void ShowFailure(HWND owner, const std::string& description) noexcept {
    try {
      MessageBoxW(owner, Utf8ToWide(description).c_str(),
                  Utf8ToWide(ui::ApplicationTitle()).c_str(), MB_OK);
    } catch (...) {
      // Not even the message could be made; there is nothing left to tell.
    }
  }
};

}  // namespace zplport
