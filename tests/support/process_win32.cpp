#include "support/process.h"

#include <windows.h>

#include <thread>

namespace zplport::testing {
namespace {

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

// One argument as the C runtime's command-line parser reads it back.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes double only where a quote follows them.
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// The child writes its lines through the C runtime in text mode: CR LF.
std::string WithLfLineEnds(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

}  // namespace

ProcessResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder, std::chrono::milliseconds timeout) {
  ProcessResult result;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return result;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);

  std::wstring command_line = Quoted(program.wstring());
  for (const std::string& arg : args) command_line += L" " + Quoted(Widen(arg));

  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                      0, nullptr, folder.c_str(), &startup, &info);
  // Only the child holds the write end now, so the reader sees the end of
  // the output when the child ends.
  CloseHandle(write_end);
  if (!started) {
    CloseHandle(read_end);
    return result;
  }

  std::string out;
  std::thread reader([&] {
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
  });

  if (WaitForSingleObject(info.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
    result.timed_out = true;
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, INFINITE);
  }
  reader.join();
  CloseHandle(read_end);

  DWORD code = 0;
  if (!result.timed_out && GetExitCodeProcess(info.hProcess, &code)) {
    result.exit_code = static_cast<int>(code);
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  result.out = WithLfLineEnds(out);
  return result;
}

}  // namespace zplport::testing
