#include "platform/tcp_client.h"

#include "platform/tcp_socket.h"
// After Winsock: the connection table's rows hold its address types.
#include <iphlpapi.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "platform/path_encoding.h"

namespace zplport {
namespace {

using detail::Clock;

// Winsock is started once for the process and left running until it ends.
int WinsockStartup() {
  static const int result = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

OsError LastSocketError() { return OsError{WSAGetLastError()}; }

// SIO_TCP_INFO and its version 0 answer, as Windows 10 version 1703 and
// later define them. The headers declare them only for programs that require
// that version; we ask at run time and do without where it is missing.
constexpr DWORD kSioTcpInfo = _WSAIORW(IOC_VENDOR, 39);

struct TcpInfoV0 {
  int State;  // TCPSTATE
  ULONG Mss;
  ULONG64 ConnectionTimeMs;
  BOOLEAN TimestampsEnabled;
  ULONG RttUs;
  ULONG MinRttUs;
  ULONG BytesInFlight;
  ULONG Cwnd;
  ULONG SndWnd;
  ULONG RcvWnd;
  ULONG RcvBuf;
  ULONG64 BytesOut;
  ULONG64 BytesIn;
  ULONG BytesReordered;
  ULONG BytesRetrans;
  ULONG FastRetrans;
  ULONG DupAcksIn;
  ULONG TimeoutEpisodes;
  UCHAR SynRetrans;
};

// TCPSTATE values in which our end-of-file, and so every byte before it,
// has been acknowledged (or the connection is gone, which PollPeer tells).
constexpr int kTcpStateClosed = 0;
constexpr int kTcpStateFinWait2 = 6;
constexpr int kTcpStateTimeWait = 10;

// The version 0 answer of SIO_TCP_INFO; false where the system has none.
bool QueryTcpInfo(SOCKET socket, TcpInfoV0* info) {
  DWORD version = 0;
  DWORD size = 0;
  return WSAIoctl(socket, kSioTcpInfo, &version, sizeof version, info, sizeof *info, &size, nullptr,
                  nullptr) == 0 &&
         size >= sizeof *info;
}

// Where SIO_TCP_INFO is missing (Windows 7 to 10 before version 1703, and
// Wine), the system's connection table is all that tells of
// acknowledgements, and it tells only whether our end-of-file, and so every
// byte before it, has been acknowledged: after the end-of-file the
// connection stays in FIN_WAIT1 until then. Progress must then show while
// sending: the send buffer is bounded and no send hands over more than that
// bound, so the system takes more only as the printer acknowledges what it
// holds, and after the last send no more than twice the bound is left to
// be acknowledged. 64 KiB keeps a LAN with round trips of up to 5 ms at
// over 10 MB/s, far beyond what a printer reads, and a printer that reads
// 4.4 kB/s clears the 128 KiB that may be left within the 30-second stall
// limit.
constexpr int kBoundedSendBuffer = 64 * 1024;

// The table is read at most this often, and no more than a fifth of the
// time: on a busy Wine with hundreds of connections one reading takes tens
// of milliseconds, which must not hold up every tick of the window's thread.
constexpr auto kTableInterval = std::chrono::milliseconds(50);
constexpr int kTableShare = 5;

DWORD StateOf(const MIB_TCPROW& row) { return row.dwState; }
DWORD StateOf(const MIB_TCP6ROW& row) { return static_cast<DWORD>(row.State); }

// The state (MIB_TCP_STATE) of the connection that `matches` recognises in
// a table that `read(buffer, size)` fills, as GetExtendedTcpTable does;
// nothing when the table cannot be read or does not hold it. `buffer` is
// kept from one reading to the next.
template <typename Table, typename Read, typename Matches>
std::optional<DWORD> FindState(std::vector<unsigned char>& buffer, Read read, Matches matches) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    ULONG size = static_cast<ULONG>(buffer.size());
    const ULONG result = read(buffer.empty() ? nullptr : buffer.data(), &size);
    if (result == ERROR_INSUFFICIENT_BUFFER) {
      // Room for the connections that may open before the next reading.
      buffer.resize(size + size / 4 + 4096);
      continue;
    }
    if (result != NO_ERROR) return std::nullopt;
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
      if (matches(table->table[i])) return StateOf(table->table[i]);
    }
    return std::nullopt;
  }
  return std::nullopt;
}

// Ports are in network order in the low 16 bits; the high ones may hold
// anything.
bool SamePort(DWORD row_port, u_short port) { return static_cast<u_short>(row_port) == port; }

