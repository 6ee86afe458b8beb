// The Windows halves of the platform layer, run under Wine in the cross
// build: code page, error words, the executable's folder and the overlapped
// port device.
#ifdef _WIN32

// winsock2.h brings windows.h, in the order Winsock needs.
#include <winsock2.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/os_error.h"
#include "platform/port_device.h"
#include "platform/program_folder.h"
#include "platform/text_encoding.h"
#include "support/temp_dir.h"

namespace zplport {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::ScopedTempDir;
using Clock = std::chrono::steady_clock;

constexpr auto kLimit = std::chrono::seconds(5);  // bound of every wait here

TEST(CodePageTest, AnsiCodePageIsGbk) {
  // The INI files and the printer speak the system's ANSI code page.
  EXPECT_EQ(GetACP(), 936u);
}

TEST(GbkToUtf8Win32Test, Conversions) {
  struct Case {
    const char* name;
    std::string gbk, utf8;
  } cases[] = {
      {"two-byte characters", "\xD6\xD0\xCE\xC4", "中文"},
      {"first GBK and last GB2312 characters", "\x81\x40\xF7\xFE", "丂齄"},
      {"full-width space", "\xA1\xA1", "\xE3\x80\x80"},
      {"euro sign of code page 936", "\x80", "€"},
      {"lead byte with a bad second byte keeps it",
       "\x81\x7F"
       "A",
       "\xEF\xBF\xBD\x7F"
       "A"},
      {"user-defined area is no text", "\xA2\xA0", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"0xFF is never GBK", "\xFF", "\xEF\xBF\xBD"},
      {"lead byte alone", "\xB0", "\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8) << c.name;
  }
}

TEST(DescribeOsErrorWin32Test, Descriptions) {
  struct Case {
    int code;
    const char* text;
    OsErrorKind kind;
  } cases[] = {
      {WSAECONNREFUSED, "连接被拒绝", OsErrorKind::kRefused},
      {WSAETIMEDOUT, "连接超时", OsErrorKind::kTimedOut},
      {ERROR_SEM_TIMEOUT, "连接超时", OsErrorKind::kTimedOut},
      {WSAEHOSTUNREACH, "无法访问主机", OsErrorKind::kUnreachable},
      {WSAENETUNREACH, "无法访问网络", OsErrorKind::kUnreachable},
      {WSAECONNRESET, "连接被对方重置", OsErrorKind::kReset},
      {WSAECONNABORTED, "连接已中止", OsErrorKind::kReset},
      {ERROR_BROKEN_PIPE, "对方已关闭连接", OsErrorKind::kBrokenPipe},
      {ERROR_NO_DATA, "对方已关闭连接", OsErrorKind::kBrokenPipe},
      {ERROR_PIPE_NOT_CONNECTED, "对方已关闭连接", OsErrorKind::kBrokenPipe},
      {WSAEWOULDBLOCK, "资源暂时不可用，请稍后重试", OsErrorKind::kWouldBlock},
      {ERROR_FILE_NOT_FOUND, "设备或文件不存在", OsErrorKind::kNotFound},
      {ERROR_PATH_NOT_FOUND, "设备或文件不存在", OsErrorKind::kNotFound},
      {ERROR_ACCESS_DENIED, "没有访问权限", OsErrorKind::kOther},
      {ERROR_SHARING_VIOLATION, "设备忙", OsErrorKind::kOther},
      {ERROR_BUSY, "设备忙", OsErrorKind::kOther},
      {ERROR_DISK_FULL, "设备空间不足", OsErrorKind::kOther},
      {ERROR_HANDLE_DISK_FULL, "设备空间不足", OsErrorKind::kOther},
      {ERROR_NOT_READY, "设备未就绪", OsErrorKind::kOther},
      {ERROR_IO_DEVICE, "输入/输出错误", OsErrorKind::kOther},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DescribeOsError(OsError{c.code}), c.text) << c.code;
    EXPECT_EQ(KindOf(OsError{c.code}), c.kind) << c.code;
  }
}

TEST(DescribeOsErrorWin32Test, UnknownCodeNamesTheNumber) {
  // ERROR_BAD_EXE_FORMAT has nothing to do with ports or sockets.
  const std::string text = DescribeOsError(OsError{ERROR_BAD_EXE_FORMAT});
  EXPECT_EQ(text.rfind("系统错误 " + std::to_string(ERROR_BAD_EXE_FORMAT), 0), 0u) << text;
  EXPECT_EQ(text.find('\n'), std::string::npos) << text;
}

TEST(DescribeResolverErrorWin32Test, WinsockCodes) {
  EXPECT_EQ(DescribeResolverError(WSAHOST_NOT_FOUND), "找不到主机");
  EXPECT_EQ(DescribeResolverError(WSATRY_AGAIN), "域名解析暂时失败");
  EXPECT_EQ(DescribeResolverError(WSANO_RECOVERY), "域名解析失败");
  EXPECT_EQ(DescribeResolverError(WSANOTINITIALISED), "网络功能尚未初始化");
  EXPECT_EQ(DescribeResolverError(123456).rfind("域名解析错误 123456", 0), 0u);
}

TEST(OsErrorWin32Test, LastOsErrorReadsGetLastError) {
  SetLastError(ERROR_SHARING_VIOLATION);
  EXPECT_EQ(LastOsError().code, ERROR_SHARING_VIOLATION);
  WSASetLastError(WSAECONNRESET);
  EXPECT_EQ(KindOf(LastOsError()), OsErrorKind::kReset);
}

// Runs this test binary again with `filter`; its exit code, or -1.
int RunSelf(const fs::path& exe, const std::wstring& filter) {
  std::wstring command = L"\"" + exe.wstring() + L"\" --gtest_filter=" + filter;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

fs::path OwnExecutable() {
  std::wstring name(32768, L'\0');
  name.resize(GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size())));
  return name;
}

