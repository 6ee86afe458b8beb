// The real zplport-cli, copied alone into a folder with its INI files, run
// against printers and devices that the tests set up. In the Windows build
// this is zplport-cli.exe under Wine.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>
#endif

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "label/label.h"
#include "platform/os_error.h"
#include "platform/sleep.h"
#include "platform/tcp_client.h"
#ifndef _WIN32
#include "printer/printer_server.h"
#endif
#include "support/fault_printer.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace zplport {
namespace {

namespace fs = std::filesystem;
using testing::FaultPrinter;
using testing::ProcessResult;
using testing::ScopedTempDir;

const PrintSettings kSampleSettings{"15", "50", "50", "50", "150", "40", "40"};

// A folder as an operator would unpack it: the executable and its INI files.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::copy_file(ZPLPORT_CLI_PATH, program_); }

  void WriteConfig(const std::string& body, const char* name = "Config.ini") {
    dir_.Write(name, "[prtmod]\r\ndarkness=15\r\n" + body +
                         "[zuobiao]\r\nzbx=50\r\nzby=50\r\nzbx1=50\r\nzby1=150\r\n"
                         "[font]\r\na=40\r\nb=40\r\n");
  }
  void UseSamples(int port) {
    // The sample files, with the port of the printer this test started.
    std::string config = testing::ReadFileBytes(fs::path(ZPLPORT_SAMPLES_DIR) / "Config.ini");
    const auto at = config.find("printerport=9100");
    ASSERT_NE(at, std::string::npos);
    config.replace(at, 16, "printerport=" + std::to_string(port));
    dir_.Write("Config.ini", config);
    fs::copy_file(fs::path(ZPLPORT_SAMPLES_DIR) / "file.ini", dir_.path() / "file.ini",
                  fs::copy_options::overwrite_existing);
  }

  ProcessResult Run(std::vector<std::string> args,
                    std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    // Started from another folder: the INI files are found beside the
    // executable, not in the working folder.
    return testing::RunProgram(program_, args, fs::temp_directory_path(), timeout);
  }

  ScopedTempDir dir_;
  const fs::path program_ = dir_.path() / fs::path(ZPLPORT_CLI_PATH).filename();
};

