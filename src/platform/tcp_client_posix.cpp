#include "platform/tcp_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/sockios.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace zplport {
namespace {

using Clock = std::chrono::steady_clock;

struct Address {
  sockaddr_storage storage{};
  socklen_t length = 0;
};

std::vector<Address> CopyAddresses(const addrinfo* list) {
  std::vector<Address> addresses;
  for (const addrinfo* info = list; info != nullptr; info = info->ai_next) {
    if (info->ai_addrlen > sizeof(sockaddr_storage)) continue;
    if (info->ai_family != AF_INET && info->ai_family != AF_INET6) continue;
    Address address;
    std::memcpy(&address.storage, info->ai_addr, info->ai_addrlen);
    address.length = info->ai_addrlen;
    addresses.push_back(address);
  }
  return addresses;
}

addrinfo ResolverHints(int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV | flags;
  return hints;
}

// Filled by a resolver thread. The thread holds its own reference, so a
// client that gives up (or is destroyed) simply lets go of the result.
struct Resolution {
  std::mutex mutex;
  bool done = false;
  int code = 0;
  std::vector<Address> addresses;
};

TcpClient::Failure::Kind FailureKindOf(OsError error) {
  switch (KindOf(error)) {
    case OsErrorKind::kRefused:
      return TcpClient::Failure::Kind::kRefused;
    case OsErrorKind::kTimedOut:
      return TcpClient::Failure::Kind::kTimedOut;
    case OsErrorKind::kUnreachable:
      return TcpClient::Failure::Kind::kUnreachable;
    default:
      return TcpClient::Failure::Kind::kOther;
  }
}

}  // namespace

struct TcpClient::Impl {
  int fd = -1;
  std::shared_ptr<Resolution> resolution;  // while the resolver runs
  std::vector<Address> addresses;
  std::size_t next = 0;  // the next address to try
  Clock::time_point deadline;
  Clock::time_point attempt_deadline;
  OsError last_error;  // of the latest failed attempt
  bool resolved = false;
  PeerState peer = PeerState::kOpen;  // what PollPeer and Receive have seen
  bool shut_down = false;             // our end-of-file is queued

  void CloseSocket() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  // Takes what the peer has sent, into `into` or away; bounded, so that a
  // peer that never stops talking cannot hold the caller.
  PeerState ReadAvailable(std::string* into) {
    char buffer[4096];
    for (int round = 0; round < 64; ++round) {
      const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (got > 0) {
        if (into != nullptr) into->append(buffer, static_cast<std::size_t>(got));
        continue;
      }
      if (got < 0) {
        const OsError error = LastOsError();
        if (KindOf(error) == OsErrorKind::kWouldBlock) return PeerState::kOpen;
        if (error.code == EINTR) continue;
      }
      peer = got == 0 ? PeerState::kClosed : PeerState::kReset;
      return peer;
    }
    return PeerState::kOpen;
  }
};

TcpClient::TcpClient() : impl_(std::make_unique<Impl>()) {}

TcpClient::~TcpClient() { Close(); }

void TcpClient::Close() {
  impl_->CloseSocket();
  impl_->resolution.reset();
  impl_->addresses.clear();
  impl_->next = 0;
  impl_->resolved = false;
  state_ = State::kClosed;
}

void TcpClient::Connect(std::chrono::milliseconds budget) {
  Close();
  failure_ = {};
  impl_->last_error = {};
  impl_->peer = PeerState::kOpen;
  impl_->shut_down = false;
  impl_->deadline = Clock::now() + budget;
  state_ = State::kConnecting;

  auto fail = [this](std::string reason) {
    state_ = State::kFailed;
    failure_ = {Failure::Kind::kOther, std::move(reason)};
  };

  const std::string service = std::to_string(RemotePort);
  // An address written as numbers needs no resolver; only names go to the
  // resolver thread, which may take seconds.
  const addrinfo numeric_hints = ResolverHints(AI_NUMERICHOST);
  addrinfo* list = nullptr;
  if (getaddrinfo(RemoteHost.c_str(), service.c_str(), &numeric_hints, &list) == 0) {
    impl_->addresses = CopyAddresses(list);
    freeaddrinfo(list);
    impl_->resolved = true;
    Poll();
    return;
  }

  auto resolution = std::make_shared<Resolution>();
  try {
    std::thread([resolution, host = RemoteHost, service] {
      const addrinfo hints = ResolverHints(0);
      addrinfo* found = nullptr;
      const int code = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
      std::vector<Address> addresses;
      if (code == 0) {
        addresses = CopyAddresses(found);
        freeaddrinfo(found);
      }
      std::lock_guard lock(resolution->mutex);
      resolution->code = code;
      resolution->addresses = std::move(addresses);
      resolution->done = true;
    }).detach();
  } catch (const std::system_error& error) {
    return fail(DescribeOsError(OsError{error.code().value()}));
  }
  impl_->resolution = std::move(resolution);
}

