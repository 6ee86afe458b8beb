// Printers that misbehave on the network side: every fault must end in the
// right message within the documented limits, leave no descriptor behind
// and leave the window ready for the next request.
#include <gtest/gtest.h>

#include <netdb.h>
#include <sys/socket.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "hardening/hardening_support.h"
#include "label/label.h"
#include "platform/os_error.h"
#include "printing/print_failure.h"
#include "support/fault_printer.h"
#include "support/recording_host.h"

namespace zplport {
namespace {

using std::chrono::milliseconds;
using testing::FaultPrinter;
using testing::RecordingHost;
using Behaviour = FaultPrinter::Behaviour;

const PrintSettings kSettings{"15", "50", "50", "50", "150", "40", "40"};
const char kContent[] = "[content]\r\nc(0)=ABC\r\nc(1)=123\r\nc(2)=\xD6\xD0\xCE\xC4\r\nc(3)=L3\r\n";

// Time the fixed ticks and the bookkeeping may take on top of a limit.
constexpr milliseconds kSlack{1000};
constexpr milliseconds kBigJobTime{3000};

std::string NetworkConfig(const std::string& host, int port) {
  return "[prtmod]\r\nprtmod=ip\r\ndarkness=15\r\n[zuobiao]\r\nzbx=50\r\nzby=50\r\n"
         "zbx1=50\r\nzby1=150\r\n[font]\r\na=40\r\nb=40\r\n[network]\r\nprinterip=" +
         host + "\r\nprinterport=" + std::to_string(port) + "\r\n";
}

std::string FourLines() {
  return ComposeLabel(kSettings, "ABC", "123") + ComposeLabel(kSettings, "\xD6\xD0\xCE\xC4", "L3");
}

std::string BigLine(int i) { return std::string(60000, static_cast<char>('a' + i % 26)); }

// Enough text to fill the socket buffers of both ends many times over.
std::string BigContent(int lines) {
  std::string big = "[content]\r\n";
  for (int i = 0; i < lines; ++i) big += "c(" + std::to_string(i) + ")=" + BigLine(i) + "\r\n";
  return big;
}

// What quantity `lines` sends for BigContent(lines).
std::string BigJob(int lines) {
  std::string job;
  for (int i = 0; i < lines; i += 2) {
    job += ComposeLabel(kSettings, BigLine(i), i + 1 < lines ? BigLine(i + 1) : "");
  }
  return job;
}

// A good printer right after the fault: the window's connection and
// outgoing text are ready for the next press of Print.
void ExpectNextRequestWorks(RecordingHost& host, const std::string& address = "127.0.0.1") {
  FaultPrinter good(Behaviour::kAcceptAndRead, address);
  ASSERT_TRUE(good.ok());
  host.WriteContent(kContent);
  host.WriteConfig(NetworkConfig(address, good.port()));
  host.quantity = "4";
  host.messages.clear();
  EXPECT_EQ(RunPrintRequest(host), PrintOutcome::kDone);
  EXPECT_EQ(host.messages, std::vector<std::string>{kPrintSucceeded});
  ASSERT_TRUE(good.WaitForJobs(1, std::chrono::seconds(5)));
  EXPECT_EQ(good.jobs(), std::vector<std::string>{FourLines()});
}

struct SendFault {
  const char* name;
  Behaviour behaviour;
  std::size_t reset_after;
  int big_lines;  // 0: the four small lines, quantity 4
  // The message is the send failure's prefix followed by one of these;
  // none: 打印成功, and the printer has the whole job.
  std::vector<std::string> reasons;
  bool printer_gets_everything;
  milliseconds PrintLimits::*bound;  // the limit that ends this fault
};

TEST(NetworkFaults, EveryFaultEndsInItsMessageWithinItsLimit) {
  RecordingHost host;
  host.limits = {milliseconds(2000), milliseconds(500), milliseconds(500)};
  const std::string closed = "打印机在接收完数据之前关闭了连接";
  const std::string reset = "连接被对方重置";
  const std::string pipe = DescribeOsError(MakeOsError(OsErrorKind::kBrokenPipe));
  const SendFault faults[] = {
      {"closes at once", Behaviour::kCloseAtOnce, 0, 0, {closed}, false, &PrintLimits::connect},
      {"resets mid-stream",
       Behaviour::kResetAfter,
       1000,
       140,
       {reset, pipe, closed},
       false,
       &PrintLimits::stall},
      {"resets after taking everything",
       Behaviour::kResetAfterAll,
       0,
       0,
       {"打印机在接收数据时重置了连接，可能没有收到全部标签"},
       true,
       &PrintLimits::close_wait},
      {"stops reading",
       Behaviour::kStopReading,
       0,
       140,
       {"打印机 1 秒内没有接收数据（已发送 "},
       false,
       &PrintLimits::stall},
      // About 1.3 s of reading, most of it after the last byte was handed
      // over: longer than the stall and the close wait.
      {"reads 8 KiB every 25 ms", Behaviour::kSlowReader, 0, 7, {}, true, &PrintLimits::stall},
      {"half-closes on accepting", Behaviour::kHalfClose, 0, 0, {}, true, &PrintLimits::close_wait},
      {"never closes", Behaviour::kNeverClose, 0, 0, {}, true, &PrintLimits::close_wait},
  };
  for (const SendFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    const int fds_before = testing::OpenDescriptors();
    {
      FaultPrinter printer(fault.behaviour, "127.0.0.1", fault.reset_after);
      ASSERT_TRUE(printer.ok());
      host.WriteContent(fault.big_lines > 0 ? BigContent(fault.big_lines) : kContent);
      host.WriteConfig(NetworkConfig("127.0.0.1", printer.port()));
      host.quantity = fault.big_lines > 0 ? std::to_string(fault.big_lines) : "4";
      host.messages.clear();

      const testing::TimedOutcome r = testing::TimedRequest(host);
      // Composing and reading 8 MB of labels takes time of its own, seconds
      // under the sanitizers; no limit covers it.
      const milliseconds bound =
          host.limits.*fault.bound + kSlack + (fault.big_lines > 0 ? kBigJobTime : milliseconds(0));
      testing::ReportFigure(std::string("network/") + fault.name, r.outcome, r.elapsed, bound);
      EXPECT_LE(r.elapsed, bound);
      EXPECT_EQ(host.Winsock1.state(), TcpClient::State::kClosed);
      if (fault.reasons.empty()) {
        EXPECT_EQ(r.outcome, PrintOutcome::kDone);
        EXPECT_EQ(host.messages, std::vector<std::string>{kPrintSucceeded});
        ASSERT_TRUE(printer.WaitForJobs(1, std::chrono::seconds(5)));
        EXPECT_TRUE(printer.jobs().at(0) ==
                    (fault.big_lines > 0 ? BigJob(fault.big_lines) : FourLines()))
            << printer.jobs().at(0).size() << " bytes arrived";
      } else {
        EXPECT_EQ(r.outcome, PrintOutcome::kFailed);
        ASSERT_EQ(host.messages.size(), 1u);
        const std::string prefix =
            "向打印机 127.0.0.1:" + std::to_string(printer.port()) + " 发送数据失败：";
        const std::string& message = host.messages[0];
        ASSERT_EQ(message.rfind(prefix, 0), 0u) << message;
        bool known_reason = false;
        for (const std::string& reason : fault.reasons) {
          known_reason = known_reason || message.compare(prefix.size(), reason.size(), reason) == 0;
        }
        EXPECT_TRUE(known_reason) << message;
        // Failure is the right outcome only when the printer really was
        // short of labels, or did not end the job cleanly.
        if (fault.printer_gets_everything) {
          EXPECT_EQ(printer.bytes_received(), FourLines().size());
        } else if (fault.big_lines == 0 && fault.behaviour != Behaviour::kCloseAtOnce) {
          EXPECT_LT(printer.bytes_received(), FourLines().size());
        }
      }
      ExpectNextRequestWorks(host);
    }
    EXPECT_EQ(testing::OpenDescriptors(), fds_before);
  }
}

TEST(NetworkFaults, RefusedIsToldAtOnce) {
  for (const char* address : {"127.0.0.1", "::1"}) {
    SCOPED_TRACE(address);
    RecordingHost host;
    const int port = testing::RefusingPort(address);
    if (port == 0) GTEST_SKIP() << address << " is not available";
    const int fds_before = testing::OpenDescriptors();
    host.WriteContent(kContent);
    host.WriteConfig(NetworkConfig(address, port));
    host.quantity = "4";
    const testing::TimedOutcome r = testing::TimedRequest(host);
    testing::ReportFigure(std::string("network/refused ") + address, r.outcome, r.elapsed, kSlack);
    EXPECT_EQ(r.outcome, PrintOutcome::kFailed);
    EXPECT_LE(r.elapsed, kSlack);
    const std::string shown =
        std::string(address).find(':') != std::string::npos ? "[::1]" : address;
    EXPECT_EQ(host.messages,
              std::vector<std::string>{"无法连接打印机 " + shown + ":" + std::to_string(port) +
                                       "：" + DescribeOsError(MakeOsError(OsErrorKind::kRefused))});
    ExpectNextRequestWorks(host, address);
    EXPECT_EQ(testing::OpenDescriptors(), fds_before);
  }
}

TEST(NetworkFaults, Ipv6LoopbackPrints) {
  RecordingHost host;
  const int fds_before = testing::OpenDescriptors();
  {
    FaultPrinter printer(Behaviour::kAcceptAndRead, "::1");
    if (!printer.ok()) GTEST_SKIP() << "no IPv6 loopback";
    host.WriteContent(kContent);
    host.WriteConfig(NetworkConfig(" ::1 ", printer.port()));
    host.quantity = "4";
    const testing::TimedOutcome r = testing::TimedRequest(host);
    testing::ReportFigure("network/IPv6 loopback", r.outcome, r.elapsed, kSlack);
    EXPECT_EQ(r.outcome, PrintOutcome::kDone);
    EXPECT_LE(r.elapsed, kSlack);
    EXPECT_EQ(host.messages, std::vector<std::string>{kPrintSucceeded});
    ASSERT_TRUE(printer.WaitForJobs(1, std::chrono::seconds(5)));
    EXPECT_EQ(printer.jobs(), std::vector<std::string>{FourLines()});
  }
  EXPECT_EQ(testing::OpenDescriptors(), fds_before);
}

// The handshake is held back by a full backlog: the client's SYN is dropped
// and only a retransmission gets through once the printer accepts again.
// These run with the operator's real limits.
TEST(NetworkFaults, PrinterThatAcceptsAfterOneSecondIsWaitedFor) {
  RecordingHost host;
  host.limits = PrintLimits{};
  const int fds_before = testing::OpenDescriptors();
  {
    FaultPrinter printer(Behaviour::kAcceptLate, "127.0.0.1", 0, milliseconds(1000));
    ASSERT_TRUE(printer.ok());
    host.WriteContent(kContent);
    host.WriteConfig(NetworkConfig("127.0.0.1", printer.port()));
    host.quantity = "4";
    const testing::TimedOutcome r = testing::TimedRequest(host);
    testing::ReportFigure("network/accepts after 1 s", r.outcome, r.elapsed, host.limits.connect);
    EXPECT_EQ(r.outcome, PrintOutcome::kDone);
    EXPECT_EQ(host.messages, std::vector<std::string>{kPrintSucceeded});
    // Really late, and still inside the connect limit.
    EXPECT_GE(r.elapsed, milliseconds(900));
    EXPECT_LT(r.elapsed, host.limits.connect);
    ASSERT_TRUE(printer.WaitForJobs(1, std::chrono::seconds(5)));
    EXPECT_EQ(printer.jobs(), std::vector<std::string>{FourLines()});
    ExpectNextRequestWorks(host);
  }
  EXPECT_EQ(testing::OpenDescriptors(), fds_before);
}

TEST(NetworkFaults, PrinterThatAcceptsAfterSixSecondsTimesOutAtFive) {
  RecordingHost host;
  host.limits = PrintLimits{};
  const int fds_before = testing::OpenDescriptors();
  {
    FaultPrinter printer(Behaviour::kAcceptLate, "127.0.0.1", 0, milliseconds(6000));
    ASSERT_TRUE(printer.ok());
    host.WriteContent(kContent);
    host.WriteConfig(NetworkConfig("127.0.0.1", printer.port()));
    host.quantity = "4";
    const testing::TimedOutcome r = testing::TimedRequest(host);
    const milliseconds bound = host.limits.connect + milliseconds(500);
    testing::ReportFigure("network/accepts after 6 s", r.outcome, r.elapsed, bound);
    EXPECT_EQ(r.outcome, PrintOutcome::kFailed);
    EXPECT_EQ(host.messages, std::vector<std::string>{
                                 "无法连接打印机 127.0.0.1:" + std::to_string(printer.port()) +
                                 "：连接超时（5 秒内未能建立连接）"});
    EXPECT_GE(r.elapsed, host.limits.connect);
    EXPECT_LE(r.elapsed, bound);
    EXPECT_EQ(printer.connections(), 0u);
    EXPECT_EQ(host.Winsock1.state(), TcpClient::State::kClosed);
    ExpectNextRequestWorks(host);
  }
  EXPECT_EQ(testing::OpenDescriptors(), fds_before);
}

// Name lookups run in a child whose /etc/hosts is ours and which has no
// name server and no network but loopback.
TEST(NetworkFaults, NameThatDoesNotResolveSaysSo) {
  testing::ChildOptions options;
  options.isolate_network = true;
  options.hosts = "127.0.0.1 localhost\n";
  std::string why_not;
  const auto lines = testing::RunInChild(
      options,
      [] {
        RecordingHost host;
        host.WriteContent(kContent);
        host.WriteConfig(NetworkConfig("printer.invalid", 9100));
        host.quantity = "4";
        const int fds_before = testing::OpenDescriptors();
        const testing::TimedOutcome r = testing::TimedRequest(host);
        std::vector<std::string> out{testing::OutcomeName(r.outcome),
                                     std::to_string(r.elapsed.count())};
        out.insert(out.end(), host.messages.begin(), host.messages.end());
        // The resolver thread may still be finishing; give it a moment.
        for (int i = 0; i < 100 && testing::OpenDescriptors() != fds_before; ++i) {
          std::this_thread::sleep_for(milliseconds(10));
        }
        out.push_back(std::to_string(testing::OpenDescriptors() - fds_before));
        return out;
      },
      &why_not);
  if (!lines) GTEST_SKIP() << "cannot isolate name lookups: " << why_not;
  ASSERT_EQ(lines->size(), 4u) << (*lines)[0];
  const milliseconds elapsed(std::stol((*lines)[1]));
  testing::ReportFigure("network/name does not resolve",
                        (*lines)[0] == "failed" ? PrintOutcome::kFailed : PrintOutcome::kDone,
                        elapsed, kSlack);
  EXPECT_EQ((*lines)[0], "failed");
  EXPECT_LE(elapsed, kSlack);
  EXPECT_EQ((*lines)[2],
            "无法连接打印机 printer.invalid:9100：" + DescribeResolverError(EAI_NONAME));
  EXPECT_EQ((*lines)[3], "0");  // descriptors left over
}

// The address in text form, for the child to report.
std::vector<std::string> Addresses(const char* name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  std::vector<std::string> out;
  if (getaddrinfo(name, "9100", &hints, &list) != 0) return out;
  for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
    char text[NI_MAXHOST];
    if (getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) == 0)
      out.emplace_back(text);
  }
  freeaddrinfo(list);
  return out;
}

