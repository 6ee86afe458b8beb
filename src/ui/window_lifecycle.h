// The rules by which the tool's two windows open, come forward and close,
// and by which the tool ends: plain events in, decisions out, so that every
// front-end obeys the same rules and they are tested without a window.
//
// The main window opens when the program starts. Instructions opens the
// instructions window, or brings it forward when it is open. Back closes it
// and brings the main window forward, opening a fresh one when the operator
// had closed it. A close of the main window asked for while a print request
// runs is carried out when the request has ended, since the request still
// reports through that window; Back in the meantime keeps the window. The
// program ends when no window is left.
#pragma once

#include <vector>

namespace zplport::ui {

enum class LifecycleEvent {
  kProgramStarted,
  kPrintPressed,
  kRequestEnded,
  kInstructionsPressed,
  kBackPressed,
  kMainCloseRequested,
  kInstructionsCloseRequested,
};

enum class Decision {
  kRunRequest,
  // A new main window: centred, the quantity box empty, the focus on Print.
  kOpenMain,
  // Shown, restored if minimised, raised and activated.
  kBringMainForward,
  kCloseMain,  // the window is discarded
  kOpenInstructions,
  kBringInstructionsForward,  // shown, restored if minimised, raised and activated
  kCloseInstructions,         // the window is discarded
  kEndProgram,
};

class WindowLifecycle {
 public:
  // What to do, in this order. An event that asks for nothing, such as a
  // close that has been postponed or a press refused, gives no decision.
  // `request_running`: a print request of the main window runs at this
  // moment, as the window itself tells (PrintHost::printing()).
  std::vector<Decision> Handle(LifecycleEvent event, bool request_running);

  bool main_open() const { return main_open_; }
  bool instructions_open() const { return instructions_open_; }
  bool main_close_postponed() const { return main_close_postponed_; }

 private:
  void CloseMain(std::vector<Decision>& decisions);
  void EndIfNoWindowLeft(std::vector<Decision>& decisions) const;

  bool main_open_ = false;
  bool instructions_open_ = false;
  bool main_close_postponed_ = false;
};

}  // namespace zplport::ui
