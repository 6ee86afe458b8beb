#include "platform/tcp_client.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/sockios.h>
#endif

#include <cerrno>

#include "platform/tcp_socket.h"

namespace zplport {
namespace detail {

OsError StartNetwork() { return {}; }

int Resolve(const std::string& host, std::int32_t port, bool numeric_only,
            std::vector<Address>& addresses) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV | (numeric_only ? AI_NUMERICHOST : 0);
  addrinfo* found = nullptr;
  const int code = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (code != 0) return code;
  KeepAddresses(found, addresses);
  freeaddrinfo(found);
  return 0;
}

Attempt StartAttempt(const Address& address, Socket& socket, OsError& error) {
  socket =
      ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (socket < 0) {
    error = LastOsError();
    return Attempt::kFailed;
  }
  const auto length = static_cast<socklen_t>(address.length);
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&address.storage), length) == 0) {
    return Attempt::kOpen;
  }
  if (errno == EINPROGRESS || errno == EINTR) return Attempt::kPending;
  error = LastOsError();
  CloseSocket(socket);
  return Attempt::kFailed;
}

Attempt CheckAttempt(Socket socket, OsError& error) {
  pollfd entry{socket, POLLOUT, 0};
  if (::poll(&entry, 1, 0) <= 0) return Attempt::kPending;
  int code = 0;
  socklen_t length = sizeof code;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &code, &length) != 0) code = errno;
  if (code == 0) return Attempt::kOpen;
  error = OsError{code};
  return Attempt::kFailed;
}

void CloseSocket(Socket& socket) {
  if (socket >= 0) ::close(socket);
  socket = kNoSocket;
}

TcpClient::PeerState ReadAvailable(Socket socket, std::string* into, int wait_ms) {
  pollfd entry{socket, POLLIN, 0};
  if (wait_ms > 0 && ::poll(&entry, 1, wait_ms) <= 0) return TcpClient::PeerState::kOpen;
  char buffer[4096];
  for (int round = 0; round < 64; ++round) {
    const ssize_t got = ::recv(socket, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) {
      if (into != nullptr) into->append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got < 0) {
      const OsError error = LastOsError();
      if (KindOf(error) == OsErrorKind::kWouldBlock) return TcpClient::PeerState::kOpen;
      if (error.code == EINTR) continue;
    }
    return got == 0 ? TcpClient::PeerState::kClosed : TcpClient::PeerState::kReset;
  }
  return TcpClient::PeerState::kOpen;
}

// A reset that comes after the peer's end-of-file shows only as the
// socket's pending error.
bool ResetPending(Socket socket) {
  int error = 0;
  socklen_t length = sizeof error;
  return getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0;
}

}  // namespace detail

TcpClient::SendResult TcpClient::Send(std::string_view data) {
  if (state_ == State::kConnecting) Poll();
  if (state_ != State::kOpen) return {0, OsError{ENOTCONN}};
  if (data.empty()) return {};
  const ssize_t sent = ::send(impl_->socket, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (sent >= 0) return {static_cast<std::size_t>(sent), {}};
  const OsError error = LastOsError();
  if (KindOf(error) == OsErrorKind::kWouldBlock || error.code == EINTR) return {};
  return {0, error};
}

OsError TcpClient::ShutdownSend() {
  if (state_ != State::kOpen) return OsError{ENOTCONN};
  if (::shutdown(impl_->socket, SHUT_WR) != 0) return LastOsError();
  impl_->shut_down = true;
  return {};
}

std::optional<std::size_t> TcpClient::Unacknowledged() {
#ifdef SIOCOUTQ
  // Linux counts what is not sent yet and what is sent but not acknowledged,
  // our end-of-file as one more until it is acknowledged. The peer may hold
  // back that last acknowledgement for tens of milliseconds; the data's own
  // are what matter.
  int pending = 0;
  if (state_ != State::kOpen || ::ioctl(impl_->socket, SIOCOUTQ, &pending) != 0 || pending < 0) {
    return std::nullopt;
  }
  if (impl_->shut_down && pending > 0) --pending;
  return static_cast<std::size_t>(pending);
#else
  return std::nullopt;
#endif
}

}  // namespace zplport
