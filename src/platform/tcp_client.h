// A non-blocking TCP client shaped after the window's socket control: set
// the remote host, remote port and local port, start a connection, send,
// close. No call blocks, except Receive for as long as it is told to; the
// caller polls between its ticks. The client owns its socket and any
// resolver work it started.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os_error.h"

namespace zplport {

class TcpClient {
 public:
  enum class State {
    kClosed,
    kConnecting,  // resolving the host or waiting for an attempt to complete
    kOpen,
    kFailed,  // see Failure()
  };

  // Why the connection could not be established.
  struct Failure {
    enum class Kind { kNone, kUnknownHost, kRefused, kTimedOut, kUnreachable, kOther };
    Kind kind = Kind::kNone;
    std::string reason;  // Chinese, from DescribeOsError / DescribeResolverError
  };

  struct SendResult {
    std::size_t bytes = 0;  // taken from the front of the data; 0 when the buffer is full
    OsError error;          // set when the connection can take no more
  };

  enum class PeerState {
    kOpen,
    kClosed,  // the peer has ended its sending side; it may still be reading
    kReset,   // the peer reset the connection, or the connection failed
  };

  TcpClient();
  ~TcpClient();
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  // Host name or address (IPv4, IPv6 or a name for the resolver), GBK bytes.
  std::string RemoteHost;
  std::int32_t RemotePort = 0;
  // Set to 0 by the window, as its control's setting; the system chooses
  // the local port.
  std::int32_t LocalPort = 0;

  // Starts resolving RemoteHost and connecting to each of its addresses in
  // order, giving up after `budget`. Returns at once; drops any earlier
  // connection first. RemoteHost must not be empty and RemotePort must be
  // 1 to 65535; the caller checks them.
  void Connect(std::chrono::milliseconds budget);

  // Advances a pending connection and reports where it stands.
  State Poll();

  const Failure& LastFailure() const { return failure_; }

  // Sends what the system takes now from the front of `data`. Only in kOpen.
  SendResult Send(std::string_view data);

  // Ends our sending direction; the peer reads end-of-file after our data.
  OsError ShutdownSend();

  // Reads and discards whatever the peer sends and tells whether it has
  // closed its side, or reset the connection. A reset that follows the
  // peer's close is still seen, and once seen it stays.
  PeerState PollPeer();

  // Appends to `into` what the peer has sent, waiting up to `wait` for it
  // when nothing has come yet, and tells where the peer stands. For a
  // question the peer answers on the same connection; PollPeer would throw
  // the answer away.
  PeerState Receive(std::string& into, std::chrono::milliseconds wait);

  // Bytes handed to Send that the peer has not yet acknowledged: 0 once the
  // peer's system holds everything we sent. Where the system tells only
  // whether everything is acknowledged (Windows before 10 version 1703,
  // Wine), a bound that stays put until then, and 0 once our end-of-file
  // has been acknowledged. Nothing where the system does not tell.
  std::optional<std::size_t> Unacknowledged();

  // Closes the connection; no effect when already closed.
  void Close();

  State state() const { return state_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  State state_ = State::kClosed;
  Failure failure_;
};

// The system's own reading of an address written as numbers, without the
// resolver: IPv4 as four dotted decimal parts, IPv6 as its groups (no
// brackets, no zone).
bool IsIpv4Literal(const std::string& text);
bool IsIpv6Literal(const std::string& text);

}  // namespace zplport
