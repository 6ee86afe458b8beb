#include "support/fault_printer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "support/loopback_address_posix.h"

namespace zplport::testing {
namespace {

using Clock = std::chrono::steady_clock;

// A socket bound to an ephemeral port of `address`; -1 when that fails.
int BindEphemeral(std::string_view address, int receive_buffer, int* port) {
  socklen_t length = 0;
  sockaddr_storage storage = LoopbackAddress(address, 0, &length);
  if (length == 0) return -1;
  const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  // Accepted sockets inherit the listener's buffer size.
  if (receive_buffer > 0) {
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
    ::close(fd);
    return -1;
  }
  *port = ntohs(storage.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
  return fd;
}

struct Connection {
  int fd;
  std::string bytes;
  bool at_end = false;  // end-of-file seen; only the printers that never close keep one
  Clock::time_point next_read = Clock::now();
};

}  // namespace

FaultPrinter::FaultPrinter(Behaviour behaviour, std::string_view address, std::size_t amount,
                           std::chrono::milliseconds accept_delay)
    : behaviour_(behaviour),
      amount_(amount),
      accept_from_(Clock::now() + (behaviour == Behaviour::kAcceptLate
                                       ? accept_delay
                                       : std::chrono::milliseconds(0))) {
  const int receive_buffer = behaviour == Behaviour::kStopReading ? 4096 : 0;
  listener_ = BindEphemeral(address, receive_buffer, &port_);
  // A backlog of 0 holds one connection; with our own filler in it the
  // system drops every further SYN until the filler is accepted.
  const int backlog = behaviour == Behaviour::kAcceptLate ? 0 : SOMAXCONN;
  if (listener_ >= 0 && ::listen(listener_, backlog) != 0) {
    ::close(listener_);
    listener_ = -1;
  }
  if (listener_ >= 0 && behaviour == Behaviour::kAcceptLate) {
    socklen_t length = 0;
    const sockaddr_storage self = LoopbackAddress(address, port_, &length);
    filler_ = ::socket(self.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // On loopback the handshake completes inside connect().
    if (filler_ < 0 || ::connect(filler_, reinterpret_cast<const sockaddr*>(&self), length) != 0) {
      if (filler_ >= 0) ::close(filler_);
      filler_ = -1;
      ::close(listener_);
      listener_ = -1;
    }
  }
  if (listener_ < 0) {
    port_ = 0;
    return;
  }
  thread_ = std::thread([this] { Serve(); });
}

FaultPrinter::~FaultPrinter() {
  Stop();
  if (filler_ >= 0) ::close(filler_);
  if (listener_ >= 0) ::close(listener_);
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
// sees the descriptor gone.
void FaultPrinter::Finish(int fd, std::string bytes, bool reset) {
  if (reset) {
    const linger abort{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  }
  ::close(fd);
  std::lock_guard lock(mutex_);
  jobs_.push_back(std::move(bytes));
  changed_.notify_all();
}

void FaultPrinter::Serve() {
  std::vector<Connection> open;
  char buffer[65536];
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stop_) break;
    }
    const auto now = Clock::now();
    // A late printer leaves its backlog full until the delay has passed.
    const bool accepting = now >= accept_from_;
    std::vector<pollfd> entries{{listener_, static_cast<short>(accepting ? POLLIN : 0), 0}};
    for (const auto& c : open) {
      const bool wants = !c.at_end && behaviour_ != Behaviour::kStopReading && c.next_read <= now;
      entries.push_back({c.fd, static_cast<short>(wants ? POLLIN : 0), 0});
    }
    // Short timeouts keep Stop() prompt and the slow reader on its beat.
    const bool slow =
        behaviour_ == Behaviour::kSlowReader || behaviour_ == Behaviour::kSlowNeverClose;
    const int timeout_ms = slow ? 1 : 10;
    if (::poll(entries.data(), entries.size(), timeout_ms) < 0 && errno != EINTR) break;

    const std::size_t polled = open.size();  // those accepted below wait for the next round
    // Take every waiting connection: a full backlog would stall clients.
    for (bool more = entries[0].revents & POLLIN; more;) {
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      more = fd >= 0;
      if (!more) break;
      if (filler_ >= 0) {
        // The queue is first in, first out: this is our own filler.
        ::close(fd);
        ::close(filler_);
        filler_ = -1;
        continue;
      }
      {
        std::lock_guard lock(mutex_);
        ++connections_;
      }
      if (behaviour_ == Behaviour::kCloseAtOnce) {
        Finish(fd, {}, false);
      } else {
        if (behaviour_ == Behaviour::kHalfClose) ::shutdown(fd, SHUT_WR);
        open.push_back({fd, {}});
      }
    }

    for (std::size_t i = 0; i < polled; ++i) {
      Connection& c = open[i];
      const pollfd& entry = entries[i + 1];
      if (entry.events == 0 || !(entry.revents & (POLLIN | POLLERR | POLLHUP))) continue;
      std::size_t want = sizeof buffer;
      if (slow) want = amount_ > 0 ? std::min(want, amount_) : kSlowChunk;
      if (behaviour_ == Behaviour::kResetAfter) want = std::min(want, amount_ - c.bytes.size());
      const ssize_t got = ::recv(c.fd, buffer, want, 0);
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
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
      Finish(c.fd, std::move(c.bytes), reset);
      c.fd = -1;
    }
    std::erase_if(open, [](const Connection& c) { return c.fd < 0; });
  }
  for (const auto& c : open) ::close(c.fd);
}

int RefusingPort(std::string_view address) {
  int port = 0;
  const int fd = BindEphemeral(address, 0, &port);
  if (fd < 0) return 0;
  ::close(fd);
  return port;
}

}  // namespace zplport::testing
