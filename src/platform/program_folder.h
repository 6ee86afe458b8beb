// The folder that holds the running executable, where Config.ini and
// file.ini live.
#pragma once

#include <filesystem>

namespace zplport {

// Asked of the OS once per process; the path has no trailing separator.
std::filesystem::path ProgramFolder();

// Tests run the core against INI files in a folder of their own; an empty
// path goes back to the executable's folder.
void OverrideProgramFolderForTesting(const std::filesystem::path& folder);

namespace detail {
// The executable's folder as the OS reports it (one per platform).
std::filesystem::path ExecutableFolder();
}  // namespace detail

}  // namespace zplport
