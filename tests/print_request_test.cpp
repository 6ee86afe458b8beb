#include "printing/print_request.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "label/label.h"
#include "platform/os_error.h"
#include "printing/print_failure.h"
#include "support/fault_printer.h"
#include "support/recording_host.h"

namespace zplport {
namespace {

using testing::FaultPrinter;
using testing::RecordingHost;
using Messages = std::vector<std::string>;

const PrintSettings kSettings{"15", "50", "50", "50", "150", "40", "40"};
const char kContent[] =
    "[content]\r\nc(0)=ABC\r\nc(1)=123\r\nc(2)=\xD6\xD0\xCE\xC4\r\nc(3)=L3\r\nc(4)=L4\r\n";

std::string Config(const std::string& prtmod, const std::string& rest) {
  return "[prtmod]\r\nprtmod=" + prtmod +
         "\r\ndarkness=15\r\n[zuobiao]\r\nzbx=50\r\nzby=50\r\n"
         "zbx1=50\r\nzby1=150\r\n[font]\r\na=40\r\nb=40\r\n" +
         rest;
}

std::string Network(int port, const std::string& host = "127.0.0.1",
                    const std::string& mode = "ip") {
  return Config(
      mode, "[network]\r\nprinterip=" + host + "\r\nprinterport=" + std::to_string(port) + "\r\n");
}

std::string Ports(const std::string& prtmod, const std::string& key, const std::string& device) {
  return Config(prtmod, "[ports]\r\n" + key + "=" + device + "\r\n");
}

std::string Label(const std::string& line1, const std::string& line2) {
  return ComposeLabel(kSettings, line1, line2);
}

class PrintRequestTest : public ::testing::Test {
 protected:
  void SetUp() override { host_.WriteContent(kContent); }

  // A regular file standing in for the port device; it must exist, since
  // devices are never created.
  std::string MakeDevice() { return host_.folder.Write("lpt.out", "").string(); }

  RecordingHost host_;
};

TEST_F(PrintRequestTest, UnrecognisedModeSaysSoAndPrintsNothing) {
  const std::string device = MakeDevice();
  for (const char* prtmod : {"Ip", "TCPIP", "", "lpt1", "LPT5:", "ip ;with a space", "usb"}) {
    host_.messages.clear();
    host_.WriteConfig(Ports(prtmod, "lpt1", device));
    host_.quantity = "2";
    EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kUnknownMode) << prtmod;
    EXPECT_EQ(host_.messages, Messages{kUnknownPrintMode}) << prtmod;
  }
  EXPECT_EQ(testing::ReadFileBytes(device), "");
}

TEST_F(PrintRequestTest, MissingConfigIsAnUnknownMode) {
  host_.quantity = "2";
  EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kUnknownMode);
  EXPECT_EQ(host_.messages, Messages{kUnknownPrintMode});
}

TEST_F(PrintRequestTest, BadQuantityFailsBeforeAnythingIsPrinted) {
  FaultPrinter printer(FaultPrinter::Behaviour::kAcceptAndRead);
  const std::string device = MakeDevice();
  struct Case {
    const char* quantity;
    const char* message;
  } cases[] = {{"", kTypeMismatch},
               {"abc", kTypeMismatch},
               {"40000", kOverflow},
               {"-1", kSubscriptOutOfRange}};
  for (const std::string& config : {Network(printer.port()), Ports("LPT1:", "lpt1", device)}) {
    host_.WriteConfig(config);
    for (const auto& c : cases) {
      host_.messages.clear();
      host_.quantity = c.quantity;
      EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kFailed) << c.quantity;
      EXPECT_EQ(host_.messages, Messages{c.message}) << c.quantity;
    }
  }
  // Even an unrecognised mode is not looked at before the quantity.
  host_.WriteConfig(Config("nothing", ""));
  host_.messages.clear();
  host_.quantity = "x";
  EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kFailed);
  EXPECT_EQ(host_.messages, Messages{kTypeMismatch});

  EXPECT_EQ(printer.connections(), 0u);
  EXPECT_EQ(testing::ReadFileBytes(device), "");
}

