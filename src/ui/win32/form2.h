// The instructions window: a fixed help text and the Back button. Back and
// close requests go to the Application, which destroys the window and
// brings the main window back (opening it again if it was closed).
#pragma once

#include <windows.h>

#include "base_window.h"
#include "layout.h"

namespace zplport {

class Application;

class Form2 : public BaseWindow<Form2> {
 public:
  explicit Form2(Application& app) : app_(app) {}

  static const wchar_t* ClassName() { return L"ZplportForm2"; }

  // Creates the window, hidden, sized for its DPI and centred.
  bool Open();

  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnDestroyed();

 private:
  void Form_Load();
  void Command1_Click();
  void ApplyLayout(UINT dpi);
  void OnActivate(WPARAM wparam);

  Application& app_;
  HWND Label1 = nullptr;
  HWND Command1 = nullptr;
  UniqueFont form_font_;  // the window's own font, answered to WM_GETFONT
  UniqueFont label_font_;
  UniqueFont button_font_;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  HWND last_focus_ = nullptr;
};

}  // namespace zplport
