// Where the loopback printer keeps its jobs: job-0001.zpl, job-0002.zpl, ...
// in its output folder, numbered on from the files already there.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace zplport::printer {

// "job-0001.zpl"; numbers past 9999 just grow wider.
std::string JobFileName(int number);

// The number that follows the highest job-NNNN.zpl in `folder` (1 if none).
int NextJobNumber(const std::filesystem::path& folder);

// Up to `limit` bytes from the start of the file at `path`; what could not
// be read is told in `error` ("path: reason").
std::string ReadHead(const std::string& path, std::size_t limit, std::string& error);

}  // namespace zplport::printer
