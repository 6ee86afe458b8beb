// The main window: the quantity box, the Print and Instructions buttons. It
// is the print host of the requests it runs and owns their connection and
// outgoing text (PrintHost). Its presses and close requests go to the
// Application, whose decisions it obeys.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "base_window.h"
#include "layout.h"
#include "printing/print_host.h"

namespace zplport {

class Application;

class Form1 : public BaseWindow<Form1>, public PrintHost {
 public:
  explicit Form1(Application& app) : app_(app) {}

  static const wchar_t* ClassName() { return L"ZplportForm1"; }

  // Creates the window, hidden, sized for its DPI and centred.
  bool Open();

  // Runs one print request, telling the Application when it starts and ends.
  void RunRequest();

  // PrintHost
  std::string QuantityText() override;
  void ShowMessage(std::string_view text) override;
  void ProcessPendingEvents() override;

  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnDestroyed();

 private:
  void Form_Load();
  void Command1_Click();
  void Command2_Click();
  void ApplyLayout(UINT dpi);
  LRESULT OnCommand(WPARAM wparam);
  LRESULT OnCtlColorEdit(HDC dc, HWND control);
  void OnActivate(WPARAM wparam);
  void OnDpiChanged(UINT dpi, const RECT& suggested);

  Application& app_;
  HWND Command1 = nullptr;
  HWND Text1 = nullptr;
  HWND Label1 = nullptr;
  HWND Command2 = nullptr;
  UniqueFont command1_font_;
  UniqueFont text1_font_;
  UniqueFont label1_font_;
  UniqueFont command2_font_;
  HWND last_focus_ = nullptr;
};

}  // namespace zplport
