// A print host for tests: it supplies the quantity text, keeps every message
// the request shows, counts event passes and can run a hook inside them (to
// press Print again, say). Its INI files live in a temporary folder that the
// core is pointed at for the host's lifetime.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "printing/print_host.h"
#include "support/temp_dir.h"

namespace zplport::testing {

class RecordingHost : public PrintHost {
 public:
  RecordingHost();
  ~RecordingHost() override;

  std::string QuantityText() override { return quantity; }
  void ShowMessage(std::string_view text) override { messages.emplace_back(text); }
  void ProcessPendingEvents() override;
  PrintLimits Limits() const override { return limits; }

  // Writes Config.ini / file.ini (raw bytes) into the host's folder.
  void WriteConfig(std::string_view bytes) const { folder.Write("Config.ini", bytes); }
  void WriteContent(std::string_view bytes) const { folder.Write("file.ini", bytes); }

  ScopedTempDir folder;
  std::string quantity;
  std::vector<std::string> messages;
  PrintLimits limits{std::chrono::milliseconds(2000), std::chrono::milliseconds(1000),
                     std::chrono::milliseconds(1000)};
  int event_passes = 0;
  std::function<void()> on_events;  // run at every event pass
};

}  // namespace zplport::testing
