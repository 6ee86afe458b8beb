// 10 000 print requests in one process, alternating network and port and
// quantities 0 to 9, every one checked byte for byte, with no growth in
// open descriptors or resident memory.
//
// A network request spends at least 20 ticks of 1 ms waiting by design, so
// 5 000 of them one after another would take two minutes. Five windows
// therefore print side by side: each phase runs one request in each window,
// all in the same way of printing, and the phases alternate between the
// network and the port (Config.ini is rewritten between phases, which also
// keeps the settings cache busy).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstddef>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "hardening/hardening_support.h"
#include "label/label.h"
#include "platform/program_folder.h"
#include "printing/print_request.h"
#include "settings/profile_file.h"
#include "support/fault_printer.h"
#include "support/temp_dir.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZPLPORT_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZPLPORT_UNDER_ASAN 1
#endif

namespace zplport {
namespace {

using std::chrono::milliseconds;
using testing::FaultPrinter;

constexpr int kWindows = 5;
constexpr int kRequests = 10000;
constexpr int kPhases = kRequests / kWindows;
constexpr int kWarmUpRequests = 500;
// Heap arenas and caches settle during the warm-up; what is left may move
// by a few pages either way.
constexpr std::size_t kResidentSlack = std::size_t{2} << 20;

const PrintSettings kSettings{"15", "50", "50", "50", "150", "40", "40"};

// A window with nothing to show: it keeps the last message and counts them.
class SoakHost : public PrintHost {
 public:
  std::string QuantityText() override { return quantity; }
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  void ProcessPendingEvents() override {}
  PrintLimits Limits() const override {
    return {milliseconds(2000), milliseconds(1000), milliseconds(1000)};
  }

