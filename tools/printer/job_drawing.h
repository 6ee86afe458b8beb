// Draws the labels of a job that has been read into PNG files beside it:
// job-0001.zpl gives job-0001-1.png, job-0001-2.png, ... within the
// renderer's budget per label. Built without FreeType (or zlib) it draws
// nothing and says so. Owned by the JobRenderer, one caller at a time.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace zplport::printer {

struct JobReport;
struct RendererOptions;
struct ZplJob;

class JobDrawing {
 public:
  JobDrawing();
  ~JobDrawing();
  JobDrawing(const JobDrawing&) = delete;
  JobDrawing& operator=(const JobDrawing&) = delete;

  // Adds the files written, and why labels were not drawn, to `report`.
  void Draw(const ZplJob& job, const std::filesystem::path& folder, const std::string& stem,
            const RendererOptions& options, JobReport& report);

 private:
  struct Fonts;  // found on first use: finding them takes time
  std::unique_ptr<Fonts> fonts_;
};

}  // namespace zplport::printer