TEST_F(CliTest, SampleFilesPrintOverTheNetwork) {
  FaultPrinter printer(FaultPrinter::Behaviour::kAcceptAndRead);
  UseSamples(printer.port());
  const ProcessResult r = Run({"4"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "打印成功\n");
  ASSERT_TRUE(printer.WaitForJobs(1, std::chrono::seconds(5)));
  // The plain request asks the printer nothing: one connection, only labels.
  EXPECT_EQ(printer.connections(), 1u);
  // Lines 2 and 3 of the sample are Chinese, sent as their GBK bytes.
  EXPECT_EQ(printer.jobs()[0], ComposeLabel(kSampleSettings, "ABC", "123") +
                                   ComposeLabel(kSampleSettings, "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4",
                                                "\xB0\xDF\xC2\xED\xB4\xF2\xD3\xA1\xBB\xFA"));
}

#ifndef _WIN32
// The loopback printer answers "~HS" as a ready printer does.
TEST_F(CliTest, StatusAndConfirmedPrintOfTheLoopbackPrinter) {
  printer::PrinterServer server(
      {.render = false, .engine = {.pace = std::chrono::milliseconds(0)}});
  ASSERT_EQ(server.Start(), "");
  server.StartThread();
  UseSamples(server.port());

  ProcessResult r = Run({"--status"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.rfind("打印机就绪\n标签长度 ", 0), 0u) << r.out;

  r = Run({"--confirm", "4"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "打印成功\n打印机已打印全部 2 张标签\n");
  // The print's own connection carries the same bytes as a plain request;
  // the questions go on connections of their own, which are no jobs.
  ASSERT_TRUE(server.WaitForJobs(1, std::chrono::seconds(5)));
  std::vector<std::string> labels;
  for (const printer::Job& job : server.jobs()) labels.push_back(job.bytes);
  EXPECT_EQ(labels, std::vector<std::string>{
                        ComposeLabel(kSampleSettings, "ABC", "123") +
                        ComposeLabel(kSampleSettings, "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4",
                                     "\xB0\xDF\xC2\xED\xB4\xF2\xD3\xA1\xBB\xFA")});
}

// Sends `bytes` on a connection of its own and waits for the printer's close.
void SendToPrinter(int port, std::string_view bytes) {
  TcpClient client;
  client.RemoteHost = "127.0.0.1";
  client.RemotePort = port;
  client.Connect(std::chrono::seconds(5));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (client.Poll() == TcpClient::State::kConnecting) SleepMilliseconds(1);
  while (!bytes.empty() && std::chrono::steady_clock::now() < deadline) {
    bytes.remove_prefix(client.Send(bytes).bytes);
  }
  ASSERT_TRUE(bytes.empty());
  client.ShutdownSend();
  std::string ignored;
  while (client.Receive(ignored, std::chrono::milliseconds(100)) == TcpClient::PeerState::kOpen &&
         std::chrono::steady_clock::now() < deadline) {
  }
}

const char kFigures[] = "标签长度 1218 点，接收缓冲区中 0 个格式，本批还剩 0 张标签\n";

TEST_F(CliTest, EachFaultStopsTheStatusAndTheConfirmedPrint) {
  const std::pair<const char*, const char*> faults[] = {
      {"paused", "暂停"},
      {"head-open", "打印头打开"},
      {"ribbon-out", "碳带用完"},
      {"paper-out", "缺纸"},
  };
  for (const auto& [fault, condition] : faults) {
    SCOPED_TRACE(fault);
    printer::EngineOptions engine;
    ASSERT_TRUE(printer::ParseFaults(fault, engine));
    printer::PrinterServer server({.render = false, .engine = engine});
    ASSERT_EQ(server.Start(), "");
    server.StartThread();
    UseSamples(server.port());
    ProcessResult r = Run({"--status"});
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.out, std::string(condition) + "\n" + kFigures);
    r = Run({"--confirm", "2"});
    EXPECT_EQ(r.exit_code, 3);
    EXPECT_EQ(r.out, std::string(condition) + "\n" + kFigures + "没有发送标签\n");
    // The questions are no jobs, and no label was sent.
    EXPECT_FALSE(server.WaitForJobs(1, std::chrono::milliseconds(100)));
    fs::remove(dir_.path() / "file.ini");
  }
}

TEST_F(CliTest, PauseAndResumeAreObeyedAtOnce) {
  printer::PrinterServer server({.render = false});
  ASSERT_EQ(server.Start(), "");
  server.StartThread();
  UseSamples(server.port());
  SendToPrinter(server.port(), "~PP");
  ProcessResult r = Run({"--status"});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.out, std::string("暂停\n") + kFigures);
  SendToPrinter(server.port(), "~ps");
  r = Run({"--status"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, std::string("打印机就绪\n") + kFigures);
}

TEST_F(CliTest, ConfirmedPrintWaitsForTheLastLabel) {
  printer::PrinterServer server(
      {.render = false, .engine = {.pace = std::chrono::milliseconds(300)}});
  ASSERT_EQ(server.Start(), "");
  server.StartThread();
  UseSamples(server.port());
  const auto started = std::chrono::steady_clock::now();
  const ProcessResult r = Run({"--confirm", "6"});
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "打印成功\n打印机已打印全部 3 张标签\n");
}

TEST_F(CliTest, ConfirmedPrintThatRunsOutOfPaperSaysWhatIsLeft) {
  printer::PrinterServer server(
      {.render = false, .engine = {.pace = std::chrono::milliseconds(0), .media = 1}});
  ASSERT_EQ(server.Start(), "");
  server.StartThread();
  UseSamples(server.port());
  const ProcessResult r = Run({"--confirm", "6"});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_EQ(r.out, "打印成功\n缺纸\n打印机中还有 2 张标签没有打印（按打印机的计数）\n");
  ASSERT_TRUE(server.WaitForJobs(1, std::chrono::seconds(5)));
  EXPECT_NE(FormatJobSummary(server.jobs()[0]).find(", printed 1, waiting 2"), std::string::npos)
      << FormatJobSummary(server.jobs()[0]);
}
#endif  // _WIN32

TEST_F(CliTest, UsageErrors) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {"1", "2"},
                                               {"--status", "1"},
                                               {"--confirm"},
                                               {"--confirm", "1", "2"},
                                               {"--stat"}}) {
    const ProcessResult r = Run(args);
    EXPECT_EQ(r.exit_code, 2) << args.size();
    EXPECT_EQ(r.out, "");
  }
  const ProcessResult help = Run({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char* form :
       {"zplport-cli QUANTITY", "zplport-cli --confirm QUANTITY", "zplport-cli --status"}) {
    EXPECT_NE(help.out.find(form), std::string::npos) << form;
  }
}

