// Port devices that cannot be opened, refuse writes or stop taking data.
// Each fault must end in a message that names the device and the reason,
// within the stall limit, with no descriptor left open, and the next
// request to a working device must print.
//
// What stands in for each fault (the tests run as root, who opens any file
// whatever its mode):
//   absent            a path in a fresh folder
//   no permission     a file of mode 0, opened by a child running as nobody
//   busy              /proc/self/exe: a running program cannot be opened for
//                     writing (ETXTBSY); the lp driver's own EBUSY needs a
//                     real printer
//   folder            a directory at the device's path
//   write error       /proc/version opens for writing but fails every write
//                     with EIO, as an lp device does on a printer error
//   no space          /dev/full
//   no reader         a FIFO that nobody has open for reading
//   reader stops      a FIFO whose reader takes 10 000 bytes and then no more
//   reader goes away  a FIFO whose reader closes after 10 000 bytes
//   USB printer       a FIFO of one page, which reports itself writable only
//                     once its reader has taken the label, as the USB
//                     printer driver does once the transfer has finished
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hardening/hardening_support.h"
#include "label/label.h"
#include "platform/os_error.h"
#include "support/recording_host.h"

namespace zplport {
namespace {

using std::chrono::milliseconds;
using testing::RecordingHost;

const PrintSettings kSettings{"15", "50", "50", "50", "150", "40", "40"};
constexpr milliseconds kSlack{1000};

std::string PortConfig(const std::string& device) {
  return "[prtmod]\r\nprtmod=LPT1:\r\ndarkness=15\r\n[zuobiao]\r\nzbx=50\r\nzby=50\r\n"
         "zbx1=50\r\nzby1=150\r\n[font]\r\na=40\r\nb=40\r\n[ports]\r\nlpt1=" +
         device + "\r\n";
}

// One label of about 120 000 bytes: more than a pipe holds.
const std::string kBigContent =
    "[content]\r\nc(0)=" + std::string(60000, 'a') + "\r\nc(1)=" + std::string(60000, 'b') + "\r\n";
const std::string kBigLine =
    ComposeLabel(kSettings, std::string(60000, 'a'), std::string(60000, 'b')) + "\r\n";
const char kSmallContent[] = "[content]\r\nc(0)=ABC\r\nc(1)=123\r\n";

std::string Where(const std::string& device) { return "打印端口 LPT1:（" + device + "）"; }

void ExpectNextRequestWorks(RecordingHost& host) {
  const std::string device = host.folder.Write("good-port", "").string();
  host.WriteContent(kSmallContent);
  host.WriteConfig(PortConfig(device));
  host.quantity = "2";
  host.messages.clear();
  EXPECT_EQ(RunPrintRequest(host), PrintOutcome::kDone);
  EXPECT_EQ(host.messages, std::vector<std::string>{});
  EXPECT_EQ(testing::ReadFileBytes(device), ComposeLabel(kSettings, "ABC", "123") + "\r\n");
}

// Reads `take` bytes from the FIFO, then either stops reading (keeping it
// open) or closes it.
class FifoReader {
 public:
  FifoReader(const std::string& path, std::size_t take, bool close_after)
      : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    thread_ = std::thread([this, take, close_after] {
      char buffer[4096];
      while (!stop_ && taken_ < take) {
        const ssize_t got = ::read(fd_, buffer, std::min(sizeof buffer, take - taken_.load()));
        if (got > 0) {
          taken_ += static_cast<std::size_t>(got);
        } else {
          std::this_thread::sleep_for(milliseconds(1));
        }
      }
      if (close_after) Close();
      while (!stop_) std::this_thread::sleep_for(milliseconds(1));
    });
  }
  ~FifoReader() {
    stop_ = true;
    thread_.join();
    Close();
  }
  bool ok() const { return fd_ >= 0; }
  std::size_t taken() const { return taken_; }