  std::string quantity;
  std::vector<std::string> messages;
  PrintOutcome outcome = PrintOutcome::kDone;
};

std::string Settings(const std::string& prtmod) {
  return "[prtmod]\r\nprtmod=" + prtmod +
         "\r\ndarkness=15\r\n[zuobiao]\r\nzbx=50\r\nzby=50\r\n"
         "zbx1=50\r\nzby1=150\r\n[font]\r\na=40\r\nb=40\r\n";
}

std::string Line(int i) { return "L" + std::to_string(i) + (i % 3 == 0 ? "\xD6\xD0\xCE\xC4" : ""); }

// The labels of a request for `quantity`, one string each.
std::vector<std::string> Labels(int quantity) {
  std::vector<std::string> labels;
  for (int i = 0; i <= quantity - 1; i += 2) {
    labels.push_back(ComposeLabel(kSettings, Line(i), Line(i + 1)));
  }
  return labels;
}

// Splits port output into its label lines.
std::vector<std::string> PortLines(const std::string& bytes) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < bytes.size();) {
    const std::size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

TEST(Soak, TenThousandRequestsLeaveNothingBehind) {
  testing::ScopedTempDir folder;
  OverrideProgramFolderForTesting(folder.path());
  FaultPrinter printer(FaultPrinter::Behaviour::kAcceptAndRead);
  ASSERT_TRUE(printer.ok());
  const std::string device = folder.Write("lpt1", "").string();
  std::string content = "[content]\r\n";
  for (int i = 0; i < 10; ++i) content += "c(" + std::to_string(i) + ")=" + Line(i) + "\r\n";
  folder.Write("file.ini", content);
  const std::string network_config = Settings("ip") + "[network]\r\nprinterip=127.0.0.1\r\n" +
                                     "printerport=" + std::to_string(printer.port()) + "\r\n";
  const std::string port_config = Settings("LPT1:") + "[ports]\r\nlpt1=" + device + "\r\n";

  std::vector<SoakHost> hosts(kWindows);
  std::barrier sync(kWindows + 1);
  std::vector<std::thread> windows;
  for (int w = 0; w < kWindows; ++w) {
    windows.emplace_back([&, w] {
      for (int phase = 0; phase < kPhases; ++phase) {
        sync.arrive_and_wait();  // Config.ini and the quantity are set
        hosts[w].messages.clear();
        hosts[w].outcome = RunPrintRequest(hosts[w]);
        sync.arrive_and_wait();  // all done; the main thread checks
      }
    });
  }

  const auto started = std::chrono::steady_clock::now();
  const int fds_at_start = testing::OpenDescriptors();
  int fds_after_warm_up = 0;
  std::size_t resident_after_warm_up = 0;
  int wrong = 0;
  std::string first_wrong;
  auto fail = [&](const std::string& what) {
    if (wrong++ == 0) first_wrong = what;
  };
  int network_requests = 0;
  int port_requests = 0;

  for (int phase = 0; phase < kPhases; ++phase) {
    const bool network = phase % 2 == 0;
    folder.Write("Config.ini", network ? network_config : port_config);
    std::vector<std::string> expected;
    for (int w = 0; w < kWindows; ++w) {
      // Two phases of one way cover the quantities 0 to 9.
      const int quantity = ((phase / 2) * kWindows + w) % 10;
      hosts[w].quantity = std::to_string(quantity);
      if (network) {
        std::string job;
        for (const std::string& label : Labels(quantity)) job += label;
        expected.push_back(job);
      } else {
        for (const std::string& label : Labels(quantity)) expected.push_back(label);
      }
    }
    sync.arrive_and_wait();
    sync.arrive_and_wait();

    const std::string where = "phase " + std::to_string(phase) + ": ";
    for (int w = 0; w < kWindows; ++w) {
      const std::vector<std::string> want =
          network ? std::vector<std::string>{kPrintSucceeded} : std::vector<std::string>{};
      if (hosts[w].outcome != PrintOutcome::kDone || hosts[w].messages != want) {
        fail(where + "window " + std::to_string(w) + " ended " +
             testing::OutcomeName(hosts[w].outcome) +
             (hosts[w].messages.empty() ? "" : ": " + hosts[w].messages[0]));
      }
    }
    std::vector<std::string> got;
    if (network) {
      network_requests += kWindows;
      if (!printer.WaitForJobs(kWindows, std::chrono::seconds(5))) fail(where + "jobs missing");
      got = printer.TakeJobs();
    } else {
      port_requests += kWindows;
      got = PortLines(testing::ReadFileBytes(device));
      folder.Write("lpt1", "");
    }
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    if (got != expected) fail(where + "the printer got other bytes than were composed");

    if ((phase + 1) * kWindows == kWarmUpRequests) {
      fds_after_warm_up = testing::OpenDescriptors();
      resident_after_warm_up = testing::ResidentBytes();
    }
  }
  for (std::thread& window : windows) window.join();

  const int fds_at_end = testing::OpenDescriptors();
  const std::size_t resident_at_end = testing::ResidentBytes();
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const long long growth =
      static_cast<long long>(resident_at_end) - static_cast<long long>(resident_after_warm_up);
  std::cout << "[ figure ] soak: " << network_requests << " network + " << port_requests
            << " port requests in " << seconds << " s, " << wrong << " wrong; descriptors "
            << fds_at_start << " / " << fds_after_warm_up << " / " << fds_at_end
            << " (start / after warm-up / end); resident " << resident_after_warm_up / 1024
            << " KiB after warm-up, " << resident_at_end / 1024 << " KiB at end (" << growth / 1024
            << " KiB growth)" << std::endl;

  EXPECT_EQ(network_requests + port_requests, kRequests);
  EXPECT_EQ(wrong, 0) << first_wrong;
  EXPECT_EQ(fds_at_end, fds_at_start);
  EXPECT_EQ(fds_after_warm_up, fds_at_start);
#ifndef ZPLPORT_UNDER_ASAN
  // AddressSanitizer keeps freed memory in quarantine, so there resident
  // memory grows by design; LeakSanitizer checks the heap at exit instead.
  EXPECT_LE(growth, static_cast<long long>(kResidentSlack));
#endif
  OverrideProgramFolderForTesting({});
}

}  // namespace
}  // namespace zplport
