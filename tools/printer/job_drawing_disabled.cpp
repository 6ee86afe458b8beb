// The drawing of a build without FreeType or zlib: jobs are still read and
// the printer's state kept, but nothing is drawn.
#include "printer/job_drawing.h"

#include "printer/job_renderer.h"
#include "printer/zpl_parser.h"

namespace zplport::printer {

struct JobDrawing::Fonts {};

JobDrawing::JobDrawing() = default;
JobDrawing::~JobDrawing() = default;

void JobDrawing::Draw(const ZplJob& job, const std::filesystem::path&, const std::string&,
                      const RendererOptions&, JobReport& report) {
  report.notes.push_back("rendering disabled (built without FreeType)");
  report.undrawn = static_cast<int>(job.labels.size());
}

}  // namespace zplport::printer