// The tables without owners: finding each connection's process costs Wine
// ten times as long.
std::optional<DWORD> ConnectionState(const sockaddr_storage& local, const sockaddr_storage& remote,
                                     std::vector<unsigned char>& buffer) {
  if (local.ss_family == AF_INET) {
    const auto& l = reinterpret_cast<const sockaddr_in&>(local);
    const auto& r = reinterpret_cast<const sockaddr_in&>(remote);
    return FindState<MIB_TCPTABLE>(
        buffer,
        [](void* table, ULONG* size) {
          return GetExtendedTcpTable(table, size, FALSE, AF_INET, TCP_TABLE_BASIC_ALL, 0);
        },
        [&](const MIB_TCPROW& row) {
          return row.dwLocalAddr == l.sin_addr.s_addr && SamePort(row.dwLocalPort, l.sin_port) &&
                 row.dwRemoteAddr == r.sin_addr.s_addr && SamePort(row.dwRemotePort, r.sin_port);
        });
  }
  if (local.ss_family == AF_INET6) {
    // GetExtendedTcpTable has no table without owners for IPv6.
    const auto& l = reinterpret_cast<const sockaddr_in6&>(local);
    const auto& r = reinterpret_cast<const sockaddr_in6&>(remote);
    return FindState<MIB_TCP6TABLE>(
        buffer,
        [](void* table, ULONG* size) {
          return GetTcp6Table(static_cast<PMIB_TCP6TABLE>(table), size, FALSE);
        },
        [&](const MIB_TCP6ROW& row) {
          return std::memcmp(&row.LocalAddr, &l.sin6_addr, sizeof l.sin6_addr) == 0 &&
                 SamePort(row.dwLocalPort, l.sin6_port) &&
                 std::memcmp(&row.RemoteAddr, &r.sin6_addr, sizeof r.sin6_addr) == 0 &&
                 SamePort(row.dwRemotePort, r.sin6_port);
        });
  }
  return std::nullopt;
}

// Decides, at the first send or question, how acknowledgements are seen.
void DecideAcknowledgements(SOCKET socket, detail::Acknowledgements& acks) {
  if (acks.decided) return;
  acks.decided = true;
  TcpInfoV0 info{};
  acks.tcp_info = QueryTcpInfo(socket, &info);
  if (acks.tcp_info) return;
  // Taken now: once the printer has closed, the socket no longer names
  // its peer.
  int local_length = sizeof acks.local;
  int remote_length = sizeof acks.remote;
  acks.named = getsockname(socket, reinterpret_cast<sockaddr*>(&acks.local), &local_length) == 0 &&
               getpeername(socket, reinterpret_cast<sockaddr*>(&acks.remote), &remote_length) == 0;
  const int bound = kBoundedSendBuffer;
  if (setsockopt(socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bound),
                 sizeof bound) != 0) {
    return;  // unbounded: the table still tells when all is acknowledged
  }
  // Windows may take one whole send on top of a buffer that is nearly
  // full; Linux, under Wine, doubles the size for its own bookkeeping.
  // Either way no more than twice the size is held.
  acks.send_limit = static_cast<std::size_t>(bound);
  acks.tail = 2 * std::uint64_t{acks.send_limit};
}

}  // namespace

namespace detail {

OsError StartNetwork() { return OsError{WinsockStartup()}; }

int Resolve(const std::string& host, std::int32_t port, bool numeric_only,
            std::vector<Address>& addresses) {
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV | (numeric_only ? AI_NUMERICHOST : 0);
  // The host is GBK text from Config.ini, converted as a path from there
  // is: the wide resolver does not depend on the system's ANSI code page
  // being 936.
  const std::wstring name = PathFromGbk(host).native();
  ADDRINFOW* found = nullptr;
  const int code = GetAddrInfoW(name.c_str(), std::to_wstring(port).c_str(), &hints, &found);
  if (code != 0) return code;
  KeepAddresses(found, addresses);
  FreeAddrInfoW(found);
  return 0;
}

Attempt StartAttempt(const Address& address, Socket& socket, OsError& error) {
  socket = WSASocketW(address.storage.ss_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                      WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) {
    error = LastSocketError();
    return Attempt::kFailed;
  }
  u_long non_blocking = 1;
  if (ioctlsocket(socket, FIONBIO, &non_blocking) == 0) {
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address.storage), address.length) ==
        0) {
      return Attempt::kOpen;
    }
    if (WSAGetLastError() == WSAEWOULDBLOCK) return Attempt::kPending;
  }
  error = LastSocketError();
  CloseSocket(socket);
  return Attempt::kFailed;
}

// Winsock reports a finished connect as writable and a failed one as an
// exception, never both.
Attempt CheckAttempt(Socket socket, OsError& error) {
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket, &writable);
  FD_SET(socket, &failed);
  timeval no_wait{0, 0};
  if (select(0, nullptr, &writable, &failed, &no_wait) <= 0) return Attempt::kPending;
  int code = 0;
  int length = sizeof code;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &length) != 0) {
    code = WSAGetLastError();
  }
  if (code == 0 && FD_ISSET(socket, &writable)) return Attempt::kOpen;
  error = OsError{code != 0 ? code : WSAECONNREFUSED};
  return Attempt::kFailed;
}