TEST_F(CliTest, MessagesAndExitStatus) {
  const int refusing = testing::RefusingPort();
  const std::string nobody =
      "prtmod=ip\r\n[network]\r\nprinterip=127.0.0.1\r\nprinterport=" + std::to_string(refusing) +
      "\r\n";
  const std::string refused = "无法连接打印机 127.0.0.1:" + std::to_string(refusing) + "：" +
                              DescribeOsError(MakeOsError(OsErrorKind::kRefused)) + "\n";
  // Reads and never answers.
  FaultPrinter silent(FaultPrinter::Behaviour::kAcceptAndRead);
  const std::string silent_at = "127.0.0.1:" + std::to_string(silent.port());
  const std::string file = dir_.Write("device", "").string();
  struct Case {
    std::string config;
    std::vector<std::string> args;
    int exit_code;
    std::string out;
  } cases[] = {
      {"prtmod=ip\r\n", {"abc"}, 1, "类型不匹配\n"},
      {"prtmod=ip\r\n", {""}, 1, "类型不匹配\n"},
      {"prtmod=ip\r\n", {"40000"}, 1, "溢出\n"},
      {"prtmod=ip\r\n", {"-1"}, 1, "下标越界\n"},
      {"prtmod=Ip\r\n", {"2"}, 1, "你末JJ！\n"},
      {nobody, {"2"}, 1, refused},
      // The questions reach the printer as a print would, with its words.
      {nobody, {"--status"}, 1, refused},
      {nobody, {"--confirm", "2"}, 1, refused},
      {"prtmod=Ip\r\n", {"--status"}, 1, "你末JJ！\n"},
      {"prtmod=ip\r\n", {"--confirm", "abc"}, 1, "类型不匹配\n"},
      {"prtmod=ip\r\n[network]\r\nprinterip=127.0.0.1\r\nprinterport=" +
           std::to_string(silent.port()) + "\r\n",
       {"--status"},
       1,
       "打印机没有回答状态查询（打印机 " + silent_at + " 5 秒内没有回答）\n"},
      // A file takes labels but can say nothing back.
      {"prtmod=LPT1:\r\n[ports]\r\nlpt1=" + file + "\r\n",
       {"--confirm", "2"},
       1,
       "打印端口 LPT1:（" + file +
           "） 只能向打印机发送数据，读不到打印机的回答，无法查询状态（USB 打印机可以回答）\n"},
#ifdef _WIN32
      // No parallel port (Wine has none without /dev/lp3): the system's words,
      // then how to map a shared printer to the port.
      {"prtmod=lpt4:\r\n",
       {"2"},
       1,
       "无法打开打印端口 LPT4:（\\\\.\\LPT4）：设备或文件不存在"
       "（本机没有这个并口时，可以把打印机共享，再在命令提示符中运行 "
       "net use LPT4: \\\\计算机名\\共享名 /persistent:yes，将共享的打印机映射为 LPT4:）\n"},
#endif
  };
  for (const auto& c : cases) {
    WriteConfig(c.config);
    const ProcessResult r = Run(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.config << c.args[0];
    EXPECT_EQ(r.out, c.out) << c.config << c.args[0];
  }
  // Nothing was sent to the silent printer but the question.
  ASSERT_TRUE(silent.WaitForJobs(1, std::chrono::seconds(5)));
  EXPECT_EQ(silent.jobs(), std::vector<std::string>{"~HS"});
  EXPECT_EQ(testing::ReadFileBytes(file), "");
}

TEST_F(CliTest, MissingConfigSaysUnknownMode) {
  const ProcessResult r = Run({"2"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "你末JJ！\n");
}

TEST_F(CliTest, LowerCaseFileNamesAreFound) {
  const auto device = dir_.Write("device", "");
  WriteConfig("prtmod=lpt1:\r\n[ports]\r\nlpt1=" + device.string() + "\r\n", "config.ini");
  dir_.Write("FILE.INI", "[content]\r\nc(0)=A\r\nc(1)=B\r\n");
  const ProcessResult r = Run({"2"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(testing::ReadFileBytes(device), ComposeLabel(kSampleSettings, "A", "B") + "\r\n");
}

TEST_F(CliTest, EachLabelIsAppendedToTheMappedDevice) {
  // A device that already holds a job: the tool appends, never truncates.
  const auto device = dir_.Write("device", "before\r\n");
  WriteConfig("prtmod=LPT2:\r\n[ports]\r\nlpt2=" + device.string() + "\r\n");
  dir_.Write("file.ini", "[content]\r\nc(0)=A\r\nc(1)=B\r\nc(2)=\xD6\xD0\xCE\xC4\r\n");
  const ProcessResult r = Run({"4"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(testing::ReadFileBytes(device),
            "before\r\n" + ComposeLabel(kSampleSettings, "A", "B") + "\r\n" +
                ComposeLabel(kSampleSettings, "\xD6\xD0\xCE\xC4", "") + "\r\n");
}

#ifndef _WIN32
TEST_F(CliTest, PortDeviceThroughAFifo) {
  const fs::path fifo = dir_.path() / "lp0";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  WriteConfig("prtmod=LPT1:\r\n[ports]\r\nlpt1=" + fifo.string() + "\r\n");
  dir_.Write("file.ini", "[content]\r\nc(0)=A\r\nc(1)=B\r\nc(2)=C\r\n");

  // Without a reader the port is not there: a failure, not a hang.
  ProcessResult r = Run({"2"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out.rfind("无法打开打印端口 LPT1:（" + fifo.string() + "）：", 0), 0u) << r.out;

  // With a reader, each label is written on its own opening of the device.
  std::string received;
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    // Keeps a writer end open of our own so that the reader does not see
    // end-of-file between the tool's two openings.
    const int keep = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    char buffer[4096];
    while (!stop) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
      if (n <= 0) usleep(1000);
    }
    close(keep);
    close(fd);
  });
  usleep(50000);
  r = Run({"3"});
  usleep(50000);
  stop = true;
  reader.join();
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_EQ(received, ComposeLabel(kSampleSettings, "A", "B") + "\r\n" +
                          ComposeLabel(kSampleSettings, "C", "") + "\r\n");
}
#endif  // _WIN32

// Printers as factories meet them, on every system the build runs on. A
// printer that got everything is never a failure, however it ends; one that
// reset or went away before that always is. The bounds catch a hang.
TEST_F(CliTest, NetworkPrinters) {
  using Behaviour = FaultPrinter::Behaviour;
  const std::string line(20000, 'y');
  auto content = [&](int lines) {
    std::string text = "[content]\r\n";
    for (int i = 0; i < lines; ++i) text += "c(" + std::to_string(i) + ")=" + line + "\r\n";
    return text;
  };
  const std::string job_400k = content(20);  // ten labels, 400 720 bytes
  const std::string job_8m = content(400);
  struct Case {
    const char* name;
    Behaviour behaviour;
    std::size_t amount;
    const std::string* content;  // nullptr: the sample file.ini
    const char* quantity;
    bool prints;  // 打印成功, and the printer has the whole job
    std::chrono::seconds within;
  } cases[] = {
      // 2 KiB every 25 ms: 80 kB/s, five seconds for the job.
      {"reads 400 kB at 80 kB/s, closes after our end", Behaviour::kSlowReader, 2048, &job_400k,
       "20", true, std::chrono::seconds(20)},
      {"reads 400 kB at 80 kB/s, never closes", Behaviour::kSlowNeverClose, 2048, &job_400k, "20",
       true, std::chrono::seconds(20)},
      {"reads a 78-byte job at once, never closes", Behaviour::kNeverClose, 0, nullptr, "2", true,
       std::chrono::seconds(8)},
      {"resets after 20 kB of 400 kB", Behaviour::kResetAfter, 20000, &job_400k, "20", false,
       std::chrono::seconds(8)},
      {"closes at once without reading", Behaviour::kCloseAtOnce, 0, nullptr, "2", false,
       std::chrono::seconds(8)},
      {"resets after 100 bytes of 8 MB", Behaviour::kResetAfter, 100, &job_8m, "400", false,
       std::chrono::seconds(15)},
  };
  for (const auto& c : cases) {
    FaultPrinter printer(c.behaviour, "127.0.0.1", c.amount);
    UseSamples(printer.port());
    if (c.content != nullptr) dir_.Write("file.ini", *c.content);
    const auto started = std::chrono::steady_clock::now();
    const ProcessResult r = Run({c.quantity}, std::chrono::seconds(40));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_LT(took, c.within) << c.name;
    if (c.prints) {
      EXPECT_EQ(r.exit_code, 0) << c.name;
      EXPECT_EQ(r.out, "打印成功\n") << c.name;
      ASSERT_TRUE(printer.WaitForJobs(1, std::chrono::seconds(5))) << c.name;
      const int labels = std::stoi(c.quantity) / 2;
      std::string job;
      for (int i = 0; i < labels; ++i) {
        job += c.content != nullptr ? ComposeLabel(kSampleSettings, line, line)
                                    : ComposeLabel(kSampleSettings, "ABC", "123");
      }
      const std::string got = printer.jobs()[0];
      EXPECT_EQ(got.size(), job.size()) << c.name;
      EXPECT_TRUE(got == job) << c.name;
    } else {
      EXPECT_EQ(r.exit_code, 1) << c.name;
      EXPECT_EQ(r.out.rfind(
                    "向打印机 127.0.0.1:" + std::to_string(printer.port()) + " 发送数据失败：", 0),
                0u)
          << c.name << ": " << r.out;
    }
  }
}

TEST_F(CliTest, AbsentDeviceIsAFailure) {
  const auto device = dir_.path() / "no-such-device";
  WriteConfig("prtmod=LPT3:\r\n[ports]\r\nlpt3=" + device.string() + "\r\n");
  const ProcessResult r = Run({"2"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "无法打开打印端口 LPT3:（" + device.string() + "）：" +
                       DescribeOsError(MakeOsError(OsErrorKind::kNotFound)) + "\n");
  EXPECT_FALSE(fs::exists(device));
}

// The operator's own limit, not a shortened one: a printer that takes no byte
// for 30 seconds ends the request with a failure, and no later than that.
TEST_F(CliTest, PrinterThatStopsReadingFailsAfterThirtySeconds) {
  FaultPrinter printer(FaultPrinter::Behaviour::kStopReading);
  WriteConfig("prtmod=ip\r\n[network]\r\nprinterip=127.0.0.1\r\nprinterport=" +
              std::to_string(printer.port()) + "\r\n");
  std::string content = "[content]\r\n";
  for (int i = 0; i < 600; ++i) {
    content += "c(" + std::to_string(i) + ")=" + std::string(20000, 'z') + "\r\n";
  }
  dir_.Write("file.ini", content);
  const auto started = std::chrono::steady_clock::now();
  const ProcessResult r = Run({"600"}, std::chrono::seconds(60));
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("打印机 30 秒内没有接收数据"), std::string::npos) << r.out;
  EXPECT_GE(took, std::chrono::seconds(30));
  EXPECT_LT(took, std::chrono::seconds(40));
}

}  // namespace
}  // namespace zplport
