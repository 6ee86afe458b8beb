// The TCP client's state, and what its code shared by both systems asks of
// each system's sockets. Only the client's own files include this.
#pragma once

#ifdef _WIN32
// winsock2.h brings windows.h, in the order Winsock needs.
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/tcp_client.h"

namespace zplport::detail {

using Clock = std::chrono::steady_clock;

#ifdef _WIN32
using Socket = SOCKET;
inline constexpr Socket kNoSocket = INVALID_SOCKET;
inline constexpr int kNoAddress = WSAHOST_NOT_FOUND;  // the resolver's code for a host without one
#else
using Socket = int;
inline constexpr Socket kNoSocket = -1;
inline constexpr int kNoAddress = EAI_NONAME;
#endif

struct Address {
  sockaddr_storage storage{};
  int length = 0;
};

struct Resolution;

// Appends the IPv4 and IPv6 addresses of a resolver's answer.
template <typename Info>
void KeepAddresses(const Info* found, std::vector<Address>& addresses) {
  for (const Info* info = found; info != nullptr; info = info->ai_next) {
    if (info->ai_addrlen > sizeof(sockaddr_storage)) continue;
    if (info->ai_family != AF_INET && info->ai_family != AF_INET6) continue;
    Address address;
    std::memcpy(&address.storage, info->ai_addr, info->ai_addrlen);
    address.length = static_cast<int>(info->ai_addrlen);
    addresses.push_back(address);
  }
}

// Starts the system's network support; a code when it cannot be used.
OsError StartNetwork();

// The IPv4 and IPv6 addresses of `host` (GBK) with `port`; the resolver's
// code, 0 on success. With `numeric_only`, only an address written as
// numbers, which needs no resolver.
int Resolve(const std::string& host, std::int32_t port, bool numeric_only,
            std::vector<Address>& addresses);

enum class Attempt { kOpen, kPending, kFailed };

// Opens a non-blocking socket and starts connecting it to `address`. On
// kFailed, `error` tells why and no socket is left open.
Attempt StartAttempt(const Address& address, Socket& socket, OsError& error);

// Whether the connection started on `socket` has been made, without waiting.
Attempt CheckAttempt(Socket socket, OsError& error);

void CloseSocket(Socket& socket);

// Takes what the peer has sent, into `into` or away, first waiting up to
// `wait_ms` for it when that is more than 0; bounded, so that a peer that
// never stops talking cannot hold the caller. kOpen while it may send more.
TcpClient::PeerState ReadAvailable(Socket socket, std::string* into, int wait_ms);

// Whether a reset is pending on a connection whose peer has closed: past
// the peer's end-of-file every read is end-of-file again.
bool ResetPending(Socket socket);

#ifdef _WIN32
// How acknowledgements are seen on a connection, decided at its first send
// or question (tcp_client_win32.cpp).
struct Acknowledgements {
  bool decided = false;
  bool tcp_info = false;  // SIO_TCP_INFO answers
  // Otherwise: what one send hands over at most (0: anything), and the
  // most that can be left unacknowledged once everything is handed over.
  std::size_t send_limit = 0;
  std::uint64_t tail = std::numeric_limits<std::uint64_t>::max();
  sockaddr_storage local{};
  sockaddr_storage remote{};
  bool named = false;  // local and remote hold the connection's addresses
  std::optional<Clock::time_point> next_table_read;
  std::optional<std::size_t> table_answer;
  std::vector<unsigned char> table;
};
#endif

}  // namespace zplport::detail

namespace zplport {

struct TcpClient::Impl {
  detail::Socket socket = detail::kNoSocket;
  std::shared_ptr<detail::Resolution> resolution;  // while the resolver runs
  std::vector<detail::Address> addresses;
  std::size_t next = 0;  // the next address to try
  detail::Clock::time_point deadline;
  detail::Clock::time_point attempt_deadline;
  OsError last_error;  // of the latest failed attempt
  bool resolved = false;
  PeerState peer = PeerState::kOpen;  // what PollPeer and Receive have seen
  bool shut_down = false;             // our end-of-file is queued
#ifdef _WIN32
  std::uint64_t handed = 0;  // bytes that Send handed to the system
  detail::Acknowledgements acks;
#endif
};

}  // namespace zplport
