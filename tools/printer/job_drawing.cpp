#include "printer/job_drawing.h"

#include <algorithm>

#include "printer/job_renderer.h"
#include "printer/label_renderer.h"
#include "printer/png_writer.h"
#include "printer/zpl_parser.h"

namespace zplport::printer {
namespace {

void AddOnce(std::vector<std::string>& list, const std::string& item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

}  // namespace

struct JobDrawing::Fonts {
  LabelRenderer renderer;
};

JobDrawing::JobDrawing() = default;
JobDrawing::~JobDrawing() = default;

void JobDrawing::Draw(const ZplJob& job, const std::filesystem::path& folder,
                      const std::string& stem, const RendererOptions& options, JobReport& report) {
  if (!fonts_) fonts_ = std::make_unique<Fonts>();
  for (std::size_t i = 0; i < job.labels.size(); ++i) {
    const std::string number = std::to_string(i + 1);
    LabelBudget budget(options.label_time, options.label_memory);
    RenderedLabel label = fonts_->renderer.Render(job.labels[i], options.dpi, budget);
    for (const std::string& warning : label.warnings) AddOnce(report.warnings, warning);
    if (!label.failure.empty()) {
      report.notes.push_back("label " + number + " not drawn: " + label.failure);
      ++report.undrawn;
      continue;
    }
    const std::string name = stem + "-" + number + ".png";
    const std::string error = WritePng(folder / name, label.bitmap, &budget);
    if (budget.exceeded()) {
      report.notes.push_back("label " + number + " not drawn: " + budget.reason());
      ++report.undrawn;
    } else if (!error.empty()) {
      AddOnce(report.notes, "PNG not written: " + error);
      ++report.undrawn;
    } else {
      report.files.push_back(name);
    }
  }
  if (job.label_count > static_cast<int>(job.labels.size())) {
    report.notes.push_back(std::to_string(job.label_count - job.labels.size()) +
                           " more labels not rendered");
  }
}

}  // namespace zplport::printer
