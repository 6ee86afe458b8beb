#include "printer/job_renderer.h"

#include <algorithm>
#include <exception>
#include <new>

#include "printer/job_drawing.h"
#include "printer/zpl_parser.h"

namespace zplport::printer {
namespace {

// The length a printer assumes before any ^LL: 6 inches.
constexpr int kDefaultLengthInches = 6;

void AddOnce(std::vector<std::string>& list, const std::string& item) {
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

JobReport ReportOf(const ZplJob& job) {
  JobReport report;
  report.labels = job.label_count;
  report.formats = job.formats;
  report.copies = job.copies;
  report.darkness = job.darkness;
  report.speed = job.speed;
  report.charset = job.charset;
  report.unsupported = job.unsupported;
  report.warnings = job.warnings;
  return report;
}

ZplJob ParseFor(std::string_view bytes, PrinterState& printer, const RendererOptions& options,
                std::vector<std::string>* warnings) {
  ParseOptions parse;
  parse.dpi = options.dpi;
  parse.memory = options.label_memory;
  parse.pictures = options.pictures;
  const auto& known = KnownEncodings();
  if (std::find(known.begin(), known.end(), options.encoding) != known.end()) {
    parse.encoding = options.encoding;
  } else {
    warnings->push_back("encoding " + options.encoding + " not known: text read as GBK");
  }
  return ParseZpl(bytes, printer, parse);
}

}  // namespace

struct JobRenderer::State {
  PrinterState printer;
  JobDrawing drawing;
};

const std::vector<std::string>& RendererEncodings() { return KnownEncodings(); }

JobRenderer::JobRenderer(RendererOptions options)
    : options_(std::move(options)),
      state_(std::make_unique<State>()),
      label_length_(kDefaultLengthInches * options_.dpi) {}
JobRenderer::~JobRenderer() = default;

JobReport JobRenderer::Process(std::string_view bytes, const std::filesystem::path& folder,
                               const std::string& stem) {
  std::vector<std::string> encoding_warnings;
  JobReport outcome;
  try {
    const ZplJob job = ParseFor(bytes, state_->printer, options_, &encoding_warnings);
    label_length_ = state_->printer.length.value_or(kDefaultLengthInches * options_.dpi);
    outcome = ReportOf(job);
    for (const std::string& warning : encoding_warnings) AddOnce(outcome.warnings, warning);
    if (job.label_count == 0 || folder.empty()) return outcome;
    state_->drawing.Draw(job, folder, stem, options_, outcome);
  } catch (const std::bad_alloc&) {
    outcome.notes.push_back("rendering failed: out of memory");
    outcome.undrawn = std::max(outcome.undrawn, 1);
  } catch (const std::exception& e) {
    outcome.notes.push_back(std::string("rendering failed: ") + e.what());
    outcome.undrawn = std::max(outcome.undrawn, 1);
  }
  return outcome;
}

}  // namespace zplport::printer
