#include "platform/tcp_client.h"

#ifdef __linux__
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sleep.h"
#include "support/fault_printer.h"

namespace zplport {
namespace {

using namespace std::chrono_literals;
using testing::FaultPrinter;
using Behaviour = FaultPrinter::Behaviour;
using Clock = std::chrono::steady_clock;

constexpr auto kLimit = 5s;  // bound of every wait; nothing here should come near it

TcpClient::State WaitWhileConnecting(TcpClient& client) {
  const auto deadline = Clock::now() + kLimit;
  while (client.Poll() == TcpClient::State::kConnecting && Clock::now() < deadline) {
    SleepMilliseconds(1);
  }
  return client.state();
}

void ConnectTo(TcpClient& client, const std::string& host, int port,
               std::chrono::milliseconds budget = 3s) {
  client.RemoteHost = host;
  client.RemotePort = port;
  client.Connect(budget);
}

// Sends all of `data`, looping over partial sends; stops at the first error.
OsError SendAll(TcpClient& client, std::string_view data) {
  const auto deadline = Clock::now() + kLimit;
  while (!data.empty() && Clock::now() < deadline) {
    const auto result = client.Send(data);
    if (result.error) return result.error;
    data.remove_prefix(result.bytes);
    if (result.bytes == 0) SleepMilliseconds(1);
  }
  EXPECT_TRUE(data.empty()) << data.size() << " bytes left unsent";
  return {};
}

TcpClient::PeerState WaitForPeer(TcpClient& client) {
  const auto deadline = Clock::now() + kLimit;
  auto peer = client.PollPeer();
  while (peer == TcpClient::PeerState::kOpen && Clock::now() < deadline) {
    SleepMilliseconds(1);
    peer = client.PollPeer();
  }
  return peer;
}

// Asks until the peer's system holds everything we sent; nothing where the
// system cannot tell.
std::optional<std::size_t> WaitUntilAcknowledged(TcpClient& client) {
  const auto deadline = Clock::now() + kLimit;
  auto pending = client.Unacknowledged();
  while (pending && *pending > 0 && Clock::now() < deadline) {
    SleepMilliseconds(1);
    pending = client.Unacknowledged();
  }
  return pending;
}

class TcpRoundTripTest : public ::testing::TestWithParam<const char*> {};

TEST_P(TcpRoundTripTest, BytesArriveAndPeerClosesAfterShutdown) {
  FaultPrinter printer(Behaviour::kAcceptAndRead, GetParam());
  if (!printer.ok()) GTEST_SKIP() << "no loopback listener on " << GetParam();
  TcpClient client;
  ConnectTo(client, GetParam(), printer.port());
  ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kOpen) << client.LastFailure().reason;

  const std::string payload = std::string("^XA^FD\xD6\xD0\xCE\xC4^FS^XZ") + '\0' + "tail";
  ASSERT_FALSE(SendAll(client, payload));
  ASSERT_FALSE(client.ShutdownSend());
  EXPECT_EQ(WaitForPeer(client), TcpClient::PeerState::kClosed);
  client.Close();

  ASSERT_TRUE(printer.WaitForJobs(1, kLimit));
  EXPECT_EQ(printer.jobs(), std::vector<std::string>{payload});
}

INSTANTIATE_TEST_SUITE_P(Loopback, TcpRoundTripTest, ::testing::Values("127.0.0.1", "::1"));

TEST(TcpClientTest, HostNameGoesThroughTheResolver) {
  // "localhost" may list ::1 before 127.0.0.1; a refusal on the first address
  // must move on to the next.
  FaultPrinter printer(Behaviour::kAcceptAndRead, "127.0.0.1");
  ASSERT_TRUE(printer.ok());
  TcpClient client;
  ConnectTo(client, "localhost", printer.port());
  ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kOpen) << client.LastFailure().reason;
  ASSERT_FALSE(SendAll(client, "label"));
  client.Close();
  ASSERT_TRUE(printer.WaitForJobs(1, kLimit));
  EXPECT_EQ(printer.jobs().at(0), "label");
}

TEST(TcpClientTest, RefusedConnectionFails) {
  const int refusing = testing::RefusingPort();
  ASSERT_NE(refusing, 0);
  TcpClient client;
  ConnectTo(client, "127.0.0.1", refusing);
  EXPECT_EQ(WaitWhileConnecting(client), TcpClient::State::kFailed);
  EXPECT_EQ(client.LastFailure().kind, TcpClient::Failure::Kind::kRefused);
  EXPECT_EQ(client.LastFailure().reason, "连接被拒绝");
}

TEST(TcpClientTest, SpentBudgetTimesOut) {
  FaultPrinter printer(Behaviour::kAcceptAndRead, "127.0.0.1");
  for (const char* host : {"127.0.0.1", "localhost"}) {
    TcpClient client;
    ConnectTo(client, host, printer.port(), 0ms);
    EXPECT_EQ(WaitWhileConnecting(client), TcpClient::State::kFailed) << host;
    EXPECT_EQ(client.LastFailure().kind, TcpClient::Failure::Kind::kTimedOut) << host;
    EXPECT_EQ(client.LastFailure().reason, "连接超时") << host;
  }
}

