// The loopback printer is built for POSIX systems only.
#ifndef _WIN32

#include "printer/printer_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

#include "printer/render_files.h"
#include "printer/status.h"
#include "support/temp_dir.h"

namespace zplport::printer {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using zplport::testing::ReadFileBytes;
using zplport::testing::ScopedTempDir;

constexpr auto kWait = 5s;
const std::string kOurLabel =
    "^XA^PRB^XZ~SD15^XA^FO50,50^A0,40,40^FDABC^FS^FO50,150^A0,40,40^FD123^FS^PQ1^XZ";

TEST(CountLabelsTest, CountsFormatsAndTheLabelsAmongThem) {
  struct Case {
    const char* name;
    std::string zpl;
    int labels, formats;
  } cases[] = {
      {"one label from the tool", kOurLabel, 1, 2},
      {"two labels back to back", kOurLabel + kOurLabel, 2, 4},
      {"nothing", "", 0, 0},
      {"garbage", "hello\r\n\x01\x02~SD15^FO1,1", 0, 0},
      {"^XZ without ^XA", "^FDabc^FS^XZ^XZ", 0, 0},
      {"truncated before the label's ^XZ", "^XA^PRB^XZ~SD15^XA^FO50,50^A0,40,40^FDABC^FS", 0, 1},
      {"lone caret at the end", "^XA^FDa^FS^X", 0, 0},
      {"format without a field", "^XA^PRB^XZ", 0, 1},
      {"field outside any format", "^FDa^FS^XA^PQ1^XZ", 0, 1},
      {"a box is a field too", "^XA^FO10,10^GB100,100,5^FS^XZ", 1, 1},
      {"commands in lower case", "^xa^fdA^fs^xz", 1, 1},
      {"a second ^XA starts the format over", "^XA^FDa^FS^XA^PQ1^XZ", 0, 1},
      {"GBK and NUL bytes in a field", "^XA^FD\xD6\xD0\0\xCE\xC4^FS^XZ"s, 1, 1},
  };
  for (const auto& c : cases) {
    const LabelCount count = CountLabels(c.zpl);
    EXPECT_EQ(count.labels, c.labels) << c.name;
    EXPECT_EQ(count.formats, c.formats) << c.name;
  }
}

TEST(FormatJobSummaryTest, OneLinePerJob) {
  struct Case {
    Job job;
    const char* expected;
  } cases[] = {
      {{.number = 1, .size = 1234, .labels = 2, .formats = 4, .path = "out/job-0001.zpl"},
       "job 1: 1234 bytes, 2 labels (4 formats) -> out/job-0001.zpl"},
      {{.number = 7, .size = 1, .labels = 1, .formats = 1, .path = "job-0007.zpl"},
       "job 7: 1 byte, 1 label (1 format) -> job-0007.zpl"},
      {{.number = 2, .size = 10, .formats = 1, .reset = true, .path = "o/job-0002.zpl"},
       "job 2: reset after 10 bytes, 0 labels (1 format) -> o/job-0002.zpl"},
      {{.number = 3, .size = 0}, "job 3: 0 bytes, 0 labels (0 formats)"},
      {{.number = 5, .size = 11, .timed_out = true, .path = "o/job-0005.zpl"},
       "job 5: timed out after 11 bytes, 0 labels (0 formats) -> o/job-0005.zpl"},
      {{.number = 4, .size = 5, .path = "o/job-0004.zpl", .error = "o/job-0004.zpl: No space"},
       "job 4: 5 bytes, 0 labels (0 formats), not saved: o/job-0004.zpl: No space"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatJobSummary(c.job), c.expected);
}

TEST(FormatJobSummaryTest, AppendsWhatTheJobAskedForAndWhatWasDrawn) {
  const Job base{.number = 1, .size = 80, .labels = 1, .formats = 2, .path = "o/job-0001.zpl"};
  const std::string head = "job 1: 80 bytes, 1 label (2 formats) -> o/job-0001.zpl";
  auto with = [&](auto change) {
    Job job = base;
    change(job);
    return job;
  };
  struct Case {
    Job job;
    std::string expected_tail;
  } cases[] = {
      {with([](Job& j) {
         j.copies = {1};
         j.darkness = "15";
         j.speed = "B";
         j.pngs = {"job-0001-1.png"};
       }),
       ", copies 1, darkness 15, speed B, rendered 1 PNG (job-0001-1.png)"},
      {with([](Job& j) {
         j.copies = {2, 2};
         j.pngs = {"job-0001-1.png", "job-0001-2.png"};
         j.unsupported = {"^BC", "^BY"};
       }),
       ", copies 2, rendered 2 PNG (job-0001-1.png, job-0001-2.png), unsupported: ^BC ^BY"},
      {with([](Job& j) {
         j.copies = {1, 3};
         j.charset = "28";
         j.status_replies = 1;
       }),
       ", copies 1/3, charset 28, ~HS answered"},
      {with([](Job& j) {
         j.status_replies = 3;
         j.render_notes = {"rendering disabled (built without FreeType)"};
         j.warnings = {"format cut off before ^XZ: not printed", "^FO x 99999 clamped to 32000"};
       }),
       ", ~HS answered 3 times, rendering disabled (built without FreeType), warnings: format cut "
       "off before ^XZ: not printed; ^FO x 99999 clamped to 32000"},
      {with([](Job& j) {
         for (int i = 1; i <= 5; ++i) j.pngs.push_back("job-0001-" + std::to_string(i) + ".png");
         for (int i = 0; i < 14; ++i) j.unsupported.push_back("^Z" + std::to_string(i % 10));
       }),
       ", rendered 5 PNG (job-0001-1.png ... job-0001-5.png), unsupported: ^Z0 ^Z1 ^Z2 ^Z3 ^Z4 "
       "^Z5 ^Z6 ^Z7 ^Z8 ^Z9 ^Z0 ^Z1 +2 more"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatJobSummary(c.job), head + c.expected_tail);
}

TEST(NextJobNumberTest, FollowsTheHighestJobFileOnly) {
  ScopedTempDir folder;
  EXPECT_EQ(NextJobNumber(folder.path()), 1);
  for (const char* name : {"job-0002.zpl", "job-0009.txt", "xjob-0050.zpl", "job-.zpl",
                           "job-12a4.zpl", "job-0003.zpl.bak"}) {
    folder.Write(name, "x");
  }
  EXPECT_EQ(NextJobNumber(folder.path()), 3);
  folder.Write("job-10000.zpl", "x");
  EXPECT_EQ(NextJobNumber(folder.path()), 10001);
  EXPECT_EQ(NextJobNumber(folder.path() / "missing"), 1);
  EXPECT_EQ(JobFileName(10001), "job-10001.zpl");
}

// A plain blocking client socket; closed when it goes out of scope.
class Client {
 public:
  explicit Client(std::uint16_t port, bool ipv6 = false) {
    fd_ = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (ipv6) {
      auto& in6 = reinterpret_cast<sockaddr_in6&>(address);
      in6.sin6_family = AF_INET6;
      in6.sin6_port = htons(port);
      in6.sin6_addr = in6addr_loopback;
      length = sizeof in6;
    } else {
      auto& in = reinterpret_cast<sockaddr_in&>(address);
      in.sin_family = AF_INET;
      in.sin_port = htons(port);
      in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      length = sizeof in;
    }
    connected_ = fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0;
  }
  ~Client() {
    if (fd_ >= 0) close(fd_);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool connected() const { return connected_; }
  int fd() const { return fd_; }

  bool Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += static_cast<std::size_t>(n);
    }
    return true;
  }

  void ShutdownSending() { shutdown(fd_, SHUT_WR); }

  // True when the server closes its side cleanly (recv returns 0) in time.
  bool WaitForCleanClose() {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kWait).count())) != 1) return false;
    char byte;
    return recv(fd_, &byte, 1, 0) == 0;
  }

  // Closes with a reset instead of a FIN.
  void Reset() {
    linger hard{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
};

// Sends one whole job and waits for the server's close.
void SendJob(std::uint16_t port, const std::string& bytes) {
  Client client(port);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.Send(bytes));
  client.ShutdownSending();
  EXPECT_TRUE(client.WaitForCleanClose());
}

