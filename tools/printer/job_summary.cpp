#include "printer/job_summary.h"

#include <algorithm>

namespace zplport::printer {
namespace {

// Lists in a summary line stop after this many items.
constexpr std::size_t kMaxListedCommands = 12;
constexpr std::size_t kMaxListedWarnings = 5;
constexpr std::size_t kMaxListedPngs = 3;

std::string Plural(std::size_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string Joined(const std::vector<std::string>& items, const char* separator,
                   std::size_t max_items) {
  std::string text;
  for (std::size_t i = 0; i < items.size() && i < max_items; ++i) {
    if (i > 0) text += separator;
    text += items[i];
  }
  if (items.size() > max_items) {
    text += separator;
    text += "+" + std::to_string(items.size() - max_items) + " more";
  }
  return text;
}

std::string CopiesText(const std::vector<long>& copies) {
  const bool all_same =
      std::all_of(copies.begin(), copies.end(), [&](long n) { return n == copies.front(); });
  if (all_same) return std::to_string(copies.front());
  std::string text;
  for (std::size_t i = 0; i < copies.size(); ++i) {
    if (i == 8) return text + "/...";
    text += (i > 0 ? "/" : "") + std::to_string(copies[i]);
  }
  return text;
}

std::string PngList(const std::vector<std::string>& pngs) {
  if (pngs.size() <= kMaxListedPngs) return Joined(pngs, ", ", kMaxListedPngs);
  return pngs.front() + " ... " + pngs.back();
}

}  // namespace

std::string FormatJobSummary(const Job& job) {
  std::string line = "job " + std::to_string(job.number) + ": ";
  if (job.reset) line += "reset after ";
  if (job.timed_out) line += "timed out after ";
  line += Plural(job.size, "byte") + ", " + Plural(static_cast<std::size_t>(job.labels), "label") +
          " (" + Plural(static_cast<std::size_t>(job.formats), "format") + ")";
  if (!job.error.empty()) {
    line += ", not saved: " + job.error;
  } else if (!job.path.empty()) {
    line += " -> " + job.path;
  }
  if (!job.copies.empty()) line += ", copies " + CopiesText(job.copies);
  if (!job.darkness.empty()) line += ", darkness " + job.darkness;
  if (!job.speed.empty()) line += ", speed " + job.speed;
  if (!job.charset.empty()) line += ", charset " + job.charset;
  if (job.status_replies == 1) line += ", ~HS answered";
  if (job.status_replies > 1) {
    line += ", ~HS answered " + std::to_string(job.status_replies) + " times";
  }
  if (!job.pngs.empty()) {
    line += ", rendered " + std::to_string(job.pngs.size()) + " PNG (" + PngList(job.pngs) + ")";
  }
  for (const std::string& note : job.render_notes) line += ", " + note;
  if (!job.unsupported.empty()) {
    line += ", unsupported: " + Joined(job.unsupported, " ", kMaxListedCommands);
  }
  if (!job.warnings.empty()) {
    line += ", warnings: " + Joined(job.warnings, "; ", kMaxListedWarnings);
  }
  return line;
}

}  // namespace zplport::printer