TEST(NetworkFaults, NameWhoseFirstAddressIsDeadPrintsToTheSecond) {
  testing::ChildOptions options;
  options.isolate_network = true;
  options.hosts = "::1 dual.zplport.test\n127.0.0.1 dual.zplport.test\n";
  std::string why_not;
  const auto lines = testing::RunInChild(
      options,
      [] {
        const std::vector<std::string> order = Addresses("dual.zplport.test");
        if (order.size() != 2 || order[0] == order[1]) {
          return std::vector<std::string>{"skip", std::to_string(order.size()) + " addresses"};
        }
        std::vector<std::string> out{"ran", order[0], order[1]};
        for (const bool silent : {false, true}) {
          RecordingHost host;
          const int fds_before = testing::OpenDescriptors();
          {
            FaultPrinter good(Behaviour::kAcceptAndRead, order[1]);
            testing::SilentListener dead(order[0], silent ? good.port() : 0);
            host.WriteContent(kContent);
            host.WriteConfig(NetworkConfig("dual.zplport.test", good.port()));
            host.quantity = "4";
            const testing::TimedOutcome r = testing::TimedRequest(host);
            const bool job_ok = good.WaitForJobs(1, std::chrono::seconds(5)) &&
                                good.jobs() == std::vector<std::string>{FourLines()};
            out.push_back(silent && !dead.ok() ? "no silent listener"
                                               : testing::OutcomeName(r.outcome));
            out.push_back(std::to_string(r.elapsed.count()));
            out.push_back(host.messages.empty() ? "" : host.messages[0]);
            out.push_back(job_ok ? "job ok" : "job wrong");
          }
          out.push_back(std::to_string(testing::OpenDescriptors() - fds_before));
        }
        return out;
      },
      &why_not);
  if (!lines) GTEST_SKIP() << "cannot isolate name lookups: " << why_not;
  ASSERT_GE(lines->size(), 2u);
  if ((*lines)[0] == "skip") GTEST_SKIP() << "the resolver gave " << (*lines)[1];
  ASSERT_EQ(lines->size(), 13u) << (*lines)[0];
  const milliseconds connect = RecordingHost().limits.connect;
  for (int variant = 0; variant < 2; ++variant) {
    const std::size_t at = 3 + static_cast<std::size_t>(variant) * 5;
    const char* name = variant == 0 ? "network/first address refuses, second prints"
                                    : "network/first address silent, second prints";
    SCOPED_TRACE(name);
    const milliseconds elapsed(std::stol((*lines)[at + 1]));
    testing::ReportFigure(name,
                          (*lines)[at] == "done" ? PrintOutcome::kDone : PrintOutcome::kFailed,
                          elapsed, connect + kSlack);
    EXPECT_EQ((*lines)[at], "done") << "first " << (*lines)[1] << ", then " << (*lines)[2];
    EXPECT_EQ((*lines)[at + 2], kPrintSucceeded);
    EXPECT_EQ((*lines)[at + 3], "job ok");
    EXPECT_EQ((*lines)[at + 4], "0");  // descriptors left over
    if (variant == 0) {
      EXPECT_LE(elapsed, kSlack);
    } else {
      // The silent address gets its share of the connect limit, no more.
      EXPECT_GE(elapsed, connect / 2 - milliseconds(100));
      EXPECT_LE(elapsed, connect + kSlack);
    }
  }
}

}  // namespace
}  // namespace zplport