// The jobs once `count` of them are drawn and announced, or after kWait.
std::vector<Job> JobsWhenDone(const PrinterServer& server, std::size_t count) {
  EXPECT_TRUE(server.WaitForJobs(count, kWait)) << "waiting for " << count << " jobs";
  return server.jobs();
}

TEST(PrinterServerTest, RoundTripKeepsEveryByteAndSavesIt) {
  ScopedTempDir folder;
  std::vector<std::string> announced;
  PrinterServer server({.output_folder = folder.path()});
  ASSERT_EQ(server.Start(), "");
  ASSERT_NE(server.port(), 0);
  EXPECT_EQ(server.endpoint(), "127.0.0.1:" + std::to_string(server.port()));
  server.set_on_job([&](const Job& job) { announced.push_back(FormatJobSummary(job)); });
  server.StartThread();

  const std::string sent = kOurLabel + "\0\xD6\xD0\xCE\xC4\r\n"s + kOurLabel +
                           std::string(200000, 'z');  // more than one read
  Client client(server.port());
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.Send(sent));
  client.ShutdownSending();
  // The close comes only after the job is stored; drawing it comes later.
  ASSERT_TRUE(client.WaitForCleanClose());
  EXPECT_TRUE(ReadFileBytes(folder.path() / "job-0001.zpl") == sent);

  const auto jobs = JobsWhenDone(server, 1);
  ASSERT_EQ(jobs.size(), 1u);
  const Job& job = jobs[0];
  EXPECT_EQ(job.number, 1);
  EXPECT_TRUE(job.bytes == sent);
  EXPECT_EQ(job.size, sent.size());
  EXPECT_EQ(job.labels, 2);
  EXPECT_EQ(job.formats, 4);
  EXPECT_FALSE(job.reset);
  EXPECT_EQ(job.error, "");
  EXPECT_EQ(job.path, (folder.path() / "job-0001.zpl").string());
  EXPECT_TRUE(ReadFileBytes(job.path) == sent);
  EXPECT_EQ(job.copies, (std::vector<long>{1, 1}));
  EXPECT_EQ(job.darkness, "15");
  EXPECT_EQ(job.speed, "B");
