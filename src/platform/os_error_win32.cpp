#include "platform/os_error.h"

// winsock2.h brings windows.h, in the order Winsock needs.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace zplport {
namespace {

struct Description {
  int code;
  const char* text;
  OsErrorKind kind = OsErrorKind::kOther;
};

// Descriptions and kinds of the Winsock and file-system codes that opening
// a port, writing to it or talking to a printer over TCP can produce. A
// condition that POSIX also reports reads the same on both systems.
constexpr Description kOsErrors[] = {
    {WSAECONNREFUSED, "连接被拒绝", OsErrorKind::kRefused},
    {ERROR_CONNECTION_REFUSED, "连接被拒绝", OsErrorKind::kRefused},
    {WSAETIMEDOUT, "连接超时", OsErrorKind::kTimedOut},
    {ERROR_SEM_TIMEOUT, "连接超时", OsErrorKind::kTimedOut},
    {WAIT_TIMEOUT, "操作超时", OsErrorKind::kTimedOut},
    {WSAEHOSTUNREACH, "无法访问主机", OsErrorKind::kUnreachable},
    {ERROR_HOST_UNREACHABLE, "无法访问主机", OsErrorKind::kUnreachable},
    {WSAENETUNREACH, "无法访问网络", OsErrorKind::kUnreachable},
    {ERROR_NETWORK_UNREACHABLE, "无法访问网络", OsErrorKind::kUnreachable},
    {WSAEHOSTDOWN, "主机已关闭", OsErrorKind::kUnreachable},
    {WSAENETDOWN, "网络已断开", OsErrorKind::kUnreachable},
    {WSAECONNRESET, "连接被对方重置", OsErrorKind::kReset},
    {ERROR_NETNAME_DELETED, "连接被对方重置", OsErrorKind::kReset},
    {WSAECONNABORTED, "连接已中止", OsErrorKind::kReset},
    {WSAENETRESET, "网络重置了连接", OsErrorKind::kReset},
    {ERROR_BROKEN_PIPE, "对方已关闭连接", OsErrorKind::kBrokenPipe},
    {ERROR_NO_DATA, "对方已关闭连接", OsErrorKind::kBrokenPipe},
    {ERROR_PIPE_NOT_CONNECTED, "对方已关闭连接", OsErrorKind::kBrokenPipe},
    {WSAENOTCONN, "连接尚未建立"},
    {WSAESHUTDOWN, "连接的发送方向已关闭"},
    {WSAEISCONN, "连接已经建立"},
    {WSAEINPROGRESS, "操作正在进行中"},
    {ERROR_IO_PENDING, "操作正在进行中"},
    {WSAEALREADY, "操作已在进行中"},
    {WSAEADDRINUSE, "地址已被使用（本地端口被占用）"},
    {WSAEADDRNOTAVAIL, "无法使用请求的地址"},
    {WSAEAFNOSUPPORT, "不支持该地址类型"},
    {WSAENOBUFS, "缓冲区空间不足"},
    {WSAEMSGSIZE, "消息过长"},
    {WSANOTINITIALISED, "网络功能尚未初始化"},
    {WSASYSNOTREADY, "网络子系统不可用"},
    {ERROR_FILE_NOT_FOUND, "设备或文件不存在", OsErrorKind::kNotFound},
    {ERROR_PATH_NOT_FOUND, "设备或文件不存在", OsErrorKind::kNotFound},
    {ERROR_BAD_NETPATH, "设备或文件不存在", OsErrorKind::kNotFound},
    {ERROR_BAD_UNIT, "没有这个设备", OsErrorKind::kNotFound},
    {ERROR_DEV_NOT_EXIST, "没有这个设备", OsErrorKind::kNotFound},
    {ERROR_NOT_READY, "设备未就绪"},
    {ERROR_OUT_OF_PAPER, "打印机缺纸"},
    {ERROR_DIRECTORY, "目标是一个文件夹，不能写入"},
    {ERROR_ACCESS_DENIED, "没有访问权限"},
    {WSAEACCES, "没有访问权限"},
    {ERROR_WRITE_PROTECT, "设备写保护，不能写入"},
    {ERROR_SHARING_VIOLATION, "设备忙"},
    {ERROR_LOCK_VIOLATION, "设备忙"},
    {ERROR_BUSY, "设备忙"},
    {ERROR_DISK_FULL, "设备空间不足"},
    {ERROR_HANDLE_DISK_FULL, "设备空间不足"},
    {ERROR_FILE_TOO_LARGE, "文件过大"},
    {ERROR_IO_DEVICE, "输入/输出错误"},
    {ERROR_WRITE_FAULT, "输入/输出错误"},
    {ERROR_GEN_FAILURE, "输入/输出错误"},
    {ERROR_OPERATION_ABORTED, "操作已取消"},
    {WSAEWOULDBLOCK, "资源暂时不可用，请稍后重试", OsErrorKind::kWouldBlock},
    {WSAEINTR, "操作被中断"},
    {WSAEINVAL, "参数无效"},
    {ERROR_INVALID_PARAMETER, "参数无效"},
    {ERROR_INVALID_NAME, "文件名无效"},
    {WSAEBADF, "无效的文件句柄"},
    {WSAENOTSOCK, "无效的文件句柄"},
    {ERROR_INVALID_HANDLE, "无效的文件句柄"},
    {WSAEMFILE, "打开的文件过多"},
    {ERROR_TOO_MANY_OPEN_FILES, "打开的文件过多"},
    {ERROR_NOT_ENOUGH_MEMORY, "内存不足"},
    {ERROR_OUTOFMEMORY, "内存不足"},
    {WSAENAMETOOLONG, "文件名过长"},
    {ERROR_FILENAME_EXCED_RANGE, "文件名过长"},
    {WSAEOPNOTSUPP, "不支持该操作"},
    {ERROR_NOT_SUPPORTED, "不支持该操作"},
    {ERROR_INVALID_FUNCTION, "不支持该操作"},
};

// getaddrinfo reports Winsock codes on Windows.
constexpr Description kResolverErrors[] = {
    {WSAHOST_NOT_FOUND, "找不到主机"},        {WSATRY_AGAIN, "域名解析暂时失败"},
    {WSANO_RECOVERY, "域名解析失败"},         {WSANO_DATA, "主机没有地址"},
    {WSAEAFNOSUPPORT, "不支持该地址类型"},    {WSATYPE_NOT_FOUND, "端口无效"},
    {WSAESOCKTNOSUPPORT, "不支持该连接类型"}, {WSAEINVAL, "域名解析参数无效"},
    {WSA_NOT_ENOUGH_MEMORY, "内存不足"},
};

template <std::size_t N>
const Description* Find(const Description (&table)[N], int code) {
  for (const auto& entry : table) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

// The system's own words for a code we have no description of, in the
// user's language; empty when it has none.
std::string SystemMessage(int code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) return {};
  // Without the line break and full stop that end the system's sentence.
  const auto end =
      static_cast<int>(std::wstring_view(buffer, length).find_last_not_of(L"\r\n .\x3002") + 1);
  const int size = WideCharToMultiByte(CP_UTF8, 0, buffer, end, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(std::max(size, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buffer, end, text.data(), size, nullptr, nullptr);
  LocalFree(buffer);
  return text;
}

std::string Numbered(const char* prefix, int code) {
  std::string text = prefix + std::to_string(code);
  const std::string system = SystemMessage(code);
  if (!system.empty()) text += "（" + system + "）";
  return text;
}

}  // namespace

OsErrorKind KindOf(OsError error) {
  const Description* found = Find(kOsErrors, error.code);
  return found != nullptr ? found->kind : OsErrorKind::kOther;
}

std::string DescribeOsError(OsError error) {
  if (!error) return "操作成功完成";
  if (const Description* found = Find(kOsErrors, error.code)) return found->text;
  return Numbered("系统错误 ", error.code);
}

std::string DescribeResolverError(int code) {
  if (code == 0) return "操作成功完成";
  if (const Description* found = Find(kResolverErrors, code)) return found->text;
  // Anything else is a plain Winsock failure (the network not started, say).
  if (const Description* found = Find(kOsErrors, code)) return found->text;
  return Numbered("域名解析错误 ", code);
}

OsError LastOsError() { return OsError{static_cast<int>(GetLastError())}; }

OsError MakeOsError(OsErrorKind kind) {
  // The first code of a kind in the table is the one it is made with.
  for (const Description& entry : kOsErrors) {
    if (kind != OsErrorKind::kOther && entry.kind == kind) return OsError{entry.code};
  }
  return OsError{ERROR_IO_DEVICE};
}

}  // namespace zplport
