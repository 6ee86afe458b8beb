#include "printing/print_request.h"

#include <algorithm>
#include <string>

#include "label/label.h"
#include "platform/port_device.h"
#include "platform/sleep.h"
#include "printing/network_output.h"
#include "printing/port_output.h"
#include "printing/print_failure.h"
#include "printing/quantity.h"
#include "settings/ini_files.h"
#include "settings/profile_file.h"

namespace zplport {

namespace {

constexpr std::size_t kMostRoom = std::size_t{64} << 20;

PrintSettings ReadPrintSettings() {
  return {.darkness = ReadSetting("prtmod", "darkness"),
          .zbx = ReadSetting("zuobiao", "zbx"),
          .zby = ReadSetting("zuobiao", "zby"),
          .zbx1 = ReadSetting("zuobiao", "zbx1"),
          .zby1 = ReadSetting("zuobiao", "zby1"),
          .a = ReadSetting("font", "a"),
          .b = ReadSetting("font", "b")};
}

// Text lines are read pair by pair as they are printed, so an edit of
// file.ini made between two requests shows in the next one. Nothing looks
// at a pair again once its label is made, so only the pair being printed
// is held, not every line up to `n`.
template <typename Deliver>
void ForEachLabel(std::int16_t n, const PrintSettings& settings, Deliver deliver) {
  for (int i = 0; i <= n - 1; i += 2) {
    const std::string first = ReadContentLine(i);
    const std::string second = ReadContentLine(i + 1);
    deliver(ComposeLabel(settings, first, second));
  }
}

}  // namespace

std::string ParallelPortName(const std::string& prtmod) {
  std::string upper = prtmod;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  const bool port = upper == "LPT1:" || upper == "LPT2:" || upper == "LPT3:" || upper == "LPT4:";
  return port ? upper : std::string();
}

// Letter case matters here, unlike for the ports: "Ip" names nothing.
bool NamesNetwork(const std::string& prtmod) {
  return prtmod == "ip" || prtmod == "IP" || prtmod == "tcpip" ||
         prtmod == "\xCD\xF8\xC2\xE7" /* 网络 in GBK */;
}

PrintOutcome RunPrintRequest(PrintHost& host) {
  if (host.printing_) return PrintOutcome::kRefused;
  host.printing_ = true;  // and false again on every way out
  const struct Done {
    bool& printing;
    ~Done() { printing = false; }
  } done{host.printing_};
  FineTimerScope fine_timer;
  // Each INI file is read once for the request (and again once that
  // reading is 100 ms old), not once per value.
  IniReadingScope reading;

  try {
    const std::string prtmod = ReadSetting("prtmod", "prtmod");
    const PrintSettings settings = ReadPrintSettings();

    const std::int16_t n = ConvertToInteger(host.QuantityText());
    // The lines are numbered 0 to n: no numbers at all for a negative n.
    if (n < 0) throw PrintFailure(kSubscriptOutOfRange);

    const std::string port = ParallelPortName(prtmod);
    if (!port.empty()) {
      BrokenPipeScope quiet_pipe;
      ForEachLabel(n, settings, [&](const LabelText& label) { DeliverToPort(host, port, label); });
      return PrintOutcome::kDone;
    }
    if (NamesNetwork(prtmod)) {
      OpenPrinterConnection(host);
      const std::size_t labels = (static_cast<std::size_t>(n) + 1) / 2;
      ForEachLabel(n, settings, [&](const LabelText& label) {
        // The labels of one request are much alike in size: room for all of
        // them and a quarter more, up to 64 MiB, spares the copies of an
        // ever longer text.
        const std::size_t room = std::min(label.size() + label.size() / 4, kMostRoom / labels);
        if (host.SendText.empty()) host.SendText.reserve(room * labels);
        AppendLabel(host, label);
      });
      SendAndClose(host);
      host.ShowMessage(kPrintSucceeded);
      return PrintOutcome::kDone;
    }
    host.ShowMessage(kUnknownPrintMode);
    return PrintOutcome::kUnknownMode;
  } catch (...) {
    // The one failure path, for a PrintFailure or anything else that went
    // wrong on the way: tell the operator, then close the connection,
    // whichever way of printing was chosen.
    host.ShowMessage(DescribeCurrentException());
    host.Winsock1.Close();
    return PrintOutcome::kFailed;
  }
}

}  // namespace zplport
