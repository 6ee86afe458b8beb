#include "app_driver.h"

#include <algorithm>
#include <climits>
#include <thread>

namespace zplport::testing {
namespace {

constexpr UINT kAnswerTimeoutMs = 5000;

struct EnumState {
  DWORD process_id;
  const std::function<bool(HWND)>* match;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM state_address) {
  auto& state = *reinterpret_cast<EnumState*>(state_address);
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  if (process_id == state.process_id && IsWindowVisible(window) && (*state.match)(window)) {
    state.found.push_back(window);
  }
  return TRUE;
}

}  // namespace

RunningApp::RunningApp(const std::filesystem::path& exe, const std::filesystem::path& start_in) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring command_line = L"\"" + exe.wstring() + L"\"";
  if (CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     start_in.c_str(), &startup, &info_)) {
    process_ = info_.hProcess;
    WaitForInputIdle(process_, 10000);
  }
}

RunningApp::~RunningApp() {
  if (!process_) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

DWORD RunningApp::thread_id(HWND window) const { return GetWindowThreadProcessId(window, nullptr); }

std::vector<HWND> RunningApp::Windows(const std::function<bool(HWND)>& match) const {
  EnumState state{info_.dwProcessId, &match, {}};
  if (process_) EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

HWND RunningApp::WaitForWindow(const std::function<bool(HWND)>& match,
                               std::chrono::milliseconds timeout) const {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        const auto windows = Windows(match);
        found = windows.empty() ? nullptr : windows.front();
        return found != nullptr;
      },
      timeout);
  return found;
}

HWND RunningApp::WaitForTitled(const std::wstring& title, std::chrono::milliseconds timeout) const {
  return WaitForWindow([&](HWND w) { return ClassOf(w) != L"#32770" && TextOf(w) == title; },
                       timeout);
}

HWND RunningApp::WaitForMessageBox(HWND owner, std::chrono::milliseconds timeout) const {
  return WaitForWindow(
      [&](HWND w) { return ClassOf(w) == L"#32770" && GetWindow(w, GW_OWNER) == owner; }, timeout);
}

std::vector<HWND> RunningApp::MessageBoxes() const {
  return Windows([](HWND w) { return ClassOf(w) == L"#32770"; });
}

DWORD RunningApp::WaitForExit(std::chrono::milliseconds timeout) const {
  if (!process_) return STILL_ACTIVE;
  WaitForSingleObject(process_, static_cast<DWORD>(timeout.count()));
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_, &code);
  return code;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
}

std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs,
                           &length)) {
    return L"<no answer>";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &copied);
  text.resize(copied);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::vector<HWND> ChildrenOf(HWND window) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

RECT RectInClient(HWND control, HWND parent) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

SIZE ClientSize(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

HWND FocusOf(DWORD thread_id) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(thread_id, &info) ? info.hwndFocus : nullptr;
}

bool FontOf(HWND window, LOGFONTW& font) {
  DWORD_PTR handle = 0;
  if (!SendMessageTimeoutW(window, WM_GETFONT, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &handle) ||
      handle == 0) {
    return false;
  }
  return GetObjectW(reinterpret_cast<HFONT>(handle), sizeof font, &font) == sizeof font;
}

UINT DpiOf(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get_dpi) {
    if (const UINT dpi = get_dpi(window)) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return static_cast<UINT>(dpi);
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void PressKey(HWND window, UINT virtual_key) {
  const UINT scan = MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC);
  PostMessageW(window, WM_KEYDOWN, virtual_key, 1 | (static_cast<LPARAM>(scan) << 16));
  PostMessageW(window, WM_KEYUP, virtual_key,
               1 | (static_cast<LPARAM>(scan) << 16) | (LPARAM{3} << 30));
}

int Screenshot::CountColour(const RECT& rect, COLORREF colour) const {
  int count = 0;
  for (int y = std::max(0, static_cast<int>(rect.top));
       y < std::min(height, static_cast<int>(rect.bottom)); ++y) {
    for (int x = std::max(0, static_cast<int>(rect.left));
         x < std::min(width, static_cast<int>(rect.right)); ++x) {
      const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      if (RGB(p[0], p[1], p[2]) == colour) ++count;
    }
  }
  return count;
}

Screenshot Capture(HWND window) {
  // Straight from the screen: the window was brought to the front, and the
  // X server holds what the operator would see.
  RECT rect{};
  GetWindowRect(window, &rect);
  Screenshot shot;
  shot.width = rect.right - rect.left;
  shot.height = rect.bottom - rect.top;

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = shot.width;
  info.bmiHeader.biHeight = -shot.height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, shot.width, shot.height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const auto* bgra = static_cast<const std::uint8_t*>(bits);
  shot.rgb.resize(static_cast<std::size_t>(shot.width) * shot.height * 3);
  for (std::size_t i = 0; i < static_cast<std::size_t>(shot.width) * shot.height; ++i) {
    shot.rgb[i * 3] = bgra[i * 4 + 2];
    shot.rgb[i * 3 + 1] = bgra[i * 4 + 1];
    shot.rgb[i * 3 + 2] = bgra[i * 4];
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return shot;
}

namespace {

bool IsInk(const std::uint8_t* rgb) {
  // Black or navy text; the grey and white backgrounds and the light frame
  // lines stay above this.
  return rgb[0] * 299 + rgb[1] * 587 + rgb[2] * 114 < 100 * 1000;
}

}  // namespace

Ink InkIn(const Screenshot& shot, const RECT& rect) {
  Ink ink;
  int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
  for (int y = std::max(0, static_cast<int>(rect.top));
       y < std::min(shot.height, static_cast<int>(rect.bottom)); ++y) {
    for (int x = std::max(0, static_cast<int>(rect.left));
         x < std::min(shot.width, static_cast<int>(rect.right)); ++x) {
      if (!IsInk(&shot.rgb[(static_cast<std::size_t>(y) * shot.width + x) * 3])) continue;
      ++ink.count;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (ink.count > 0) {
    ink.width = right - left + 1;
    ink.height = bottom - top + 1;
  }
  return ink;
}

Ink InkOfText(const std::wstring& text, const LOGFONTW& font, int width, int height, UINT format,
              COLORREF background) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old_bitmap = SelectObject(memory, bitmap);
  HFONT handle = CreateFontIndirectW(&font);
  HGDIOBJ old_font = SelectObject(memory, handle);
  RECT box{0, 0, width, height};
  HBRUSH fill = CreateSolidBrush(background);
  FillRect(memory, &box, fill);
  DeleteObject(fill);
  SetTextColor(memory, RGB(0, 0, 0));
  SetBkMode(memory, TRANSPARENT);
  DrawTextW(memory, text.c_str(), static_cast<int>(text.size()), &box, format);
  GdiFlush();

  Screenshot drawn;
  drawn.width = width;
  drawn.height = height;
  drawn.rgb.resize(static_cast<std::size_t>(width) * height * 3);
  const auto* bgra = static_cast<const std::uint8_t*>(bits);
  for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
    drawn.rgb[i * 3] = bgra[i * 4 + 2];
    drawn.rgb[i * 3 + 1] = bgra[i * 4 + 1];
    drawn.rgb[i * 3 + 2] = bgra[i * 4];
  }
  SelectObject(memory, old_font);
  DeleteObject(handle);
  SelectObject(memory, old_bitmap);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return InkIn(drawn, RECT{0, 0, width, height});
}

}  // namespace zplport::testing