TEST_F(PrintRequestTest, ParallelPortGetsOneLinePerLabel) {
  struct Case {
    const char* prtmod;
    const char* key;
    const char* quantity;
    std::string expected;
  } cases[] = {
      {"LPT1:", "lpt1", "4",
       Label("ABC", "123") + "\r\n" + Label("\xD6\xD0\xCE\xC4", "L3") + "\r\n"},
      {"lpt2:", "lpt2", "3",
       Label("ABC", "123") + "\r\n" + Label("\xD6\xD0\xCE\xC4", "L3") + "\r\n"},
      {"Lpt3:", "lpt3", "1", Label("ABC", "123") + "\r\n"},
      {"LPT4:", "lpt4", "5",
       Label("ABC", "123") + "\r\n" + Label("\xD6\xD0\xCE\xC4", "L3") + "\r\n" + Label("L4", "") +
           "\r\n"},
      {"LPT1:", "lpt1", "0", ""},
      {"LPT1:", "lpt1", " 1.5 ", Label("ABC", "123") + "\r\n"},
  };
  for (const auto& c : cases) {
    const std::string device = MakeDevice();
    host_.WriteConfig(Ports(c.prtmod, c.key, device));
    host_.messages.clear();
    host_.quantity = c.quantity;
    EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kDone) << c.prtmod << " " << c.quantity;
    EXPECT_EQ(host_.messages, Messages{}) << c.prtmod;
    EXPECT_EQ(testing::ReadFileBytes(device), c.expected) << c.prtmod << " " << c.quantity;
  }
}

TEST_F(PrintRequestTest, ParallelPortAppendsToWhatIsThere) {
  const std::string device = host_.folder.Write("lpt.out", "before\r\n").string();
  host_.WriteConfig(Ports("LPT1:", "lpt1", device));
  host_.quantity = "2";
  EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kDone);
  EXPECT_EQ(testing::ReadFileBytes(device), "before\r\n" + Label("ABC", "123") + "\r\n");
}

TEST_F(PrintRequestTest, AbsentDeviceIsAFailureAndNotCreated) {
  const auto device = host_.folder.path() / "no-such-port";
  host_.WriteConfig(Ports("LPT1:", "lpt1", device.string()));
  host_.quantity = "2";
  EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kFailed);
  EXPECT_EQ(host_.messages, Messages{"无法打开打印端口 LPT1:（" + device.string() + "）：" +
                                     DescribeOsError(MakeOsError(OsErrorKind::kNotFound))});
  EXPECT_FALSE(std::filesystem::exists(device));
}

#ifndef _WIN32
TEST_F(PrintRequestTest, DeviceThatStopsTakingDataEndsInAFailure) {
  // A pipe holds 64 KiB; a reader that never reads makes the device stall.
  const auto fifo = host_.folder.path() / "lp0";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  host_.WriteContent("[content]\r\nc(0)=" + std::string(60000, 'a') +
                     "\r\nc(1)=" + std::string(60000, 'b') + "\r\n");
  host_.WriteConfig(Ports("LPT1:", "lpt1", fifo.string()));
  host_.quantity = "2";
  host_.limits.stall = std::chrono::milliseconds(200);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kFailed);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].rfind(
                "写入打印端口 LPT1:（" + fifo.string() + "）失败：设备 1 秒内没有接收数据", 0),
            0u)
      << host_.messages[0];
  EXPECT_GT(host_.event_passes, 10);  // the window was served while it waited
  close(reader);
}

TEST_F(PrintRequestTest, DeviceErrorsAreNamed) {
  host_.WriteConfig(Ports("LPT2:", "lpt2", "/dev/full"));
  host_.quantity = "2";
  EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kFailed);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].rfind("写入打印端口 LPT2:（/dev/full）失败：" +
                                        DescribeOsError(OsError{ENOSPC}) + "（已写入 0 / ",
                                    0),
            0u)
      << host_.messages[0];
}
#endif

TEST_F(PrintRequestTest, NetworkSendsAllLabelsInOnePiece) {
  FaultPrinter printer(FaultPrinter::Behaviour::kAcceptAndRead);
  struct Case {
    const char* mode;
    const char* quantity;
    std::string expected;
  } cases[] = {
      {"ip", "4", Label("ABC", "123") + Label("\xD6\xD0\xCE\xC4", "L3")},
      {"IP", "1", Label("ABC", "123")},
      {"tcpip", "3", Label("ABC", "123") + Label("\xD6\xD0\xCE\xC4", "L3")},
      {"\xCD\xF8\xC2\xE7", "2", Label("ABC", "123")},
      {"ip", "0", ""},
  };
  std::size_t jobs = 0;
  for (const auto& c : cases) {
    host_.WriteConfig(Network(printer.port(), "  127.0.0.1  ", c.mode));
    host_.messages.clear();
    host_.quantity = c.quantity;
    EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kDone) << c.mode;
    EXPECT_EQ(host_.messages, Messages{kPrintSucceeded}) << c.mode;
    ASSERT_TRUE(printer.WaitForJobs(++jobs, std::chrono::seconds(5)));
    EXPECT_EQ(printer.jobs().back(), c.expected) << c.mode << " " << c.quantity;
  }
  EXPECT_EQ(printer.connections(), jobs);
}

