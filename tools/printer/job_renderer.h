// Turns the labels of one saved job into PNG files beside it:
// job-0001.zpl gives job-0001-1.png, job-0001-2.png, ... Built without
// FreeType (or zlib) it renders nothing and says so.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "printer/zpl_parser.h"

namespace zplport::printer {

struct RenderOutcome {
  std::vector<std::string> files{};     // names of the PNG files written
  std::vector<std::string> notes{};     // why labels were not (all) rendered
  std::vector<std::string> warnings{};  // from drawing, e.g. clamped sizes
};

class JobRenderer {
 public:
  explicit JobRenderer(int dpi);
  ~JobRenderer();
  JobRenderer(const JobRenderer&) = delete;
  JobRenderer& operator=(const JobRenderer&) = delete;

  // Never throws; a label that cannot be drawn or written is noted.
  // `stem` is the job file's name without ".zpl".
  RenderOutcome Render(const ZplJob& job, const std::filesystem::path& folder,
                       const std::string& stem);

 private:
  struct State;  // what the build's way of rendering keeps between jobs
  int dpi_;
  std::unique_ptr<State> state_;
};

}  // namespace zplport::printer
