#include "ui/cli/status_query.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "platform/path_encoding.h"
#include "platform/port_device.h"
#include "platform/sleep.h"
#include "platform/tcp_client.h"
#include "printing/network_output.h"
#include "printing/port_output.h"
#include "printing/print_failure.h"
#include "printing/print_host.h"
#include "printing/print_request.h"
#include "settings/ini_files.h"

namespace zplport {
namespace {

using Clock = std::chrono::steady_clock;

// Holds the connection of one question; it shows and asks nothing.
class QuestionHost : public PrintHost {
 public:
  std::string QuantityText() override { return {}; }
  void ShowMessage(std::string_view) override {}
  void ProcessPendingEvents() override {}
};

StatusAnswer Fail(std::string failure) { return {std::nullopt, std::move(failure)}; }

// `who` names the printer as the message says it: "打印机 127.0.0.1:9100".
StatusAnswer Read(const std::string& reply, const std::string& who) {
  constexpr const char* kNoAnswer = "打印机没有回答状态查询";
  const std::string wait = std::to_string(kStatusWait.count());
  if (reply.empty())
    return Fail(std::string(kNoAnswer) + "（" + who + " " + wait + " 秒内没有回答）");
  if (HostStatusEnd(reply) == std::string::npos) {
    return Fail(std::string(kNoAnswer) + "（" + who + " " + wait + " 秒内的回答不完整，收到：" +
                ShowBytes(reply) + "）");
  }
  std::optional<HostStatus> status = DecodeHostStatus(reply);
  if (!status) {
    return Fail(std::string(kNoAnswer) + "（" + who + " 的回答无法识别：" + ShowBytes(reply) +
                "）");
  }
  return {status, {}};
}

StatusAnswer AskOverNetwork() {
  QuestionHost host;
  TcpClient& client = host.Winsock1;
  try {
    OpenPrinterConnection(host);
  } catch (...) {
    return Fail(DescribeCurrentException());
  }
  const std::string who = "打印机 " + PrinterName(client);
  const auto deadline = Clock::now() + kStatusWait;
  std::string_view question = kHostStatusRequest;
  while (!question.empty()) {
    const TcpClient::SendResult sent = client.Send(question);
    if (sent.error) {
      client.Close();
      return Fail("向" + who + " 发送状态查询失败：" + DescribeOsError(sent.error));
    }
    question.remove_prefix(sent.bytes);
    if (question.empty()) break;
    if (Clock::now() >= deadline) return Read({}, who);
    SleepMilliseconds(1);
  }
  std::string reply;
  for (auto peer = TcpClient::PeerState::kOpen;
       peer == TcpClient::PeerState::kOpen && HostStatusEnd(reply) == std::string::npos;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    peer = client.Receive(reply, std::min(left, std::chrono::milliseconds(100)));
  }
  // Our end-of-file after the question: the printer may close in turn, and
  // whatever else it sent is taken, so that closing resets nothing.
  client.ShutdownSend();
  client.Receive(reply, std::chrono::milliseconds(0));
  client.Close();
  return Read(reply, who);
}

StatusAnswer AskThroughPort(const std::string& port) {
  const std::filesystem::path path = PortDevicePath(port);
  const std::string where = "打印端口 " + port + "（" + PathToUtf8(path) + "）";
  const DeviceAnswer answer = AskPortDevice(
      path, kHostStatusRequest, kStatusWait,
      [](std::string_view bytes) { return HostStatusEnd(bytes) != std::string::npos; });
  if (answer.error) {
    return Fail((answer.readable ? "通过" + where + "查询状态失败：" : "无法打开" + where + "：") +
                DescribeOsError(answer.error));
  }
  if (!answer.readable) {
    return Fail(where +
                " 只能向打印机发送数据，读不到打印机的回答，无法查询状态（USB 打印机可以回答）");
  }
  return Read(answer.bytes, where + " 上的打印机");
}

}  // namespace

StatusAnswer AskPrinterStatus() {
  try {
    const std::string prtmod = ReadSetting("prtmod", "prtmod");
    if (const std::string port = ParallelPortName(prtmod); !port.empty()) {
      return AskThroughPort(port);
    }
    if (NamesNetwork(prtmod)) return AskOverNetwork();
    return Fail(kUnknownPrintMode);
  } catch (...) {
    return Fail(DescribeCurrentException());
  }
}

}  // namespace zplport