TEST(TcpClientTest, NewConnectDropsTheEarlierConnection) {
  FaultPrinter printer(Behaviour::kAcceptAndRead, "127.0.0.1");
  TcpClient client;
  ConnectTo(client, "127.0.0.1", printer.port());
  ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kOpen);
  ASSERT_FALSE(SendAll(client, "first"));
  client.Connect(3s);
  ASSERT_TRUE(printer.WaitForJobs(1, kLimit));  // the first one saw end-of-file
  ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kOpen);
  ASSERT_FALSE(SendAll(client, "second"));
  client.Close();
  ASSERT_TRUE(printer.WaitForJobs(2, kLimit));
  EXPECT_EQ(printer.jobs(), (std::vector<std::string>{"first", "second"}));
}

TEST(TcpClientTest, OperationsOutsideAnOpenConnectionFail) {
  TcpClient client;
  EXPECT_EQ(client.state(), TcpClient::State::kClosed);
  EXPECT_TRUE(client.Send("x").error);
  EXPECT_TRUE(client.ShutdownSend());
  EXPECT_EQ(client.PollPeer(), TcpClient::PeerState::kClosed);
  client.Close();
  client.Close();
  EXPECT_EQ(client.state(), TcpClient::State::kClosed);

  ConnectTo(client, "127.0.0.1", testing::RefusingPort());
  ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kFailed);
  EXPECT_TRUE(client.Send("x").error);
  client.Close();
  EXPECT_EQ(client.state(), TcpClient::State::kClosed);
}

TEST(TcpClientTest, LargeSendArrivesWhole) {
  FaultPrinter printer(Behaviour::kAcceptAndRead, "127.0.0.1");
  TcpClient client;
  ConnectTo(client, "127.0.0.1", printer.port());
  ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kOpen);
  std::string payload(8 << 20, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 + i / 4096);
  ASSERT_FALSE(SendAll(client, payload));
  ASSERT_FALSE(client.ShutdownSend());
  EXPECT_EQ(WaitForPeer(client), TcpClient::PeerState::kClosed);
  ASSERT_TRUE(printer.WaitForJobs(1, kLimit));
  EXPECT_TRUE(printer.jobs().at(0) == payload) << printer.jobs().at(0).size() << " bytes arrived";
}

TEST(TcpClientTest, FullBufferTakesNothingInsteadOfBlocking) {
  FaultPrinter printer(Behaviour::kStopReading, "127.0.0.1");
  TcpClient client;
  ConnectTo(client, "127.0.0.1", printer.port());
  ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kOpen);
  const std::string chunk(64 << 10, 'z');
  bool full = false;
  for (int i = 0; i < 4096 && !full; ++i) {
    const auto result = client.Send(chunk);
    ASSERT_FALSE(result.error) << DescribeOsError(result.error);
    full = result.bytes == 0;
  }
  EXPECT_TRUE(full);
}

TEST(TcpClientTest, ResetMidStreamIsReported) {
  FaultPrinter printer(Behaviour::kResetAfter, "127.0.0.1", 1000);
  TcpClient client;
  ConnectTo(client, "127.0.0.1", printer.port());
  ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kOpen);
  const std::string payload(4 << 20, 'r');
  std::string_view rest = payload;
  OsError error;
  const auto deadline = Clock::now() + kLimit;
  while (!error && !rest.empty() && Clock::now() < deadline) {
    const auto result = client.Send(rest);
    error = result.error;
    rest.remove_prefix(result.bytes);
    if (result.bytes == 0) SleepMilliseconds(1);
  }
  if (error) {
    const auto kind = KindOf(error);
    EXPECT_TRUE(kind == OsErrorKind::kReset || kind == OsErrorKind::kBrokenPipe)
        << DescribeOsError(error);
  } else {
    client.ShutdownSend();
    EXPECT_EQ(WaitForPeer(client), TcpClient::PeerState::kReset);
  }
  ASSERT_TRUE(printer.WaitForJobs(1, kLimit));
  EXPECT_EQ(printer.jobs().at(0), std::string(1000, 'r'));
}

// Under Wine the reset that follows our shutdown reads as a plain close.
#ifndef _WIN32
TEST(TcpClientTest, ResetAfterAllDataIsSeenByPollPeer) {
  FaultPrinter printer(Behaviour::kResetAfterAll, "127.0.0.1");
  TcpClient client;
  ConnectTo(client, "127.0.0.1", printer.port());
  ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kOpen);
  ASSERT_FALSE(SendAll(client, "abc"));
  ASSERT_FALSE(client.ShutdownSend());
  EXPECT_EQ(WaitForPeer(client), TcpClient::PeerState::kReset);
  EXPECT_EQ(client.PollPeer(), TcpClient::PeerState::kReset) << "the reset must be kept";
  ASSERT_TRUE(printer.WaitForJobs(1, kLimit));
  EXPECT_EQ(printer.jobs().at(0), "abc");
}
#endif