#ifdef ZPLPORT_PRINTER_RENDERS
  EXPECT_EQ(job.pngs, (std::vector<std::string>{"job-0001-1.png", "job-0001-2.png"}));
  for (const auto& png : job.pngs) {
    EXPECT_EQ(ReadFileBytes(folder.path() / png).substr(0, 8), "\x89PNG\r\n\x1a\n") << png;
  }
#else
  EXPECT_EQ(job.render_notes,
            std::vector<std::string>{"rendering disabled (built without FreeType)"});
#endif
  server.Stop();
  EXPECT_EQ(announced, std::vector<std::string>{FormatJobSummary(job)});
}

TEST(PrinterServerTest, ServesIpv6Loopback) {
  PrinterServer server({.bind_address = "::1"});
  if (const std::string error = server.Start(); !error.empty()) {
    GTEST_SKIP() << "no IPv6 loopback here: " << error;
  }
  EXPECT_EQ(server.endpoint(), "[::1]:" + std::to_string(server.port()));
  server.StartThread();
  Client client(server.port(), /*ipv6=*/true);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.Send(kOurLabel));
  client.ShutdownSending();
  ASSERT_TRUE(client.WaitForCleanClose());
  const auto jobs = JobsWhenDone(server, 1);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].bytes, kOurLabel);
  EXPECT_EQ(jobs[0].path, "");  // memory only
}

TEST(PrinterServerTest, NumberingContinuesAfterExistingJobFiles) {
  ScopedTempDir folder;
  folder.Write("job-0001.zpl", "old one");
  folder.Write("job-0004.zpl", "old four");
  PrinterServer server({.output_folder = folder.path()});
  ASSERT_EQ(server.Start(), "");
  server.StartThread();

  SendJob(server.port(), "new");
  SendJob(server.port(), "next");

  const auto jobs = JobsWhenDone(server, 2);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].number, 5);
  EXPECT_EQ(jobs[0].path, (folder.path() / "job-0005.zpl").string());
  EXPECT_EQ(ReadFileBytes(folder.path() / "job-0005.zpl"), "new");
  EXPECT_EQ(jobs[1].number, 6);
  EXPECT_EQ(ReadFileBytes(folder.path() / "job-0006.zpl"), "next");
  EXPECT_EQ(ReadFileBytes(folder.path() / "job-0001.zpl"), "old one");
  EXPECT_EQ(ReadFileBytes(folder.path() / "job-0004.zpl"), "old four");
}

TEST(PrinterServerTest, FileThatAppearsLaterIsNotOverwritten) {
  ScopedTempDir folder;
  PrinterServer server({.output_folder = folder.path()});
  ASSERT_EQ(server.Start(), "");
  folder.Write("job-0001.zpl", "someone else's");
  server.StartThread();
  SendJob(server.port(), "mine");
  ASSERT_EQ(JobsWhenDone(server, 1).size(), 1u);
  EXPECT_EQ(server.jobs()[0].number, 2);
  EXPECT_EQ(ReadFileBytes(folder.path() / "job-0001.zpl"), "someone else's");
  EXPECT_EQ(ReadFileBytes(folder.path() / "job-0002.zpl"), "mine");
}

