#include "printer/job_description.h"

#include <utility>

namespace zplport::printer {
namespace {

// "64 MiB", "1000 bytes".
std::string SizeText(std::size_t bytes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

}  // namespace

bool DescribeJob(Job& job, std::string bytes, const std::string& read_error, std::size_t limit,
                 const std::filesystem::path& folder, const std::string& stem,
                 JobRenderer& renderer) {
  const bool whole = read_error.empty() && bytes.size() == job.size;
  JobReport report = renderer.Process(bytes, whole ? folder : std::filesystem::path(), stem);
  job.bytes = std::move(bytes);
  job.labels = report.labels;
  job.formats = report.formats;
  job.copies = std::move(report.copies);
  job.darkness = std::move(report.darkness);
  job.speed = std::move(report.speed);
  job.charset = std::move(report.charset);
  job.unsupported = std::move(report.unsupported);
  job.warnings = std::move(report.warnings);
  job.pngs = std::move(report.files);
  job.render_notes = std::move(report.notes);
  if (!read_error.empty()) {
    job.render_notes.insert(job.render_notes.begin(), "not read back: " + read_error);
  } else if (job.size > limit) {
    const std::string limit_text = SizeText(limit);
    job.render_notes.insert(job.render_notes.begin(), "over the read limit of " + limit_text +
                                                          ": labels counted in the first " +
                                                          limit_text + " only, none drawn");
  }
  return report.undrawn == 0 && (whole || job.labels == 0);
}

}  // namespace zplport::printer
