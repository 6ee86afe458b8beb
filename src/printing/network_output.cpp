#include "printing/network_output.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>

#include "platform/sleep.h"
#include "platform/text_encoding.h"
#include "printing/byte_pump.h"
#include "printing/print_failure.h"
#include "printing/quantity.h"
#include "settings/ini_files.h"

namespace zplport {
namespace {

using Clock = std::chrono::steady_clock;

// The ticks that the connection always gets before it is looked at, and the
// ticks on each side of the send.
constexpr std::int32_t kConnectTicks = 10;
constexpr std::int32_t kSendTicks = 5;

// Only spaces, as the setting's rule says; a tab stays part of the host.
std::string TrimSpaces(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Each part 0 to 255, exactly four of them: the short forms that the
// system's parser still takes ("1.2.3" is 1.2.0.3 to it) are typing slips.
bool IsDottedQuad(std::string_view text) {
  int parts = 0;
  for (std::size_t start = 0;; ++parts) {
    const std::size_t dot = std::min(text.find('.', start), text.size());
    const std::string_view part = text.substr(start, dot - start);
    if (part.empty() || part.size() > 3 ||
        part.find_first_not_of("0123456789") != std::string_view::npos ||
        std::stoi(std::string(part)) > 255) {
      return false;
    }
    if (dot == text.size()) return parts + 1 == 4;
    start = dot + 1;
  }
}

// The 16-bit groups written in `text` (colon-separated, an IPv4 tail
// counting two), or -1 when one is not a group.
int CountGroups(std::string_view text, bool tail_allowed) {
  if (text.empty()) return 0;
  int groups = 0;
  for (std::size_t start = 0;;) {
    const std::size_t colon = std::min(text.find(':', start), text.size());
    const std::string_view group = text.substr(start, colon - start);
    const bool last = colon == text.size();
    if (last && tail_allowed && group.find('.') != std::string_view::npos) {
      return IsDottedQuad(group) ? groups + 2 : -1;
    }
    if (group.empty() || group.size() > 4 ||
        group.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
      return -1;
    }
    ++groups;
    if (last) return groups;
    start = colon + 1;
  }
}

bool IsIpv6Literal(std::string_view text) {
  const std::size_t zone = text.find('%');
  if (zone != std::string_view::npos) {
    if (zone + 1 == text.size()) return false;
    text = text.substr(0, zone);
  }
  const std::size_t gap = text.find("::");
  if (gap == std::string_view::npos) return CountGroups(text, true) == 8;
  if (text.find("::", gap + 1) != std::string_view::npos) return false;
  const int before = CountGroups(text.substr(0, gap), false);
  const int after = CountGroups(text.substr(gap + 2), true);
  return before >= 0 && after >= 0 && before + after <= 7;
}

// Text that cannot name a printer. Caught here, it is named as the
// setting's mistake instead of reaching the resolver as a name, or the
// network as some other address.
bool IsMalformedAddress(std::string_view host) {
  constexpr std::size_t kLongestName = 253;  // what DNS can carry
  if (host.size() > kLongestName) return true;
  if (host.find_first_of("[]") != std::string_view::npos) return true;
  if (host.find(':') != std::string_view::npos) return !IsIpv6Literal(host);
  if (host.find_first_not_of("0123456789.") == std::string_view::npos) return !IsDottedQuad(host);
  return false;
}

// A setting as the operator wrote it, cut to a readable length. The cut
// falls between characters: a GBK lead byte (0x81 to 0xFE) and the byte
// after it are one character.
std::string Shortened(const std::string& gbk) {
  constexpr std::size_t kShown = 60;
  if (gbk.size() <= kShown + 4) return GbkToUtf8(gbk);
  std::size_t cut = 0;
  for (;;) {
    const auto byte = static_cast<unsigned char>(gbk[cut]);
    const std::size_t width = byte >= 0x81 && byte <= 0xFE ? 2 : 1;
    if (cut + width > kShown) break;
    cut += width;
  }
  return GbkToUtf8(gbk.substr(0, cut)) + "…";
}

// "192.168.1.20:9100" or "[fe80::1]:9100", for messages.
std::string PrinterName(const TcpClient& client) {
  std::string host = GbkToUtf8(client.RemoteHost);
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return host + ":" + std::to_string(client.RemotePort);
}

[[noreturn]] void FailSend(const TcpClient& client, const std::string& why) {
  throw PrintFailure("向打印机 " + PrinterName(client) + " 发送数据失败：" + why);
}

// A printer that hangs up or resets before it has all the labels must not
// end in success, so the peer is watched whenever the request waits.
void CheckPeerStillOpen(TcpClient& client) {
  switch (client.PollPeer()) {
    case TcpClient::PeerState::kOpen:
      return;
    case TcpClient::PeerState::kClosed:
      FailSend(client, "打印机在接收完数据之前关闭了连接");
    case TcpClient::PeerState::kReset:
      FailSend(client, "连接被对方重置");
  }
}

}  // namespace

void DelayTicks(PrintHost& host, std::int32_t count) {
  for (std::int32_t i = 1; i <= count; ++i) {
    SleepMilliseconds(1);
    host.ProcessPendingEvents();
  }
}

void OpenPrinterConnection(PrintHost& host) {
  TcpClient& client = host.Winsock1;
  client.RemoteHost = TrimSpaces(ReadSetting("network", "printerip"));
  client.RemotePort = ConvertToLong(ReadSetting("network", "printerport"));
  client.LocalPort = 0;
  host.SendText.clear();

  if (client.RemoteHost.empty()) {
    throw PrintFailure("未设置打印机地址：请在 Config.ini 的 [network] 中填写 printerip");
  }
  if (IsMalformedAddress(client.RemoteHost)) {
    throw PrintFailure("打印机地址无效：" + Shortened(client.RemoteHost) +
                       "（请检查 Config.ini 的 [network] printerip）");
  }
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
  CheckPeerStillOpen(client);

  // The window's text may change under the ticks; send what this request
  // composed.
  const std::string text = host.SendText;
  const PumpResult sent = PumpBytes(
      host, text, limits.stall, [&](std::string_view rest) { return client.Send(rest); },
      [&] { CheckPeerStillOpen(client); });
  const std::string progress =
      "（已发送 " + std::to_string(sent.written) + " / " + std::to_string(text.size()) + " 字节）";
  if (sent.error) FailSend(client, DescribeOsError(sent.error) + progress);
  if (sent.stalled) {
    FailSend(client, "打印机 " + WholeSeconds(limits.stall) + " 秒内没有接收数据" + progress);
  }

  DelayTicks(host, kSendTicks);
  CheckPeerStillOpen(client);
  if (const OsError error = client.ShutdownSend()) FailSend(client, DescribeOsError(error));

  // The printer closes its side once it has read everything we sent; only
  // then is every label known to have arrived.
  const auto deadline = Clock::now() + limits.close_wait;
  for (;;) {
    const TcpClient::PeerState peer = client.PollPeer();
    if (peer == TcpClient::PeerState::kClosed) break;
    if (peer == TcpClient::PeerState::kReset) {
      FailSend(client, "打印机在接收数据时重置了连接，可能没有收到全部标签");
    }
    if (Clock::now() >= deadline) {
      FailSend(client, "打印机 " + WholeSeconds(limits.close_wait) +
                           " 秒内没有关闭连接，无法确认已收到全部标签");
    }
    DelayTicks(host, 1);
  }
  client.Close();
}

}  // namespace zplport
