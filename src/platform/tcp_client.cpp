#include "platform/tcp_client.h"

#include <algorithm>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/tcp_socket.h"

namespace zplport {
namespace detail {

// Filled by a resolver thread. The thread holds its own reference, so a
// client that gives up (or is destroyed) simply lets go of the result.
struct Resolution {
  std::mutex mutex;
  bool done = false;
  int code = 0;
  std::vector<Address> addresses;
};

}  // namespace detail

namespace {

using detail::Attempt;
using detail::Clock;

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

bool IsLiteral(int family, const std::string& text) {
  in6_addr address;  // room for either family's
  return !detail::StartNetwork() && text.find('\0') == std::string::npos &&
         inet_pton(family, text.c_str(), &address) == 1;
}

}  // namespace

TcpClient::TcpClient() : impl_(std::make_unique<Impl>()) {}

TcpClient::~TcpClient() { Close(); }

void TcpClient::Close() {
  detail::CloseSocket(impl_->socket);
  impl_->resolution.reset();
  state_ = State::kClosed;
}

void TcpClient::Connect(std::chrono::milliseconds budget) {
  Close();
  *impl_ = Impl{};
  failure_ = {};
  impl_->deadline = Clock::now() + budget;
  state_ = State::kConnecting;

  auto fail = [this](std::string reason) {
    state_ = State::kFailed;
    failure_ = {Failure::Kind::kOther, std::move(reason)};
  };
  if (const OsError error = detail::StartNetwork()) return fail(DescribeOsError(error));

  // An address written as numbers needs no resolver; only names go to the
  // resolver thread, which may take seconds.
  if (detail::Resolve(RemoteHost, RemotePort, true, impl_->addresses) == 0) {
    impl_->resolved = true;
    Poll();
    return;
  }

  auto resolution = std::make_shared<detail::Resolution>();
  try {
    std::thread([resolution, host = RemoteHost, port = RemotePort] {
      std::vector<detail::Address> addresses;
      const int code = detail::Resolve(host, port, false, addresses);
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
    detail::CloseSocket(impl_->socket);
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
    return fail(Failure::Kind::kUnknownHost, DescribeResolverError(detail::kNoAddress));
  }

  // Check the attempt in flight.
  if (impl.socket != detail::kNoSocket) {
    const Attempt attempt = detail::CheckAttempt(impl.socket, impl.last_error);
    if (attempt == Attempt::kOpen) return state_ = State::kOpen;
    if (attempt == Attempt::kFailed) {
      detail::CloseSocket(impl.socket);
    } else if (now >= impl.deadline) {
      return timed_out();
    } else if (now >= impl.attempt_deadline) {
      impl.last_error = MakeOsError(OsErrorKind::kTimedOut);
      detail::CloseSocket(impl.socket);
    } else {
      return state_;
    }
  }

  // Start the next attempt; addresses that fail at once are passed over.
  while (impl.next < impl.addresses.size()) {
    if (Clock::now() >= impl.deadline) return timed_out();
    const detail::Address& address = impl.addresses[impl.next++];
    switch (detail::StartAttempt(address, impl.socket, impl.last_error)) {
      case Attempt::kOpen:
        return state_ = State::kOpen;
      case Attempt::kPending: {
        // Each address left gets an equal share of the time left, so that
        // one that never answers cannot use up the whole budget.
        const auto left = impl.deadline - Clock::now();
        const auto attempts = static_cast<long>(impl.addresses.size() - impl.next + 1);
        impl.attempt_deadline = Clock::now() + left / attempts;
        return state_;
      }
      case Attempt::kFailed:
        break;
    }
  }

  if (!impl.last_error) return timed_out();
  return fail(FailureKindOf(impl.last_error), DescribeOsError(impl.last_error));
}

TcpClient::PeerState TcpClient::PollPeer() {
  Impl& impl = *impl_;
  if (impl.peer == PeerState::kReset) return impl.peer;
  if (state_ != State::kOpen) return PeerState::kClosed;
  if (impl.peer == PeerState::kClosed) {
    if (detail::ResetPending(impl.socket)) impl.peer = PeerState::kReset;
    return impl.peer;
  }
  return impl.peer = detail::ReadAvailable(impl.socket, nullptr, 0);
}

TcpClient::PeerState TcpClient::Receive(std::string& into, std::chrono::milliseconds wait) {
  Impl& impl = *impl_;
  if (state_ != State::kOpen) return PeerState::kClosed;
  if (impl.peer != PeerState::kOpen) return impl.peer;
  const int wait_ms = static_cast<int>(std::max<long long>(0, wait.count()));
  return impl.peer = detail::ReadAvailable(impl.socket, &into, wait_ms);
}

bool IsIpv4Literal(const std::string& text) { return IsLiteral(AF_INET, text); }

bool IsIpv6Literal(const std::string& text) { return IsLiteral(AF_INET6, text); }

}  // namespace zplport
