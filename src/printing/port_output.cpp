#include "printing/port_output.h"

#include <chrono>
#include <string>

#include "platform/path_encoding.h"
#include "platform/port_device.h"
#include "printing/byte_pump.h"
#include "printing/network_output.h"
#include "printing/print_failure.h"
#include "settings/ini_files.h"
#include "settings/profile_file.h"

namespace zplport {
namespace {

// Ticks until the device has finished with the bytes it took, within the
// stall limit, so that closing it cannot cut the label short.
void WaitUntilDrained(PrintHost& host, PortDevice& device, std::chrono::milliseconds stall,
                      PumpResult& result) {
  const auto started = std::chrono::steady_clock::now();
  for (;;) {
    const PortDevice::DrainResult drained = device.PollDrained();
    if (drained.error) {
      result.error = drained.error;
      return;
    }
    if (drained.done) return;
    if (std::chrono::steady_clock::now() - started >= stall) {
      result.stalled = true;
      return;
    }
    DelayTicks(host, 1);
  }
}

int PortNumber(const std::string& port_name) { return port_name[3] - '0'; }  // "LPTn:"

}  // namespace

std::filesystem::path PortDevicePath(const std::string& port_name) {
  const int number = PortNumber(port_name);
  // Spaces and tabs around a device path are never part of it.
  const std::string setting = ReadSetting("ports", "lpt" + std::to_string(number));
  const std::string_view mapped = Trimmed(setting, " \t");
  if (!mapped.empty()) return PathFromGbk(mapped);
  return DefaultPortDevice(number);
}

void DeliverToPort(PrintHost& host, const std::string& port_name, const LabelText& label) {
  const std::filesystem::path path = PortDevicePath(port_name);
  const std::string where = "打印端口 " + port_name + "（" + PathToUtf8(path) + "）";

  PortDevice device;
  if (const OsError error = device.Open(path)) {
    std::string message = "无法打开" + where + "：" + DescribeOsError(error);
    // The port itself is missing, not a device that [ports] names.
    const int number = PortNumber(port_name);
    if (KindOf(error) == OsErrorKind::kNotFound && path == DefaultPortDevice(number)) {
      if (const std::string advice = MissingPortAdvice(number); !advice.empty()) {
        message += "（" + advice + "）";
      }
    }
    throw PrintFailure(message);
  }
  const std::string line = label + "\r\n";
  PumpResult result = PumpBytes(
      host, line, host.Limits().stall, [&](std::string_view rest) { return device.Write(rest); },
      [] {});
  if (result.ok()) WaitUntilDrained(host, device, host.Limits().stall, result);
  device.Close();

  const std::string progress = "（已写入 " + std::to_string(result.written) + " / " +
                               std::to_string(line.size()) + " 字节）";
  if (result.error) {
    throw PrintFailure("写入" + where + "失败：" + DescribeOsError(result.error) + progress);
  }
  if (result.stalled) {
    throw PrintFailure("写入" + where + "失败：设备 " + WholeSeconds(host.Limits().stall) +
                       " 秒内没有接收数据，请检查打印机是否联机、是否缺纸" + progress);
  }
}

}  // namespace zplport