TEST(PrinterServerTest, IdleConnectionDoesNotHoldUpAnother) {
  PrinterServer server({});
  ASSERT_EQ(server.Start(), "");
  server.StartThread();

  Client idle(server.port());
  ASSERT_TRUE(idle.connected());
  ASSERT_TRUE(idle.Send("^XA^FDfirst"));

  SendJob(server.port(), "second");
  ASSERT_EQ(JobsWhenDone(server, 1).size(), 1u);
  EXPECT_EQ(server.jobs()[0].bytes, "second");

  ASSERT_TRUE(idle.Send("^FS^XZ"));
  idle.ShutdownSending();
  ASSERT_TRUE(idle.WaitForCleanClose());
  const auto jobs = JobsWhenDone(server, 2);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[1].bytes, "^XA^FDfirst^FS^XZ");
  EXPECT_EQ(jobs[1].labels, 1);
}

TEST(PrinterServerTest, ResetMidJobIsRecordedAndSaved) {
  ScopedTempDir folder;
  PrinterServer server({.output_folder = folder.path()});
  ASSERT_EQ(server.Start(), "");
  server.StartThread();

  const std::string partial = "^XA^PRB^XZ~SD15^XA^FO50,50";
  {
    Client client(server.port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.Send(partial));
    client.Reset();
  }
  ASSERT_TRUE(server.WaitForJobs(1, kWait));
  const Job job = server.jobs()[0];
  EXPECT_TRUE(job.reset);
  // Bytes that reached the server before the reset are kept; the kernel may
  // drop any it had not handed over yet.
  EXPECT_EQ(partial.compare(0, job.bytes.size(), job.bytes), 0);
  EXPECT_EQ(job.size, job.bytes.size());
  EXPECT_TRUE(ReadFileBytes(job.path) == job.bytes);
  EXPECT_EQ(FormatJobSummary(job).rfind("job 1: reset after ", 0), 0u) << FormatJobSummary(job);

  // The server goes on serving after a reset.
  SendJob(server.port(), "next");
  ASSERT_EQ(JobsWhenDone(server, 2).size(), 2u);
  EXPECT_FALSE(server.jobs()[1].reset);
}

TEST(PrinterServerTest, StopsAfterMaxJobsWhenDrivenByRunOnce) {
  PrinterServer server({.max_jobs = 1});
  EXPECT_FALSE(server.RunOnce(0));  // not started
  ASSERT_EQ(server.Start(), "");
  EXPECT_FALSE(server.done());

  // The kernel completes the connection and buffers the bytes before the
  // server accepts, so one thread can play both sides.
  Client first(server.port());
  ASSERT_TRUE(first.connected());
  ASSERT_TRUE(first.Send("one"));
  first.ShutdownSending();
  Client second(server.port());
  ASSERT_TRUE(second.connected());
  ASSERT_TRUE(second.Send("two"));
  second.ShutdownSending();

  bool serving = true;
  for (int pass = 0; pass < 100 && serving; ++pass) serving = server.RunOnce(50);
  EXPECT_FALSE(serving);
  EXPECT_TRUE(server.done());
  EXPECT_FALSE(server.RunOnce(0));
  const auto jobs = server.jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].bytes == "one" || jobs[0].bytes == "two") << jobs[0].bytes;
}

// Reads until `expected` bytes arrived or nothing more comes within kWait.
std::string ReadReply(int fd, std::size_t expected) {
  std::string reply;
  while (reply.size() < expected) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kWait).count())) != 1) break;
    char buffer[512];
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.append(buffer, static_cast<std::size_t>(n));
  }
  return reply;
}