// Only meaningful in a copy started by the test below, which names the
// folder it expects in the environment.
TEST(ExecutableFolderWin32Test, ReportsTheFolderOfThisCopy) {
  const wchar_t* expected = _wgetenv(L"ZPLPORT_EXPECTED_FOLDER");
  if (expected == nullptr) GTEST_SKIP() << "run by ExecutableFolderWin32Test.ChineseAndLongFolders";
  EXPECT_EQ(detail::ExecutableFolder().wstring(), std::wstring(expected));
}

TEST(ExecutableFolderWin32Test, ChineseAndLongFolders) {
  ScopedTempDir temp;
  const fs::path exe = OwnExecutable();
  struct Case {
    const char* name;
    fs::path folder;
  } cases[] = {
      {"Chinese folder name", temp.path() / L"标签打印机 测试"},
      // Longer than MAX_PATH as a whole, so the first buffer is too small.
      {"long path", temp.path() / std::wstring(120, L'a') / std::wstring(120, L'b') / L"中"},
  };
  for (const auto& c : cases) {
    // Without long-path support the system cannot even store the copy.
    const bool long_path = (c.folder / exe.filename()).wstring().size() >= MAX_PATH;
    std::error_code ec;
    fs::create_directories(c.folder, ec);
    if (ec && long_path) continue;
    ASSERT_FALSE(ec) << c.name;
    const fs::path copy = c.folder / exe.filename();
    fs::copy_file(exe, copy, ec);
    if (ec && long_path) continue;
    ASSERT_FALSE(ec) << c.name;
    SetEnvironmentVariableW(L"ZPLPORT_EXPECTED_FOLDER", c.folder.c_str());
    const int code = RunSelf(copy, L"ExecutableFolderWin32Test.ReportsTheFolderOfThisCopy");
    SetEnvironmentVariableW(L"ZPLPORT_EXPECTED_FOLDER", nullptr);
    if (code == -1 && long_path) continue;
    EXPECT_EQ(code, 0) << c.name;
  }
}

TEST(ProgramFolderWin32Test, HasNoTrailingSeparator) {
  const std::wstring folder = detail::ExecutableFolder().wstring();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), L'\\') << fs::path(folder);
  EXPECT_TRUE(fs::exists(fs::path(folder) / OwnExecutable().filename()));
}

TEST(DefaultPortDeviceWin32Test, NamesTheDosDevice) {
  EXPECT_EQ(DefaultPortDevice(1).wstring(), L"\\\\.\\LPT1");
  EXPECT_EQ(DefaultPortDevice(4).wstring(), L"\\\\.\\LPT4");
}

// Writes all of `data`, calling again with what is left while the device is
// busy, as the port output does.
OsError WriteAll(PortDevice& port, std::string_view data) {
  const auto deadline = Clock::now() + kLimit;
  while (!data.empty() && Clock::now() < deadline) {
    const auto result = port.Write(data);
    if (result.error) return result.error;
    data.remove_prefix(result.bytes);
    if (result.bytes == 0) Sleep(1);
  }
  EXPECT_TRUE(data.empty()) << data.size() << " bytes left unwritten";
  return {};
}

TEST(PortDeviceWin32Test, AppendsToAnExistingFile) {
  ScopedTempDir temp;
  const fs::path file = temp.Write("port.txt", "old\r\n");
  PortDevice port;
  ASSERT_FALSE(port.Open(file));
  EXPECT_TRUE(port.is_open());
  EXPECT_FALSE(WriteAll(port, "^XA\xD6\xD0^XZ\r\n"));
  port.Close();
  EXPECT_FALSE(port.is_open());
  ASSERT_FALSE(port.Open(file));
  EXPECT_FALSE(WriteAll(port, "second"));
  port.Close();
  EXPECT_EQ(ReadFileBytes(file), "old\r\n^XA\xD6\xD0^XZ\r\nsecond");
}