TcpClient::State TcpClient::Poll() {
  if (state_ != State::kConnecting) return state_;
  Impl& impl = *impl_;
  const auto now = Clock::now();

  auto fail = [this](Failure::Kind kind, std::string reason) {
    impl_->CloseSocket();
    impl_->resolution.reset();
    state_ = State::kFailed;
    failure_ = {kind, std::move(reason)};
    return state_;
  };
  auto timed_out = [&] {
    return fail(Failure::Kind::kTimedOut, DescribeOsError(MakeOsError(OsErrorKind::kTimedOut)));
  };

  if (!impl.resolved) {
    int code = 0;
    {
      std::lock_guard lock(impl.resolution->mutex);
      if (!impl.resolution->done) return now >= impl.deadline ? timed_out() : state_;
      code = impl.resolution->code;
      impl.addresses = std::move(impl.resolution->addresses);
    }
    impl.resolution.reset();
    impl.resolved = true;
    if (code != 0) return fail(Failure::Kind::kUnknownHost, DescribeResolverError(code));
  }
  if (impl.addresses.empty()) {
    return fail(Failure::Kind::kUnknownHost, DescribeResolverError(EAI_NONAME));
  }

  // Check the attempt in flight.
  if (impl.fd >= 0) {
    pollfd entry{impl.fd, POLLOUT, 0};
    if (::poll(&entry, 1, 0) > 0) {
      int error = 0;
      socklen_t length = sizeof error;
      if (getsockopt(impl.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      if (error == 0) return state_ = State::kOpen;
      impl.last_error = OsError{error};
      impl.CloseSocket();
    } else if (now >= impl.deadline) {
      return timed_out();
    } else if (now >= impl.attempt_deadline) {
      impl.last_error = MakeOsError(OsErrorKind::kTimedOut);
      impl.CloseSocket();
    } else {
      return state_;
    }
  }

  // Start the next attempt; addresses that fail at once are passed over.
  while (impl.next < impl.addresses.size()) {
    if (Clock::now() >= impl.deadline) return timed_out();
    const Address& address = impl.addresses[impl.next++];
    const int family = address.storage.ss_family;
    impl.fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (impl.fd < 0) {
      impl.last_error = LastOsError();
      continue;
    }
    if (::connect(impl.fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) ==
        0) {
      return state_ = State::kOpen;
    }
    if (errno == EINPROGRESS || errno == EINTR) {
      // Each address left gets an equal share of the time left, so that one
      // that never answers cannot use up the whole budget.
      const auto left = impl.deadline - Clock::now();
      const auto attempts = static_cast<long>(impl.addresses.size() - impl.next + 1);
      impl.attempt_deadline = Clock::now() + left / attempts;
      return state_;
    }
    impl.last_error = LastOsError();
    impl.CloseSocket();
  }

  if (!impl.last_error) return timed_out();
  return fail(FailureKindOf(impl.last_error), DescribeOsError(impl.last_error));
}

TcpClient::SendResult TcpClient::Send(std::string_view data) {
  if (state_ == State::kConnecting) Poll();
  if (state_ != State::kOpen) return {0, OsError{ENOTCONN}};
  if (data.empty()) return {};
  const ssize_t sent = ::send(impl_->fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (sent >= 0) return {static_cast<std::size_t>(sent), {}};
  const OsError error = LastOsError();
  if (KindOf(error) == OsErrorKind::kWouldBlock || error.code == EINTR) return {};
  return {0, error};
}

OsError TcpClient::ShutdownSend() {
  if (state_ != State::kOpen) return OsError{ENOTCONN};
  if (::shutdown(impl_->fd, SHUT_WR) != 0) return LastOsError();
  impl_->shut_down = true;
  return {};
}

TcpClient::PeerState TcpClient::PollPeer() {
  Impl& impl = *impl_;
  if (impl.peer == PeerState::kReset) return impl.peer;
  if (state_ != State::kOpen) return PeerState::kClosed;
  if (impl.peer == PeerState::kClosed) {
    // Past the peer's end-of-file every read is end-of-file again; a reset
    // that comes later shows only as the socket's pending error.
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(impl.fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0) {
      impl.peer = PeerState::kReset;
    }
    return impl.peer;
  }
  return impl.ReadAvailable(nullptr);
}

TcpClient::PeerState TcpClient::Receive(std::string& into, std::chrono::milliseconds wait) {
  Impl& impl = *impl_;
  if (state_ != State::kOpen) return PeerState::kClosed;
  if (impl.peer != PeerState::kOpen) return impl.peer;
  pollfd entry{impl.fd, POLLIN, 0};
  const int wait_ms = static_cast<int>(std::max<long long>(0, wait.count()));
  if (wait_ms > 0 && ::poll(&entry, 1, wait_ms) <= 0) return PeerState::kOpen;
  return impl.ReadAvailable(&into);
}

std::optional<std::size_t> TcpClient::Unacknowledged() {
#ifdef SIOCOUTQ
  // Linux counts what is not sent yet and what is sent but not acknowledged,
  // our end-of-file as one more until it is acknowledged. The peer may hold
  // back that last acknowledgement for tens of milliseconds; the data's own
  // are what matter.
  int pending = 0;
  if (state_ != State::kOpen || ::ioctl(impl_->fd, SIOCOUTQ, &pending) != 0 || pending < 0) {
    return std::nullopt;
  }
  if (impl_->shut_down && pending > 0) --pending;
  return static_cast<std::size_t>(pending);
#else
  return std::nullopt;
#endif
}

bool IsIpv4Literal(const std::string& text) {
  in_addr address;
  return text.find('\0') == std::string::npos && inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool IsIpv6Literal(const std::string& text) {
  in6_addr address;
  return text.find('\0') == std::string::npos && inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

}  // namespace zplport