void CloseSocket(Socket& socket) {
  if (socket != INVALID_SOCKET) closesocket(socket);
  socket = INVALID_SOCKET;
}

TcpClient::PeerState ReadAvailable(Socket socket, std::string* into, int wait_ms) {
  WSAPOLLFD entry{socket, POLLRDNORM, 0};
  if (wait_ms > 0 && WSAPoll(&entry, 1, wait_ms) <= 0) return TcpClient::PeerState::kOpen;
  char buffer[4096];
  for (int round = 0; round < 64; ++round) {
    const int got = ::recv(socket, buffer, sizeof buffer, 0);
    if (got > 0) {
      if (into != nullptr) into->append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got == SOCKET_ERROR && KindOf(LastSocketError()) == OsErrorKind::kWouldBlock) {
      return TcpClient::PeerState::kOpen;
    }
    return got == 0 && !ResetPending(socket) ? TcpClient::PeerState::kClosed
                                             : TcpClient::PeerState::kReset;
  }
  return TcpClient::PeerState::kOpen;
}

// Windows reports a reset that comes after our shutdown as WSAECONNRESET;
// Wine's recv reports it as end-of-file, but still flags the socket as
// failed, which tells it from the peer's orderly close.
bool ResetPending(Socket socket) {
  WSAPOLLFD entry{socket, POLLRDNORM, 0};
  return WSAPoll(&entry, 1, 0) > 0 && (entry.revents & POLLERR) != 0;
}

}  // namespace detail

TcpClient::SendResult TcpClient::Send(std::string_view data) {
  if (state_ == State::kConnecting) Poll();
  if (state_ != State::kOpen) return {0, OsError{WSAENOTCONN}};
  if (data.empty()) return {};
  DecideAcknowledgements(impl_->socket, impl_->acks);
  // send() takes an int count; the rest goes in a later call. Windows takes
  // a whole send while its buffer holds less than its size, so a bounded
  // buffer needs bounded sends too.
  const std::size_t limit = impl_->acks.send_limit != 0 ? impl_->acks.send_limit : INT_MAX;
  const int size = static_cast<int>(std::min(data.size(), limit));
  const int sent = ::send(impl_->socket, data.data(), size, 0);
  if (sent != SOCKET_ERROR) {
    impl_->handed += static_cast<std::uint64_t>(sent);
    return {static_cast<std::size_t>(sent), {}};
  }
  const OsError error = LastSocketError();
  if (KindOf(error) == OsErrorKind::kWouldBlock) return {};
  return {0, error};
}

OsError TcpClient::ShutdownSend() {
  if (state_ != State::kOpen) return OsError{WSAENOTCONN};
  if (::shutdown(impl_->socket, SD_SEND) != 0) return LastSocketError();
  impl_->shut_down = true;
  return {};
}

std::optional<std::size_t> TcpClient::Unacknowledged() {
  Impl& impl = *impl_;
  if (state_ != State::kOpen) return std::nullopt;
  DecideAcknowledgements(impl.socket, impl.acks);
  detail::Acknowledgements& acks = impl.acks;
  if (!acks.tcp_info) {
    if (!acks.named) return std::nullopt;
    const auto started = Clock::now();
    if (acks.next_table_read && started < *acks.next_table_read) return acks.table_answer;
    const std::optional<DWORD> state = ConnectionState(acks.local, acks.remote, acks.table);
    const auto took = Clock::now() - started;
    acks.next_table_read = started + std::max<Clock::duration>(kTableInterval, took * kTableShare);
    if (!state) return acks.table_answer = std::nullopt;
    // FIN_WAIT2 and TIME_WAIT follow the acknowledgement of our end-of-file.
    // Once both ends have closed the connection leaves the table, which
    // tells nothing more: a reset removes it as well.
    if (impl.shut_down &&
        (*state == MIB_TCP_STATE_FIN_WAIT2 || *state == MIB_TCP_STATE_TIME_WAIT)) {
      return acks.table_answer = 0;
    }
    return acks.table_answer = static_cast<std::size_t>(std::min(impl.handed, acks.tail));
  }
  TcpInfoV0 info{};
  if (!QueryTcpInfo(impl.socket, &info)) return std::nullopt;
  if (impl.shut_down && (info.State == kTcpStateFinWait2 || info.State == kTcpStateTimeWait ||
                         info.State == kTcpStateClosed)) {
    return 0;
  }
  // Bytes sent less those retransmitted and those still in flight: never
  // more than what was acknowledged, whether or not retransmissions count
  // in BytesOut.
  const std::uint64_t unconfirmed =
      std::min<std::uint64_t>(info.BytesOut, std::uint64_t{info.BytesRetrans} + info.BytesInFlight);
  const std::uint64_t acknowledged = std::min(impl.handed, info.BytesOut - unconfirmed);
  return static_cast<std::size_t>(impl.handed - acknowledged);
}

}  // namespace zplport
