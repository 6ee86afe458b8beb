// The job renderer of a build without FreeType or zlib: jobs are read,
// nothing is drawn.
#include "printer/job_renderer.h"

#include "printer/zpl_parser.h"

namespace zplport::printer {
namespace {
constexpr int kDefaultLengthInches = 6;
}  // namespace

struct JobRenderer::State {};

JobRenderer::JobRenderer(RendererOptions options)
    : options_(std::move(options)), label_length_(kDefaultLengthInches * options_.dpi) {}
JobRenderer::~JobRenderer() = default;

JobReport JobRenderer::Process(std::string_view bytes, const std::filesystem::path& folder,
                               const std::string&) {
  const ZplJob job = ParseZpl(bytes);
  JobReport report;
  report.labels = static_cast<int>(job.labels.size());
  report.formats = job.formats;
  for (const ZplLabel& label : job.labels) report.copies.push_back(label.quantity);
  report.darkness = job.darkness;
  report.speed = job.speed;
  report.charset = job.charset;
  report.unsupported = job.unsupported;
  report.warnings = job.warnings;
  if (!job.labels.empty() && !folder.empty()) {
    report.notes.push_back("rendering disabled (built without FreeType)");
  }
  return report;
}

}  // namespace zplport::printer
