#include "support/fault_printer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace zplport::testing {
namespace {

using Clock = std::chrono::steady_clock;

// The header keeps sockets as int: Windows socket handles fit in 32 bits,
// and INVALID_SOCKET comes back as -1.
SOCKET AsSocket(int fd) { return static_cast<SOCKET>(fd); }
int AsInt(SOCKET socket) { return static_cast<int>(socket); }

// Winsock, started on first use and left running until the tests end.
class WinsockUser {
 public:
  WinsockUser() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockUser() {
    if (started_) WSACleanup();
  }
  WinsockUser(const WinsockUser&) = delete;
  WinsockUser& operator=(const WinsockUser&) = delete;

 private:
  bool started_ = false;
};

void SetNonBlocking(SOCKET socket) {
  u_long on = 1;
  ioctlsocket(socket, FIONBIO, &on);
}

// A wildcard-free socket address for `address` and `port`, or family 0.
sockaddr_storage LoopbackAddress(std::string_view address, int port, int* length) {
  sockaddr_storage storage{};
  const std::string text(address);
  auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
  if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<u_short>(port));
    *length = sizeof(sockaddr_in);
  } else if (inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<u_short>(port));
    *length = sizeof(sockaddr_in6);
  }
  return storage;
}

// A socket bound to an ephemeral port of `address`; INVALID_SOCKET when
// that fails.
SOCKET BindEphemeral(std::string_view address, int receive_buffer, int* port) {
  int length = 0;
  sockaddr_storage storage = LoopbackAddress(address, 0, &length);
  if (length == 0) return INVALID_SOCKET;
  const SOCKET socket = ::socket(storage.ss_family, SOCK_STREAM, IPPROTO_TCP);
  if (socket == INVALID_SOCKET) return INVALID_SOCKET;
  SetNonBlocking(socket);
  // Accepted sockets inherit the listener's buffer size.
  if (receive_buffer > 0) {
    setsockopt(socket, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receive_buffer),
               sizeof receive_buffer);
  }
  if (::bind(socket, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
      getsockname(socket, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
    closesocket(socket);
    return INVALID_SOCKET;
  }
  *port = ntohs(storage.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
  return socket;
}

bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }

struct Connection {
  SOCKET socket;
  std::string bytes;
  bool at_end = false;  // end-of-file seen; only the printers that never close keep one
  Clock::time_point next_read = Clock::now();
};

WinsockUser& Winsock() {
  static WinsockUser user;
  return user;
}

}  // namespace

FaultPrinter::FaultPrinter(Behaviour behaviour, std::string_view address, std::size_t amount,
                           std::chrono::milliseconds accept_delay)
    : behaviour_(behaviour), amount_(amount), accept_from_(Clock::now() + accept_delay) {
  Winsock();
  // Winsock answers a full backlog with a reset rather than by dropping the
  // SYN, so a late handshake cannot be staged here.
  if (behaviour == Behaviour::kAcceptLate) return;
  const int receive_buffer = behaviour == Behaviour::kStopReading ? 4096 : 0;
  SOCKET listener = BindEphemeral(address, receive_buffer, &port_);
  if (listener != INVALID_SOCKET && ::listen(listener, 16) != 0) {
    closesocket(listener);
    listener = INVALID_SOCKET;
  }
  if (listener == INVALID_SOCKET) {
    port_ = 0;
    return;
  }
  listener_ = AsInt(listener);
  thread_ = std::thread([this] { Serve(); });
}

FaultPrinter::~FaultPrinter() {
  Stop();
  if (listener_ >= 0) closesocket(AsSocket(listener_));
}

void FaultPrinter::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  if (thread_.joinable()) thread_.join();
}

bool FaultPrinter::WaitForJobs(std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return jobs_.size() >= count; });
}

std::vector<std::string> FaultPrinter::jobs() const {
  std::lock_guard lock(mutex_);
  return jobs_;
}

std::vector<std::string> FaultPrinter::TakeJobs() {
  std::lock_guard lock(mutex_);
  return std::exchange(jobs_, {});
}

std::size_t FaultPrinter::connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

std::size_t FaultPrinter::bytes_received() const {
  std::lock_guard lock(mutex_);
  return bytes_received_;
}

