// zplport.exe: the main window, and the message loop until the last window
// is closed.
#include <windows.h>

#include "application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  zplport::Application app(instance, show_command);
  if (!app.Handle(zplport::ui::LifecycleEvent::kProgramStarted)) return 1;
  return app.Run();
}