 private:
  void Close() {
    const int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
  }
  std::atomic<int> fd_;
  std::atomic<std::size_t> taken_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct PortFault {
  const char* name;
  std::string device;
  std::string message_start;  // the whole message when `exact`
  bool exact;
};

TEST(PortFaults, DevicesThatCannotBeUsedAreNamedWithTheReason) {
  RecordingHost host;
  host.limits.stall = milliseconds(500);
  const std::string absent = (host.folder.path() / "no-such-port").string();
  const std::string folder = (host.folder.path() / "a-folder").string();
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  const std::string fifo = (host.folder.path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string line = ComposeLabel(kSettings, "ABC", "123") + "\r\n";
  const std::string big_size = std::to_string(kBigLine.size());

  const PortFault faults[] = {
      {"absent", absent, "无法打开" + Where(absent) + "：设备或文件不存在", true},
      {"busy", "/proc/self/exe", "无法打开" + Where("/proc/self/exe") + "：文件忙", true},
      {"folder", folder, "无法打开" + Where(folder) + "：目标是一个文件夹，不能写入", true},
      {"write error", "/proc/version",
       "写入" + Where("/proc/version") + "失败：输入/输出错误（已写入 0 / " +
           std::to_string(line.size()) + " 字节）",
       true},
      {"no space", "/dev/full",
       "写入" + Where("/dev/full") + "失败：设备空间不足（已写入 0 / " +
           std::to_string(line.size()) + " 字节）",
       true},
      {"FIFO without a reader", fifo,
       "无法打开" + Where(fifo) + "：设备未就绪（没有读取方或设备不存在）", true},
  };
  for (const PortFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    const int fds_before = testing::OpenDescriptors();
    host.WriteContent(kSmallContent);
    host.WriteConfig(PortConfig(fault.device));
    host.quantity = "2";
    host.messages.clear();
    const testing::TimedOutcome r = testing::TimedRequest(host);
    testing::ReportFigure(std::string("port/") + fault.name, r.outcome, r.elapsed, kSlack);
    EXPECT_EQ(r.outcome, PrintOutcome::kFailed);
    EXPECT_LE(r.elapsed, kSlack);
    EXPECT_EQ(host.messages, std::vector<std::string>{fault.message_start});
    ExpectNextRequestWorks(host);
    EXPECT_EQ(testing::OpenDescriptors(), fds_before);
  }
  EXPECT_FALSE(std::filesystem::exists(absent));  // devices are never created
}

TEST(PortFaults, FifoWhoseReaderStopsOrGoesAway) {
  RecordingHost host;
  host.limits.stall = milliseconds(500);
  for (const bool goes_away : {false, true}) {
    const char* name = goes_away ? "port/FIFO reader goes away" : "port/FIFO reader stops";
    SCOPED_TRACE(name);
    const std::string fifo =
        (host.folder.path() / (goes_away ? "fifo-gone" : "fifo-stop")).string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int fds_before = testing::OpenDescriptors();
    {
      FifoReader reader(fifo, 10000, goes_away);
      ASSERT_TRUE(reader.ok());
      host.WriteContent(kBigContent);
      host.WriteConfig(PortConfig(fifo));
      host.quantity = "2";
      host.messages.clear();
      const testing::TimedOutcome r = testing::TimedRequest(host);
      const milliseconds bound = host.limits.stall + kSlack;
      testing::ReportFigure(name, r.outcome, r.elapsed, bound);
      EXPECT_EQ(r.outcome, PrintOutcome::kFailed);
      EXPECT_LE(r.elapsed, bound);
      ASSERT_EQ(host.messages.size(), 1u);
      const std::string reason =
          goes_away ? DescribeOsError(MakeOsError(OsErrorKind::kBrokenPipe))
                    : std::string("设备 1 秒内没有接收数据，请检查打印机是否联机、是否缺纸");
      const std::string start = "写入" + Where(fifo) + "失败：" + reason + "（已写入 ";
      EXPECT_EQ(host.messages[0].rfind(start, 0), 0u) << host.messages[0];
      // Stuck after what the reader took and the pipe held, short of all.
      const std::string end = " / " + std::to_string(kBigLine.size()) + " 字节）";
      ASSERT_GT(host.messages[0].size(), start.size() + end.size());
      EXPECT_EQ(host.messages[0].substr(host.messages[0].size() - end.size()), end);
      const std::size_t written = std::stoul(host.messages[0].substr(start.size()));
      EXPECT_GE(written, reader.taken());
      EXPECT_LT(written, kBigLine.size());
    }
    ExpectNextRequestWorks(host);
    EXPECT_EQ(testing::OpenDescriptors(), fds_before);
  }
}

// The read end of a FIFO cut down to one page. The reader takes everything
// `delay` after the first byte has come, or never.
class OnePageFifoReader {
 public:
  OnePageFifoReader(const std::string& path, std::optional<milliseconds> delay)
      : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    ok_ = fd_ >= 0 && ::fcntl(fd_, F_SETPIPE_SZ, 4096) > 0;
    thread_ = std::thread([this, delay] {
      pollfd entry{fd_, POLLIN, 0};
      while (!stop_ && ::poll(&entry, 1, 1) == 0) {
      }
      const auto first = std::chrono::steady_clock::now();
      while (!stop_ && (!delay || std::chrono::steady_clock::now() - first < *delay)) {
        std::this_thread::sleep_for(milliseconds(1));
      }
      char buffer[4096];
      while (!stop_) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got > 0) {
          std::lock_guard lock(mutex_);
          bytes_.append(buffer, static_cast<std::size_t>(got));
        } else {
          std::this_thread::sleep_for(milliseconds(1));
        }
      }
    });
  }
  ~OnePageFifoReader() {
    stop_ = true;
    thread_.join();
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return ok_; }
  std::string bytes() {
    std::lock_guard lock(mutex_);
    return bytes_;
  }

