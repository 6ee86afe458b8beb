// The job renderer of a build without FreeType or zlib: jobs are read, and
// the printer's state kept, but nothing is drawn.
#include "printer/job_renderer.h"

#include <algorithm>

#include "printer/zpl_parser.h"

namespace zplport::printer {
namespace {
constexpr int kDefaultLengthInches = 6;
}  // namespace

struct JobRenderer::State {
  PrinterState printer;
};

const std::vector<std::string>& RendererEncodings() { return KnownEncodings(); }

JobRenderer::JobRenderer(RendererOptions options)
    : options_(std::move(options)),
      state_(std::make_unique<State>()),
      label_length_(kDefaultLengthInches * options_.dpi) {}
JobRenderer::~JobRenderer() = default;

JobReport JobRenderer::Process(std::string_view bytes, const std::filesystem::path& folder,
                               const std::string&) {
  JobReport report;
  try {
    ParseOptions parse;
    parse.dpi = options_.dpi;
    parse.memory = options_.label_memory;
    const auto& known = KnownEncodings();
    const bool known_encoding =
        std::find(known.begin(), known.end(), options_.encoding) != known.end();
    if (known_encoding) parse.encoding = options_.encoding;
    const ZplJob job = ParseZpl(bytes, state_->printer, parse);
    label_length_ = state_->printer.length.value_or(kDefaultLengthInches * options_.dpi);
    report.labels = job.label_count;
    report.formats = job.formats;
    report.copies = job.copies;
    report.darkness = job.darkness;
    report.speed = job.speed;
    report.charset = job.charset;
    report.unsupported = job.unsupported;
    report.warnings = job.warnings;
    if (!known_encoding) {
      report.warnings.push_back("encoding " + options_.encoding + " not known: text read as GBK");
    }
    if (job.label_count > 0 && !folder.empty()) {
      report.notes.push_back("rendering disabled (built without FreeType)");
    }
  } catch (const std::exception& e) {
    report.notes.push_back(std::string("reading failed: ") + e.what());
  }
  return report;
}

}  // namespace zplport::printer
