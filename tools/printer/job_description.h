// What became of a job: its bytes read as the printer reads them, and its
// labels drawn, told in the Job that the summary line is made from.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "printer/job_renderer.h"
#include "printer/job_summary.h"

namespace zplport::printer {

// `bytes` is the job as read back, at most `limit` of its `job.size`
// bytes; `read_error` why it could not be read, if it could not. The
// labels are drawn into `folder`/`stem`-N.png when `folder` is not empty
// and `bytes` is the whole job. Drawing comes after saving and cannot undo
// it: whatever goes wrong is only noted in the job. True when every label
// that was to be drawn is drawn.
bool DescribeJob(Job& job, std::string bytes, const std::string& read_error, std::size_t limit,
                 const std::filesystem::path& folder, const std::string& stem,
                 JobRenderer& renderer);

}  // namespace zplport::printer
