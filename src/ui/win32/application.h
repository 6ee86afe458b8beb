// The running tool: its two windows, the message loop and the pump that a
// print request runs between its ticks. The application owns both window
// objects; a window object whose window was closed is kept until it is
// opened again or the tool ends, so that no object is freed while one of its
// own messages is being handled. The tool ends when the last window is gone.
#pragma once

#include <windows.h>

#include <memory>

namespace zplport {

class Form1;
class Form2;

class Application {
 public:
  explicit Application(HINSTANCE instance);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Shows the main window, opening it centred when it is not open, and
  // brings it forward. False when it could not be created.
  bool ShowMainWindow(int show_command = SW_SHOWNORMAL);
  // Opens the instructions window, or brings it forward when it is open.
  bool ShowInstructions();

  // Called by each window once it is destroyed.
  void WindowDestroyed();

  // Runs until the last window is gone; returns the exit code.
  int Run();
  // Handles every waiting message, then returns. A quit request seen here is
  // left for Run().
  void ProcessPendingEvents();

  HINSTANCE instance() const { return instance_; }

 private:
  void Dispatch(MSG& msg);

  HINSTANCE instance_;
  HICON big_icon_ = nullptr;
  HICON small_icon_ = nullptr;
  std::unique_ptr<Form1> form1_;
  std::unique_ptr<Form2> form2_;
};

}  // namespace zplport
