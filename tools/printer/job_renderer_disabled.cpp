// The job renderer of a build without FreeType or zlib.
#include "printer/job_renderer.h"

namespace zplport::printer {

struct JobRenderer::State {};

JobRenderer::JobRenderer(int dpi) : dpi_(dpi) {}
JobRenderer::~JobRenderer() = default;

RenderOutcome JobRenderer::Render(const ZplJob& job, const std::filesystem::path&,
                                  const std::string&) {
  RenderOutcome outcome;
  if (!job.labels.empty()) outcome.notes.push_back("rendering disabled (built without FreeType)");
  return outcome;
}

}  // namespace zplport::printer
