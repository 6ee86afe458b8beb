#include "printing/network_output.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/sleep.h"
#include "platform/tcp_client.h"
#include "platform/text_encoding.h"
#include "printing/byte_pump.h"
#include "printing/print_failure.h"
#include "printing/quantity.h"
#include "settings/ini_files.h"
#include "settings/profile_file.h"

namespace zplport {
namespace {

using Clock = std::chrono::steady_clock;

// The ticks that the connection always gets before it is looked at, and the
// ticks on each side of the send.
constexpr std::int32_t kConnectTicks = 10;
constexpr std::int32_t kSendTicks = 5;

// Some systems read an IPv4 part with a leading zero as octal:
// 192.168.001.020 would reach 192.168.1.16, which may be another printer.
bool HasLeadingZeroPart(std::string_view dotted) {
  for (std::size_t start = 0; start <= dotted.size();) {
    const std::size_t dot = std::min(dotted.find('.', start), dotted.size());
    if (dot - start > 1 && dotted[start] == '0') return true;
    start = dot + 1;
  }
  return false;
}

// A setting as the operator wrote it, cut to a readable length between
// two characters.
std::string Shortened(const std::string& gbk) {
  constexpr std::size_t kShown = 60;
  if (gbk.size() <= kShown + 4) return GbkToUtf8(gbk);
  return GbkToUtf8(gbk.substr(0, GbkPrefixLength(gbk, kShown))) + "…";
}

// Refuses text that cannot name a printer. Caught here, it is named as the
// setting's mistake instead of reaching the resolver as a name, or the
// network as some other address. Numbers are read by the system's own
// parser, which also refuses the short forms its resolver would still take
// ("1.2.3" is 1.2.0.3 to it).
void CheckAddress(const std::string& host) {
  auto malformed = [&] {
    return PrintFailure("打印机地址无效：" + Shortened(host) +
                        "（请检查 Config.ini 的 [network] printerip）");
  };
  auto leading_zero = [&] {
    return PrintFailure("打印机地址无效：" + Shortened(host) +
                        "（IP 地址的各段不要以 0 开头，例如写 192.168.1.20，不要写 "
                        "192.168.001.020；请检查 Config.ini 的 [network] printerip）");
  };
  constexpr std::size_t kLongestName = 253;  // what DNS can carry
  if (host.size() > kLongestName ||
      host.find_first_of(std::string_view("[]\0", 3)) != std::string::npos) {
    throw malformed();
  }
  if (host.find(':') != std::string::npos) {
    // A zone (fe80::1%eth0) is left to the resolver.
    const std::string address = host.substr(0, host.find('%'));
    if (address.size() + 1 == host.size()) throw malformed();
    const std::string_view tail = std::string_view(address).substr(address.rfind(':') + 1);
    if (tail.find('.') != std::string_view::npos && HasLeadingZeroPart(tail)) throw leading_zero();
    if (!IsIpv6Literal(address)) throw malformed();
  } else if (host.find_first_not_of("0123456789.") == std::string::npos) {
    if (HasLeadingZeroPart(host)) throw leading_zero();
    if (!IsIpv4Literal(host)) throw malformed();
  }
}

[[noreturn]] void FailSend(const TcpClient& client, const std::string& why) {
  throw PrintFailure("向打印机 " + PrinterName(client) + " 发送数据失败：" + why);
}

// Watches the printer whenever the request waits. Its end-of-file is no
// failure: a printer may close only its own sending side and still read
// everything. A reset is one.
class PeerWatch {
 public:
  explicit PeerWatch(TcpClient& client) : client_(client) {}

  // Raises PrintFailure when the printer has reset the connection.
  void Check() {
    switch (client_.PollPeer()) {
      case TcpClient::PeerState::kOpen:
        return;
      case TcpClient::PeerState::kClosed:
        closed_ = true;
        return;
      case TcpClient::PeerState::kReset:
        // A printer that closed altogether resets once our bytes reach it.
        FailSend(client_, closed_ ? "打印机在接收完数据之前关闭了连接" : "连接被对方重置");
    }
  }

  // The printer has ended its sending side.
  bool closed() const { return closed_; }

