// Drives the real zplport.exe from outside, as an operator would, through
// the Win32 API only: finds its windows, reads their controls, presses
// buttons, answers message boxes and takes screenshots.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zplport::testing {

using namespace std::chrono_literals;

// The tool, started from a copy in `folder`; killed if still running when
// the object goes.
class RunningApp {
 public:
  RunningApp(const std::filesystem::path& exe, const std::filesystem::path& start_in);
  ~RunningApp();
  RunningApp(const RunningApp&) = delete;
  RunningApp& operator=(const RunningApp&) = delete;

  bool started() const { return process_ != nullptr; }
  DWORD thread_id(HWND window) const;

  // The first visible top-level window of the tool that `match` accepts,
  // waiting up to `timeout`; null when none came.
  HWND WaitForWindow(const std::function<bool(HWND)>& match,
                     std::chrono::milliseconds timeout = 10s) const;
  // Every visible top-level window of the tool that `match` accepts, now.
  std::vector<HWND> Windows(const std::function<bool(HWND)>& match) const;

  HWND WaitForTitled(const std::wstring& title, std::chrono::milliseconds timeout = 10s) const;
  // A message box (#32770) owned by `owner`.
  HWND WaitForMessageBox(HWND owner, std::chrono::milliseconds timeout = 10s) const;
  std::vector<HWND> MessageBoxes() const;

  // The exit code once the tool has ended, or STILL_ACTIVE after `timeout`.
  DWORD WaitForExit(std::chrono::milliseconds timeout) const;

 private:
  PROCESS_INFORMATION info_{};
  HANDLE process_ = nullptr;
};

// Polls `condition` every 20 ms until it holds or `timeout` passes.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s);

std::wstring TextOf(HWND window);  // WM_GETTEXT, answered by the owning process
std::wstring ClassOf(HWND window);
std::vector<HWND> ChildrenOf(HWND window);  // in z-order, which is the tab order
RECT RectInClient(HWND control, HWND parent);
SIZE ClientSize(HWND window);
HWND FocusOf(DWORD thread_id);
// The font the window answers to WM_GETFONT; false when it has none.
bool FontOf(HWND window, LOGFONTW& font);
UINT DpiOf(HWND window);

// Posts a click, so that a modal message box the click opens does not block
// the caller.
void Click(HWND button);
// Posts one key press to `window` through the tool's message loop.
void PressKey(HWND window, UINT virtual_key);

// The window as it is on screen, three bytes per pixel, top row first.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  // Pixels inside `rect` (screen coordinates relative to the window's top
  // left corner) that are exactly `colour`.
  int CountColour(const RECT& rect, COLORREF colour) const;
};
Screenshot Capture(HWND window);

// Where dark text pixels lie: the size of their bounding box and how many
// there are. Two texts drawn in the same font have the same ink.
struct Ink {
  int width = 0;
  int height = 0;
  int count = 0;
};
// The ink inside `rect` (relative to the screenshot's top left corner).
Ink InkIn(const Screenshot& shot, const RECT& rect);
// The ink of `text` drawn here with `font` into a box of `width` × `height`
// with DrawTextW `format`, black on `background`.
Ink InkOfText(const std::wstring& text, const LOGFONTW& font, int width, int height, UINT format,
              COLORREF background);

}  // namespace zplport::testing