TEST(PrinterServerTest, AnswersHostStatusAtOnce) {
  PrinterServer server({});
  ASSERT_EQ(server.Start(), "");
  server.StartThread();
  // The job is still coming in: its format shows as partial.
  const std::string reply = HostStatusReply(1218, {.partial_format = true});

  // The sender still has its side open: the answer comes before the job ends.
  Client client(server.port());
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.Send("^XA^FDa^FS^XZ~H"));
  ASSERT_TRUE(client.Send("s"));
  EXPECT_EQ(ReadReply(client.fd(), reply.size()), reply);
  EXPECT_TRUE(server.jobs().empty());
  ASSERT_TRUE(client.Send("~HS"));
  EXPECT_EQ(ReadReply(client.fd(), reply.size()), reply);
  client.ShutdownSending();
  EXPECT_TRUE(client.WaitForCleanClose());
  ASSERT_EQ(JobsWhenDone(server, 1).size(), 1u);
  EXPECT_EQ(server.jobs()[0].status_replies, 2);
  EXPECT_NE(FormatJobSummary(server.jobs()[0]).find(", ~HS answered 2 times"), std::string::npos);
}

// A host that only asks or commands sends no job: nothing is saved, and
// only what changed the printer is logged.
TEST(PrinterServerTest, AnswersHostStatusToASenderThatHasShutDownSending) {
  ScopedTempDir folder;
  std::mutex mutex;
  std::vector<std::string> log;
  PrinterServer server({.output_folder = folder.path(), .dpi = 300});
  ASSERT_EQ(server.Start(), "");
  server.set_on_log([&](const std::string& line) {
    std::lock_guard lock(mutex);
    log.push_back(line);
  });
  server.StartThread();
  Client client(server.port());
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.Send("~HS\r\n"));
  client.ShutdownSending();
  // Everything arrives, then the clean close.
  const std::string reply = HostStatusReply(1800);
  EXPECT_EQ(ReadReply(client.fd(), reply.size()), reply);
  EXPECT_TRUE(client.WaitForCleanClose());
  SendJob(server.port(), "~PP ~PS");
  SendJob(server.port(), "~JA^XA^XZ");  // a format makes it a job
  ASSERT_EQ(JobsWhenDone(server, 1).size(), 1u);
  EXPECT_EQ(server.jobs()[0].number, 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            1);
  std::lock_guard lock(mutex);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind("commands from 127.0.0.1:", 0), 0u) << log[0];
  EXPECT_NE(log[0].find(": ~PP~PS"), std::string::npos) << log[0];
}

TEST(PrinterServerTest, SenderThatResetsAfterAskingDoesNotStopTheServer) {
  PrinterServer server({});
  ASSERT_EQ(server.Start(), "");
  server.StartThread();
  {
    Client client(server.port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.Send(std::string(1000, 'x') + "~HS~HS~HS"));
    client.Reset();
  }
  ASSERT_TRUE(server.WaitForJobs(1, kWait));
  SendJob(server.port(), "next");
  ASSERT_EQ(JobsWhenDone(server, 2).size(), 2u);
  EXPECT_EQ(server.jobs()[1].bytes, "next");
}