TEST_F(PrintRequestTest, NetworkFailuresNeverReportSuccess) {
  // Lines big enough to fill the socket buffers of both ends.
  std::string big = "[content]\r\n";
  for (int i = 0; i < 160; ++i) {
    big += "c(" + std::to_string(i) + ")=" + std::string(60000, 'x') + "\r\n";
  }
  // One label of 60 kB: more than the printer's system takes while it reads
  // nothing, less than our side's bounded send buffer holds, so it waits
  // unacknowledged after the last send.
  const std::string one_label = "[content]\r\nc(0)=" + std::string(60000, 'x') + "\r\n";
  struct Case {
    const char* name;
    FaultPrinter::Behaviour behaviour;
    std::size_t reset_after;
    const std::string* content;  // nullptr: kContent, four lines
    const char* quantity;
    std::string message_start;
  } cases[] = {
      {"closes at once", FaultPrinter::Behaviour::kCloseAtOnce, 0, nullptr, "4",
       "向打印机 127.0.0.1:"},
      {"resets mid-stream", FaultPrinter::Behaviour::kResetAfter, 1000, &big, "160",
       "向打印机 127.0.0.1:"},
      {"resets after all", FaultPrinter::Behaviour::kResetAfterAll, 0, nullptr, "4",
       "向打印机 127.0.0.1:"},
      {"stops reading", FaultPrinter::Behaviour::kStopReading, 0, &big, "160",
       "向打印机 127.0.0.1:"},
      {"stops reading after our last send", FaultPrinter::Behaviour::kStopReading, 0, &one_label,
       "1", "向打印机 127.0.0.1:"},
  };
  host_.limits.stall = std::chrono::milliseconds(300);
  host_.limits.close_wait = std::chrono::milliseconds(300);
  for (const auto& c : cases) {
    FaultPrinter printer(c.behaviour, "127.0.0.1", c.reset_after);
    host_.WriteContent(c.content != nullptr ? *c.content : std::string(kContent));
    host_.WriteConfig(Network(printer.port()));
    host_.messages.clear();
    host_.quantity = c.quantity;
    EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kFailed) << c.name;
    ASSERT_EQ(host_.messages.size(), 1u) << c.name;
    EXPECT_EQ(host_.messages[0].rfind(c.message_start, 0), 0u)
        << c.name << ": " << host_.messages[0];
    EXPECT_EQ(host_.Winsock1.state(), TcpClient::State::kClosed) << c.name;
  }
}

TEST_F(PrintRequestTest, RefusedConnectionIsToldWordForWord) {
  const int port = testing::RefusingPort();
  host_.WriteConfig(Network(port));
  host_.quantity = "2";
  EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kFailed);
  EXPECT_EQ(host_.messages, Messages{"无法连接打印机 127.0.0.1:" + std::to_string(port) + "：" +
                                     DescribeOsError(MakeOsError(OsErrorKind::kRefused))});
  EXPECT_EQ(host_.Winsock1.state(), TcpClient::State::kClosed);
}

TEST_F(PrintRequestTest, BadNetworkSettings) {
  struct Case {
    std::string config;
    std::string message;
  } cases[] = {
      {Config("ip", "[network]\r\nprinterip=127.0.0.1\r\nprinterport=abc\r\n"), kTypeMismatch},
      {Config("ip", "[network]\r\nprinterip=127.0.0.1\r\n"), kTypeMismatch},
      {Config("ip", "[network]\r\nprinterip=127.0.0.1\r\nprinterport=99999999999\r\n"), kOverflow},
      {Config("ip", "[network]\r\nprinterip=127.0.0.1\r\nprinterport=70000\r\n"),
       "打印机端口号无效：70000（应为 1 到 65535，请检查 Config.ini 的 [network] printerport）"},
      {Config("ip", "[network]\r\nprinterip=127.0.0.1\r\nprinterport=0\r\n"),
       "打印机端口号无效：0（应为 1 到 65535，请检查 Config.ini 的 [network] printerport）"},
      {Config("ip", "[network]\r\nprinterip=   \r\nprinterport=9100\r\n"),
       "未设置打印机地址：请在 Config.ini 的 [network] 中填写 printerip"},
      // The platform's address parser, on every platform, refuses the short
      // form that its resolver would take as 1.2.0.3.
      {Config("ip", "[network]\r\nprinterip=1.2.3\r\nprinterport=9100\r\n"),
       "打印机地址无效：1.2.3（请检查 Config.ini 的 [network] printerip）"},
  };
  for (const auto& c : cases) {
    host_.WriteConfig(c.config);
    host_.messages.clear();
    host_.quantity = "2";
    EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kFailed) << c.config;
    EXPECT_EQ(host_.messages, Messages{c.message}) << c.config;
  }
}