 private:
  const int fd_;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string bytes_;
  std::thread thread_;
};

// The device is closed only once it has finished with the label: a USB
// printer's driver would otherwise drop the transfer still pending.
TEST(PortFaults, DeviceIsClosedOnlyOnceItHasTheLabel) {
  RecordingHost host;
  host.limits.stall = milliseconds(500);
  const std::string line = ComposeLabel(kSettings, "ABC", "123") + "\r\n";
  constexpr milliseconds kDelay{300};
  for (const bool takes_it : {true, false}) {
    const char* name =
        takes_it ? "port/device takes the label after 0.3 s" : "port/device never takes the label";
    SCOPED_TRACE(name);
    const std::string fifo = (host.folder.path() / (takes_it ? "usb-late" : "usb-never")).string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int fds_before = testing::OpenDescriptors();
    {
      OnePageFifoReader reader(fifo, takes_it ? std::optional(kDelay) : std::nullopt);
      ASSERT_TRUE(reader.ok());
      host.WriteContent(kSmallContent);
      host.WriteConfig(PortConfig(fifo));
      host.quantity = "2";
      host.messages.clear();
      const testing::TimedOutcome r = testing::TimedRequest(host);
      const milliseconds bound = (takes_it ? kDelay : host.limits.stall) + kSlack;
      testing::ReportFigure(name, r.outcome, r.elapsed, bound);
      EXPECT_LE(r.elapsed, bound);
      if (takes_it) {
        EXPECT_EQ(r.outcome, PrintOutcome::kDone);
        EXPECT_EQ(host.messages, std::vector<std::string>{});
        EXPECT_GE(r.elapsed, kDelay);
        EXPECT_EQ(reader.bytes(), line);
      } else {
        EXPECT_EQ(r.outcome, PrintOutcome::kFailed);
        const std::string size = std::to_string(line.size());
        EXPECT_EQ(host.messages, std::vector<std::string>{
                                     "写入" + Where(fifo) +
                                     "失败：设备 1 秒内没有接收数据，请检查打印机是否联机、是否缺"
                                     "纸（已写入 " +
                                     size + " / " + size + " 字节）"});
      }
    }
    ExpectNextRequestWorks(host);
    EXPECT_EQ(testing::OpenDescriptors(), fds_before);
  }
}

TEST(PortFaults, DeviceWithoutPermissionIsNamed) {
  // Root opens a file of mode 0 anyway; an operator would not.
  testing::ChildOptions options;
  options.unprivileged = ::geteuid() == 0;
  std::string why_not;
  const auto lines = testing::RunInChild(
      options,
      [] {
        RecordingHost host;
        const std::string device = host.folder.Write("locked-port", "").string();
        ::chmod(device.c_str(), 0);
        host.WriteContent(kSmallContent);
        host.WriteConfig(PortConfig(device));
        host.quantity = "2";
        const int fds_before = testing::OpenDescriptors();
        const testing::TimedOutcome r = testing::TimedRequest(host);
        std::vector<std::string> out{testing::OutcomeName(r.outcome),
                                     std::to_string(r.elapsed.count()), device,
                                     host.messages.empty() ? "" : host.messages[0]};
        ExpectNextRequestWorks(host);  // failures here are reported below
        out.push_back(std::to_string(testing::OpenDescriptors() - fds_before));
        out.push_back(::testing::Test::HasFailure() ? "next request failed" : "next request ok");
        return out;
      },
      &why_not);
  if (!lines) GTEST_SKIP() << "cannot run as nobody: " << why_not;
  ASSERT_EQ(lines->size(), 6u) << (*lines)[0];
  const milliseconds elapsed(std::stol((*lines)[1]));
  testing::ReportFigure("port/no permission",
                        (*lines)[0] == "failed" ? PrintOutcome::kFailed : PrintOutcome::kDone,
                        elapsed, kSlack);
  EXPECT_EQ((*lines)[0], "failed");
  EXPECT_LE(elapsed, kSlack);
  EXPECT_EQ((*lines)[3], "无法打开" + Where((*lines)[2]) + "：没有访问权限");
  EXPECT_EQ((*lines)[4], "0");
  EXPECT_EQ((*lines)[5], "next request ok");
}

}  // namespace
}  // namespace zplport