 private:
  TcpClient& client_;
  bool closed_ = false;
};

// Ticks until the printer's system has acknowledged all `total` bytes. When
// the last byte is handed over, much of a job may still sit in the buffers
// of either end; as long as acknowledgements keep coming, a slow printer is
// not cut off. False where the system cannot tell.
bool WaitForAcknowledgement(PrintHost& host, TcpClient& client, PeerWatch& peer, std::size_t total,
                            std::chrono::milliseconds stall) {
  std::optional<std::size_t> pending = client.Unacknowledged();
  if (!pending) return false;
  std::size_t least = std::min(*pending, total);
  auto last_progress = Clock::now();
  while (*pending > 0) {
    if (Clock::now() - last_progress >= stall) {
      FailSend(client, "打印机 " + WholeSeconds(stall) + " 秒内没有接收数据（已确认 " +
                           std::to_string(total - least) + " / " + std::to_string(total) +
                           " 字节）");
    }
    DelayTicks(host, 1);
    peer.Check();
    pending = client.Unacknowledged();
    if (!pending) return false;
    if (*pending < least) {
      least = *pending;
      last_progress = Clock::now();
    }
  }
  return true;
}

}  // namespace

std::string PrinterName(const TcpClient& client) {
  std::string host = GbkToUtf8(client.RemoteHost);
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return host + ":" + std::to_string(client.RemotePort);
}

void DelayTicks(PrintHost& host, std::int32_t count) {
  for (std::int32_t i = 1; i <= count; ++i) {
    SleepMilliseconds(1);
    host.ProcessPendingEvents();
  }
}

void OpenPrinterConnection(PrintHost& host) {
  TcpClient& client = host.Winsock1;
  // Only spaces, as the setting's rule says; a tab stays part of the host.
  client.RemoteHost = Trimmed(ReadSetting("network", "printerip"), " ");
  client.RemotePort = ConvertToLong(ReadSetting("network", "printerport"));
  client.LocalPort = 0;
  host.SendText.clear();

  if (client.RemoteHost.empty()) {
    throw PrintFailure("未设置打印机地址：请在 Config.ini 的 [network] 中填写 printerip");
  }
  CheckAddress(client.RemoteHost);
  if (client.RemotePort < 1 || client.RemotePort > 65535) {
    throw PrintFailure("打印机端口号无效：" + std::to_string(client.RemotePort) +
                       "（应为 1 到 65535，请检查 Config.ini 的 [network] printerport）");
  }

  const auto limit = host.Limits().connect;
  const auto started = Clock::now();
  client.Connect(limit);
  DelayTicks(host, kConnectTicks);
  // The client runs out of the same budget a moment after we would, so its
  // own timeout is the one usually seen; both read the same.
  auto timed_out = [&] {
    client.Close();
    return PrintFailure("无法连接打印机 " + PrinterName(client) + "：连接超时（" +
                        WholeSeconds(limit) + " 秒内未能建立连接）");
  };
  // A printer farther away than the first ticks still gets its chance, up to
  // the connect limit.
  for (;;) {
    switch (client.Poll()) {
      case TcpClient::State::kOpen:
        return;
      case TcpClient::State::kFailed:
        if (client.LastFailure().kind == TcpClient::Failure::Kind::kTimedOut) throw timed_out();
        throw PrintFailure("无法连接打印机 " + PrinterName(client) + "：" +
                           client.LastFailure().reason);
      case TcpClient::State::kClosed:
        throw PrintFailure("无法连接打印机 " + PrinterName(client) + "：连接已关闭");
      case TcpClient::State::kConnecting:
        break;
    }
    if (Clock::now() - started >= limit) throw timed_out();
    DelayTicks(host, 1);
  }
}

void AppendLabel(PrintHost& host, const LabelText& label) { host.SendText += label; }

void SendAndClose(PrintHost& host) {
  TcpClient& client = host.Winsock1;
  const PrintLimits limits = host.Limits();
  DelayTicks(host, kSendTicks);
  if (client.Poll() != TcpClient::State::kOpen) FailSend(client, "连接尚未建立");
  PeerWatch peer(client);
  peer.Check();

  // Nothing changes the window's text under the ticks: a second request is
  // refused while this one runs.
  const std::string_view text = host.SendText;
  const PumpResult sent = PumpBytes(
      host, text, limits.stall, [&](std::string_view rest) { return client.Send(rest); },
      [&] { peer.Check(); });
  const std::string progress =
      "（已发送 " + std::to_string(sent.written) + " / " + std::to_string(text.size()) + " 字节）";
  if (sent.error) FailSend(client, DescribeOsError(sent.error) + progress);
  if (sent.stalled) {
    FailSend(client, "打印机 " + WholeSeconds(limits.stall) + " 秒内没有接收数据" + progress);
  }

  DelayTicks(host, kSendTicks);
  peer.Check();
  if (const OsError error = client.ShutdownSend()) FailSend(client, DescribeOsError(error));
  const bool closed_early = peer.closed();  // before it could see our end-of-file

  const bool acknowledged = WaitForAcknowledgement(host, client, peer, text.size(), limits.stall);
  if (acknowledged && peer.closed()) {
    client.Close();
    return;
  }

  // A printer that has every byte may close or stay silent; a reset now may
  // still have cost labels. Where acknowledgements cannot be seen, the same
  // holds: only a reset tells that labels were lost, so a printer that got
  // everything is never reported as failed.
  const auto deadline = Clock::now() + limits.close_wait;
  for (;;) {
    const TcpClient::PeerState state = client.PollPeer();
    if (state == TcpClient::PeerState::kReset) {
      FailSend(client, closed_early ? "打印机在接收完数据之前关闭了连接"
                                    : "打印机在接收数据时重置了连接，可能没有收到全部标签");
    }
    if (state == TcpClient::PeerState::kClosed && !closed_early) break;
    // A printer that closed early and has not reset by now kept reading.
    if (Clock::now() >= deadline) break;
    DelayTicks(host, 1);
  }
  client.Close();
}

}  // namespace zplport