// The connection's own end, as the server names its peer.
std::string LocalEndpoint(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

TEST(PrinterServerTest, AnswersStatusAndTakesJobsWhileAJobIsDrawn) {
  // The first job's announcement holds up the worker as a label that takes
  // long to draw would: both happen there, one after the other.
  std::mutex mutex;
  std::condition_variable released_changed;
  bool released = false;
  PrinterServer server({});
  ASSERT_EQ(server.Start(), "");
  server.set_on_job([&](const Job& job) {
    if (job.number != 1) return;
    std::unique_lock lock(mutex);
    released_changed.wait_for(lock, kWait, [&] { return released; });
  });
  server.StartThread();
  SendJob(server.port(), kOurLabel);

  const auto start = std::chrono::steady_clock::now();
  Client asking(server.port());
  ASSERT_TRUE(asking.connected());
  ASSERT_TRUE(asking.Send("~HS"));
  // The first job's label may be printing: only the answer's shape is known.
  const std::string reply = HostStatusReply(1218);
  EXPECT_EQ(ReadReply(asking.fd(), reply.size()).substr(0, 9), reply.substr(0, 9));
  SendJob(server.port(), "^XA^FDsecond^FS^XZ");  // stored and closed
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  EXPECT_TRUE(server.jobs().empty());
  {
    std::lock_guard lock(mutex);
    released = true;
  }
  released_changed.notify_all();
  EXPECT_EQ(JobsWhenDone(server, 2).size(), 2u);
}

TEST(PrinterServerTest, ConnectionsThatSendNothingAreLoggedAndIdleOnesClosed) {
  ScopedTempDir folder;
  std::mutex mutex;
  std::vector<std::string> log;
  PrinterServer server({.output_folder = folder.path(), .idle_timeout = 300ms});
  server.set_on_log([&](const std::string& line) {
    std::lock_guard lock(mutex);
    log.push_back(line);
  });
  ASSERT_EQ(server.Start(), "");
  server.StartThread();

  const auto start = std::chrono::steady_clock::now();
  Client probe(server.port());  // connects and leaves
  ASSERT_TRUE(probe.connected());
  const std::string probe_end = LocalEndpoint(probe.fd());
  probe.ShutdownSending();
  EXPECT_TRUE(probe.WaitForCleanClose());
  Client silent(server.port());
  Client stalled(server.port());
  ASSERT_TRUE(silent.connected());
  const std::string silent_end = LocalEndpoint(silent.fd());
  ASSERT_TRUE(stalled.Send("^XA^FO10,10"));
  // The server gives up on both after the idle time; what arrived is a job.
  EXPECT_TRUE(silent.WaitForCleanClose());
  EXPECT_TRUE(stalled.WaitForCleanClose());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  SendJob(server.port(), kOurLabel);

  const auto jobs = JobsWhenDone(server, 2);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].bytes, "^XA^FO10,10");
  EXPECT_EQ(FormatJobSummary(jobs[0]).rfind("job 1: timed out after 11 bytes", 0), 0u)
      << FormatJobSummary(jobs[0]);
  EXPECT_EQ(jobs[1].number, 2);  // probes take no number
  std::vector<std::string> saved;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    if (entry.path().extension() == ".zpl") saved.push_back(entry.path().filename().string());
  }
  std::sort(saved.begin(), saved.end());
  EXPECT_EQ(saved, (std::vector<std::string>{"job-0001.zpl", "job-0002.zpl"}));
  std::lock_guard lock(mutex);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "probe from " + probe_end + " (connection closed without data)",
                     "idle connection from " + silent_end + " closed after 300 ms without data",
                 }));
}

TEST(PrinterServerTest, OutOfDescriptorsItPausesAcceptingUntilIdleClientsGo) {
  // The server runs in a child process whose descriptors run out; it
  // reports its port, then the processor time it used while serving.
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(report[0]);
    const rlimit limit{64, 64};
    setrlimit(RLIMIT_NOFILE, &limit);
    PrinterServer server({.max_jobs = 1, .idle_timeout = 500ms});
    const std::uint16_t port = server.Start().empty() ? server.port() : 0;
    [[maybe_unused]] auto n = write(report[1], &port, sizeof port);
    const auto start = std::chrono::steady_clock::now();
    const std::atomic<bool> stop{false};
    server.Run(stop);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double figures[2] = {
        usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
    n = write(report[1], figures, sizeof figures);
    _exit(0);
  }
  close(report[1]);
  auto read_report = [&](void* into, std::size_t size) {
    pollfd p{report[0], POLLIN, 0};
    return poll(&p, 1, 10000) == 1 && read(report[0], into, size) == static_cast<ssize_t>(size);
  };
  std::uint16_t port = 0;
  const bool started = read_report(&port, sizeof port) && port != 0;
  EXPECT_TRUE(started);
  bool done = false;
  double figures[2] = {};
  if (started) {
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 70; ++i) idle.push_back(std::make_unique<Client>(port));
    SendJob(port, kOurLabel);
    done = read_report(figures, sizeof figures);
  }
  EXPECT_TRUE(done) << "the job did not get through";
  if (!done) kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(report[0]);
  // Spinning on the listener would take most of the wall time.
  EXPECT_LT(figures[0], 0.25 * figures[1]) << figures[0] << " s of " << figures[1] << " s";
}

TEST(PrinterServerTest, JobOverTheReadLimitIsStoredWholeButNotDrawn) {
  ScopedTempDir folder;
  const std::string sent = kOurLabel + "^XA^FO0,0^FD" + std::string(100000, 'x') + "^FS^XZ";
  for (const bool on_disk : {true, false}) {
    PrinterServer server({.output_folder = on_disk ? folder.path() : std::filesystem::path(),
                          .max_job_bytes = 4096});
    ASSERT_EQ(server.Start(), "");
    server.StartThread();
    SendJob(server.port(), sent);
    const auto jobs = JobsWhenDone(server, 1);
    ASSERT_EQ(jobs.size(), 1u);
    const Job& job = jobs[0];
    EXPECT_EQ(job.size, sent.size());
    EXPECT_TRUE(job.bytes == sent.substr(0, 4096)) << job.bytes.size();
    EXPECT_EQ(job.labels, 1) << "counted in what was read";
    EXPECT_TRUE(job.pngs.empty());
    EXPECT_NE(FormatJobSummary(job).find(", over the read limit of 4096 bytes: labels counted in "
                                         "the first 4096 bytes only, none drawn"),
              std::string::npos)
        << FormatJobSummary(job);
    if (on_disk) {
      EXPECT_TRUE(ReadFileBytes(job.path) == sent);
    }
  }
}

