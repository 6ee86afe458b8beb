// The POSIX halves of the platform layer: code page, error words, the
// executable's folder, sleeping through signals and backing buffers.
#ifndef _WIN32

#include <netdb.h>
#include <signal.h>
#include <sys/time.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/os_error.h"
#include "platform/program_folder.h"
#include "platform/sleep.h"
#include "platform/text_encoding.h"

namespace zplport {
namespace {

namespace fs = std::filesystem;

TEST(ExecutableFolderTest, HoldsTheRunningBinaryWithoutTrailingSeparator) {
  const fs::path folder = detail::ExecutableFolder();
  ASSERT_TRUE(folder.is_absolute()) << folder;
  const std::string text = folder.string();
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '/') << text;
  bool found = false;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::error_code ec;
    if (fs::equivalent(entry.path(), "/proc/self/exe", ec)) found = true;
  }
  EXPECT_TRUE(found) << "the test binary is not in " << folder;
}

TEST(GbkToUtf8Test, Conversions) {
  struct Case {
    const char* name;
    std::string gbk, utf8;
  } cases[] = {
      {"empty", "", ""},
      {"ASCII passes unchanged", "^XA^FDabc 123^FS\r\n", "^XA^FDabc 123^FS\r\n"},
      {"two-byte characters", "\xD6\xD0\xCE\xC4", "中文"},
      {"mixed with ASCII",
       "A\xD6\xD0"
       "B",
       "A中B"},
      {"embedded NUL kept", std::string("a\0b", 3), std::string("a\0b", 3)},
      {"byte that is never GBK",
       "A\xFF"
       "B",
       "A\xEF\xBF\xBD"
       "B"},
      {"lead byte cut off at the end", "\xD6\xD0\xD6", "中\xEF\xBF\xBD"},
      {"lead byte followed by ASCII keeps the ASCII", "\x81 x", "\xEF\xBF\xBD x"},
      {"several bad bytes in a row", "\xFF\xFF\xD6\xD0", "\xEF\xBF\xBD\xEF\xBF\xBD中"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8) << c.name;
  }
}

TEST(GbkToUtf8Test, LongTextGrowsTheOutput) {
  std::string gbk, utf8;
  for (int i = 0; i < 20000; ++i) {
    gbk +=
        "\xD6\xD0"
        "a\xFF";
    utf8 += "中a\xEF\xBF\xBD";
  }
  EXPECT_EQ(GbkToUtf8(gbk), utf8);
}

TEST(DescribeOsErrorTest, Descriptions) {
  struct Case {
    int code;
    const char* text;
  } cases[] = {
      {ECONNREFUSED, "连接被拒绝"},
      {ETIMEDOUT, "连接超时"},
      {EHOSTUNREACH, "无法访问主机"},
      {ENETUNREACH, "无法访问网络"},
      {ECONNRESET, "连接被对方重置"},
      {EPIPE, "对方已关闭连接"},
      {ENOENT, "设备或文件不存在"},
      {ENXIO, "设备未就绪（没有读取方或设备不存在）"},
      {EACCES, "没有访问权限"},
      {EPERM, "没有访问权限"},
      {EBUSY, "设备忙"},
      {ENOSPC, "设备空间不足"},
      {EIO, "输入/输出错误"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DescribeOsError(OsError{c.code}), c.text) << c.code;
  }
}

TEST(DescribeOsErrorTest, UnknownCodeNamesTheNumberAndTheSystemText) {
  // EDOM has nothing to do with ports or sockets, so it has no description
  // of its own.
  const std::string text = DescribeOsError(OsError{EDOM});
  EXPECT_EQ(text.rfind("系统错误 " + std::to_string(EDOM) + "（", 0), 0u) << text;
  EXPECT_NE(text.find(std::strerror(EDOM)), std::string::npos) << text;
}

TEST(DescribeResolverErrorTest, Descriptions) {
  EXPECT_EQ(DescribeResolverError(EAI_NONAME), "找不到主机");
  EXPECT_EQ(DescribeResolverError(EAI_AGAIN), "域名解析暂时失败");
  EXPECT_EQ(DescribeResolverError(-12345).rfind("域名解析错误 -12345", 0), 0u);
}

TEST(OsErrorKindTest, MadeErrorsHaveTheirKind) {
  for (auto kind : {OsErrorKind::kOther, OsErrorKind::kRefused, OsErrorKind::kTimedOut,
                    OsErrorKind::kUnreachable, OsErrorKind::kReset, OsErrorKind::kBrokenPipe,
                    OsErrorKind::kWouldBlock, OsErrorKind::kNotFound}) {
    const OsError error = MakeOsError(kind);
    EXPECT_TRUE(error) << static_cast<int>(kind);
    EXPECT_EQ(KindOf(error), kind) << static_cast<int>(kind);
  }
  EXPECT_EQ(KindOf(OsError{EWOULDBLOCK}), OsErrorKind::kWouldBlock);
  EXPECT_EQ(KindOf(OsError{ENETUNREACH}), OsErrorKind::kUnreachable);
}

TEST(OsErrorKindTest, LastOsErrorReadsErrno) {
  errno = ECONNRESET;
  EXPECT_EQ(LastOsError().code, ECONNRESET);
}

extern "C" void IgnoreAlarm(int) {}

TEST(SleepMillisecondsTest, SleepsOnThroughASignal) {
  struct sigaction action {};
  action.sa_handler = IgnoreAlarm;  // no SA_RESTART: nanosleep returns EINTR
  struct sigaction old_action {};
  ASSERT_EQ(sigaction(SIGALRM, &action, &old_action), 0);
  itimerval timer{};
  timer.it_value.tv_usec = 10000;
  ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);

  const auto start = std::chrono::steady_clock::now();
  SleepMilliseconds(60);
  const auto elapsed = std::chrono::steady_clock::now() - start;

  sigaction(SIGALRM, &old_action, nullptr);
  EXPECT_GE(elapsed, std::chrono::milliseconds(60));
}

}  // namespace
}  // namespace zplport

#endif  // _WIN32
