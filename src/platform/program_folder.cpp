#include "platform/program_folder.h"

namespace zplport {
namespace {
std::filesystem::path& Override() {
  static std::filesystem::path folder;
  return folder;
}
}  // namespace

std::filesystem::path ProgramFolder() {
  if (!Override().empty()) return Override();
  // The executable does not move while it runs.
  static const std::filesystem::path folder = detail::ExecutableFolder();
  return folder;
}

void OverrideProgramFolderForTesting(const std::filesystem::path& folder) { Override() = folder; }

}  // namespace zplport
