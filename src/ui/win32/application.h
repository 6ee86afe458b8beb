// The running tool: its two windows, the lifecycle rules they obey, the
// message loop and the pump that a print request runs between its ticks.
// The windows report their events here; the decisions of the rules open,
// bring forward and destroy them, and end the tool when no window is left.
// The application owns both window objects; a window object whose window
// was destroyed is kept until it is opened again or the tool ends, so that
// no object is freed while one of its own messages is being handled.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>

#include "ui/window_lifecycle.h"

namespace zplport {

class Form1;
class Form2;

class Application {
 public:
  // `show_command` is how the first main window is shown (wWinMain's).
  Application(HINSTANCE instance, int show_command);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // False when a window the rules asked for could not be created.
  bool Handle(ui::LifecycleEvent event);

  // A modal message box over `owner` under the application's title: every
  // window of the tool is disabled while it is up, as the operator must
  // answer it before anything else.
  void ShowMessage(HWND owner, std::string_view text);

  // Runs until the last window is gone; returns the exit code.
  int Run();
  // Handles every waiting message, then returns. A quit request seen here is
  // left for Run().
  void ProcessPendingEvents();

  HINSTANCE instance() const { return instance_; }

 private:
  bool Carry(ui::Decision decision);
  void Dispatch(MSG& msg);

  HINSTANCE instance_;
  int first_show_command_;
  HICON big_icon_ = nullptr;
  HICON small_icon_ = nullptr;
  ui::WindowLifecycle lifecycle_;
  std::unique_ptr<Form1> form1_;
  std::unique_ptr<Form2> form2_;
};

}  // namespace zplport
