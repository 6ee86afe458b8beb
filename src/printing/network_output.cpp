#include "printing/network_output.h"

#include <chrono>
#include <string>

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

std::string TrimSpaces(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Seconds(std::chrono::milliseconds limit) {
  return std::to_string((limit.count() + 999) / 1000);
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
  if (client.RemotePort < 1 || client.RemotePort > 65535) {
    throw PrintFailure("打印机端口号无效：" + std::to_string(client.RemotePort) +
                       "（应为 1 到 65535，请检查 Config.ini 的 [network] printerport）");
  }

  const auto limit = host.Limits().connect;
  const auto started = Clock::now();
  client.Connect(limit);
  DelayTicks(host, kConnectTicks);
  // A printer farther away than the first ticks still gets its chance, up to
  // the connect limit.
  for (;;) {
    switch (client.Poll()) {
      case TcpClient::State::kOpen:
        return;
      case TcpClient::State::kFailed:
        throw PrintFailure("无法连接打印机 " + PrinterName(client) + "：" +
                           client.LastFailure().reason);
      case TcpClient::State::kClosed:
        throw PrintFailure("无法连接打印机 " + PrinterName(client) + "：连接已关闭");
      case TcpClient::State::kConnecting:
        break;
    }
    if (Clock::now() - started >= limit) {
      client.Close();
      throw PrintFailure("无法连接打印机 " + PrinterName(client) + "：连接超时（" + Seconds(limit) +
                         " 秒内未能建立连接）");
    }
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
    FailSend(client, "打印机 " + Seconds(limits.stall) + " 秒内没有接收数据" + progress);
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
      FailSend(client, "打印机 " + Seconds(limits.close_wait) +
                           " 秒内没有关闭连接，无法确认已收到全部标签");
    }
    DelayTicks(host, 1);
  }
  client.Close();
}

}  // namespace zplport
