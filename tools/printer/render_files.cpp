#include "printer/render_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "printer/job_description.h"
#include "printer/job_files.h"

namespace zplport::printer {
namespace {

// All of `input`, keeping at most `limit` bytes; `size` counts the rest.
std::string ReadStream(std::istream& input, std::size_t limit, std::size_t& size) {
  std::string bytes;
  char buffer[64 * 1024];
  size = 0;
  while (input.read(buffer, sizeof buffer) || input.gcount() > 0) {
    const auto got = static_cast<std::size_t>(input.gcount());
    size += got;
    bytes.append(buffer, std::min(got, limit - std::min(limit, bytes.size())));
  }
  return bytes;
}

}  // namespace

int RenderFiles(const std::vector<std::string>& files, const PrinterOptions& options,
                std::istream& input, std::ostream& out, std::ostream& err) {
  std::error_code error;
  std::filesystem::create_directories(options.output_folder, error);
  if (error) {
    err << "zplport-printer: cannot create output folder " << options.output_folder.string() << ": "
        << error.message() << "\n";
    return 1;
  }
  JobRenderer renderer(
      {.dpi = options.dpi, .encoding = options.encoding, .pictures = options.pictures});
  bool all_drawn = true;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string& file = files[i];
    Job job;
    job.number = static_cast<int>(i + 1);
    std::string bytes;
    std::string read_error;
    if (file == "-") {
      bytes = ReadStream(input, options.max_job_bytes, job.size);
    } else {
      bytes = ReadHead(file, options.max_job_bytes, read_error);
      const auto size = std::filesystem::file_size(file, error);
      job.size = error ? bytes.size() : static_cast<std::size_t>(size);
    }
    if (!read_error.empty()) {
      job.render_notes.push_back("not read: " + read_error);
      all_drawn = false;
    } else {
      const std::string stem = file == "-" ? "stdin" : std::filesystem::path(file).stem().string();
      all_drawn &= DescribeJob(job, std::move(bytes), "", options.max_job_bytes,
                               options.output_folder, stem, renderer);
    }
    out << FormatFileSummary(file, job) << std::endl;
  }
  return all_drawn ? 0 : 1;
}

}  // namespace zplport::printer