TEST(PrinterServerTest, MalformedJobsAreSummarisedNotFatal) {
  ScopedTempDir folder;
  PrinterServer server({.output_folder = folder.path()});
  ASSERT_EQ(server.Start(), "");
  server.StartThread();
  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage.push_back(static_cast<char>((i * 7919) % 256));
  const std::string jobs[] = {
      "^XA^FO10,10^FDunterminated",
      "^XA^FO99999999,99999999^A0,100000^FDx^FS^PW99999^LL99999^XZ",
      "^XA^A0,0^FDzero^FS^BY2^BCN,50^FD123^FS^XZ^",
      garbage,
  };
  for (const auto& job : jobs) SendJob(server.port(), job);
  const auto done = JobsWhenDone(server, 4);
  ASSERT_EQ(done.size(), 4u);
  EXPECT_NE(FormatJobSummary(done[0]).find("warnings: format cut off before ^XZ"),
            std::string::npos)
      << FormatJobSummary(done[0]);
  EXPECT_NE(FormatJobSummary(done[1]).find("^FO x 99999999 clamped to 32000"), std::string::npos)
      << FormatJobSummary(done[1]);
  EXPECT_NE(FormatJobSummary(done[2]).find("^A0 height 0 ignored"), std::string::npos)
      << FormatJobSummary(done[2]);
#ifdef ZPLPORT_PRINTER_RENDERS
  EXPECT_EQ(done[1].pngs, std::vector<std::string>{"job-0002-1.png"});
  EXPECT_EQ(done[2].pngs, std::vector<std::string>{"job-0003-1.png"});
#endif
  // And the server still serves.
  SendJob(server.port(), "^XA^FDok^FS^XZ");
  EXPECT_EQ(JobsWhenDone(server, 5).size(), 5u);
}

TEST(PrinterServerTest, RendersNothingWhenToldNotTo) {
  ScopedTempDir folder;
  PrinterServer server({.output_folder = folder.path(), .render = false});
  ASSERT_EQ(server.Start(), "");
  server.StartThread();
  SendJob(server.port(), kOurLabel);
  ASSERT_EQ(JobsWhenDone(server, 1).size(), 1u);
  EXPECT_TRUE(server.jobs()[0].pngs.empty());
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "job-0001-1.png"));
  EXPECT_EQ(server.jobs()[0].copies, std::vector<long>{1});
}

// The first --pictures labels of a job are drawn; the rest are counted.
TEST(PrinterServerTest, DrawsAsManyPicturesAsAsked) {
  struct Case {
    int pictures;
    int labels;
    std::size_t pngs;
    const char* note;  // "" when there is none
  } cases[] = {
      {100, 102, 100, "2 more labels not rendered"},
      {1, 3, 1, "2 more labels not rendered"},
      {0, 102, 102, ""},
  };
  for (const auto& c : cases) {
    ScopedTempDir folder;
    PrinterServer server({.output_folder = folder.path(), .pictures = c.pictures});
    ASSERT_EQ(server.Start(), "");
    server.StartThread();
    std::string zpl;
    for (int i = 0; i < c.labels; ++i) zpl += "^XA^FO10,10^GB20,20,2^FS^XZ";
    SendJob(server.port(), zpl);
    const auto jobs = JobsWhenDone(server, 1);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].labels, c.labels);
#ifdef ZPLPORT_PRINTER_RENDERS
    EXPECT_EQ(jobs[0].pngs.size(), c.pngs) << c.pictures;
    EXPECT_EQ(std::filesystem::exists(folder.path() /
                                      ("job-0001-" + std::to_string(c.pngs + 1) + ".png")),
              false)
        << c.pictures;
    const std::vector<std::string> notes =
        *c.note ? std::vector<std::string>{c.note} : std::vector<std::string>{};
    EXPECT_EQ(jobs[0].render_notes, notes) << c.pictures;
#endif
  }
}

