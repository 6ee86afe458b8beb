#include "ui/window_lifecycle.h"

namespace zplport::ui {

std::vector<Decision> WindowLifecycle::Handle(LifecycleEvent event, bool request_running) {
  std::vector<Decision> decisions;
  switch (event) {
    case LifecycleEvent::kProgramStarted:
      if (!main_open_ && !instructions_open_) {
        main_open_ = true;
        decisions.push_back(Decision::kOpenMain);
      }
      break;
    case LifecycleEvent::kPrintPressed:
      // A press during a running request's waits is refused.
      if (main_open_ && !request_running) decisions.push_back(Decision::kRunRequest);
      break;
    case LifecycleEvent::kRequestEnded:
      if (main_close_postponed_) CloseMain(decisions);
      break;
    case LifecycleEvent::kInstructionsPressed:
      if (!main_open_) break;
      decisions.push_back(instructions_open_ ? Decision::kBringInstructionsForward
                                             : Decision::kOpenInstructions);
      instructions_open_ = true;
      break;
    case LifecycleEvent::kBackPressed:
      if (!instructions_open_) break;
      // The main window first, so that at no moment is no window left.
      if (main_open_) {
        main_close_postponed_ = false;
        decisions.push_back(Decision::kBringMainForward);
      } else {
        main_open_ = true;
        decisions.push_back(Decision::kOpenMain);
      }
      instructions_open_ = false;
      decisions.push_back(Decision::kCloseInstructions);
      break;
    case LifecycleEvent::kMainCloseRequested:
      if (!main_open_) break;
      if (request_running) {
        main_close_postponed_ = true;
      } else {
        CloseMain(decisions);
      }
      break;
    case LifecycleEvent::kInstructionsCloseRequested:
      if (!instructions_open_) break;
      instructions_open_ = false;
      decisions.push_back(Decision::kCloseInstructions);
      EndIfNoWindowLeft(decisions);
      break;
  }
  return decisions;
}

void WindowLifecycle::CloseMain(std::vector<Decision>& decisions) {
  main_open_ = false;
  main_close_postponed_ = false;
  decisions.push_back(Decision::kCloseMain);
  EndIfNoWindowLeft(decisions);
}

void WindowLifecycle::EndIfNoWindowLeft(std::vector<Decision>& decisions) const {
  if (!main_open_ && !instructions_open_) decisions.push_back(Decision::kEndProgram);
}

}  // namespace zplport::ui