TEST(TcpClientTest, PeerThatKeepsItsSideOpenStaysOpen) {
  FaultPrinter printer(Behaviour::kNeverClose, "127.0.0.1");
  TcpClient client;
  ConnectTo(client, "127.0.0.1", printer.port());
  ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kOpen);
  ASSERT_FALSE(SendAll(client, "abc"));
  ASSERT_FALSE(client.ShutdownSend());
  ASSERT_TRUE(printer.WaitForJobs(1, kLimit));  // it has read our end-of-file
  // Every system the tests run on tells that all is acknowledged: by the
  // send queue, by SIO_TCP_INFO or by the connection table.
  EXPECT_EQ(WaitUntilAcknowledged(client), std::optional<std::size_t>(0));
  EXPECT_EQ(client.PollPeer(), TcpClient::PeerState::kOpen);
  printer.Stop();
  EXPECT_EQ(WaitForPeer(client), TcpClient::PeerState::kClosed);
}

TEST(TcpClientTest, SendingToAClosedPeerFailsWithoutSigpipe) {
  FaultPrinter printer(Behaviour::kCloseAtOnce, "127.0.0.1");
  TcpClient client;
  ConnectTo(client, "127.0.0.1", printer.port());
  ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kOpen);
  ASSERT_TRUE(printer.WaitForJobs(1, kLimit));
  // The first send may still be taken; the peer's reset then fails the next
  // ones. A SIGPIPE would end this test process.
  OsError error;
  const auto deadline = Clock::now() + kLimit;
  while (!error && Clock::now() < deadline) {
    error = client.Send("data").error;
    SleepMilliseconds(1);
  }
  ASSERT_TRUE(error);
  const auto kind = KindOf(error);
  EXPECT_TRUE(kind == OsErrorKind::kReset || kind == OsErrorKind::kBrokenPipe)
      << DescribeOsError(error);
}

#ifdef __linux__
std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

TEST(TcpClientTest, NoDescriptorLeaks) {
  FaultPrinter printer(Behaviour::kAcceptAndRead, "127.0.0.1");
  const int refusing = testing::RefusingPort();
  const std::size_t before = OpenDescriptors();
  for (int i = 0; i < 50; ++i) {
    TcpClient client;
    ConnectTo(client, "127.0.0.1", printer.port());
    ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kOpen);
    client.Connect(3s);  // over an open connection
    ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kOpen);
    if (i % 2 == 0) client.Close();  // else the destructor closes
    TcpClient refused;
    ConnectTo(refused, "127.0.0.1", refusing);
    ASSERT_EQ(WaitWhileConnecting(refused), TcpClient::State::kFailed);
  }
  ASSERT_TRUE(printer.WaitForJobs(100, kLimit));
  EXPECT_EQ(OpenDescriptors(), before);
}

// Linux drops the handshake for a listener whose accept queue is full, so a
// connection to it stays pending: a printer that never answers, on loopback.
class BlackHole {
 public:
  BlackHole() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd_, 0) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    // Fill the queue until a connection no longer completes.
    for (int i = 0; i < 16 && !ready_; ++i) {
      auto& filler = *fillers_.emplace_back(std::make_unique<TcpClient>());
      ConnectTo(filler, "127.0.0.1", port_, 10s);
      const auto until = Clock::now() + 100ms;
      while (filler.Poll() == TcpClient::State::kConnecting && Clock::now() < until) {
        SleepMilliseconds(1);
      }
      ready_ = filler.state() == TcpClient::State::kConnecting;
    }
  }
  ~BlackHole() {
    fillers_.clear();
    if (fd_ >= 0) ::close(fd_);
  }
  BlackHole(const BlackHole&) = delete;
  BlackHole& operator=(const BlackHole&) = delete;

  bool ready() const { return ready_; }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  bool ready_ = false;
  std::vector<std::unique_ptr<TcpClient>> fillers_;
};

TEST(TcpClientTest, UnansweredConnectionTimesOutAtTheBudget) {
  BlackHole hole;
  if (!hole.ready()) GTEST_SKIP() << "this system answers a full accept queue";
  TcpClient client;
  const auto start = Clock::now();
  ConnectTo(client, "127.0.0.1", hole.port(), 300ms);
  ASSERT_EQ(WaitWhileConnecting(client), TcpClient::State::kFailed);
  const auto elapsed = Clock::now() - start;
  EXPECT_EQ(client.LastFailure().kind, TcpClient::Failure::Kind::kTimedOut);
  EXPECT_EQ(client.LastFailure().reason, "连接超时");
  EXPECT_GE(elapsed, 300ms);
  EXPECT_LT(elapsed, 2s);
}
#endif  // __linux__

}  // namespace
}  // namespace zplport
