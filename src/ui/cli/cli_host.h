// The headless front-end: the quantity comes from the command line and every
// message goes to standard output as one line of UTF-8.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "printing/print_host.h"
#include "printing/print_request.h"

namespace zplport {

class CliHost : public PrintHost {
 public:
  CliHost(std::string quantity, std::FILE* out) : quantity_(std::move(quantity)), out_(out) {}

  std::string QuantityText() override { return quantity_; }
  void ShowMessage(std::string_view text) override;
  void ProcessPendingEvents() override {}

 private:
  std::string quantity_;
  std::FILE* out_;
};

// 0 when the request ended without a failure or the unknown-mode message, 1
// when it showed one of them.
int ExitStatusFor(PrintOutcome outcome);

}  // namespace zplport