// Closes first and records afterwards, so that a test that saw the job also
// sees the socket gone.
void FaultPrinter::Finish(int fd, std::string bytes, bool reset) {
  const SOCKET socket = AsSocket(fd);
  if (reset) {
    // A zero linger time makes closesocket send a reset.
    const linger abort{1, 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
  }
  closesocket(socket);
  std::lock_guard lock(mutex_);
  jobs_.push_back(std::move(bytes));
  changed_.notify_all();
}

void FaultPrinter::Serve() {
  const SOCKET listener = AsSocket(listener_);
  std::vector<Connection> open;
  char buffer[65536];
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) break;
    }
    const auto now = Clock::now();
    std::vector<WSAPOLLFD> entries{{listener, POLLRDNORM, 0}};
    for (const auto& c : open) {
      const bool wants = !c.at_end && behaviour_ != Behaviour::kStopReading && c.next_read <= now;
      entries.push_back({c.socket, static_cast<short>(wants ? POLLRDNORM : 0), 0});
    }
    // Short timeouts keep Stop() prompt and the slow reader on its beat.
    const bool slow =
        behaviour_ == Behaviour::kSlowReader || behaviour_ == Behaviour::kSlowNeverClose;
    const int timeout_ms = slow ? 1 : 10;
    if (WSAPoll(entries.data(), static_cast<ULONG>(entries.size()), timeout_ms) == SOCKET_ERROR) {
      break;
    }

    if (entries[0].revents & POLLRDNORM) {
      const SOCKET socket = ::accept(listener, nullptr, nullptr);
      if (socket != INVALID_SOCKET) {
        SetNonBlocking(socket);
        {
          std::lock_guard lock(mutex_);
          ++connections_;
        }
        if (behaviour_ == Behaviour::kCloseAtOnce) {
          Finish(AsInt(socket), {}, false);
        } else {
          if (behaviour_ == Behaviour::kHalfClose) ::shutdown(socket, SD_SEND);
          open.push_back({socket, {}});
        }
      }
    }

    for (std::size_t i = 0; i < open.size(); ++i) {
      Connection& c = open[i];
      const WSAPOLLFD& entry = entries[i + 1];
      if (entry.events == 0 || !(entry.revents & (POLLRDNORM | POLLERR | POLLHUP))) continue;
      std::size_t want = sizeof buffer;
      if (slow) want = amount_ > 0 ? std::min(want, amount_) : kSlowChunk;
      if (behaviour_ == Behaviour::kResetAfter) want = std::min(want, amount_ - c.bytes.size());
      const int got = ::recv(c.socket, buffer, static_cast<int>(want), 0);
      if (got == SOCKET_ERROR && WouldBlock()) continue;
      if (got > 0) {
        c.bytes.append(buffer, static_cast<std::size_t>(got));
        if (slow) c.next_read = Clock::now() + kSlowInterval;
        std::lock_guard lock(mutex_);
        bytes_received_ += static_cast<std::size_t>(got);
      }
      const bool limit_reached = behaviour_ == Behaviour::kResetAfter && c.bytes.size() >= amount_;
      if (got > 0 && !limit_reached) continue;
      // End-of-file, an error from the peer, or the reset point.
      if (got == 0 &&
          (behaviour_ == Behaviour::kNeverClose || behaviour_ == Behaviour::kSlowNeverClose)) {
        c.at_end = true;
        std::lock_guard lock(mutex_);
        jobs_.push_back(c.bytes);
        changed_.notify_all();
        continue;
      }
      const bool reset = limit_reached || (got == 0 && behaviour_ == Behaviour::kResetAfterAll);
      Finish(AsInt(c.socket), std::move(c.bytes), reset);
      c.socket = INVALID_SOCKET;
    }
    std::erase_if(open, [](const Connection& c) { return c.socket == INVALID_SOCKET; });
  }
  for (const auto& c : open) closesocket(c.socket);
}

int RefusingPort(std::string_view address) {
  Winsock();
  int port = 0;
  const SOCKET socket = BindEphemeral(address, 0, &port);
  if (socket == INVALID_SOCKET) return 0;
  closesocket(socket);
  return port;
}

}  // namespace zplport::testing