TEST_F(PrintRequestTest, PrintDuringTheTicksIsRefusedNotNested) {
  FaultPrinter printer(FaultPrinter::Behaviour::kAcceptAndRead);
  host_.WriteConfig(Network(printer.port()));
  host_.quantity = "2";
  std::vector<PrintOutcome> nested;
  host_.on_events = [&] {
    if (nested.size() < 3) nested.push_back(RunPrintRequest(host_));
  };
  EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kDone);
  EXPECT_EQ(nested, std::vector<PrintOutcome>(3, PrintOutcome::kRefused));
  EXPECT_EQ(host_.messages, Messages{kPrintSucceeded});
  ASSERT_TRUE(printer.WaitForJobs(1, std::chrono::seconds(5)));
  EXPECT_EQ(printer.jobs(), std::vector<std::string>{Label("ABC", "123")});
  // The ticks really let events through: at least the 10 + 5 + 5 fixed ones.
  EXPECT_GE(host_.event_passes, 20);
}

TEST_F(PrintRequestTest, EditsShowAtTheNextRequest) {
  FaultPrinter printer(FaultPrinter::Behaviour::kAcceptAndRead);
  host_.WriteConfig(Network(printer.port()));
  host_.quantity = "2";
  EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kDone);
  host_.WriteContent("[content]\r\nc(0)=NEW\r\n");
  EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kDone);
  ASSERT_TRUE(printer.WaitForJobs(2, std::chrono::seconds(5)));
  EXPECT_EQ(printer.jobs(), (std::vector<std::string>{Label("ABC", "123"), Label("NEW", "")}));
}

TEST_F(PrintRequestTest, EditDuringALongConnectionWaitShows) {
  // An edit made while the connection's ticks pass, followed by a wait
  // longer than a reading serves, is what the labels carry.
  FaultPrinter printer(FaultPrinter::Behaviour::kAcceptAndRead);
  host_.WriteConfig(Network(printer.port()));
  host_.quantity = "2";
  bool edited = false;
  host_.on_events = [&] {
    if (edited) return;
    edited = true;
    host_.WriteContent("[content]\r\nc(0)=NEW\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  };
  EXPECT_EQ(RunPrintRequest(host_), PrintOutcome::kDone);
  ASSERT_TRUE(printer.WaitForJobs(1, std::chrono::seconds(5)));
  EXPECT_EQ(printer.jobs(), std::vector<std::string>{Label("NEW", "")});
}

TEST_F(PrintRequestTest, SameSizeEditUnderCoarseTimeStampsShowsAtTheNextRequest) {
  // Run under the coarse-stat shim too (ctest does), where times come in
  // whole two-second steps as on a FAT stick, so that nothing stat tells
  // can show the edit. Both requests fall in one step.
  using namespace std::chrono;
  const auto now = system_clock::now().time_since_epoch();
  std::this_thread::sleep_for(milliseconds(2100) - (now % seconds(2)));
  const std::string device = MakeDevice();
  host_.WriteConfig(Ports("LPT1:", "lpt1", device));
  const auto written = std::filesystem::last_write_time(host_.folder.path() / "Config.ini");
  host_.quantity = "2";
  ASSERT_EQ(RunPrintRequest(host_), PrintOutcome::kDone);

  std::string edited = Ports("LPT1:", "lpt1", device);
  edited.replace(edited.find("darkness=15"), 11, "darkness=20");
  host_.WriteConfig(edited);
  std::filesystem::last_write_time(host_.folder.path() / "Config.ini", written);
  ASSERT_EQ(RunPrintRequest(host_), PrintOutcome::kDone);

  PrintSettings darker = kSettings;
  darker.darkness = "20";
  EXPECT_EQ(testing::ReadFileBytes(device),
            Label("ABC", "123") + "\r\n" + ComposeLabel(darker, "ABC", "123") + "\r\n");
}

TEST_F(PrintRequestTest, AnyOtherErrorTakesTheFailurePath) {
  struct Case {
    const char* name;
    std::function<void()> raise;
    std::string message;
  } cases[] = {
      {"out of memory", [] { throw std::bad_alloc(); }, kOutOfMemory},
      {"a library error", [] { throw std::length_error("basic_string::_M_create"); },
       std::string(kUnexpectedFailure) + "：basic_string::_M_create"},
      {"anything else", [] { throw 42; }, kUnexpectedFailure},
  };
  class FailingHost : public RecordingHost {
   public:
    std::string QuantityText() override {
      raise();
      return "2";
    }
    std::function<void()> raise;
  };
  for (const auto& c : cases) {
    FailingHost host;
    host.WriteConfig(Network(9));
    host.raise = c.raise;
    EXPECT_EQ(RunPrintRequest(host), PrintOutcome::kFailed) << c.name;
    EXPECT_EQ(host.messages, Messages{c.message}) << c.name;
    EXPECT_EQ(host.Winsock1.state(), TcpClient::State::kClosed) << c.name;
  }
}

}  // namespace
}  // namespace zplport