// --render: files drawn in turn by one printer, one line each.
TEST(RenderFilesTest, DrawsEachFileAsAJobWouldBeDrawn) {
  ScopedTempDir folder;
  // 43, 30 and 47 bytes.
  const auto stored = folder.Write("store.zpl", "^XA^DFR:BOX.ZPL^FO10,10^GB90,40,3^FS^FN1^XZ");
  const auto recalled = folder.Write("recall.zpl", "^XA^XFR:BOX.ZPL^FN1^FDhi^FS^XZ");
  const auto huge = folder.Write("huge.zpl", "^XA^FO0,0^GFA,128000000,128000000,4000,FF^FS^XZ");
  const std::string missing = (folder.path() / "missing.zpl").string();
  const auto out = folder.path() / "out";
  struct Case {
    const char* name;
    std::vector<std::string> files;
    std::string input;  // standard input
    int status;
    std::vector<std::string> lines;
  } cases[] = {
      {"a stored format recalled by the next file",
       {stored.string(), recalled.string()},
       "",
       0,
       {stored.string() + ": 43 bytes, 0 labels (1 format)",
        recalled.string() + ": 30 bytes, 1 label (1 format), copies 1, rendered 1 PNG "
                            "(recall-1.png)"}},
      {"standard input",
       {"-"},
       "^XA^FO5,5^GB9,9^FS^XZ^XA^FO5,5^GB9,9^FS^XZ",
       0,
       {"-: 42 bytes, 2 labels (2 formats), copies 1, rendered 2 PNG (stdin-1.png, stdin-2.png)"}},
      {"a label that cannot be drawn",
       {huge.string()},
       "",
       1,
       {huge.string() + ": 47 bytes, 1 label (1 format), copies 1, label 1 not drawn: its image "
                        "needs more than 64 MB"}},
      {"a file that cannot be read",
       {missing, "-"},
       "",
       1,
       {missing + ": 0 bytes, 0 labels (0 formats), not read: " + missing +
            ": No such file or directory",
        "-: 0 bytes, 0 labels (0 formats)"}},
  };
  for (const auto& c : cases) {
    std::istringstream input(c.input);
    std::ostringstream lines, errors;
    const int status = RenderFiles(c.files, {.output_folder = out}, input, lines, errors);
    std::string expected;
    for (const std::string& line : c.lines) expected += line + "\n";
#ifdef ZPLPORT_PRINTER_RENDERS
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_EQ(lines.str(), expected) << c.name;
#else
    EXPECT_NE(lines.str(), "") << c.name;
#endif
    EXPECT_EQ(errors.str(), "") << c.name;
  }
#ifdef ZPLPORT_PRINTER_RENDERS
  EXPECT_TRUE(std::filesystem::exists(out / "recall-1.png"));
  EXPECT_TRUE(std::filesystem::exists(out / "stdin-2.png"));
  EXPECT_FALSE(std::filesystem::exists(out / "huge-1.png"));
#endif
}

TEST(PrinterServerTest, WaitForJobsTimesOutWhenNothingArrives) {
  PrinterServer server({});
  ASSERT_EQ(server.Start(), "");
  server.StartThread();
  EXPECT_FALSE(server.WaitForJobs(1, 50ms));
  EXPECT_TRUE(server.WaitForJobs(0, 0ms));
}

TEST(PrinterServerTest, StartReportsWhatFailed) {
  ScopedTempDir folder;
  const auto file = folder.Write("plain-file", "x");
  PrinterServer holder({});
  ASSERT_EQ(holder.Start(), "");

  struct Case {
    const char* name;
    PrinterOptions options;
    std::string expected_start;
  } cases[] = {
      {"port in use",
       {.port = holder.port()},
       "cannot listen on 127.0.0.1 port " + std::to_string(holder.port()) + ": "},
      {"unknown address",
       {.bind_address = "not an address"},
       "cannot listen on not an address port 0: "},
      {"output folder is a file",
       {.output_folder = file / "sub"},
       "cannot create output folder " + (file / "sub").string() + ": "},
  };
  for (const auto& c : cases) {
    PrinterServer server(c.options);
    const std::string error = server.Start();
    EXPECT_EQ(error.rfind(c.expected_start, 0), 0u) << c.name << ": " << error;
    EXPECT_GT(error.size(), c.expected_start.size()) << c.name << ": reason missing";
  }
  EXPECT_EQ(holder.Start(), "already started");
}

}  // namespace
}  // namespace zplport::printer

#endif  // _WIN32
