// Reads each received job as a printer would and turns its labels into PNG
// files beside the saved job: job-0001.zpl gives job-0001-1.png,
// job-0001-2.png, ... Like a printer, it keeps what jobs leave behind for
// the jobs after them. Built without FreeType (or zlib) it still reads jobs
// but draws nothing, and says so.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zplport::printer {

struct RendererOptions {
  int dpi = 203;                 // 203, 300 or 600
  std::string encoding = "gbk";  // how field text is read where the job sets no ^CI: one of
                                 // RendererEncodings()
  // What one label may cost; past it the label is reported as not drawn.
  std::chrono::milliseconds label_time{2000};
  std::size_t label_memory = std::size_t{64} << 20;  // bytes
  int pictures = 100;  // labels drawn per job, the first ones; 0 = all
};

// What one job held and what became of its labels, for the summary line.
struct JobReport {
  int labels = 0;              // formats that print something
  int formats = 0;             // complete "^XA" ... "^XZ" blocks
  std::vector<long> copies{};  // ^PQ of each label
  // Last value seen in this job, as sent; empty when the job did not set it.
  std::string darkness{};            // ~SD
  std::string speed{};               // ^PR
  std::string charset{};             // ^CI
  std::vector<std::string> files{};  // PNG files written, names only
  std::vector<std::string> notes{};  // why labels were not (all) drawn
  // Labels that were to be drawn and could not be; `notes` says why. Those
  // past RendererOptions::pictures were not to be drawn.
  int undrawn = 0;
  std::vector<std::string> unsupported{};  // commands read but not drawn, e.g. "^BC"
  std::vector<std::string> warnings{};     // odd input: clamped numbers, cut-off formats
};

// The names RendererOptions::encoding accepts, in lower case: "gbk",
// "utf-8", "cp1252", ...
const std::vector<std::string>& RendererEncodings();

class JobRenderer {
 public:
  explicit JobRenderer(RendererOptions options);
  ~JobRenderer();
  JobRenderer(const JobRenderer&) = delete;
  JobRenderer& operator=(const JobRenderer&) = delete;

  // Reads one job and, when `folder` is not empty, draws its labels into
  // `folder`/`stem`-N.png. Never throws. One caller at a time.
  JobReport Process(std::string_view bytes, const std::filesystem::path& folder,
                    const std::string& stem);

  // The label length in dots that the printer holds now, for "~HS"; safe
  // from any thread.
  int label_length() const { return label_length_.load(); }

 private:
  struct State;  // what the printer keeps between jobs
  RendererOptions options_;
  std::unique_ptr<State> state_;
  std::atomic<int> label_length_;
};

}  // namespace zplport::printer
