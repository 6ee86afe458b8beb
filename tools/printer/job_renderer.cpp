#include "printer/job_renderer.h"

#include <algorithm>
#include <exception>
#include <new>

#include "printer/label_renderer.h"
#include "printer/png_writer.h"
#include "printer/zpl_parser.h"

namespace zplport::printer {
namespace {

// Rendering runs on the serving thread; this bounds how long one job can
// hold it up.
constexpr std::size_t kMaxLabelsPerJob = 100;
// The length a printer assumes before any ^LL: 6 inches.
constexpr int kDefaultLengthInches = 6;

void AddOnce(std::vector<std::string>& list, const std::string& item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

JobReport ReportOf(const ZplJob& job) {
  JobReport report;
  report.labels = static_cast<int>(job.labels.size());
  report.formats = job.formats;
  for (const ZplLabel& label : job.labels) report.copies.push_back(label.quantity);
  report.darkness = job.darkness;
  report.speed = job.speed;
  report.charset = job.charset;
  report.unsupported = job.unsupported;
  report.warnings = job.warnings;
  return report;
}

}  // namespace

struct JobRenderer::State {
  LabelRenderer renderer;  // made on first use: finding the font takes time
};

JobRenderer::JobRenderer(RendererOptions options)
    : options_(std::move(options)), label_length_(kDefaultLengthInches * options_.dpi) {}
JobRenderer::~JobRenderer() = default;

JobReport JobRenderer::Process(std::string_view bytes, const std::filesystem::path& folder,
                               const std::string& stem) {
  const ZplJob job = ParseZpl(bytes);
  JobReport outcome = ReportOf(job);
  if (job.labels.empty() || folder.empty()) return outcome;
  try {
    if (!state_) state_ = std::make_unique<State>();
    const std::size_t count = std::min(job.labels.size(), kMaxLabelsPerJob);
    for (std::size_t i = 0; i < count; ++i) {
      const RenderedLabel label = state_->renderer.Render(job.labels[i], options_.dpi);
      for (const std::string& warning : label.warnings) AddOnce(outcome.warnings, warning);
      const std::string name = stem + "-" + std::to_string(i + 1) + ".png";
      if (const std::string error = WritePng(folder / name, label.bitmap); !error.empty()) {
        AddOnce(outcome.notes, "PNG not written: " + error);
      } else {
        outcome.files.push_back(name);
      }
    }
    if (job.labels.size() > count) {
      outcome.notes.push_back(std::to_string(job.labels.size() - count) +
                              " more labels not rendered");
    }
  } catch (const std::bad_alloc&) {
    outcome.notes.push_back("rendering failed: out of memory");
  } catch (const std::exception& e) {
    outcome.notes.push_back(std::string("rendering failed: ") + e.what());
  }
  return outcome;
}

}  // namespace zplport::printer
