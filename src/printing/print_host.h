// What a print request needs from the window that runs it: the quantity
// box's text, modal messages, processing of pending window events, and the
// network connection and outgoing text that the window owns for its
// lifetime. Front-ends derive from PrintHost; tests use a recording one.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "platform/tcp_client.h"

namespace zplport {

enum class PrintOutcome;

// How long a request waits before it gives up. Defaults are what operators
// get; tests shorten them.
struct PrintLimits {
  std::chrono::milliseconds connect{5000};     // from starting the connection
  std::chrono::milliseconds stall{30000};      // printer or device takes no byte
  std::chrono::milliseconds close_wait{3000};  // printer closes its side
};

class PrintHost {
 public:
  virtual ~PrintHost() = default;

  // The quantity box's text, UTF-8.
  virtual std::string QuantityText() = 0;

  // A modal message with only OK, under the application's title; returns
  // when the operator has dismissed it. UTF-8.
  virtual void ShowMessage(std::string_view text) = 0;

  // Handles every window event that is waiting, then returns.
  virtual void ProcessPendingEvents() = 0;

  virtual PrintLimits Limits() const { return {}; }

  // True while a request runs for this window; a second one is refused
  // instead of nesting into the first one's connection.
  bool printing() const { return printing_; }

  TcpClient Winsock1;
  std::string SendText;

 private:
  friend PrintOutcome RunPrintRequest(PrintHost& host);
  bool printing_ = false;
};

}  // namespace zplport
