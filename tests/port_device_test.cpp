// The POSIX port device against regular files, FIFOs and /dev/full.
#ifndef _WIN32

#include "platform/port_device.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace zplport {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::ScopedTempDir;

// The read end of a FIFO, opened without waiting for a writer.
class FifoReader {
 public:
  explicit FifoReader(const fs::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK)) {}
  ~FifoReader() { Close(); }
  FifoReader(const FifoReader&) = delete;
  FifoReader& operator=(const FifoReader&) = delete;

  bool ok() const { return fd_ >= 0; }
  std::string ReadAvailable() {
    std::string bytes;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd_, buffer, sizeof buffer)) > 0) bytes.append(buffer, got);
    return bytes;
  }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

fs::path MakeFifo(const ScopedTempDir& dir) {
  fs::path path = dir.path() / "port";
  EXPECT_EQ(mkfifo(path.c_str(), 0600), 0) << std::strerror(errno);
  return path;
}

bool SigpipeBlocked() {
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  return sigismember(&mask, SIGPIPE) == 1;
}

bool SigpipePending() {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, SIGPIPE) == 1;
}

TEST(PortDeviceTest, RegularFileIsAppendedTo) {
  ScopedTempDir dir;
  const fs::path file = dir.Write("LPT1", "old;");
  PortDevice port;
  ASSERT_FALSE(port.Open(file));
  EXPECT_TRUE(port.is_open());
  const auto first = port.Write("\xD6\xD0\xCE\xC4");
  EXPECT_FALSE(first.error);
  EXPECT_EQ(first.bytes, 4u);
  port.Close();
  ASSERT_FALSE(port.Open(file));
  EXPECT_EQ(port.Write("next").bytes, 4u);
  port.Close();
  EXPECT_FALSE(port.is_open());
  EXPECT_EQ(ReadFileBytes(file), "old;\xD6\xD0\xCE\xC4next");
}

TEST(PortDeviceTest, OpenFailures) {
  ScopedTempDir dir;
  const fs::path fifo = MakeFifo(dir);
  struct Case {
    const char* name;
    fs::path path;
    int code;
  } cases[] = {
      {"absent file", dir.path() / "LPT9", ENOENT},
      {"absent folder", dir.path() / "no" / "lp0", ENOENT},
      {"folder", dir.path(), EISDIR},
      {"FIFO without a reader", fifo, ENXIO},
  };
  for (const auto& c : cases) {
    PortDevice port;
    EXPECT_EQ(port.Open(c.path).code, c.code) << c.name;
    EXPECT_FALSE(port.is_open()) << c.name;
  }
  EXPECT_EQ(KindOf(OsError{ENOENT}), OsErrorKind::kNotFound);
  EXPECT_FALSE(fs::exists(dir.path() / "LPT9")) << "the open created the file";
}

TEST(PortDeviceTest, FifoReaderGetsTheBytes) {
  ScopedTempDir dir;
  const fs::path fifo = MakeFifo(dir);
  FifoReader reader(fifo);
  ASSERT_TRUE(reader.ok());
  PortDevice port;
  ASSERT_FALSE(port.Open(fifo));
  EXPECT_EQ(port.Write("^XA^XZ").bytes, 6u);
  port.Close();
  EXPECT_EQ(reader.ReadAvailable(), "^XA^XZ");
}

TEST(PortDeviceTest, FullFifoTakesNothingInsteadOfBlocking) {
  ScopedTempDir dir;
  const fs::path fifo = MakeFifo(dir);
  FifoReader reader(fifo);
  ASSERT_TRUE(reader.ok());
  PortDevice port;
  ASSERT_FALSE(port.Open(fifo));
  const std::string chunk(4096, 'x');
  std::size_t taken = 0;
  bool full = false;
  for (int i = 0; i < 10000 && !full; ++i) {
    const auto result = port.Write(chunk);
    ASSERT_FALSE(result.error) << DescribeOsError(result.error);
    taken += result.bytes;
    full = result.bytes == 0;
  }
  EXPECT_TRUE(full);
  EXPECT_EQ(reader.ReadAvailable().size(), taken);
}

TEST(PortDeviceTest, ReaderGoneIsBrokenPipeAndNoSignal) {
  ScopedTempDir dir;
  const fs::path fifo = MakeFifo(dir);
  FifoReader reader(fifo);
  ASSERT_TRUE(reader.ok());
  PortDevice port;
  ASSERT_FALSE(port.Open(fifo));
  reader.Close();
  ASSERT_FALSE(SigpipeBlocked());
  {
    // With SIGPIPE at its default action a leaked signal ends the process.
    BrokenPipeScope quiet;
    for (int i = 0; i < 2; ++i) {
      const auto result = port.Write("label");
      EXPECT_EQ(result.bytes, 0u);
      EXPECT_EQ(result.error.code, EPIPE);
      EXPECT_EQ(KindOf(result.error), OsErrorKind::kBrokenPipe);
    }
  }
  EXPECT_FALSE(SigpipeBlocked()) << "the signal mask was not restored";
  EXPECT_FALSE(SigpipePending());
}

TEST(PortDeviceTest, FullDeviceReportsNoSpace) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  PortDevice port;
  ASSERT_FALSE(port.Open("/dev/full"));
  const auto result = port.Write("label");
  EXPECT_EQ(result.error.code, ENOSPC);
  EXPECT_EQ(DescribeOsError(result.error), "设备空间不足");
}

TEST(PortDeviceTest, ClosedDeviceRefusesWritesAndClosesTwice) {
  PortDevice port;
  EXPECT_TRUE(port.Write("x").error);
  port.Close();
  port.Close();
  EXPECT_FALSE(port.is_open());
}

TEST(PortDeviceTest, NoDescriptorLeaks) {
  ScopedTempDir dir;
  const fs::path file = dir.Write("LPT1", "");
  auto count = [] {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
  };
  const std::size_t before = count();
  for (int i = 0; i < 50; ++i) {
    PortDevice port;
    ASSERT_FALSE(port.Open(file));
    ASSERT_FALSE(port.Open(file));  // reopening drops the first descriptor
    EXPECT_TRUE(port.Open(dir.path() / "absent"));
    if (i % 2 == 0) {
      ASSERT_FALSE(port.Open(file));  // left for the destructor to close
    }
  }
  EXPECT_EQ(count(), before);
}

TEST(DefaultPortDeviceTest, NamesTheZeroBasedLinuxDevice) {
  for (int number = 1; number <= 4; ++number) {
    const std::string index = std::to_string(number - 1);
    const fs::path device = DefaultPortDevice(number);
    const fs::path parallel = "/dev/lp" + index;
    const fs::path usb = "/dev/usb/lp" + index;
    if (fs::exists(parallel) || !fs::exists(usb)) {
      EXPECT_EQ(device, parallel);
    } else {
      EXPECT_EQ(device, usb);
    }
  }
}

}  // namespace
}  // namespace zplport

#endif  // _WIN32
