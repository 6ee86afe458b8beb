#include "ui/window_lifecycle.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace zplport::ui {
namespace {

using D = Decision;
using E = LifecycleEvent;

std::string Name(Decision decision) {
  switch (decision) {
    case D::kRunRequest:
      return "run request";
    case D::kOpenMain:
      return "open main";
    case D::kBringMainForward:
      return "bring main forward";
    case D::kCloseMain:
      return "close main";
    case D::kOpenInstructions:
      return "open instructions";
    case D::kBringInstructionsForward:
      return "bring instructions forward";
    case D::kCloseInstructions:
      return "close instructions";
    case D::kEndProgram:
      return "end program";
  }
  return "?";
}

std::string Names(const std::vector<Decision>& decisions) {
  std::string text = "{";
  for (Decision d : decisions) text += (text.size() > 1 ? ", " : "") + Name(d);
  return text + "}";
}

struct Step {
  LifecycleEvent event;
  std::vector<Decision> decisions;
  bool request_running = false;  // as the main window tells when the event comes
};

// The step while the request that `print` ran is still running.
Step During(Step step) {
  step.request_running = true;
  return step;
}

struct Sequence {
  const char* name;
  std::vector<Step> steps;
};

// Every sequence starts from a program whose main window has just opened.
TEST(WindowLifecycleTest, Sequences) {
  const Step start{E::kProgramStarted, {D::kOpenMain}};
  const Step print{E::kPrintPressed, {D::kRunRequest}};
  const Step instructions{E::kInstructionsPressed, {D::kOpenInstructions}};
  const Sequence sequences[] = {
      {"closing the only window ends the program",
       {start, {E::kMainCloseRequested, {D::kCloseMain, D::kEndProgram}}}},
      {"instructions twice: one window, brought forward",
       {start, instructions, {E::kInstructionsPressed, {D::kBringInstructionsForward}}}},
      {"back with the main window open brings it forward",
       {start, instructions, {E::kBackPressed, {D::kBringMainForward, D::kCloseInstructions}}}},
      {"instructions after back open afresh",
       {start,
        instructions,
        {E::kBackPressed, {D::kBringMainForward, D::kCloseInstructions}},
        instructions}},
      {"main closed first, then the instructions",
       {start,
        instructions,
        {E::kMainCloseRequested, {D::kCloseMain}},
        {E::kInstructionsCloseRequested, {D::kCloseInstructions, D::kEndProgram}}}},
      {"instructions closed first, then the main window",
       {start,
        instructions,
        {E::kInstructionsCloseRequested, {D::kCloseInstructions}},
        {E::kMainCloseRequested, {D::kCloseMain, D::kEndProgram}}}},
      {"back after the main window was closed opens a fresh one",
       {start,
        instructions,
        {E::kMainCloseRequested, {D::kCloseMain}},
        {E::kBackPressed, {D::kOpenMain, D::kCloseInstructions}},
        {E::kMainCloseRequested, {D::kCloseMain, D::kEndProgram}}}},
      {"a close during a print waits for the request to report",
       {start,
        print,
        During({E::kMainCloseRequested, {}}),
        {E::kRequestEnded, {D::kCloseMain, D::kEndProgram}}}},
      {"a press during a print is refused, the next one runs",
       {start, print, During({E::kPrintPressed, {}}), {E::kRequestEnded, {}}, print}},
      {"back during a print keeps the main window whose close was postponed",
       {start,
        instructions,
        print,
        During({E::kMainCloseRequested, {}}),
        During({E::kBackPressed, {D::kBringMainForward, D::kCloseInstructions}}),
        {E::kRequestEnded, {}},
        {E::kMainCloseRequested, {D::kCloseMain, D::kEndProgram}}}},
      {"both closed during a print: the program ends with the request",
       {start,
        instructions,
        print,
        During({E::kMainCloseRequested, {}}),
        During({E::kInstructionsCloseRequested, {D::kCloseInstructions}}),
        {E::kRequestEnded, {D::kCloseMain, D::kEndProgram}}}},
      {"instructions closed during a print, main closed after it",
       {start,
        instructions,
        print,
        During({E::kInstructionsCloseRequested, {D::kCloseInstructions}}),
        {E::kRequestEnded, {}},
        {E::kMainCloseRequested, {D::kCloseMain, D::kEndProgram}}}},
      {"events of windows that are gone ask for nothing",
       {start,
        {E::kMainCloseRequested, {D::kCloseMain, D::kEndProgram}},
        {E::kMainCloseRequested, {}},
        {E::kBackPressed, {}},
        {E::kInstructionsPressed, {}},
        {E::kInstructionsCloseRequested, {}},
        {E::kPrintPressed, {}}}},
  };
  for (const Sequence& sequence : sequences) {
    SCOPED_TRACE(sequence.name);
    WindowLifecycle lifecycle;
    for (std::size_t i = 0; i < sequence.steps.size(); ++i) {
      const Step& step = sequence.steps[i];
      EXPECT_EQ(Names(lifecycle.Handle(step.event, step.request_running)), Names(step.decisions))
          << "step " << i;
    }
  }
}

}  // namespace
}  // namespace zplport::ui