TEST(PortDeviceWin32Test, OpenFailures) {
  ScopedTempDir temp;
  struct Case {
    const char* name;
    fs::path path;
    OsErrorKind kind;
    const char* text;
  } cases[] = {
      {"missing file is not created", temp.path() / "LPT9.txt", OsErrorKind::kNotFound,
       "设备或文件不存在"},
      {"missing folder", temp.path() / "no" / "port", OsErrorKind::kNotFound, "设备或文件不存在"},
      {"folder", temp.path(), OsErrorKind::kOther, "没有访问权限"},
  };
  for (const auto& c : cases) {
    PortDevice port;
    const OsError error = port.Open(c.path);
    EXPECT_TRUE(error) << c.name;
    EXPECT_EQ(KindOf(error), c.kind) << c.name;
    EXPECT_EQ(DescribeOsError(error), c.text) << c.name;
    EXPECT_FALSE(port.is_open()) << c.name;
    EXPECT_FALSE(fs::exists(temp.path() / "LPT9.txt")) << c.name;
  }
}

TEST(PortDeviceWin32Test, WriteWhenClosedFails) {
  PortDevice port;
  EXPECT_TRUE(port.Write("x").error);
}

// The server end of a named pipe with a small buffer: a printer that takes
// bytes only when the test reads them.
class SlowPipe {
 public:
  SlowPipe() {
    name_ = L"\\\\.\\pipe\\zplport-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter_);
    handle_ =
        CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 512, 0, nullptr);
  }
  ~SlowPipe() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  SlowPipe(const SlowPipe&) = delete;
  SlowPipe& operator=(const SlowPipe&) = delete;

  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  const std::wstring& name() const { return name_; }

  // Reads whatever has arrived, waiting up to the limit for `count` bytes.
  std::string Read(std::size_t count) {
    std::string bytes;
    const auto deadline = Clock::now() + kLimit;
    while (bytes.size() < count && Clock::now() < deadline) {
      DWORD available = 0;
      if (!PeekNamedPipe(handle_, nullptr, 0, nullptr, &available, nullptr)) break;
      if (available == 0) {
        Sleep(1);
        continue;
      }
      std::string chunk(available, '\0');
      DWORD got = 0;
      OVERLAPPED overlapped{};
      overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      if (ReadFile(handle_, chunk.data(), available, nullptr, &overlapped) ||
          GetLastError() == ERROR_IO_PENDING) {
        GetOverlappedResult(handle_, &overlapped, &got, TRUE);
      }
      CloseHandle(overlapped.hEvent);
      bytes.append(chunk, 0, got);
    }
    return bytes;
  }

  void Disconnect() { DisconnectNamedPipe(handle_); }

 private:
  static inline int counter_ = 0;
  std::wstring name_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST(PortDeviceWin32Test, BusyDeviceKeepsOneWriteInFlight) {
  SlowPipe pipe;
  ASSERT_TRUE(pipe.ok());
  PortDevice port;
  ASSERT_FALSE(port.Open(pipe.name()));

  std::string label(64 * 1024, 'x');
  for (std::size_t i = 0; i < label.size(); ++i) label[i] = static_cast<char>('a' + i % 26);
  // Far more than the pipe holds: the first call leaves the write in flight.
  std::string_view left = label;
  const auto first = port.Write(left);
  ASSERT_FALSE(first.error);
  EXPECT_LT(first.bytes, label.size());
  left.remove_prefix(first.bytes);

  std::string received;
  const auto deadline = Clock::now() + kLimit;
  while (!left.empty() && Clock::now() < deadline) {
    received += pipe.Read(1);
    const auto result = port.Write(left);
    ASSERT_FALSE(result.error) << DescribeOsError(result.error);
    left.remove_prefix(result.bytes);
  }
  EXPECT_TRUE(left.empty());
  port.Close();
  received += pipe.Read(label.size() - received.size());
  EXPECT_EQ(received, label);
}

TEST(PortDeviceWin32Test, CloseAbandonsAWriteInFlight) {
  SlowPipe pipe;
  ASSERT_TRUE(pipe.ok());
  PortDevice port;
  ASSERT_FALSE(port.Open(pipe.name()));
  const std::string label(64 * 1024, 'z');
  const auto result = port.Write(label);
  ASSERT_FALSE(result.error);
  ASSERT_LT(result.bytes, label.size());
  // Nobody reads: Close must not wait for the pipe to drain.
  const auto start = Clock::now();
  port.Close();
  EXPECT_LT(Clock::now() - start, kLimit);
  EXPECT_FALSE(port.is_open());
}

TEST(PortDeviceWin32Test, ReaderGoneIsABrokenPipe) {
  SlowPipe pipe;
  ASSERT_TRUE(pipe.ok());
  PortDevice port;
  ASSERT_FALSE(port.Open(pipe.name()));
  pipe.Disconnect();
  const auto result = port.Write("^XA^XZ");
  ASSERT_TRUE(result.error);
  EXPECT_EQ(KindOf(result.error), OsErrorKind::kBrokenPipe) << result.error.code;
  EXPECT_EQ(DescribeOsError(result.error), "对方已关闭连接");
}

}  // namespace
}  // namespace zplport

#endif  // _WIN32
