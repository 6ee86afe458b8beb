#include "platform/os_error.h"

#include <netdb.h>

#include <cerrno>
#include <cstring>

namespace zplport {
namespace {

struct Description {
  int code;
  const char* text;
  OsErrorKind kind = OsErrorKind::kOther;
};

// Descriptions and kinds of the errno values that opening a port, writing
// to it or talking to a printer over TCP can produce.
constexpr Description kOsErrors[] = {
    {ECONNREFUSED, "连接被拒绝", OsErrorKind::kRefused},
    {ETIMEDOUT, "连接超时", OsErrorKind::kTimedOut},
    {EHOSTUNREACH, "无法访问主机", OsErrorKind::kUnreachable},
    {ENETUNREACH, "无法访问网络", OsErrorKind::kUnreachable},
    {EHOSTDOWN, "主机已关闭", OsErrorKind::kUnreachable},
    {ENETDOWN, "网络已断开", OsErrorKind::kUnreachable},
    {ECONNRESET, "连接被对方重置", OsErrorKind::kReset},
    {ECONNABORTED, "连接已中止", OsErrorKind::kReset},
    {ENETRESET, "网络重置了连接", OsErrorKind::kReset},
    {EPIPE, "对方已关闭连接", OsErrorKind::kBrokenPipe},
    {ENOTCONN, "连接尚未建立"},
    {ESHUTDOWN, "连接的发送方向已关闭"},
    {EISCONN, "连接已经建立"},
    {EINPROGRESS, "操作正在进行中"},
    {EALREADY, "操作已在进行中"},
    {EADDRINUSE, "地址已被使用（本地端口被占用）"},
    {EADDRNOTAVAIL, "无法使用请求的地址"},
    {EAFNOSUPPORT, "不支持该地址类型"},
    {ENOBUFS, "缓冲区空间不足"},
    {EMSGSIZE, "消息过长"},
    {ENOENT, "设备或文件不存在", OsErrorKind::kNotFound},
    {ENXIO, "设备未就绪（没有读取方或设备不存在）"},
    {ENODEV, "没有这个设备", OsErrorKind::kNotFound},
    {ENOTDIR, "路径中的某一部分不是文件夹"},
    {EISDIR, "目标是一个文件夹，不能写入"},
    {EACCES, "没有访问权限"},
    {EPERM, "没有访问权限"},
    {EROFS, "只读文件系统，不能写入"},
    {EBUSY, "设备忙"},
    {ETXTBSY, "文件忙"},
    {ENOSPC, "设备空间不足"},
    {EDQUOT, "超出磁盘配额"},
    {EFBIG, "文件过大"},
    {EIO, "输入/输出错误"},
    {EAGAIN, "资源暂时不可用，请稍后重试", OsErrorKind::kWouldBlock},
#if EWOULDBLOCK != EAGAIN
    {EWOULDBLOCK, "资源暂时不可用，请稍后重试", OsErrorKind::kWouldBlock},
#endif
    {EINTR, "操作被中断"},
    {EINVAL, "参数无效"},
    {EBADF, "无效的文件句柄"},
    {EMFILE, "打开的文件过多"},
    {ENFILE, "系统中打开的文件过多"},
    {ENOMEM, "内存不足"},
    {ENAMETOOLONG, "文件名过长"},
    {ELOOP, "符号链接的层数过多"},
    {EOPNOTSUPP, "不支持该操作"},
};

constexpr Description kResolverErrors[] = {
    {EAI_NONAME, "找不到主机"},
    {EAI_AGAIN, "域名解析暂时失败"},
    {EAI_FAIL, "域名解析失败"},
#ifdef EAI_NODATA
    {EAI_NODATA, "主机没有地址"},
#endif
#ifdef EAI_ADDRFAMILY
    {EAI_ADDRFAMILY, "主机没有可用类型的地址"},
#endif
    {EAI_FAMILY, "不支持该地址类型"},
    {EAI_SERVICE, "端口无效"},
    {EAI_SOCKTYPE, "不支持该连接类型"},
    {EAI_BADFLAGS, "域名解析参数无效"},
    {EAI_MEMORY, "内存不足"},
    {EAI_SYSTEM, "域名解析时发生系统错误"},
#ifdef EAI_OVERFLOW
    {EAI_OVERFLOW, "主机名过长"},
#endif
};

template <std::size_t N>
const Description* Find(const Description (&table)[N], int code) {
  for (const auto& entry : table) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

}  // namespace

OsErrorKind KindOf(OsError error) {
  const Description* found = Find(kOsErrors, error.code);
  return found != nullptr ? found->kind : OsErrorKind::kOther;
}

std::string DescribeOsError(OsError error) {
  if (!error) return "操作成功完成";
  if (const Description* found = Find(kOsErrors, error.code)) return found->text;
  return "系统错误 " + std::to_string(error.code) + "（" + std::strerror(error.code) + "）";
}

std::string DescribeResolverError(int code) {
  if (code == 0) return "操作成功完成";
  if (const Description* found = Find(kResolverErrors, code)) return found->text;
  return "域名解析错误 " + std::to_string(code) + "（" + gai_strerror(code) + "）";
}

OsError LastOsError() { return OsError{errno}; }

OsError MakeOsError(OsErrorKind kind) {
  // The first code of a kind in the table is the one it is made with.
  for (const Description& entry : kOsErrors) {
    if (kind != OsErrorKind::kOther && entry.kind == kind) return OsError{entry.code};
  }
  return OsError{EIO};
}

}  // namespace zplport
